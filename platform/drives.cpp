// The drive table: the mounted volumes read from /proc/self/mountinfo, their labels from
// /dev/disk/by-label or the automounter's mount-point name, and the seam for tests.

#include "platform/drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace platform {
namespace {

// Kernel and virtual file systems that never hold the user's files.
bool IsPseudoFs(std::string_view type) {
  static const char* const kPseudo[] = {
      "proc",       "sysfs",   "devtmpfs", "devpts",   "tmpfs",    "ramfs",   "cgroup",
      "cgroup2",    "securityfs", "pstore", "debugfs", "tracefs",  "configfs", "fusectl",
      "mqueue",     "hugetlbfs", "autofs", "binfmt_misc", "bpf",  "efivarfs", "nsfs",
      "rpc_pipefs", "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal"};
  for (const char* p : kPseudo) {
    if (type == p) return true;
  }
  return false;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

std::string UnescapeOctal(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) &&
        IsOctal(s[i + 3])) {
      int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
      if (v <= 0xFF) {
        out.push_back(static_cast<char>(v));
        i += 3;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsBelow(std::string_view path, std::string_view folder) {
  return path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
         path[folder.size()] == '/';
}

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// True when the by-label entry designates the mount's source device.
bool SameDevice(const std::string& linkPath, const std::string& source) {
  if (source.empty() || source[0] != '/') return false;
  std::string a = RealPath(linkPath);
  if (!a.empty() && a == RealPath(source)) return true;
  struct stat sa, sb;
  return ::stat(linkPath.c_str(), &sa) == 0 && ::stat(source.c_str(), &sb) == 0 &&
         S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

// The mount table of /proc/self/mountinfo, read again only when the kernel flags a change
// on it (POLLPRI), so that a scan that asks for every file's drive reads it once.
class SystemDriveTable : public DriveTable {
 public:
  ~SystemDriveTable() override {
    if (FFd >= 0) ::close(FFd);
  }
  std::vector<std::string> RootPaths() const override { return DriveRootsFromMounts(Mounts()); }
  bool VolumeLabel(const std::string& rootPath, std::string& label) const override {
    return VolumeLabelFromMounts(Mounts(), "/dev/disk/by-label", rootPath, label);
  }

 private:
  std::vector<MountEntry> Mounts() const {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FFd < 0) {
      FFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
      if (FFd < 0) return ParseMountInfo(ReadFile("/proc/self/mountinfo"));
      FStale = true;
    }
    pollfd p{FFd, POLLPRI, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR))) FStale = true;
    if (FStale) {
      // Reading the file from its start also acknowledges the change.
      std::string text;
      char buf[16384];
      ssize_t n;
      ::lseek(FFd, 0, SEEK_SET);
      while ((n = ::read(FFd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
      FMounts = ParseMountInfo(text);
      FStale = false;
    }
    return FMounts;
  }

  mutable std::mutex FMutex;
  mutable int FFd = -1;
  mutable bool FStale = true;
  mutable std::vector<MountEntry> FMounts;
};

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<DriveTable>& InstalledTable() {
  static std::shared_ptr<DriveTable> table;
  return table;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && line[i] == ' ') ++i;
      size_t start = i;
      while (i < line.size() && line[i] != ' ') ++i;
      if (i > start) fields.push_back(line.substr(start, i - start));
    }
    // id parent major:minor root mountpoint options [optional...] - fstype source superopts
    auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 ||
        fields.end() - dash < 3) {
      continue;
    }
    MountEntry e;
    e.MountPoint = UnescapeOctal(fields[4]);
    while (e.MountPoint.size() > 1 && e.MountPoint.back() == '/') e.MountPoint.pop_back();
    e.FsType = UnescapeOctal(dash[1]);
    e.Source = UnescapeOctal(dash[2]);
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<std::string> DriveRootsFromMounts(const std::vector<MountEntry>& mounts) {
  std::vector<std::string> roots{"/"};
  for (const MountEntry& m : mounts) {
    if (IsPseudoFs(m.FsType)) continue;
    if (!IsBelow(m.MountPoint, "/media") && !IsBelow(m.MountPoint, "/run/media") &&
        !IsBelow(m.MountPoint, "/mnt")) {
      continue;
    }
    std::string root = m.MountPoint + "/";
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
  }
  return roots;
}

std::string LabelFromMountPoint(std::string_view mountPoint) {
  for (std::string_view base : {std::string_view("/media/"), std::string_view("/run/media/")}) {
    if (mountPoint.substr(0, base.size()) != base) continue;
    std::string_view rest = mountPoint.substr(base.size());
    size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string_view::npos) continue;
    std::string_view name = rest.substr(slash + 1);
    if (name.empty() || name.find('/') != std::string_view::npos) continue;
    return std::string(name);
  }
  return std::string();
}

std::string UnescapeUdevName(std::string_view name) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
        hex(name[i + 3]) >= 0) {
      out.push_back(static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3])));
      i += 3;
      continue;
    }
    out.push_back(name[i]);
  }
  return out;
}

bool VolumeLabelFromMounts(const std::vector<MountEntry>& mounts, const std::string& byLabelDir,
                           const std::string& rootPath, std::string& label) {
  label.clear();
  std::string point = rootPath;
  while (point.size() > 1 && point.back() == '/') point.pop_back();
  // The last entry for a mount point is the one on top, the one a path there reaches.
  const MountEntry* mount = nullptr;
  for (const MountEntry& m : mounts) {
    if (m.MountPoint == point) mount = &m;
  }
  if (!mount || point.empty()) return false;

  if (DIR* dir = ::opendir(byLabelDir.c_str())) {
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      if (SameDevice(byLabelDir + "/" + name, mount->Source)) {
        label = UnescapeUdevName(name);
        break;
      }
    }
    ::closedir(dir);
    if (!label.empty()) return true;
  }
  label = LabelFromMountPoint(mount->MountPoint);
  return true;
}

DrivesHold Drives() {
  static const std::shared_ptr<const DriveTable> system = std::make_shared<SystemDriveTable>();
  std::lock_guard<std::mutex> lock(TableMutex());
  const std::shared_ptr<DriveTable>& installed = InstalledTable();
  return DrivesHold(installed ? installed : system);
}

void SetDriveTable(std::shared_ptr<DriveTable> table) {
  std::lock_guard<std::mutex> lock(TableMutex());
  InstalledTable() = std::move(table);
}

std::string DrivePrefix(const std::string& path) {
  std::string best = "/";
  const std::vector<std::string> roots = Drives().RootPaths();
  for (const std::string& root : roots) {
    if (root.size() <= best.size() || root.empty() || root.back() != '/') continue;
    bool inside = path.compare(0, root.size(), root) == 0 ||
                  (path.size() + 1 == root.size() && root.compare(0, path.size(), path) == 0);
    if (inside) best = root;
  }
  return best;
}

}  // namespace platform

namespace platform {

std::vector<std::string> FixedDriveTable::RootPaths() const {
  std::vector<std::string> roots;
  for (const Drive& d : FDrives) roots.push_back(d.Root);
  return roots;
}

bool FixedDriveTable::VolumeLabel(const std::string& rootPath, std::string& label) const {
  label.clear();
  for (const Drive& d : FDrives) {
    if (d.Root == rootPath) {
      label = d.Label;
      return true;
    }
  }
  return false;
}

}  // namespace platform
