// Render: the 1:1 shortcut, clipping, every pixel format's displayed colour, blending and
// operations, and the cases that once read out of bounds or divided by zero.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/model/pixel_conversions.h"
#include "imaging/view/display_render.h"
#include "view_test_util.h"

namespace {

TVLRenderArgs Args(int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                   int32_t sw, int32_t sh) {
  TVLRenderArgs a;
  a.DstX = dx, a.DstY = dy, a.DstWidth = dw, a.DstHeight = dh;
  a.SrcX = sx, a.SrcY = sy, a.SrcWidth = sw, a.SrcHeight = sh;
  return a;
}

TEST(Render, OneToOneCopiesRowsByteForByte) {
  auto src = MakePattern(5, 4);
  auto dst = MakeBitmap(8, 6, vl24RGB);
  dst->Fill(0x123456);
  VLRender(*src, *dst, Args(2, 1, 5, 4, 0, 0, 5, 4));
  for (int32_t y = 0; y < 4; ++y)
    EXPECT_EQ(std::memcmp(dst->Scanline(y + 1) + 6, src->Scanline(y), 15), 0) << "row " << y;
  EXPECT_EQ(dst->PixelAsRGB(1, 1), ColorToRGB(0x123456));
  EXPECT_EQ(dst->PixelAsRGB(2, 5), ColorToRGB(0x123456));
}

TEST(Render, ClipsOnEverySideAndMovesTheSourceAlong) {
  // Source 20 x 20 shown at half size: a negative DstX shifts SrcX by Trunc(3 x 2).
  auto src = MakePattern(20, 20);
  auto dst = MakeBitmap(6, 6, vl24RGB);
  VLRender(*src, *dst, Args(-3, -2, 10, 10, 0, 0, 20, 20));
  EXPECT_EQ(dst->PixelRGB(0, 0), src->PixelRGB(6, 4));
  EXPECT_EQ(dst->PixelRGB(1, 0), src->PixelRGB(8, 4));
  EXPECT_EQ(dst->PixelRGB(5, 5), src->PixelRGB(16, 14));
  // A clip rectangle keeps everything outside it.
  auto clipped = MakeBitmap(6, 6, vl24RGB);
  const TVLRect clip{2, 2, 3, 3};
  TVLRenderArgs a = Args(0, 0, 6, 6, 0, 0, 20, 20);
  a.ClipRect = &clip;
  VLRender(*src, *clipped, a);
  EXPECT_EQ(clipped->PixelRGB(1, 1), (TRGB{0, 0, 0}));
  EXPECT_EQ(clipped->PixelRGB(4, 3), (TRGB{0, 0, 0}));
  EXPECT_NE(clipped->PixelRGB(3, 3), (TRGB{0, 0, 0}));
}

TEST(Render, EveryPixelFormatShowsItsColour) {
  struct Case {
    TVLPixelFormat Format;
    void (*Set)(TVLBitmap&);
    TRGB Expected;
  };
  const Case cases[] = {
      {vl1g, [](TVLBitmap& b) { b.SetPixelBit(0, 0, true); }, TRGB{255, 255, 255}},
      {vl8g, [](TVLBitmap& b) { b.SetPixel8(0, 0, 77); }, TRGB{77, 77, 77}},
      {vl8p,
       [](TVLBitmap& b) {
         b.SetPalette(3, TRGB{1, 2, 3});
         b.SetPixel8(0, 0, 3);
       },
       TRGB{1, 2, 3}},
      {vl16g, [](TVLBitmap& b) { b.SetPixel16(0, 0, 0xAB12); }, TRGB{0xAB, 0xAB, 0xAB}},
      {vl32f, [](TVLBitmap& b) { b.SetPixelFloat(0, 0, 0.5f); }, TRGB{127, 127, 127}},
      {vlRGB48,
       [](TVLBitmap& b) {
         b.SetPixelRGB48(0, 0, TRGB48{0x1100, 0x2200, 0x33FF});
       },
       TRGB{0x33, 0x22, 0x11}},
      {vlCMYK, [](TVLBitmap& b) { b.SetPixel32(0, 0, 0x80C0E0F0); },
       UnpackRGB(CMYKToRGB(0x80C0E0F0))},
      {vlCIELab,
       [](TVLBitmap& b) {
         b.SetPixelRGB(0, 0, TRGB{10, 20, 150});
       },
       UnpackRGB(LabToRGB(10 | (20 << 8) | (150 << 16)))},  // bytes L, a, b
  };
  for (const Case& c : cases) {
    auto src = MakeBitmap(3, 2, c.Format);
    c.Set(*src);
    for (int32_t opacity : {255, 254}) {
      auto dst = MakeBitmap(6, 4, vl24RGB);
      TVLRenderArgs a = Args(0, 0, 6, 4, 0, 0, 3, 2);  // enlarged: tables, not a row copy
      a.Opacity = opacity;
      VLRender(*src, *dst, a);
      const TRGB got = dst->PixelRGB(1, 1);
      EXPECT_NEAR(got.r, c.Expected.r, opacity == 255 ? 0 : 2) << "format " << c.Format;
      EXPECT_NEAR(got.g, c.Expected.g, opacity == 255 ? 0 : 2) << "format " << c.Format;
      EXPECT_NEAR(got.b, c.Expected.b, opacity == 255 ? 0 : 2) << "format " << c.Format;
    }
  }
}

TEST(Render, BlendsByOpacityAndAlphaAndCombinesByOperation) {
  auto src = MakeBitmap(2, 2, vl24RGB);
  src->Fill(0xC8C8C8);  // 200
  auto dst = MakeBitmap(2, 2, vl24RGB);
  dst->Fill(0x646464);  // 100
  TVLRenderArgs a = Args(0, 0, 2, 2, 0, 0, 2, 2);
  a.Opacity = 128;
  VLRender(*src, *dst, a);
  EXPECT_EQ(dst->PixelRGB(0, 0).g, 100 + ((100 * 128 * 1024) >> 18));
  // Opaque alpha 255 reaches d + floor((s - d) x 255 / 256), one short of the source.
  dst->Fill(0x646464);
  src->AlphaLayer()->Fill(255);
  src->AlphaLayer()->SetAllMax(false);
  src->AlphaLayer()->SetPixel8(1, 1, 0);
  a.Opacity = 255;
  a.UseAlpha = true;
  VLRender(*src, *dst, a);
  EXPECT_EQ(dst->PixelRGB(0, 0).g, 199);
  EXPECT_EQ(dst->PixelRGB(1, 1).g, 100);  // transparent
  const struct {
    int32_t Op;
    uint8_t Expected;
  } ops[] = {{1, 255}, {2, 100}, {4, 78}, {8, 200}, {9, 100}, {10, 150}, {28, 44}};
  for (const auto& o : ops) {
    dst->Fill(0x646464);
    TVLRenderArgs b = Args(0, 0, 2, 2, 0, 0, 2, 2);
    b.Operation = o.Op;
    VLRender(*src, *dst, b);
    EXPECT_EQ(dst->PixelRGB(0, 0).g, o.Expected) << "operation " << o.Op;
  }
}

TEST(Render, DisplayRangesAndFloatsStayInsideTheByte) {
  auto f = MakeBitmap(4, 1, vl32f);
  f->SetPixelFloat(0, 0, std::numeric_limits<float>::quiet_NaN());
  f->SetPixelFloat(1, 0, std::numeric_limits<float>::infinity());
  f->SetPixelFloat(2, 0, -3.0f);
  f->SetPixelFloat(3, 0, 7.0f);
  auto dst = MakeBitmap(4, 1, vl24RGB);
  VLRender(*f, *dst, Args(0, 0, 4, 1, 0, 0, 4, 1));
  EXPECT_EQ(dst->PixelRGB(0, 0).g, 0);
  EXPECT_EQ(dst->PixelRGB(1, 0).g, 255);
  EXPECT_EQ(dst->PixelRGB(2, 0).g, 0);
  EXPECT_EQ(dst->PixelRGB(3, 0).g, 255);
  auto g = MakeBitmap(2, 1, vl8g);
  g->SetPixel8(0, 0, 50);
  g->SetPixel8(1, 0, 250);
  g->DisplayRangeMin = 40.5;  // a range narrower than its truncated ends
  g->DisplayRangeMax = 41.0;
  VLRender(*g, *dst, Args(0, 0, 2, 1, 0, 0, 2, 1));
  EXPECT_EQ(dst->PixelRGB(0, 0).g, 255);
  EXPECT_EQ(dst->PixelRGB(1, 0).g, 255);
}

TEST(Render, EmptyAndOutOfRangeRectanglesNeverReadOutside) {
  auto src = MakePattern(5, 5);
  auto dst = MakeBitmap(4, 4, vl24RGB);
  TVLBitmap empty;
  VLRender(empty, *dst, Args(0, 0, 4, 4, 0, 0, 5, 5));
  VLRender(*src, empty, Args(0, 0, 4, 4, 0, 0, 5, 5));
  for (const TVLRenderArgs& a :
       {Args(0, 0, 0, 4, 0, 0, 5, 5), Args(0, 0, 4, 4, 0, 0, 0, 5), Args(9, 0, 4, 4, 0, 0, 5, 5),
        Args(0, 0, 4, 4, 3, 3, 50, 50), Args(0, 0, 4, 4, 90, 90, 5, 5),
        Args(-9, -9, 4, 4, 0, 0, 5, 5), Args(0, 0, 4, 4, -7, -7, 5, 5)}) {
    VLRender(*src, *dst, a);
    TVLRenderArgs filtered = a;
    filtered.Filter = rfFastLinear;
    VLRender(*src, *dst, filtered);
  }
  // The source rectangle is clamped as a whole: its right part is the image's last column.
  auto out = MakeBitmap(4, 4, vl24RGB);
  VLRender(*src, *out, Args(0, 0, 4, 4, 3, 3, 4, 4));
  EXPECT_EQ(out->PixelRGB(3, 3), src->PixelRGB(4, 4));
  // Caller tables shorter than the destination, or naming columns past the source.
  const int32_t xs[] = {0, 1, 99};
  const int32_t ys[] = {0, 1};
  TVLRenderArgs t = Args(0, 0, 4, 4, 0, 0, 2, 2);
  t.XTable = xs, t.XLength = 3, t.YTable = ys, t.YLength = 2;
  auto tabled = MakeBitmap(4, 4, vl24RGB);
  VLRender(*src, *tabled, t);
  EXPECT_EQ(tabled->PixelRGB(1, 1), src->PixelRGB(1, 1));
  EXPECT_EQ(tabled->PixelRGB(2, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(tabled->PixelRGB(0, 2), (TRGB{0, 0, 0}));
}

TEST(Render, TheFilteredPathResamplesTheVisibleRectangle) {
  auto src = MakeBitmap(30, 20, vl24RGB);
  src->Fill(0x0000FF);
  src->FillRect(10, 0, 29, 19, 0x00FF00);
  auto dst = MakeBitmap(20, 10, vl24RGB);
  TVLRenderArgs a = Args(0, 0, 10, 10, 10, 0, 20, 20);  // only the green part
  a.Filter = rfFastLinear;
  VLRender(*src, *dst, a);
  EXPECT_EQ(dst->PixelRGB(0, 0), (TRGB{0, 255, 0}));
  EXPECT_EQ(dst->PixelRGB(9, 9), (TRGB{0, 255, 0}));
  EXPECT_EQ(dst->PixelRGB(10, 0), (TRGB{0, 0, 0}));
}

TEST(Render, SolidUnderCopiesRepeatedRowsAndStillMatches) {
  auto src = MakePattern(3, 3);
  auto plain = MakeBitmap(9, 9, vl24RGB);
  auto solid = MakeBitmap(9, 9, vl24RGB);
  TVLRenderArgs a = Args(0, 0, 9, 9, 0, 0, 3, 3);
  VLRender(*src, *plain, a);
  a.SolidUnder = true;
  VLRender(*src, *solid, a);
  for (int32_t y = 0; y < 9; ++y)
    EXPECT_EQ(std::memcmp(plain->Scanline(y), solid->Scanline(y), 27), 0) << "row " << y;
}

}  // namespace

namespace {

// Random rectangles, filters, formats, opacities and tables: whatever the caller passes, the
// renderer stays inside both bitmaps (the sanitizers watch).
TEST(Render, RandomArgumentsStayInsideBothBitmaps) {
  uint32_t seed = 12345;
  auto next = [&seed](int32_t lo, int32_t hi) {
    seed = seed * 1103515245u + 12345u;
    return lo + int32_t((seed >> 8) % uint32_t(hi - lo + 1));
  };
  const TVLPixelFormat formats[] = {vl24RGB, vl1g, vl8g, vl8p, vl16g, vl32f, vlCMYK, vlRGB48};
  std::vector<int32_t> table(64);
  for (int i = 0; i < 300; ++i) {
    auto src = MakeBitmap(next(1, 40), next(1, 40), formats[next(0, 7)]);
    if (next(0, 3) == 0) src->AlphaLayer()->SetPixel8(0, 0, 7);
    auto dst = MakeBitmap(next(1, 30), next(1, 30), vl24RGB);
    TVLRenderArgs a = Args(next(-50, 50), next(-50, 50), next(-5, 80), next(-5, 80),
                           next(-50, 50), next(-50, 50), next(-5, 80), next(-5, 80));
    a.Filter = TResampleFilter(next(0, 13));
    a.Opacity = next(0, 255);
    a.UseAlpha = next(0, 1);
    a.SolidUnder = next(0, 1);
    a.Operation = next(0, 33);
    const TVLRect clip{next(-10, 20), next(-10, 20), next(-10, 40), next(-10, 40)};
    if (next(0, 1)) a.ClipRect = &clip;
    if (next(0, 2) == 0) {
      for (int32_t& v : table) v = next(-5, 60);
      a.XTable = table.data();
      a.XLength = size_t(next(0, 64));
      a.YTable = table.data();
      a.YLength = size_t(next(0, 64));
    }
    VLRender(*src, *dst, a);
  }
}

}  // namespace
