// Copying and writing files that never replace an existing file: the bytes go to a
// temporary file in the destination folder, which is flushed and then renamed into place
// with a rename that refuses to replace. An interrupted or failed copy leaves no partial file
// under the final name and no temporary file behind.

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/fs.h"

namespace platform {
namespace {

void SetError(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
}

// Removes the temporary file on every way out unless it was published.
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

// Creates ".<name>.XXXXXX.part" next to dst. Long names are shortened so that the temporary
// name stays within the file system's name limit, never inside a UTF-8 character (file
// systems that store names as Unicode refuse a broken one).
int MakeTemp(const std::string& dst, TempFile& temp, std::string* error) {
  std::string folder = FolderOf(dst);
  std::string name = dst.substr(folder.size());
  if (name.empty() || name == "." || name == "..") {
    SetError(error, "invalid destination name '" + dst + "'", EINVAL);
    return -1;
  }
  if (name.size() > 200) {
    size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  std::string pattern = folder + "." + name + ".XXXXXX.part";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkostemps(buf.data(), 5, O_CLOEXEC);
  if (fd < 0) {
    SetError(error, "cannot create a temporary file in '" + (folder.empty() ? "." : folder) + "'",
             errno);
    return -1;
  }
  temp.Path.assign(buf.data());
  return fd;
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
bool CopyBytes(int in, int out, uint64_t expected, std::string* error) {
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
        SetError(error, "write failed", errno);
        return false;
      }
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      SetError(error, "copy failed", errno);
      return false;
    }
    if (n == 0) return true;
    copied += static_cast<uint64_t>(n);
  }
}

// The outcome of a way of publishing that failed with err: the name is taken, or a real
// failure, or nothing (the file system does not offer this way; try the next one).
std::optional<CopyResult> Settle(int err, std::initializer_list<int> unsupported,
                                 const std::string& what, std::string* error) {
  if (err == EEXIST) return CopyResult::AlreadyExists;
  for (int u : unsupported) {
    if (err == u) return std::nullopt;
  }
  SetError(error, what, err);
  return CopyResult::Failed;
}

// Moves the finished temporary file to dst without ever replacing a file there.
CopyResult Publish(TempFile& temp, const std::string& dst, std::string* error) {
  const char* from = temp.Path.c_str();
  const char* to = dst.c_str();
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    temp.Published = true;
    return CopyResult::Copied;
  }
  if (auto settled = Settle(errno, {EINVAL, ENOSYS, EOPNOTSUPP}, "cannot rename to '" + dst + "'",
                            error)) {
    return *settled;
  }
  // File systems without the non-replacing rename: a hard link fails on an existing name.
  if (::link(from, to) == 0) {
    ::unlink(from);
    temp.Published = true;
    return CopyResult::Copied;
  }
  if (auto settled = Settle(errno, {EPERM, EOPNOTSUPP, EMLINK}, "cannot link to '" + dst + "'",
                            error)) {
    return *settled;
  }
  // Neither (for example FAT): claim the name exclusively, then replace only that claim.
  int claim = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (claim < 0) {
    if (errno == EEXIST) return CopyResult::AlreadyExists;
    SetError(error, "cannot create '" + dst + "'", errno);
    return CopyResult::Failed;
  }
  ::close(claim);
  if (::rename(from, to) == 0) {
    temp.Published = true;
    return CopyResult::Copied;
  }
  int err = errno;
  ::unlink(to);
  SetError(error, "cannot rename to '" + dst + "'", err);
  return CopyResult::Failed;
}

void SyncFolder(const std::string& dst) {
  std::string folder = FolderOf(dst);
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

CopyResult CopyFileNoOverwrite(const std::string& src, const std::string& dst, std::string* error) {
  Fd in;
  // Non-blocking so that a FIFO given as source cannot stall the open.
  in.Value = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (in.Value < 0) {
    SetError(error, "cannot open '" + src + "'", errno);
    return CopyResult::Failed;
  }
  struct stat st;
  if (::fstat(in.Value, &st) != 0) {
    SetError(error, "cannot read '" + src + "'", errno);
    return CopyResult::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    SetError(error, "'" + src + "' is not a regular file", EINVAL);
    return CopyResult::Failed;
  }
  ::fcntl(in.Value, F_SETFL, ::fcntl(in.Value, F_GETFL) & ~O_NONBLOCK);
  if (Exists(dst)) return CopyResult::AlreadyExists;

  TempFile temp;
  Fd out;
  out.Value = MakeTemp(dst, temp, error);
  if (out.Value < 0) return CopyResult::Failed;
  if (!CopyBytes(in.Value, out.Value, static_cast<uint64_t>(st.st_size), error)) {
    return CopyResult::Failed;
  }
  if (::fchmod(out.Value, st.st_mode & 0777) != 0) {
    SetError(error, "cannot set the permissions of '" + temp.Path + "'", errno);
    return CopyResult::Failed;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.Value, times) != 0) {
    SetError(error, "cannot set the times of '" + temp.Path + "'", errno);
    return CopyResult::Failed;
  }
  if (::fsync(out.Value) != 0 || ::close(out.Release()) != 0) {
    SetError(error, "cannot write '" + temp.Path + "'", errno);
    return CopyResult::Failed;
  }
  CopyResult result = Publish(temp, dst, error);
  if (result == CopyResult::Copied) SyncFolder(dst);
  return result;
}

CopyResult WriteFileNoOverwrite(const std::string& dst,
                                const std::function<bool(const std::string& tempPath)>& write,
                                std::string* error) {
  if (Exists(dst)) return CopyResult::AlreadyExists;
  TempFile temp;  // removed on every way out, including an exception from the writer
  {
    Fd created;
    created.Value = MakeTemp(dst, temp, error);
    if (created.Value < 0) return CopyResult::Failed;
  }
  if (!write || !write(temp.Path)) {
    if (error) *error = "writing '" + dst + "' failed";
    return CopyResult::Failed;
  }
  Fd written;
  written.Value = ::open(temp.Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (written.Value < 0) {
    SetError(error, "the written file '" + temp.Path + "' is gone", errno);
    return CopyResult::Failed;
  }
  // The temporary file was created private; give the result the usual permissions.
  if (::fchmod(written.Value, 0666 & ~static_cast<mode_t>(ProcessUmask())) != 0 ||
      ::fsync(written.Value) != 0) {
    SetError(error, "cannot finish '" + temp.Path + "'", errno);
    return CopyResult::Failed;
  }
  CopyResult result = Publish(temp, dst, error);
  if (result == CopyResult::Copied) SyncFolder(dst);
  return result;
}

}  // namespace platform
