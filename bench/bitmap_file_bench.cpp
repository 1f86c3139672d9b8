// A file-backed bitmap far larger than the memory it is given: allocated, filled row by row
// and read back, while the process keeps only one row in memory. Reports the peak resident
// set size of the process (kilobytes) and the throughput.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>

#include "imaging/model/bitmap.h"

namespace {

int64_t PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Arguments: the side of a square vl24RGB image (20000 gives 1.2 GB).
void BM_FileBitmapFillAndReadBack(benchmark::State& state) {
  const int32_t side = int32_t(state.range(0));
  const int64_t rssBefore = PeakRssKb();
  uint64_t checksum = 0;
  for (auto _ : state) {
    TVLBitmap bitmap;
    bitmap.MemoryThreshold = 1 << 20;  // 1 MiB: the image goes to the file
    bitmap.Allocate(side, side, vl24RGB);
    if (bitmap.Location() != vlFile) {
      state.SkipWithError("the image did not go to a temporary file");
      return;
    }
    const int32_t rowBytes = bitmap.RowBytes();
    {
      bitmap.RowAccess = raWrite;
      for (int32_t y = 0; y < side; ++y) std::memset(bitmap.Scanline(y), y & 0xFF, size_t(rowBytes));
      bitmap.RowAccess = raRead;
      for (int32_t y = 0; y < side; ++y) {
        const uint8_t* row = bitmap.Scanline(y);
        checksum += row[0] + row[rowBytes - 1];
      }
      bitmap.RowAccess = raRead | raWrite;
    }
    benchmark::DoNotOptimize(checksum);
    state.SetBytesProcessed(state.bytes_processed() + 2 * int64_t(rowBytes) * side);
  }
  state.counters["peak_rss_kb"] = double(PeakRssKb());
  state.counters["peak_rss_growth_kb"] = double(PeakRssKb() - rssBefore);
}

}  // namespace

BENCHMARK(BM_FileBitmapFillAndReadBack)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);
