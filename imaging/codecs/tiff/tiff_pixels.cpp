// Pixel-format decision and row conversion of the TIFF reader.

#include "imaging/codecs/tiff/tiff_pixels.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/tiff/tiff_tags.h"
#include "imaging/model/mask.h"
#include "imaging/model/pixel_conversions.h"

namespace {

enum TKind {
  ckNone = 0,
  ckBilevel,     // packed bits copied
  ckCopy8,       // one byte per pixel copied (vl8g, vl8p)
  ckGray8,       // gray (or inverted gray) into three bytes
  ckGray16,      // 16-bit gray into vl16g
  ckGray16To24,  // 16-bit gray shifted into three bytes
  ckRgb555,      // 5-5-5 colour in one 16-bit sample
  ckRgb8,        // red, green, blue (and more) samples
  ckRgb16To48,   // three 16-bit samples into vlRGB48
  ckRgb16To24,   // 16-bit samples through their high bytes
  ckPalette,     // palette index (and alpha) into three bytes
  ckCmyk,        // C, M, Y, K into vlCMYK (inverted)
  ckCmykTo24,    // C, M, Y, K through the conversion hook
  ckLab,         // CIELab through the conversion hook
};

bool IsGray(int32_t p) { return p == 0 || p == 1; }

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word swap below assumes it");

// Red, green, blue samples (Step bytes per pixel) into the bitmap's blue, green, red order.
// All pixels but the last move as one 32-bit word each: the word's fourth byte lies inside
// the row (the next pixel's first byte) and is overwritten by that pixel in turn.
void SwapRgb(const uint8_t* S, uint8_t* D, size_t N, size_t Step) {
  if (N == 0) return;
  for (size_t i = 0; i + 1 < N; ++i) {
    uint32_t v;
    std::memcpy(&v, S + i * Step, 4);
    v = __builtin_bswap32(v) >> 8;  // little-endian r g b x -> b g r 0
    std::memcpy(D + i * 3, &v, 4);
  }
  const uint8_t* s = S + (N - 1) * Step;
  uint8_t* d = D + (N - 1) * 3;
  d[0] = s[2];
  d[1] = s[1];
  d[2] = s[0];
}

}  // namespace

TVLPixelFormat TiffTargetFormat(const TTiffVars& V, bool KeepNative) {
  const int32_t b = V.BitsPerSample, s = V.SamplesPerPixel, p = V.Photometric;
  if (V.Compression == 7) return vl24RGB;
  if (b == 1 && s == 1 && p != 3) return vl1g;
  if (!KeepNative) return vl24RGB;
  if (b == 8 && s == 1 && p == 3) return vl8p;
  if (b == 8 && s == 1 && p == 1) return vl8g;
  if (b == 16 && s == 1 && p == 1) return vl16g;
  if (p == 5 && ((b == 8 && s > 3) || (b == 16 && s == 4))) return vlCMYK;
  if (b == 16 && s == 3 && p == 2) return vlRGB48;
  return vl24RGB;
}

bool TiffHasAlpha(const TTiffVars& V) {
  return (V.SamplesPerPixel == 4 && V.ExtraSamples == 2) ||
         (V.SamplesPerPixel == 2 && V.BitsPerSample == 8) ||
         (V.SamplesPerPixel == 4 && V.Photometric == 2);
}

TTiffRowConverter::TTiffRowConverter(const TTiffVars& V, TVLPixelFormat Target, TVLMask* Alpha,
                                     const TIOParamsVals* Params)
    : FSamples(V.SamplesPerPixel), FLittleEndian(V.LittleEndian), FAlpha(Alpha),
      FParams(Params) {
  const int32_t b = V.BitsPerSample, s = V.SamplesPerPixel, p = V.Photometric;
  FInvert = p == 0;
  FWide = b == 16;
  FShift16 = V.Software.rfind("Look@Molli v1.1", 0) == 0 ? 4 : 8;
  if (Target == vl1g) {
    FKind = ckBilevel;
  } else if (Target == vl8g || Target == vl8p) {
    FKind = ckCopy8;
  } else if (Target == vl16g) {
    FKind = ckGray16;
  } else if (Target == vlRGB48) {
    FKind = ckRgb16To48;
  } else if (Target == vlCMYK) {
    FKind = ckCmyk;
  } else if (IsGray(p) && s == 1 && (b == 4 || b == 8)) {
    FKind = ckGray8;
  } else if (IsGray(p) && s == 2 && b == 8) {
    FKind = ckGray8;
    FAlphaSample = 1;
  } else if (IsGray(p) && s == 1 && b == 16) {
    FKind = ckGray16To24;
  } else if (p == 2 && s == 1 && b == 16) {
    FKind = ckRgb555;
  } else if (p == 2 && (s == 3 || s == 4) && b == 8) {
    FKind = ckRgb8;
    if (s == 4) FAlphaSample = 3;
  } else if (p == 2 && (s == 3 || s == 4) && b == 16) {
    FKind = ckRgb16To24;
  } else if (p == 3 && s == 1 && b >= 1 && b <= 8) {
    FKind = ckPalette;
  } else if (p == 3 && s == 2 && b == 8) {
    FKind = ckPalette;
    FAlphaSample = 1;
  } else if (p == 5 && ((b == 8 && s >= 4) || (b == 16 && s == 4))) {
    FKind = ckCmykTo24;
  } else if (p == 8 && s == 3 && b == 8) {
    FKind = ckLab;
  }
  if (FKind == ckPalette) {
    FPalette.assign(256 * 3, 0);  // indices past the colour map are black
    for (size_t i = 0; i < V.ColorMap.size() && i < 256; ++i) {
      FPalette[i * 3] = V.ColorMap[i].b;
      FPalette[i * 3 + 1] = V.ColorMap[i].g;
      FPalette[i * 3 + 2] = V.ColorMap[i].r;
    }
  }
}

