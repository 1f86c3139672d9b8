#pragma once
// A synthetic photograph for the codec benchmarks: smooth gradients, a soft disc, a fine
// texture and mild sensor-like noise, so it compresses like a real photo.

#include <algorithm>
#include <cstdint>

#include "imaging/model/bitmap.h"

// Fills a new in-memory vl24RGB bitmap of Width x Height. The disc is centred at (Cx, Cy) with
// radius R; the noise spans +-2^(NoiseBits-1) levels.
inline TVLBitmap* MakeSyntheticPhoto(int32_t Width, int32_t Height, int32_t Cx, int32_t Cy,
                                     int32_t R, int NoiseBits) {
  auto* b = new TVLBitmap;
  b->MemoryThreshold = int64_t(1) << 40;
  b->Allocate(Width, Height, vl24RGB);
  uint32_t seed = 1;
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* row = b->Scanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> (32 - NoiseBits)) - (1 << (NoiseBits - 1));
      const int64_t dx = x - Cx, dy = y - Cy;
      const int disc = dx * dx + dy * dy < int64_t(R) * R ? 60 : 0;
      row[x * 3] = uint8_t(std::clamp(40 + y * 150 / Height + noise, 0, 255));
      row[x * 3 + 1] = uint8_t(std::clamp(60 + disc + ((x / 7 + y / 11) % 40) + noise, 0, 255));
      row[x * 3 + 2] = uint8_t(std::clamp(200 - x * 120 / Width + disc + noise, 0, 255));
    }
  }
  return b;
}
