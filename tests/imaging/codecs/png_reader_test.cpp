// PNG reader units on small files written with libpng: pixel formats and the 1-bit palette
// rule, tRNS as alpha, bKGD, ParamsOnly, progress over interlace passes, truncated and
// throwing streams, and text before and after the image data.

#include <gtest/gtest.h>

#include <stdexcept>

#include "png_test_support.h"

namespace {

using namespace pngtest;

// A 4 x 2 image whose rows hold Fill bytes.
TPngLayout Small(int ColorType, int Depth, std::vector<Bytes> Rows) {
  TPngLayout f;
  f.Width = 4;
  f.Height = uint32_t(Rows.size());
  f.ColorType = ColorType;
  f.Depth = Depth;
  f.Rows = std::move(Rows);
  return f;
}

TEST(PngReader, FormatsByColourTypeDepthAndNativeFlag) {
  const png_color bw[2] = {{0, 0, 0}, {255, 255, 255}}, wb[2] = {{255, 255, 255}, {0, 0, 0}},
                  rb[2] = {{255, 0, 0}, {0, 0, 255}};
  struct TCase {
    const char* Name;
    int ColorType, Depth;
    const png_color* Palette;
    bool Native;
    TVLPixelFormat Format;
    TRGB Pixel0, Pixel1;  // of the row bytes 0x40 (pixel 1 set for 1 bit)
  } cases[] = {
      {"gray 1", PNG_COLOR_TYPE_GRAY, 1, nullptr, false, vl1g, {0, 0, 0}, {255, 255, 255}},
      {"palette 1 black-white", PNG_COLOR_TYPE_PALETTE, 1, bw, false, vl1g, {0, 0, 0}, {255, 255, 255}},
      {"palette 1 white-black", PNG_COLOR_TYPE_PALETTE, 1, wb, false, vl1g, {255, 255, 255}, {0, 0, 0}},
      {"palette 1 red-blue", PNG_COLOR_TYPE_PALETTE, 1, rb, false, vl24RGB, {0, 0, 255}, {255, 0, 0}},
      {"gray 8 native", PNG_COLOR_TYPE_GRAY, 8, nullptr, true, vl8g, {64, 64, 64}, {0, 0, 0}},
      {"gray 8", PNG_COLOR_TYPE_GRAY, 8, nullptr, false, vl24RGB, {64, 64, 64}, {0, 0, 0}},
      {"gray 16 native", PNG_COLOR_TYPE_GRAY, 16, nullptr, true, vl24RGB, {64, 64, 64}, {0, 0, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPngLayout f = Small(c.ColorType, c.Depth, {Bytes(8, 0), Bytes(8, 0)});
    f.Rows[0][0] = 0x40;
    if (c.Palette != nullptr) f.Palette.assign(c.Palette, c.Palette + 2);
    auto d = Decode(MakePng(f), c.Native);
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->Bitmap.PixelFormat(), c.Format);
    EXPECT_EQ(d->At(c.Depth == 1 ? 1 : 0, 0), c.Depth == 1 ? c.Pixel1 : c.Pixel0);
    if (c.Depth == 1) {
      EXPECT_EQ(d->At(0, 0), c.Pixel0);
    }
    ASSERT_TRUE(d->Mask);
    EXPECT_TRUE(d->Mask->AllMax());
  }
  // A native palette image keeps its indices and a palette padded to 256 entries.
  TPngLayout f = Small(PNG_COLOR_TYPE_PALETTE, 8, {Bytes{1, 0, 1, 0}});
  f.Palette.assign(rb, rb + 2);
  auto d = Decode(MakePng(f), true);
  ASSERT_EQ(d->Bitmap.PixelFormat(), vl8p);
  EXPECT_EQ(d->Bitmap.Pixel8(0, 0), 1);
  EXPECT_EQ(d->Bitmap.Palette(1), (TRGB{255, 0, 0}));
  EXPECT_EQ(d->Bitmap.Palette(200), (TRGB{0, 0, 0}));
  EXPECT_EQ(d->Params.ColorMap.size(), 2u);
}

TEST(PngReader, TransparencyChunkBecomesAlphaForEveryColourType) {
  png_color_16 rgbKey{}, grayKey{};
  rgbKey.red = 10, rgbKey.green = 20, rgbKey.blue = 30;
  grayKey.gray = 0x1234;
  struct TCase {
    const char* Name;
    TPngLayout Layout;
    bool Native;
  } cases[] = {
      {"RGB 8", Small(PNG_COLOR_TYPE_RGB, 8, {Bytes{10, 20, 30, 1, 2, 3, 10, 20, 30, 0, 0, 0}}), false},
      {"gray 16", Small(PNG_COLOR_TYPE_GRAY, 16, {Bytes{0x12, 0x34, 0, 0, 0x12, 0x34, 0, 0}}), false},
      {"gray 1", Small(PNG_COLOR_TYPE_GRAY, 1, {Bytes{0x50}}), false},
      {"palette 8", Small(PNG_COLOR_TYPE_PALETTE, 8, {Bytes{0, 1, 0, 1}}), false},
  };
  cases[0].Layout.TrnsColor = &rgbKey;
  cases[1].Layout.TrnsColor = &grayKey;
  png_color_16 one{};
  cases[2].Layout.TrnsColor = &one;
  cases[3].Layout.Palette = {{1, 1, 1}, {2, 2, 2}};
  cases[3].Layout.TrnsAlpha = {0};
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto d = Decode(MakePng(c.Layout), c.Native);
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->Bitmap.PixelFormat(), vl24RGB);
    ASSERT_TRUE(d->Mask);
    EXPECT_FALSE(d->Mask->AllMax());
    EXPECT_EQ(d->AlphaAt(0, 0), 0);
    EXPECT_EQ(d->AlphaAt(1, 0), 255);
    EXPECT_EQ(d->AlphaAt(2, 0), 0);
  }
  // Native palette output keeps the indices and ignores tRNS.
  auto native = Decode(MakePng(cases[3].Layout), true);
  EXPECT_EQ(native->Bitmap.PixelFormat(), vl8p);
  EXPECT_TRUE(native->Mask->AllMax());
}

