#pragma once
// The drives of the machine: the root file system and every volume mounted under /media,
// /run/media or /mnt, with their labels. A seam lets tests supply their own drive table.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
  std::string MountPoint;  // unescaped, without trailing '/' (except "/")
  std::string Source;      // the mounted device or source
  std::string FsType;
};

// Parses the text of /proc/self/mountinfo, unescaping "\040"-style octal escapes.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

class DriveTable {
 public:
  virtual ~DriveTable() = default;
  // Root paths of the drives, each ending with '/', in a stable order ("/" first).
  virtual std::vector<std::string> RootPaths() const = 0;
  // The label of the volume mounted exactly at rootPath; false when the query fails (not
  // a mount root, missing medium).
  virtual bool VolumeLabel(const std::string& rootPath, std::string& label) const = 0;
};

// The drive table in use: the system's, unless a test installed its own.
const DriveTable& Drives();
// Installs a drive table; nullptr restores the system's.
void SetDriveTable(std::shared_ptr<DriveTable> table);

// The root path of the volume holding path: the longest drive root that is a prefix of it
// (compared as whole path components). "/" when nothing longer matches.
std::string DrivePrefix(const std::string& path);

}  // namespace platform
