// The BMP reader on tiny files built in memory: where palettes and masks are found, the 1-bit
// palette rules, bit-field arithmetic, RLE escapes, alpha, and files that must be refused
// before anything is allocated.

#include <gtest/gtest.h>

#include <climits>

#include "bmp_test_support.h"

namespace {

using namespace bmptest;

const TRGB kRed = MakeRGB(255, 0, 0), kGreen = MakeRGB(0, 255, 0), kBlue = MakeRGB(0, 0, 255);
const TRGB kBlack = MakeRGB(0, 0, 0), kWhite = MakeRGB(255, 255, 255);

Bytes PaletteOf(std::initializer_list<TRGB> colors, int entry) {
  Bytes p;
  for (TRGB c : colors) {
    p.insert(p.end(), {c.b, c.g, c.r});
    if (entry == 4) p.push_back(0);
  }
  return p;
}

// A 2 x 1 8-bit image with pixels 1, 2 over the palette black, red, green.
TBmpFile TwoPixels8(uint32_t headerSize) {
  TBmpFile f;
  f.HeaderSize = headerSize, f.Width = 2, f.Bits = 8, f.ColorsUsed = 3;
  f.Palette = PaletteOf({kBlack, kRed, kGreen}, headerSize == 12 ? 3 : 4);
  if (headerSize == 12) f.Palette.resize(256 * 3, 0);
  f.Pixels = {1, 2, 0, 0};
  return f;
}

TEST(BmpReader, PaletteFollowsTheHeaderOfEverySize) {
  for (uint32_t size : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
    for (bool withOffset : {false, true}) {
      SCOPED_TRACE(testing::Message() << size << (withOffset ? " with offset" : ""));
      TBmpFile f = TwoPixels8(size);
      if (withOffset) f.Offset = int64_t(14 + size + f.Palette.size() + 6);  // a gap before the pixels
      auto d = Decode(f.Build());
      ASSERT_FALSE(d->Aborted);
      EXPECT_EQ(d->At(0, 0), kRed);
      EXPECT_EQ(d->At(1, 0), kGreen);
      EXPECT_EQ(d->Params.BmpVersion, size == 12 ? 2 : size == 40 ? 1 : size == 64 ? 3 : 0);
    }
  }
}

TEST(BmpReader, ShortPalettesArePaddedWithBlack) {
  TBmpFile f = TwoPixels8(40);
  f.Pixels = {200, 2, 0, 0};
  auto d = Decode(f.Build(), true);
  ASSERT_EQ(d->Bitmap.PixelFormat(), vl8p);
  EXPECT_EQ(d->Bitmap.Palette(200), kBlack);
  EXPECT_EQ(d->Params.ColorMapCount(), 256);
  EXPECT_EQ(Decode(f.Build())->At(0, 0), kBlack);
}

// A 16-bit 2 x 1 image whose masks sit inside the header (52 bytes and more) or after a
// 40-byte header, which may be followed by a palette.
TEST(BmpReader, BitFieldMasksInsideOrAfterTheHeader) {
  for (uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
    SCOPED_TRACE(size);
    TBmpFile f;
    f.HeaderSize = size, f.Width = 2, f.Bits = 16, f.Compression = 3;
    f.Masks = {0xF800, 0x07E0, 0x001F};
    if (size == 40) f.ColorsUsed = 256, f.Palette.assign(1024, 0x55);
    f.Pixels = {0x00, 0xF8, 0x1F, 0x00};
    auto d = Decode(f.Build());
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->At(0, 0), MakeRGB(248, 0, 0));
    EXPECT_EQ(d->At(1, 0), MakeRGB(0, 0, 248));
  }
}

