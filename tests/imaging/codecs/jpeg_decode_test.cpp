// The JPEG reader against the corpus and its references, and the reader's parameter fields,
// stream handling, scaling and failure behaviour.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "imaging/codecs/exif_decode.h"
#include "imaging/codecs/jpeg/jpeg_glue.h"

#include <jerror.h>
#include "jpeg_test_support.h"

using namespace jpegtest;

namespace {

struct TManifestLine {
  std::string Path, Expected, Reference;
  int32_t Width = 0, Height = 0;
};

std::vector<TManifestLine> JpegManifest() {
  std::vector<TManifestLine> out;
  std::ifstream in(TestData("MANIFEST.tsv"));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string col; std::getline(ss, col, '\t');) f.push_back(col);
    if (f.size() < 7 || f[1] != "JPEG") continue;
    out.push_back({f[0], f[5], f[6], std::atoi(f[2].c_str()), std::atoi(f[3].c_str())});
  }
  return out;
}

#define REQUIRE_CORPUS() \
  if (!HaveTestData()) GTEST_SKIP() << "no test corpus at " << TestData()

}  // namespace

// Every JPEG of the corpus decodes within one level of its reference, or is rejected as its
// line says; the stream is left after the data that was consumed.
TEST(JpegDecode, CorpusByManifest) {
  REQUIRE_CORPUS();
  const std::vector<TManifestLine> lines = JpegManifest();
  ASSERT_GE(lines.size(), 20u);
  for (const TManifestLine& l : lines) {
    SCOPED_TRACE(l.Path);
    const std::vector<uint8_t> bytes = ReadBytes(TestData(l.Path));
    TMemoryStream stream(bytes.data(), bytes.size());
    testing::internal::CaptureStderr();
    const auto d = Decode(stream);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the library printed something";
    if (l.Expected == "must be rejected") {
      EXPECT_TRUE(d->Abort);
      continue;
    }
    if (l.Expected == "optional" && d->Abort) continue;
    ASSERT_FALSE(d->Abort);
    TRgba ref;
    ASSERT_TRUE(ReadPng(TestData(l.Reference), ref));
    EXPECT_EQ(d->Bitmap.PixelFormat(), vl24RGB);
    EXPECT_EQ(d->Params.JpegFullWidth, l.Width);
    EXPECT_EQ(d->Params.JpegFullHeight, l.Height);
    EXPECT_LE(MaxDifference(d->Bitmap, ref), 1);
    if (l.Expected == "partial") {
      EXPECT_GT(d->Params.JpegWarningCount, 0);
    } else {
      EXPECT_EQ(d->Params.JpegWarningCount, 0);
      EXPECT_EQ(stream.Position(), int64_t(bytes.size()));
    }
  }
}

