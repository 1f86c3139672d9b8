// Copying and writing files that never replace an existing file. The bytes go to an unnamed
// file in the destination folder (O_TMPFILE), which is flushed and then given its name with
// a link that refuses to replace: a copy that is killed part-way leaves nothing behind.
// Where the file system has no unnamed files (FAT, exFAT, some network shares), a named
// temporary file is renamed into place instead; temporaries that a process which no longer
// runs left in a folder are removed the next time a copy goes into that folder.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "platform/copy_batch.h"
#include "platform/fs.h"

namespace platform {
namespace {

std::atomic<bool> gUnnamedTemporaries{true};

// Where the caller wants the reason of a failure: a text and the system's error number.
struct Report {
  std::string* Text = nullptr;
  int* Errno = nullptr;
};

void SetError(const Report& report, const std::string& what, int err) {
  if (report.Text) *report.Text = what + ": " + std::strerror(err);
  if (report.Errno) *report.Errno = err;
}

// The file being written: unnamed (Path empty) or named, in which case it is removed on
// every way out unless it was published.
struct TempFile {
  std::string Path;
  bool Published = false;
  ~TempFile() {
    if (!Path.empty() && !Published) ::unlink(Path.c_str());
  }
};

struct Fd {
  int Value = -1;
  ~Fd() {
    if (Value >= 0) ::close(Value);
  }
  int Release() {
    int v = Value;
    Value = -1;
    return v;
  }
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Named temporaries are ".<name>.vandrel-<pid>.XXXXXX.part"; the image writer's own are
// ".vl-save-<pid>-<n>.part". The process id tells a later run whether the writer still runs.
constexpr const char* kTempMark = ".vandrel-";
constexpr const char* kTempSuffix = ".part";

// The digits of s from pos up to stop (a character), as a process id; 0 when malformed.
pid_t DigitsUpTo(const std::string& s, size_t pos, char stop, size_t* end) {
  pid_t pid = 0;
  size_t i = pos;
  for (; i < s.size() && s[i] != stop; ++i) {
    if (s[i] < '0' || s[i] > '9' || pid > 100000000) return 0;
    pid = pid * 10 + (s[i] - '0');
  }
  if (i == pos || i == s.size()) return 0;
  *end = i;
  return pid;
}

// The writing process's id of one of our temporary names, or 0 for any other name.
pid_t TempOwner(const std::string& name) {
  if (name.size() < 2 || name[0] != '.' || !name.ends_with(kTempSuffix)) return 0;
  const size_t suffix = name.size() - std::strlen(kTempSuffix);
  size_t end = 0;
  if (name.starts_with(".vl-save-")) {
    const pid_t pid = DigitsUpTo(name, 9, '-', &end);
    size_t counterEnd = 0;
    return pid && DigitsUpTo(name, end + 1, '.', &counterEnd) && counterEnd == suffix ? pid : 0;
  }
  const size_t mark = name.rfind(kTempMark);
  if (mark == std::string::npos) return 0;
  const pid_t pid = DigitsUpTo(name, mark + std::strlen(kTempMark), '.', &end);
  // Exactly six random characters between the pid and ".part".
  return pid && end + 1 + 6 == suffix ? pid : 0;
}

// Creates a named temporary next to dst. Long names are shortened so that the temporary
// name stays within the file system's name limit, never inside a UTF-8 character (file
// systems that store names as Unicode refuse a broken one).
int MakeNamedTemp(const std::string& dst, TempFile& temp, const Report& report) {
  const std::string folder = FolderOf(dst);
  std::string name = dst.substr(folder.size());
  if (name.empty() || name == "." || name == "..") {
    SetError(report, "invalid destination name '" + dst + "'", EINVAL);
    return -1;
  }
  if (name.size() > 200) {
    size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  std::string pattern = folder + "." + name + kTempMark + std::to_string(::getpid()) +
                        ".XXXXXX" + kTempSuffix;
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkostemps(buf.data(), static_cast<int>(std::strlen(kTempSuffix)), O_CLOEXEC);
  if (fd < 0) {
    SetError(report, "cannot create a temporary file in '" + (folder.empty() ? "." : folder) + "'",
             errno);
    return -1;
  }
  temp.Path.assign(buf.data());
  return fd;
}

// Opens the file that will become dst: unnamed where the folder's file system allows,
// named otherwise.
int MakeTemp(const std::string& dst, TempFile& temp, const Report& report) {
  const std::string folder = FolderOf(dst);
  const std::string name = dst.substr(folder.size());
  if (name.empty() || name == "." || name == "..") {
    SetError(report, "invalid destination name '" + dst + "'", EINVAL);
    return -1;
  }
  if (gUnnamedTemporaries) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // Only a file system without unnamed files is worth a second way; a full, read-only or
    // missing folder fails the named way too.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      SetError(report, "cannot create a file in '" + (folder.empty() ? "." : folder) + "'", errno);
      return -1;
    }
  }
  return MakeNamedTemp(dst, temp, report);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies from the current offset of in to the end of the file, using the kernel's copy
// paths where the file systems allow and plain reads and writes otherwise.
bool CopyBytes(int in, int out, uint64_t expected, const Report& report) {
  enum { kRange, kSend, kPlain } method = kRange;
  constexpr size_t kChunk = size_t{1} << 30;
  std::vector<char> buffer;
  uint64_t copied = 0;
  while (true) {
    ssize_t n;
    if (method == kRange) {
      n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                    errno == EINVAL || errno == EBADF)) {
        method = kSend;
        continue;
      }
      // Some file systems report the end early here; let plain reads find the real end.
      if (n == 0 && copied < expected) {
        method = kPlain;
        continue;
      }
    } else if (method == kSend) {
      n = ::sendfile(out, in, nullptr, kChunk);
      if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
        method = kPlain;
        continue;
      }
      if (n == 0 && copied < expected) {
        method = kPlain;
        continue;
      }
    } else {
      if (buffer.empty()) buffer.resize(size_t{1} << 20);
      n = ::read(in, buffer.data(), buffer.size());
      if (n > 0 && !WriteAll(out, buffer.data(), static_cast<size_t>(n))) {
        SetError(report, "write failed", errno);
        return false;
      }
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      SetError(report, "copy failed", errno);
      return false;
    }
    if (n == 0) return true;
    copied += static_cast<uint64_t>(n);
  }
}

