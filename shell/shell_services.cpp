#include "shell/shell_services.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "platform/drives.h"
#include "platform/fs.h"
#include "shell/shell_trash.h"

extern char** environ;

// ---- Formatter ---------------------------------------------------------------------------

std::string TShellFormatter::FormatNumber(uint64_t value) const {
  std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string TShellFormatter::FormatDateTime(int64_t unixSeconds) const {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (!::localtime_r(&t, &local)) return {};
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &local);
  return buf;
}

// ---- Hooks -------------------------------------------------------------------------------

namespace {

std::mutex& HooksMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<const TShellHooks>& InstalledHooks() {
  static std::shared_ptr<const TShellHooks> hooks = std::make_shared<TShellHooks>();
  return hooks;
}

std::shared_ptr<const TShellHooks> Hooks() {
  std::lock_guard<std::mutex> lock(HooksMutex());
  return InstalledHooks();
}

std::string FallbackTypeName(const std::string& name, bool folder) {
  if (folder) return "Folder";
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "File";
  return platform::UpperAscii(name.substr(dot + 1)) + " File";
}

}  // namespace

namespace shell {

bool OpenWithXdg(const std::string& path) {
  std::string program = "xdg-open";
  std::string arg = path;
  char* argv[] = {program.data(), arg.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Reap the opener when it ends, without making the caller wait for it.
  std::thread([pid] {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }).detach();
  return true;
}

}  // namespace shell

namespace {

struct TProcessClipboard {
  std::mutex Mutex;
  std::map<std::string, std::string> Formats;
};

TProcessClipboard& ProcessClipboard() {
  static TProcessClipboard c;
  return c;
}

}  // namespace

TShellHooks SetShellHooks(TShellHooks hooks) {
  auto fresh = std::make_shared<const TShellHooks>(std::move(hooks));
  std::lock_guard<std::mutex> lock(HooksMutex());
  TShellHooks previous = *InstalledHooks();
  InstalledHooks() = std::move(fresh);
  return previous;
}

TShellHooks CurrentShellHooks() { return *Hooks(); }

namespace shell {

std::string TypeName(const std::string& name, bool folder) {
  auto hooks = Hooks();
  return hooks->TypeName ? hooks->TypeName(name, folder) : FallbackTypeName(name, folder);
}

std::string FileIconName(const std::string& name) {
  auto hooks = Hooks();
  return hooks->FileIconName ? hooks->FileIconName(name) : std::string();
}

bool Open(const std::string& path) {
  auto hooks = Hooks();
  return hooks->Open ? hooks->Open(path) : OpenWithXdg(path);
}

bool MoveToTrash(const std::string& path) {
  auto hooks = Hooks();
  return hooks->MoveToTrash ? hooks->MoveToTrash(path) : MoveToTrashOwn(path);
}

void SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats) {
  auto hooks = Hooks();
  if (hooks->SetClipboard) return hooks->SetClipboard(formats);
  TProcessClipboard& c = ProcessClipboard();
  std::lock_guard<std::mutex> lock(c.Mutex);
  c.Formats.clear();
  for (const auto& [mime, bytes] : formats) c.Formats[mime] = bytes;
}

std::optional<std::string> ClipboardData(const std::string& mime) {
  auto hooks = Hooks();
  if (hooks->ClipboardData) return hooks->ClipboardData(mime);
  TProcessClipboard& c = ProcessClipboard();
  std::lock_guard<std::mutex> lock(c.Mutex);
  auto it = c.Formats.find(mime);
  if (it == c.Formats.end()) return std::nullopt;
  return it->second;
}

std::shared_ptr<const TShellFormatter> Formatter() {
  static const auto fallback = std::make_shared<const TShellFormatter>();
  auto hooks = Hooks();
  return hooks->Formatter ? hooks->Formatter : fallback;
}

// ---- Paths -------------------------------------------------------------------------------

std::string NormalizePath(std::string_view path) {
  if (path.empty() || path.front() != '/') return {};
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view p : parts) {
    out += '/';
    out += p;
  }
  return out.empty() ? "/" : out;
}