// What the reader leaves in the parameter set, file by file.
TEST(JpegDecode, ParameterFieldsByFile) {
  REQUIRE_CORPUS();
  struct Case {
    const char* File;
    TVLJPEGColorSpace Space;
    int32_t Samples;
    bool Progressive;
    int32_t Dpi;              // after the read (1: none in the file)
    const char* MarkerTypes;  // the marker list, as marker bytes in hex
  } cases[] = {
      {"baseline_q85.jpg", jcYCbCr, 3, false, 1, ""},
      {"gray.jpg", jcGrayScale, 1, false, 1, ""},
      {"progressive.jpg", jcYCbCr, 3, true, 1, ""},
      {"cmyk_adobe.jpg", jcYCbCrK, 4, false, 1, "ee"},
      {"jfif_118dpcm.jpg", jcYCbCr, 3, false, 299, ""},
      {"icc_app2.jpg", jcYCbCr, 3, false, 1, "e2"},
      {"icc_multichunk.jpg", jcYCbCr, 3, false, 1, "e2e2e2"},
      {"iptc_app13.jpg", jcYCbCr, 3, false, 1, "ed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    const auto d = Decode(ReadBytes(TestData(std::string("jpeg/") + c.File)));
    ASSERT_FALSE(d->Abort);
    EXPECT_EQ(d->Params.JpegColorSpace, c.Space);
    EXPECT_EQ(d->Params.SamplesPerPixel, c.Samples);
    EXPECT_EQ(d->Params.BitsPerSample, 8);
    EXPECT_EQ(d->Params.JpegProgressive, c.Progressive);
    EXPECT_EQ(d->Params.DpiX(), c.Dpi);
    EXPECT_EQ(d->Params.DpiY(), c.Dpi);
    EXPECT_EQ(d->Params.Width, 227);
    EXPECT_EQ(d->Params.JpegScaleApplied, 1);
    std::string types;
    char hex[3];
    for (int32_t i = 0; i < d->Params.JpegMarkers.Count(); ++i) {
      std::snprintf(hex, sizeof hex, "%02x", d->Params.JpegMarkers.EntryType(i));
      types += hex;
    }
    EXPECT_EQ(types, c.MarkerTypes);  // the JFIF APP0 is never in the list
  }
  // The ICC profile is gathered from all its chunks; IPTC records are read.
  const auto icc = Decode(ReadBytes(TestData("jpeg/icc_multichunk.jpg")));
  EXPECT_EQ(icc->Params.SourceProfile().RawLength(), 170444u);
  EXPECT_TRUE(icc->Params.SourceProfile().HasOpenProfile());
  const auto iptc = Decode(ReadBytes(TestData("jpeg/iptc_app13.jpg")));
  EXPECT_GE(iptc->Params.IptcRecords.Count(), 5);
  // A gray file gives equal channels.
  const auto gray = Decode(ReadBytes(TestData("jpeg/gray.jpg")));
  const uint8_t* p = gray->Bitmap.Scanline(70) + 100 * 3;
  EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
}

// With KeepNativeFormat the file's own layout is kept.
TEST(JpegDecode, NativeFormats) {
  REQUIRE_CORPUS();
  struct Case {
    const char* File;
    TVLPixelFormat Format;
  } cases[] = {{"gray.jpg", vl8g}, {"cmyk_adobe.jpg", vlCMYK}, {"baseline_q85.jpg", vl24RGB}};
  for (const Case& c : cases) {
    const auto d = Decode(ReadBytes(TestData(std::string("jpeg/") + c.File)),
                          {.Setup = [](TIOParamsVals& p) { p.KeepNativeFormat = true; }});
    EXPECT_FALSE(d->Abort) << c.File;
    EXPECT_EQ(d->Bitmap.PixelFormat(), c.Format) << c.File;
  }
  // Kept CMYK converts to the same colours as the reader's own conversion.
  const std::vector<uint8_t> cmyk = ReadBytes(TestData("jpeg/cmyk_adobe.jpg"));
  auto native = Decode(cmyk, {.Setup = [](TIOParamsVals& p) { p.KeepNativeFormat = true; }});
  const auto rgb = Decode(cmyk);
  native->Bitmap.SetPixelFormat(vl24RGB);
  for (int32_t y = 0; y < 149; y += 37)
    EXPECT_EQ(std::memcmp(native->Bitmap.Scanline(y), rgb->Bitmap.Scanline(y), 227 * 3), 0);
}

// KeepYCbCr stores the components as coded: Y, Cb, Cr for a YCbCr file, blue, green, red for
// an RGB one (reordered once, by the library).
TEST(JpegDecode, KeepYCbCrStoresTheCodedComponents) {
  TVLBitmap red;
  red.Allocate(16, 16, vl24RGB);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) red.SetPixelRGB(x, y, TRGB{0, 0, 255});  // b, g, r
  struct Case {
    TVLJPEGColorSpace Space;
    uint8_t Want[3];  // bytes of a pixel, in memory order
  } cases[] = {{jcYCbCr, {76, 85, 255}}, {jcRGB, {0, 0, 255}}};
  for (const Case& c : cases) {
    TIOParamsVals params;
    params.JpegColorSpace = c.Space;
    params.JpegQuality = 100;
    const auto d = Decode(Encode(red, params), {.KeepYCbCr = true, .Setup = {}});
    ASSERT_FALSE(d->Abort);
    const uint8_t* p = d->Bitmap.Scanline(8) + 8 * 3;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], c.Want[i], 2) << int(c.Space) << " byte " << i;
  }
}