// The outcome of a way of publishing that failed with err: the name is taken, or a real
// failure, or nothing (the file system does not offer this way; try the next one).
std::optional<CopyResult> Settle(int err, std::initializer_list<int> unsupported,
                                 const std::string& what, const Report& report) {
  if (err == EEXIST) return CopyResult::AlreadyExists;
  for (int u : unsupported) {
    if (err == u) return std::nullopt;
  }
  SetError(report, what, err);
  return CopyResult::Failed;
}

// Gives the unnamed file open as fd the name dst; a link never replaces an existing name.
CopyResult PublishUnnamed(int fd, const std::string& dst, const Report& report) {
  // AT_EMPTY_PATH needs a privilege; the descriptor's /proc link works for everyone.
  if (::linkat(fd, "", AT_FDCWD, dst.c_str(), AT_EMPTY_PATH) == 0) return CopyResult::Copied;
  if (errno == EEXIST) return CopyResult::AlreadyExists;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, dst.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return CopyResult::Copied;
  }
  if (errno == EEXIST) return CopyResult::AlreadyExists;
  SetError(report, "cannot name '" + dst + "'", errno);
  return CopyResult::Failed;
}

// Moves the finished named temporary file to dst without ever replacing a file there.
CopyResult PublishNamed(TempFile& temp, const std::string& dst, const Report& report) {
  const char* from = temp.Path.c_str();
  const char* to = dst.c_str();
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    temp.Published = true;
    return CopyResult::Copied;
  }
  if (auto settled = Settle(errno, {EINVAL, ENOSYS, EOPNOTSUPP}, "cannot rename to '" + dst + "'",
                            report)) {
    return *settled;
  }
  // File systems without the non-replacing rename: a hard link fails on an existing name.
  if (::link(from, to) == 0) {
    ::unlink(from);
    temp.Published = true;
    return CopyResult::Copied;
  }
  if (auto settled = Settle(errno, {EPERM, EOPNOTSUPP, EMLINK}, "cannot link to '" + dst + "'",
                            report)) {
    return *settled;
  }
  // Neither (for example FAT): claim the name exclusively, then replace only that claim.
  int claim = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (claim < 0) {
    if (errno == EEXIST) return CopyResult::AlreadyExists;
    SetError(report, "cannot create '" + dst + "'", errno);
    return CopyResult::Failed;
  }
  ::close(claim);
  if (::rename(from, to) == 0) {
    temp.Published = true;
    return CopyResult::Copied;
  }
  int err = errno;
  ::unlink(to);
  SetError(report, "cannot rename to '" + dst + "'", err);
  return CopyResult::Failed;
}

