// Whole-image operations: Assign, fills, rectangle copies, size changes and canvas resizing.

#include <cstring>
#include <vector>

#include "bitmap_test_util.h"
#include "imaging/model/mask.h"

namespace {

// A w x h vl8g image whose pixel (x, y) is 1 + y * 16 + x.
void MakeNumbered(TVLBitmap& b, int32_t w, int32_t h) {
  b.Allocate(w, h, vl8g);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.SetPixel8(x, y, uint8_t(1 + y * 16 + x));
}

std::vector<int> Row(TVLBitmap& b, int32_t y) {
  std::vector<int> v;
  for (int32_t x = 0; x < b.Width(); ++x) v.push_back(b.Pixel8(x, y));
  return v;
}

std::vector<int> Column(TVLBitmap& b, int32_t x) {
  std::vector<int> v;
  for (int32_t y = 0; y < b.Height(); ++y) v.push_back(b.Pixel8(x, y));
  return v;
}

}  // namespace

using BitmapOpsTest = BitmapTempDirTest;

TEST_F(BitmapOpsTest, AssignTakesOrRemovesTheAlphaChannel) {
  TVLBitmap src, dst;
  MakeNumbered(src, 3, 2);
  src.SetAlpha(2, 1, 40);
  src.SetAllMax(true);
  dst.Assign(src);
  EXPECT_EQ(Row(dst, 1), Row(src, 1));
  ASSERT_TRUE(dst.HasAlphaLayer());
  EXPECT_EQ(dst.Alpha(2, 1), 40);
  EXPECT_TRUE(dst.AllMax());

  TVLBitmap plain;
  MakeNumbered(plain, 2, 2);
  dst.AssignPixelsOnly(plain);  // keeps its own alpha channel, follows the size
  ASSERT_TRUE(dst.HasAlphaLayer());
  EXPECT_EQ(dst.AlphaLayer()->Width(), 2);
  EXPECT_EQ(dst.Alpha(0, 0), 255);
  EXPECT_FALSE(dst.AllMax());
  EXPECT_EQ(Row(dst, 1), Row(plain, 1));

  dst.Assign(plain);  // a source without alpha removes it
  EXPECT_FALSE(dst.HasAlphaLayer());

  TVLBitmap empty;
  dst.AssignPixelsOnly(empty);
  EXPECT_EQ(dst.Width(), 2);
  dst.Assign(empty);
  EXPECT_TRUE(dst.IsEmpty());

  // The own alpha channel as the source: pixels only keeps it, a full Assign removes it.
  TVLBitmap self;
  MakeNumbered(self, 3, 2);
  self.SetAlpha(2, 1, 40);
  self.AssignPixelsOnly(*self.AlphaLayer());
  EXPECT_EQ(self.PixelFormat(), vl8g);
  EXPECT_EQ(self.Pixel8(2, 1), 40);
  ASSERT_TRUE(self.HasAlphaLayer());
  EXPECT_EQ(self.Alpha(2, 1), 40);
  self.Assign(*self.AlphaLayer());
  EXPECT_EQ(self.Pixel8(2, 1), 40);
  EXPECT_FALSE(self.HasAlphaLayer());
}

TEST_F(BitmapOpsTest, AssignBetweenFileBackedBitmapsCopiesTheFile) {
  TVLBitmap src, dst;
  src.MemoryThreshold = dst.MemoryThreshold = 0;
  MakeNumbered(src, 7, 5);
  uint8_t* pending = src.Scanline(4);  // a handed-out row with unsaved changes
  pending[6] = 200;
  dst.Assign(src);
  ASSERT_EQ(dst.Location(), vlFile);
  EXPECT_NE(dst.FileBuffer().FileName(), src.FileBuffer().FileName());
  for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(Row(dst, y), Row(src, y));
  EXPECT_EQ(dst.Pixel8(6, 4), 200);
  EXPECT_EQ(src.RowAccess, raRead | raWrite);
  EXPECT_EQ(dst.RowAccess, raRead | raWrite);
}