// The start is searched among the first 100 offsets, whatever the junk holds.
TEST(JpegDecode, JunkBeforeTheStart) {
  REQUIRE_CORPUS();
  const std::vector<uint8_t> jpeg = ReadBytes(TestData("jpeg/baseline_q85.jpg"));
  for (const size_t junk : {0, 1, 57, 99, 100, 150}) {
    for (const uint8_t fill : {uint8_t(0x00), uint8_t(0xFF)}) {
      std::vector<uint8_t> bytes(junk, fill);
      bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
      TMemoryStream stream(bytes.data(), bytes.size());
      EXPECT_EQ(LocateJpegStart(stream), junk < 100 ? int64_t(junk) : -1);
      EXPECT_EQ(stream.Position(), 0);
      EXPECT_EQ(Decode(stream)->Abort, junk >= 100) << junk << " bytes of " << int(fill);
    }
  }
}

// A cut anywhere in the scan data still decodes: one warning, the rows the data gave, and
// AbortFlag clear. A cut in the header fails.
TEST(JpegDecode, TruncatedData) {
  REQUIRE_CORPUS();
  const std::vector<uint8_t> jpeg = ReadBytes(TestData("jpeg/baseline_q85.jpg"));
  TRgba ref;
  ASSERT_TRUE(ReadPng(TestData("jpeg/ref/baseline_q85.png"), ref));
  for (const double part : {0.3, 0.55, 0.9, 0.999}) {
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() * part));
    testing::internal::CaptureStderr();
    const auto d = Decode(cut);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(d->Abort) << part;
    EXPECT_EQ(d->Params.JpegWarningCount, 1) << part;
    EXPECT_EQ(d->Params.JpegLastWarning, int32_t(JWRN_HIT_MARKER)) << part;
    EXPECT_LE(MaxDifference(d->Bitmap, ref, 8), 1) << part;  // the first MCU row survives
  }
  for (const size_t keep : {size_t(0), size_t(2), size_t(3), size_t(200)}) {
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(keep));
    EXPECT_TRUE(Decode(cut)->Abort) << keep;
  }
}

// Scaled reads use the library's reduced decoding and match djpeg -scale.
TEST(JpegDecode, ScaledReads) {
  REQUIRE_CORPUS();
  struct Case {
    const char* File;
    TVLJPEGScale Scale;
    int32_t Width, Height;  // target for jsAutoCalc
    int32_t Denominator;
    const char* Reference;  // djpeg -scale output, or null
  } cases[] = {
      {"big_2000x1600.jpg", jsAutoCalc, 500, 400, 4, "jpeg/ref/big_2000x1600.scale1_4.png"},
      {"big_1999x1600.jpg", jsAutoCalc, 500, 400, 2, "jpeg/ref/big_1999x1600.scale1_2.png"},
      {"big_2000x1600.jpg", jsQuarter, 0, 0, 4, "jpeg/ref/big_2000x1600.scale1_4.png"},
      {"big_2000x1600.jpg", jsAutoCalc, 0, 400, 1, nullptr},
      {"big_2000x1600.jpg", jsAutoCalc, 3000, 10, 1, nullptr},
      {"baseline_q85.jpg", jsEighth, 0, 0, 8, nullptr},
      {"baseline_q85.jpg", jsHalf, 0, 0, 2, nullptr},
  };
  TempFolder dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.File << " scale " << int(c.Scale));
    const std::string path = TestData(std::string("jpeg/") + c.File);
    const auto d = Decode(ReadBytes(path), {.Setup = [&](TIOParamsVals& p) {
                            p.JpegScale = c.Scale;
                            p.Width = c.Width;
                            p.Height = c.Height;
                          }});
    ASSERT_FALSE(d->Abort);
    EXPECT_EQ(d->Params.JpegScaleApplied, c.Denominator);
    EXPECT_EQ(d->Params.Width, (d->Params.JpegFullWidth + c.Denominator - 1) / c.Denominator);
    EXPECT_EQ(d->Bitmap.Width(), d->Params.Width);
    TRgba ref;
    if (c.Reference != nullptr) {
      ASSERT_TRUE(ReadPng(TestData(c.Reference), ref));
    } else if (HaveTool("djpeg")) {
      const std::string ppm = dir / "scaled.ppm";
      ASSERT_TRUE(RunCommand("djpeg -scale 1/" + std::to_string(c.Denominator) + " -outfile " +
                             ppm + " " + path));
      ASSERT_TRUE(ReadPpm(ppm, ref));
    } else {
      continue;
    }
    EXPECT_EQ(MaxDifference(d->Bitmap, ref), 0);
  }
}