std::string WithSlash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() != '/') out += '/';
  return out;
}

}  // namespace shell

// ---- Places ------------------------------------------------------------------------------

namespace {

std::string EnvFolder(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  // Relative values are invalid and ignored, as the XDG base directory rules say.
  if (value && value[0] == '/') return shell::NormalizePath(value);
  return fallback;
}

// The user-dirs file's lines such as XDG_DESKTOP_DIR="$HOME/Desktop".
std::map<std::string, std::string> ReadUserDirs(const std::string& file, const std::string& home) {
  std::map<std::string, std::string> dirs;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() < 2 || value.front() != '"') continue;
    std::string unquoted;
    bool closed = false;
    for (size_t i = 1; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) {
        unquoted += value[++i];
      } else if (value[i] == '"') {
        closed = true;
        break;
      } else {
        unquoted += value[i];
      }
    }
    if (!closed) continue;
    if (unquoted.rfind("$HOME", 0) == 0) {
      unquoted = home + unquoted.substr(5);
    } else if (unquoted.empty() || unquoted[0] != '/') {
      continue;
    }
    dirs[key] = shell::NormalizePath(unquoted);
  }
  return dirs;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TShellPlaces TShellPlaces::Current() {
  TShellPlaces p;
  const std::string home = shell::NormalizePath(platform::HomeDirectory());
  p.Home = home.empty() ? std::string(1, '/') : home;
  const std::string base = p.Home == "/" ? "" : p.Home;
  p.ConfigHome = EnvFolder("XDG_CONFIG_HOME", base + "/.config");
  p.DataHome = EnvFolder("XDG_DATA_HOME", base + "/.local/share");
  const auto dirs = ReadUserDirs(p.ConfigHome + "/user-dirs.dirs", base);
  const auto get = [&](const char* key) {
    auto it = dirs.find(key);
    return it == dirs.end() ? std::string() : it->second;
  };
  p.XdgDesktop = get("XDG_DESKTOP_DIR");
  if (p.XdgDesktop.empty()) p.XdgDesktop = base + "/Desktop";
  if (p.XdgDesktop != p.Home && IsDirectory(p.XdgDesktop)) p.DesktopPath = p.XdgDesktop;
  p.Pictures = get("XDG_PICTURES_DIR");
  p.Templates = get("XDG_TEMPLATES_DIR");
  p.Trash = p.DataHome + "/Trash";
  return p;
}

// ---- ID lists and paths --------------------------------------------------------------------

