// PNG writer: the colour type and depth by image and parameters, with the pixels read back;
// filters, bKGD, text keywords and encodings, short and throwing streams.

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <stdexcept>

#include "png_test_support.h"

namespace {

using namespace pngtest;

// An 8 x 4 image of Format whose pixel (x, y) is Color(x, y).
void Paint(TVLBitmap& B, TVLPixelFormat Format, const std::function<TRGB(int, int)>& Color) {
  B.Allocate(8, 4, vl24RGB);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) B.SetPixelRGB(x, y, Color(x, y));
  if (Format != vl24RGB) B.SetPixelFormat(Format);
}

TRGB Gray(int v) { return TRGB{uint8_t(v), uint8_t(v), uint8_t(v)}; }

TEST(PngWriter, ColourTypeAndDepthByImage) {
  const auto colourful = [](int x, int y) { return TRGB{uint8_t(x * 30), uint8_t(y * 60), uint8_t(x * y)}; };
  const auto redBlue = [](int x, int y) { return (x + y) % 2 ? TRGB{255, 0, 0} : TRGB{0, 0, 255}; };
  const auto blackWhite = [](int x, int) { return x % 3 ? Gray(255) : Gray(0); };
  const auto grays17 = [](int x, int y) { return Gray(17 * ((x + y) % 16)); };
  const auto grays = [](int x, int y) { return Gray(3 * x + 40 * y); };
  struct TCase {
    const char* Name;
    TVLPixelFormat Format;
    std::function<TRGB(int, int)> Color;
    int Bits, Samples;
    int Mask;  // -1 none, else the alpha of pixel (0, 0) (all others opaque)
    int ColorType, Depth;
    bool Exact;  // the pixels come back unchanged
  } cases[] = {
      {"RGB", vl24RGB, colourful, 8, 3, -1, PNG_COLOR_TYPE_RGB, 8, true},
      {"RGB, opaque mask", vl24RGB, colourful, 8, 3, 255, PNG_COLOR_TYPE_RGB, 8, true},
      {"RGBA", vl24RGB, colourful, 8, 4, 77, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
      {"gray+alpha", vl8g, grays, 8, 2, 10, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
      {"gray 8", vl8g, grays, 8, 1, -1, PNG_COLOR_TYPE_GRAY, 8, true},
      {"gray 4 in steps", vl8g, grays17, 4, 1, -1, PNG_COLOR_TYPE_GRAY, 4, true},
      {"gray 4 off steps", vl8g, [](int x, int) { return Gray(x + 1); }, 4, 1, -1, PNG_COLOR_TYPE_PALETTE, 4, true},
      {"gray 16", vl16g, grays, 16, 1, -1, PNG_COLOR_TYPE_GRAY, 8, true},
      {"palette", vl24RGB, colourful, 8, 1, -1, PNG_COLOR_TYPE_PALETTE, 8, true},
      {"palette 2", vl24RGB, redBlue, 2, 1, -1, PNG_COLOR_TYPE_PALETTE, 2, true},
      {"palette + mask", vl24RGB, colourful, 8, 1, 0, PNG_COLOR_TYPE_PALETTE, 8, true},
      {"palette + partial mask", vl24RGB, colourful, 8, 1, 99, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
      {"1 bit + mask", vl24RGB, redBlue, 1, 1, 0, PNG_COLOR_TYPE_PALETTE, 8, true},
      {"1 bit vl1g", vl1g, blackWhite, 1, 1, -1, PNG_COLOR_TYPE_GRAY, 1, true},
      {"1 bit black-white", vl24RGB, blackWhite, 1, 1, -1, PNG_COLOR_TYPE_GRAY, 1, true},
      {"1 bit two colours", vl24RGB, redBlue, 1, 1, -1, PNG_COLOR_TYPE_PALETTE, 1, true},
      {"1 bit reduced", vl24RGB, grays, 1, 1, -1, PNG_COLOR_TYPE_GRAY, 1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVLBitmap b;
    Paint(b, c.Format, c.Color);
    TIOParamsVals params;
    params.BitsPerSample = c.Bits;
    params.SamplesPerPixel = c.Samples;
    TVLMask mask;
    if (c.Mask >= 0) {
      mask.Setup(8, 4, 8);
      mask.Fill(255);
      mask.SetPixel(0, 0, c.Mask);
    }
    bool aborted = true;
    const Bytes file = Encode(b, params, c.Mask >= 0 ? &mask : nullptr, &aborted);
    ASSERT_FALSE(aborted);
    const TChunks chunks = ChunksOf(file);
    EXPECT_EQ(chunks.ColorType, c.ColorType);
    EXPECT_EQ(chunks.Depth, c.Depth);
    EXPECT_EQ(chunks.Has("tRNS"), c.Mask == 0);
    EXPECT_EQ(b.PixelFormat(), c.Format);  // the caller's bitmap is not converted
    auto d = Decode(file);
    ASSERT_FALSE(d->Aborted);
    if (c.Mask >= 0) {
      EXPECT_EQ(d->AlphaAt(0, 0), c.Mask);
    }
    if (!c.Exact) continue;
    for (int y = 0; y < 4; ++y)
      for (int x = (c.Mask >= 0 ? 1 : 0); x < 8; ++x) ASSERT_EQ(d->At(x, y), b.PixelAsRGB(x, y)) << x << "," << y;
  }
}

// The filter byte that leads every row of the inflated image data.
std::vector<int> FilterBytes(const Bytes& File, size_t RowLength, int Rows) {
  Bytes idat;
  const TChunks c = ChunksOf(File);
  for (size_t i = 0; i < c.Types.size(); ++i)
    if (c.Types[i] == "IDAT") idat.insert(idat.end(), c.Data[i].begin(), c.Data[i].end());
  Bytes raw((RowLength + 1) * size_t(Rows));
  uLongf n = uLongf(raw.size());
  if (uncompress(raw.data(), &n, idat.data(), uLong(idat.size())) != Z_OK) return {};
  std::vector<int> out;
  for (int r = 0; r < Rows; ++r) out.push_back(raw[size_t(r) * (RowLength + 1)]);
  return out;
}

TEST(PngWriter, RowFilterAndCompressionFromParameters) {
  TVLBitmap b;
  Paint(b, vl24RGB, [](int x, int y) { return TRGB{uint8_t(x), uint8_t(y), 9}; });
  for (const auto& [filter, expected] : {std::pair{0, 0}, {1, 1}, {2, 4}}) {
    TIOParamsVals params;
    params.PngRowFilter = uint8_t(filter);
    params.PngCompression = 9;
    EXPECT_EQ(FilterBytes(Encode(b, params), 8 * 3, 4), std::vector<int>(4, expected)) << filter;
  }
}

TEST(PngWriter, BackgroundAtTheImagesDepth) {
  TVLBitmap b;
  Paint(b, vl8g, [](int x, int) { return Gray(17 * x); });
  TIOParamsVals params;
  params.BitsPerSample = 4;
  params.SamplesPerPixel = 1;
  params.PngBackground = Gray(136);
  const Bytes gray4 = Encode(b, params);
  ASSERT_EQ(ChunksOf(gray4).Depth, 4);
  EXPECT_EQ(*ChunksOf(gray4).Find("bKGD"), (Bytes{0, 8}));
  EXPECT_EQ(Decode(gray4, false, true, true)->Params.PngBackground, Gray(136));
  params.SamplesPerPixel = 3;
  params.BitsPerSample = 8;
  params.PngBackground = TRGB{3, 2, 1};
  EXPECT_EQ(*ChunksOf(Encode(b, params)).Find("bKGD"), (Bytes{0, 1, 0, 2, 0, 3}));
}

TEST(PngWriter, TextKeywordsAndEncodings) {
  TVLBitmap b;
  Paint(b, vl24RGB, [](int, int) { return Gray(1); });
  TIOParamsVals params;
  params.PngTextKeys = {"", "Title", "two  spaces", "Author", "Caf\xc3\xa9", "unpaired"};
  params.PngTextValues = {"skipped", "caf\xc3\xa9", "skipped", "\xce\xb1\xce\xb2", "x"};
  const Bytes file = Encode(b, params);
  const TChunks chunks = ChunksOf(file);
  EXPECT_EQ(*chunks.Find("tEXt"), (Bytes{'T', 'i', 't', 'l', 'e', 0, 'c', 'a', 'f', 0xE9}));
  EXPECT_TRUE(chunks.Has("iTXt"));
  auto d = Decode(file);
  EXPECT_EQ(d->Params.PngTextKeys, (std::vector<std::string>{"Title", "Author", "Caf\xc3\xa9"}));
  EXPECT_EQ(d->Params.PngTextValues, (std::vector<std::string>{"caf\xc3\xa9", "\xce\xb1\xce\xb2", "x"}));
}

TEST(PngWriter, InterlacedOutputReportsEveryPass) {
  TVLBitmap b;
  Paint(b, vl24RGB, [](int x, int y) { return TRGB{uint8_t(x), uint8_t(y), 0}; });
  TIOParamsVals params;
  params.PngInterlaced = true;
  TMemoryStream s;
  TVLProgressState p;
  int calls = 0;
  p.OnProgress = [&](TObject*, int) { ++calls; };
  EncodePng(s, b, params, nullptr, p);
  EXPECT_EQ(calls, 4 * 7);
  const Bytes file(s.Memory(), s.Memory() + s.Length());
  EXPECT_EQ(ChunksOf(file).Interlace, 1);
  EXPECT_EQ(Decode(file)->At(7, 3), (TRGB{7, 3, 0}));
}

// A stream that takes at most Limit bytes, then takes fewer or throws.
class TLimitedStream : public TMemoryStream {
 public:
  TLimitedStream(size_t Limit, bool Throw) : FLimit(Limit), FThrow(Throw) {}
  size_t Write(const void* Buffer, size_t Count) override {
    if (Length() + Count > FLimit) {
      if (FThrow) throw std::runtime_error("disk gone");
      return TMemoryStream::Write(Buffer, FLimit - Length());
    }
    return TMemoryStream::Write(Buffer, Count);
  }

 private:
  size_t FLimit;
  bool FThrow;
};

TEST(PngWriter, ShortAndThrowingStreams) {
  TVLBitmap b;
  Paint(b, vl24RGB, [](int x, int y) { return TRGB{uint8_t(x * 9), uint8_t(y * 5), 3}; });
  for (size_t limit : {0, 10, 60}) {
    TIOParamsVals params;
    TLimitedStream shortStream(limit, false);
    bool aborted = false;
    TVLProgressState p;
    p.AbortFlag = &aborted;
    EXPECT_NO_THROW(EncodePng(shortStream, b, params, nullptr, p));
    EXPECT_TRUE(aborted) << limit;
    TLimitedStream throwing(limit, true);
    EXPECT_THROW(EncodePng(throwing, b, params, nullptr, p), std::runtime_error);
  }
}

}  // namespace
