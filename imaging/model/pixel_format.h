#pragma once
// Pixel formats of the image model and their bit and channel tables.

#include <cstdint>

#include "platform/rgb.h"

enum TVLPixelFormat : int32_t {
  vlNull = 0,    // no image
  vl1g = 1,      // 8 pixels per byte, most significant bit leftmost; 1 = white
  vl8p = 2,      // index into a 256-entry palette
  vl8g = 3,      // gray 0..255
  vl16g = 4,     // little-endian gray 0..65535
  vl24RGB = 5,   // bytes blue, green, red
  vl32f = 6,     // float gray 0.0..1.0
  vlCMYK = 7,    // bytes C, M, Y, K stored inverted (255 = no ink)
  vlRGB48 = 8,   // little-endian words red, green, blue
  vlCIELab = 9,  // bytes L, a, b (a and b signed)
};
constexpr int kPixelFormatCount = 10;

constexpr int32_t kPixelFormatBits[kPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24};
constexpr int32_t kPixelFormatChannels[kPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3};

inline int32_t PixelFormatBits(TVLPixelFormat f) {
  return (f >= 0 && f < kPixelFormatCount) ? kPixelFormatBits[f] : 0;
}
inline int32_t PixelFormatChannels(TVLPixelFormat f) {
  return (f >= 0 && f < kPixelFormatCount) ? kPixelFormatChannels[f] : 0;
}

// Storage places of a bitmap.
enum TVLLocation : int32_t { vlMemory = 0, vlFile = 1, vlTBitmap = 2 };
