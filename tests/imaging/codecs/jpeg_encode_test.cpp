// The JPEG writer: the bytes the library's own encoder (cjpeg) makes from the same pixels,
// the JFIF header, the marker list, the colour spaces and the formats it converts.

#include <cstring>

#include "jpeg_test_support.h"

using namespace jpegtest;

namespace {

int32_t Be16(const std::vector<uint8_t>& J, size_t At) { return (J[At] << 8) | J[At + 1]; }

std::string MarkerOrder(const std::vector<uint8_t>& J) {
  std::string out;
  char hex[4];
  for (const TSegment& s : Segments(J)) {
    std::snprintf(hex, sizeof hex, "%02x ", s.Marker);
    out += hex;
  }
  return out;
}

}  // namespace

// Everything after the APP markers is what cjpeg writes for the same pixels with the matching
// options: the defaults are the library's at quality 80.
TEST(JpegEncode, SameBytesAsCjpeg) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
  struct Case {
    const char* Options;
    std::function<void(TIOParamsVals&)> Setup;
  } cases[] = {
      {"-quality 80", nullptr},
      {"-quality 80 -grayscale", [](TIOParamsVals& p) { p.JpegColorSpace = jcGrayScale; }},
      {"-quality 80 -rgb", [](TIOParamsVals& p) { p.JpegColorSpace = jcRGB; }},
      {"-quality 80 -progressive", [](TIOParamsVals& p) { p.JpegProgressive = true; }},
      {"-quality 80 -optimize", [](TIOParamsVals& p) { p.JpegOptimizeCoding = true; }},
      {"-quality 80 -dct fast", [](TIOParamsVals& p) { p.JpegDCTMethod = jdIFAST; }},
      {"-quality 80 -smooth 30", [](TIOParamsVals& p) { p.JpegSmoothing = 30; }},
      {"-quality 35", [](TIOParamsVals& p) { p.JpegQuality = 35; }},
  };
  TempFolder dir;
  TVLBitmap photo;
  MakePhoto(photo, 227, 149);
  WriteBytes(dir / "in.ppm", ToPpm(photo));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Options);
    TIOParamsVals params;
    if (c.Setup) c.Setup(params);
    const std::vector<uint8_t> ours = Encode(photo, params);
    ASSERT_TRUE(RunCommand(std::string("cjpeg ") + c.Options + " -outfile " + (dir / "ref.jpg") +
                           " " + (dir / "in.ppm")));
    const std::vector<uint8_t> ref = ReadBytes(dir / "ref.jpg");
    const std::vector<uint8_t> tail = AfterAppMarkers(ours);
    ASSERT_FALSE(tail.empty());
    EXPECT_TRUE(tail == AfterAppMarkers(ref)) << "the coded image differs from cjpeg's";
  }
}

// The JFIF header carries the resolution in dots per inch; missing and out-of-range values
// are replaced.
TEST(JpegEncode, JfifResolution) {
  struct Case {
    int32_t DpiX, DpiY;
    int32_t WantX, WantY;
  } cases[] = {{300, 300, 300, 300}, {72, 72, 72, 72},       {96, 200, 96, 200},
               {0, 0, 300, 300},     {-4, 70000, 300, 65535}, {65535, 1, 65535, 1}};
  TVLBitmap photo;
  MakePhoto(photo, 17, 9);
  for (const Case& c : cases) {
    TIOParamsVals params;
    params.SetDpiX(c.DpiX);
    params.SetDpiY(c.DpiY);
    const std::vector<uint8_t> j = Encode(photo, params);
    const std::vector<TSegment> segs = Segments(j);
    ASSERT_FALSE(segs.empty());
    ASSERT_EQ(segs[0].Marker, 0xE0);
    const size_t d = segs[0].Offset + 4;  // "JFIF" 0, version, unit, X, Y
    ASSERT_EQ(std::memcmp(&j[d], "JFIF", 5), 0);
    EXPECT_EQ(j[d + 7], 1) << "unit: dots per inch";
    EXPECT_EQ(Be16(j, d + 8), c.WantX) << c.DpiX;
    EXPECT_EQ(Be16(j, d + 10), c.WantY) << c.DpiY;
    // What is written is read back.
    const auto back = Decode(j);
    EXPECT_EQ(back->Params.DpiX(), c.WantX);
  }
}

