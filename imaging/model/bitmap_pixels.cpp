// TVLBitmap: single-pixel access, Fill and FillRect, and whole-image scans.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/bitmap_internal.h"
#include "imaging/model/pixel_conversions.h"

using namespace vlbitmap_detail;

namespace {

uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void Store16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// The bytes of one pixel of Format for a fill value, and whether that value is the maximum.
struct TFillPixel {
  uint8_t Bytes[6] = {};
  int32_t Size = 0;
  bool IsMax = false;
};

TFillPixel MakeFillPixel(TVLPixelFormat Format, double Value) {
  TFillPixel p;
  const int64_t v = TruncValue(Value);
  switch (Format) {
    case vl1g:
      p.Size = 0;
      p.IsMax = v != 0;
      p.Bytes[0] = v != 0 ? 0xFF : 0x00;
      break;
    case vl8p:
    case vl8g:
      p.Size = 1;
      p.Bytes[0] = uint8_t(v);
      p.IsMax = p.Bytes[0] == 255;
      break;
    case vl16g:
      p.Size = 2;
      Store16(p.Bytes, uint16_t(v));
      p.IsMax = uint16_t(v) == 65535;
      break;
    case vl32f: {
      p.Size = 4;
      const float f = float(Value);
      std::memcpy(p.Bytes, &f, 4);
      p.IsMax = f == 1.0f;
      break;
    }
    case vl24RGB:
    case vlCMYK:
    case vlRGB48:
    case vlCIELab: {
      const TRGB c = ColorToRGB(TColor(uint32_t(uint64_t(v))));
      p.IsMax = c.r == 255 && c.g == 255 && c.b == 255;
      if (Format == vl24RGB) {
        p.Size = 3;
        p.Bytes[0] = c.b;
        p.Bytes[1] = c.g;
        p.Bytes[2] = c.r;
      } else if (Format == vlCMYK) {
        p.Size = 4;
        const uint32_t k = RGBToCMYK(PackRGB(c));
        for (int i = 0; i < 4; ++i) p.Bytes[i] = uint8_t(k >> (8 * i));
      } else if (Format == vlRGB48) {
        p.Size = 6;
        Store16(p.Bytes, uint16_t(c.r * 257));
        Store16(p.Bytes + 2, uint16_t(c.g * 257));
        Store16(p.Bytes + 4, uint16_t(c.b * 257));
      } else {
        p.Size = 3;
        const uint32_t lab = RGBToLab(PackRGB(c));
        for (int i = 0; i < 3; ++i) p.Bytes[i] = uint8_t(lab >> (8 * i));
      }
      break;
    }
    default:
      break;
  }
  return p;
}

// Writes pixels X0..X1 (inclusive) of a row with the fill pixel.
void FillSpan(uint8_t* Row, TVLPixelFormat Format, const TFillPixel& P, int32_t X0, int32_t X1) {
  if (Format == vl1g) {
    for (int32_t x = X0; x <= X1; ++x) {
      const uint8_t mask = uint8_t(0x80 >> (x & 7));
      if (P.IsMax) Row[x >> 3] |= mask;
      else Row[x >> 3] &= uint8_t(~mask);
    }
    return;
  }
  if (P.Size == 1) {
    std::memset(Row + X0, P.Bytes[0], size_t(X1 - X0 + 1));
    return;
  }
  for (int32_t x = X0; x <= X1; ++x) std::memcpy(Row + size_t(x) * size_t(P.Size), P.Bytes, size_t(P.Size));
}

}  // namespace

// ---- Single pixels --------------------------------------------------------------------------------

uint8_t* TVLBitmap::PixelPtr(int32_t X, int32_t Y, int32_t BytesPerPixel) {
  // An accessor of another format than the image's must not reach past the row either.
  if (X < 0 || X >= Width() || int64_t(X + 1) * BytesPerPixel > int64_t(RowBytes())) return nullptr;
  uint8_t* row = Scanline(Y);
  return row ? row + size_t(X) * size_t(BytesPerPixel) : nullptr;
}

bool TVLBitmap::PixelBit(int32_t X, int32_t Y) {
  if (X < 0 || X >= Width()) return false;
  const uint8_t* row = Scanline(Y);
  return row && ((row[X >> 3] >> (7 - (X & 7))) & 1);
}