// ParamsOnly fills the size fields (the scaled output size included) and leaves the bitmap
// exactly as it was.
TEST(JpegDecode, ParamsOnlyLeavesTheBitmapAlone) {
  REQUIRE_CORPUS();
  TMemoryStream stream;
  stream.LoadFromFile(TestData("jpeg/exif_72dpi_orient6.jpg"));
  TDecoded d;
  d.Bitmap.Allocate(3, 2, vl8g);
  d.Bitmap.Fill(7);
  d.Params.JpegScale = jsHalf;
  d.Params.JpegAutoOrient = true;
  TVLProgressState progress;
  progress.AbortFlag = &d.Abort;
  DecodeJpeg(stream, nullptr, d.Bitmap, true, false, true, false, true, progress, d.Params);
  EXPECT_FALSE(d.Abort);
  EXPECT_EQ(d.Params.Width, 114);
  EXPECT_EQ(d.Params.Height, 75);
  EXPECT_EQ(d.Params.JpegFullWidth, 227);
  EXPECT_EQ(d.Params.JpegMarkers.FindType(0xE1), 0);
  ASSERT_EQ(d.Bitmap.Width(), 3);
  EXPECT_EQ(d.Bitmap.PixelFormat(), vl8g);
  EXPECT_EQ(d.Bitmap.Pixel8(2, 1), 7);
}

// Two images back to back in one stream are read one after the other.
TEST(JpegDecode, BackToBackImagesInOneStream) {
  REQUIRE_CORPUS();
  std::vector<uint8_t> bytes = ReadBytes(TestData("jpeg/baseline_q85.jpg"));
  const size_t first = bytes.size();
  const std::vector<uint8_t> second = ReadBytes(TestData("jpeg/gray.jpg"));
  bytes.insert(bytes.end(), second.begin(), second.end());
  TMemoryStream stream(bytes.data(), bytes.size());
  EXPECT_EQ(MeasureJpegData(stream), int64_t(first));
  const auto a = Decode(stream);
  EXPECT_EQ(stream.Position(), int64_t(first));
  const auto b = Decode(stream);
  EXPECT_EQ(stream.Position(), int64_t(bytes.size()));
  EXPECT_FALSE(a->Abort || b->Abort);
  EXPECT_EQ(a->Params.JpegColorSpace, jcYCbCr);
  EXPECT_EQ(b->Params.JpegColorSpace, jcGrayScale);
}

// Resolution from the EXIF block when the JFIF header gives only an aspect ratio, and the
// EXIF orientation applied on request. Needs the EXIF reader of the TIFF reader.
TEST(JpegDecode, ExifResolutionAndOrientation) {
  REQUIRE_CORPUS();
  if (ExifTiffReader == nullptr) GTEST_SKIP() << "the EXIF reader is not installed";
  struct Case {
    const char* File;
    bool AutoOrient;
    int32_t Dpi, Width;
  } cases[] = {{"exif_72dpi_orient6.jpg", false, 72, 227},
               {"exif_72dpi_orient6.jpg", true, 72, 149},
               {"exif_28_35_cm.jpg", false, 72, 227}};
  for (const Case& c : cases) {
    const auto d = Decode(ReadBytes(TestData(std::string("jpeg/") + c.File)),
                          {.Setup = [&](TIOParamsVals& p) { p.JpegAutoOrient = c.AutoOrient; }});
    EXPECT_FALSE(d->Abort);
    EXPECT_TRUE(d->Params.ExifPresent) << c.File;
    EXPECT_EQ(d->Params.DpiX(), c.Dpi) << c.File;
    EXPECT_EQ(d->Params.DpiY(), c.Dpi) << c.File;
    EXPECT_EQ(d->Bitmap.Width(), c.Width) << c.File;
  }
}
