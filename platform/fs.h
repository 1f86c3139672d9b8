#pragma once
// File-system services of the platform layer: the wildcard directory search, attributes,
// copying that never overwrites, attribute clearing, folders, the current directory and
// locale-aware text comparison. Paths use '/' as separator.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Attribute bits as the directory search reports them.
enum FileAttr : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSystem = 0x04,
  faVolume = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
};
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

struct FindEntry {
  std::string Name;   // the entry's name, without folder
  uint32_t Attr = 0;  // FileAttr bits
  uint64_t Size = 0;  // bytes; 0 for folders
  bool Link = false;  // the entry is a symbolic link (Attr and Size describe its target)
};

// '*' and '?' wildcards, letters compared without regard to case. A mask "*.xyz" whose
// extension has exactly three characters also matches names whose extension begins with
// them ("*.tif" matches "a.tiff").
bool MatchesMask(std::string_view mask, std::string_view name);

// Lists the entries of a folder matching a pattern "folder/mask" (the mask is the text
// after the last '/'). Symbolic links are followed. Returns false (and no entries) when
// the folder cannot be read.
bool FindFiles(const std::string& pattern, std::vector<FindEntry>& out);

// Attributes of a path (links followed), or kInvalidAttributes when it does not exist.
uint32_t GetFileAttributes(const std::string& path);
bool FileExists(const std::string& path);       // exists and is not a directory
bool DirectoryExists(const std::string& path);  // exists and is a directory

// Device and inode of a path (links followed), for recognising a folder seen before.
struct FileId {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> GetFileId(const std::string& path);

enum class CopyResult { Copied, AlreadyExists, Failed };

// Copies src to dst, keeping the permission bits and the modification time. The bytes are
// written into an unnamed file in dst's folder, flushed, and linked to dst's name, which
// never replaces an existing file: a copy that is interrupted, even killed, leaves neither a
// partial file under dst's name nor a temporary file. Where the file system has no unnamed
// files, a named temporary file is renamed into place instead. On failure, error receives
// a text and errnum the system's error number. The file's bytes are on the disk before it
// gets its name; the name itself is made durable by SyncFolder (or the system's writeback),
// so that many copies into one folder share one flush of it.
CopyResult CopyFileNoOverwrite(const std::string& src, const std::string& dst,
                               std::string* error = nullptr, int* errnum = nullptr);

// Writes a new file dst through `write`, which receives a temporary path in dst's folder
// and returns true when it wrote the file completely. The temporary file is then renamed
// to dst without replacing an existing file; on any failure it is removed (errnum 0 when
// the writer failed).
CopyResult WriteFileNoOverwrite(const std::string& dst,
                                const std::function<bool(const std::string& tempPath)>& write,
                                std::string* error = nullptr, int* errnum = nullptr);

// Flushes a folder's entries (the names given to new files) to the disk.
void SyncFolder(const std::string& folder);

// Removes from a folder the temporary files that the two functions above (and the image
// writers) left there when their process was killed: only our own names, only regular files
// of this user, only when the process that wrote them no longer runs. Returns the count.
int RemoveStaleTemporaries(const std::string& folder);
// Unnamed temporary files on (the default) or off, so that tests can take the way that file
// systems without them take.
void SetUnnamedTemporaries(bool enabled);

// Makes a regular file readable and writable by its owner: mode 0666 & ~umask. Folders,
// devices and symbolic links (and what a link points to) are left alone; false for them and
// when the change fails.
bool ClearFileAttributes(const std::string& path);
// The process's file-creation mask (permission bits only), read without changing it where
// the system allows.
uint32_t ProcessUmask();

// Creates a folder and its missing parents. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

std::string TempDirectory();          // with a trailing '/'
// The user's home folder with a trailing '/': $HOME, else the user database's entry, else
// "/". It stands in for the drive C:\ where the utility starts out.
std::string HomeDirectory();
uint64_t TickCount();                 // monotonic milliseconds
uint64_t AvailablePhysicalMemory();   // MemAvailable in bytes, 0 when not reported

// Case-insensitive comparison in the user's collation order (LC_COLLATE on case-folded
// text): <0, 0, >0.
int CompareTextLocale(std::string_view a, std::string_view b);
// A key whose plain comparison gives the same order, for sorting many names; a byte that
// is not valid UTF-8 stands for itself in U+DC80..U+DCFF.
std::wstring CollationKey(std::string_view s);
// Upper-cases the ASCII letters a to z only.
std::string UpperAscii(std::string_view s);

}  // namespace platform
