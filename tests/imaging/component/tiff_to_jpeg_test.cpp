// The road of "As JPEG": a TIFF loaded through the component and saved as JPEG keeps its
// pixels (within JPEG's loss), its resolution and its EXIF data.

#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "io_test_support.h"

TEST(TiffToJpeg, ResolutionAndExifSurviveTheConversion) {
  const std::string tiff = std::string(VANDREL_TESTDATA_DIR) + "/tiff/";
  if (!std::filesystem::exists(tiff + "exif_subifd.tif")) GTEST_SKIP() << "no corpus";
  iotest::TempDir dir;
  const struct {
    const char* File;
    int32_t Dpi;
    bool Exif;
  } cases[] = {{"exif_subifd.tif", 300, true}, {"res_118_11_cm.tif", 299, false},
               {"rgb8_lzw_pred2.tif", 300, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    TVistrelIO io;
    io.LoadFromFile(tiff + c.File);
    ASSERT_FALSE(io.AbortFlag());
    const TRGB before = io.TargetBitmap()->PixelAsRGB(40, 40);
    const std::string jpeg = dir.File("out.jpg");
    std::filesystem::remove(jpeg);
    io.SaveJpegFile(jpeg);
    ASSERT_FALSE(io.AbortFlag());

    TVistrelIO back;
    back.LoadFromFile(jpeg);
    ASSERT_FALSE(back.AbortFlag());
    EXPECT_EQ(back.Params().DpiX(), c.Dpi);
    EXPECT_EQ(back.Params().ExifPresent, c.Exif);
    if (c.Exif) {
      EXPECT_EQ(back.Params().ExifModel, "TM-1");
    }
    const TRGB after = back.TargetBitmap()->PixelAsRGB(40, 40);
    EXPECT_NEAR(after.r, before.r, 12);
    EXPECT_NEAR(after.g, before.g, 12);
    EXPECT_NEAR(after.b, before.b, 12);
  }
}
