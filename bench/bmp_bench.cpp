// BMP decoding of a 6000 x 4000 image into a memory bitmap, against the physical limit:
// reading the same file's bytes into a buffer, in the same run. Both report MB/s of file
// bytes (wall time); decoding also reports pixels per second. The 24-bit file and an RLE8 file of the same size are made once, by our writer, in
// a temporary folder.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "imaging/codecs/bmp_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

// Writes the test file once; RLE8 files get a banded palette image that compresses well.
// The files made, removed when the program ends.
struct TFiles {
  std::string Paths[2];
  ~TFiles() {
    for (const std::string& p : Paths)
      if (!p.empty()) std::remove(p.c_str());
  }
};

const std::string& TestFile(bool rle8) {
  static TFiles files;
  std::string& path = files.Paths[rle8];
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() /
          ("vandrel-bmp-bench-" + std::to_string(::getpid()) + (rle8 ? "-rle8.bmp" : "-24.bmp")))
             .string();
  TVLBitmap image;
  image.MemoryThreshold = int64_t(1) << 40;
  TIOParamsVals params;
  if (rle8) {
    image.Allocate(kWidth, kHeight, vl8p);
    for (int i = 0; i < 256; ++i) image.SetPalette(i, MakeRGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = image.Scanline(y);
      for (int32_t x = 0; x < kWidth; ++x) row[x] = uint8_t((x / 24 + y / 16) % 256 ^ (x % 97 == 0));
    }
    params.BitsPerSample = 8, params.SamplesPerPixel = 1, params.BmpCompression = 1;
  } else {
    image.Allocate(kWidth, kHeight, vl24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = image.Scanline(y);
      for (int32_t i = 0; i < kWidth * 3; ++i) row[i] = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    }
  }
  TFileStream out(path, fmCreate);
  bool aborted = false;
  TVLProgressState progress;
  progress.AbortFlag = &aborted;
  EncodeBmp(out, image, params, progress);
  return path;
}

int64_t FileSize(const std::string& path) { return int64_t(std::filesystem::file_size(path)); }

// The peer: the file's bytes into a fresh buffer, as a decoder would have to read them.
void BM_ReadFileBytes(benchmark::State& state) {
  const std::string& path = TestFile(state.range(0) != 0);
  const int64_t size = FileSize(path);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(size)]);
    TFileStream in(path, fmOpenRead);
    benchmark::DoNotOptimize(in.Read(buffer.get(), size_t(size)));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_DecodeBmp(benchmark::State& state) {
  const std::string& path = TestFile(state.range(0) != 0);
  const int64_t size = FileSize(path);
  for (auto _ : state) {
    TVLBitmap bitmap;
    bitmap.MemoryThreshold = int64_t(1) << 40;  // a memory bitmap
    TIOParamsVals params;
    std::unique_ptr<TVLMask> mask;
    bool aborted = false;
    TVLProgressState progress;
    progress.AbortFlag = &aborted;
    TFileStream in(path, fmOpenRead);
    DecodeBmp(in, bitmap, 0, false, mask, false, false, progress, params);
    if (aborted || bitmap.Width() != kWidth) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bitmap.Scanline(0));
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["pixels"] = benchmark::Counter(double(state.iterations()) * kWidth * kHeight,
                                                benchmark::Counter::kIsRate);
}

// Argument 0: 24-bit file; 1: RLE8 file.
BENCHMARK(BM_ReadFileBytes)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
