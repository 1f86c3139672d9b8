#include "gui_test_support.h"

#include <atomic>
#include <cstdlib>
#include <random>

namespace guitest {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  do {
    FPath = base / ("vandrel-gui-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  } while (std::filesystem::exists(FPath));
  std::filesystem::create_directories(FPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FPath, ec);
}

std::string TempDir::Write(const std::string& relative, const std::string& contents) const {
  const auto path = FPath / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
  return path.string();
}

std::vector<std::string> FakeDrives::RootPaths() const {
  std::vector<std::string> roots;
  for (const auto& drive : FDrives) roots.push_back(drive.first);
  return roots;
}

bool FakeDrives::VolumeLabel(const std::string& rootPath, std::string& label) const {
  for (const auto& drive : FDrives) {
    if (drive.first == rootPath) {
      label = drive.second;
      return true;
    }
  }
  return false;
}

Environment::Environment(std::vector<std::pair<std::string, std::string>> drives) {
  platform::SetDriveTable(std::make_shared<FakeDrives>(std::move(drives)));
  platform::UiHooks hooks;
  hooks.ProcessMessages = [this] {
    if (OnProcessMessages) OnProcessMessages();
  };
  hooks.ShowMessage = [this](const std::string& text) { Messages.push_back(text); };
  hooks.OpenFolder = [this](const std::string& path) { OpenedFolders.push_back(path); };
  FOldHooks = platform::SetUiHooks(std::move(hooks));
  if (const char* home = std::getenv("HOME")) {
    FHadHome = true;
    FOldHome = home;
  }
  setenv("HOME", Home.Str().c_str(), 1);
}

Environment::~Environment() {
  platform::SetUiHooks(FOldHooks);
  platform::SetDriveTable(nullptr);
  if (FHadHome) setenv("HOME", FOldHome.c_str(), 1);
  else unsetenv("HOME");
}

}  // namespace guitest
