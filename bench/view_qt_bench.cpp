// The preview's resampling of a 3000 x 2000 photo to 171 x 114: our FastLinear against Qt's
// smooth scaling of the same picture (QImage::scaled with Qt::SmoothTransformation from
// Format_RGB32) and against one plain read pass over the source, in the same run. The scalar
// FastLinear (the reference the vector code is tested against) shows what the vector code buys.

#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imaging/model/bitmap.h"
#include "imaging/view/resample.h"
#include "imaging/view/resample_core.h"

namespace {

constexpr int32_t kW = 3000, kH = 2000, kDw = 171, kDh = 114;

TVLBitmap& Photo() {
  static std::unique_ptr<TVLBitmap> photo = [] {
    auto b = std::make_unique<TVLBitmap>();
    b->SetLocation(vlMemory);
    b->Allocate(kW, kH, vl24RGB);
    for (int32_t y = 0; y < kH; ++y) {
      uint8_t* row = b->Scanline(y);
      for (int32_t x = 0; x < kW * 3; ++x) row[x] = uint8_t((x * 7 + y * 3) ^ (x >> 5));
    }
    return b;
  }();
  return *photo;
}

void BM_FastLinear(benchmark::State& state) {
  TVLBitmap& src = Photo();
  TVLBitmap dst;
  dst.SetLocation(vlMemory);
  dst.Allocate(kDw, kDh, vl24RGB);
  for (auto _ : state) {
    FastLinearResample(src, dst);
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_FastLinear)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_FastLinearScalar(benchmark::State& state) {
  TVLBitmap& src = Photo();
  TVLBitmap dst;
  dst.SetLocation(vlMemory);
  dst.Allocate(kDw, kDh, vl24RGB);
  for (auto _ : state) {
    vlresample::FastLinear(
        {kW, kH, 3, true}, {kDw, kDh, 3}, [&](int32_t y) { return src.Scanline(y); },
        [&](int32_t y, const uint8_t* row) { std::memcpy(dst.Scanline(y), row, size_t(kDw) * 3); },
        {}, false, vlresample::TLinearPath::Scalar);
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_FastLinearScalar)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_QtSmoothScaled(benchmark::State& state) {
  QImage image(kW, kH, QImage::Format_RGB32);
  TVLBitmap& src = Photo();
  for (int32_t y = 0; y < kH; ++y) {
    const uint8_t* s = src.Scanline(y);
    auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int32_t x = 0; x < kW; ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
  }
  for (auto _ : state) {
    QImage scaled = image.scaled(kDw, kDh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(scaled.constBits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_QtSmoothScaled)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The floor: every source byte read once.
void BM_ReadPass(benchmark::State& state) {
  TVLBitmap& src = Photo();
  for (auto _ : state) {
    uint64_t sum = 0;
    for (int32_t y = 0; y < kH; ++y) {
      const uint8_t* s = src.Scanline(y);
      for (int32_t x = 0; x < kW * 3; ++x) sum += s[x];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_ReadPass)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
