// Directory search, attributes, folders, the current directory and process facts.

#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace platform {
namespace {

std::string_view BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

uint32_t AttributesOf(const struct stat& st, std::string_view name) {
  uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  else if (!S_ISREG(st.st_mode)) attr |= faSystem;
  if (IsHiddenName(name)) attr |= faHidden;
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  return attr;
}

// stat following links; a dangling link is described by the link itself (a system entry).
bool StatFollow(const char* path, struct stat& st) {
  if (::stat(path, &st) == 0) return true;
  return ::lstat(path, &st) == 0;
}

}  // namespace

bool FindFiles(const std::string& pattern, std::vector<FindEntry>& out) {
  out.clear();
  size_t slash = pattern.rfind('/');
  std::string folder = slash == std::string::npos ? std::string("./") : pattern.substr(0, slash + 1);
  std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (mask.empty()) return false;

  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  int dirFd = ::dirfd(dir.get());
  while (true) {
    errno = 0;
    dirent* d = ::readdir(dir.get());
    if (!d) break;
    std::string_view name(d->d_name);
    if (!MatchesMask(mask, name)) continue;
    struct stat st;
    if (::fstatat(dirFd, d->d_name, &st, 0) != 0 &&
        ::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // vanished between readdir and stat
    }
    FindEntry e;
    e.Link = d->d_type == DT_LNK;
    if (d->d_type == DT_UNKNOWN) {
      struct stat own;
      e.Link = ::fstatat(dirFd, d->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
    }
    e.Name = std::string(name);
    e.Attr = AttributesOf(st, name);
    e.Size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    out.push_back(std::move(e));
  }
  return true;
}

uint32_t GetFileAttributes(const std::string& path) {
  struct stat st;
  if (path.empty() || !StatFollow(path.c_str(), st)) return kInvalidAttributes;
  return AttributesOf(st, BaseName(path));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<FileId> GetFileId(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

uint32_t ProcessUmask() {
  // /proc/self/status reports the mask without changing it (Linux 4.7 and later).
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<uint32_t>(std::stoul(line.substr(6), nullptr, 8)) & 0777u;
      } catch (const std::exception&) {
        break;
      }
    }
  }
  // Older kernels: read it by setting it twice, serialised against other callers here.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  mode_t mask = ::umask(022);
  ::umask(mask);
  return static_cast<uint32_t>(mask) & 0777u;
}

bool ClearFileAttributes(const std::string& path) {
  if (path.empty()) return false;
  // Opened without following a link and checked on the descriptor, so that neither a link
  // nor a name swapped in meanwhile can direct the change at another file.
  // O_PATH opens even a file nobody may read; its /proc link then names exactly that file.
  const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool done = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    done = ::chmod(self.c_str(), 0666 & ~static_cast<mode_t>(ProcessUmask())) == 0;
  }
  ::close(fd);
  return done;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return DirectoryExists(path);
}

std::string GetCurrentDir() {
  std::string buf(256, '\0');
  while (true) {
    if (::getcwd(buf.data(), buf.size())) {
      buf.resize(std::char_traits<char>::length(buf.c_str()));
      return buf;
    }
    if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
}

bool SetCurrentDir(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

std::string TempDirectory() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string HomeDirectory() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
    home = pw->pw_dir;
  } else {
    return "/";
  }
  if (home.back() != '/') home += '/';
  return home;
}

uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t AvailablePhysicalMemory() {
  std::ifstream meminfo("/proc/meminfo");
  uint64_t value = 0;
  std::string unit;
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream in(line.substr(13));
    if (!(in >> value)) return 0;
    in >> unit;
    if (unit == "kB") {
      if (value > UINT64_MAX / 1024) return UINT64_MAX;
      value *= 1024;
    }
    return value;
  }
  return 0;
}

}  // namespace platform