void TVLBitmap::SetPixelBit(int32_t X, int32_t Y, bool Value) {
  if (X < 0 || X >= Width()) return;
  uint8_t* row = Scanline(Y);
  if (!row) return;
  const uint8_t mask = uint8_t(0x80 >> (X & 7));
  if (Value) row[X >> 3] |= mask;
  else row[X >> 3] &= uint8_t(~mask);
}

uint8_t TVLBitmap::Pixel8(int32_t X, int32_t Y) {
  const uint8_t* p = PixelPtr(X, Y, 1);
  return p ? *p : 0;
}

void TVLBitmap::SetPixel8(int32_t X, int32_t Y, uint8_t Value) {
  if (uint8_t* p = PixelPtr(X, Y, 1)) *p = Value;
}

uint16_t TVLBitmap::Pixel16(int32_t X, int32_t Y) {
  const uint8_t* p = PixelPtr(X, Y, 2);
  return p ? Load16(p) : 0;
}

void TVLBitmap::SetPixel16(int32_t X, int32_t Y, uint16_t Value) {
  if (uint8_t* p = PixelPtr(X, Y, 2)) Store16(p, Value);
  if (Value < 65535) FAllMax = false;
}

float TVLBitmap::PixelFloat(int32_t X, int32_t Y) {
  float f = 0;
  if (const uint8_t* p = PixelPtr(X, Y, 4)) std::memcpy(&f, p, 4);
  return f;
}

void TVLBitmap::SetPixelFloat(int32_t X, int32_t Y, float Value) {
  if (uint8_t* p = PixelPtr(X, Y, 4)) std::memcpy(p, &Value, 4);
  if (!(Value >= 1.0f)) FAllMax = false;
}

uint32_t TVLBitmap::Pixel32(int32_t X, int32_t Y) {
  uint32_t v = 0;
  if (const uint8_t* p = PixelPtr(X, Y, 4))
    v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  return v;
}

void TVLBitmap::SetPixel32(int32_t X, int32_t Y, uint32_t Value) {
  if (uint8_t* p = PixelPtr(X, Y, 4))
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(Value >> (8 * i));
}

TRGB TVLBitmap::PixelRGB(int32_t X, int32_t Y) {
  const uint8_t* p = PixelPtr(X, Y, 3);
  return p ? TRGB{p[0], p[1], p[2]} : TRGB{};
}

void TVLBitmap::SetPixelRGB(int32_t X, int32_t Y, TRGB Value) {
  if (uint8_t* p = PixelPtr(X, Y, 3)) {
    p[0] = Value.b;
    p[1] = Value.g;
    p[2] = Value.r;
  }
}

TRGB48 TVLBitmap::PixelRGB48(int32_t X, int32_t Y) {
  const uint8_t* p = PixelPtr(X, Y, 6);
  return p ? TRGB48{Load16(p), Load16(p + 2), Load16(p + 4)} : TRGB48{};
}

void TVLBitmap::SetPixelRGB48(int32_t X, int32_t Y, TRGB48 Value) {
  if (uint8_t* p = PixelPtr(X, Y, 6)) {
    Store16(p, Value.r);
    Store16(p + 2, Value.g);
    Store16(p + 4, Value.b);
  }
  if (Value.r < 65535 || Value.g < 65535 || Value.b < 65535) FAllMax = false;
}

TRGB TVLBitmap::PixelAsRGB(int32_t X, int32_t Y) {
  switch (PixelFormat()) {
    case vl1g:
      return PixelBit(X, Y) ? TRGB{255, 255, 255} : TRGB{};
    case vl8p:
      return GetPaletteColor(Pixel8(X, Y));
    case vl8g: {
      const uint8_t v = Pixel8(X, Y);
      return TRGB{v, v, v};
    }
    case vl16g: {
      const uint8_t v = uint8_t(Pixel16(X, Y) >> 8);
      return TRGB{v, v, v};
    }
    case vl24RGB:
      return PixelRGB(X, Y);
    case vl32f: {
      // Values outside 0.0 .. 1.0 (and NaN) are kept within the byte range.
      const float f = PixelFloat(X, Y);
      const double scaled = std::isnan(f) ? 0.0 : std::clamp(double(f) * 255.0, 0.0, 255.0);
      const uint8_t v = uint8_t(scaled);
      return TRGB{v, v, v};
    }
    case vlCMYK:
      return UnpackRGB(CMYKToRGB(Pixel32(X, Y)));
    case vlRGB48: {
      const TRGB48 c = PixelRGB48(X, Y);
      return MakeRGB(uint8_t(c.r >> 8), uint8_t(c.g >> 8), uint8_t(c.b >> 8));
    }
    case vlCIELab: {
      const TRGB lab = PixelRGB(X, Y);  // bytes L, a, b
      return UnpackRGB(LabToRGB(uint32_t(lab.b) | (uint32_t(lab.g) << 8) | (uint32_t(lab.r) << 16)));
    }
    default:
      return TRGB{};
  }
}

