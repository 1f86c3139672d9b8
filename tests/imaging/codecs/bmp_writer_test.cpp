// The BMP writer: what it writes reads back as the same image at every depth and coding, its
// header fields, reduction to fewer colours, wide images, and the caller's bitmap untouched.

#include <gtest/gtest.h>

#include <functional>

#include "bmp_test_support.h"

namespace {

using namespace bmptest;

// A W x H image in Format whose pixels come from Color(x, y) (index or gray for 1- and
// 8-bit formats; the palette of vl8p is Palette).
struct TImage {
  TVLPixelFormat Format;
  int32_t W, H;
  std::function<uint32_t(int32_t, int32_t)> Color;
  std::vector<TRGB> Palette = {};
};

void Make(TVLBitmap& b, const TImage& m) {
  b.Allocate(m.W, m.H, m.Format);
  for (size_t i = 0; i < m.Palette.size(); ++i) b.SetPalette(int32_t(i), m.Palette[i]);
  if (!m.Palette.empty()) b.PaletteColorCount = int32_t(m.Palette.size());
  for (int32_t y = 0; y < m.H; ++y)
    for (int32_t x = 0; x < m.W; ++x) {
      const uint32_t v = m.Color(x, y);
      switch (m.Format) {
        case vl1g: b.SetPixelBit(x, y, v & 1); break;
        case vl8p:
        case vl8g: b.SetPixel8(x, y, uint8_t(v)); break;
        case vl16g: b.SetPixel16(x, y, uint16_t(v)); break;
        default: b.SetPixelRGB(x, y, UnpackRGB(v)); break;
      }
    }
}

std::vector<TRGB> Colors(int n) {
  std::vector<TRGB> p;
  for (int i = 0; i < n; ++i) p.push_back(MakeRGB(uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * i)));
  return p;
}

uint32_t Noise(int32_t x, int32_t y) { return uint32_t(x * 2654435761u ^ y * 40503u) * 2246822519u >> 8; }

struct TParams {
  int32_t Bits, Samples;
  uint8_t Version = 1, Compression = 0;
};

void Apply(TIOParamsVals& p, const TParams& t) {
  p.BitsPerSample = t.Bits, p.SamplesPerPixel = t.Samples;
  p.BmpVersion = t.Version, p.BmpCompression = t.Compression;
}

TEST(BmpWriter, WhatIsWrittenReadsBackTheSame) {
  const std::vector<TRGB> pal16 = Colors(16), pal12 = Colors(12), pal256 = Colors(256);
  struct Case {
    const char* Name;
    TImage Image;
    TParams Params;
    uint32_t FileBits, FileCompression;
  } cases[] = {
      {"1 bit from vl1g", {vl1g, 29, 5, Noise}, {1, 1}, 1, 0},
      {"1 bit, two colours", {vl24RGB, 9, 3, [](int32_t x, int32_t) { return x % 3 ? 0xFF0000u : 0x0000FFu; }}, {1, 1}, 1, 0},
      {"4 bits, own palette", {vl8p, 13, 4, [](int32_t x, int32_t y) { return uint32_t(x + y) % 16; }, pal16}, {4, 1}, 4, 0},
      {"4 bits, 12 colours", {vl24RGB, 13, 4, [&](int32_t x, int32_t y) { return PackRGB(pal12[size_t(x * y) % 12]); }}, {4, 1}, 4, 0},
      {"4 bits, gray levels", {vl8g, 5, 3, [](int32_t x, int32_t y) { return uint32_t(x * 40 + y); }}, {4, 1}, 4, 0},
      {"RLE4", {vl8p, 300, 5, [](int32_t x, int32_t y) { return uint32_t(x / 7 + y) % 16; }, pal16}, {4, 1, 1, 1}, 4, 2},
      {"8 bits, gray", {vl8g, 17, 4, [](int32_t x, int32_t y) { return uint32_t(x * 15 + y); }}, {8, 1}, 8, 0},
      {"8 bits, 256 colours", {vl8p, 16, 16, [](int32_t x, int32_t y) { return uint32_t(x * 16 + y); }, pal256}, {8, 1}, 8, 0},
      {"RLE8", {vl8p, 600, 3, [](int32_t x, int32_t y) { return uint32_t(x % 5 ? x / 9 : x + y) % 256; }, pal256}, {8, 1, 0, 1}, 8, 1},
      {"8 bits, core header", {vl8g, 5, 5, Noise}, {8, 1, 2}, 8, 0},
      {"24 bits", {vl24RGB, 31, 7, Noise}, {8, 3}, 24, 0},
      {"24 bits, 64-byte header", {vl24RGB, 3, 3, Noise}, {8, 3, 3}, 24, 0},
      {"24 bits from vl16g", {vl16g, 6, 2, Noise}, {8, 3}, 24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVLBitmap src;
    Make(src, c.Image);
    TIOParamsVals params;
    Apply(params, c.Params);
    const Bytes file = Encode(src, params);
    const uint32_t info = Field32(file, 14);
    EXPECT_EQ(info == 12 ? file[24] : file[28], c.FileBits);
    if (info != 12) {
      EXPECT_EQ(Field32(file, 30), c.FileCompression);
    }
    auto d = Decode(file);
    ASSERT_FALSE(d->Aborted);
    ASSERT_EQ(d->Bitmap.Width(), c.Image.W);
    for (int32_t y = 0; y < c.Image.H; ++y)
      for (int32_t x = 0; x < c.Image.W; ++x) ASSERT_EQ(d->At(x, y), src.PixelAsRGB(x, y)) << x << "," << y;
    EXPECT_EQ(src.PixelFormat(), c.Image.Format);  // never converted
  }
}

TEST(BmpWriter, AlphaChannelMakes32BitsOnlyWhenNotOpaque) {
  TVLBitmap src;
  Make(src, {vl24RGB, 5, 4, Noise});
  TIOParamsVals params;
  src.AlphaLayer()->Fill(255);
  EXPECT_EQ(Encode(src, params)[28], 24);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) src.SetAlpha(x, y, uint8_t(x * 60 + y));
  const Bytes file = Encode(src, params);
  EXPECT_EQ(file[28], 32);
  auto d = Decode(file);
  ASSERT_TRUE(d->Mask);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(d->Mask->GetPixel(x, y), x * 60 + y);
      EXPECT_EQ(d->At(x, y), src.PixelAsRGB(x, y));
    }
}

