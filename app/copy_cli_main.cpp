// vandrel-copy-cli: copies the images of a Vandrel photo disc without a window, with the
// same workflow the window uses: the same disc detection, scan, destination layout,
// skipping of existing files and closing message.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/copy_verify.h"
#include "app/copy_workflow.h"
#include "app/terminal_progress.h"
#include "app/tiff_to_jpeg.h"
#include "app/version.h"
#include "imaging/component/vistrel_io.h"
#include "platform/drives.h"
#include "platform/fs.h"

namespace {

const char* const kUsage =
    "Usage: vandrel-copy-cli [--source DIR] [--dest DIR] [--jpeg] [--verify]\n"
    "Copies the images of a Vandrel photo disc into \"Vandrel Images\" below DIR.\n"
    "\n"
    "  --source DIR  folder to copy from, standing for the disc's root (default: the\n"
    "                first drive whose volume label contains VANDREL or DIGITAL PHOTOS)\n"
    "  --dest DIR    folder to create \"Vandrel Images\" in (default: the home folder)\n"
    "  --jpeg        write TIFF files as JPEG files\n"
    "  --verify      read every copy back from the destination and compare it with the\n"
    "                source (XXH3-128) before it gets its name; a copy that differs is\n"
    "                removed and counted as failed (\"verification failed\")\n"
    "  --help        show this text\n"
    "  --version     show the program's version\n"
    "\n"
    "On a terminal, one line shows the progress; otherwise a line is printed per file.\n"
    "Ctrl-C stops the copy after the file being copied.\n"
    "\n"
    "Exit status: 0 when every image was copied or already present, 1 when some could\n"
    "not be copied or the copy was stopped, 2 when no disc or source folder was found or\n"
    "the arguments are wrong.\n";

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) { gInterrupted = 1; }

// SIGINT and SIGTERM ask the copy to stop, as the window's cancel button does; a second one
// ends the program at once.
void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The system's drives plus one folder that stands for the root of a disc, so that the tree
// below a --source folder is recreated below "Vandrel Images" (paths are taken relative to
// the drive root that holds them).
class TSourceAsDrive : public platform::DriveTable {
 public:
  TSourceAsDrive(std::shared_ptr<const platform::DriveTable> system, std::string root)
      : FSystem(std::move(system)), FRoot(std::move(root)) {}
  std::vector<std::string> RootPaths() const override {
    std::vector<std::string> roots = FSystem->RootPaths();
    roots.push_back(FRoot);
    return roots;
  }
  bool VolumeLabel(const std::string& rootPath, std::string& label) const override {
    return FSystem->VolumeLabel(rootPath, label);
  }

 private:
  std::shared_ptr<const platform::DriveTable> FSystem;
  std::string FRoot;
};

// The image I/O the copy uses for the JPEG conversion. Without a window there is no
// preview, so only the TIFF files that --jpeg converts are decoded; a TIFF that does not
// decode is copied unchanged by the workflow.
void ConnectImageIo(TCopyHooks& hooks, TVistrelIO& io, bool jpeg) {
  if (!jpeg) return;
  hooks.LoadImage = [&io](const std::string& path) {
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : platform::UpperAscii(path.substr(dot));
    if (ext != ".TIF" && ext != ".TIFF") return false;
    io.LoadFromFile(path);
    return !io.AbortFlag();
  };
  hooks.SaveJpeg = [&io](const std::string& path) { return SaveLoadedTiffAsJpeg(io, path); };
}

// The progress line on a terminal, fed by the workflow's hooks: the scan gives the file
// list, and each percentage update starts the next file in order.
struct TCliProgress {
  TTerminalProgress Line{stdout};
  int FIndex = -1;
  bool Started = false;