TEST(PngReader, BackgroundColourAtEveryDepth) {
  struct TCase {
    const char* Name;
    int ColorType, Depth;
    png_color_16 Bg;
    TRGB Expected;
  } cases[] = {
      {"gray 2", PNG_COLOR_TYPE_GRAY, 2, {0, 0, 0, 0, 2}, {170, 170, 170}},
      {"gray 4", PNG_COLOR_TYPE_GRAY, 4, {0, 0, 0, 0, 8}, {136, 136, 136}},
      {"gray 8", PNG_COLOR_TYPE_GRAY, 8, {0, 0, 0, 0, 200}, {200, 200, 200}},
      {"gray 16", PNG_COLOR_TYPE_GRAY, 16, {0, 0, 0, 0, 0xAB01}, {0xAB, 0xAB, 0xAB}},
      {"RGB 8", PNG_COLOR_TYPE_RGB, 8, {0, 1, 2, 3, 0}, {3, 2, 1}},
      {"RGB 16", PNG_COLOR_TYPE_RGB, 16, {0, 0x1000, 0x2000, 0x3000, 0}, {0x30, 0x20, 0x10}},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, {1, 0, 0, 0, 0}, {9, 8, 7}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const size_t rowBytes = (4 * size_t(c.Depth) * (c.ColorType == PNG_COLOR_TYPE_RGB ? 3 : 1) + 7) / 8;
    TPngLayout f = Small(c.ColorType, c.Depth, {Bytes(rowBytes, 0)});
    if (c.ColorType == PNG_COLOR_TYPE_PALETTE) f.Palette = {{0, 0, 0}, {7, 8, 9}};
    f.Background = &c.Bg;
    auto d = Decode(MakePng(f), false, true, true);
    ASSERT_FALSE(d->Aborted);
    EXPECT_EQ(d->Params.PngBackground, c.Expected);
  }
}