TEST(BmpWriter, HeaderFields) {
  struct Case {
    TParams Params;
    int32_t Dpi;
    uint32_t PaletteBytes, ColorsUsed, Important, PelsPerMeter;
  } cases[] = {
      {{8, 1}, 72, 1024, 256, 256, 2835},
      {{4, 1}, 96, 64, 16, 16, 3780},
      {{1, 1}, 300, 8, 2, 2, 11811},
      {{8, 3}, 96, 0, 0, 16777216, 3780},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Dpi);
    TVLBitmap src;
    Make(src, {vl8g, 5, 3, Noise});
    TIOParamsVals params;
    Apply(params, c.Params);
    params.SetDpiX(c.Dpi);
    params.SetDpiY(c.Dpi);
    const Bytes f = Encode(src, params);
    const uint32_t offset = 14 + 40 + c.PaletteBytes;
    EXPECT_EQ(Field32(f, 2), f.size());
    EXPECT_EQ(Field32(f, 10), offset);
    EXPECT_EQ(Field32(f, 34), f.size() - offset);  // image size
    EXPECT_EQ(Field32(f, 38), c.PelsPerMeter);
    EXPECT_EQ(Field32(f, 42), c.PelsPerMeter);
    EXPECT_EQ(Field32(f, 46), c.ColorsUsed);
    EXPECT_EQ(Field32(f, 50), c.Important);
    EXPECT_EQ(Decode(f)->Params.DpiX(), c.Dpi);
  }
}

// More colours than 4 bits hold: the quantizer picks 16 and every pixel gets one of them;
// a vl8p source is not reduced itself.
TEST(BmpWriter, MoreThanSixteenColoursAtFourBits) {
  const std::vector<TRGB> pal = Colors(40);
  for (TVLPixelFormat format : {vl24RGB, vl8p}) {
    TVLBitmap src;
    Make(src, {format, 40, 3, [&](int32_t x, int32_t) { return format == vl8p ? uint32_t(x) : PackRGB(pal[size_t(x)]); },
               format == vl8p ? pal : std::vector<TRGB>{}});
    TIOParamsVals params;
    Apply(params, {4, 1});
    const Bytes f = Encode(src, params);
    EXPECT_EQ(Field32(f, 46), 16u);
    EXPECT_EQ(Field32(f, 10), 14u + 40 + 64);
    ASSERT_EQ(params.ColorMapCount(), 16);
    auto d = Decode(f);
    for (int32_t x = 0; x < 40; ++x)
      EXPECT_NE(std::find(params.ColorMap.begin(), params.ColorMap.end(), d->At(x, 0)), params.ColorMap.end());
    EXPECT_EQ(src.PixelFormat(), format);
    EXPECT_EQ(src.PixelAsRGB(39, 0), pal[39]);
  }
}

// Other images written at 1 bit are reduced to black and white in a copy.
TEST(BmpWriter, ManyColoursAtOneBitAreReducedInACopy) {
  TVLBitmap src;
  Make(src, {vl24RGB, 8, 2, [](int32_t x, int32_t) { return x < 4 ? 0x101010u * uint32_t(x) : 0xFEFEFEu - uint32_t(x); }});
  TIOParamsVals params;
  Apply(params, {1, 1});
  auto d = Decode(Encode(src, params));
  ASSERT_EQ(d->Bitmap.PixelFormat(), vl1g);
  EXPECT_EQ(d->At(0, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(d->At(7, 1), MakeRGB(255, 255, 255));
  EXPECT_EQ(src.PixelFormat(), vl24RGB);
}

// Sides above 65535 do not fit the core header; the 40-byte header is used instead.
TEST(BmpWriter, SeventyThousandPixelsWide) {
  TVLBitmap src;
  Make(src, {vl24RGB, 70000, 2, Noise});
  TIOParamsVals params;
  Apply(params, {8, 3, 2});
  const Bytes f = Encode(src, params);
  EXPECT_EQ(Field32(f, 14), 40u);
  auto d = Decode(f);
  ASSERT_EQ(d->Bitmap.Width(), 70000);
  for (int32_t x : {0, 65535, 65536, 69999}) EXPECT_EQ(d->At(x, 1), src.PixelAsRGB(x, 1));
}

TEST(BmpWriter, EmptyBitmapOrAbortWritesNoHeaders) {
  TVLBitmap empty;
  TIOParamsVals params;
  bool aborted = false;
  EXPECT_TRUE(Encode(empty, params, &aborted).empty());
  EXPECT_TRUE(aborted);
  // Stopped through the progress callback: the file header is never completed.
  TVLBitmap src;
  Make(src, {vl24RGB, 4, 4, Noise});
  TMemoryStream s;
  bool flag = false;
  TVLProgressState p;
  p.AbortFlag = &flag;
  p.OnProgress = [&flag](TObject*, int percent) { flag = percent >= 50; };
  EncodeBmp(s, src, params, p);
  EXPECT_EQ(Field32(Bytes(s.Memory(), s.Memory() + s.Length()), 2), 0u);
}

}  // namespace
