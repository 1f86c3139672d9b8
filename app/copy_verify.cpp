#include "app/copy_verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr size_t kChunk = size_t{1} << 20;

struct Fd {
  int Value = -1;
  explicit Fd(int v) : Value(v) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (Value >= 0) ::close(Value);
  }
};

struct StateDeleter {
  void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
};

// Streaming XXH3-128.
class Hasher {
 public:
  Hasher() : FState(XXH3_createState()) {
    if (!FState || XXH3_128bits_reset(FState.get()) != XXH_OK) throw std::bad_alloc();
  }
  void Add(const char* data, size_t size) { XXH3_128bits_update(FState.get(), data, size); }
  XXH128_hash_t Digest() const { return XXH3_128bits_digest(FState.get()); }

 private:
  std::unique_ptr<XXH3_state_t, StateDeleter> FState;
};

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Reads from fd's current offset to the end, hashing every byte. nullopt on a read error.
std::optional<XXH128_hash_t> HashToEnd(int fd, std::vector<char>& buffer) {
  Hasher hasher;
  while (true) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return hasher.Digest();
    hasher.Add(buffer.data(), static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Flushes fd's data to the device, drops its pages from the cache, and hashes the file as
// read back from the device through a new descriptor.
std::optional<XXH128_hash_t> FlushAndReadBack(int fd, const std::string& path,
                                              std::vector<char>& buffer, std::string& reason) {
  if (::fdatasync(fd) != 0) {
    reason = ErrnoText("cannot flush '" + path + "'");
    return std::nullopt;
  }
  // Clean pages are dropped at once; without this the read back would only see the cache.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  // The paths here are temporaries the copy made itself (possibly a /proc/self/fd link to an
  // unnamed file), so links are followed.
  Fd back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (back.Value < 0) {
    reason = ErrnoText("cannot read back '" + path + "'");
    return std::nullopt;
  }
  ::posix_fadvise(back.Value, 0, 0, POSIX_FADV_SEQUENTIAL);
  auto hash = HashToEnd(back.Value, buffer);
  if (!hash) reason = ErrnoText("cannot read back '" + path + "'");
  // The verified copy is not needed in memory either.
  ::posix_fadvise(back.Value, 0, 0, POSIX_FADV_DONTNEED);
  return hash;
}

bool SameFileState(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

platform::CopyResult CopyFileVerified(const std::string& src, const std::string& dst,
                                      std::string& reason, const TBeforeReadBack& beforeReadBack,
                                      int* errnum) {
  reason.clear();
  int writeError = 0;  // errno of a failed write to the destination
  // Non-blocking so that a FIFO given as source cannot stall the open.
  Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat before {};
  if (in.Value < 0 || ::fstat(in.Value, &before) != 0) {
    reason = ErrnoText("cannot open '" + src + "'");
    return platform::CopyResult::Failed;
  }
  if (!S_ISREG(before.st_mode)) {
    reason = "'" + src + "' is not a regular file";
    return platform::CopyResult::Failed;
  }
  ::fcntl(in.Value, F_SETFL, ::fcntl(in.Value, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(in.Value, 0, 0, POSIX_FADV_SEQUENTIAL);

  std::vector<char> buffer(kChunk);
  const platform::CopyResult result =
      platform::WriteFileNoOverwrite(dst, [&](const std::string& tempPath) {
        Fd out(::open(tempPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (out.Value < 0) {
          writeError = errno;
          reason = ErrnoText("cannot write '" + tempPath + "'");
          return false;
        }
        Hasher source;
        while (true) {
          const ssize_t n = ::read(in.Value, buffer.data(), buffer.size());
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) {
            reason = ErrnoText("cannot read '" + src + "'");
            return false;
          }
          if (n == 0) break;
          source.Add(buffer.data(), static_cast<size_t>(n));
          if (!WriteAll(out.Value, buffer.data(), static_cast<size_t>(n))) {
            writeError = errno;
          reason = ErrnoText("cannot write '" + tempPath + "'");
            return false;
          }
        }
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        if (::fchmod(out.Value, before.st_mode & 0777) != 0 || ::futimens(out.Value, times) != 0) {
          reason = ErrnoText("cannot set the attributes of '" + tempPath + "'");
          return false;
        }
        if (beforeReadBack) beforeReadBack(src, tempPath);
        const auto copy = FlushAndReadBack(out.Value, tempPath, buffer, reason);
        if (!copy) return false;
        // A source that was written to while it was read has no single content to match.
        struct stat after {};
        if (!XXH128_isEqual(*copy, source.Digest()) || ::fstat(in.Value, &after) != 0 ||
            !SameFileState(before, after)) {
          reason = kVerificationFailed;
          return false;
        }
        return true;
      });
  if (result == platform::CopyResult::Failed && reason.empty()) reason = "cannot write '" + dst + "'";
  if (errnum) *errnum = result == platform::CopyResult::Failed ? writeError : 0;
  return result;
}

bool VerifyWrittenFile(const std::string& path, std::string& reason,
                       const TBeforeReadBack& beforeReadBack) {
  reason.clear();
  // The writer's bytes are still in the page cache (dirty pages stay there until they are
  // written back); hashing them first gives what the writer produced.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::vector<char> buffer(kChunk);
  const auto written = fd.Value >= 0 ? HashToEnd(fd.Value, buffer) : std::nullopt;
  if (!written) {
    reason = ErrnoText("cannot read '" + path + "'");
    return false;
  }
  if (beforeReadBack) beforeReadBack(path, path);
  const auto back = FlushAndReadBack(fd.Value, path, buffer, reason);
  if (!back) return false;
  if (!XXH128_isEqual(*back, *written)) {
    reason = kVerificationFailed;
    return false;
  }
  return true;
}
