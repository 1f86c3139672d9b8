// Content detection: the built-in signature tests, the registry's external tests and the
// camera-raw tests, over bounded reads of the stream.

#include "imaging/component/format_detect.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "imaging/codecs/tiff_reader.h"
#include "imaging/component/format_registry.h"
#include "imaging/io/stream.h"

namespace {

// The data from the position detection started at: bounded reads by offset, and the
// position put back when done.
class THeader {
 public:
  explicit THeader(TStream& Stream) : FStream(Stream), FStart(Stream.Position()) {
    const int64_t size = FStart >= 0 ? Stream.Size() : 0;
    FSize = FStart >= 0 && size > FStart ? size - FStart : 0;
  }
  ~THeader() {
    try {
      Restore();
    } catch (...) {
      // A stream that cannot seek back has nothing better to offer.
    }
  }
  THeader(const THeader&) = delete;
  THeader& operator=(const THeader&) = delete;

  // Bytes available from the start.
  int64_t Size() const { return FSize; }
  // Exactly Count bytes at Offset from the start, or false when they are not all there.
  bool Read(int64_t Offset, void* Buffer, size_t Count) {
    if (Offset < 0 || Offset > FSize || int64_t(Count) > FSize - Offset) return false;
    return ReadSome(Offset, Buffer, Count) == Count;
  }
  // Up to Count bytes at Offset; returns how many were read.
  size_t ReadSome(int64_t Offset, void* Buffer, size_t Count) {
    if (Offset < 0 || Offset >= FSize) return 0;
    Count = size_t(std::min<int64_t>(int64_t(Count), FSize - Offset));
    if (FStream.Seek(FStart + Offset, soBeginning) < 0) return 0;
    size_t done = 0;
    while (done < Count) {
      const size_t got = FStream.Read(static_cast<uint8_t*>(Buffer) + done, Count - done);
      if (got == 0) break;
      done += got;
    }
    return done;
  }
  // The stream at the starting position, for tests that read it themselves.
  TStream& AtStart() {
    Restore();
    return FStream;
  }
  void Restore() {
    if (FStart >= 0) FStream.Seek(FStart, soBeginning);
  }

 private:
  TStream& FStream;
  int64_t FStart;
  int64_t FSize = 0;
};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The first bytes of the data, read once for the tests that look only at the start.
struct TPrefix {
  static constexpr size_t kLength = 128;  // the SOI search needs 100 + 2
  std::array<uint8_t, kLength> Bytes{};
  size_t Length = 0;

  bool Has(size_t Count) const { return Length >= Count; }
  const uint8_t* At(size_t Offset) const { return Bytes.data() + Offset; }
  // Bytes [0, Count) as text up to the first zero byte.
  std::string_view Text(size_t Count) const {
    const char* p = reinterpret_cast<const char*>(Bytes.data());
    const size_t n = std::min(Count, Length);
    return std::string_view(p, std::find(p, p + n, '\0') - p);
  }
  bool Equals(size_t Offset, std::string_view Signature) const {
    return Has(Offset + Signature.size()) &&
           std::memcmp(At(Offset), Signature.data(), Signature.size()) == 0;
  }
};

// An icon (Type 1) or cursor (Type 2) directory: every entry lies inside the data, has a zero
// reserved byte and non-empty data that starts after the entry.
bool IsIconDirectory(THeader& h, const TPrefix& p, uint16_t Type) {
  if (h.Size() < 23 || !p.Has(6)) return false;
  if (Le16(p.At(0)) != 0 || Le16(p.At(2)) != Type) return false;
  const uint32_t count = Le16(p.At(4));
  if (count == 0 || 6 + 16 * int64_t(count) > h.Size()) return false;  // entries past the end
  std::vector<uint8_t> table(size_t(count) * 16);
  if (!h.Read(6, table.data(), table.size())) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = table.data() + size_t(i) * 16;
    if (e[3] != 0 || Le32(e + 8) == 0 || Le32(e + 12) < 6 + 16 * (i + 1)) return false;
  }
  return true;
}

