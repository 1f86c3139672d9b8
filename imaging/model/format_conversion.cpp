// ConvertFormat: turns the pixels of one TVLBitmap into another pixel format, row by row.
// Rows of file-backed bitmaps stay valid only until the next Scanline call on the same bitmap,
// so every source row is copied into a local buffer before the destination row is fetched.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/bitmap_internal.h"
#include "imaging/model/pixel_conversions.h"
#include "imaging/model/quantizer.h"

namespace {

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline float GetFloat(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
inline void PutFloat(uint8_t* p, double v) {
  // Gray floats live in 0.0..1.0; rounding of the weighted sums must not leave that range.
  const float f = float(std::clamp(v, 0.0, 1.0));
  std::memcpy(p, &f, 4);
}
inline bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// trunc(v x Scale) kept within 0..Scale; values outside 0..1 and NaN from a file are clamped.
inline uint32_t FloatLevel(float v, uint32_t Scale) {
  const double d = double(v) * Scale;
  if (!(d > 0)) return 0;
  return d >= Scale ? Scale : uint32_t(d);
}

inline uint32_t Wide16(TRGB c) {  // R x 54484 + G x 183241 + B x 19275, div 1000
  return (uint32_t(c.r) * 54484u + uint32_t(c.g) * 183241u + uint32_t(c.b) * 19275u) / 1000u;
}
inline double WeightedFloat(TRGB c) {
  return (c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722) / 255.0;
}

struct TSourceRow {
  TVLBitmap& Bitmap;
  TVLPixelFormat Format;
  std::vector<uint8_t> Bytes;
  TRGB Palette[256];

  explicit TSourceRow(TVLBitmap& B) : Bitmap(B), Format(B.PixelFormat()) {
    Bytes.resize(size_t(std::max(B.RowBytes(), 0)));
    if (Format == vl8p)
      for (int i = 0; i < 256; ++i) Palette[i] = B.Palette(i);
  }
  const uint8_t* Load(int32_t y) {
    if (const uint8_t* p = Bitmap.Scanline(y)) std::memcpy(Bytes.data(), p, Bytes.size());
    return Bytes.data();
  }
};

// The 0..255 level of pixel x for the black-and-white rule and for vl8g destinations: the
// value of gray sources, gray8 of colour sources.
uint8_t Level8(const TSourceRow& S, const uint8_t* row, int32_t x) {
  switch (S.Format) {
    case vl1g: return Bit(row, x) ? 255 : 0;
    case vl8p: return Gray8(S.Palette[row[x]]);
    case vl8g: return row[x];
    case vl16g: return uint8_t(Get16(row + 2 * x) >> 8);
    case vl24RGB: return Gray8(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case vl32f: return uint8_t(FloatLevel(GetFloat(row + 4 * x), 255));
    case vlRGB48: return Gray8(row[6 * x + 1], row[6 * x + 3], row[6 * x + 5]);
    default: return 0;
  }
}

// The 0..65535 level for vl16g destinations.
uint32_t Level16(const TSourceRow& S, const uint8_t* row, int32_t x) {
  switch (S.Format) {
    case vl1g: return Bit(row, x) ? 65535 : 0;
    case vl8p: return Wide16(S.Palette[row[x]]);
    case vl8g: return row[x] * 257u;
    case vl24RGB: return Wide16(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    case vl32f: return FloatLevel(GetFloat(row + 4 * x), 65535);
    case vlRGB48: {
      const uint8_t* p = row + 6 * x;
      return (Get16(p) * 212u + Get16(p + 2) * 713u + Get16(p + 4) * 75u) / 1000u;
    }
    default: return 0;
  }
}

double LevelFloat(const TSourceRow& S, const uint8_t* row, int32_t x) {
  switch (S.Format) {
    case vl1g: return Bit(row, x) ? 1.0 : 0.0;
    case vl8p: return WeightedFloat(S.Palette[row[x]]);
    case vl8g: return row[x] / 255.0;
    case vl16g: return Get16(row + 2 * x) / 65535.0;
    case vl24RGB: return WeightedFloat(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    case vlRGB48: {
      const uint8_t* p = row + 6 * x;
      return (Get16(p) * 0.2126 / 256 + Get16(p + 2) * 0.7152 / 256 + Get16(p + 4) * 0.0722 / 256) /
             255.0;
    }
    default: return 0;
  }
}

// Words red, green, blue for vlRGB48 destinations.
void Level48(const TSourceRow& S, const uint8_t* row, int32_t x, uint32_t out[3]) {
  switch (S.Format) {
    case vl1g: out[0] = out[1] = out[2] = Bit(row, x) ? 65535 : 0; return;
    case vl8p: {
      const TRGB c = S.Palette[row[x]];
      out[0] = c.r * 257u, out[1] = c.g * 257u, out[2] = c.b * 257u;
      return;
    }
    case vl8g: out[0] = out[1] = out[2] = row[x] * 257u; return;
    case vl16g: out[0] = out[1] = out[2] = Get16(row + 2 * x); return;
    case vl24RGB:
      out[0] = row[3 * x + 2] * 257u, out[1] = row[3 * x + 1] * 257u, out[2] = row[3 * x] * 257u;
      return;
    case vl32f: out[0] = out[1] = out[2] = FloatLevel(GetFloat(row + 4 * x), 65535); return;
    default: out[0] = out[1] = out[2] = 0; return;
  }
}

// Pixel x of a source row read as a colour (the PixelAsRGB rules).
TRGB AsRGB(const TSourceRow& S, const uint8_t* row, int32_t x) {
  switch (S.Format) {
    case vl1g: { const uint8_t v = Bit(row, x) ? 255 : 0; return TRGB{v, v, v}; }
    case vl8p: return S.Palette[row[x]];
    case vl8g: return TRGB{row[x], row[x], row[x]};
    case vl16g: { const uint8_t v = row[2 * x + 1]; return TRGB{v, v, v}; }
    case vl24RGB: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case vl32f: { const uint8_t v = uint8_t(FloatLevel(GetFloat(row + 4 * x), 255)); return TRGB{v, v, v}; }
    case vlCMYK: {
      const uint8_t* p = row + 4 * x;
      return UnpackRGB(CMYKToRGB(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                 (uint32_t(p[3]) << 24)));
    }
    case vlRGB48: { const uint8_t* p = row + 6 * x; return TRGB{p[5], p[3], p[1]}; }
    case vlCIELab: {
      const uint8_t* p = row + 3 * x;
      return UnpackRGB(LabToRGB(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16)));
    }
    default: return TRGB{};
  }
}

void ToMono(TVLBitmap& Dest, TSourceRow& S, int32_t W, int32_t H) {
  const int32_t rowBytes = Dest.RowBytes();
  std::vector<uint8_t> out(size_t(std::max(rowBytes, 0)));
  int32_t threshold = 0;
  const bool dither = Dest.MonoMethod == 0;
  if (!dither) {
    // Threshold at gray8 of the image's mean colour.
    uint64_t sr = 0, sg = 0, sb = 0;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = S.Load(y);
      for (int32_t x = 0; x < W; ++x) {
        const TRGB c = AsRGB(S, row, x);
        sr += c.r, sg += c.g, sb += c.b;
      }
    }
    const uint64_t n = uint64_t(W) * uint64_t(H);
    threshold = Gray8(int32_t(sr / n), int32_t(sg / n), int32_t(sb / n));
  }
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = S.Load(y);
    std::fill(out.begin(), out.end(), 0);
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t g = Level8(S, row, x);
      const bool white = dither ? kDitherMatrix[x & 7][y & 7] < g / 4 : g >= threshold;
      if (white) out[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    if (uint8_t* d = Dest.Scanline(y)) std::memcpy(d, out.data(), out.size());
  }
}

void ToPalette(TVLBitmap& Dest, TSourceRow& S, int32_t W, int32_t H) {
  if (S.Format == vl24RGB) {
    TVLColorQuantizer q(S.Bitmap, std::clamp(Dest.PaletteColorCount, 1, 256));
    const std::vector<TRGB>& pal = q.Palette();
    for (int i = 0; i < 256; ++i) Dest.SetPalette(i, i < int(pal.size()) ? pal[size_t(i)] : TRGB{});
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = S.Load(y);
      uint8_t* d = Dest.Scanline(y);
      if (!d) continue;
      for (int32_t x = 0; x < W; ++x) d[x] = q.IndexOf(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    }
    return;
  }
  if (S.Format == vl1g) {
    Dest.SetPalette(0, TRGB{0, 0, 0});
    Dest.SetPalette(1, TRGB{255, 255, 255});
    for (int i = 2; i < 256; ++i) Dest.SetPalette(i, TRGB{});
  } else {
    for (int i = 0; i < 256; ++i) Dest.SetPalette(i, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
  }
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = S.Load(y);
    uint8_t* d = Dest.Scanline(y);
    if (!d) continue;
    for (int32_t x = 0; x < W; ++x)
      d[x] = S.Format == vl1g ? uint8_t(Bit(row, x)) : Level8(S, row, x);
  }
}

void Direct(TVLBitmap& Dest, TSourceRow& S, TVLPixelFormat df, int32_t W, int32_t H) {
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = S.Load(y);
    uint8_t* d = Dest.Scanline(y);
    if (!d) continue;
    for (int32_t x = 0; x < W; ++x) {
      switch (df) {
        case vl8g: d[x] = Level8(S, row, x); break;
        case vl16g: Put16(d + 2 * x, Level16(S, row, x)); break;
        case vl32f: PutFloat(d + 4 * x, LevelFloat(S, row, x)); break;
        case vl24RGB: {
          const TRGB c = AsRGB(S, row, x);
          d[3 * x] = c.b, d[3 * x + 1] = c.g, d[3 * x + 2] = c.r;
          break;
        }
        case vlRGB48: {
          uint32_t w[3];
          Level48(S, row, x, w);
          Put16(d + 6 * x, w[0]), Put16(d + 6 * x + 2, w[1]), Put16(d + 6 * x + 4, w[2]);
          break;
        }
        case vlCMYK: {  // from vl24RGB only
          const uint32_t v = RGBToCMYK(PackRGB(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}));
          d[4 * x] = uint8_t(v), d[4 * x + 1] = uint8_t(v >> 8);
          d[4 * x + 2] = uint8_t(v >> 16), d[4 * x + 3] = uint8_t(v >> 24);
          break;
        }
        case vlCIELab: {  // from vl24RGB only
          const uint32_t v = RGBToLab(PackRGB(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}));
          d[3 * x] = uint8_t(v), d[3 * x + 1] = uint8_t(v >> 8), d[3 * x + 2] = uint8_t(v >> 16);
          break;
        }
        default: break;
      }
    }
  }
}