// ---- Fill ----------------------------------------------------------------------------------------------

bool TVLBitmap::Fill(double Value) {
  const TVLPixelFormat format = PixelFormat();
  const TFillPixel pixel = MakeFillPixel(format, Value);
  const int32_t w = Width(), h = Height(), rowBytes = RowBytes();
  if (format != vlNull && w > 0 && h > 0 && rowBytes > 0) {
    std::vector<uint8_t> pattern(size_t(rowBytes), 0);
    if (format == vl1g || pixel.Size == 1) std::memset(pattern.data(), pixel.Bytes[0], pattern.size());
    else FillSpan(pattern.data(), format, pixel, 0, w - 1);
    TAccessGuard writeOnly(*this, raWrite);
    for (int32_t y = 0; y < h; ++y)
      if (uint8_t* row = Scanline(y)) std::memcpy(row, pattern.data(), pattern.size());
    ReleaseMappedRow();
  }
  FAllMax = pixel.IsMax;
  return FAllMax;
}

void TVLBitmap::FillRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, double Value) {
  const TVLPixelFormat format = PixelFormat();
  if (format == vlNull) return;
  Left = std::max(Left, 0);
  Top = std::max(Top, 0);
  Right = std::min(Right, Width() - 1);
  Bottom = std::min(Bottom, Height() - 1);
  if (Left > Right || Top > Bottom) return;
  const TFillPixel pixel = MakeFillPixel(format, Value);
  for (int32_t y = Top; y <= Bottom; ++y)
    if (uint8_t* row = Scanline(y)) FillSpan(row, format, pixel, Left, Right);
  ReleaseMappedRow();
  // A rectangle never proves the whole image full, but a lower value ends a full one (an alpha
  // channel with a transparent hole must not be taken as opaque).
  if (!pixel.IsMax) FAllMax = false;
}

// ---- Scans ----------------------------------------------------------------------------------------------

bool TVLBitmap::IsAllGray() {
  const TVLPixelFormat format = PixelFormat();
  if (format == vl8p) {
    const int32_t n = PaletteSize();
    for (int32_t i = 0; i < n; ++i) {
      const TRGB c = GetPaletteColor(i);
      if (c.r != c.g || c.g != c.b) return false;
    }
    return true;
  }
  if (format != vl24RGB) return true;
  const int32_t w = Width(), h = Height();
  TAccessGuard readOnly(*this, raRead);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = Scanline(y);
    if (!row) continue;
    for (int32_t x = 0; x < w; ++x, row += 3)
      if (row[0] != row[1] || row[1] != row[2]) return false;
  }
  return true;
}

void TVLBitmap::RecheckAllMax() {
  const int32_t h = Height(), rowBytes = RowBytes();
  TAccessGuard readOnly(*this, raRead);
  bool all = h > 0 && rowBytes > 0;
  for (int32_t y = 0; y < h && all; ++y) {
    const uint8_t* row = Scanline(y);
    if (!row) {
      all = false;
      break;
    }
    for (int32_t i = 0; i < rowBytes; ++i)
      if (row[i] != 255) {
        all = false;
        break;
      }
  }
  FAllMax = all;
}

bool TVLBitmap::AllBytesZero() {
  const int32_t h = Height(), rowBytes = RowBytes();
  TAccessGuard readOnly(*this, raRead);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = Scanline(y);
    if (!row) continue;
    for (int32_t i = 0; i < rowBytes; ++i)
      if (row[i] != 0) return false;
  }
  return true;
}
