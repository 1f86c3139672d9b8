#include "gui_test_support.h"

#include <cstdlib>

namespace guitest {

TempDir::TempDir() : FPath(FFolder.Path()) {
  if (!FPath.has_filename()) FPath = FPath.parent_path();
}

Environment::Environment(std::vector<std::pair<std::string, std::string>> drives) {
  std::vector<platform::FixedDriveTable::Drive> table;
  for (auto& [root, label] : drives) table.push_back({root, label});
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(std::move(table)));
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