CopyResult Publish(int fd, TempFile& temp, const std::string& dst, const Report& report) {
  return temp.Path.empty() ? PublishUnnamed(fd, dst, report) : PublishNamed(temp, dst, report);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

void SetUnnamedTemporaries(bool enabled) { gUnnamedTemporaries = enabled; }

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

int RemoveStaleTemporaries(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return 0;
  const int dirFd = ::dirfd(dir.get());
  const uid_t self = ::geteuid();
  int removed = 0;
  while (dirent* d = ::readdir(dir.get())) {
    const std::string name = d->d_name;
    const pid_t pid = TempOwner(name);
    if (pid <= 0 || pid == ::getpid()) continue;
    // A process that still runs (or that we may not signal, so surely not ours) keeps it.
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != self) {
      continue;
    }
    if (::unlinkat(dirFd, d->d_name, 0) == 0) ++removed;
  }
  return removed;
}

namespace {

// Copies src into a new file for dst (unnamed where possible, else named in temp), with
// src's permission bits and times. Returns the open file, or -1 with result set.
int CopyIntoTemp(const std::string& src, const std::string& dst, TempFile& temp,
                 const Report& report, CopyResult& result, uint64_t* size) {
  result = CopyResult::Failed;
  Fd in;
  // Non-blocking so that a FIFO given as source cannot stall the open.
  in.Value = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (in.Value < 0) {
    SetError(report, "cannot open '" + src + "'", errno);
    return -1;
  }
  struct stat st;
  if (::fstat(in.Value, &st) != 0) {
    SetError(report, "cannot read '" + src + "'", errno);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    if (report.Text) *report.Text = "'" + src + "' is not a regular file";
    if (report.Errno) *report.Errno = EINVAL;
    return -1;
  }
  ::fcntl(in.Value, F_SETFL, ::fcntl(in.Value, F_GETFL) & ~O_NONBLOCK);
  if (Exists(dst)) {
    result = CopyResult::AlreadyExists;
    return -1;
  }
  Fd out;
  out.Value = MakeTemp(dst, temp, report);
  if (out.Value < 0) return -1;
  if (!CopyBytes(in.Value, out.Value, static_cast<uint64_t>(st.st_size), report)) return -1;
  if (::fchmod(out.Value, st.st_mode & 0777) != 0) {
    SetError(report, "cannot set the permissions of the copy of '" + src + "'", errno);
    return -1;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.Value, times) != 0) {
    SetError(report, "cannot set the times of the copy of '" + src + "'", errno);
    return -1;
  }
  if (size) *size = static_cast<uint64_t>(st.st_size);
  result = CopyResult::Copied;
  return out.Release();
}

}  // namespace

CopyResult CopyFileNoOverwrite(const std::string& src, const std::string& dst, std::string* error,
                               int* errnum) {
  const Report report{error, errnum};
  TempFile temp;
  CopyResult result;
  Fd out;
  out.Value = CopyIntoTemp(src, dst, temp, report, result, nullptr);
  if (out.Value < 0) return result;
  if (::fsync(out.Value) != 0) {
    SetError(report, "cannot write '" + dst + "'", errno);
    return CopyResult::Failed;
  }
  return Publish(out.Value, temp, dst, report);
}

CopyBatch::CopyBatch(size_t maxFiles, uint64_t maxBytes) : FMaxFiles(maxFiles), FMaxBytes(maxBytes) {}

CopyBatch::~CopyBatch() {
  for (Item& item : FPending) ::close(item.Fd);
}