TEST(BmpReader, BitFieldChannels) {
  struct Case {
    uint16_t Bits;
    std::vector<uint32_t> Masks;  // empty: compression 0
    uint32_t Pixel;
    TRGB Expected;
  } cases[] = {
      {16, {0xF800, 0x07E0, 0x001F}, 0xF800, MakeRGB(248, 0, 0)},
      {16, {}, 0x7FFF, MakeRGB(248, 248, 248)},
      {16, {0xC0, 0x38, 0x04}, 0xFF, MakeRGB(192, 224, 128)},           // 2-3-1 at odd places
      {16, {0x0007, 0x1FF8, 0xE000}, 0xFFFF, MakeRGB(224, 255, 224)},   // 10-bit green, reversed
      {16, {0xFF00, 0x00FF, 0}, 0x1234, MakeRGB(0x12, 0x34, 0)},        // no blue
      {32, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00112233, MakeRGB(0x33, 0x22, 0x11)},
      {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FFFFFFF, MakeRGB(255, 255, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.Pixel);
    TBmpFile f;
    f.Bits = c.Bits, f.Compression = c.Masks.empty() ? 0 : 3, f.Masks = c.Masks;
    Put(f.Pixels, c.Pixel, c.Bits / 8);
    f.Pixels.resize(4, 0);
    auto d = Decode(f.Build());
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->At(0, 0), c.Expected);
  }
}

