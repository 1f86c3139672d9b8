#include "imaging/model/pixel_conversions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

int32_t GrayWeightRed = 21;
int32_t GrayWeightGreen = 71;
int32_t GrayWeightBlue = 8;

void SetGrayWeights(int32_t Red, int32_t Green, int32_t Blue) {
  GrayWeightRed = Red;
  GrayWeightGreen = Green;
  GrayWeightBlue = Blue;
}

uint8_t Gray8(int32_t R, int32_t G, int32_t B) {
  // 64-bit sum so that odd weight settings cannot overflow; the result is kept in a byte.
  const int64_t v =
      (int64_t(R) * GrayWeightRed + int64_t(G) * GrayWeightGreen + int64_t(B) * GrayWeightBlue) /
      100;
  return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

const uint8_t kDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

uint32_t RGBToCMYK(uint32_t Color) {
  const uint32_t r = (Color >> 16) & 0xFF, g = (Color >> 8) & 0xFF, b = Color & 0xFF;
  const uint32_t m = std::max({r, g, b});
  const uint32_t d = m == 0 ? 1 : m;  // black: no division by zero, all channels full ink
  const uint32_t c = r * 255 / d, mm = g * 255 / d, y = b * 255 / d;
  return c | (mm << 8) | (y << 16) | (m << 24);
}

uint32_t CMYKToRGB(uint32_t Value) {
  const uint32_t c = Value & 0xFF, m = (Value >> 8) & 0xFF, y = (Value >> 16) & 0xFF,
                 k = Value >> 24;
  const uint32_t r = c * k / 255, g = m * k / 255, b = y * k / 255;
  return b | (g << 8) | (r << 16);
}

namespace {

double Linearise(double c) {
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Linearised values of the 256 byte levels, computed once.
const double* LinearTable() {
  static const auto table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = Linearise(i / 255.0);
    return t;
  }();
  return table.data();
}

double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

double LabFInverse(double f) {
  const double f3 = f * f * f;
  return f3 > 0.008856 ? f3 : (f - 0.13793103448) / 7.787;
}

uint32_t Compand(double x) {
  const double v = x <= 0.0031308 ? x * 12.92 : 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
  const double n = std::nearbyint(v * 255.0);  // halves to even under the default mode
  if (!(n > 0)) return 0;
  return n >= 255 ? 255 : uint32_t(n);
}

uint8_t SignedByte(double v) {
  return uint8_t(int8_t(std::clamp(std::trunc(v), -128.0, 127.0)));
}

}  // namespace

uint32_t RGBToLab(uint32_t Color) {
  const double* lin = LinearTable();
  const double r = lin[(Color >> 16) & 0xFF];
  const double g = lin[(Color >> 8) & 0xFF];
  const double b = lin[Color & 0xFF];
  const double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  const double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  const double l = y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * y;
  const double lByte = std::clamp(std::trunc(l * 2.5), 0.0, 255.0);
  return uint32_t(lByte) | (uint32_t(SignedByte(500.0 * (fx - fy))) << 8) |
         (uint32_t(SignedByte(200.0 * (fy - fz))) << 16);
}

uint32_t LabToRGB(uint32_t Value) {
  const double l = (Value & 0xFF) * 0.39215686275;
  const double a = int8_t(uint8_t(Value >> 8));
  const double bb = int8_t(uint8_t(Value >> 16));
  const double fy = (l + 16.0) / 116.0;
  const double fx = fy + a / 500.0;
  const double fz = fy - bb / 200.0;
  const double x = LabFInverse(fx) * 0.95047;
  const double y = LabFInverse(fy);
  const double z = LabFInverse(fz) * 1.08883;
  const double r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
  const double g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
  const double b = 0.0557 * x - 0.204 * y + 1.057 * z;
  return Compand(b) | (Compand(g) << 8) | (Compand(r) << 16);
}

// ---- Row conversion -------------------------------------------------------------------------

void DefaultConvertSampleRow(const void* Source, int SourceLayout, void* Dest,
                             const TIOParamsVals* /*Params*/, int Count, int DestLayout) {
  if (!Source || !Dest || Count <= 0) return;
  const uint8_t* s = static_cast<const uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  const size_t n = size_t(Count);

  auto putRGB = [](uint8_t* p, uint32_t packed) {
    p[0] = uint8_t(packed);
    p[1] = uint8_t(packed >> 8);
    p[2] = uint8_t(packed >> 16);
  };
  auto packed3 = [](const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  };

  if (SourceLayout == slTRGB) {
    switch (DestLayout) {
      case slTRGB:
        std::memmove(d, s, n * 3);
        return;
      case slCMYK:
        for (size_t i = 0; i < n; ++i) {
          const uint32_t v = RGBToCMYK(packed3(s + i * 3));
          d[i * 4] = uint8_t(v);
          d[i * 4 + 1] = uint8_t(v >> 8);
          d[i * 4 + 2] = uint8_t(v >> 16);
          d[i * 4 + 3] = uint8_t(v >> 24);
        }
        return;
      case slLab:
        for (size_t i = 0; i < n; ++i) putRGB(d + i * 3, RGBToLab(packed3(s + i * 3)));
        return;
      case slGray8:
        for (size_t i = 0; i < n; ++i) d[i] = Gray8(s[i * 3 + 2], s[i * 3 + 1], s[i * 3]);
        return;
      default:
        return;
    }
  }
  if (DestLayout != slTRGB) return;
  switch (SourceLayout) {
    case slRGB:
      for (size_t i = 0; i < n; ++i) {
        const uint8_t r = s[i * 3], g = s[i * 3 + 1], b = s[i * 3 + 2];
        d[i * 3] = b;
        d[i * 3 + 1] = g;
        d[i * 3 + 2] = r;
      }
      return;
    case slCMYK:
    case slPlainCMYK: {
      // Plain CMYK (0 = no ink) is inverted on the fly; the caller's row stays as it was.
      const uint8_t flip = SourceLayout == slPlainCMYK ? 0xFF : 0x00;
      for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = s + i * 4;
        const uint32_t v = uint32_t(p[0] ^ flip) | (uint32_t(p[1] ^ flip) << 8) |
                           (uint32_t(p[2] ^ flip) << 16) | (uint32_t(p[3] ^ flip) << 24);
        putRGB(d + i * 3, CMYKToRGB(v));
      }
      return;
    }
    case slLab:
      for (size_t i = 0; i < n; ++i) putRGB(d + i * 3, LabToRGB(packed3(s + i * 3)));
      return;
    case slRGB48High:
    case slRGB48Low: {
      // Words red, green, blue, little-endian: byte 1 of a word is its high byte.
      const size_t o = SourceLayout == slRGB48High ? 1 : 0;
      for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = s + i * 6;
        const uint8_t r = p[o], g = p[2 + o], b = p[4 + o];
        d[i * 3] = b;
        d[i * 3 + 1] = g;
        d[i * 3 + 2] = r;
      }
      return;
    }
    default:
      return;
  }
}

TConvertSampleRowProc ConvertSampleRow = DefaultConvertSampleRow;
