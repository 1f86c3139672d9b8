// PNG files through the component: every corpus PNG converted to BMP and back, and every
// corpus BMP converted to PNG and back, keeps its colours and its alpha;
// resolution and background after a load.

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/component/vistrel_io.h"
#include "imaging/io/params.h"
#include "io_test_support.h"
#include "tests/support/corpus.h"

namespace {

using iotest::TempDir;

std::vector<std::string> GoodFiles(const std::string& format) {
  std::vector<std::string> out;
  for (const corpus::TEntry& e : corpus::Entries(format))
    if (e.Expected == "decodes") out.push_back(e.Path);
  return out;
}

TEST(PngFiles, CorpusSurvivesTheOtherFormatAndBack) {
  const struct {
    const char* Format;
    const char* Via;
  } routes[] = {{"PNG", "x.bmp"}, {"BMP", "x.png"}};
  TempDir dir;
  for (const auto& route : routes) {
    const std::vector<std::string> files = GoodFiles(route.Format);
    if (files.empty()) GTEST_SKIP() << "no test corpus";
    const std::string back = std::string("back.") + (route.Format[0] == 'P' ? "png" : "bmp");
    for (const std::string& name : files) {
      SCOPED_TRACE(name);
      TVistrelIO first, second;
      first.LoadFromFile(std::string(VANDREL_TESTDATA_DIR) + "/" + name);
      ASSERT_FALSE(first.AbortFlag());
      first.SaveToFile(dir.File(route.Via));
      ASSERT_FALSE(first.AbortFlag());
      second.LoadFromFile(dir.File(route.Via));
      second.SaveToFile(dir.File(back));
      ASSERT_FALSE(second.AbortFlag());
      second.LoadFromFile(dir.File(back));
      ASSERT_FALSE(second.AbortFlag());
      TVLBitmap& a = *first.TargetBitmap();
      TVLBitmap& b = *second.TargetBitmap();
      ASSERT_EQ(a.Width(), b.Width());
      ASSERT_EQ(a.Height(), b.Height());
      // Transparency of any PNG (palette and gray included) goes into a 32-bit BMP.
      const bool alphaKept = true;
      for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) {
          const uint8_t alpha = a.HasAlphaLayer() ? a.Alpha(x, y) : 255;
          if (alphaKept) {
            ASSERT_EQ(b.HasAlphaLayer() ? b.Alpha(x, y) : 255, alpha) << x << "," << y;
          }
          if (alpha != 0 || !alphaKept) {
            ASSERT_EQ(b.PixelAsRGB(x, y), a.PixelAsRGB(x, y)) << x << "," << y;
          }
        }
    }
  }
}

TEST(PngFiles, LoadSetsResolutionAndBackground) {
  const std::string in = std::string(VANDREL_TESTDATA_DIR) + "/png/gen/phys_3780.png";
  if (!std::ifstream(in)) GTEST_SKIP() << "no test corpus";
  TVistrelIO io;
  io.SetBackground(TColor(0x00010203));
  io.LoadFromFile(in);
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(io.Params().DpiX(), 96);
  EXPECT_EQ(io.Params().DpiY(), 96);
  EXPECT_EQ(io.Params().FileType, ftPNG);
  EXPECT_EQ(io.Background(), TColor(0x00010203));
}

}  // namespace
