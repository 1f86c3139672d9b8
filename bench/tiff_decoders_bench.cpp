// The TIFF strip decoders against libtiff on the same strips: a 1728 x 2300 text-like fax
// page in Group 4 and in Group 3 two-dimensional coding, and an RGB photograph-like strip set
// in LZW with the horizontal predictor. Both sides decode every row of every strip.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/codecs/tiff/row_decoder.h"

#ifdef VANDREL_HAVE_LIBTIFF
#include <tiffio.h>

namespace {

constexpr uint32_t kPageWidth = 1728, kPageHeight = 2300;

// A text-like bilevel page (1 = black, min-is-white): lines of glyphs made of strokes.
std::vector<uint8_t> TextPage() {
  const size_t stride = kPageWidth / 8;
  std::vector<uint8_t> page(stride * kPageHeight, 0);
  uint32_t seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  auto set = [&](uint32_t x, uint32_t y) { page[y * stride + x / 8] |= uint8_t(0x80 >> (x % 8)); };
  for (uint32_t line = 150; line + 30 < kPageHeight - 150; line += 34) {
    if (next() % 9 == 0) continue;  // paragraph break
    const uint32_t end = 120 + (next() % 10 == 0 ? next() % 1200 : 1480);
    for (uint32_t x = 120; x + 14 < end; x += 15) {
      if (next() % 6 == 0) continue;  // space between words
      for (int stroke = 0; stroke < 3; ++stroke) {
        const bool vertical = next() % 2;
        const uint32_t x0 = x + next() % 10, y0 = line + next() % 12;
        const uint32_t length = 4 + next() % 12, thick = 2 + next() % 2;
        for (uint32_t i = 0; i < length; ++i)
          for (uint32_t t = 0; t < thick; ++t)
            set(vertical ? x0 + t : x0 + i, vertical ? y0 + i : y0 + t);
      }
    }
  }
  return page;
}

// An RGB picture with smooth gradients and a little noise.
std::vector<uint8_t> Photo(uint32_t Width, uint32_t Height) {
  std::vector<uint8_t> rgb(size_t(Width) * Height * 3);
  uint32_t seed = 3;
  for (uint32_t y = 0; y < Height; ++y)
    for (uint32_t x = 0; x < Width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgb[(size_t(y) * Width + x) * 3];
      p[0] = uint8_t(x * 255 / Width + (seed >> 29));
      p[1] = uint8_t(y * 255 / Height + ((seed >> 26) & 3));
      p[2] = uint8_t((x + y) / 8 + ((seed >> 22) & 3));
    }
  return rgb;
}

struct TFile {
  std::string Path;
  TTiffRowFormat Format;
  uint32_t Height = 0, RowsPerStrip = 0;
  std::vector<std::vector<uint8_t>> Strips;  // raw
};

// Writes the image with libtiff in the given coding, then reads its raw strips back.
TFile Write(const std::string& Name, const std::vector<uint8_t>& Pixels, uint32_t Width,
            uint32_t Height, uint16_t Samples, uint16_t Bits, uint16_t Compression,
            uint32_t Options, uint16_t Predictor, uint32_t RowsPerStrip) {
  TFile f;
  f.Path = (std::filesystem::temp_directory_path() / Name).string();
  TIFF* tif = TIFFOpen(f.Path.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, Width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, Height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, Samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, Bits);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, Compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, Samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, RowsPerStrip);
  if (Compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, Options);
  if (Compression == COMPRESSION_LZW) TIFFSetField(tif, TIFFTAG_PREDICTOR, Predictor);
  const size_t rowBytes = (size_t(Width) * Samples * Bits + 7) / 8;
  for (uint32_t y = 0; y < Height; ++y)
    TIFFWriteScanline(tif, const_cast<uint8_t*>(&Pixels[y * rowBytes]), y, 0);
  TIFFClose(tif);

  tif = TIFFOpen(f.Path.c_str(), "r");
  const uint64_t* counts = nullptr;
  TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
  for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    std::vector<uint8_t> raw(size_t(counts[s]));
    TIFFReadRawStrip(tif, s, raw.data(), tmsize_t(raw.size()));
    f.Strips.push_back(std::move(raw));
  }
  TIFFClose(tif);
  f.Format.Compression = Compression;
  f.Format.T4Options = Options;
  f.Format.Predictor = Predictor;
  f.Format.BitsPerSample = Bits;
  f.Format.SamplesPerPixel = Samples;
  f.Format.Photometric = Samples == 3 ? 2 : 0;
  f.Format.Width = int32_t(Width);
  f.Height = Height;
  f.RowsPerStrip = RowsPerStrip;
  return f;
}

const TFile& G4Page() {
  static const TFile f = Write("vandrel_bench_g4.tif", TextPage(), kPageWidth, kPageHeight, 1, 1,
                               COMPRESSION_CCITTFAX4, 0, 1, kPageHeight);
  return f;
}
const TFile& G3Page() {
  static const TFile f = Write("vandrel_bench_g3.tif", TextPage(), kPageWidth, kPageHeight, 1, 1,
                               COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, 1, kPageHeight);
  return f;
}
const TFile& LzwPhoto() {
  static const TFile f = Write("vandrel_bench_lzw.tif", Photo(1500, 1000), 1500, 1000, 3, 8,
                               COMPRESSION_LZW, 0, 2, 16);
  return f;
}

// Ours: every row of every strip copied into an image buffer, as the reader does.
void Ours(benchmark::State& State, const TFile& F) {
  TTiffRowDecoder decoder(F.Format);
  std::vector<uint8_t> image(decoder.DecodedRowBytes() * F.Height);
  for (auto _ : State) {
    uint32_t y = 0;
    for (const auto& strip : F.Strips) {
      decoder.StartStrip(strip.data(), strip.size());
      for (uint32_t r = 0; r < F.RowsPerStrip && y < F.Height; ++r, ++y) {
        const uint8_t* row = nullptr;
        decoder.DecodeRow(row);
        std::memcpy(&image[y * decoder.DecodedRowBytes()], row, decoder.DecodedRowBytes());
      }
      decoder.EndStrip();
    }
    benchmark::DoNotOptimize(image.data());
  }
}

// libtiff: TIFFReadEncodedStrip over the same file's strips into an image buffer.
void Libtiff(benchmark::State& State, const TFile& F) {
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(F.Path.c_str(), "r");
  std::vector<uint8_t> image(size_t(TIFFStripSize(tif)) * TIFFNumberOfStrips(tif));
  for (auto _ : State) {
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
      TIFFReadEncodedStrip(tif, s, &image[s * size_t(TIFFStripSize(tif))], -1);
    benchmark::DoNotOptimize(image.data());
  }
  TIFFClose(tif);
}

void BM_G4Page_Ours(benchmark::State& s) { Ours(s, G4Page()); }
void BM_G4Page_Libtiff(benchmark::State& s) { Libtiff(s, G4Page()); }
void BM_G3TwoDimensionalPage_Ours(benchmark::State& s) { Ours(s, G3Page()); }
void BM_G3TwoDimensionalPage_Libtiff(benchmark::State& s) { Libtiff(s, G3Page()); }
void BM_LzwPredictorRgb_Ours(benchmark::State& s) { Ours(s, LzwPhoto()); }
void BM_LzwPredictorRgb_Libtiff(benchmark::State& s) { Libtiff(s, LzwPhoto()); }

BENCHMARK(BM_G4Page_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Page_Libtiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G3TwoDimensionalPage_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G3TwoDimensionalPage_Libtiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwPredictorRgb_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwPredictorRgb_Libtiff)->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // VANDREL_HAVE_LIBTIFF
