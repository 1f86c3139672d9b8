#pragma once
// Helpers shared by the TVLBitmap implementation files.

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "imaging/model/bitmap.h"

namespace vlbitmap_detail {

// Sets a bitmap's RowAccess for the lifetime of the guard, restoring it afterwards.
class TAccessGuard {
 public:
  TAccessGuard(TVLBaseBitmap& Bitmap, TVLRowAccess Access)
      : FBitmap(Bitmap), FSaved(Bitmap.RowAccess) {
    Bitmap.RowAccess = Access;
  }
  ~TAccessGuard() { FBitmap.RowAccess = FSaved; }
  TAccessGuard(const TAccessGuard&) = delete;
  TAccessGuard& operator=(const TAccessGuard&) = delete;

 private:
  TVLBaseBitmap& FBitmap;
  TVLRowAccess FSaved;
};

// trunc(Value) as a 64-bit integer; NaN gives 0, values out of range are clamped.
inline int64_t TruncValue(double Value) {
  if (std::isnan(Value)) return 0;
  if (Value >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (Value <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return int64_t(Value);
}

// The toolkit bitmap depth that holds a pixel format: vl1g 1, vl8p/vl8g 8, anything else 24.
inline int32_t ToolkitBitCount(TVLPixelFormat Format) {
  return Format == vl1g ? 1 : (Format == vl8p || Format == vl8g) ? 8 : 24;
}

// The 256-entry gray ramp (entry i = i, i, i) that marks an 8-bit toolkit bitmap as gray.
inline std::vector<TRGB> GrayRamp() {
  std::vector<TRGB> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
  return ramp;
}

// Bytes per pixel of the byte-aligned formats (0 for vl1g and vlNull).
inline int32_t BytesPerPixel(TVLPixelFormat Format) {
  switch (Format) {
    case vl8p:
    case vl8g: return 1;
    case vl16g: return 2;
    case vl24RGB:
    case vlCIELab: return 3;
    case vl32f:
    case vlCMYK: return 4;
    case vlRGB48: return 6;
    default: return 0;
  }
}

// The formats a toolkit bitmap can hold.
inline bool ToolkitCanHold(TVLPixelFormat Format) {
  return Format == vl1g || Format == vl8p || Format == vl8g || Format == vl24RGB;
}

// The message for a format a toolkit bitmap refuses, or nullptr.
inline const char* ToolkitRefusal(TVLPixelFormat Format) {
  switch (Format) {
    case vl32f: return "vl32f pixel format not allowed when Location=vlTBitmap";
    case vlCMYK: return "vlCMYK pixel format not allowed when Location=vlTBitmap";
    case vlRGB48: return "vlRGB48 pixel format not allowed when Location=vlTBitmap";
    case vlCIELab: return "vlCIELab pixel format not allowed when Location=vlTBitmap";
    default: return nullptr;
  }
}

}  // namespace vlbitmap_detail
