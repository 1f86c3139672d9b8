// TVistrelIO with an attached view, and the resolution adjustment.

#include <gtest/gtest.h>

#include <memory>

#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "io_test_support.h"
#include "platform/toolkit_bitmap.h"

namespace {

using iotest::FakeView;

TEST(ViewAttachment, TheViewsBitmapIsTheTargetAndResolutionsReachTheView) {
  FakeView view;
  TVistrelIO io;
  TVLBitmap* own = io.TargetBitmap();
  ASSERT_NE(own, nullptr);
  io.SetAttachedVistrel(&view);
  EXPECT_EQ(io.AttachedVistrel(), &view);
  EXPECT_EQ(io.TargetBitmap(), &view.Image);
  EXPECT_EQ(view.ChangeCallbackCount(), 1);
  EXPECT_EQ(io.Background(), view.Back);
  io.SetBackground(0x00FF00);  // ignored while a view is attached
  EXPECT_EQ(io.Background(), view.Back);

  io.Params().SetDpiX(72);
  io.Params().SetDpiY(96);
  EXPECT_EQ(view.DpiX(), 72);
  EXPECT_EQ(view.DpiY(), 96);
  EXPECT_EQ(io.Params().ExifXResolution, 72);

  view.Log.clear();
  io.UpdateAttached();
  EXPECT_EQ(view.Log, (std::vector<std::string>{"Update", "ImageChange"}));
}

TEST(ViewAttachment, ChangeCallbackFetchesTheBitmapAndResolutionAgain) {
  FakeView view;
  TVistrelIO io;
  io.SetAttachedVistrel(&view);
  view.Shown = &view.Other;
  view.TVLView::SetDpi(150, 200);
  view.CallChangeCallbacks();
  EXPECT_EQ(io.TargetBitmap(), &view.Other);
  EXPECT_EQ(io.Params().DpiX(), 150);
  EXPECT_EQ(io.Params().DpiY(), 200);

  // A view that holds only a toolkit bitmap: the target wraps it.
  TToolkitBitmap toolkit(5, 4, 24);
  view.Shown = nullptr;
  view.Toolkit = &toolkit;
  view.CallChangeCallbacks();
  ASSERT_NE(io.TargetBitmap(), nullptr);
  EXPECT_EQ(io.TargetBitmap()->Width(), 5);
  EXPECT_EQ(io.TargetBitmap()->Height(), 4);
}

TEST(ViewAttachment, DetachingAndDestroyingGiveAnOwnBitmapAgain) {
  TVistrelIO io;
  {
    FakeView view;
    io.SetAttachedVistrel(&view);
    io.SetAttachedVistrel(nullptr);
    EXPECT_EQ(view.ChangeCallbackCount(), 0);
    EXPECT_NE(io.TargetBitmap(), &view.Image);
    io.SetAttachedVistrel(&view);
  }  // the view goes first
  EXPECT_EQ(io.AttachedVistrel(), nullptr);
  ASSERT_NE(io.TargetBitmap(), nullptr);
  io.TargetBitmap()->Allocate(2, 2, vl24RGB);  // a live bitmap of the component's own
  io.Params().SetDpiX(50);                      // no view to tell any more

  FakeView view;
  {
    TVistrelIO shortLived;
    shortLived.SetAttachedVistrel(&view);
  }  // the component goes first and unregisters
  EXPECT_EQ(view.ChangeCallbackCount(), 0);
}

// Fills a bitmap's bytes with a pattern: byte = 10 * column + row per pixel byte.
void FillGray(TVLBitmap& b) {
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) b.SetPixel8(x, y, uint8_t(10 * x + y));
}

class AdjustDpiTest : public ::testing::Test {
 protected:
  void Prepare(int32_t w, int32_t h, TVLPixelFormat f, int32_t dpiX, int32_t dpiY) {
    io.TargetBitmap()->Allocate(w, h, f);
    io.Params().SetDpiX(dpiX);
    io.Params().SetDpiY(dpiY);
  }
  TVistrelIO io;
};

TEST_F(AdjustDpiTest, LandscapeRescalesHeightPortraitRescalesWidth) {
  Prepare(100, 50, vl24RGB, 200, 100);
  io.AdjustDPI();
  EXPECT_EQ(io.TargetBitmap()->Width(), 100);
  EXPECT_EQ(io.TargetBitmap()->Height(), 100);
  EXPECT_EQ(io.Params().DpiY(), 200);

  Prepare(40, 80, vl24RGB, 100, 300);
  io.AdjustDPI();
  EXPECT_EQ(io.TargetBitmap()->Width(), 120);
  EXPECT_EQ(io.TargetBitmap()->Height(), 80);
  EXPECT_EQ(io.Params().DpiX(), 300);

  Prepare(7, 3, vl24RGB, 72, 7200);  // would round to 0 rows: one is kept
  io.AdjustDPI();
  EXPECT_EQ(io.TargetBitmap()->Height(), 1);
}