void CopyBatch::Add(const std::string& src, const std::string& dst, Done done) {
  std::string text;
  int err = 0;
  const Report report{&text, &err};
  TempFile temp;
  CopyResult result;
  uint64_t size = 0;
  Fd out;
  out.Value = CopyIntoTemp(src, dst, temp, report, result, &size);
  if (out.Value < 0) {
    done(result, text, err);
    return;
  }
  if (!temp.Path.empty()) {
    // A named temporary file cannot wait: it is flushed and named now.
    if (::fsync(out.Value) != 0) {
      SetError(report, "cannot write '" + dst + "'", errno);
      done(CopyResult::Failed, text, err);
      return;
    }
    result = Publish(out.Value, temp, dst, report);
    done(result, text, err);
    return;
  }
  Item item;
  // Starts the writeback now, so that it runs while the next files are copied.
  ::sync_file_range(out.Value, 0, 0, SYNC_FILE_RANGE_WRITE);
  item.Fd = out.Release();
  item.Dst = dst;
  item.OnDone = std::move(done);
  FPending.push_back(std::move(item));
  FBytes += size;
  if (FPending.size() >= FMaxFiles || FBytes >= FMaxBytes) Flush();
}

void CopyBatch::Flush() {
  std::vector<Item> items;
  items.swap(FPending);
  FBytes = 0;
  // Each file's writeback was started when it was copied; one flush of the file system
  // carries what is left of all of them to the disk (a flush per file would wait for the
  // disk's cache once per file). All are flushed before any is named.
  std::vector<int> errs;
  int lastDevice = -1, lastErr = 0;
  for (Item& item : items) {
    struct stat st;
    const int device = ::fstat(item.Fd, &st) == 0 ? static_cast<int>(st.st_dev) : -2;
    if (device != lastDevice) {
      lastErr = ::syncfs(item.Fd) == 0 ? 0 : errno;
      if (lastErr == ENOSYS) lastErr = 0, lastDevice = -1;  // no syncfs: flush each file
      else lastDevice = device;
    }
    int err = lastErr;
    if (lastDevice == -1 && err == 0) err = ::fdatasync(item.Fd) == 0 ? 0 : errno;
    errs.push_back(err);
  }
  for (size_t i = 0; i < items.size(); ++i) {
    Item& item = items[i];
    const int err = errs[i];
    std::string text;
    int errnum = 0;
    const Report report{&text, &errnum};
    CopyResult result;
    if (err != 0) {
      SetError(report, "cannot write '" + item.Dst + "'", err);
      result = CopyResult::Failed;
    } else {
      TempFile unnamed;
      result = Publish(item.Fd, unnamed, item.Dst, report);
    }
    ::close(item.Fd);
    item.Fd = -1;
    item.OnDone(result, text, errnum);
  }
}

CopyResult WriteFileNoOverwrite(const std::string& dst,
                                const std::function<bool(const std::string& tempPath)>& write,
                                std::string* error, int* errnum) {
  const Report report{error, errnum};
  if (Exists(dst)) return CopyResult::AlreadyExists;
  TempFile temp;  // a named one is removed on every way out, including a writer's exception
  // The writers replace the file they are given by renaming a file of their own over it,
  // so this file needs a name; a killed write leaves it to RemoveStaleTemporaries.
  Fd created;
  created.Value = MakeNamedTemp(dst, temp, report);
  if (created.Value < 0) return CopyResult::Failed;
  if (!write || !write(temp.Path)) {
    if (error) *error = "writing '" + dst + "' failed";
    if (errnum) *errnum = 0;
    return CopyResult::Failed;
  }
  {
    // The writer may have replaced the file; flush what is there now.
    Fd written;
    written.Value = ::open(temp.Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (written.Value < 0) {
      SetError(report, "the written file '" + temp.Path + "' is gone", errno);
      return CopyResult::Failed;
    }
    ::close(created.Value);
    created.Value = written.Release();
  }
  // The file was created private; give the result the usual permissions.
  if (::fchmod(created.Value, 0666 & ~static_cast<mode_t>(ProcessUmask())) != 0 ||
      ::fsync(created.Value) != 0) {
    SetError(report, "cannot finish '" + dst + "'", errno);
    return CopyResult::Failed;
  }
  return Publish(created.Value, temp, dst, report);
}

}  // namespace platform
