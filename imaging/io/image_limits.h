#pragma once
// The largest image any reader accepts. Every reader checks the size a file claims against
// this limit before it allocates anything, so a crafted header can neither exhaust memory nor
// overflow a row or buffer size. Row lengths and buffer sizes derived from these sizes are
// computed in 64 bits.

#include <cstdint>

// No side may exceed a million pixels, and no image 2^30 pixels.
constexpr int64_t kMaxImageSide = 1000000;
constexpr int64_t kMaxImagePixels = int64_t(1) << 30;

// True when a Width x Height image may be allocated: both sides positive and within
// kMaxImageSide, and the pixel count within kMaxImagePixels.
constexpr bool ImageSizeAllowed(int64_t Width, int64_t Height) {
  return Width > 0 && Height > 0 && Width <= kMaxImageSide && Height <= kMaxImageSide &&
         Width * Height <= kMaxImagePixels;
}