TEST_F(BitmapOpsTest, FillAndAllMax) {
  TVLBitmap b;
  b.Allocate(3, 3, vl8g);
  EXPECT_TRUE(b.Fill(255));
  EXPECT_TRUE(b.AllMax());
  EXPECT_FALSE(b.Fill(254));
  EXPECT_EQ(b.Pixel8(2, 2), 254);

  b.Allocate(3, 3, vl16g);
  EXPECT_FALSE(b.AllMax());  // cleared by allocation
  EXPECT_TRUE(b.Fill(65535));
  b.SetPixel16(1, 1, 65534);
  EXPECT_FALSE(b.AllMax());

  b.Allocate(2, 2, vl32f);
  EXPECT_TRUE(b.Fill(1.0));
  b.SetPixelFloat(0, 0, 0.25f);
  EXPECT_FALSE(b.AllMax());

  b.Allocate(2, 2, vl24RGB);
  EXPECT_FALSE(b.Fill(0x0000FF));  // a toolkit colour: red in the low byte
  EXPECT_EQ(b.PixelRGB(1, 1), MakeRGB(255, 0, 0));
  EXPECT_TRUE(b.Fill(0xFFFFFF));

  b.Allocate(2, 1, vlRGB48);
  b.Fill(0x00FF00);
  EXPECT_EQ(b.PixelRGB48(1, 0), (TRGB48{0, 65535, 0}));
  b.SetPixelRGB48(0, 0, TRGB48{65535, 65535, 65535});

  b.Allocate(10, 1, vl1g);
  EXPECT_TRUE(b.Fill(3));
  EXPECT_TRUE(b.PixelBit(9, 0));
  EXPECT_FALSE(b.Fill(0.5));
  EXPECT_FALSE(b.PixelBit(0, 0));
}

TEST_F(BitmapOpsTest, FillRectIsClampedAndNeverClaimsAllMax) {
  TVLBitmap b;
  b.Allocate(4, 3, vl8g);
  b.Fill(255);
  b.FillRect(1, 1, 2, 2, 255);  // the maximum keeps the flag
  EXPECT_TRUE(b.AllMax());
  b.FillRect(-5, 1, 1, 99, 7);  // anything else clears it: the image is no longer all 255
  EXPECT_FALSE(b.AllMax());
  EXPECT_EQ(Row(b, 0), (std::vector<int>{255, 255, 255, 255}));
  EXPECT_EQ(Row(b, 2), (std::vector<int>{7, 7, 255, 255}));
  b.Allocate(12, 1, vl1g);
  b.FillRect(3, 0, 9, 0, 1);
  EXPECT_FALSE(b.PixelBit(2, 0));
  EXPECT_TRUE(b.PixelBit(3, 0));
  EXPECT_TRUE(b.PixelBit(9, 0));
  EXPECT_FALSE(b.PixelBit(10, 0));
}

TEST_F(BitmapOpsTest, CopyRectIntoClipsAllFourSides) {
  TVLBitmap src;
  MakeNumbered(src, 4, 4);
  struct Case {
    int32_t srcX, srcY, dstX, dstY, w, h;
    std::vector<int> row0, col0;
  } cases[] = {
      // Left: a negative destination X moves the source start right and shortens the copy.
      {0, 0, -1, 0, 3, 1, {2, 3, 0, 0}, {2, 0, 0, 0}},
      // Right: cut to the destination width.
      {0, 0, 2, 0, 4, 1, {0, 0, 1, 2}, {0, 0, 0, 0}},
      // Top: a negative destination Y moves the source start down.
      {0, 0, 0, -2, 1, 3, {33, 0, 0, 0}, {33, 0, 0, 0}},
      // Bottom: cut to the destination height, and to what the source has left.
      {3, 2, 0, 3, 9, 9, {0, 0, 0, 0}, {0, 0, 0, 36}},
  };
  for (const Case& c : cases) {
    TVLBitmap dst;
    dst.Allocate(4, 4, vl8g);
    src.CopyRectInto(dst, c.srcX, c.srcY, c.dstX, c.dstY, c.w, c.h);
    EXPECT_EQ(Row(dst, 0), c.row0) << c.dstX << "," << c.dstY;
    EXPECT_EQ(Column(dst, 0), c.col0) << c.dstX << "," << c.dstY;
  }
  TVLBitmap other;
  other.Allocate(4, 4, vl16g);
  src.CopyRectInto(other, 0, 0, 0, 0, 4, 4);  // a pair of formats that copies nothing
  EXPECT_TRUE(other.AllBytesZero());
}

