#pragma once
// Pixel formats of the image model, their bit and channel tables, and the colour triple.

#include <cstdint>

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

// Three bytes in memory order blue, green, red.
#pragma pack(push, 1)
struct TRGB {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
  bool operator==(const TRGB&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TRGB) == 3);

// A TRGB packed into one integer: blue in bits 0-7, green 8-15, red 16-23.
inline uint32_t PackRGB(TRGB c) {
  return uint32_t(c.b) | (uint32_t(c.g) << 8) | (uint32_t(c.r) << 16);
}
inline TRGB UnpackRGB(uint32_t v) {
  return TRGB{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
}
inline TRGB MakeRGB(uint8_t r, uint8_t g, uint8_t b) { return TRGB{b, g, r}; }

// A toolkit colour value (TColor) has red in bits 0-7, green 8-15, blue 16-23.
using TColor = int32_t;
inline TRGB ColorToRGB(TColor c) {
  return TRGB{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
}

// Storage places of a bitmap.
enum TVLLocation : int32_t { vlMemory = 0, vlFile = 1, vlTBitmap = 2 };
