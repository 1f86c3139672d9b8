// Streams: file and memory streams with bounded reads and 64-bit positions.

#include "imaging/io/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

// ---------------------------------------------------------------------------------------------
// TStream

void TStream::ReadBuffer(void* Buffer, size_t Count) {
  if (Count == 0) return;
  if (Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, size_t Count) {
  if (Count == 0) return;
  if (Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  if (Count <= 0) return 0;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(Count, 65536)));
  int64_t done = 0;
  while (done < Count) {
    const size_t want = size_t(std::min<int64_t>(Count - done, int64_t(buf.size())));
    const size_t got = Source.Read(buf.data(), want);
    if (got == 0) break;
    WriteBuffer(buf.data(), got);
    done += int64_t(got);
    if (got < want) break;
  }
  return done;
}

// ---------------------------------------------------------------------------------------------
// TFileStream

namespace {

std::string ErrorText(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

}  // namespace

TFileStream::TFileStream(const std::string& FileName, TFileOpenMode Mode) : FFileName(FileName) {
  const bool creating = Mode == fmCreate || Mode == fmCreateNew;
  int flags = O_CLOEXEC;
  switch (Mode) {
    case fmOpenRead: flags |= O_RDONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    case fmCreate: flags |= O_RDWR | O_CREAT; break;  // truncated once the lock is held
    case fmCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such files are refused
  // below and the flag is cleared for regular files.
  FHandle = ::open(FileName.c_str(), flags | O_NONBLOCK, 0666);
  if (FHandle < 0) {
    const int err = errno;
    if (creating) throw EFCreateError(ErrorText("Cannot create file", FileName, err));
    throw EFOpenError(ErrorText("Cannot open file", FileName, err));
  }
  // Only regular files are streams: a directory, a FIFO or a device (which could block or
  // never end) is refused.
  struct stat st{};
  if (::fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(FHandle);
    FHandle = -1;
    const std::string why = err == EISDIR ? std::strerror(err) : "not a regular file";
    if (creating) throw EFCreateError("Cannot create file \"" + FileName + "\": " + why);
    throw EFOpenError("Cannot open file \"" + FileName + "\": " + why);
  }
  ::fcntl(FHandle, F_SETFL, ::fcntl(FHandle, F_GETFL) & ~O_NONBLOCK);
  // Advisory locks stand in for the deny-write sharing of the original platform: readers
  // share, a writer holds the file alone. Only a conflicting lock of another holder makes
  // the open fail; file systems without lock support are used unlocked.
  const int lockOp = (Mode == fmOpenRead ? LOCK_SH : LOCK_EX) | LOCK_NB;
  if (::flock(FHandle, lockOp) != 0 && errno == EWOULDBLOCK) {
    ::close(FHandle);
    FHandle = -1;
    const std::string why = "the file is in use";
    if (creating) throw EFCreateError("Cannot create file \"" + FileName + "\": " + why);
    throw EFOpenError("Cannot open file \"" + FileName + "\": " + why);
  }
  if (Mode == fmCreate && ::ftruncate(FHandle, 0) != 0) {
    const int err = errno;
    ::close(FHandle);
    FHandle = -1;
    throw EFCreateError(ErrorText("Cannot create file", FileName, err));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);  // closing releases the lock
}

namespace {

// Repeats Call (a read or write of at most 1 GiB at a time) until Count bytes are done, the
// call returns 0 or it fails; an interrupted call is repeated. Returns the bytes done.
template <typename Byte, typename Call>
size_t TransferAll(Byte* Buffer, size_t Count, Call call) {
  size_t done = 0;
  while (done < Count) {
    const size_t chunk = std::min<size_t>(Count - done, size_t(1) << 30);
    const ssize_t n = call(Buffer + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  return done;
}

}  // namespace

size_t TFileStream::Read(void* Buffer, size_t Count) {
  return TransferAll(static_cast<uint8_t*>(Buffer), Count,
                     [this](uint8_t* p, size_t n) { return ::read(FHandle, p, n); });
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
  return TransferAll(static_cast<const uint8_t*>(Buffer), Count,
                     [this](const uint8_t* p, size_t n) { return ::write(FHandle, p, n); });
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(FHandle, off_t(Offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

int64_t TFileStream::Size() {
  struct stat st{};
  if (::fstat(FHandle, &st) != 0) return 0;
  return int64_t(st.st_size);
}

bool TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) return false;
  return ::ftruncate(FHandle, off_t(NewSize)) == 0;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::TMemoryStream(const void* ExternalData, size_t Length)
    : FExternal(static_cast<const uint8_t*>(ExternalData)), FExternalLength(Length) {
  // A null pointer with a length would be read from; treat it as no data.
  if (FExternal == nullptr) FExternalLength = 0;
  static const uint8_t kEmpty = 0;
  if (FExternal == nullptr) FExternal = &kEmpty;
}

const uint8_t* TMemoryStream::Memory() const { return FExternal ? FExternal : FData.data(); }

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
  const size_t len = Length();
  if (FPosition < 0 || uint64_t(FPosition) >= len || Count == 0) return 0;
  const size_t n = std::min(Count, len - size_t(FPosition));
  std::memcpy(Buffer, Memory() + FPosition, n);
  FPosition += int64_t(n);
  return n;
}

size_t TMemoryStream::Write(const void* Buffer, size_t Count) {
  if (FExternal || Count == 0) return 0;
  const uint64_t end = uint64_t(FPosition) + Count;
  if (end < uint64_t(FPosition) || end > uint64_t(std::numeric_limits<int64_t>::max()) ||
      end > FData.max_size())
    return 0;
  try {
    if (end > FData.size()) FData.resize(size_t(end));  // a gap after a seek past the end is zeros
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(FData.data() + FPosition, Buffer, Count);
  FPosition = int64_t(end);
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : int64_t(Length());
  int64_t target;
  if (__builtin_add_overflow(base, Offset, &target) || target < 0) return -1;
  FPosition = target;
  return FPosition;
}

bool TMemoryStream::SetSize(int64_t NewSize) {
  if (FExternal || NewSize < 0 || uint64_t(NewSize) > FData.max_size()) return false;
  try {
    FData.resize(size_t(NewSize));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (FPosition > NewSize) FPosition = NewSize;
  return true;
}

void TMemoryStream::Clear() {
  FExternal = nullptr;
  FExternalLength = 0;
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromBuffer(const void* Data, size_t Length) {
  std::vector<uint8_t> copy;
  if (Data && Length) {
    auto* p = static_cast<const uint8_t*>(Data);
    copy.assign(p, p + Length);
  }
  FExternal = nullptr;
  FExternalLength = 0;
  FData = std::move(copy);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
  Clear();
  Source.SetPosition(0);
  const int64_t size = Source.Size();
  if (size > 0) FData.reserve(size_t(size));
  uint8_t buf[65536];
  for (;;) {
    const size_t n = Source.Read(buf, sizeof buf);
    if (n == 0) break;
    FData.insert(FData.end(), buf, buf + n);
  }
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& Dest) const {
  Dest.WriteBuffer(Memory(), Length());
}

std::vector<uint8_t>& TMemoryStream::Bytes() {
  if (FExternal) {
    std::vector<uint8_t> copy(FExternal, FExternal + FExternalLength);
    FExternal = nullptr;
    FExternalLength = 0;
    FData = std::move(copy);
  }
  return FData;
}
