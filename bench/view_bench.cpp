// A full render of the preview's back buffer (175 x 124 view, client 171 x 120, fitted,
// FastLinear): for a 3000 x 2000 photo in memory, and for a 20000 x 20000 image held in a
// temporary file (time, the process's peak resident size, and how much rendering added to it).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <memory>

#include "imaging/model/bitmap.h"
#include "imaging/view/view_logic.h"

namespace {

int64_t PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void Fill(TVLBitmap& b) {
  const int32_t w = b.Width(), h = b.Height();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = b.Scanline(y);
    for (int32_t x = 0; x < w * 3; ++x) row[x] = uint8_t((x * 7 + y * 3) ^ (x >> 5));
  }
}

void PaintPreview(benchmark::State& state, int32_t w, int32_t h, TVLLocation where) {
  TVistrelViewLogic view;
  view.SetHostGeometry(true, 175, 124, 171, 120);
  view.AutoFit = true;
  view.SetZoomFilter(rfFastLinear);
  view.SetLegacyBitmap(where == vlTBitmap);
  TVLBitmap& b = *view.Bitmap();
  if (where == vlFile) b.MemoryThreshold = 0;
  b.Allocate(w, h, vl24RGB);
  Fill(b);
  view.Update();
  view.PrepareBackBuffer();
  const int64_t before = PeakKiB();
  for (auto _ : state) {
    view.Update();
    view.PrepareBackBuffer();
  }
  state.counters["peak_growth_MiB"] = double(PeakKiB() - before) / 1024.0;
  state.counters["peak_MiB"] = double(PeakKiB()) / 1024.0;
  state.counters["file_backed"] = b.Location() == vlFile;
  state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
}

void BM_PreviewPhoto3000x2000(benchmark::State& state) {
  PaintPreview(state, 3000, 2000, vlTBitmap);
}
BENCHMARK(BM_PreviewPhoto3000x2000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewFileBacked20000x20000(benchmark::State& state) {
  PaintPreview(state, 20000, 20000, vlFile);
}
BENCHMARK(BM_PreviewFileBacked20000x20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
