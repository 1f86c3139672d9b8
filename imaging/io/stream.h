#pragma once
// Byte streams that the image readers and writers work on: an abstract TStream, a file
// stream and a growable memory stream.
//
// Positions and sizes are 64-bit. Read returns the number of bytes actually read, which is
// fewer than asked at the end of the data (never an error); Write returns the bytes written.
// Seeking past the end is allowed (a later read returns nothing; a write on a memory stream
// fills the gap with zeros); seeking to a negative position is refused: Seek returns -1 and
// the position stays where it was.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A file could not be opened (missing, unreadable, or locked by a writer).
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A file could not be created (no permission, missing folder, or it exists and must not be
// replaced).
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// ReadBuffer could not read all the bytes asked for.
class EReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// WriteBuffer could not write all the bytes given (disk full, read-only stream).
class EWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TSeekOrigin : int32_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to Count bytes into Buffer; returns how many were read (0 at or past the end).
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes Count bytes; returns how many were written.
  virtual size_t Write(const void* Buffer, size_t Count) = 0;
  // Moves the position; returns the new position, or -1 (position unchanged) when the
  // target would be negative or the platform refuses.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  // Size of the data in bytes.
  virtual int64_t Size() = 0;
  // Sets the size (truncating or extending with zeros). False when not possible.
  virtual bool SetSize(int64_t NewSize) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

  // Reads exactly Count bytes or raises EReadError.
  void ReadBuffer(void* Buffer, size_t Count);
  // Writes exactly Count bytes or raises EWriteError.
  void WriteBuffer(const void* Buffer, size_t Count);
  // Copies Count bytes from Source's position (Count 0: Source is rewound and copied whole).
  // Returns the bytes copied; stops early when Source ends.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

// How a TFileStream opens its file.
enum TFileOpenMode : int32_t {
  // Existing file, read only. Takes a shared advisory lock (flock) so that a writer of
  // this program that holds the exclusive lock is detected and the open fails; other
  // programs are not stopped (Linux has no mandatory deny-write sharing).
  fmOpenRead = 0,
  // Existing file, reading and writing, exclusive advisory lock.
  fmOpenReadWrite = 1,
  // Create or replace: the file is truncated only after the exclusive lock is held, so a
  // file that is being read by this program is never cut short under the reader.
  fmCreate = 2,
  // Create a new file; fails with EFCreateError when the name already exists.
  fmCreateNew = 3,
};

class TFileStream : public TStream {
 public:
  // Raises EFOpenError (fmOpenRead, fmOpenReadWrite) or EFCreateError (fmCreate,
  // fmCreateNew); the message names the path and the reason.
  TFileStream(const std::string& FileName, TFileOpenMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  bool SetSize(int64_t NewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// A stream over bytes in memory. It either owns a growable buffer, or wraps external bytes
// read-only (writes then return 0 and SetSize fails); the external bytes must outlive it.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  TMemoryStream(const void* ExternalData, size_t Length);  // read-only view, no copy
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return int64_t(Length()); }
  bool SetSize(int64_t NewSize) override;

  // The bytes (owned or external) and their count.
  const uint8_t* Memory() const;
  size_t Length() const { return FExternal ? FExternalLength : FData.size(); }
  bool IsReadOnly() const { return FExternal != nullptr; }
  // Empties an owned buffer (or drops the external view and starts an empty owned one).
  void Clear();
  // Replaces the content with a copy of the given bytes, position 0; becomes owned.
  void LoadFromBuffer(const void* Data, size_t Length);
  // Replaces the content with all of Source (from its start), position 0; becomes owned.
  void LoadFromStream(TStream& Source);
  // Reads a whole file into the stream (EFOpenError when it cannot be opened).
  void LoadFromFile(const std::string& FileName);
  // Writes the whole content to Dest at its position.
  void SaveToStream(TStream& Dest) const;
  // The owned buffer (an external view is copied into an owned buffer first).
  std::vector<uint8_t>& Bytes();

 private:
  std::vector<uint8_t> FData;
  const uint8_t* FExternal = nullptr;
  size_t FExternalLength = 0;
  int64_t FPosition = 0;
};
