#include "imaging/model/file_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <random>

#include "imaging/model/bitmap.h"
#include "platform/fs.h"

namespace {

constexpr size_t kCopyChunk = 1048576;

// Pseudo-random values in 0 .. 2^31 - 2 for temporary file names.
uint32_t NextRandomName() {
  static std::mutex mutex;
  static std::minstd_rand generator{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  return uint32_t(generator() - 1);  // minstd_rand yields 1 .. 2^31 - 2
}

std::string MakeName(const std::string& dir) {
  char name[32];
  std::snprintf(name, sizeof name, "IMG-%08X.tmp", NextRandomName());
  return dir + name;
}

}  // namespace

TVLFileBuffer::~TVLFileBuffer() {
  ReleaseRows(false);  // the file is deleted: nothing needs writing back
  if (FFd >= 0) {
    ::close(FFd);
    ::unlink(FFileName.c_str());
  }
}

bool TVLFileBuffer::Create(uint64_t Size, const std::string& Dir) {
  Close();
  std::string dir = Dir.empty() ? platform::TempDirectory() : Dir;
  if (dir.empty()) return false;
  // A new name is drawn while the name is taken. O_EXCL makes sure that a file that appears
  // meanwhile (someone else's) is never replaced.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = MakeName(dir);
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (Size > uint64_t(INT64_MAX) || ::ftruncate(fd, off_t(Size)) != 0) {
      ::close(fd);
      ::unlink(name.c_str());
      return false;
    }
    FFd = fd;
    FFileName = name;
    FSize = Size;
    FWrittenBegin = FWrittenEnd = 0;
    return true;
  }
  return false;
}

void TVLFileBuffer::Close() {
  ReleaseRows(false);
  if (FFd >= 0) {
    ::close(FFd);
    ::unlink(FFileName.c_str());
  }
  FFd = -1;
  FFileName.clear();
  FSize = 0;
}

namespace {

// Repeats a positioned read or write until Length bytes moved; false on an error or when the
// call moves nothing.
template <typename TByte, typename TCall>
bool TransferAt(int Fd, uint64_t Offset, TByte* Data, size_t Length, TCall Call) {
  if (Fd < 0) return false;
  while (Length > 0) {
    const ssize_t n = Call(Fd, Data, Length, off_t(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Data += n;
    Offset += uint64_t(n);
    Length -= size_t(n);
  }
  return true;
}

}  // namespace

bool TVLFileBuffer::ReadAt(uint64_t Offset, void* Data, size_t Length) const {
  return TransferAt(FFd, Offset, static_cast<uint8_t*>(Data), Length, ::pread);
}

bool TVLFileBuffer::WriteAt(uint64_t Offset, const void* Data, size_t Length) {
  if (Length > 0 && FFd >= 0) {
    // Widened before the write: a failed write may still have changed some bytes.
    if (FWrittenBegin == FWrittenEnd) FWrittenBegin = Offset;
    FWrittenBegin = std::min(FWrittenBegin, Offset);
    FWrittenEnd = std::max(FWrittenEnd, Offset + Length);
  }
  return TransferAt(FFd, Offset, static_cast<const uint8_t*>(Data), Length, ::pwrite);
}

void TVLFileBuffer::ReleaseRows(bool WriteBack) {
  bool failed = false;
  for (TMappedRow& row : FRows) {
    if (WriteBack && (row.Access & raWrite) && !WriteAt(row.Offset, row.Buffer.get(), row.Length))
      failed = true;
  }
  FRows.clear();
  // A row that cannot be written back (a full disk) would be lost silently otherwise.
  if (failed) throw EVLBitmapError("Cannot write to the temporary image file " + FFileName);
}

void TVLFileBuffer::ReleaseAll() { ReleaseRows(true); }

uint8_t* TVLFileBuffer::MapRow(uint64_t Offset, uint32_t Length, uint8_t Access) {
  ReleaseRows(true);
  if (FFd < 0 || Offset > FSize || Length > FSize - Offset) return nullptr;
  TMappedRow row;
  row.Offset = Offset;
  row.Length = Length;
  row.Access = Access;
  row.Buffer.reset(new (std::nothrow) uint8_t[Length ? Length : 1]());
  if (!row.Buffer) throw EVLBitmapError("Out of memory for an image row");
  const bool written = Offset < FWrittenEnd && Offset + Length > FWrittenBegin;
  if ((Access & raRead) && written && !ReadAt(Offset, row.Buffer.get(), Length))
    throw EVLBitmapError("Cannot read the temporary image file " + FFileName);
  FRows.push_back(std::move(row));
  return FRows.back().Buffer.get();
}

void TVLFileBuffer::CopyFrom(TVLFileBuffer& Source, uint64_t Length) {
  ReleaseAll();
  Source.ReleaseAll();
  if (FFd < 0 || Source.FFd < 0 || Length > FSize || Length > Source.FSize)
    throw EVLBitmapError("Temporary image files cannot be copied");
  // One system call moves the bytes inside the kernel where the file system allows;
  // otherwise they go through a 1 MiB buffer.
  if (Length > 0) {
    FWrittenBegin = 0;
    FWrittenEnd = std::max(FWrittenEnd, Length);
  }
  loff_t in = 0, out = 0;
  uint64_t left = Length;
  while (left > 0) {
    const ssize_t n = ::copy_file_range(Source.FFd, &in, FFd, &out, size_t(left), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    left -= uint64_t(n);
  }
  if (left == 0) return;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyChunk]);
  if (!buffer) throw EVLBitmapError("Out of memory copying a temporary image file");
  uint64_t pos = Length - left;
  while (pos < Length) {
    const size_t n = size_t(std::min<uint64_t>(kCopyChunk, Length - pos));
    if (!Source.ReadAt(pos, buffer.get(), n) || !WriteAt(pos, buffer.get(), n))
      throw EVLBitmapError("Cannot copy the temporary image file " + FFileName);
    pos += n;
  }
}
