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

// A drive table with fixed contents, for tests and tools. A drive without a label answers
// the label query with an empty label; a path that is not one of the roots fails it.
class FixedDriveTable : public DriveTable {
 public:
  struct Drive {
    std::string Root;   // ending with '/'
    std::string Label;
  };
  explicit FixedDriveTable(std::vector<Drive> drives) : FDrives(std::move(drives)) {}
  std::vector<std::string> RootPaths() const override;
  bool VolumeLabel(const std::string& rootPath, std::string& label) const override;

 private:
  std::vector<Drive> FDrives;
};

// The drive roots of a mount table: "/" first, then every mount point strictly below /media,
// /run/media or /mnt that does not hold a pseudo file system, in table order, each once.
std::vector<std::string> DriveRootsFromMounts(const std::vector<MountEntry>& mounts);

// The <name> of a mount point /media/<user>/<name> or /run/media/<user>/<name>, else empty.
std::string LabelFromMountPoint(std::string_view mountPoint);

// Undoes udev's "\x20"-style escapes of /dev/disk/by-label names.
std::string UnescapeUdevName(std::string_view name);

// The label query against a given mount table and by-label folder (the system table uses
// /proc/self/mountinfo and /dev/disk/by-label): false with an empty label when rootPath is
// not a mount point; otherwise true, with the by-label name whose link resolves to the
// mount's source, else the automounter's mount-point name, else an empty label.
bool VolumeLabelFromMounts(const std::vector<MountEntry>& mounts, const std::string& byLabelDir,
                           const std::string& rootPath, std::string& label);

// A hold on a drive table, taken under the table's lock: it stays valid while another
// thread installs a different table.
class DrivesHold {
 public:
  explicit DrivesHold(std::shared_ptr<const DriveTable> table) : FTable(std::move(table)) {}
  std::vector<std::string> RootPaths() const { return FTable->RootPaths(); }
  bool VolumeLabel(const std::string& rootPath, std::string& label) const {
    return FTable->VolumeLabel(rootPath, label);
  }
  const std::shared_ptr<const DriveTable>& Table() const { return FTable; }

 private:
  std::shared_ptr<const DriveTable> FTable;
};

// The drive table in use: the system's, unless a test installed its own. The system's
// table reads the mount table once and again only when the kernel reports a change.
DrivesHold Drives();
// Installs a drive table; nullptr restores the system's.
void SetDriveTable(std::shared_ptr<DriveTable> table);

// The root path of the volume holding path: the longest drive root that is a prefix of it
// (compared as whole path components). "/" when nothing longer matches.
std::string DrivePrefix(const std::string& path);

}  // namespace platform
