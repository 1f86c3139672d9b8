#include "shell/shell_trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>

#include "platform/drives.h"
#include "platform/fs.h"
#include "shell/shell_text.h"

namespace shell {
namespace {

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeFolder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The mount point holding path: the highest ancestor on the same device.
std::string TopDirectory(const std::string& path, dev_t device) {
  std::string top = Parent(path);
  while (top != "/") {
    const std::string up = Parent(top);
    struct stat st;
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    top = up;
  }
  return top;
}

// The trash folder for a file on another volume, and the prefix its records' paths are
// relative to.
bool VolumeTrash(const std::string& top, std::string& trash) {
  const std::string uid = std::to_string(::getuid());
  const std::string base = top == "/" ? "" : top;
  const std::string shared = base + "/.Trash";
  struct stat st;
  // An administrator's shared trash counts only when it is a real, sticky folder.
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    trash = shared + "/" + uid;
    if (MakeFolder(trash, 0700)) return true;
  }
  trash = base + "/.Trash-" + uid;
  return MakeFolder(trash, 0700);
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool MoveToTrashOwn(const std::string& rawPath) {
  const std::string path = NormalizePath(rawPath);
  struct stat st;
  if (path.empty() || path == "/" || ::lstat(path.c_str(), &st) != 0) return false;
  const TShellPlaces places = TShellPlaces::Current();
  std::string trash;
  std::string recordPath = path;
  struct stat dataSt;
  if (platform::ForceDirectories(places.DataHome) && ::stat(places.DataHome.c_str(), &dataSt) == 0 &&
      dataSt.st_dev == st.st_dev) {
    trash = places.Trash;
    if (!MakeFolder(trash, 0700)) return false;
  } else {
    const std::string top = TopDirectory(path, st.st_dev);
    if (!VolumeTrash(top, trash)) return false;
    recordPath = top == "/" ? path.substr(1) : path.substr(top.size() + 1);
  }
  const std::string files = trash + "/files", info = trash + "/info";
  if (!MakeFolder(files, 0700) || !MakeFolder(info, 0700)) return false;

  std::string name = BaseName(path);
  // Leave room for ".trashinfo" and a counter within the 255-byte name limit.
  if (name.size() > 230) name.resize(230);
  const std::string record = "[Trash Info]\nPath=" + PercentEncode(recordPath) +
                             "\nDeletionDate=" + DeletionDate() + "\n";
  for (int n = 1; n < 10000; ++n) {
    const std::string candidate = n == 1 ? name : name + "." + std::to_string(n);
    const std::string infoFile = info + "/" + candidate + ".trashinfo";
    const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(fd, record);
    ::close(fd);
    const std::string target = files + "/" + candidate;
    if (written && ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(),
                               RENAME_NOREPLACE) == 0) {
      return true;
    }
    const int err = errno;
    ::unlink(infoFile.c_str());
    if (written && err == EEXIST) continue;  // an orphaned entry holds that name
    return false;
  }
  return false;
}

std::vector<std::string> TrashFilesFolders(const TShellPlaces& places) {
  std::vector<std::string> folders = {places.Trash + "/files"};
  const std::string uid = std::to_string(::getuid());
  for (const std::string& root : platform::Drives().RootPaths()) {
    if (root == "/" || root.empty()) continue;
    for (const std::string& f : {root + ".Trash/" + uid + "/files", root + ".Trash-" + uid + "/files"}) {
      if (f != folders.front()) folders.push_back(f);
    }
  }
  return folders;
}

std::string TrashOriginalName(const std::string& entryPath) {
  const std::string name = BaseName(entryPath);
  const std::string trash = Parent(Parent(entryPath));
  std::ifstream in(trash + "/info/" + name + ".trashinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Path=", 0) != 0) continue;
    std::string original = PercentDecode(line.substr(5));
    while (!original.empty() && original.back() == '/') original.pop_back();
    const std::string base = BaseName(original);
    if (!base.empty() && base.find('\0') == std::string::npos) return base;
    break;
  }
  return name;
}

}  // namespace shell
