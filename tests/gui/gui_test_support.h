#pragma once
// Helpers for the GUI tests: a temporary folder per test, a drive table of fake drives, and
// captured user-interface hooks so that no message box ever blocks.

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/ui.h"
#include "tests/support/temp_folder.h"

namespace guitest {

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  const std::filesystem::path& Path() const { return FPath; }
  std::string Str() const { return FPath.string(); }
  // Creates a file (and its folders) below the temporary folder with the given contents.
  std::string Write(const std::string& relative, const std::string& contents = "x") const {
    return FFolder.Write(relative, contents);
  }

 private:
  TempFolder FFolder;
  std::filesystem::path FPath;  // FFolder's path without the trailing '/'
};

// Installs captured UI hooks, a fake drive table and a temporary HOME for its lifetime.
class Environment {
 public:
  explicit Environment(std::vector<std::pair<std::string, std::string>> drives);
  ~Environment();

  std::vector<std::string> Messages;
  std::vector<std::string> OpenedFolders;
  std::function<void()> OnProcessMessages;  // run on every servicing of the queue
  TempDir Home;

 private:
  platform::UiHooks FOldHooks;
  std::string FOldHome;
  bool FHadHome = false;
};

}  // namespace guitest
