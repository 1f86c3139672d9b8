#pragma once
// Bounded readers for codecs. TByteView reads numbers from bytes in memory; TStreamReader
// does the same on a stream. Reading past the end gives 0 and sets Failed(); nothing is ever
// read outside the data.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/io/stream.h"

// The multi-byte reads shared by both readers, on top of the reader's own Take (which
// copies exactly Count bytes, or zeroes Dest and returns false).
template <typename Reader>
class TNumberReads {
 public:
  uint16_t get16le() {
    uint8_t b[2];
    if (!self().Take(b, 2)) return 0;
    return uint16_t(b[0] | (b[1] << 8));
  }
  uint16_t get16be() {
    uint8_t b[2];
    if (!self().Take(b, 2)) return 0;
    return uint16_t((b[0] << 8) | b[1]);
  }
  uint32_t get32le() {
    uint8_t b[4];
    if (!self().Take(b, 4)) return 0;
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
  }
  uint32_t get32be() {
    uint8_t b[4];
    if (!self().Take(b, 4)) return 0;
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
  }
  uint16_t get16(bool LittleEndian) { return LittleEndian ? get16le() : get16be(); }
  uint32_t get32(bool LittleEndian) { return LittleEndian ? get32le() : get32be(); }

 private:
  Reader& self() { return static_cast<Reader&>(*this); }
};

class TByteView : public TNumberReads<TByteView> {
 public:
  TByteView() = default;
  TByteView(const uint8_t* Data, size_t Length) : FData(Length ? Data : nullptr), FLength(Data ? Length : 0) {}

  const uint8_t* Data() const { return FData; }
  size_t Length() const { return FLength; }
  size_t Position() const { return FPos; }
  size_t Remaining() const { return FPos < FLength ? FLength - FPos : 0; }
  bool Failed() const { return FFailed; }
  bool AtEnd() const { return FPos >= FLength; }

  // Moves to an absolute position; a position beyond the end fails (position unchanged).
  bool Seek(size_t Pos) {
    if (Pos > FLength) return Fail();
    FPos = Pos;
    return true;
  }
  bool Skip(size_t Count) {
    if (Count > Remaining()) {
      FPos = FLength;
      return Fail();
    }
    FPos += Count;
    return true;
  }
  // True when Count bytes starting at Pos lie inside the data.
  bool Contains(size_t Pos, size_t Count) const { return Pos <= FLength && Count <= FLength - Pos; }
  // A sub-view of Count bytes at Pos, or an empty one (and Failed) when it does not fit.
  TByteView Sub(size_t Pos, size_t Count) {
    if (!Contains(Pos, Count)) {
      Fail();
      return TByteView();
    }
    return TByteView(FData + Pos, Count);
  }

  uint8_t get8() {
    if (FPos >= FLength) {
      Fail();
      return 0;
    }
    return FData[FPos++];
  }
  // Copies Count bytes; when fewer remain, nothing is copied, Dest is zeroed and Failed set.
  bool Take(void* Dest, size_t Count) {
    if (Count > Remaining()) {
      if (Count) std::memset(Dest, 0, Count);
      FPos = FLength;
      return Fail();
    }
    if (Count) std::memcpy(Dest, FData + FPos, Count);
    FPos += Count;
    return true;
  }

 private:
  bool Fail() {
    FFailed = true;
    return false;
  }
  const uint8_t* FData = nullptr;
  size_t FLength = 0;
  size_t FPos = 0;
  bool FFailed = false;
};

// The same reads on a stream, from its current position.
class TStreamReader : public TNumberReads<TStreamReader> {
 public:
  explicit TStreamReader(TStream& Stream) : FStream(Stream) {}

  bool Failed() const { return FFailed; }
  TStream& Stream() { return FStream; }

  uint8_t get8() {
    uint8_t b = 0;
    Take(&b, 1);
    return b;
  }
  // Reads exactly Count bytes; on a short read Dest is zeroed and Failed set.
  bool Take(void* Dest, size_t Count) {
    if (Count == 0) return true;
    if (FStream.Read(Dest, Count) != Count) {
      std::memset(Dest, 0, Count);
      FFailed = true;
      return false;
    }
    return true;
  }

 private:
  TStream& FStream;
  bool FFailed = false;
};
