// The row renderers of every pixel format: each destination pixel of the range takes the
// source pixel the tables name, turned into a displayed colour, adjusted, combined with the
// target by the blend operation and written or blended by the opacity and alpha.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/model/bitmap.h"
#include "imaging/model/pixel_conversions.h"
#include "imaging/view/display_render.h"

namespace {

uint8_t Clamp8(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Float to a display byte: NaN counts as 0, everything is kept inside 0..255.
uint8_t FloatTo8(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return uint8_t(v);
}

// Contrast factor in 16.16 fixed point.
int64_t ContrastFactor(int32_t contrast) {
  if (contrast >= 0) return int64_t((1.0 + double(contrast) / 10.0) * 65536.0);
  return int64_t((1.0 - std::sqrt(-double(contrast)) / 10.0) * 65536.0);
}

struct TAdjust {
  bool On = false;
  int64_t K = 65536;
  int32_t R = 0, G = 0, B = 0;

  explicit TAdjust(TVLBitmap& s, int32_t operation) {
    On = s.DisplayOffsetsOn || s.DisplayContrast != 0 || operation != 0;
    K = ContrastFactor(s.DisplayContrast);
    if (s.DisplayOffsetsOn) {
      R = s.DisplayOffsetRed;
      G = s.DisplayOffsetGreen;
      B = s.DisplayOffsetBlue;
    }
  }
  uint8_t Channel(int32_t v, int32_t offset) const {
    return Clamp8((int64_t(v) + offset - 128) * K / 65536 + 128);
  }
  TRGB Apply(TRGB c) const {
    if (!On) return c;
    return TRGB{Channel(c.b, B), Channel(c.g, G), Channel(c.r, R)};
  }
};

// Combines a displayed pixel with the target pixel by the blend operation.
TRGB Combine(int32_t op, TRGB s, const uint8_t* d) {
  switch (op) {
    case 0:
      return s;
    case 31:
      return TRGB{d[0], d[1], s.r};
    case 32:
      return TRGB{d[0], s.g, d[2]};
    case 33:
      return TRGB{s.b, d[1], d[2]};
    default:
      return TRGB{VLBlendChannel(op, s.b, d[0]), VLBlendChannel(op, s.g, d[1]),
                  VLBlendChannel(op, s.r, d[2])};
  }
}

// The per-format part: how one source pixel becomes a displayed colour. Prepare is called once
// per call, Pixel once per destination pixel with the source row and column.
struct TFormat24 {
  void Prepare(TVLBitmap&) {}
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t* p = row + size_t(x) * 3;
    return TRGB{p[0], p[1], p[2]};
  }
};

struct TFormat1 {
  void Prepare(TVLBitmap&) {}
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    return TRGB{v, v, v};
  }
};

// The gray stretch of a display range: Trunc((min(max(v, lo), hi) - lo) / (max - min) x 255).
struct TRange {
  bool On = false;
  double Min = 0, Max = 0, Lo = 0, Hi = 0;
  void Prepare(TVLBitmap& s) {
    On = s.DisplayRangeMax != s.DisplayRangeMin;
    Min = s.DisplayRangeMin;
    Max = s.DisplayRangeMax;
    Lo = std::trunc(Min);
    Hi = std::trunc(Max);
  }
  uint8_t Stretch(double v) const {
    return FloatTo8((std::min(std::max(v, Lo), Hi) - Lo) / (Max - Min) * 255.0);
  }
};

struct TFormat8g : TRange {
  uint8_t Lut[256];
  void Prepare(TVLBitmap& s) {
    TRange::Prepare(s);
    for (int v = 0; v < 256; ++v) Lut[v] = On ? Stretch(v) : uint8_t(v);
  }
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t v = Lut[row[x]];
    return TRGB{v, v, v};
  }
};

struct TFormat16g : TRange {
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint16_t w = uint16_t(row[2 * x] | (row[2 * x + 1] << 8));
    const uint8_t v = On ? Stretch(w) : uint8_t(w >> 8);
    return TRGB{v, v, v};
  }
};

struct TFormat32f {
  bool On = false;
  double Min = 0, Max = 0;
  void Prepare(TVLBitmap& s) {
    On = s.DisplayRangeMax != s.DisplayRangeMin;
    Min = s.DisplayRangeMin;
    Max = s.DisplayRangeMax;
  }
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    float f;
    std::memcpy(&f, row + size_t(x) * 4, 4);
    double v = f;
    uint8_t g;
    if (On) {
      if (!(v == v)) v = Min;
      v = std::clamp(v, std::min(Min, Max), std::max(Min, Max));
      g = FloatTo8((v - Min) / (Max - Min) * 255.0);
    } else {
      g = FloatTo8(v * 255.0);
    }
    return TRGB{g, g, g};
  }
};

