// ConvertFormat and the PixelFormat writer over every pair of pixel formats, in memory and in
// file-backed bitmaps.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/pixel_conversions.h"

namespace {

const TVLPixelFormat kFormats[] = {vl1g,    vl8p,  vl8g,   vl16g,   vl24RGB,
                                   vl32f,   vlCMYK, vlRGB48, vlCIELab};

bool IsGray(TVLPixelFormat f) { return f == vl1g || f == vl8g || f == vl16g || f == vl32f; }

// Known pixels: black, white, a mid gray and (for colour formats) pure red and a dark teal.
std::vector<TRGB> Samples(TVLPixelFormat f) {
  if (f == vl1g) return {MakeRGB(0, 0, 0), MakeRGB(255, 255, 255)};
  std::vector<TRGB> s = {MakeRGB(0, 0, 0), MakeRGB(255, 255, 255), MakeRGB(128, 128, 128)};
  if (!IsGray(f)) s.insert(s.end(), {MakeRGB(255, 0, 0), MakeRGB(20, 90, 80)});
  return s;
}

void Put(TVLBitmap& b, TVLPixelFormat f, int x, TRGB c) {
  uint8_t* row = b.Scanline(0);
  switch (f) {
    case vl1g:
      if (c.r) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      break;
    case vl8p: b.SetPalette(x, c), b.Scanline(0)[x] = uint8_t(x); break;
    case vl8g: row[x] = c.r; break;
    case vl16g: row[2 * x] = c.r, row[2 * x + 1] = c.r; break;  // value x 257
    case vl24RGB: row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r; break;
    case vl32f: { const float v = c.r / 255.0f; std::memcpy(row + 4 * x, &v, 4); break; }
    case vlCMYK: { const uint32_t v = RGBToCMYK(PackRGB(c)); std::memcpy(row + 4 * x, &v, 4); break; }
    case vlRGB48:
      for (int k = 0; k < 3; ++k) {
        const uint8_t ch = k == 0 ? c.r : k == 1 ? c.g : c.b;
        row[6 * x + 2 * k] = ch, row[6 * x + 2 * k + 1] = ch;
      }
      break;
    case vlCIELab: {
      const uint32_t v = RGBToLab(PackRGB(c));
      row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(v >> 8), row[3 * x + 2] = uint8_t(v >> 16);
      break;
    }
    default: break;
  }
}

// A one-row image of the samples, in vlMemory or vlFile.
void Make(TVLBitmap& b, TVLPixelFormat f, TVLLocation where) {
  b.MemoryThreshold = where == vlFile ? 0 : int64_t(1) << 40;
  b.SetLocation(where);
  const std::vector<TRGB> s = Samples(f);
  b.Allocate(int32_t(s.size()), 1, f);
  for (size_t x = 0; x < s.size(); ++x) Put(b, f, int(x), s[x]);
}

std::vector<TRGB> Row(TVLBitmap& b) {
  std::vector<TRGB> out(size_t(b.Width()));
  ReadRowAsRGB(b, 0, out.data());
  return out;
}

struct TPair {
  TVLPixelFormat From, To;
  TVLLocation Where;
};

class ConvertFormatPairs : public ::testing::TestWithParam<TPair> {};

TEST_P(ConvertFormatPairs, KnownPixelsSurvive) {
  const TPair p = GetParam();
  TVLBitmap src;
  Make(src, p.From, p.Where);
  ASSERT_EQ(src.Location(), p.Where);
  const std::vector<TRGB> ref = Row(src);  // the source as colours

  for (int method : {0, 1}) {
    if (p.To != vl1g && method == 1) break;
    TVLBitmap work;
    Make(work, p.From, p.Where);
    work.MonoMethod = uint8_t(method);
    work.SetPixelFormat(p.To);
    ASSERT_EQ(work.PixelFormat(), p.To);
    const std::vector<TRGB> got = Row(work);
    ASSERT_EQ(got.size(), ref.size());
    for (size_t x = 0; x < ref.size(); ++x) {
      const TRGB r = ref[x], g = got[x];
      SCOPED_TRACE(::testing::Message() << "pixel " << x << " from " << p.From << " to " << p.To
                                        << " mono " << method);
      if (p.To == vl1g) {
        // Black and white stay black and white under both rules.
        if (r.r == 0 && r.g == 0 && r.b == 0) {
          EXPECT_EQ(g.r, 0);
        }
        if (r.r == 255 && r.g == 255 && r.b == 255) {
          EXPECT_EQ(g.r, 255);
        }
      } else if (IsGray(p.To)) {
        const int want = IsGray(p.From) ? r.r : Gray8(r);
        EXPECT_NEAR(g.r, want, 2);
      } else {
        const int tol = p.To == vlCIELab ? 7 : p.To == vlCMYK ? 1 : 0;
        EXPECT_NEAR(g.r, r.r, tol);
        EXPECT_NEAR(g.g, r.g, tol);
        EXPECT_NEAR(g.b, r.b, tol);
      }
    }
  }
}

std::vector<TPair> AllPairs() {
  std::vector<TPair> v;
  for (TVLLocation where : {vlMemory, vlFile})
    for (TVLPixelFormat a : kFormats)
      for (TVLPixelFormat b : kFormats)
        if (a != b) v.push_back({a, b, where});
  return v;
}

INSTANTIATE_TEST_SUITE_P(All, ConvertFormatPairs, ::testing::ValuesIn(AllPairs()),
                         [](const ::testing::TestParamInfo<TPair>& i) {
                           return std::to_string(i.param.From) + "_to_" +
                                  std::to_string(i.param.To) +
                                  (i.param.Where == vlFile ? "_file" : "_memory");
                         });

}  // namespace