size_t TTiffRowConverter::InputBytes(int32_t Width) const {
  const size_t w = size_t(std::max(Width, 0));
  if (FKind == ckBilevel) return (w + 7) / 8;
  const bool wide = FKind == ckGray16 || FKind == ckGray16To24 || FKind == ckRgb555 ||
                    FKind == ckRgb16To48 || FKind == ckRgb16To24 ||
                    ((FKind == ckCmyk || FKind == ckCmykTo24) && FWide);
  return w * size_t(FSamples) * (wide ? 2 : 1);
}

void TTiffRowConverter::Convert(const uint8_t* Src, uint8_t* D, int32_t Width, int32_t X0,
                                int32_t Y) {
  const size_t w = size_t(std::max(Width, 0));
  const size_t s = size_t(FSamples);
  const size_t hi = FLittleEndian ? 1 : 0, lo = 1 - hi;
  // 16-bit sample j of pixel i, in machine order.
  auto w16 = [&](size_t i, size_t j) {
    const uint8_t* q = Src + 2 * (i * s + j);
    return unsigned((q[hi] << 8) | q[lo]);
  };
  switch (FKind) {
    case ckBilevel:
      std::memcpy(D, Src, (w + 7) / 8);
      break;
    case ckCopy8:
      if (s == 1) std::memcpy(D, Src, w);
      else for (size_t i = 0; i < w; ++i) D[i] = Src[i * s];
      break;
    case ckGray8:
      for (size_t i = 0; i < w; ++i) {
        const uint8_t g = FInvert ? uint8_t(255 - Src[i * s]) : Src[i * s];
        D[3 * i] = D[3 * i + 1] = D[3 * i + 2] = g;
      }
      break;
    case ckGray16:
      for (size_t i = 0; i < w; ++i) {
        const unsigned v = w16(i, 0);
        D[2 * i] = uint8_t(v);
        D[2 * i + 1] = uint8_t(v >> 8);
      }
      break;
    case ckGray16To24:
      for (size_t i = 0; i < w; ++i) {
        const unsigned v = FInvert ? 65535 - w16(i, 0) : w16(i, 0);
        D[3 * i] = D[3 * i + 1] = D[3 * i + 2] = uint8_t(v >> FShift16);
      }
      break;
    case ckRgb555:
      for (size_t i = 0; i < w; ++i) {
        const unsigned v = w16(i, 0);
        D[3 * i] = uint8_t((v & 31) * 8);
        D[3 * i + 1] = uint8_t(((v >> 5) & 31) * 8);
        D[3 * i + 2] = uint8_t(((v >> 10) & 31) * 8);
      }
      break;
    case ckRgb8:
      // A replaced conversion hook gets the row; the built-in one is done here, faster.
      if (s == 3 && ConvertSampleRow != &DefaultConvertSampleRow)
        ConvertSampleRow(Src, slRGB, D, FParams, int(w), slTRGB);
      else
        SwapRgb(Src, D, w, s);
      break;
    case ckRgb16To48:
      for (size_t i = 0; i < w; ++i)
        for (size_t j = 0; j < 3; ++j) {
          const unsigned v = w16(i, j);
          D[6 * i + 2 * j] = uint8_t(v);
          D[6 * i + 2 * j + 1] = uint8_t(v >> 8);
        }
      break;
    case ckRgb16To24:
      FScratch.resize(w * 6);
      for (size_t i = 0; i < w; ++i)
        for (size_t j = 0; j < 3; ++j) {
          const unsigned v = w16(i, j);
          FScratch[6 * i + 2 * j] = uint8_t(v);
          FScratch[6 * i + 2 * j + 1] = uint8_t(v >> 8);
        }
      ConvertSampleRow(FScratch.data(), slRGB48High, D, FParams, int(w), slTRGB);
      break;
    case ckPalette:
      for (size_t i = 0; i < w; ++i) std::memcpy(D + 3 * i, &FPalette[3 * Src[i * s]], 3);
      break;
    case ckCmyk:
    case ckCmykTo24: {
      // 16-bit samples give their high bytes; samples beyond the fourth are skipped.
      FScratch.resize(w * 4);
      for (size_t i = 0; i < w; ++i)
        for (size_t j = 0; j < 4; ++j)
          FScratch[4 * i + j] = FWide ? uint8_t(w16(i, j) >> 8) : Src[i * s + j];
      if (FKind == ckCmyk) {
        for (size_t i = 0; i < 4 * w; ++i) D[i] = uint8_t(255 - FScratch[i]);
      } else {
        ConvertSampleRow(FScratch.data(), slPlainCMYK, D, FParams, int(w), slTRGB);
      }
      break;
    }
    case ckLab:
      ConvertSampleRow(Src, slLab, D, FParams, int(w), slTRGB);
      break;
    default:
      break;
  }
  if (WritesAlpha() && Y >= 0 && Y < FAlpha->Height()) {
    uint8_t* a = FAlpha->Scanline(Y);
    const int64_t end = std::min<int64_t>(int64_t(X0) + int64_t(w), FAlpha->Width());
    for (int64_t x = std::max<int64_t>(X0, 0); x < end; ++x)
      a[x] = Src[size_t(x - X0) * s + size_t(FAlphaSample)];
  }
}