namespace shell {
namespace {

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string JoinPath(std::string base, const std::string& name) {
  if (base.empty() || base.back() != '/') base += '/';
  return base + name;
}

}  // namespace

std::optional<TIDList> ParseDisplayName(const std::string& path) {
  if (path.empty()) return TIDList::Single(TShellItemKind::Computer);
  const std::string norm = NormalizePath(path);
  if (norm.empty()) return std::nullopt;
  const std::string root = platform::DrivePrefix(norm);
  TIDList list = TIDList::Single(TShellItemKind::Computer).Append(TShellItemKind::Drive, root);
  if (WithSlash(norm) == root) return list;  // a drive root: never touched
  struct stat st;
  if (::stat(norm.c_str(), &st) != 0) return std::nullopt;
  std::string_view rest = std::string_view(norm).substr(root.size() - 1);
  // rest is "/a/b/c": every component but the last is a folder.
  size_t start = 1;
  while (start <= rest.size()) {
    size_t end = rest.find('/', start);
    const bool last = end == std::string_view::npos;
    if (last) end = rest.size();
    const std::string_view name = rest.substr(start, end - start);
    const bool folder = !last || S_ISDIR(st.st_mode);
    list = list.Append(folder ? TShellItemKind::Folder : TShellItemKind::File, name);
    start = end + 1;
  }
  return list;
}

std::optional<std::string> PathFromIDList(const TIDList& list, const TShellPlaces& places) {
  const std::vector<TShellItem> items = list.Items();
  if (items.empty()) {
    if (places.DesktopPath.empty()) return std::nullopt;
    return places.DesktopPath;
  }
  std::string path;
  size_t next = 1;
  switch (items[0].Kind) {
    case TShellItemKind::Computer:
      if (items.size() < 2 || items[1].Kind != TShellItemKind::Drive) return std::nullopt;
      path = items[1].Name;
      if (path.empty() || path.front() != '/' || path.back() != '/') return std::nullopt;
      next = 2;
      break;
    case TShellItemKind::Home:
      path = places.Home;
      break;
    case TShellItemKind::Folder:
    case TShellItemKind::File:
      if (places.DesktopPath.empty()) return std::nullopt;
      path = places.DesktopPath;
      next = 0;
      break;
    default:
      return std::nullopt;
  }
  for (size_t i = next; i < items.size(); ++i) {
    if (!items[i].IsFileSystem() || !IsPlainName(items[i].Name)) return std::nullopt;
    // Only the last item may be a file.
    if (i + 1 < items.size() && items[i].Kind != TShellItemKind::Folder) return std::nullopt;
    path = JoinPath(path, items[i].Name);
  }
  return path;
}

std::optional<std::string> PathFromIDList(const TIDList& list) {
  return PathFromIDList(list, TShellPlaces::Current());
}

std::optional<TIDList> SpecialFolderLocation(TOrvikShellFolder folder,
                                             const TShellPlaces& places) {
  const auto folderAt = [](const std::string& path) -> std::optional<TIDList> {
    if (!IsDirectory(path)) return std::nullopt;
    return ParseDisplayName(path);
  };
  switch (folder) {
    case SF_DESKTOP: return TIDList();
    case SF_FILESYSTEMFOLDER:
    case SF_DRIVES: return TIDList::Single(TShellItemKind::Computer);
    case SF_PERSONAL: return TIDList::Single(TShellItemKind::Home);
    case SF_BITBUCKET: return TIDList::Single(TShellItemKind::Trash);
    case SF_DESKTOPDIRECTORY: return folderAt(places.XdgDesktop);
    case SF_MYPICTURES: return folderAt(places.Pictures);
    case SF_TEMPLATES: return folderAt(places.Templates);
    case SF_APPDATA: return folderAt(places.ConfigHome);
    case SF_LOCAL_APPDATA: return folderAt(places.DataHome);
    default: return std::nullopt;
  }
}

TOrvikShellFolder SpecialFolderOf(const TIDList& absolute, const TShellPlaces& places) {
  const size_t count = absolute.Count();
  if (count == 0) return SF_DESKTOP;
  const TShellItem first = absolute.Item(0);
  if (count == 1) {
    switch (first.Kind) {
      case TShellItemKind::Trash: return SF_BITBUCKET;
      case TShellItemKind::Computer: return SF_DRIVES;
      case TShellItemKind::Home: return SF_PERSONAL;
      default: break;
    }
  }
  // The path-based special folders resolve to the computer's form of their paths, so a list
  // of that form names one of them exactly when its path is that folder's path.
  if (first.Kind != TShellItemKind::Computer || count < 2) return SF_FILESYSTEMFOLDER;
  const std::optional<std::string> path = PathFromIDList(absolute, places);
  if (!path) return SF_FILESYSTEMFOLDER;
  const std::pair<TOrvikShellFolder, const std::string*> byPath[] = {
      {SF_DESKTOPDIRECTORY, &places.XdgDesktop}, {SF_TEMPLATES, &places.Templates},
      {SF_APPDATA, &places.ConfigHome},          {SF_LOCAL_APPDATA, &places.DataHome},
      {SF_MYPICTURES, &places.Pictures}};
  for (const auto& [sf, p] : byPath) {
    if (!p->empty() && *p == *path) return sf;
  }
  return SF_FILESYSTEMFOLDER;
}

}  // namespace shell