TEST_F(AdjustDpiTest, NothingHappensForEqualOrInvalidResolutions) {
  for (auto [x, y] : {std::pair{300, 300}, {0, 300}, {300, -1}}) {
    Prepare(10, 5, vl24RGB, x, y);
    io.AdjustDPI();
    EXPECT_EQ(io.TargetBitmap()->Height(), 5);
    EXPECT_EQ(io.Params().DpiX(), x);
  }
}

TEST_F(AdjustDpiTest, NearestStretchKeepsFormatPixelsAndTellsNoView) {
  FakeView view;
  io.SetAttachedVistrel(&view);
  Prepare(2, 2, vl8g, 100, 200);
  FillGray(*io.TargetBitmap());
  io.TargetBitmap()->AlphaLayer()->SetPixel8(1, 0, 7);
  view.Log.clear();
  io.AdjustDPI();
  TVLBitmap& b = *io.TargetBitmap();
  EXPECT_TRUE(view.Log.empty());
  ASSERT_EQ(b.Width(), 4);
  EXPECT_EQ(b.PixelFormat(), vl8g);
  const uint8_t expected[4] = {0, 0, 10, 10};
  for (int32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(b.Pixel8(x, 0), expected[x]);
    EXPECT_EQ(b.Pixel8(x, 1), expected[x] + 1);
  }
  ASSERT_TRUE(b.HasAlphaLayer());
  EXPECT_EQ(b.AlphaLayer()->Width(), 4);
  EXPECT_EQ(b.AlphaLayer()->Pixel8(3, 0), 7);
  EXPECT_EQ(b.AlphaLayer()->Pixel8(0, 0), 255);
}

TEST_F(AdjustDpiTest, NearestStretchOfBilevelImages) {
  Prepare(3, 4, vl1g, 100, 200);  // portrait: width 3 -> 6
  TVLBitmap& b = *io.TargetBitmap();
  for (int32_t y = 0; y < 4; ++y) b.SetPixelBit(1, y, true);
  io.AdjustDPI();
  ASSERT_EQ(b.Width(), 6);
  EXPECT_EQ(b.PixelFormat(), vl1g);
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(b.PixelBit(x, 2), x == 2 || x == 3) << x;
}

TEST_F(AdjustDpiTest, FilteredResampleSmoothsOn24Bit) {
  io.SetFilteredAdjustDPI(true);
  Prepare(4, 2, vl8g, 100, 50);  // landscape: height 2 -> 4
  TVLBitmap& b = *io.TargetBitmap();
  for (int32_t x = 0; x < 4; ++x) {
    b.SetPixel8(x, 0, 0);
    b.SetPixel8(x, 1, 200);
  }
  io.AdjustDPI();
  ASSERT_EQ(b.Height(), 4);
  EXPECT_EQ(b.PixelFormat(), vl24RGB);
  // Top and bottom keep the edge values; the rows between blend them.
  EXPECT_EQ(b.PixelRGB(0, 0).g, 0);
  EXPECT_EQ(b.PixelRGB(0, 3).g, 200);
  EXPECT_GT(b.PixelRGB(0, 1).g, 0);
  EXPECT_LT(b.PixelRGB(0, 1).g, b.PixelRGB(0, 2).g);
  EXPECT_LT(b.PixelRGB(0, 2).g, 200);

  // Reducing averages: a uniform image stays uniform.
  Prepare(6, 9, vl24RGB, 300, 100);  // portrait: width 6 -> 2
  b.Fill(0x00204060);
  io.AdjustDPI();
  ASSERT_EQ(b.Width(), 2);
  EXPECT_EQ(b.PixelRGB(1, 8), b.PixelRGB(0, 0));
  EXPECT_EQ(b.PixelRGB(0, 0), ColorToRGB(0x00204060));
}

TEST(AutoAdjustDPI, RunsAfterALoadWhenSet) {
  iotest::TempDir dir;
  iotest::ScopedFormat format(iotest::External(
      140, "WIDE", [](TStream&, TVLBitmap& b, TIOParamsVals& p, TVLProgressState&) {
        b.Allocate(10, 4, vl24RGB);
        p.SetDpiX(200);
        p.SetDpiY(100);
      }));
  TVistrelIO io;
  io.SetAutoAdjustDPI(true);
  io.LoadFromFile(dir.Write("a.wide", "x"));
  EXPECT_EQ(io.TargetBitmap()->Height(), 8);
  EXPECT_EQ(io.Params().DpiY(), 200);
}

}  // namespace
