// EXIF blocks are recognised by their header.

#include <gtest/gtest.h>

#include "imaging/codecs/exif_decode.h"
#include "imaging/io/params.h"

TEST(ExifDecodeTest, ExifBlockIsAcceptedByItsHeader) {
  TIOParamsVals p;
  const uint8_t good[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  const uint8_t bad[] = {'E', 'x', 'i', 'f', 1, 0};
  EXPECT_TRUE(DecodeExifBlock(good, sizeof good, p));
  EXPECT_FALSE(DecodeExifBlock(bad, sizeof bad, p));
  EXPECT_FALSE(DecodeExifBlock(good, 4, p));
  EXPECT_FALSE(DecodeExifBlock(nullptr, 0, p));
}
