// The toolkit's device-independent bitmap: layout, size and depth changes, copies.

#include "platform/toolkit_bitmap.h"

#include <gtest/gtest.h>

#include <limits>

TEST(ToolkitBitmap, RowsArePaddedAndBottomUp) {
  const struct {
    int32_t bits, width, rowBytes;
  } cases[] = {{1, 33, 8}, {4, 9, 8}, {8, 5, 8}, {15, 3, 8}, {16, 3, 8}, {24, 1, 4}, {32, 3, 12}};
  for (const auto& c : cases) {
    TToolkitBitmap t(c.width, 3, c.bits);
    EXPECT_EQ(t.RowBytes(), c.rowBytes) << c.bits;
    EXPECT_EQ(t.ScanLine(0) - t.ScanLine(2), 2 * c.rowBytes);
    EXPECT_EQ(t.ScanLine(2), t.Bits());
    EXPECT_EQ(t.ScanLine(3), nullptr);
  }
  EXPECT_TRUE(TToolkitBitmap(1, 1, 1).Monochrome());
  EXPECT_EQ(TToolkitBitmap(1, 1, 8).ColorTableSize(), 256);
  EXPECT_FALSE(TToolkitBitmap(1, 1, 8).HasGrayRampTable());
  EXPECT_THROW(TToolkitBitmap(1, 1, 12), EToolkitBitmapError);
}

TEST(ToolkitBitmap, SizeAndDepthChangesKeepTheTopLeft) {
  TToolkitBitmap t(3, 2, 24);
  t.SetPixelColor(2, 1, MakeRGB(200, 100, 50));
  t.SetModified(false);
  t.SetSize(4, 3);
  EXPECT_TRUE(t.Modified());
  EXPECT_EQ(t.PixelColor(2, 1), MakeRGB(200, 100, 50));
  EXPECT_EQ(t.PixelColor(3, 2), TRGB{});
  t.SetBitCount(1);
  EXPECT_TRUE(t.Monochrome());
  EXPECT_EQ(t.PixelColor(2, 1), MakeRGB(0, 0, 0));
  t.SetPixelColor(0, 0, MakeRGB(255, 255, 255));
  t.SetBitCount(24);
  EXPECT_EQ(t.PixelColor(0, 0), MakeRGB(255, 255, 255));
  t.SetBitCount(16);
  EXPECT_EQ(t.PixelColor(0, 0), MakeRGB(248, 252, 248));
}

TEST(ToolkitBitmap, AssignAndDraw) {
  TToolkitBitmap a(5, 2, 1);
  a.ScanLine(1)[0] = 0xA0;
  TToolkitBitmap b;
  b.Assign(a);
  EXPECT_EQ(b.BitCount(), 1);
  EXPECT_EQ(b.ScanLine(1)[0], 0xA0);
  TToolkitBitmap c(3, 3, 24);
  c.Draw(a);  // at 0,0, converting the depth
  EXPECT_EQ(c.PixelColor(0, 1), MakeRGB(255, 255, 255));
  EXPECT_EQ(c.PixelColor(1, 1), MakeRGB(0, 0, 0));
  EXPECT_EQ(c.PixelColor(2, 1), MakeRGB(255, 255, 255));
}

TEST(ToolkitBitmap, OversizedRequestsThrowAndKeepTheBitmap) {
  TToolkitBitmap t(2, 2, 24);
  EXPECT_THROW(t.SetSize(std::numeric_limits<int32_t>::max(), 1), EToolkitBitmapError);
  EXPECT_EQ(t.Width(), 2);
  EXPECT_NE(t.ScanLine(1), nullptr);
}

TEST(ToolkitBitmap, GrowingShowsNoOldPadding) {
  // Whatever the row padding held before, the columns a size change adds are zero.
  TToolkitBitmap eight(2, 1, 8);
  eight.ScanLine(0)[2] = 7;
  eight.ScanLine(0)[3] = 7;
  eight.ScanLine(0)[1] = 5;
  eight.SetSize(4, 1);
  EXPECT_EQ(eight.ScanLine(0)[1], 5);
  EXPECT_EQ(eight.ScanLine(0)[2], 0);
  EXPECT_EQ(eight.ScanLine(0)[3], 0);

  TToolkitBitmap mono(3, 1, 1);
  mono.ScanLine(0)[0] = 0xFF;
  mono.ScanLine(0)[1] = 0xFF;
  mono.SetSize(12, 1);
  for (int x = 0; x < 12; ++x)
    EXPECT_EQ(mono.PixelColor(x, 0), x < 3 ? MakeRGB(255, 255, 255) : TRGB{}) << x;
}
