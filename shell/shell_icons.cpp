#include "shell/shell_icons.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace shell {
namespace {

// Names of the fixed icons, in index order (freedesktop icon-naming names).
const char* const kFixedNames[kFirstThemeIcon] = {
    "folder",        "folder-open",   "text-x-generic", "drive-harddisk", "drive-removable-media",
    "computer",      "user-home",     "user-desktop",   "user-trash",     "user-trash-full",
    "folder-temp"};

struct TRegistry {
  std::mutex Mutex;
  std::vector<std::string> Names;  // index - kFirstThemeIcon -> name
  std::unordered_map<std::string, int> Index;
};

TRegistry& Registry() {
  static TRegistry r;
  return r;
}

}  // namespace

int IconIndexForThemeName(const std::string& themeName) {
  if (themeName.empty()) return iiFile;
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  auto it = r.Index.find(themeName);
  if (it != r.Index.end()) return it->second;
  const int index = kFirstThemeIcon + static_cast<int>(r.Names.size());
  r.Names.push_back(themeName);
  r.Index.emplace(themeName, index);
  return index;
}

std::string ShellIconKey(int index) {
  if (index >= 0 && index < kFirstThemeIcon) return kFixedNames[index];
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  const size_t k = static_cast<size_t>(index - kFirstThemeIcon);
  return index >= kFirstThemeIcon && k < r.Names.size() ? r.Names[k] : std::string();
}

}  // namespace shell
