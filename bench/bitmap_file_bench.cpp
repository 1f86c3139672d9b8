// A file-backed bitmap far larger than the memory it is given: allocated, filled row by row
// and read back, while the process keeps only one row in memory. Reports the peak resident
// set size of the process (kilobytes) and the throughput.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

// Filling a new file-backed image row by row, with the rows handed out write-only (0) or
// read-write (1, the default access): neither reads back rows it is about to overwrite, so
// both cost what BM_PlainFileWrite costs, the peer that writes the same bytes to a file.
void BM_FileBitmapFill(benchmark::State& state) {
  const int32_t side = int32_t(state.range(0));
  for (auto _ : state) {
    TVLBitmap bitmap;
    bitmap.MemoryThreshold = 1 << 20;
    bitmap.Allocate(side, side, vl24RGB);
    bitmap.RowAccess = state.range(1) ? (raRead | raWrite) : raWrite;
    const int32_t rowBytes = bitmap.RowBytes();
    for (int32_t y = 0; y < side; ++y) std::memset(bitmap.Scanline(y), y & 0xFF, size_t(rowBytes));
    bitmap.FileBuffer().ReleaseAll();
    state.SetBytesProcessed(state.bytes_processed() + int64_t(rowBytes) * side);
  }
}

void BM_PlainFileWrite(benchmark::State& state) {
  const int32_t side = int32_t(state.range(0));
  const size_t rowBytes = (size_t(side) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> row(rowBytes);
  for (auto _ : state) {
    char name[] = "/tmp/vandrel-bench-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
      state.SkipWithError("cannot create a file");
      return;
    }
    ::unlink(name);
    ::ftruncate(fd, off_t(rowBytes) * side);
    for (int32_t y = 0; y < side; ++y) {
      std::memset(row.data(), y & 0xFF, rowBytes);
      if (::pwrite(fd, row.data(), rowBytes, off_t(rowBytes) * y) != ssize_t(rowBytes)) break;
    }
    ::close(fd);
    state.SetBytesProcessed(state.bytes_processed() + int64_t(rowBytes) * side);
  }
}

}  // namespace

BENCHMARK(BM_FileBitmapFill)->Args({20000, 0})->Args({20000, 1})->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFileWrite)->Arg(20000)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)
    ->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileBitmapFillAndReadBack)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);
