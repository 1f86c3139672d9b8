#pragma once
// Small helpers shared by the view tests: bitmaps in memory with known pixels.

#include <cstdint>
#include <memory>

#include "imaging/model/bitmap.h"

inline std::unique_ptr<TVLBitmap> MakeBitmap(int32_t w, int32_t h, TVLPixelFormat f) {
  auto b = std::make_unique<TVLBitmap>();
  b->SetLocation(vlMemory);
  b->Allocate(w, h, f);
  return b;
}

// A vl24RGB pattern whose channels differ per pixel.
inline std::unique_ptr<TVLBitmap> MakePattern(int32_t w, int32_t h) {
  auto b = MakeBitmap(w, h, vl24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b->SetPixelRGB(x, y,
                     TRGB{uint8_t(x * 7 + y * 3), uint8_t(x * 13 ^ y * 5), uint8_t(x + y * 11)});
  return b;
}
