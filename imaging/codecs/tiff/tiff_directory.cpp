// TIFF header, directory walk and typed entry access, all bounded by the stream's size.

#include "imaging/codecs/tiff/tiff_directory.h"

#include <algorithm>
#include <unordered_set>

#include "imaging/io/stream.h"

namespace {

constexpr uint32_t kMaxTextBytes = 0x100000;

uint16_t Get16(const uint8_t* p, bool le) {
  return le ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
}
uint32_t Get32(const uint8_t* p, bool le) {
  return le ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                  (uint32_t(p[3]) << 24)
            : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                  uint32_t(p[3]);
}

bool IsShortType(uint16_t t) { return t == 3 || t == 8; }
bool IsLongType(uint16_t t) { return t == 4 || t == 9 || t == 13; }
bool IsByteType(uint16_t t) { return t == 1 || t == 6 || t == 7; }

}  // namespace

uint32_t TiffTypeSize(uint16_t Type) {
  switch (Type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

TTiffHeaderStatus ReadTiffHeader(TStream& Stream, int64_t Base, TTiffHeader& Header) {
  uint8_t h[8];
  if (Stream.Seek(Base, soBeginning) != Base || Stream.Read(h, 8) != 8) return thsShort;
  if (h[0] == 'I' && h[1] == 'I') Header.LittleEndian = true;
  else if (h[0] == 'M' && h[1] == 'M') Header.LittleEndian = false;
  else return thsBadByteOrder;
  Header.FirstOffset = Get32(h + 4, Header.LittleEndian);
  return thsOk;
}

TTiffDirectory::TTiffDirectory(TStream& Stream, int64_t Base, bool LittleEndian)
    : FStream(Stream), FBase(Base), FLittleEndian(LittleEndian), FSize(Stream.Size()) {}

size_t TTiffDirectory::ReadBytesAt(int64_t Pos, void* Buffer, size_t Count) const {
  if (Count == 0 || Pos < 0 || Pos >= FSize) return 0;
  if (FStream.Seek(Pos, soBeginning) != Pos) return 0;
  return FStream.Read(Buffer, Count);
}

bool TTiffDirectory::ReadAt(uint32_t Offset) {
  FEntries.clear();
  uint8_t c[2];
  if (ReadBytesAt(FBase + Offset, c, 2) != 2) return false;
  const uint32_t count = Get16(c, FLittleEndian);
  std::vector<uint8_t> raw(size_t(count) * 12);
  const size_t got = ReadBytesAt(FBase + Offset + 2, raw.data(), raw.size());
  FEntries.reserve(got / 12);
  for (size_t i = 0; i + 12 <= got; i += 12) {
    const uint8_t* p = raw.data() + i;
    TTiffEntry e;
    e.Tag = Get16(p, FLittleEndian);
    e.Type = Get16(p + 2, FLittleEndian);
    e.Count = Get32(p + 4, FLittleEndian);
    e.Value = Get32(p + 8, FLittleEndian);
    std::copy(p + 8, p + 12, e.Raw);
    FEntries.push_back(e);
  }
  return true;
}

const TTiffEntry* TTiffDirectory::Find(uint16_t Tag) const {
  for (const TTiffEntry& e : FEntries)
    if (e.Tag == Tag) return &e;
  return nullptr;
}

uint32_t TTiffDirectory::Integer(uint16_t Tag, uint32_t Default) const {
  const TTiffEntry* e = Find(Tag);
  if (e == nullptr) return Default;
  // Inline values sit at the start of the value field in the file's byte order.
  if (IsShortType(e->Type)) return Get16(e->Raw, FLittleEndian);
  if (IsByteType(e->Type)) return e->Raw[0];
  return e->Value;
}

uint32_t TTiffDirectory::IntegerAt(const TTiffEntry& Entry, uint32_t Index) const {
  if (Index >= Entry.Count) return 0;
  const uint32_t size = TiffTypeSize(Entry.Type);
  if (!IsShortType(Entry.Type) && !IsLongType(Entry.Type) && !IsByteType(Entry.Type)) return 0;
  const uint64_t total = uint64_t(Entry.Count) * size;
  uint8_t b[4] = {};
  if (total <= 4) {
    std::copy(Entry.Raw + Index * size, Entry.Raw + (Index + 1) * size, b);
  } else if (ReadBytesAt(FBase + int64_t(Entry.Value) + int64_t(Index) * size, b, size) != size) {
    return 0;
  }
  if (size == 1) return b[0];
  if (size == 2) return Get16(b, FLittleEndian);
  return Get32(b, FLittleEndian);
}

std::vector<uint8_t> TTiffDirectory::ValueBytes(const TTiffEntry& Entry, uint64_t Limit) const {
  const uint32_t size = std::max<uint32_t>(TiffTypeSize(Entry.Type), 1);
  uint64_t total = std::min<uint64_t>(uint64_t(Entry.Count) * size, Limit);
  if (uint64_t(Entry.Count) * size <= 4) return std::vector<uint8_t>(Entry.Raw, Entry.Raw + total);
  const int64_t pos = FBase + int64_t(Entry.Value);
  if (pos >= FSize) return {};
  total = std::min<uint64_t>(total, uint64_t(FSize - pos));
  std::vector<uint8_t> out(total);
  out.resize(ReadBytesAt(pos, out.data(), out.size()));
  return out;
}

std::vector<uint32_t> TTiffDirectory::Integers(uint16_t Tag) const {
  const TTiffEntry* e = Find(Tag);
  if (e == nullptr) return {};
  const uint32_t size = TiffTypeSize(e->Type);
  if (!IsShortType(e->Type) && !IsLongType(e->Type) && !IsByteType(e->Type)) return {};
  const std::vector<uint8_t> b = ValueBytes(*e, UINT64_MAX);
  std::vector<uint32_t> out(b.size() / size);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t* p = b.data() + i * size;
    out[i] = size == 1 ? p[0] : size == 2 ? Get16(p, FLittleEndian) : Get32(p, FLittleEndian);
  }
  return out;
}

double TTiffDirectory::Rational(uint16_t Tag, uint32_t Index) const {
  const TTiffEntry* e = Find(Tag);
  if (e == nullptr || Index >= e->Count) return 0;
  if (e->Type != 5 && e->Type != 10) return double(IntegerAt(*e, Index));
  uint8_t b[8];
  if (ReadBytesAt(FBase + int64_t(e->Value) + int64_t(Index) * 8, b, 8) != 8) return 0;
  const uint32_t n = Get32(b, FLittleEndian), d = Get32(b + 4, FLittleEndian);
  if (e->Type == 10) return double(int32_t(n)) / double(d == 0 ? 1 : int32_t(d));
  return double(n) / double(d == 0 ? 1 : d);
}

bool TTiffDirectory::Ascii(uint16_t Tag, std::string& Out) const {
  const TTiffEntry* e = Find(Tag);
  if (e == nullptr || e->Count >= kMaxTextBytes) return false;
  const std::vector<uint8_t> b = ValueBytes(*e, e->Count);
  Out.assign(b.begin(), b.end());
  if (!Out.empty() && Out.back() == '\0') Out.pop_back();
  return true;
}

std::vector<uint8_t> TTiffDirectory::Bytes(uint16_t Tag) const {
  const TTiffEntry* e = Find(Tag);
  return e == nullptr ? std::vector<uint8_t>() : ValueBytes(*e, UINT64_MAX);
}

std::u16string TTiffDirectory::Wide(uint16_t Tag) const {
  const TTiffEntry* e = Find(Tag);
  if (e == nullptr || e->Count >= kMaxTextBytes) return {};
  const std::vector<uint8_t> b = ValueBytes(*e, e->Count);
  std::u16string out(b.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = char16_t(b[2 * i] | (b[2 * i + 1] << 8));
  return out;
}

TTiffWalk WalkTiffDirectories(TTiffDirectory& Dir, uint32_t FirstOffset, int32_t Wanted) {
  TTiffWalk walk;
  std::unordered_set<uint32_t> visited;
  const int64_t base = Dir.Base(), size = Dir.StreamSize();
  uint32_t offset = FirstOffset;
  while (offset != 0 && walk.PageCount < kMaxTiffPages && visited.insert(offset).second) {
    uint8_t c[2];
    if (Dir.ReadBytesAt(base + offset, c, 2) != 2) break;
    const uint32_t count = Get16(c, Dir.LittleEndian());
    if (walk.PageCount == Wanted) walk.Found = Dir.ReadAt(offset);
    const int64_t nextPos = base + int64_t(offset) + 2 + int64_t(count) * 12;
    // A directory cut off by the end of the stream still counts (its entries that are
    // there are read), but the chain ends with it.
    uint8_t n[4] = {};
    uint32_t next = 0;
    if (nextPos < size && Dir.ReadBytesAt(nextPos, n, 4) == 4) next = Get32(n, Dir.LittleEndian());
    if (next < 8 || base + int64_t(next) >= size) next = 0;
    ++walk.PageCount;
    offset = next;
  }
  return walk;
}
