// The copy of a photo disc: 120 photos of 400 MB in all, read from the page cache, copied by
// the copy workflow into an empty destination, against the peers `cp -r` followed by `sync`
// (the same guarantee that every file is on the disk) and plain `cp -r`, timed in the same
// run. Every copied file is flushed before it gets its name, so the peer that matches it is
// the one that syncs. The medians of five runs are reported.
//
// BM_CopyDiscAsJpeg times a copy of a disc of 120 TIFF photos (400 MB, written with libtiff)
// with "As JPEG" and the preview load on, against `cp -r && sync` of the same disc.

#include <benchmark/benchmark.h>
#include <unistd.h>
#if VANDREL_HAVE_LIBTIFF
#include <tiffio.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/copy_workflow.h"
#include "imaging/component/vistrel_io.h"
#include "platform/drives.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 120;
constexpr size_t kDiscBytes = size_t{400} << 20;

// A disc built once per process: albums of photo-sized files of incompressible bytes.
class BenchDisc {
 public:
  static BenchDisc& Get() {
    static BenchDisc disc;
    return disc;
  }
  const fs::path& Source() const { return FSource; }
  const fs::path& Work() const { return FWork; }
  ~BenchDisc() {
    std::error_code ec;
    fs::remove_all(FWork, ec);
  }

 private:
  BenchDisc() {
    char pattern[] = "/tmp/vandrel-copy-bench-XXXXXX";
    FWork = ::mkdtemp(pattern) ? pattern : "/tmp/vandrel-copy-bench";
    FSource = FWork / "disc";
    std::mt19937_64 random(42);
    std::vector<uint64_t> bytes(kDiscBytes / kPhotos / sizeof(uint64_t));
    for (int i = 0; i < kPhotos; ++i) {
      for (uint64_t& b : bytes) b = random();
      const fs::path file =
          FSource / ("Album" + std::to_string(1 + i / 30)) / ("IMG_" + std::to_string(1000 + i) + ".jpg");
      fs::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size() * sizeof(uint64_t)));
    }
    ::sync();  // the disc's own writes are not the copies' to pay for
    Warm(FSource);
  }
  // Reads every file once, so that all runs copy from the page cache.
  static void Warm(const fs::path& folder) {
    std::vector<char> buffer(1 << 20);
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path(), std::ios::binary);
      while (in.read(buffer.data(), std::streamsize(buffer.size()))) {
      }
    }
  }
  fs::path FWork, FSource;
};

// An empty destination for the next run; the previous copies are removed and flushed out of
// the timing.
fs::path FreshDestination(benchmark::State& state) {
  state.PauseTiming();
  const fs::path dest = BenchDisc::Get().Work() / "dest";
  std::error_code ec;
  fs::remove_all(dest, ec);
  fs::create_directories(dest);
  ::sync();
  state.ResumeTiming();
  return dest;
}

void RunWorkflow(const fs::path& source, const fs::path& dest, TCopyHooks hooks) {
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{source.string() + "/", "VANDREL PHOTOS"}}));
  hooks.ProcessMessages = [] {};
  hooks.ShowMessage = [](const std::string&) {};
  hooks.OpenFolder = [](const std::string&) {};
  TCopyWorkflow workflow(std::move(hooks));
  workflow.SetSource(source.string());
  workflow.SetDestination(dest.string());
  workflow.CopyFilesClick();
  platform::SetDriveTable(nullptr);
}

void BM_CopyDisc(benchmark::State& state) {
  const BenchDisc& disc = BenchDisc::Get();
  for (auto _ : state) {
    const fs::path dest = FreshDestination(state);
    RunWorkflow(disc.Source(), dest, {});
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kDiscBytes));
}

void RunShell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

void BM_CpRecursiveAndSync(benchmark::State& state) {
  const BenchDisc& disc = BenchDisc::Get();
  for (auto _ : state) {
    const fs::path dest = FreshDestination(state);
    RunShell(state, "cp -r '" + disc.Source().string() + "' '" + dest.string() + "/copy' && sync");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kDiscBytes));
}

