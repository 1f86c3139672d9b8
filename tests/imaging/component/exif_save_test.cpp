// The EXIF block builder as SaveJpegFile uses it: a block reaches the APP1 marker, and one
// too large for a marker segment fails the save without touching the file.

#include <gtest/gtest.h>

#include "imaging/component/vistrel_io.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "io_test_support.h"

TEST(ExifSaveTest, BlockGoesIntoApp1AndOversizedBlockFailsTheSave) {
  iotest::TempDir dir;
  const std::string path = dir.Write("out.jpg", "old picture");
  TVistrelIO io;  // with the real block builder
  io.TargetBitmap()->Allocate(4, 4, vl24RGB);
  std::vector<uint8_t> app1;
  int writes = 0;
  io.JpegWriter = [&](TStream& s, TVLBitmap&, TIOParamsVals& p, TVLProgressState&) {
    ++writes;
    const int32_t i = p.JpegMarkers.FindType(0xE1);
    app1.assign(p.JpegMarkers.EntryData(i),
                p.JpegMarkers.EntryData(i) + p.JpegMarkers.EntryLength(i));
    s.WriteBuffer("JPEG", 4);
  };
  TIOParamsVals& p = io.Params();
  p.ExifPresent = true;
  p.ExifMake = "Abc";
  io.SaveJpegFile(path);
  EXPECT_FALSE(io.AbortFlag());
  const uint8_t head[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  ASSERT_GE(app1.size(), sizeof head);
  EXPECT_TRUE(std::equal(head, head + sizeof head, app1.begin()));
  EXPECT_EQ(iotest::ReadFile(path), "JPEG");

  dir.Write("out.jpg", "old picture");
  p.ExifImageDescription.assign(70000, 'd');  // more than one marker segment holds
  io.SaveJpegFile(path);
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(iotest::ReadFile(path), "old picture");
}