// The marker list is written in its order after the JFIF header, except APP14 entries, which
// the library writes itself when the colour space needs one.
TEST(JpegEncode, MarkerListAndColourSpaces) {
  TVLBitmap photo;
  MakePhoto(photo, 33, 21);
  const uint8_t iptc[] = "8BIM iptc";
  const uint8_t exif[] = "Exif\0\0MM";
  const uint8_t adobe[] = "Adobe.......";
  struct Case {
    TVLJPEGColorSpace Space;
    const char* Order;
    TVLJPEGColorSpace ReadBack;
    int32_t Samples;
  } cases[] = {
      {jcYCbCr, "e0 ed e1 fe db ", jcYCbCr, 3},
      {jcGrayScale, "e0 ed e1 fe db ", jcGrayScale, 1},
      {jcRGB, "ee ed e1 fe db ", jcRGB, 3},
      {jcCMYK, "e0 ee ed e1 fe db ", jcCMYK, 4},
      {jcYCbCrK, "ee ed e1 fe db ", jcYCbCrK, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Space));
    TIOParamsVals params;
    params.JpegColorSpace = c.Space;
    params.JpegMarkers.AppendEntry(0xED, iptc, sizeof iptc);
    params.JpegMarkers.AppendEntry(0xEE, adobe, sizeof adobe);
    params.JpegMarkers.AppendEntry(0xE1, exif, sizeof exif);
    params.JpegMarkers.AppendEntry(0xFE, iptc, 4);
    const std::vector<uint8_t> j = Encode(photo, params);
    EXPECT_EQ(MarkerOrder(j).substr(0, std::strlen(c.Order)), c.Order);
    const auto back = Decode(j);
    ASSERT_FALSE(back->Abort);
    EXPECT_EQ(back->Params.JpegColorSpace, c.ReadBack);
    EXPECT_EQ(back->Params.SamplesPerPixel, c.Samples);
    // The colours survive (gray: as gray).
    TVLBitmap want;
    want.Assign(photo);
    if (c.Space == jcGrayScale) {
      want.SetPixelFormat(vl8g);
      want.SetPixelFormat(vl24RGB);
    }
    int worst = 0;
    for (int32_t y = 0; y < 21; ++y)
      for (int32_t x = 0; x < 33 * 3; ++x)
        worst = std::max(worst, std::abs(want.Scanline(y)[x] - back->Bitmap.Scanline(y)[x]));
    EXPECT_LE(worst, 40);
    // Written again with the parameters read, the file keeps its colour space and markers.
    const std::vector<uint8_t> again = Encode(back->Bitmap, back->Params);
    EXPECT_EQ(Decode(again)->Params.JpegColorSpace, c.ReadBack);
    EXPECT_EQ(MarkerOrder(again).substr(0, std::strlen(c.Order)), c.Order);
  }
  // Progressive on request.
  TIOParamsVals progressive;
  progressive.JpegProgressive = true;
  EXPECT_TRUE(Decode(Encode(photo, progressive))->Params.JpegProgressive);
}

// Bitmaps in other formats and places are written from a vl24RGB copy, leaving the caller's
// bitmap as it was; an empty one writes nothing.
TEST(JpegEncode, FormatsAndLocations) {
  TVLBitmap photo;
  MakePhoto(photo, 41, 23);
  for (TVLPixelFormat format : {vl1g, vl8g, vl8p, vl16g, vl32f, vlCMYK, vlRGB48, vlCIELab}) {
    TVLBitmap source;
    source.Assign(photo);
    source.SetPixelFormat(format);
    TVLBitmap expected;
    expected.Assign(source);
    expected.SetPixelFormat(vl24RGB);
    TIOParamsVals params;
    EXPECT_TRUE(Encode(source, params) == Encode(expected, params)) << format;
    EXPECT_EQ(source.PixelFormat(), format);
  }
  TVLBitmap inFile;
  inFile.MemoryThreshold = 0;
  inFile.Assign(photo);
  ASSERT_EQ(inFile.Location(), vlFile);
  TIOParamsVals params;
  EXPECT_TRUE(Encode(inFile, params) == Encode(photo, params));

  TVLBitmap empty;
  bool abort = false;
  EXPECT_TRUE(Encode(empty, params, &abort).empty());
  EXPECT_TRUE(abort);
}
