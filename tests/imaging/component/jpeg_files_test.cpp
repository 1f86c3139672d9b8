// JPEG files through the I/O component: loading by extension, the resolution the view gets,
// and what SaveJpegFile writes for a converted image (marker order, colour space, and a file
// the library reads back).

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/io/stream.h"
#include "io_test_support.h"

namespace {

using iotest::TempDir;

std::string Corpus(const std::string& rel) {
  return std::string(VANDREL_TESTDATA_DIR) + "/" + rel;
}
bool HaveCorpus() { return std::filesystem::exists(Corpus("jpeg/baseline_q85.jpg")); }

// The marker bytes of the segments before the first SOS, e.g. "e0 ed e1 ".
std::string MarkerOrder(const std::string& J) {
  std::string out;
  char hex[4];
  for (size_t i = 2; i + 4 <= J.size() && uint8_t(J[i]) == 0xFF;) {
    const uint8_t m = uint8_t(J[i + 1]);
    std::snprintf(hex, sizeof hex, "%02x ", m);
    out += hex;
    if (m == 0xDA) break;
    i += 2 + ((size_t(uint8_t(J[i + 2])) << 8) | uint8_t(J[i + 3]));
  }
  return out;
}

}  // namespace

TEST(JpegFiles, LoadByExtensionSetsResolutionAndFields) {
  if (!HaveCorpus()) GTEST_SKIP() << "no test corpus";
  struct Case {
    const char* File;
    bool Abort;
    int32_t Dpi;
  } cases[] = {{"jpeg/baseline_q85.jpg", false, 300},  // no resolution: the fallback
               {"jpeg/jfif_118dpcm.jpg", false, 299},
               {"jpeg/junk150.jpg", true, 300}};
  for (const Case& c : cases) {
    iotest::FakeView view;
    TVistrelIO io;
    io.SetAttachedVistrel(&view);
    io.Params().JpegQuality = 55;
    io.LoadFromFile(Corpus(c.File));
    EXPECT_EQ(io.AbortFlag(), c.Abort) << c.File;
    EXPECT_EQ(io.Params().DpiX(), c.Dpi) << c.File;
    EXPECT_EQ(io.Params().FileType, ftJPEG);
    EXPECT_EQ(io.Params().JpegQuality, 55);  // writing options survive a load
    if (!c.Abort) {
      EXPECT_EQ(io.TargetBitmap()->Width(), 227);
    }
  }
}

// A converted image is written with the JFIF header first, then the IPTC and EXIF blocks the
// save adds, and reads back with the library.
TEST(JpegFiles, ConvertedImageMarkersAndReadBack) {
  TempDir dir;
  TVistrelIO io;
  TVLBitmap& b = *io.TargetBitmap();
  b.Allocate(40, 30, vl24RGB);
  b.Fill(128);
  io.Params().SetDpiX(72);
  io.Params().SetDpiY(72);
  const uint8_t name[] = "Lake";
  io.Params().IptcRecords.AppendRecord(2, 5, name, 4);
  io.Params().ExifPresent = true;
  io.ExifBlockBuilder = [](const TIOParamsVals&) {
    return std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
  };
  io.SaveJpegFile(dir.File("out.JPG"));
  ASSERT_FALSE(io.AbortFlag());
  const std::string bytes = iotest::ReadFile(dir.File("out.JPG"));
  EXPECT_EQ(MarkerOrder(bytes).substr(0, 9), "e0 ed e1 ");

  TVistrelIO back;
  back.LoadFromFile(dir.File("out.JPG"));
  ASSERT_FALSE(back.AbortFlag());
  EXPECT_EQ(back.TargetBitmap()->Width(), 40);
  EXPECT_EQ(back.Params().DpiX(), 72);
  EXPECT_EQ(back.Params().IptcRecords.Count(), 1);
  EXPECT_EQ(back.Params().JpegColorSpace, jcYCbCr);
}

// A JPEG read and saved again keeps its colour space; an unreadable file fails the load and
// the save that follows writes nothing.
TEST(JpegFiles, ResavedJpegKeepsItsColourSpace) {
  if (!HaveCorpus()) GTEST_SKIP() << "no test corpus";
  TempDir dir;
  TVistrelIO io;
  io.LoadFromFile(Corpus("jpeg/gray.jpg"));
  ASSERT_FALSE(io.AbortFlag());
  io.SaveJpegFile(dir.File("gray.jpg"));
  ASSERT_FALSE(io.AbortFlag());
  TVistrelIO back;
  back.LoadFromFile(dir.File("gray.jpg"));
  EXPECT_EQ(back.Params().JpegColorSpace, jcGrayScale);
  EXPECT_EQ(back.Params().SamplesPerPixel, 1);

  TVistrelIO failed;
  failed.LoadFromFile(dir.Write("bad.jpg", "not a JPEG at all"));
  EXPECT_TRUE(failed.AbortFlag());
  failed.SaveJpegFile(dir.File("nothing.jpg"));
  EXPECT_TRUE(failed.AbortFlag());
  EXPECT_FALSE(std::filesystem::exists(dir.File("nothing.jpg")));
}