void BM_CpRecursive(benchmark::State& state) {
  const BenchDisc& disc = BenchDisc::Get();
  for (auto _ : state) {
    const fs::path dest = FreshDestination(state);
    RunShell(state, "cp -r '" + disc.Source().string() + "' '" + dest.string() + "/copy'");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kDiscBytes));
}

// A disc of TIFF photos (written with libtiff: smooth gradients with mild noise, as photos
// compress), made once per process; empty when libtiff is not at hand.
fs::path TiffDisc() {
  static const fs::path disc = [] {
#if VANDREL_HAVE_LIBTIFF
    const fs::path folder = BenchDisc::Get().Work() / "tiffdisc";
    const uint32_t width = 1000, height = uint32_t(kDiscBytes / kPhotos / 3 / 1000);
    std::mt19937 random(7);
    std::vector<uint8_t> row(width * 3);
    for (int i = 0; i < kPhotos; ++i) {
      const fs::path file =
          folder / ("Album" + std::to_string(1 + i / 30)) / ("IMG_" + std::to_string(1000 + i) + ".tif");
      fs::create_directories(file.parent_path());
      TIFF* tiff = TIFFOpen(file.c_str(), "w");
      if (!tiff) return fs::path();
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
      for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
          const int noise = int(random() % 9) - 4;
          row[x * 3] = uint8_t(std::clamp(int((x + y + i) & 0xFF) + noise, 0, 255));
          row[x * 3 + 1] = uint8_t(std::clamp(int((x * 2 + i * 5) & 0xFF) + noise, 0, 255));
          row[x * 3 + 2] = uint8_t(std::clamp(int((y * 3) & 0xFF) + noise, 0, 255));
        }
        TIFFWriteScanline(tiff, row.data(), y, 0);
      }
      TIFFClose(tiff);
    }
    ::sync();
    return folder;
#else
    return fs::path();
#endif
  }();
  return disc;
}

void BM_CopyDiscAsJpeg(benchmark::State& state) {
  const fs::path disc = TiffDisc();
  if (disc.empty()) {
    state.SkipWithError("libtiff is needed to make the TIFF disc");
    return;
  }
  {
    // Without a TIFF reader every TIFF would be copied unchanged: that is not this measure.
    TVistrelIO probe;
    probe.LoadFromFile((disc / "Album1/IMG_1000.tif").string());
    if (probe.AbortFlag()) {
      state.SkipWithError("TIFF files do not load yet");
      return;
    }
  }
  for (auto _ : state) {
    const fs::path dest = FreshDestination(state);
    TVistrelIO io;
    TCopyHooks hooks;
    hooks.AsJpeg = [] { return true; };
    hooks.LoadImage = [&io](const std::string& path) {
      io.LoadFromFile(path);
      return !io.AbortFlag();
    };
    hooks.SaveJpeg = [&io](const std::string& path) {
      io.SaveJpegFile(path);
      return !io.AbortFlag();
    };
    RunWorkflow(disc, dest, std::move(hooks));
  }
}

void BM_CpRecursiveAndSyncTiffDisc(benchmark::State& state) {
  const fs::path disc = TiffDisc();
  if (disc.empty()) {
    state.SkipWithError("libtiff is needed to make the TIFF disc");
    return;
  }
  for (auto _ : state) {
    const fs::path dest = FreshDestination(state);
    RunShell(state, "cp -r '" + disc.string() + "' '" + dest.string() + "/copy' && sync");
  }
}

}  // namespace

#define VANDREL_COPY_BENCH(name)                                                          \
  BENCHMARK(name)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime() \
      ->Unit(benchmark::kMillisecond)
VANDREL_COPY_BENCH(BM_CopyDisc);
VANDREL_COPY_BENCH(BM_CpRecursiveAndSync);
VANDREL_COPY_BENCH(BM_CpRecursive);
VANDREL_COPY_BENCH(BM_CopyDiscAsJpeg);
VANDREL_COPY_BENCH(BM_CpRecursiveAndSyncTiffDisc);