TEST_F(BitmapOpsTest, CopyRectIntoBitsAndExpansion) {
  TVLBitmap bits;
  bits.Allocate(10, 1, vl1g);
  bits.SetPixelBit(1, 0, true);
  bits.SetPixelBit(8, 0, true);
  TVLBitmap dst;
  dst.Allocate(12, 1, vl1g);
  bits.CopyRectInto(dst, 1, 0, 3, 0, 8, 1);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(dst.PixelBit(x, 0), x == 3 || x == 10) << x;
  TVLBitmap rgb;
  rgb.Allocate(3, 1, vl24RGB);
  bits.CopyRectInto(rgb, 0, 0, 0, 0, 3, 1);
  EXPECT_EQ(rgb.PixelRGB(1, 0), MakeRGB(255, 255, 255));
  EXPECT_EQ(rgb.PixelRGB(2, 0), MakeRGB(0, 0, 0));
}

TEST_F(BitmapOpsTest, CopyRectIntoItselfInTheFile) {
  TVLBitmap b;
  b.MemoryThreshold = 0;
  MakeNumbered(b, 3, 4);
  ASSERT_EQ(b.Location(), vlFile);
  b.CopyRectInto(b, 0, 0, 0, 1, 3, 3);  // shift down by one row inside one bitmap
  EXPECT_EQ(Column(b, 0), (std::vector<int>{1, 1, 17, 33}));
}

TEST_F(BitmapOpsTest, MaxAlphaRect) {
  TVLBitmap a, b;
  a.Allocate(2, 2, vl24RGB);
  b.Allocate(2, 2, vl24RGB);
  a.AlphaLayer()->Fill(0);
  a.SetAlpha(0, 0, 100);
  b.AlphaLayer()->Fill(50);
  a.MaxAlphaRectTo(b, 0, 0, 0, 0, 2, 2);
  EXPECT_EQ(b.Alpha(0, 0), 100);
  EXPECT_EQ(b.Alpha(1, 1), 50);
}

TEST_F(BitmapOpsTest, WidthAndHeightKeepTheTopLeft) {
  for (int64_t threshold : {int64_t(1) << 20, int64_t(0)}) {
    TVLBitmap b;
    b.MemoryThreshold = threshold;
    MakeNumbered(b, 2, 2);
    b.AlphaLayer();
    b.SetWidth(3);
    EXPECT_EQ(Row(b, 0), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(Row(b, 1), (std::vector<int>{17, 18, 0}));
    EXPECT_EQ(b.AlphaLayer()->Width(), 3);
    b.SetHeight(1);
    b.SetWidth(1);
    EXPECT_EQ(Row(b, 0), (std::vector<int>{1}));
    EXPECT_EQ(b.AlphaLayer()->Height(), 1);
  }
  // A filled 1-bit row grows with clear pixels, whatever its padding held.
  TVLBitmap bits;
  bits.Allocate(2, 1, vl1g);
  bits.Fill(1);
  bits.SetWidth(3);
  EXPECT_TRUE(bits.PixelBit(1, 0));
  EXPECT_FALSE(bits.PixelBit(2, 0));
  EXPECT_FALSE(bits.AllMax());
}

TEST_F(BitmapOpsTest, RefusedSizeChangeKeepsImageAndAlphaAlike) {
  // 400 million vlRGB48 pixels make a row too long for any bitmap, while the alpha channel
  // alone could take that width: neither may change.
  TVLBitmap b;
  b.MemoryThreshold = int64_t(1) << 40;
  b.Allocate(2, 2, vlRGB48);
  b.SetPixelRGB48(1, 1, TRGB48{1, 2, 3});
  b.SetAlpha(1, 1, 7);
  EXPECT_THROW(b.SetWidth(400000000), EVLBitmapError);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.PixelRGB48(1, 1), (TRGB48{1, 2, 3}));
  ASSERT_TRUE(b.HasAlphaLayer());
  EXPECT_EQ(b.AlphaLayer()->Width(), 2);
  EXPECT_EQ(b.Alpha(1, 1), 7);
}

