#pragma once
// A test bench for the copy workflow: temporary folders standing in for drives (a fake
// drive table with their labels), a destination folder, and hooks that record everything
// the workflow shows.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/copy_workflow.h"
#include "platform/drives.h"

namespace copytest {

namespace fs = std::filesystem;

class FakeDrives : public platform::DriveTable {
 public:
  // Root paths with their labels; an entry without a label fails the label query.
  std::vector<std::pair<std::string, std::optional<std::string>>> Entries;

  std::vector<std::string> RootPaths() const override {
    std::vector<std::string> roots;
    for (const auto& e : Entries) roots.push_back(e.first);
    return roots;
  }
  bool VolumeLabel(const std::string& root, std::string& label) const override {
    for (const auto& e : Entries) {
      if (e.first == root && e.second) {
        label = *e.second;
        return true;
      }
    }
    return false;
  }
};

inline void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool OwnerWritable(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
}

// All regular files below a folder, as paths relative to it, sorted.
inline std::vector<std::string> FilesBelow(const fs::path& dir) {
  std::vector<std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) out.push_back(e.path().lexically_relative(dir).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class CopyWorkflowTest : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/vandrel-copy-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    Root = pattern;
    Disc = Root / "disc";
    Dest = Root / "dest";
    fs::create_directories(Disc);
    fs::create_directories(Dest);
    Drives = std::make_shared<FakeDrives>();
    Drives->Entries = {{"/", std::string("ROOT")}, {Disc.string() + "/", std::string("VANDREL PHOTOS")}};
    platform::SetDriveTable(Drives);
    Workflow = std::make_unique<TCopyWorkflow>(MakeHooks());
    Workflow->SetSource(Disc.string());
    Workflow->SetDestination(Dest.string());
  }

  void TearDown() override {
    Workflow.reset();
    platform::SetDriveTable(nullptr);
    std::error_code ec;
    fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(Root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(Root, ec);
  }

  TCopyHooks MakeHooks() {
    TCopyHooks h;
    h.ProcessMessages = [this] {
      ++ProcessCount;
      if (OnProcess) OnProcess();
    };
    h.SetStatusText = [this](int panel, const std::string& text) {
      (panel == 0 ? Percentages : Activities).push_back(text);
    };
    h.SetCopyCaption = [this](const std::string& c) { Events.push_back("caption:" + c); };
    h.SetControlsEnabled = [this](bool on) { Events.push_back(on ? "enable" : "disable"); };
    h.AsJpeg = [this] { return AsJpeg; };
    h.LoadImage = [this](const std::string& path) {
      Loaded.push_back(path);
      if (OnLoad) return OnLoad(path);
      return true;
    };
    h.SaveJpeg = [this](const std::string& path) {
      if (OnSave && !OnSave(path)) return false;
      WriteFile(path, "JPEG of " + Loaded.back());
      ++Saves;
      return true;
    };
    h.ShowMessage = [this](const std::string& m) {
      Messages.push_back(m);
      Events.push_back("message");
    };
    h.ShowError = [this](const std::string& m) { Messages.push_back("error:" + m); };
    h.OpenFolder = [this](const std::string& p) {
      Opened.push_back(p);
      Events.push_back("open");
    };
    h.DecimalSeparator = [this] { return Separator; };
    return h;
  }

  // A source file with its path below the disc as content.
  void DiscFile(const std::string& rel) { WriteFile(Disc / rel, "data of " + rel); }

  std::string Images() const { return (Dest / "Vandrel Images").string(); }
  std::string ClosingMessage() const {
    return std::string(TCopyWorkflow::kCopiedMessage) + Dest.string() + "/Vandrel Images";
  }
  std::vector<std::string> Copies() const { return FilesBelow(Dest / "Vandrel Images"); }

  fs::path Root, Disc, Dest;
  std::shared_ptr<FakeDrives> Drives;
  std::unique_ptr<TCopyWorkflow> Workflow;

  bool AsJpeg = false;
  char Separator = '.';
  int ProcessCount = 0;
  int Saves = 0;
  std::function<void()> OnProcess;
  std::function<bool(const std::string&)> OnLoad;
  // Runs before each JPEG write; false makes the write report failure.
  std::function<bool(const std::string&)> OnSave;
  std::vector<std::string> Percentages, Activities, Events, Messages, Opened, Loaded;
};

}  // namespace copytest
