// The PNG reader against a plain libpng read loop of the same 4000 x 3000 RGB file, in the
// same run: both read from memory into a new image buffer each time (ours into a memory
// bitmap with its alpha mask, the peer into one block of rows). Compare BM_DecodePng with
// BM_PlainLibpngDecode. BM_EncodePng times the writer on the same image for reference.

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/png_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "bench/synthetic_photo.h"
#include "imaging/model/mask.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

// Gradients, a disc and mild noise: compresses like a photograph saved as PNG.
TVLBitmap& Photo() {
  static TVLBitmap* photo = MakeSyntheticPhoto(kWidth, kHeight, 2000, 1400, 900, 2);
  return *photo;
}

std::vector<uint8_t> Encode() {
  TIOParamsVals params;
  params.PngRowFilter = 2;
  TMemoryStream out;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  EncodePng(out, Photo(), params, nullptr, progress);
  return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Length());
}

const std::vector<uint8_t>& PhotoPng() {
  static const std::vector<uint8_t> bytes = Encode();
  return bytes;
}

void BM_DecodePng(benchmark::State& state) {
  const std::vector<uint8_t>& png = PhotoPng();
  for (auto _ : state) {
    TVLBitmap bitmap;
    bitmap.MemoryThreshold = int64_t(1) << 40;
    TIOParamsVals params;
    std::unique_ptr<TVLMask> mask;
    bool abort = false;
    TVLProgressState progress;
    progress.AbortFlag = &abort;
    TMemoryStream in(png.data(), png.size());
    DecodePng(in, bitmap, params, false, mask, false, progress);
    if (abort) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bitmap.Scanline(kHeight - 1));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

struct TMemoryReader {
  const uint8_t* Data;
  size_t Left;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<TMemoryReader*>(png_get_io_ptr(png));
  if (n > r->Left) png_error(png, "short");
  std::memcpy(out, r->Data, n);
  r->Data += n;
  r->Left -= n;
}

// What a program using libpng directly does: the same BGR rows, into a fresh buffer.
void BM_PlainLibpngDecode(benchmark::State& state) {
  const std::vector<uint8_t>& file = PhotoPng();
  for (auto _ : state) {
    TMemoryReader reader{file.data(), file.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::unique_ptr<uint8_t[]> pixels;
    if (setjmp(png_jmpbuf(png)) == 0) {
      png_set_read_fn(png, &reader, ReadFromMemory);
      png_read_info(png, info);
      png_set_bgr(png);
      png_read_update_info(png, info);
      const size_t rowBytes = png_get_rowbytes(png, info);
      const png_uint_32 height = png_get_image_height(png, info);
      pixels.reset(new uint8_t[rowBytes * height]);
      for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels.get() + y * rowBytes, nullptr);
      png_read_end(png, info);
    } else {
      state.SkipWithError("decode failed");
    }
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}
BENCHMARK(BM_PlainLibpngDecode)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
  Photo();
  for (auto _ : state) benchmark::DoNotOptimize(Encode().size());
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 3);
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

}  // namespace
