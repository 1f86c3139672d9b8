#pragma once
// TVLWorkBitmap: a plain heap bitmap for scratch work; rows bottom-up, padded to 4 bytes.

#include <cstdint>
#include <vector>

class TVLWorkBitmap {
 public:
  TVLWorkBitmap() = default;
  // Allocates zeroed rows; the same three values again keep the block and its contents.
  // Throws EVLBitmapError when the size does not fit; non-positive sizes free the block.
  void Allocate(int32_t Width, int32_t Height, int32_t BitCount);
  void Free();

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitCount() const { return FBitCount; }
  int32_t RowBytes() const { return FRowBytes; }
  uint8_t* Bits() { return FBits.empty() ? nullptr : FBits.data(); }
  // Row Row (0 = top); nullptr outside.
  uint8_t* Scanline(int32_t Row);

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FRowBytes = 0;
  std::vector<uint8_t> FBits;
};
