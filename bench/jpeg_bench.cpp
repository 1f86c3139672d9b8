// The JPEG adapter against plain libjpeg-turbo on a generated 6000 x 4000 photo, in the same
// run: decoding into a memory bitmap, encoding at quality 80, a 1/8 scaled decode, and a
// decode into a file-backed bitmap whose resident memory is sampled while it runs.
// Compare BM_DecodeJpeg with BM_PlainDecode and BM_EncodeJpeg with BM_PlainEncode.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "bench/synthetic_photo.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

// Smooth gradients, soft shapes, a fine texture and mild sensor-like noise (+-4): compresses
// like a photograph, to about 0.5 bits per pixel at quality 80. The 1/8 read saves the
// inverse DCT, the colour conversion and the output, not the entropy decoding, so noisier
// content (more bits per pixel) narrows its lead over a full read.
TVLBitmap& Photo() {
  static TVLBitmap* photo = MakeSyntheticPhoto(kWidth, kHeight, 3000, 1800, 1200, 3);
  return *photo;
}

const std::vector<uint8_t>& PhotoJpeg() {
  static const std::vector<uint8_t> bytes = [] {
    TIOParamsVals params;
    TMemoryStream out;
    bool abort = false;
    TVLProgressState progress;
    progress.AbortFlag = &abort;
    EncodeJpeg(out, Photo(), params, progress);
    return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Length());
  }();
  return bytes;
}

int64_t ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void DecodeInto(TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressState& Progress) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  TMemoryStream in(jpeg.data(), jpeg.size());
  DecodeJpeg(in, nullptr, Bitmap, true, false, true, false, false, Progress, Params);
}

void BM_DecodeJpeg(benchmark::State& state) {
  const TVLJPEGScale scale = TVLJPEGScale(state.range(0));
  TVLBitmap bitmap;
  bitmap.MemoryThreshold = int64_t(1) << 40;
  for (auto _ : state) {
    TIOParamsVals params;
    params.JpegScale = scale;
    bool abort = false;
    TVLProgressState progress;
    progress.AbortFlag = &abort;
    DecodeInto(bitmap, params, progress);
    if (abort) state.SkipWithError("decode failed");
  }
  state.counters["width"] = bitmap.Width();
}

// libjpeg-turbo alone: blue-green-red rows into a new image buffer, as every decode makes a
// new image (the buffer is not touched before the library writes it, like a new bitmap).
void BM_PlainDecode(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> image(new uint8_t[size_t(kWidth) * kHeight * 3]);
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    info.scale_denom = unsigned(state.range(0));
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = image.get() + size_t(info.output_scanline) * info.output_width * 3;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(image.get());
  }
}

void BM_EncodeJpeg(benchmark::State& state) {
  TVLBitmap& photo = Photo();
  size_t bytes = 0;
  for (auto _ : state) {
    TIOParamsVals params;  // quality 80 and the other defaults
    TMemoryStream out;
    bool abort = false;
    TVLProgressState progress;
    progress.AbortFlag = &abort;
    EncodeJpeg(out, photo, params, progress);
    bytes = out.Length();
  }
  state.counters["jpeg_bytes"] = double(bytes);
}

void BM_PlainEncode(benchmark::State& state) {
  TVLBitmap& photo = Photo();
  unsigned long bytes = 0;
  for (auto _ : state) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 80, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (int32_t y = 0; y < kHeight; ++y) {
      JSAMPROW row = photo.Scanline(y);
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    bytes = size;
    std::free(buffer);
  }
  state.counters["jpeg_bytes"] = double(bytes);
}

// Into a file-backed bitmap: the resident set is sampled at every progress report, so the
// growth over the resident set before the read shows what the decode holds in memory.
void BM_DecodeJpegToFile(benchmark::State& state) {
  PhotoJpeg();
  int64_t growth = 0;
  for (auto _ : state) {
    TVLBitmap bitmap;
    bitmap.MemoryThreshold = 0;
    TIOParamsVals params;
    bool abort = false;
    const int64_t before = ResidentKb();
    int64_t peak = before;
    TVLProgressState progress;
    progress.AbortFlag = &abort;
    progress.OnProgress = [&](TObject*, int) {
      if (progress.StepsDone % 64 == 0) peak = std::max(peak, ResidentKb());
    };
    DecodeInto(bitmap, params, progress);
    if (abort || bitmap.Location() != vlFile) state.SkipWithError("not decoded into a file");
    growth = std::max(growth, peak - before);
  }
  state.counters["rss_growth_kb"] = double(growth);
}

}  // namespace

BENCHMARK(BM_DecodeJpeg)->Arg(jsFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDecode)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Arg(jsEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDecode)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpegToFile)->Iterations(3)->Unit(benchmark::kMillisecond);