// Pairs that go through vl24RGB: the source is switched to vl24RGB first.
bool NeedsRGBStep(TVLPixelFormat sf, TVLPixelFormat df, int monoMethod) {
  if (sf == vl24RGB) return false;
  if (df == vlCMYK || df == vlCIELab) return true;
  if (sf == vlCMYK || sf == vlCIELab) return df != vl24RGB;
  if (sf == vlRGB48) return df == vl8p || (df == vl1g && monoMethod != 0);
  return false;
}

}  // namespace

void ReadRowAsRGB(TVLBitmap& Bitmap, int32_t Y, TRGB* Out) {
  const int32_t w = Bitmap.Width();
  if (!Out || Y < 0 || Y >= Bitmap.Height()) return;
  TSourceRow s(Bitmap);
  const uint8_t* row = s.Load(Y);
  for (int32_t x = 0; x < w; ++x) Out[x] = AsRGB(s, row, x);
}

TVLColorQuantizer::TVLColorQuantizer(TVLBitmap& Image, int32_t Count) {
  Count = std::clamp(Count, 1, 256);
  switch (Image.PixelFormat()) {
    case vl8p: {
      FMethod = qmSourcePalette;
      const int32_t n = std::clamp(Image.PaletteColorCount, 1, 256);
      for (int32_t i = 0; i < n; ++i) FPalette.push_back(Image.Palette(i));
      return;
    }
    case vl1g:
    case vl8g:
    case vl16g:
    case vl32f:
      GrayRamp(Count);
      return;
    default: {
      TSourceRow s(Image);
      const int32_t w = Image.Width();
      Build(w, Image.Height(),
            [&s, w](int32_t y, TRGB* out) {
              const uint8_t* row = s.Load(y);
              for (int32_t x = 0; x < w; ++x) out[x] = AsRGB(s, row, x);
            },
            Count);
    }
  }
}

