// The copy of a 400 MB disc of 120 photos (hot cache: the source was just written) with
// verification against the same copy without it, in one run. Verification reads every byte
// of the copy back from the device, so it may take up to twice as long. Both report MB/s of
// source bytes (wall time); every copy goes into a fresh destination, removed untimed.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/copy_verify.h"
#include "app/copy_workflow.h"
#include "platform/drives.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 120;
constexpr size_t kPhotoBytes = 400'000'000 / kPhotos;

// The disc: photo-sized files of varied bytes in three album folders; removed at exit.
struct TDisc {
  fs::path Root;
  TDisc() {
    Root = fs::temp_directory_path() / ("vandrel-verify-bench-" + std::to_string(::getpid()));
    std::string bytes(kPhotoBytes, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    for (int i = 0; i < kPhotos; ++i) {
      const fs::path album = Root / "disc" / ("Album" + std::to_string(i % 3));
      fs::create_directories(album);
      bytes[0] = static_cast<char>(i);
      std::ofstream(album / ("photo" + std::to_string(i) + ".jpg"), std::ios::binary) << bytes;
    }
    platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
        std::vector<platform::FixedDriveTable::Drive>{{(Root / "disc").string() + "/", "VANDREL"}}));
  }
  ~TDisc() {
    std::error_code ec;
    fs::remove_all(Root, ec);
  }
};

const TDisc& Disc() {
  static TDisc disc;
  return disc;
}

void BM_CopyDisc(benchmark::State& state) {
  const bool verify = state.range(0) != 0;
  const TDisc& disc = Disc();
  const fs::path dest = disc.Root / "dest";
  int failed = 0;
  for (auto _ : state) {
    TCopyHooks hooks;
    hooks.ProcessMessages = [] {};
    hooks.ShowMessage = [](const std::string&) {};
    hooks.OpenFolder = [](const std::string&) {};
    if (verify) {
      hooks.CopyFile = [](const std::string& S, const std::string& T, std::string& reason,
                       int& errnum) {
        return CopyFileVerified(S, T, reason, {}, &errnum);
      };
    }
    TCopyWorkflow workflow(std::move(hooks));
    workflow.SetSource((disc.Root / "disc").string());
    workflow.SetDestination(dest.string());
    workflow.CopyFilesClick();
    failed += static_cast<int>(workflow.LastSummary().FailedFiles.size());

    state.PauseTiming();
    fs::remove_all(dest);
    state.ResumeTiming();
  }
  if (failed) state.SkipWithError("some files were not copied");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPhotos * kPhotoBytes);
  state.SetLabel(verify ? "--verify" : "plain copy");
}

BENCHMARK(BM_CopyDisc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