struct TFormat8p {
  TRGB Palette[256];
  void Prepare(TVLBitmap& s) {
    for (int i = 0; i < 256; ++i) Palette[i] = s.Palette(i);
  }
  TRGB Pixel(const uint8_t* row, int32_t x) const { return Palette[row[x]]; }
};

struct TFormatCMYK {
  void Prepare(TVLBitmap&) {}
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t* p = row + size_t(x) * 4;
    return UnpackRGB(CMYKToRGB(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                               (uint32_t(p[3]) << 24)));
  }
};

struct TFormatLab {
  void Prepare(TVLBitmap&) {}
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t* p = row + size_t(x) * 3;
    return UnpackRGB(LabToRGB(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16)));
  }
};

// vlRGB48: the display adjustments work on the 16-bit values around 32768 (offsets count in
// 8-bit steps) before the high byte is taken.
struct TFormat48 {
  bool On = false;
  int64_t K = 65536;
  int32_t R = 0, G = 0, B = 0;
  void Prepare(TVLBitmap& s) {
    On = s.DisplayOffsetsOn || s.DisplayContrast != 0;
    K = ContrastFactor(s.DisplayContrast);
    if (s.DisplayOffsetsOn) {
      R = s.DisplayOffsetRed * 256;
      G = s.DisplayOffsetGreen * 256;
      B = s.DisplayOffsetBlue * 256;
    }
  }
  uint8_t Channel(const uint8_t* p, int32_t offset) const {
    int64_t v = p[0] | (p[1] << 8);
    if (On) v = std::clamp<int64_t>((v + offset - 32768) * K / 65536 + 32768, 0, 65535);
    return uint8_t(v >> 8);
  }
  TRGB Pixel(const uint8_t* row, int32_t x) const {
    const uint8_t* p = row + size_t(x) * 6;
    return TRGB{Channel(p + 4, B), Channel(p + 2, G), Channel(p, R)};
  }
};

template <class TFormat>
void RenderGeneric(TVLBitmap& Source, const TVLRowRenderParams& P, bool blend, bool useOp,
                   bool adjustable) {
  TFormat fmt;
  fmt.Prepare(Source);
  TAdjust adjust(Source, useOp ? P.Operation : 0);
  if (!adjustable) {
    // The format adjusted its own pixels; only the operation remains.
    adjust.K = 65536;
    adjust.R = adjust.G = adjust.B = 0;
    adjust.On = useOp && P.Operation != 0;
  }
  const int32_t op = useOp ? P.Operation : 0;
  const bool plain = !adjust.On && !blend;
  TVLBitmap* alpha =
      (blend && P.UseAlpha && Source.HasAlphaLayer()) ? Source.AlphaLayer() : nullptr;
  const size_t rowLength = size_t(P.Target ? P.Target->Width() : 0) * 3;
  int32_t previous = -1;
  for (int32_t y = P.FirstRow; y <= P.LastRow; ++y) {
    const int32_t sy = P.YTable[y - P.FirstRow];
    uint8_t* d = P.Rows[y];
    if (!d) continue;
    // Over a solid background a repeated source row is the previous target row again.
    if (P.SolidUnder && !blend && y > P.FirstRow && sy == previous && P.Rows[y - 1]) {
      std::memmove(d, P.Rows[y - 1], rowLength);
      continue;
    }
    previous = sy;
    const uint8_t* s = Source.Scanline(sy);
    if (!s) continue;
    const uint8_t* a = alpha ? alpha->Scanline(sy) : nullptr;
    for (int32_t x = P.FirstCol; x <= P.LastCol; ++x) {
      const int32_t sx = P.XTable[x - P.FirstCol];
      uint8_t* t = d + size_t(x) * 3;
      TRGB c = fmt.Pixel(s, sx);
      if (!plain) {
        c = adjust.Apply(c);
        if (op != 0) c = Combine(op, c, t);
      }
      if (!blend) {
        t[0] = c.b;
        t[1] = c.g;
        t[2] = c.r;
        continue;
      }
      int32_t k = P.OpacityRow ? P.OpacityRow[sx] : P.Opacity;
      if (a) k = std::min<int32_t>(P.Opacity, a[sx]);
      k = std::clamp(k, 0, 255);
      t[0] = uint8_t(t[0] + (((int32_t(c.b) - t[0]) * k * 1024) >> 18));
      t[1] = uint8_t(t[1] + (((int32_t(c.g) - t[1]) * k * 1024) >> 18));
      t[2] = uint8_t(t[2] + (((int32_t(c.r) - t[2]) * k * 1024) >> 18));
    }
  }
}