bool IsTarga(const TPrefix& p) {
  if (!p.Has(18)) return false;
  const uint8_t mapType = p.Bytes[1], imageType = p.Bytes[2], depth = p.Bytes[16];
  const bool typeOk = (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
  const bool depthOk =
      depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  return typeOk && depthOk && mapType < 2 && Le16(p.At(12)) != 0 && Le16(p.At(14)) != 0;
}

// Tokens of a portable-bitmap header: runs of letters and digits; "#" starts a comment that
// runs to the end of the line. The scan stops after kScanLimit bytes, so a file without line
// ends is not read to its end.
class TTokenScanner {
 public:
  static constexpr int64_t kScanLimit = 64 * 1024;
  static constexpr size_t kTokenCap = 16;  // characters kept of a token

  struct TToken {
    std::string Text;      // the first kTokenCap characters
    bool Long = false;     // the run was longer than that
    bool Digits = true;    // the whole run is decimal digits
    bool NonZero = false;  // one of them is not '0'
    // A positive number however long the run (its value is never computed, so it cannot
    // overflow: it saturates in effect).
    bool Positive() const { return Digits && NonZero; }
  };

  explicit TTokenScanner(THeader& Header) : FHeader(Header) {}

  // The next token, or false at the end of the scanned data.
  bool Next(TToken& Token) {
    Token = TToken();
    int c;
    while ((c = Get()) >= 0 && !IsTokenChar(c)) {
      if (c == '#')
        while ((c = Get()) >= 0 && c != '\n' && c != '\r') {
        }
    }
    for (; c >= 0 && IsTokenChar(c); c = Get()) {
      if (Token.Text.size() < kTokenCap)
        Token.Text.push_back(char(c));
      else
        Token.Long = true;
      Token.Digits = Token.Digits && c >= '0' && c <= '9';
      Token.NonZero = Token.NonZero || c != '0';
    }
    return !Token.Text.empty();
  }

 private:
  static bool IsTokenChar(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  int Get() {
    if (FPos == FEnd) {
      if (FOffset >= kScanLimit) return -1;
      FEnd = FHeader.ReadSome(FOffset, FBuffer.data(), FBuffer.size());
      FPos = 0;
      FOffset += int64_t(FEnd);
      if (FEnd == 0) return -1;
    }
    return FBuffer[FPos++];
  }

  THeader& FHeader;
  std::array<uint8_t, 512> FBuffer{};
  size_t FPos = 0, FEnd = 0;
  int64_t FOffset = 0;
};

// "P1" to "P6" followed by a positive width and a positive height.
bool IsPortableBitmap(THeader& h) {
  TTokenScanner scanner(h);
  TTokenScanner::TToken t;
  if (!scanner.Next(t) || t.Text.size() != 2 || t.Long || t.Text[0] != 'P' || t.Text[1] < '1' ||
      t.Text[1] > '6')
    return false;
  for (int i = 0; i < 2; ++i)
    if (!scanner.Next(t) || !t.Positive()) return false;
  return true;
}

bool HasJpegStart(const TPrefix& p) {
  for (size_t i = 0; i < 100 && i + 3 <= p.Length; ++i)
    if (p.Bytes[i] == 0xFF && p.Bytes[i + 1] == 0xD8 && p.Bytes[i + 2] == 0xFF) return true;
  return false;
}

// A multipage PCX file: the magic word and a page table (up to 1024 words, ended by a zero)
// whose offsets all lie inside the data. A table running past the end is no match.
bool IsDcx(THeader& h, const TPrefix& p) {
  if (!p.Has(4) || Le32(p.At(0)) != 987654321u) return false;
  std::array<uint8_t, 4 * 1024> table{};
  const size_t got = h.ReadSome(4, table.data(), table.size());
  for (size_t i = 0; i + 4 <= got; i += 4) {
    const uint32_t offset = Le32(table.data() + i);
    if (offset == 0) return true;
    if (int64_t(offset) >= h.Size()) return false;
  }
  return got == table.size();  // a full table of pages
}

// A metafile header, after the 22-byte placeable header when there is one.
bool IsWmf(const TPrefix& p) {
  const size_t base = p.Has(4) && Le32(p.At(0)) == 0x9AC6CDD7u ? 22 : 0;
  return p.Has(base + 18) && Le16(p.At(base)) == 1 && Le16(p.At(base + 2)) == 9 &&
         Le16(p.At(base + 16)) == 0;
}

bool IsEmf(const TPrefix& p) {
  return p.Has(44) && Le32(p.At(0)) == 1 && Le32(p.At(40)) == 0x464D4520u;
}

// Camera raw files not built on a TIFF structure, by their fixed signatures.
bool HasRawSignature(const TPrefix& p) {
  return p.Equals(0, "FUJIFILMCCD-RAW") ||                  // Fuji RAF
         (p.Equals(0, "II") && p.Equals(6, "HEAPCCDR")) ||  // Canon CRW
         p.Equals(0, "FOVb") ||                             // Sigma X3F
         p.Equals(0, std::string_view("\0MRM", 4));         // Minolta MRW
}

TVLFileType Detect(THeader& h) {
  TPrefix p;
  p.Length = h.ReadSome(0, p.Bytes.data(), p.Bytes.size());
  const int64_t size = h.Size();

  if (size > 12 && p.Text(5) == "JFIF") return ftJPEG;
  if (size > 13 && p.Equals(0, "GIF")) return ftGIF;
  if (size > 12 && p.Text(5) == "PCX2") return ftPCX;
  if (size > 4 && p.Text(4) == "PCX") return ftPCX;
  if (size > 14 && p.Equals(0, "BM")) return ftBMP;
  if (size > 128 && p.Bytes[0] == 0x0A && p.Bytes[1] <= 5) return ftPCX;
  if (size > 12 && p.Text(5) == "TIFF") return ftTIFF;
  if (HasTiffHeader(h.AtStart()) && !HasCameraRawHeader(h.AtStart())) return ftTIFF;
  if (size > 8 && p.Equals(0, "\x89PNG")) return ftPNG;
  if (IsIconDirectory(h, p, 1)) return ftICO;
  if (IsIconDirectory(h, p, 2)) return ftCUR;
  if (IsTarga(p)) return ftTGA;
  if (IsPortableBitmap(h)) return ftPXM;
  if (HasJpegStart(p)) return ftJPEG;
  if (p.Has(12) && Be32(p.At(0)) == 12 && p.Equals(4, "jP  ") && Be32(p.At(8)) == 0x0D0A870Au)
    return ftJP2;
  if (p.Equals(0, "\xFF\x4F\xFF\x51")) return ftJ2K;
  if (p.Equals(0, "RIFF") && p.Equals(8, "AVI ")) return ftAVI;
  if (IsDcx(h, p)) return ftDCX;
  if (IsWmf(p)) return ftWMF;
  if (IsEmf(p)) return ftEMF;
  for (const TVLFormatEntry& entry : RegisteredFormats()) {
    if (entry.InternalFormat || !entry.TryFunction) continue;
    const bool match = entry.TryFunction(h.AtStart());
    h.Restore();
    if (match) return entry.FileType;
  }
  if (HasCameraRawHeader(h.AtStart()) || HasRawSignature(p)) return ftRAW;
  return ftUnknown;
}

}  // namespace

TVLFileType DetectStreamType(TStream& Stream) {
  try {
    THeader header(Stream);  // restores the position however detection ends
    return Detect(header);
  } catch (...) {
    // A test that raises (an external content test, a failing stream) ends detection.
    return ftUnknown;
  }
}

bool HasTiffHeader(TStream& Stream) {
  THeader h(Stream);
  uint8_t b[9];
  if (h.Size() <= 8 || !h.Read(0, b, sizeof b)) return false;
  if (b[0] == 'I' && b[1] == 'I') return int64_t(Le32(b + 4)) < h.Size();
  if (b[0] == 'M' && b[1] == 'M') return int64_t(Be32(b + 4)) < h.Size() && b[8] != 0xBA;
  return false;
}

TVLFileType DetectFileType(const std::string& FileName, bool Verify) {
  if (FileName.empty()) return ftUnknown;
  TVLFileType answer = ftUnknown;
  try {
    TFileStream file(FileName, fmOpenRead);
    answer = DetectStreamType(file);
  } catch (...) {
    // A file that cannot be opened has no content type.
  }
  const std::optional<TVLFormatEntry> record =
      FindFormatByExtension(ExtractFileExtension(FileName));
  if (record && record->FileType == ftRAW && answer == ftTIFF) answer = ftRAW;
  if (Verify && answer != ftUnknown) {
    // Icons and cursors share one structure (and resemble other data), so for them the
    // extension decides.
    if (!record || answer == ftICO || answer == ftCUR)
      answer = record ? record->FileType : ftUnknown;
    else if (answer != record->FileType)
      answer = ftUnknown;
  }
  return answer;
}
