#include "imaging/model/work_bitmap.h"

#include <new>

#include "imaging/model/bitmap.h"

void TVLWorkBitmap::Allocate(int32_t Width, int32_t Height, int32_t BitCount) {
  if (Width == FWidth && Height == FHeight && BitCount == FBitCount && !FBits.empty()) return;
  if (Width <= 0 || Height <= 0 || BitCount <= 0) {
    Free();
    return;
  }
  const int32_t rowBytes = VLRowBytes(Width, BitCount, 32);
  const uint64_t size = uint64_t(rowBytes) * uint64_t(Height);
  std::vector<uint8_t> bits;
  try {
    bits.assign(size_t(size), 0);
  } catch (const std::exception&) {
    throw EVLBitmapError("Out of memory for a work bitmap of " + std::to_string(size) + " bytes");
  }
  FBits = std::move(bits);
  FWidth = Width;
  FHeight = Height;
  FBitCount = BitCount;
  FRowBytes = rowBytes;
}

void TVLWorkBitmap::Free() {
  FBits.clear();
  FBits.shrink_to_fit();
  FWidth = FHeight = FBitCount = FRowBytes = 0;
}

uint8_t* TVLWorkBitmap::Scanline(int32_t Row) {
  if (FBits.empty() || Row < 0 || Row >= FHeight) return nullptr;
  return FBits.data() + size_t(FRowBytes) * size_t(FHeight - 1 - Row);
}