TEST(PngReader, BackgroundIsComposedUnderTransparentPixels) {
  TPngLayout f = Small(PNG_COLOR_TYPE_RGB_ALPHA, 8, {Bytes{9, 9, 9, 0, 200, 100, 50, 255, 0, 0, 0, 0, 0, 0, 0, 0}});
  TDecoded d;
  d.Params.PngBackground = TRGB{30, 20, 10};
  TMemoryStream s;
  const Bytes data = MakePng(f);
  s.LoadFromBuffer(data.data(), data.size());
  TVLProgressState p;
  p.AbortFlag = &d.Aborted;
  DecodePng(s, d.Bitmap, d.Params, true, d.Mask, false, p);
  ASSERT_FALSE(d.Aborted);
  EXPECT_FALSE(d.Mask);
  EXPECT_EQ(d.At(0, 0), (TRGB{30, 20, 10}));
  EXPECT_EQ(d.At(1, 0), (TRGB{50, 100, 200}));
}

TEST(PngReader, ParamsOnlyLeavesBitmapAndMaskUntouched) {
  TPngLayout f = Small(PNG_COLOR_TYPE_RGB_ALPHA, 8, {Bytes(16, 7), Bytes(16, 7)});
  TDecoded d;
  d.Bitmap.Allocate(3, 3, vl8g);
  d.Bitmap.SetPixel8(1, 1, 42);
  d.Mask = std::make_unique<TVLMask>();
  d.Mask->Setup(5, 5, 1);
  const Bytes data = MakePng(f);
  TMemoryStream s(data.data(), data.size());
  TVLProgressState p;
  p.AbortFlag = &d.Aborted;
  DecodePng(s, d.Bitmap, d.Params, false, d.Mask, true, p);
  EXPECT_FALSE(d.Aborted);
  EXPECT_EQ(d.Params.Width, 4);
  EXPECT_EQ(d.Params.SamplesPerPixel, 4);
  EXPECT_EQ(d.Bitmap.PixelFormat(), vl8g);
  EXPECT_EQ(d.Bitmap.Pixel8(1, 1), 42);
  EXPECT_EQ(d.Mask->Width(), 5);
  EXPECT_EQ(d.Mask->Depth(), 1);
}

TEST(PngReader, InterlacedProgressCountsEveryRowOfEveryPass) {
  TPngLayout f = Small(PNG_COLOR_TYPE_RGB_ALPHA, 8, std::vector<Bytes>(5, Bytes(16, 0x80)));
  f.Interlaced = true;
  std::vector<int> seen;
  auto d = Decode(MakePng(f), false, false, false, [&](TObject*, int percent) { seen.push_back(percent); });
  ASSERT_FALSE(d->Aborted);
  EXPECT_TRUE(d->Params.PngInterlaced);
  ASSERT_EQ(seen.size(), 5u * 7u);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_EQ(d->AlphaAt(3, 4), 0x80);
  EXPECT_EQ(d->At(3, 4), (TRGB{0x80, 0x80, 0x80}));
}

// A stream whose reads throw once Limit bytes were given.
class TThrowingStream : public TMemoryStream {
 public:
  TThrowingStream(const pngtest::Bytes& Data, size_t Limit) : TMemoryStream(Data.data(), Data.size()), FLimit(Limit) {}
  size_t Read(void* Buffer, size_t Count) override {
    if (FGiven + Count > FLimit) throw std::logic_error("disc removed");
    FGiven += Count;
    return TMemoryStream::Read(Buffer, Count);
  }

 private:
  size_t FLimit, FGiven = 0;
};

TEST(PngReader, TruncatedAndThrowingStreams) {
  // Noise, so that the data spans many IDAT chunks.
  TPngLayout f = Small(PNG_COLOR_TYPE_RGB, 8, {});
  f.Width = f.Height = 128;
  uint32_t seed = 1;
  for (int y = 0; y < 128; ++y) {
    Bytes r(128 * 3);
    for (uint8_t& b : r) b = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
    f.Rows.push_back(r);
  }
  const Bytes data = MakePng(f);
  auto whole = Decode(data);
  // Cut inside the image data: the rows read are kept and the flag stays clear.
  auto cut = Decode(Bytes(data.begin(), data.begin() + long(data.size() * 2 / 3)));
  EXPECT_FALSE(cut->Aborted);
  ASSERT_EQ(cut->Bitmap.Height(), 128);
  EXPECT_EQ(cut->At(2, 1), whole->At(2, 1));
  // Cut inside the header: nothing to show, a failed read.
  for (size_t n : {0, 7, 8, 20, 40}) EXPECT_TRUE(Decode(Bytes(data.begin(), data.begin() + long(n)))->Aborted) << n;
  // A stream that raises: its exception leaves (the leak checker watches the structures).
  for (size_t limit : {size_t(0), size_t(30), data.size() - 20}) {
    TThrowingStream s(data, limit);
    TDecoded d;
    TVLProgressState p;
    p.AbortFlag = &d.Aborted;
    EXPECT_THROW(DecodePng(s, d.Bitmap, d.Params, false, d.Mask, false, p), std::logic_error) << limit;
    EXPECT_TRUE(d.Aborted);
  }
}