void ConvertFormat(TVLBitmap& Dest, TVLBitmap& Source) {
  if (&Dest == &Source || Dest.Location() == vlTBitmap) return;
  const int32_t w = Source.Width(), h = Source.Height();
  if (w <= 0 || h <= 0 || w != Dest.Width() || h != Dest.Height()) return;
  TVLPixelFormat sf = Source.PixelFormat();
  const TVLPixelFormat df = Dest.PixelFormat();
  if (sf == vlNull || df == vlNull || Source.IsEmpty() || Dest.IsEmpty()) return;

  if (sf != df && NeedsRGBStep(sf, df, Dest.MonoMethod)) {
    Source.SetPixelFormat(vl24RGB);
    sf = Source.PixelFormat();
    if (sf != vl24RGB || Source.Width() != w || Source.Height() != h) return;
  }

  vlbitmap_detail::TAccessGuard readOnly(Source, raRead);
  vlbitmap_detail::TAccessGuard writeOnly(Dest, raWrite);
  TSourceRow s(Source);
  if (sf == df) {
    // Same format: a plain copy (the format writer never asks for this, callers may).
    const size_t n = size_t(std::min(Source.RowBytes(), Dest.RowBytes()));
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = s.Load(y);
      if (uint8_t* d = Dest.Scanline(y)) std::memcpy(d, row, n);
    }
    if (df == vl8p)
      for (int i = 0; i < 256; ++i) Dest.SetPalette(i, s.Palette[i]);
  } else if (df == vl1g) {
    ToMono(Dest, s, w, h);
  } else if (df == vl8p) {
    ToPalette(Dest, s, w, h);
  } else {
    Direct(Dest, s, df, w, h);
  }
  Source.MoveAlphaLayerTo(Dest);
}

bool DistinctColors(TVLBitmap& Bitmap, size_t Limit, std::vector<TRGB>& Colors) {
  Colors.clear();
  std::vector<TRGB> row(size_t(Bitmap.Width()));
  for (int32_t y = 0; y < Bitmap.Height(); ++y) {
    ReadRowAsRGB(Bitmap, y, row.data());
    for (const TRGB c : row) {
      if (std::find(Colors.begin(), Colors.end(), c) != Colors.end()) continue;
      if (Colors.size() == Limit) return false;
      Colors.push_back(c);
    }
  }
  return true;
}
