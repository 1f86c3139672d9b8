#include "imaging/model/mask.h"

#include <gtest/gtest.h>

TEST(Mask, SetupGeometryAndRowOrder) {
  TVLMask m;
  m.Setup(33, 4, 1);
  EXPECT_EQ(m.RowBytes(), 8);
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_FALSE(m.AllMax());
  m.Setup(3, 4, 8);
  EXPECT_EQ(m.RowBytes(), 4);
  // Rows lie bottom-up: row 0 is the last row of the block.
  EXPECT_EQ(m.Scanline(0) - m.Scanline(3), 3 * 4);
  EXPECT_EQ(m.Scanline(4), nullptr);
  EXPECT_EQ(m.Scanline(-1), nullptr);
  m.Setup(4, 4, 5);  // unsupported depth leaves it unallocated
  EXPECT_EQ(m.Depth(), 0);
  EXPECT_EQ(m.Width(), 0);
}

TEST(Mask, OutOfRangeAccessIsIgnored) {
  TVLMask m;
  m.Setup(10, 10, 8);
  m.SetPixel(-1, 0, 255);
  m.SetPixel(10, 0, 255);
  m.SetPixel(0, 10, 255);
  m.RecomputeBounds();
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.GetPixel(-1, 0), 0);
  EXPECT_EQ(m.GetPixel(0, 99), 0);
  TVLMask empty;
  empty.SetPixel(0, 0, 1);
  empty.FillRow(1, 0, 0, 5);
  EXPECT_EQ(empty.GetPixel(0, 0), 0);
}

TEST(Mask, OneBitPixelsAreMsbFirst) {
  TVLMask m;
  m.Setup(10, 2, 1);
  m.SetPixel(0, 1, 7);
  m.SetPixel(9, 1, 1);
  EXPECT_EQ(m.Scanline(1)[0], 0x80);
  EXPECT_EQ(m.Scanline(1)[1], 0x40);
  EXPECT_EQ(m.GetPixel(0, 1), 1);
  EXPECT_TRUE(m.IsSelected(9, 1));
  m.SetPixel(0, 1, 0);
  EXPECT_EQ(m.GetPixel(0, 1), 0);
}

TEST(Mask, AllMaxFollowsFillAndPixels) {
  TVLMask m;
  m.Setup(10, 10, 8);
  EXPECT_TRUE(m.Fill(255));
  EXPECT_FALSE(m.IsEmpty());
  m.SetPixel(3, 3, 254);
  EXPECT_FALSE(m.AllMax());
  m.SetPixel(3, 3, 255);
  EXPECT_FALSE(m.AllMax());
  m.RecheckAllMax();
  EXPECT_TRUE(m.AllMax());
  m.FillRow(0, 2, 4, 3);
  EXPECT_FALSE(m.AllMax());
  EXPECT_FALSE(m.Fill(7));
  m.Clear();
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.GetPixel(5, 5), 0);

  // 1-bit: only the Width columns count, padding does not.
  TVLMask b;
  b.Setup(10, 3, 1);
  for (int y = 0; y < 3; ++y) b.FillRow(0, 0, y, 9);
  b.RecheckAllMax();
  EXPECT_TRUE(b.AllMax());
  b.SetPixel(9, 2, 0);
  b.RecheckAllMax();
  EXPECT_FALSE(b.AllMax());
}

TEST(Mask, BoundsGrowWithPixelsAndRows) {
  TVLMask m;
  m.Setup(10, 10, 1);
  m.SetPixel(2, 5, 1);
  m.SetPixel(7, 1, 1);
  EXPECT_EQ(m.BoundLeft(), 2);
  EXPECT_EQ(m.BoundTop(), 1);
  EXPECT_EQ(m.BoundRight(), 7);
  EXPECT_EQ(m.BoundBottom(), 5);
  m.FillRow(0, -5, 20, 100);  // clamped to row 9, columns 0..9, bits set whatever the value
  EXPECT_EQ(m.GetPixel(0, 9), 1);
  EXPECT_EQ(m.GetPixel(9, 9), 1);
  EXPECT_EQ(m.BoundLeft(), 0);
  EXPECT_EQ(m.BoundBottom(), 9);
  m.Clear();
  m.SetPixel(4, 4, 1);
  m.SetPixel(4, 4, 0);
  m.RecomputeBounds();
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.BoundLeft(), TVLMask::kEmptyBound);
  EXPECT_EQ(m.BoundRight(), 0);
}

TEST(Mask, ResizeKeepsTopLeft) {
  for (int depth : {1, 8}) {
    TVLMask m;
    m.Setup(10, 10, depth);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) m.SetPixel(x, y, (x + y) % 3 ? 1 : 0);
    m.Resize(5, 20);
    ASSERT_EQ(m.Width(), 5);
    ASSERT_EQ(m.Height(), 20);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(m.GetPixel(x, y), y < 10 && (x + y) % 3 ? 1 : 0) << depth << " " << x << "," << y;
    EXPECT_LE(m.BoundRight(), 4);
    EXPECT_LE(m.BoundBottom(), 9);
  }
  TVLMask full;
  full.Setup(4, 4, 8);
  full.Fill(255);
  full.Resize(2, 2);
  EXPECT_TRUE(full.AllMax());
  full.Resize(3, 2);
  EXPECT_FALSE(full.AllMax());
  // Content cut away entirely leaves an empty box.
  TVLMask far;
  far.Setup(10, 10, 8);
  far.SetPixel(8, 8, 9);
  far.Resize(4, 4);
  EXPECT_TRUE(far.IsEmpty());
  far.Discard();
  EXPECT_EQ(far.Width(), 0);
  EXPECT_EQ(far.Depth(), 0);
}

TEST(Mask, GrowingShowsNoOldPadding) {
  // Fill writes the row padding too; columns added by Resize must still start clear.
  for (int depth : {1, 8}) {
    TVLMask m;
    m.Setup(10, 2, depth);
    m.Fill(255);
    m.Resize(14, 2);
    for (int x = 0; x < 14; ++x) EXPECT_EQ(m.GetPixel(x, 1) != 0, x < 10) << depth << " " << x;
    EXPECT_EQ(m.BoundRight(), 9);
  }
  // Down to no columns and back: nothing to copy, nothing kept.
  TVLMask thin;
  thin.Setup(4, 3, 8);
  thin.Fill(255);
  thin.Resize(0, 3);
  EXPECT_EQ(thin.Width(), 0);
  EXPECT_EQ(thin.GetPixel(0, 0), 0);
  thin.Resize(2, 3);
  EXPECT_EQ(thin.GetPixel(1, 2), 0);
  EXPECT_TRUE(thin.IsEmpty());
}
