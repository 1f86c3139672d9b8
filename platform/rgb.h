#pragma once
// The colour triple shared by the toolkit bitmap and the image model, and the toolkit's
// colour value.

#include <cstdint>

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