TEST(ConvertFormat, ExactValuesOfPureRed) {
  TVLBitmap src, d8, d16, df;
  Make(src, vl24RGB, vlMemory);  // pixel 3 is pure red
  for (auto [dest, f] : {std::pair{&d8, vl8g}, {&d16, vl16g}, {&df, vl32f}}) {
    dest->Allocate(src.Width(), 1, f);
    ConvertFormat(*dest, src);
  }
  EXPECT_EQ(d8.Pixel8(3, 0), 53);
  EXPECT_EQ(d16.Pixel16(3, 0), 13893);
  EXPECT_FLOAT_EQ(df.PixelFloat(3, 0), 0.2126f);
  EXPECT_EQ(d16.Pixel16(1, 0), 65535);
  EXPECT_FLOAT_EQ(df.PixelFloat(1, 0), 1.0f);
  EXPECT_EQ(src.PixelFormat(), vl24RGB);  // a direct pair leaves the source alone
}

TEST(ConvertFormat, WordAndFloatFormulas) {
  TVLBitmap src;
  src.Allocate(2, 1, vlRGB48);
  src.SetPixelRGB48(0, 0, TRGB48{65535, 0, 0});
  src.SetPixelRGB48(1, 0, TRGB48{65535, 65535, 65535});
  TVLBitmap d16, df;
  d16.Allocate(2, 1, vl16g);
  ConvertFormat(d16, src);
  EXPECT_EQ(d16.Pixel16(0, 0), 65535 * 212 / 1000);
  EXPECT_EQ(d16.Pixel16(1, 0), 65535);
  df.Allocate(2, 1, vl32f);
  ConvertFormat(df, src);
  EXPECT_NEAR(df.PixelFloat(0, 0), 65535 * 0.2126 / 256 / 255, 1e-6);
  EXPECT_EQ(df.PixelFloat(1, 0), 1.0f);  // never above white

  TVLBitmap f;
  f.Allocate(4, 1, vl32f);
  f.SetPixelFloat(0, 0, 0.5f);
  f.SetPixelFloat(1, 0, 7.0f);       // out of range values from a file are clamped
  f.SetPixelFloat(2, 0, -1.0f);
  f.SetPixelFloat(3, 0, std::nanf(""));
  TVLBitmap g;
  g.Allocate(4, 1, vl16g);
  ConvertFormat(g, f);
  EXPECT_EQ(g.Pixel16(0, 0), 32767);
  EXPECT_EQ(g.Pixel16(1, 0), 65535);
  EXPECT_EQ(g.Pixel16(2, 0), 0);
  EXPECT_EQ(g.Pixel16(3, 0), 0);
}

TEST(ConvertFormat, GrayToPaletteIsIdentity) {
  TVLBitmap b;
  b.Allocate(256, 2, vl8g);
  for (int x = 0; x < 256; ++x) b.SetPixel8(x, 1, uint8_t(x));
  b.SetPixelFormat(vl8p);
  ASSERT_EQ(b.PixelFormat(), vl8p);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(b.Palette(i), MakeRGB(uint8_t(i), uint8_t(i), uint8_t(i)));
    EXPECT_EQ(b.Pixel8(i, 1), i);
  }
}

TEST(ConvertFormat, LabFromMonoGoesThroughRGB) {
  TVLBitmap src, dst;
  src.Allocate(9, 1, vl1g);
  src.Scanline(0)[0] = 0x80;  // pixel 0 white
  dst.Allocate(9, 1, vlCIELab);
  ConvertFormat(dst, src);
  EXPECT_EQ(src.PixelFormat(), vl24RGB);
  EXPECT_EQ(src.PixelRGB(0, 0), MakeRGB(255, 255, 255));
  EXPECT_EQ(dst.Scanline(0)[0], 250);
  EXPECT_EQ(dst.Scanline(0)[3], 0);
  EXPECT_EQ(dst.PixelAsRGB(0, 0), MakeRGB(249, 249, 249));
}