  void Start(const std::vector<std::string>& files) {
    std::vector<uint64_t> sizes;
    std::error_code ec;
    for (const std::string& f : files) {
      const auto size = std::filesystem::file_size(f, ec);
      sizes.push_back(ec ? 0 : size);
    }
    Line.Start(std::move(sizes));
    FIndex = -1;
    Started = true;
  }
  void Next() {
    if (Started) Line.FileStarting(++FIndex);
  }
  // Before the closing (or the cancel) message: a copy that ran through is all done.
  void End(const TCopySummary& s) {
    if (!Started) return;
    if (!s.Cancelled && s.Error.empty() && s.Total > 0) Line.FileStarting(s.Total);
    Line.Finish();
    Started = false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  CatchInterrupts();
  std::string source, dest;
  bool jpeg = false, verify = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("vandrel-copy-cli " VANDREL_VERSION);
      return 0;
    } else if (arg == "--jpeg") {
      jpeg = true;
    } else if (arg == "--verify") {
      verify = true;
    } else if ((arg == "--source" || arg == "--dest") && i + 1 < argc) {
      (arg == "--source" ? source : dest) = argv[++i];
    } else {
      std::fprintf(stderr, "vandrel-copy-cli: unexpected argument '%s'\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  if (source.empty()) {
    const std::vector<std::string> drives = platform::Drives().RootPaths();
    const int found = TCopyWorkflow::FindDisc(drives);
    if (found < 0) {
      std::printf("%s\n", TCopyWorkflow::kInsertDiscMessage);
      return 2;
    }
    source = drives[found];
    std::printf("Found the disc at %s\n", source.c_str());
  } else {
    std::error_code ec;
    std::string root = std::filesystem::absolute(source, ec).lexically_normal().string();
    if (ec) root = source;
    if (root.empty() || root.back() != '/') root += '/';
    source = root;
    platform::SetDriveTable(std::make_shared<TSourceAsDrive>(platform::Drives().Table(), root));
  }
  if (!platform::DirectoryExists(source)) {
    std::fprintf(stderr, "vandrel-copy-cli: the source folder %s does not exist\n", source.c_str());
    return 2;
  }
  if (dest.empty()) dest = platform::HomeDirectory();

  TCopyHooks hooks;
  std::string activity;
  std::unique_ptr<TCliProgress> progress;
  if (::isatty(STDOUT_FILENO)) progress = std::make_unique<TCliProgress>();
  hooks.SetStatusText = [&activity, &progress](int panel, const std::string& text) {
    if (panel == 1) activity = text;
    else if (progress) progress->Next();
    else std::printf("%7s  %s\n", text.c_str(), activity.c_str());
  };
  hooks.AsJpeg = [jpeg] { return jpeg; };
  hooks.ShowError = [&progress](const std::string& text) {
    if (progress) progress->Line.Clear();
    std::fprintf(stderr, "vandrel-copy-cli: %s\n", text.c_str());
  };
  if (verify) {
    hooks.CopyFile = [](const std::string& S, const std::string& T, std::string& reason,
                       int& errnum) {
      return CopyFileVerified(S, T, reason, {}, &errnum);
    };
    hooks.CheckWritten = [](const std::string& path, std::string& reason) {
      return VerifyWrittenFile(path, reason);
    };
  }
  hooks.OpenFolder = [](const std::string&) {};  // no desktop shell for a headless copy
  TVistrelIO io;
  ConnectImageIo(hooks, io, jpeg);

  TCopyWorkflow workflow(std::move(hooks));
  workflow.Hooks().SetFileCountText = [&workflow, &progress](const std::string& text) {
    std::printf("%s\n", text.c_str());
    if (progress) progress->Start(workflow.Files());
  };
  workflow.Hooks().ShowMessage = [&workflow, &progress](const std::string& text) {
    if (progress) progress->End(workflow.LastSummary());
    std::printf("%s\n", text.c_str());
  };
  // An interrupt cancels where a click would: the file being copied is finished first, so
  // no partial or temporary file is left behind.
  workflow.Hooks().ProcessMessages = [&workflow] {
    if (gInterrupted && workflow.Copying() && workflow.Tag() == 0) workflow.CopyFilesClick();
  };
  workflow.SetSource(source);
  workflow.SetDestination(dest);
  workflow.CopyFilesClick();

  const TCopySummary& s = workflow.LastSummary();
  std::printf(
      "\n%d images: %d copied, %d converted to JPEG, %d already present, %d failed, %d not copied\n",
      s.Total, s.Copied, s.Converted, s.Skipped, static_cast<int>(s.FailedFiles.size()),
      s.NotCopied);
  for (size_t i = 0; i < s.FailedFiles.size(); ++i) {
    std::printf("  failed: %s (%s)\n", s.FailedFiles[i].c_str(), s.FailureReasons[i].c_str());
  }
  if (verify && s.Error.empty() && !s.Cancelled) {
    std::printf("%d copies verified against the source\n", s.Copied + s.Converted);
  }
  return s.FailedFiles.empty() && s.NotCopied == 0 && s.Error.empty() && !s.Cancelled ? 0 : 1;
}