TEST(PngReader, TextBeforeAndAfterTheImage) {
  TPngLayout f = Small(PNG_COLOR_TYPE_GRAY, 8, {Bytes(4, 0)});
  f.TextAfterImage = {{"Comment", "caf\xe9"}};
  auto d = Decode(MakePng(f));
  ASSERT_FALSE(d->Aborted);
  EXPECT_EQ(d->Params.PngTextKeys, (std::vector<std::string>{"Comment"}));
  EXPECT_EQ(d->Params.PngTextValues, (std::vector<std::string>{"caf\xc3\xa9"}));
  // Reading parameters only stops before the image: the text after it is not seen.
  EXPECT_TRUE(Decode(MakePng(f), false, true, true)->Params.PngTextKeys.empty());
}

TEST(PngReader, SignatureTestStepsBackOnlyWhatItRead) {
  const Bytes png = {137, 'P', 'N', 'G', 13, 10, 26, 10, 0};
  struct TCase {
    Bytes Data;
    bool Expected;
  } cases[] = {{png, true}, {Bytes(png.begin(), png.begin() + 4), true}, {Bytes{137, 'P', 'N'}, false},
               {Bytes{137, 'P', 'N', 'X', 0, 0, 0, 0, 0}, false}};
  for (const TCase& c : cases) {
    TMemoryStream s(c.Data.data(), c.Data.size());
    s.Seek(0, soEnd);
    s.Seek(-int64_t(c.Data.size()), soEnd);
    EXPECT_EQ(HasPngSignature(s), c.Expected);
    EXPECT_EQ(s.Position(), 0);
  }
}

}  // namespace

namespace {

// Interlaced rows are built over seven passes: a bitmap kept in a temporary file must give
// the same image as one in memory, for rows read straight and through the alpha split.
TEST(PngReader, InterlacedIntoAFileBackedBitmap) {
  for (const int colorType : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA}) {
    TPngLayout f = Small(colorType, 8, {});
    f.Width = 19;
    f.Height = 13;
    f.Interlaced = true;
    const size_t channels = colorType == PNG_COLOR_TYPE_RGB ? 3 : 4;
    for (uint32_t y = 0; y < f.Height; ++y) {
      Bytes r(f.Width * channels);
      for (size_t i = 0; i < r.size(); ++i) r[i] = uint8_t(y * 40 + i * 3);
      f.Rows.push_back(r);
    }
    const Bytes data = MakePng(f);
    auto inMemory = Decode(data);
    TDecoded onDisk;
    onDisk.Bitmap.MemoryThreshold = 1;
    TMemoryStream s(data.data(), data.size());
    TVLProgressState p;
    p.AbortFlag = &onDisk.Aborted;
    DecodePng(s, onDisk.Bitmap, onDisk.Params, false, onDisk.Mask, false, p);
    ASSERT_FALSE(onDisk.Aborted);
    ASSERT_EQ(onDisk.Bitmap.Location(), vlFile);
    for (int32_t y = 0; y < 13; ++y)
      for (int32_t x = 0; x < 19; ++x) {
        ASSERT_EQ(onDisk.At(x, y), inMemory->At(x, y)) << x << "," << y;
        ASSERT_EQ(onDisk.AlphaAt(x, y), inMemory->AlphaAt(x, y)) << x << "," << y;
      }
    const uint8_t red = uint8_t(12 * 40 + 18 * channels * 3);
    EXPECT_EQ(inMemory->At(18, 12), (TRGB{uint8_t(red + 6), uint8_t(red + 3), red}));
  }
}

}  // namespace
