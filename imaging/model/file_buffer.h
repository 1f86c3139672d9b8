#pragma once
// TVLFileBuffer: the temporary file that holds the rows of a file-backed bitmap, and the row
// buffers currently handed out from it. Rows are read and written with positioned I/O at
// 64-bit offsets, so images far larger than memory can be worked on row by row.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVLFileBuffer {
 public:
  TVLFileBuffer() = default;
  ~TVLFileBuffer();  // releases the buffers (writing back what was handed out for writing)
                     // and deletes the file
  TVLFileBuffer(const TVLFileBuffer&) = delete;
  TVLFileBuffer& operator=(const TVLFileBuffer&) = delete;

  // Creates a new temporary file of exactly Size bytes (zero) in Dir (the system's temporary
  // folder when empty), named IMG-XXXXXXXX.tmp. Any previous file is closed first. Returns
  // false, leaving no file, when the file cannot be made or sized.
  bool Create(uint64_t Size, const std::string& Dir);
  // Releases all row buffers and closes and deletes the file.
  void Close();
  bool IsOpen() const { return FFd >= 0; }
  const std::string& FileName() const { return FFileName; }
  uint64_t Size() const { return FSize; }

  // Releases the buffer handed out before (writing it back when Access held raWrite), then
  // hands out a new buffer of Length bytes for the file range at Offset, filled from the file
  // when Access holds raRead (zeroes otherwise). A range that nothing was written to since
  // Create is known to hold zeroes and is not read, so filling a new image costs its writes
  // only, whatever the access. Throws EVLBitmapError on I/O failure.
  uint8_t* MapRow(uint64_t Offset, uint32_t Length, uint8_t Access);
  // Releases every handed-out buffer, writing back those handed out with raWrite.
  // Throws EVLBitmapError when a write fails.
  void ReleaseAll();
  // Number of row buffers currently handed out (0 or 1).
  size_t MappedCount() const { return FRows.size(); }

  // Positioned I/O; false on failure or a short transfer.
  bool ReadAt(uint64_t Offset, void* Data, size_t Length) const;
  bool WriteAt(uint64_t Offset, const void* Data, size_t Length);
  // Copies the first Length bytes of Source's file into this file (both open, both with
  // their rows released). Throws EVLBitmapError on failure.
  void CopyFrom(TVLFileBuffer& Source, uint64_t Length);

 private:
  struct TMappedRow {
    uint64_t Offset = 0;
    uint32_t Length = 0;
    std::unique_ptr<uint8_t[]> Buffer;
    uint8_t Access = 0;
  };
  void ReleaseRows(bool WriteBack);

  std::string FFileName;
  int FFd = -1;
  uint64_t FSize = 0;
  std::vector<TMappedRow> FRows;
  // Every byte written since Create lies in [FWrittenBegin, FWrittenEnd); outside is zero.
  uint64_t FWrittenBegin = 0;
  uint64_t FWrittenEnd = 0;
};