void Render24(TVLBitmap& S, const TVLRowRenderParams& P) {
  TAdjust adjust(S, P.Operation);
  if (!adjust.On && P.StepX == 16384 && P.StepY == 16384) {
    // 1:1: whole runs of bytes.
    const int32_t sw = S.Width();
    const int32_t sx = P.FirstCol - P.DstX + P.SrcX;
    const int32_t count = std::min(P.LastCol - P.FirstCol + 1, sw - sx);
    if (sx < 0 || count <= 0) return;
    for (int32_t y = P.FirstRow; y <= P.LastRow; ++y) {
      const uint8_t* s = S.Scanline(y - P.DstY + P.SrcY);
      uint8_t* d = P.Rows[y];
      if (s && d) std::memcpy(d + size_t(P.FirstCol) * 3, s + size_t(sx) * 3, size_t(count) * 3);
    }
    return;
  }
  RenderGeneric<TFormat24>(S, P, false, true, true);
}

#define VL_PAIR(Name, Fmt, Op)                                   \
  void Render##Name(TVLBitmap& S, const TVLRowRenderParams& P) { \
    RenderGeneric<Fmt>(S, P, false, Op, true);                   \
  }                                                              \
  void Blend##Name(TVLBitmap& S, const TVLRowRenderParams& P) {  \
    RenderGeneric<Fmt>(S, P, true, Op, true);                    \
  }

void Blend24(TVLBitmap& S, const TVLRowRenderParams& P) {
  RenderGeneric<TFormat24>(S, P, true, true, true);
}
VL_PAIR(1g, TFormat1, false)
VL_PAIR(8g, TFormat8g, false)
VL_PAIR(8p, TFormat8p, false)
VL_PAIR(16g, TFormat16g, false)
VL_PAIR(32f, TFormat32f, false)
VL_PAIR(CMYK, TFormatCMYK, false)
VL_PAIR(Lab, TFormatLab, false)

// vlRGB48 takes its adjustments in 16 bits (TFormat48) and the operation afterwards.
template <bool Blend>
void Pair48(TVLBitmap& S, const TVLRowRenderParams& P) {
  RenderGeneric<TFormat48>(S, P, Blend, true, false);
}

const TVLRowRenderTable kTable = [] {
  TVLRowRenderTable t;
  t.Render[vl24RGB] = Render24;
  t.Blend[vl24RGB] = Blend24;
  t.Render[vl1g] = Render1g;
  t.Blend[vl1g] = Blend1g;
  t.Render[vl8g] = Render8g;
  t.Blend[vl8g] = Blend8g;
  t.Render[vl8p] = Render8p;
  t.Blend[vl8p] = Blend8p;
  t.Render[vl16g] = Render16g;
  t.Blend[vl16g] = Blend16g;
  t.Render[vl32f] = Render32f;
  t.Blend[vl32f] = Blend32f;
  t.Render[vlCMYK] = RenderCMYK;
  t.Blend[vlCMYK] = BlendCMYK;
  t.Render[vlCIELab] = RenderLab;
  t.Blend[vlCIELab] = BlendLab;
  t.Render[vlRGB48] = Pair48<false>;
  t.Blend[vlRGB48] = Pair48<true>;
  return t;
}();

}  // namespace

void InstallVLRowRenderers() {
  if (VLRowRenderTable() != &kTable) SetVLRowRenderTable(&kTable);
}

uint8_t VLBlendChannel(int32_t Operation, int32_t s, int32_t d) {
  switch (Operation) {
    case 1:
      return Clamp8(d + s);
    case 2:
      return uint8_t(std::abs(d - s));
    case 3:
      return Clamp8(d / std::max(s, 1));
    case 4:
      return uint8_t((s * d) >> 8);
    case 5:
      return uint8_t(d | s);
    case 6:
      return uint8_t(d & s);
    case 7:
      return uint8_t(d ^ s);
    case 8:
      return uint8_t(std::max(d, s));
    case 9:
      return uint8_t(std::min(d, s));
    case 10:
      return uint8_t((d + s) >> 1);
    case 11:
      return uint8_t(255 - (((255 - d) * (255 - s)) >> 8));
    case 28:
      return uint8_t(std::max(d + s - 256, 0));
    default:
      return uint8_t(s);
  }
}