// One 1-bit row of 8 pixels 10110000 under each palette.
TEST(BmpReader, OneBitPaletteRules) {
  struct Case {
    std::vector<TRGB> Palette;
    TVLPixelFormat Format;
    bool KeepNative;
  } cases[] = {
      {{kBlack, kWhite}, vl1g, false},
      {{kWhite, kBlack}, vl1g, false},
      {{kRed, kBlue}, vl24RGB, false},
      {{kRed, kBlue}, vl8p, true},
      {{kWhite}, vl1g, false},   // one entry, padded with black: white-black
      {{kBlack}, vl24RGB, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    TBmpFile f;
    f.Width = 8, f.Bits = 1, f.ColorsUsed = uint32_t(c.Palette.size());
    for (TRGB p : c.Palette) f.Palette.insert(f.Palette.end(), {p.b, p.g, p.r, 0});
    f.Pixels = {0xB0, 0, 0, 0};
    auto d = Decode(f.Build(), c.KeepNative);
    ASSERT_EQ(d->Bitmap.PixelFormat(), c.Format);
    const TRGB zero = c.Palette[0], one = c.Palette.size() > 1 ? c.Palette[1] : kBlack;
    for (int x = 0; x < 8; ++x) EXPECT_EQ(d->At(x, 0), (0xB0 >> (7 - x)) & 1 ? one : zero) << x;
  }
}

TEST(BmpReader, TopDownEqualsBottomUpAndResolution) {
  TBmpFile f;
  f.Width = 1, f.Height = 2, f.PelsPerMeter = 3780;
  f.Pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // file row 0 first
  auto up = Decode(f.Build());
  f.Height = -2;
  f.Pixels = {4, 5, 6, 0, 1, 2, 3, 0};
  auto down = Decode(f.Build());
  EXPECT_EQ(up->At(0, 0), down->At(0, 0));
  EXPECT_EQ(up->At(0, 1), down->At(0, 1));
  EXPECT_EQ(up->At(0, 1), (TRGB{1, 2, 3}));
  EXPECT_EQ(up->Params.DpiX(), 96);
  f.PelsPerMeter = 0;
  EXPECT_EQ(Decode(f.Build())->Params.DpiY(), 300);
}

// RLE on a 8 x 2 image (kept as indices). Untouched pixels stay 0.
TEST(BmpReader, RleEscapes) {
  struct Case {
    const char* Name;
    uint16_t Bits;
    Bytes Data;
    std::vector<uint8_t> Top, Bottom;  // image rows; the file starts with the bottom one
  } cases[] = {
      {"run, delta, run", 8, {2, 7, 0, 2, 5, 0, 1, 9, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, {7, 7, 0, 0, 0, 0, 0, 9}},
      {"delta clamped to the row", 8, {1, 3, 0, 2, 200, 0, 3, 4, 0, 0, 1, 5}, {5, 0, 0, 0, 0, 0, 0, 0}, {3, 0, 0, 0, 0, 0, 0, 0}},
      {"run past the row end is dropped", 8, {12, 6, 0, 0, 1, 2}, {2, 0, 0, 0, 0, 0, 0, 0}, {6, 6, 6, 6, 6, 6, 6, 6}},
      {"literal, padded", 8, {0, 3, 1, 2, 3, 0, 1, 4, 0, 0, 0, 1, 1, 8}, {0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 0, 0, 0, 0}},
      {"delta to the next row", 8, {0, 2, 3, 1, 1, 5}, {0, 0, 0, 5, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"literal cut by the end", 8, {1, 1, 0, 5, 2, 3}, {0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 0, 0, 0, 0, 0}},
      {"rle4 nibbles", 4, {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 1, 0xFF}, {15, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 1, 2, 1, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TBmpFile f;
    f.Width = 8, f.Height = 2, f.Bits = c.Bits, f.Compression = c.Bits == 8 ? 1 : 2;
    f.Pixels = c.Data;
    auto d = Decode(f.Build(), true);
    ASSERT_FALSE(d->Aborted);
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(d->Bitmap.Pixel8(x, 0), c.Top[size_t(x)]) << x;
      EXPECT_EQ(d->Bitmap.Pixel8(x, 1), c.Bottom[size_t(x)]) << x;
    }
  }
}

TEST(BmpReader, AlphaFromTheFourthByte) {
  struct Case {
    uint8_t A0, A1;
    bool IgnoreAlpha;
    bool HasMask;
  } cases[] = {{0, 0, false, false}, {255, 255, false, false}, {7, 7, false, false},
               {0, 200, false, true}, {0, 200, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.A0) << " " << int(c.A1));
    TBmpFile f;
    f.Width = 2, f.Bits = 32;
    f.Pixels = {1, 2, 3, c.A0, 4, 5, 6, c.A1};
    auto d = Decode(f.Build(), false, c.IgnoreAlpha);
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->At(1, 0), (TRGB{4, 5, 6}));
    ASSERT_EQ(d->Mask != nullptr, c.HasMask);
    if (c.HasMask) {
      EXPECT_EQ(d->Mask->GetPixel(0, 0), c.A0);
      EXPECT_EQ(d->Mask->GetPixel(1, 0), c.A1);
    }
  }
  // An alpha mask in the header wins over the fourth-byte rule; 1-bit alpha is 0 or 255.
  TBmpFile f;
  f.HeaderSize = 56, f.Width = 2, f.Bits = 16, f.Compression = 3;
  f.Masks = {0x7C00, 0x03E0, 0x001F, 0x8000};
  f.Pixels = {0xFF, 0xFF, 0xFF, 0x7F};
  auto d = Decode(f.Build());
  ASSERT_TRUE(d->Mask);
  EXPECT_EQ(d->Mask->GetPixel(0, 0), 255);
  EXPECT_EQ(d->Mask->GetPixel(1, 0), 0);
}

// Files that must fail before the bitmap is touched: it keeps its earlier 3 x 3 vl8g image.
TEST(BmpReader, HostileHeadersAbortWithoutAllocating) {
  struct Case {
    const char* Name;
    void (*Edit)(TBmpFile&);
  } cases[] = {
      {"zero width", [](TBmpFile& f) { f.Width = 0; }},
      {"negative width", [](TBmpFile& f) { f.Width = -5; }},
      {"zero height", [](TBmpFile& f) { f.Height = 0; }},
      {"height INT_MIN", [](TBmpFile& f) { f.Height = INT_MIN; }},
      {"side over a million", [](TBmpFile& f) { f.Width = 1000001; }},
      {"more than 2^30 pixels", [](TBmpFile& f) { f.Width = 40000, f.Height = -40000; }},
      {"2^31 - 1 wide", [](TBmpFile& f) { f.Width = INT_MAX; }},
      {"0 bits", [](TBmpFile& f) { f.Bits = 0; }},
      {"64 bits", [](TBmpFile& f) { f.Bits = 64; }},
      {"65535 bits", [](TBmpFile& f) { f.Bits = 65535; }},
      {"RLE8 at 4 bits", [](TBmpFile& f) { f.Bits = 4, f.Compression = 1; }},
      {"RLE4 at 8 bits", [](TBmpFile& f) { f.Bits = 8, f.Compression = 2; }},
      {"bit fields at 24 bits", [](TBmpFile& f) { f.Compression = 3; }},
      {"embedded JPEG", [](TBmpFile& f) { f.Compression = 4; }},
      {"embedded PNG", [](TBmpFile& f) { f.Compression = 5; }},
      {"OS/2 Huffman", [](TBmpFile& f) { f.HeaderSize = 64, f.Bits = 1, f.Compression = 3; }},
      {"OS/2 RLE24", [](TBmpFile& f) { f.HeaderSize = 64, f.Compression = 4; }},
      {"header of 8 bytes", [](TBmpFile& f) { f.HeaderSize = 8; }},
      {"no BM", [](TBmpFile& f) { f.FileSize = 0xFFFFFFFF, f.HeaderSize = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TBmpFile f;
    f.Width = 2, f.Height = 2;
    f.Pixels.assign(16, 9);
    c.Edit(f);
    Bytes data = f.Build();
    if (f.HeaderSize == 0) data[0] = 'X';
    for (bool paramsOnly : {false, true}) {
      TDecoded d;
      d.Bitmap.Allocate(3, 3, vl8g);
      TMemoryStream s(data.data(), data.size());
      TVLProgressState p;
      p.AbortFlag = &d.Aborted;
      DecodeBmp(s, d.Bitmap, 0, false, d.Mask, false, paramsOnly, p, d.Params);
      EXPECT_TRUE(d.Aborted);
      EXPECT_EQ(d.Bitmap.Width(), 3);
      EXPECT_EQ(d.Bitmap.PixelFormat(), vl8g);
    }
  }
}

// The header's file size is not trusted and the data ends where the stream (or the caller's
// Size) ends: rows read so far are kept without failure.
TEST(BmpReader, DataEndsWhereTheStreamEnds) {
  TBmpFile f;
  f.Width = 1, f.Height = 3, f.FileSize = 0x7FFFFFFF;
  f.Pixels = {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0};
  const Bytes whole = f.Build();
  auto d = Decode(whole);
  ASSERT_FALSE(d->Aborted);
  EXPECT_EQ(d->At(0, 0), (TRGB{3, 3, 3}));
  const Bytes cut(whole.begin(), whole.end() - 4);  // without the last row
  std::unique_ptr<TDecoded> results[] = {Decode(cut), Decode(whole, false, false, false, int64_t(cut.size()))};
  for (auto& r : results) {
    EXPECT_FALSE(r->Aborted);
    EXPECT_EQ(r->At(0, 2), (TRGB{1, 1, 1}));
    EXPECT_EQ(r->At(0, 1), (TRGB{2, 2, 2}));
    EXPECT_EQ(r->At(0, 0), (TRGB{0, 0, 0}));
  }
}

TEST(BmpReader, ParamsOnlyLeavesTheBitmapAlone) {
  TBmpFile f = TwoPixels8(40);
  f.PelsPerMeter = 2835;
  auto d = Decode(f.Build(), false, true, true);
  EXPECT_FALSE(d->Aborted);
  EXPECT_TRUE(d->Bitmap.IsEmpty());
  EXPECT_EQ(d->Params.Width, 2);
  EXPECT_EQ(d->Params.BitsPerSample, 8);
  EXPECT_EQ(d->Params.SamplesPerPixel, 1);
  EXPECT_EQ(d->Params.DpiX(), 72);
  EXPECT_EQ(d->Params.ColorMap[1], kRed);
}

}  // namespace
