// The TIFF reader against libtiff's TIFFReadRGBAImage on the same files: a 3000 x 2000 RGB
// photograph-like image in LZW with the predictor, in PackBits, uncompressed and in 256 x 256
// LZW tiles; a 1728 x 2300 text-like page in Group 4 and in Group 3 two-dimensional coding.
// Both sides read the file from disk into a new image each time. A last case reads a
// 20000 x 20000 bilevel page into a file-backed bitmap in a child process and reports the
// child's peak resident memory.

#include <benchmark/benchmark.h>

#ifdef VANDREL_HAVE_LIBTIFF
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/tiff_reader.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

std::vector<uint8_t> Photo(uint32_t W, uint32_t H) {
  std::vector<uint8_t> rgb(size_t(W) * H * 3);
  uint32_t seed = 3;
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgb[(size_t(y) * W + x) * 3];
      p[0] = uint8_t(x * 255 / W + (seed >> 29));
      p[1] = uint8_t(y * 255 / H + ((seed >> 26) & 3));
      p[2] = uint8_t((x + y) / 8 + ((seed >> 22) & 3));
    }
  return rgb;
}

// A bilevel page (1 = black): text-like lines of short strokes.
std::vector<uint8_t> Page(uint32_t W, uint32_t H) {
  const size_t stride = (W + 7) / 8;
  std::vector<uint8_t> page(stride * H, 0);
  uint32_t seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (uint32_t line = 150; line + 30 < H - 150; line += 34)
    for (uint32_t x = 120; x + 14 < W - 120; x += 15) {
      if (next() % 6 == 0) continue;
      const uint32_t y0 = line + next() % 12, x0 = x + next() % 10;
      for (uint32_t i = 0; i < 10; ++i) page[(y0 + i) * stride + x0 / 8] |= uint8_t(0x80 >> (x0 % 8));
      for (uint32_t i = 0; i < 10; ++i) page[(y0 + 5) * stride + (x0 + i) / 8] |= uint8_t(0x80 >> ((x0 + i) % 8));
    }
  return page;
}

std::string Write(const std::string& Name, const std::vector<uint8_t>& Pixels, uint32_t W,
                  uint32_t H, uint16_t Samples, uint16_t Bits, uint16_t Compression,
                  uint32_t Tile = 0) {
  const std::string path = (std::filesystem::temp_directory_path() / Name).string();
  if (std::filesystem::exists(path)) return path;
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, W);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, H);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, Samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, Bits);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, Compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, Samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (Compression == COMPRESSION_LZW && Samples == 3) TIFFSetField(tif, TIFFTAG_PREDICTOR, 2);
  if (Compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
  const size_t rowBytes = (size_t(W) * Samples * Bits + 7) / 8;
  if (Tile) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, Tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, Tile);
    std::vector<uint8_t> tile(size_t(Tile) * Tile * Samples);
    for (uint32_t ty = 0; ty < H; ty += Tile)
      for (uint32_t tx = 0; tx < W; tx += Tile) {
        std::fill(tile.begin(), tile.end(), 0);
        for (uint32_t y = 0; y < Tile && ty + y < H; ++y)
          for (uint32_t x = 0; x < Tile && tx + x < W; ++x)
            for (uint16_t s = 0; s < Samples; ++s)
              tile[(size_t(y) * Tile + x) * Samples + s] = Pixels[(ty + y) * rowBytes + (tx + x) * Samples + s];
        TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
      }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, Bits == 1 ? H : 16);
    for (uint32_t y = 0; y < H; ++y) TIFFWriteScanline(tif, const_cast<uint8_t*>(&Pixels[y * rowBytes]), y, 0);
  }
  TIFFClose(tif);
  return path;
}

const std::vector<uint8_t>& PhotoPixels() {
  static const std::vector<uint8_t> p = Photo(3000, 2000);
  return p;
}
const std::vector<uint8_t>& PagePixels() {
  static const std::vector<uint8_t> p = Page(1728, 2300);
  return p;
}

