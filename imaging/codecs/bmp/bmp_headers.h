#pragma once
// Layout of BMP files shared by the reader and the writer: header sizes, compression codes,
// little-endian field access and the bit-field channel decoder.

#include <bit>
#include <cstdint>

namespace bmp {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sides, 3-byte palette entries
constexpr uint32_t kInfoHeaderSize = 40;  // Windows; longer headers start the same way
constexpr uint32_t kOs2HeaderSize = 64;   // OS/2 2.x, which may be cut to any size from 16
constexpr uint32_t kMaxReadHeader = 64;   // bytes of a longer header that carry fields we use

// Compression codes of the info header.
enum : uint32_t {
  kCompNone = 0,
  kCompRle8 = 1,
  kCompRle4 = 2,
  kCompBitFields = 3,   // OS/2 2.x: modified Huffman
  kCompJpeg = 4,        // OS/2 2.x: RLE24
  kCompPng = 5,
  kCompAlphaBitFields = 6,
};

// RLE escape codes, after a zero count byte.
enum : uint8_t { kRleEndOfLine = 0, kRleEndOfBitmap = 1, kRleDelta = 2 };

inline uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// Bytes of one stored row: rows are padded to whole 32-bit words. 64-bit, so that no claimed
// size can overflow it.
constexpr int64_t RowLength(int64_t Width, int64_t Bits) { return (Width * Bits + 31) / 32 * 4; }

// One channel of a bit-field pixel: (pixel & mask) >> lowest set bit, then brought to 8 bits,
// widened by << (8 - w) when its width w is at most 8 or narrowed by >> (w - 8). The width is
// counted from the lowest to the highest set bit, so the value always fits 8 bits, whatever
// the mask. A zero mask gives 0. For the packed 5-6-5 and 5-5-5 layouts this gives 0xF800 ->
// 248 and 0x7FFF -> 248, 248, 248. An alpha channel (FullRange) narrower than 8 bits is
// scaled instead, so that its largest value stays opaque (1-bit alpha: 0 or 255).
class TBitChannel {
 public:
  TBitChannel() = default;
  explicit TBitChannel(uint32_t Mask, bool FullRange = false) : FMask(Mask) {
    if (Mask == 0) return;
    FShift = std::countr_zero(Mask);
    const int width = 32 - std::countl_zero(Mask) - FShift;
    if (width > 8)
      FDown = width - 8;
    else if (FullRange)
      FMax = (uint32_t(1) << width) - 1;
    else
      FUp = 8 - width;
  }
  uint32_t Mask() const { return FMask; }
  uint8_t operator()(uint32_t Pixel) const {
    const uint32_t v = (Pixel & FMask) >> FShift;
    if (FMax != 0) return uint8_t((v * 255 + FMax / 2) / FMax);
    return uint8_t((v << FUp) >> FDown);
  }

 private:
  uint32_t FMask = 0;
  int FShift = 0;
  int FUp = 0;
  int FDown = 0;
  uint32_t FMax = 0;  // scaling divisor of a narrow full-range channel
};

}  // namespace bmp
