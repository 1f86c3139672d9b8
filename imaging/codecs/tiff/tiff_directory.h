#pragma once
// The TIFF file structure: the header, the chain of directories (image file directories) and
// typed access to the entries of one directory. Every offset and count comes from the file and
// is untrusted: values are read only from inside the stream, arrays are clipped to the data
// that is really there, and the directory walk ends on loops.

#include <cstdint>
#include <string>
#include <vector>

class TStream;

// One 12-byte directory entry. Value is the 4-byte value field as a number in machine order;
// Raw keeps the same 4 bytes as they stand in the file, for values stored inline.
struct TTiffEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;
  uint8_t Raw[4] = {};
};

// Bytes of one value of a TIFF field type (0 for unknown types).
uint32_t TiffTypeSize(uint16_t Type);

// The 8-byte header at Base: byte order, and the offset of the first directory.
struct TTiffHeader {
  bool LittleEndian = true;
  uint32_t FirstOffset = 0;
};
enum TTiffHeaderStatus { thsOk, thsShort, thsBadByteOrder };
TTiffHeaderStatus ReadTiffHeader(TStream& Stream, int64_t Base, TTiffHeader& Header);

class TTiffDirectory {
 public:
  TTiffDirectory(TStream& Stream, int64_t Base, bool LittleEndian);

  TStream& Stream() const { return FStream; }
  int64_t Base() const { return FBase; }
  bool LittleEndian() const { return FLittleEndian; }
  int64_t StreamSize() const { return FSize; }
  const std::vector<TTiffEntry>& Entries() const { return FEntries; }

  // Reads the directory at Base + Offset: false when its entry count cannot be read. Entries
  // cut off by the end of the stream are dropped.
  bool ReadAt(uint32_t Offset);

  // The first entry with this tag (the first wins over duplicates), or null.
  const TTiffEntry* Find(uint16_t Tag) const;
  bool Has(uint16_t Tag) const { return Find(Tag) != nullptr; }

  // The first value as an integer: SHORT and SSHORT types give their first 16-bit value,
  // BYTE types their first byte, other types the whole value field. Default when absent.
  uint32_t Integer(uint16_t Tag, uint32_t Default) const;
  // The value at Index of a SHORT, LONG or BYTE entry (signed types as their bits); 0 for
  // other types, an index at or beyond the count, or a value outside the stream.
  uint32_t IntegerAt(const TTiffEntry& Entry, uint32_t Index) const;
  // All values of an integer array, clipped to the values the stream really holds.
  std::vector<uint32_t> Integers(uint16_t Tag) const;
  // The rational at Index (a zero denominator counts as 1); integer types give their value.
  // 0 when absent or out of range.
  double Rational(uint16_t Tag, uint32_t Index = 0) const;
  // Text: the bytes of the value with one trailing zero removed. False (Out unchanged) when
  // absent or when the count is 0x100000 or more.
  bool Ascii(uint16_t Tag, std::string& Out) const;
  // The value's bytes (count x type size), inline when 4 bytes or fewer, clipped to the
  // stream otherwise. Empty when absent.
  std::vector<uint8_t> Bytes(uint16_t Tag) const;
  // UTF-16 little-endian text (the XP tags); empty when absent or 0x100000 bytes or more.
  std::u16string Wide(uint16_t Tag) const;

  // Reads Count bytes at the absolute stream position Pos; returns the bytes read.
  size_t ReadBytesAt(int64_t Pos, void* Buffer, size_t Count) const;

 private:
  std::vector<uint8_t> ValueBytes(const TTiffEntry& Entry, uint64_t Limit) const;

  TStream& FStream;
  int64_t FBase;
  bool FLittleEndian;
  int64_t FSize;
  std::vector<TTiffEntry> FEntries;
};

// The walk of the directory chain that starts at FirstOffset. Directory Wanted (0 = first)
// is read into Dir. Offsets are counted from Dir.Base(); the walk ends at an offset of 0, an
// offset that does not lie in the stream, an offset already visited, or after kMaxTiffPages.
struct TTiffWalk {
  int32_t PageCount = 0;
  bool Found = false;  // the wanted directory was read
};
constexpr int32_t kMaxTiffPages = 65536;
TTiffWalk WalkTiffDirectories(TTiffDirectory& Dir, uint32_t FirstOffset, int32_t Wanted);