std::string LzwFile() { return Write("vandrel_rb_lzw.tif", PhotoPixels(), 3000, 2000, 3, 8, COMPRESSION_LZW); }
std::string PackBitsFile() { return Write("vandrel_rb_packbits.tif", PhotoPixels(), 3000, 2000, 3, 8, COMPRESSION_PACKBITS); }
std::string NoneFile() { return Write("vandrel_rb_none.tif", PhotoPixels(), 3000, 2000, 3, 8, COMPRESSION_NONE); }
std::string TiledFile() { return Write("vandrel_rb_tiles.tif", PhotoPixels(), 3000, 2000, 3, 8, COMPRESSION_LZW, 256); }
std::string G4File() { return Write("vandrel_rb_g4.tif", PagePixels(), 1728, 2300, 1, 1, COMPRESSION_CCITTFAX4); }
std::string G3File() { return Write("vandrel_rb_g3.tif", PagePixels(), 1728, 2300, 1, 1, COMPRESSION_CCITTFAX3); }

bool ReadOurs(const std::string& Path, TVLBitmap& Bitmap) {
  TFileStream stream(Path, fmOpenRead);
  TIOParamsVals params;
  std::unique_ptr<TVLMask> mask;
  int32_t pages = 0;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  DecodeTiff(Bitmap, stream, pages, false, false, true, mask, false, progress, params);
  return !abort;
}

void Ours(benchmark::State& State, const std::string& Path) {
  for (auto _ : State) {
    TVLBitmap bitmap;
    bitmap.SetLocation(vlMemory);
    if (!ReadOurs(Path, bitmap)) State.SkipWithError("read failed");
    benchmark::DoNotOptimize(bitmap.Scanline(0));
  }
}

// libtiff's raster is mapped fresh for every read, as our bitmap's pixels are (a heap
// vector would be served from memory the previous iteration already touched).
void Libtiff(benchmark::State& State, const std::string& Path) {
  TIFFSetWarningHandler(nullptr);
  for (auto _ : State) {
    TIFF* tif = TIFFOpen(Path.c_str(), "r");
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    const size_t bytes = size_t(w) * h * 4;
    void* raster = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (!TIFFReadRGBAImage(tif, w, h, static_cast<uint32_t*>(raster), 0))
      State.SkipWithError("libtiff failed");
    benchmark::DoNotOptimize(raster);
    munmap(raster, bytes);
    TIFFClose(tif);
  }
}

#define PAIR(Name, File)                                                       \
  void BM_##Name##_Ours(benchmark::State& s) { Ours(s, File()); }               \
  void BM_##Name##_Libtiff(benchmark::State& s) { Libtiff(s, File()); }         \
  BENCHMARK(BM_##Name##_Ours)->Unit(benchmark::kMillisecond);                  \
  BENCHMARK(BM_##Name##_Libtiff)->Unit(benchmark::kMillisecond);

PAIR(RgbLzwPredictor, LzwFile)
PAIR(RgbPackBits, PackBitsFile)
PAIR(RgbUncompressed, NoneFile)
PAIR(RgbLzwTiles256, TiledFile)
PAIR(G4Page, G4File)
PAIR(G3TwoDimensionalPage, G3File)

// A 20000 x 20000 Group 4 page read into a file-backed bitmap in a child process; the
// counter is the child's peak resident memory in MB (the goal is under 64).
void BM_HugePageFileBacked_PeakRssMB(benchmark::State& State) {
  static const std::string path = [] {
    const uint32_t side = 20000;
    std::vector<uint8_t> page(size_t(side / 8) * side, 0);
    for (uint32_t y = 0; y < side; y += 97)
      for (uint32_t x = 0; x < side / 8; x += 3) page[size_t(y) * (side / 8) + x] = 0xF0;
    return Write("vandrel_rb_huge_g4.tif", page, side, side, 1, 1, COMPRESSION_CCITTFAX4);
  }();
  double peak = 0;
  for (auto _ : State) {
    const pid_t child = fork();
    if (child == 0) {
      SetVLDefaultMemoryThreshold(1 << 20);
      TVLBitmap fileBacked;
      fileBacked.SetLocation(vlFile);
      fileBacked.MemoryThreshold = 1 << 20;
      const bool ok = ReadOurs(path, fileBacked) && fileBacked.Location() == vlFile;
      rusage use{};
      getrusage(RUSAGE_SELF, &use);
      _exit(ok ? int(std::min<long>(use.ru_maxrss / 1024, 254)) : 255);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const int mb = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
    if (mb == 255) State.SkipWithError("child failed");
    peak = mb;
  }
  State.counters["peak_rss_MB"] = peak;
}
BENCHMARK(BM_HugePageFileBacked_PeakRssMB)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

#endif  // VANDREL_HAVE_LIBTIFF
