// The TIFF reader on crafted files: byte orders and value layouts, the directory walk, strip
// and tile bounds, untrusted sizes, the pixel-format table, alpha, orientation, resolution,
// and the Exif fields.

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/codecs/exif_decode.h"
#include "imaging/codecs/jpeg_codec.h"
#include "tiff_test_support.h"

namespace {

using namespace tifftest;

// A W x H RGB image whose pixel (x, y) is (x * 10, y * 20, x + y).
Bytes RgbPixels(uint32_t W, uint32_t H) {
  Bytes p;
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x) p.insert(p.end(), {uint8_t(x * 10), uint8_t(y * 20), uint8_t(x + y)});
  return p;
}

void ExpectRgbPixels(TRead& R, int32_t W, int32_t H, int32_t Rows = -1) {
  ASSERT_EQ(R.Bitmap.Width(), W);
  ASSERT_EQ(R.Bitmap.Height(), H);
  for (int32_t y = 0; y < (Rows < 0 ? H : Rows); ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TRGB c = R.Bitmap.PixelRGB(x, y);
      ASSERT_EQ(c, MakeRGB(uint8_t(x * 10), uint8_t(y * 20), uint8_t(x + y))) << x << "," << y;
    }
}

TEST(TiffReader, ByteOrdersAndStripLayouts) {
  const Bytes px = RgbPixels(5, 4);
  struct Case {
    const char* Name;
    bool Le;
    std::function<void(TTiffBuilder&)> Extra;
  } cases[] = {
      {"little-endian", true, {}},
      {"big-endian", false, {}},
      {"RowsPerStrip 0", true, [](TTiffBuilder& b) { b.Long(278, {0}); }},
      {"RowsPerStrip huge", false, [](TTiffBuilder& b) { b.Long(278, {0xFFFFFFF0}); }},
      {"byte count 0", true, [](TTiffBuilder& b) { b.Long(279, {0}); }},
      {"byte count huge", false, [](TTiffBuilder& b) { b.Long(279, {0xFFFFFF00}); }},
      {"byte counts missing", true, [](TTiffBuilder& b) { b.Raw(279, 99, 0, {}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTiffBuilder b(c.Le);
    // Entries added first win over the ones Image adds.
    if (c.Extra) c.Extra(b);
    b.Image(5, 4, 3, 8, 2, px);
    const auto r = ReadTiff(b.Build());
    EXPECT_FALSE(r->Abort);
    EXPECT_EQ(r->Pages, 1);
    EXPECT_EQ(r->Params.TiffWarningCount, 0);
    ExpectRgbPixels(*r, 5, 4);
  }
}

TEST(TiffReader, StripsWithoutByteCountsEndAtTheNextStrip) {
  // Two LZW-less PackBits strips of two rows each, no StripByteCounts: each strip must stop
  // where the next one starts.
  const Bytes rows01 = {2, 1, 2, 3, 2, 4, 5, 6};  // literal runs of 3 bytes: rows 0 and 1
  const Bytes rows23 = {2, 7, 8, 9, 2, 10, 11, 12};
  TTiffBuilder b;
  const size_t s0 = b.AddBlob(rows01), s1 = b.AddBlob(rows23);
  b.Long(256, {1}).Long(257, {4}).Short(277, {3}).Short(258, {8, 8, 8}).Short(262, {2});
  b.Short(259, {32773}).Long(278, {2}).Long(273, {b.BlobOffset(s0), b.BlobOffset(s1)});
  const auto r = ReadTiff(b.Build());
  ASSERT_FALSE(r->Abort);
  for (int32_t y = 0; y < 4; ++y)
    EXPECT_EQ(r->Bitmap.PixelRGB(0, y), MakeRGB(uint8_t(1 + 3 * y), uint8_t(2 + 3 * y), uint8_t(3 + 3 * y)));
}

TEST(TiffReader, FailuresAndNonFailures) {
  const Bytes px = RgbPixels(2, 2);
  struct Case {
    const char* Name;
    Bytes File;
    bool Abort;
  } cases[] = {
      {"header under 8 bytes", Bytes{'I', 'I', 42, 0, 8}, true},
      {"bad byte order", Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}, true},
      {"first directory offset 0", Bytes{'I', 'I', 42, 0, 0, 0, 0, 0}, false},
      {"first directory outside the file", Bytes{'I', 'I', 42, 0, 0, 1, 0, 0}, true},
      {"unequal BitsPerSample", TTiffBuilder().Short(258, {8, 8, 16}).Image(2, 2, 3, 8, 2, px).Build(), true},
      {"zero width", TTiffBuilder().Long(256, {0}).Image(2, 2, 3, 8, 2, px).Build(), true},
      {"huge size", TTiffBuilder().Long(256, {200000}).Long(257, {200000}).Image(2, 2, 3, 8, 2, px).Build(), true},
      {"huge samples", TTiffBuilder().Long(256, {1000000}).Short(277, {60000}).Image(2, 2, 3, 8, 2, px).Build(), true},
      {"unknown compression", TTiffBuilder().Image(2, 2, 3, 8, 2, px, 8).Build(), false},
      {"unknown photometric", TTiffBuilder().Image(2, 2, 3, 8, 7, px).Build(), false},
      {"fax-coded RGB", TTiffBuilder().Image(40, 2, 3, 8, 2, Bytes(8, 0), 4).Build(), false},
      {"old-style JPEG not there", TTiffBuilder().Image(2, 2, 3, 8, 6, px, 6).Build(), true},
      {"planar tiles", TTiffBuilder().Short(284, {2}).Long(322, {16}).Long(323, {16}).Image(2, 2, 3, 8, 2, px).Build(), true},
      {"zero tile width", TTiffBuilder().Long(322, {0}).Long(323, {16}).Image(2, 2, 3, 8, 2, px).Build(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto r = ReadTiff(c.File);
    EXPECT_EQ(r->Abort, c.Abort);
  }
}

// The second directory of an EXIF block is its thumbnail, an interchange-format JPEG: read
// and turned upright by the block's orientation.
TEST(TiffReader, ExifThumbnail) {
  TVLBitmap small;
  small.Allocate(8, 4, vl24RGB);
  TIOParamsVals writeParams;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  TMemoryStream jpeg;
  EncodeJpeg(jpeg, small, writeParams, progress);
  ASSERT_FALSE(abort);
  const Bytes thumb(jpeg.Memory(), jpeg.Memory() + jpeg.Length());
  TTiffBuilder b;
  const size_t blob = b.AddBlob(thumb);
  b.Ascii(271, "Maker").Short(274, {6}).NextDirectory();
  b.Short(259, {6}).Long(513, {b.BlobOffset(blob)}).Long(514, {uint32_t(thumb.size())});
  Bytes block = {'E', 'x', 'i', 'f', 0, 0};
  const Bytes tiff = b.Build();
  block.insert(block.end(), tiff.begin(), tiff.end());
  TIOParamsVals p;
  ASSERT_TRUE(DecodeExifBlock(block.data(), block.size(), p));
  EXPECT_EQ(p.ExifMake, "Maker");
  ASSERT_TRUE(p.ExifThumbnail);
  EXPECT_EQ(p.ExifThumbnail->Width(), 4);
  EXPECT_EQ(p.ExifThumbnail->Height(), 8);
}

// Inputs the fuzzer found, read as a file and as an EXIF block: they must not crash.
TEST(TiffReader, FuzzerFindings) {
  for (const char* name : {"fuzz_row_shorter_than_conversion.bin"}) {
    std::ifstream in(std::string(VANDREL_SOURCE_DIR) + "/tests/data/tiff/" + name, std::ios::binary);
    const Bytes data(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(data.empty()) << name;
    ReadTiff(data);
    Bytes block = {'E', 'x', 'i', 'f', 0, 0};
    block.insert(block.end(), data.begin(), data.end());
    TIOParamsVals p;
    EXPECT_TRUE(DecodeExifBlock(block.data(), block.size(), p));
  }
}

TEST(TiffReader, DirectoryWalk) {
  const Bytes px = RgbPixels(2, 2);
  auto pages = [&](int n) {
    TTiffBuilder b;
    for (int i = 0; i < n; ++i) {
      if (i) b.NextDirectory();
      b.Image(uint32_t(2 + i), 2, 3, 8, 2, RgbPixels(uint32_t(2 + i), 2)).Ascii(285, "page" + std::to_string(i));
    }
    return b;
  };
  const Bytes three = pages(3).Build();
  for (int index : {0, 1, 2}) {
    const auto r = ReadTiff(three, [&](TIOParamsVals& p) { p.TiffDirectoryIndex = index; });
    EXPECT_FALSE(r->Abort);
    EXPECT_EQ(r->Pages, 3);
    EXPECT_EQ(r->Params.ImageCount(), 3);
    EXPECT_EQ(r->Bitmap.Width(), 2 + index);
    EXPECT_EQ(r->Params.TiffPageName, "page" + std::to_string(index));
  }
  // A page that does not exist: nothing changes, and that is no failure.
  const auto missing = ReadTiff(three, [](TIOParamsVals& p) { p.TiffDirectoryIndex = 5; });
  EXPECT_FALSE(missing->Abort);
  EXPECT_TRUE(missing->Bitmap.IsEmpty());

  EXPECT_EQ(ReadTiff(pages(1).Link(0, -2).Build())->Pages, 1);  // points to itself
  EXPECT_EQ(ReadTiff(pages(2).Link(1, 0).Build())->Pages, 2);   // second back to the first
  EXPECT_EQ(ReadTiff(pages(3).Link(2, 1).Build())->Pages, 3);   // third back to the second

  // The same file embedded 100 bytes into a stream: offsets count from there.
  Bytes embedded(100, 0xAA);
  embedded.insert(embedded.end(), three.begin(), three.end());
  const auto r = ReadTiff(embedded, [](TIOParamsVals& p) { p.TiffDirectoryIndex = 2; }, false, 100);
  EXPECT_FALSE(r->Abort);
  EXPECT_EQ(r->Pages, 3);
  ExpectRgbPixels(*r, 4, 2);
}

TEST(TiffReader, TruncatedStripKeepsItsRowsAndCountsAWarning) {
  Bytes file = TTiffBuilder().Image(5, 4, 3, 8, 2, RgbPixels(5, 4)).Build();
  file.resize(file.size() - 20);  // the last row and a bit of the third are gone
  const auto r = ReadTiff(file);
  EXPECT_FALSE(r->Abort);
  EXPECT_EQ(r->Params.TiffWarningCount, 1);
  ExpectRgbPixels(*r, 5, 4, 2);
  EXPECT_EQ(r->Bitmap.PixelRGB(4, 3), MakeRGB(0, 0, 0));
}

TEST(TiffReader, TilesAreClippedAtTheEdges) {
  // A 20 x 10 gray image in four 16 x 16 tiles: values x + 16 * tile index.
  TTiffBuilder b;
  std::vector<uint32_t> offsets;
  for (int t = 0; t < 2; ++t) {
    Bytes tile(256);
    for (int i = 0; i < 256; ++i) tile[size_t(i)] = uint8_t(i % 16 + 16 * t);
    offsets.push_back(b.BlobOffset(b.AddBlob(tile)));
  }
  b.Long(256, {20}).Long(257, {10}).Short(258, {8}).Short(262, {1}).Long(322, {16}).Long(323, {16});
  b.Long(324, offsets).Long(325, {256, 256});
  // Also into a file-backed bitmap, where a tile must not erase the tile beside it.
  for (int mode = 0; mode < 3; ++mode) {
    const bool native = mode == 1;
    const auto r = ReadTiff(b.Build(), [&](TIOParamsVals& p) { p.KeepNativeFormat = native; },
                            false, 0, mode == 2);
    ASSERT_FALSE(r->Abort);
    EXPECT_EQ(r->Bitmap.PixelFormat(), native ? vl8g : vl24RGB);
    if (mode == 2) {
      EXPECT_EQ(r->Bitmap.Location(), vlFile);
    }
    EXPECT_EQ(r->Bitmap.Width(), 20);
    for (int32_t y : {0, 9})
      for (int32_t x : {0, 15, 16, 19}) EXPECT_EQ(r->Bitmap.PixelAsRGB(x, y).g, x % 16 + 16 * (x / 16));
  }
}

TEST(TiffReader, PixelFormatTable) {
  struct Case {
    const char* Name;
    uint32_t Spp, Bits, Photometric;
    Bytes Pixel;  // one pixel
    TVLPixelFormat Native, Plain;
    TRGB Color;
  } cases[] = {
      {"gray 8", 1, 8, 1, {200}, vl8g, vl24RGB, MakeRGB(200, 200, 200)},
      {"min-is-white 8", 1, 8, 0, {200}, vl24RGB, vl24RGB, MakeRGB(55, 55, 55)},
      {"gray 4", 1, 4, 1, {0xF0}, vl24RGB, vl24RGB, MakeRGB(240, 240, 240)},
      {"gray 16 le", 1, 16, 1, {0x34, 0x12}, vl16g, vl24RGB, MakeRGB(0x12, 0x12, 0x12)},
      {"rgb 16", 3, 16, 2, {0, 1, 0, 2, 0, 3}, vlRGB48, vl24RGB, MakeRGB(1, 2, 3)},
      {"rgb 555", 1, 16, 2, {0x43, 0x7C}, vl24RGB, vl24RGB, MakeRGB(248, 16, 24)},
      {"cmyk 8", 4, 8, 5, {0, 0, 0, 0}, vlCMYK, vl24RGB, MakeRGB(255, 255, 255)},
      {"bilevel", 1, 1, 1, {0x80}, vl1g, vl1g, MakeRGB(255, 255, 255)},
      {"bilevel min-is-white", 1, 1, 0, {0x80}, vl1g, vl1g, MakeRGB(0, 0, 0)},
  };
  for (const Case& c : cases)
    for (bool native : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (native ? " native" : ""));
      const auto r = ReadTiff(TTiffBuilder().Image(1, 1, c.Spp, c.Bits, c.Photometric, c.Pixel).Build(),
                              [&](TIOParamsVals& p) { p.KeepNativeFormat = native; });
      ASSERT_FALSE(r->Abort);
      EXPECT_EQ(r->Bitmap.PixelFormat(), native ? c.Native : c.Plain);
      EXPECT_EQ(r->Bitmap.PixelAsRGB(0, 0), c.Color);
    }
}

TEST(TiffReader, PaletteAndAlpha) {
  // A 4-entry 2-bit palette from a 16-bit colour map (high bytes used).
  std::vector<uint32_t> map = {0x1000, 0x2000, 0x3000, 0x4000, 0x0100, 0x0200, 0x0300, 0x0400,
                               0xFF00, 0xFE00, 0xFD00, 0xFC00};
  const auto pal = ReadTiff(TTiffBuilder().Short(320, map).Image(4, 1, 1, 2, 3, {0x1B}).Build());
  ASSERT_FALSE(pal->Abort);
  EXPECT_EQ(pal->Bitmap.PixelRGB(0, 0), MakeRGB(0x10, 0x01, 0xFF));
  EXPECT_EQ(pal->Bitmap.PixelRGB(3, 0), MakeRGB(0x40, 0x04, 0xFC));
  EXPECT_EQ(pal->Params.ColorMapCount(), 4);

  // Palette with alpha, gray with alpha and RGBA: alpha is the extra sample as stored.
  std::vector<uint32_t> map8(768, 0);
  struct Case {
    const char* Name;
    TTiffBuilder File;
  } cases[] = {
      {"palette + alpha", TTiffBuilder().Short(320, map8).Image(2, 1, 2, 8, 3, {1, 0, 1, 200})},
      {"gray + alpha", TTiffBuilder().Image(2, 1, 2, 8, 1, {9, 0, 9, 200})},
      {"rgba", TTiffBuilder().Short(338, {2}).Image(2, 1, 4, 8, 2, {1, 2, 3, 0, 1, 2, 3, 200})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto r = ReadTiff(c.File.Build());
    ASSERT_FALSE(r->Abort);
    ASSERT_TRUE(r->Mask);
    EXPECT_EQ(r->Mask->GetPixel(0, 0), 0);
    EXPECT_EQ(r->Mask->GetPixel(1, 0), 200);
  }
}

TEST(TiffReader, AutoOrientTurnsImageAndAlpha) {
  // 3 x 2 RGBA, orientation 6 (a quarter turn clockwise): 2 x 3 afterwards.
  Bytes px;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) px.insert(px.end(), {uint8_t(x), uint8_t(y), 0, uint8_t(x == 0 && y == 0 ? 0 : 255)});
  const auto r = ReadTiff(TTiffBuilder().Short(274, {6}).Image(3, 2, 4, 8, 2, px).Build(),
                          [](TIOParamsVals& p) { p.TiffAutoOrient = true; });
  ASSERT_FALSE(r->Abort);
  EXPECT_EQ(r->Bitmap.Width(), 2);
  EXPECT_EQ(r->Bitmap.Height(), 3);
  ASSERT_TRUE(r->Mask);
  EXPECT_EQ(r->Mask->Width(), 2);
  EXPECT_EQ(r->Mask->GetPixel(1, 0), 0);  // the top-left pixel went to the top-right
  EXPECT_EQ(r->Bitmap.PixelRGB(1, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(r->Bitmap.PixelRGB(0, 2), MakeRGB(2, 1, 0));
}

TEST(TiffReader, ResolutionAndTexts) {
  struct Case {
    const char* Name;
    uint32_t Num, Den, Unit;
    int32_t Dpi;
  } cases[] = {{"cm", 11811, 100, 3, 299}, {"inch", 72, 1, 2, 72}, {"none", 0, 0, 0, 300},
               {"huge", 0xFFFFFFFF, 1, 3, 2147483647}, {"zero denominator", 150, 0, 2, 150}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTiffBuilder b(false);
    if (c.Unit) b.Rational(282, c.Num, c.Den).Rational(283, c.Num, c.Den).Short(296, {c.Unit});
    b.Ascii(271, "Maker").Ascii(270, "Hi").Image(1, 1, 1, 8, 1, {0});
    const auto r = ReadTiff(b.Build());
    EXPECT_EQ(r->Params.DpiX(), c.Dpi);
    EXPECT_EQ(r->Params.DpiY(), c.Dpi);
    EXPECT_EQ(r->Params.ExifMake, "Maker");
    EXPECT_EQ(r->Params.TiffImageDescription, "Hi");
    EXPECT_EQ(r->Params.ExifImageDescription, "Hi");
    EXPECT_FALSE(r->Params.ExifPresent);
  }
}

TEST(TiffReader, ExifDirectoryOfAFileAndOfAJpegBlock) {
  const std::string path = std::string(VANDREL_TESTDATA_DIR) + "/tiff/exif_subifd.tif";
  std::ifstream in(path, std::ios::binary);
  if (!in) GTEST_SKIP() << "no corpus";
  const Bytes file(std::istreambuf_iterator<char>(in), {});
  const auto r = ReadTiff(file);
  ASSERT_FALSE(r->Abort);
  const TIOParamsVals& p = r->Params;
  EXPECT_TRUE(p.ExifPresent);
  EXPECT_EQ(p.ExifMake, "TestMaker");
  EXPECT_EQ(p.ExifModel, "TM-1");
  EXPECT_EQ(p.ExifDateTimeOriginal, "2021:03:04 05:06:07");
  EXPECT_DOUBLE_EQ(p.ExifExposureTime, 1.0 / 125);
  EXPECT_DOUBLE_EQ(p.ExifFNumber, 5.6);
  EXPECT_EQ(p.ExifISOSpeedRatings[0], 200);
  EXPECT_DOUBLE_EQ(p.ExifFocalLength, 35);
  EXPECT_EQ(p.ExifVersion, "0230");
  EXPECT_FALSE(p.ExifUserComment.empty());

  // The same structure as an EXIF block: accepted and read; a damaged one is accepted by its
  // header but leaves the fields empty.
  Bytes block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), file.begin(), file.end());
  TIOParamsVals fromBlock;
  EXPECT_TRUE(DecodeExifBlock(block.data(), block.size(), fromBlock));
  EXPECT_TRUE(fromBlock.ExifPresent);
  EXPECT_EQ(fromBlock.ExifModel, "TM-1");
  const Bytes damaged = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0};
  TIOParamsVals none;
  EXPECT_TRUE(DecodeExifBlock(damaged.data(), damaged.size(), none));
  EXPECT_FALSE(none.ExifPresent);

  // A JPEG whose EXIF block points its first directory outside the block still loads.
  std::ifstream jin(std::string(VANDREL_TESTDATA_DIR) + "/jpeg/exif_72dpi_orient6.jpg", std::ios::binary);
  Bytes jpeg(std::istreambuf_iterator<char>(jin), {});
  const char tag[] = "Exif\0\0";
  const auto at = std::search(jpeg.begin(), jpeg.end(), tag, tag + 6);
  ASSERT_NE(at, jpeg.end());
  std::fill(at + 10, at + 14, 0xFF);
  TMemoryStream stream(jpeg.data(), jpeg.size());
  TVLBitmap bitmap;
  TIOParamsVals params;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  DecodeJpeg(stream, nullptr, bitmap, false, false, true, false, false, progress, params);
  EXPECT_FALSE(abort);
  EXPECT_FALSE(params.ExifPresent);
  EXPECT_EQ(bitmap.Width(), 227);
}

}  // namespace