TEST(ConvertFormat, OrderedDitherOfHalfGray) {
  TVLBitmap b;
  b.Allocate(32, 16, vl32f);
  b.Fill(0.5);
  b.MonoMethod = 0;
  b.SetPixelFormat(vl1g);
  ASSERT_EQ(b.PixelFormat(), vl1g);
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 4; ++bx) {
      int white = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) white += b.PixelBit(bx * 8 + x, by * 8 + y);
      EXPECT_EQ(white, 31);  // matrix entries below 127 div 4
    }
  // The pattern follows the matrix: (0, 0) has entry 0 and is white, (1, 0) has 48 and is black.
  EXPECT_TRUE(b.PixelBit(0, 0));
  EXPECT_FALSE(b.PixelBit(1, 0));
}

TEST(ConvertFormat, ThresholdAtMeanColour) {
  // Two tones: dark blue on the left half, light yellow on the right.
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.Allocate(10, 3, vl24RGB);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x)
      b.SetPixelRGB(x, y, x < 5 ? MakeRGB(10, 10, 120) : MakeRGB(200, 200, 90));
  b.MonoMethod = 1;
  b.SetPixelFormat(vl1g);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(b.PixelBit(x, y), x >= 5) << x << "," << y;

  // A flat image is at its own threshold: all white.
  TVLBitmap flat;
  flat.Allocate(4, 4, vl8g);
  flat.Fill(77);
  flat.SetPixelFormat(vl1g);
  for (int x = 0; x < 4; ++x) EXPECT_TRUE(flat.PixelBit(x, 2));
}

TEST(ConvertFormat, QuantizesTrueColourToPalette) {
  TVLBitmap b;
  b.Allocate(40, 30, vl24RGB);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      b.SetPixelRGB(x, y, MakeRGB(uint8_t(x * 6), uint8_t(y * 8), uint8_t((x + y) * 3)));
  b.PaletteColorCount = 16;
  b.SetPixelFormat(vl8p);
  int maxIndex = 0;
  double err = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      maxIndex = std::max<int>(maxIndex, b.Pixel8(x, y));
      const TRGB c = b.PixelAsRGB(x, y);
      err += std::abs(c.r - x * 6) + std::abs(c.g - y * 8) + std::abs(c.b - (x + y) * 3);
    }
  EXPECT_LT(maxIndex, 16);
  EXPECT_LT(err / (40 * 30 * 3), 20.0);
}

TEST(ConvertFormat, AlphaMovesAndMismatchesDoNothing) {
  TVLBitmap src, dst;
  src.Allocate(3, 2, vl8g);
  src.SetAlpha(1, 1, 9);
  dst.Allocate(3, 2, vl24RGB);
  ConvertFormat(dst, src);
  ASSERT_TRUE(dst.HasAlphaLayer());
  EXPECT_FALSE(src.HasAlphaLayer());
  EXPECT_EQ(dst.Alpha(1, 1), 9);

  // Through the format writer the alpha channel stays with the image.
  src.SetAlpha(2, 0, 5);
  src.SetPixelFormat(vlRGB48);
  EXPECT_EQ(src.Alpha(2, 0), 5);

  TVLBitmap small;
  small.Allocate(2, 2, vl8g);
  small.Fill(255);
  TVLBitmap other;
  other.Allocate(3, 2, vl8g);
  other.Fill(200);
  ConvertFormat(other, small);  // size mismatch (and same format): untouched
  EXPECT_EQ(other.Pixel8(0, 0), 200);

  // Same format is a plain copy, also for the formats that otherwise go through vl24RGB.
  TVLBitmap cmyk, copy;
  cmyk.Allocate(2, 1, vlCMYK);
  cmyk.SetPixel32(0, 0, 0x11223344);
  copy.Allocate(2, 1, vlCMYK);
  ConvertFormat(copy, cmyk);
  EXPECT_EQ(cmyk.PixelFormat(), vlCMYK);
  EXPECT_EQ(copy.Pixel32(0, 0), 0x11223344u);

  // A destination held in a toolkit bitmap is left alone, alpha included.
  TVLBitmap colour, toolkit;
  colour.Allocate(3, 2, vl24RGB);
  colour.Fill(0xFFFFFF);
  colour.SetAlpha(0, 0, 1);
  toolkit.Allocate(3, 2, vl8g);
  toolkit.ToolkitBitmap();
  ASSERT_EQ(toolkit.Location(), vlTBitmap);
  ConvertFormat(toolkit, colour);
  EXPECT_EQ(toolkit.Pixel8(1, 1), 0);
  EXPECT_TRUE(colour.HasAlphaLayer());
}
