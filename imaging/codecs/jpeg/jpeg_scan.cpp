// Finding JPEG data in a stream, measuring it, and collecting its ICC profile, all by walking
// the marker structure through a small buffered reader.

#include "imaging/codecs/jpeg/jpeg_scan.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/stream.h"

namespace {

constexpr size_t kScanBuffer = 8192;

// Reads a stream through an 8 KiB buffer; every read is bounded by the stream's end.
class TScanReader {
 public:
  explicit TScanReader(TStream& Stream) : FStream(Stream), FBase(Stream.Position()) {}

  // The next byte, or -1 at the end.
  int Next() {
    if (FPos == FLength && !Fill()) return -1;
    return FBuffer[FPos++];
  }
  // Consumes bytes up to and including the next 0xFF; false at the end.
  bool SkipPastFF() {
    for (;;) {
      if (FPos == FLength && !Fill()) return false;
      const void* hit = std::memchr(FBuffer + FPos, 0xFF, FLength - FPos);
      if (hit != nullptr) {
        FPos = size_t(static_cast<const uint8_t*>(hit) - FBuffer) + 1;
        return true;
      }
      FPos = FLength;
    }
  }
  // A big-endian 16-bit value, or -1 at the end.
  int32_t Next16() {
    const int hi = Next();
    if (hi < 0) return -1;
    const int lo = Next();
    return lo < 0 ? -1 : (hi << 8) | lo;
  }
  // Copies Count bytes; false (having consumed what there was) when the data ends first.
  bool Take(uint8_t* Dest, size_t Count) {
    while (Count > 0) {
      if (FPos == FLength && !Fill()) return false;
      const size_t n = std::min(Count, FLength - FPos);
      std::memcpy(Dest, FBuffer + FPos, n);
      FPos += n;
      Dest += n;
      Count -= n;
    }
    return true;
  }
  // Skips Count bytes, stopping at the end of the stream; false when the end came first.
  bool Skip(uint64_t Count) {
    const size_t inBuffer = FLength - FPos;
    if (Count <= inBuffer) {
      FPos += size_t(Count);
      return true;
    }
    Count -= inBuffer;
    FPos = FLength;
    const int64_t here = FStream.Position();
    const int64_t size = FStream.Size();
    const int64_t room = size > here ? size - here : 0;
    const bool fits = Count <= uint64_t(room);
    const int64_t target = here + (fits ? int64_t(Count) : room);
    FStream.Seek(target, soBeginning);
    FBase = target;
    FPos = FLength = 0;
    return fits;
  }
  // Position in the stream of the next byte to be consumed.
  int64_t Position() const { return FBase + int64_t(FPos); }

 private:
  bool Fill() {
    FBase += int64_t(FLength);
    FPos = 0;
    FLength = FStream.Read(FBuffer, kScanBuffer);
    return FLength > 0;
  }

  TStream& FStream;
  int64_t FBase;  // stream position of FBuffer[0]
  size_t FPos = 0;
  size_t FLength = 0;
  uint8_t FBuffer[kScanBuffer];
};

// Reads the marker byte after a 0xFF, passing over fill bytes (further 0xFF); -1 at the end.
int MarkerByte(TScanReader& Reader) {
  int m = Reader.Next();
  while (m == 0xFF) m = Reader.Next();
  return m;
}

constexpr uint8_t kIccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kIccHeader = 14;  // the tag, the chunk number and the chunk count

}  // namespace

int64_t LocateJpegStart(TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t head[102];
  const size_t n = Stream.Read(head, sizeof head);
  Stream.Seek(start, soBeginning);
  for (size_t i = 0; i + 2 < n && i < 100; ++i)
    if (head[i] == 0xFF && head[i + 1] == 0xD8 && head[i + 2] == 0xFF) return start + int64_t(i);
  return -1;
}

int64_t MeasureJpegData(TStream& Stream) {
  const int64_t start = Stream.Position();
  int64_t end = start;
  {
    TScanReader reader(Stream);
    while (reader.SkipPastFF()) {
      const int m = MarkerByte(reader);
      if (m < 0 || m == 0xD9) break;
      if ((m >= 0xC0 && m <= 0xCF) || m >= 0xDA) {
        const int32_t length = reader.Next16();
        // A length below 2 cannot count itself: the data is damaged and measuring ends
        // (skipping it would never move forward).
        if (length < 2 || !reader.Skip(uint64_t(length - 2))) break;
      }
    }
    end = reader.Position();
  }
  Stream.Seek(start, soBeginning);
  return end - start;
}

bool ReadJpegIccProfile(TStream& Stream, std::vector<uint8_t>& Profile) {
  Profile.clear();
  TScanReader reader(Stream);
  std::map<int, std::vector<uint8_t>> chunks;
  int count = 0;  // the chunk count of the set being gathered
  std::vector<uint8_t> segment;
  while (reader.SkipPastFF()) {
    const int m = MarkerByte(reader);
    if (m < 0 || m == 0xD9) break;
    if (m <= 0xBF || (m >= 0xD0 && m <= 0xD8)) continue;
    const int32_t length = reader.Next16();
    if (length < 2) break;
    if (m != 0xE2) {
      if (!reader.Skip(uint64_t(length - 2))) break;
      continue;
    }
    segment.resize(size_t(length - 2));
    if (!reader.Take(segment.data(), segment.size())) break;
    if (segment.size() < kIccHeader || std::memcmp(segment.data(), kIccTag, sizeof kIccTag) != 0)
      continue;
    const int number = segment[12], total = segment[13];
    // Chunks that cannot belong to one consistent set are passed over.
    if (number == 0 || number > total || (count != 0 && total != count) || chunks.count(number))
      continue;
    count = total;
    chunks[number].assign(segment.begin() + kIccHeader, segment.end());
    if (int(chunks.size()) == count) break;
  }
  if (count == 0 || int(chunks.size()) != count) return false;
  for (const auto& [number, bytes] : chunks) Profile.insert(Profile.end(), bytes.begin(), bytes.end());
  return true;
}