TEST_F(BitmapOpsTest, ResizeWithEachAlignment) {
  struct Case {
    int32_t newWidth, align;
    std::vector<int> row;
  } cases[] = {
      {6, 0, {1, 2, 3, 4, 9, 9}}, {6, 1, {9, 1, 2, 3, 4, 9}}, {6, 2, {9, 9, 1, 2, 3, 4}},
      {2, 0, {1, 2}},             {2, 1, {2, 3}},             {2, 2, {3, 4}},
  };
  for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
    for (const Case& c : cases) {
      TVLBitmap b;
      b.MemoryThreshold = location == vlFile ? 0 : 1 << 20;
      b.SetLocation(location);
      MakeNumbered(b, 4, 1);
      ASSERT_EQ(b.Location(), location);
      b.AlphaLayer();
      b.Resize(c.newWidth, 1, 9, 0, c.align, 0);
      EXPECT_EQ(Row(b, 0), c.row) << c.newWidth << " align " << c.align << " in " << location;
      EXPECT_EQ(b.AlphaLayer()->Width(), c.newWidth);
      if (c.newWidth > 4) {
        EXPECT_EQ(b.Alpha(c.align == 2 ? 0 : 5, 0), 0);  // the alpha channel got its own fill
      }
    }
  }
  // The same vertically: grow 4 -> 6 rows, then shrink to 2, in every location.
  struct VCase {
    int32_t align;
    std::vector<int> grown, shrunk;
  } vcases[] = {
      {0, {1, 17, 33, 49, 9, 9}, {1, 17}},
      {1, {9, 1, 17, 33, 49, 9}, {17, 33}},
      {2, {9, 9, 1, 17, 33, 49}, {33, 49}},
  };
  for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
    for (const VCase& c : vcases) {
      TVLBitmap b;
      b.MemoryThreshold = location == vlFile ? 0 : 1 << 20;
      b.SetLocation(location);
      MakeNumbered(b, 1, 4);
      b.AlphaLayer();
      b.Resize(1, 6, 9, 0, 0, c.align);
      EXPECT_EQ(Column(b, 0), c.grown) << "align " << c.align << " in " << location;
      b.Resize(1, 2, 9, 0, 0, c.align);
      EXPECT_EQ(Column(b, 0), c.shrunk) << "align " << c.align << " in " << location;
      EXPECT_EQ(b.AlphaLayer()->Height(), 2);
    }
  }
}

TEST_F(BitmapOpsTest, GrayAndByteScans) {
  TVLBitmap b;
  b.Allocate(2, 2, vl24RGB);
  EXPECT_TRUE(b.IsAllGray());
  b.SetPixelRGB(1, 1, MakeRGB(1, 2, 3));
  EXPECT_FALSE(b.IsAllGray());
  EXPECT_FALSE(b.AllBytesZero());
  b.Allocate(2, 2, vl8g);
  EXPECT_TRUE(b.AllBytesZero());
  for (int y = 0; y < 2; ++y) std::memset(b.Scanline(y), 255, size_t(b.RowBytes()));
  b.RecheckAllMax();
  EXPECT_TRUE(b.AllMax());
  b.Allocate(1, 1, vl8p);
  b.SetPalette(3, MakeRGB(9, 9, 8));
  EXPECT_FALSE(b.IsAllGray());
}

TEST_F(BitmapOpsTest, MaskRoundTrip) {
  TVLMask mask;
  mask.Setup(3, 2, 8);
  mask.Fill(255);
  mask.SetPixel(2, 1, 30);
  TVLBitmap alpha;
  alpha.LoadFromMask(&mask);
  EXPECT_EQ(alpha.PixelFormat(), vl8g);
  EXPECT_EQ(alpha.Pixel8(2, 1), 30);
  EXPECT_EQ(alpha.Pixel8(0, 0), 255);
  EXPECT_EQ(alpha.AllMax(), mask.AllMax());
  TVLMask back;
  alpha.StoreToMask(back);
  EXPECT_EQ(back.Depth(), 8);
  EXPECT_EQ(back.GetPixel(2, 1), 30);
  EXPECT_FALSE(back.IsEmpty());
  alpha.LoadFromMask(nullptr);
  EXPECT_TRUE(alpha.AllMax());
  EXPECT_EQ(alpha.Pixel8(2, 1), 255);
}

TEST_F(BitmapOpsTest, FormatChangeConvertsInPlaceAndKeepsAlpha) {
  for (int64_t threshold : {int64_t(1) << 20, int64_t(0)}) {
    TVLBitmap b;
    b.MemoryThreshold = threshold;
    b.Allocate(3, 2, vl24RGB);
    b.SetPixelRGB(2, 1, MakeRGB(255, 0, 0));
    b.SetAlpha(1, 1, 12);
    b.SetPixelFormat(vl8g);
    EXPECT_EQ(b.PixelFormat(), vl8g);
    EXPECT_EQ(b.Location(), threshold == 0 ? vlFile : vlMemory);
    EXPECT_EQ(b.Pixel8(2, 1), 53);  // gray of pure red
    ASSERT_TRUE(b.HasAlphaLayer());
    EXPECT_EQ(b.Alpha(1, 1), 12);
    b.SetPixelFormat(vl8g);  // the current format: nothing happens
    EXPECT_EQ(b.Pixel8(2, 1), 53);
  }
}
