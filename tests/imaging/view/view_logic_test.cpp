// The view without a window: the preview's geometry for a table of image sizes, zoom and
// origin writes, locks, the back buffer, the background styles and the layers.

#include "imaging/view/view_logic.h"

#include <gtest/gtest.h>

#include <cmath>

#include "view_test_util.h"

namespace {

constexpr TColor kFace = 0xF0F0F0;

// The main window's preview: 175 x 124 with a two-pixel sunken edge, fitted.
void MakePreview(TVistrelViewLogic& v) {
  v.SetHostGeometry(true, 175, 124, 171, 120);
  v.AutoFit = true;
  v.SetZoomFilter(rfFastLinear);
  v.SetScrollBars(ssNone);
  v.SetBackground(kFace);
}

TRGB BackPixel(TVistrelViewLogic& v, int32_t x, int32_t y) { return v.BackBuffer().PixelRGB(x, y); }

TEST(ViewGeometry, FitsEachImageSizeInThePreview) {
  const struct {
    int32_t W, H;
    double Zoom;
    int32_t ExtW, ExtH, OffX, OffY, DstW, DstH;
  } cases[] = {
      {3000, 2000, 5.7, 171, 114, 0, 3, 171, 114},
      {2048, 1536, 7.8125, 160, 120, 5, 0, 160, 120},
      {1200, 1800, 6.6667, 80, 120, 45, 0, 80, 120},
      {640, 480, 25, 160, 120, 5, 0, 160, 120},
      {100, 80, 150, 150, 120, 10, 0, 150, 120},
      {171, 120, 100, 171, 120, 0, 0, 171, 120},
      {2, 1, 8550, 171, 86, 0, 17, 171, 86},
      {20000, 100, 1, 200, 1, 0, 59, 171, 1},
      {1, 1, 100, 1, 1, 85, 59, 1, 1},
      {175, 124, 96.774, 169, 120, 1, 0, 169, 120},  // the first show: the form's own size
  };
  for (const auto& c : cases) {
    TVistrelViewLogic v;
    MakePreview(v);
    v.Bitmap()->Allocate(c.W, c.H, vl24RGB);
    v.Update();
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    EXPECT_NEAR(v.Zoom(), c.Zoom, 0.001);
    EXPECT_EQ(v.ExtentWidth(), c.ExtW);
    EXPECT_EQ(v.ExtentHeight(), c.ExtH);
    EXPECT_EQ(v.OffsetX(), c.OffX);
    EXPECT_EQ(v.OffsetY(), c.OffY);
    EXPECT_EQ(v.DstWidth(), c.DstW);
    EXPECT_EQ(v.DstHeight(), c.DstH);
    EXPECT_EQ(v.SrcRect().X, 0);
    EXPECT_LE(v.SrcRect().X + v.SrcRect().Width, c.W);
  }
}

TEST(ViewBackBuffer, APhotoFillsItsRowsAndTheRestIsBackground) {
  TVistrelViewLogic v;
  MakePreview(v);
  v.Bitmap()->Allocate(3000, 2000, vl24RGB);
  v.Bitmap()->Fill(0x0000FF);  // red
  v.Update();
  ASSERT_TRUE(v.PrepareBackBuffer());
  const TRGB face = ColorToRGB(kFace), red{0, 0, 255};
  for (int32_t x : {0, 85, 170}) {
    EXPECT_EQ(BackPixel(v, x, 2), face);
    EXPECT_EQ(BackPixel(v, x, 3), red);
    EXPECT_EQ(BackPixel(v, x, 116), red);
    EXPECT_EQ(BackPixel(v, x, 117), face);
  }
  // Later paints copy; only an Update renders again.
  EXPECT_EQ(v.RenderCount(), 1);
  v.AfterPaint();
  ASSERT_TRUE(v.PrepareBackBuffer());
  EXPECT_EQ(v.RenderCount(), 1);
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_EQ(v.RenderCount(), 2);
}

TEST(ViewBackBuffer, TinyAndOneToOneImages) {
  TVistrelViewLogic v;
  MakePreview(v);
  // 2 x 1: the whole 171 x 86 extent is picture, with no background row inside it.
  v.Bitmap()->Allocate(2, 1, vl24RGB);
  v.Bitmap()->Fill(0x00FF00);
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_EQ(BackPixel(v, 0, 16), ColorToRGB(kFace));
  EXPECT_EQ(BackPixel(v, 0, 17), (TRGB{0, 255, 0}));
  EXPECT_EQ(BackPixel(v, 170, 102), (TRGB{0, 255, 0}));
  EXPECT_EQ(BackPixel(v, 170, 103), ColorToRGB(kFace));
  // 1 x 1: only the background.
  v.Clear();
  v.Bitmap()->Fill(0x00FF00);
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_EQ(BackPixel(v, 85, 59), ColorToRGB(kFace));
  // 171 x 120: zoom 100, copied without the filter, covering everything.
  auto pattern = MakePattern(171, 120);
  v.Bitmap()->Assign(*pattern);
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_EQ(v.Zoom(), 100.0);
  EXPECT_EQ(BackPixel(v, 170, 119), pattern->PixelRGB(170, 119));
  EXPECT_EQ(BackPixel(v, 0, 0), pattern->PixelRGB(0, 0));
}

TEST(ViewZoom, WritesLocksAndRefits) {
  TVistrelViewLogic v;
  v.SetHostGeometry(true, 175, 124, 171, 120);
  v.Bitmap()->Allocate(400, 300, vl24RGB);
  int zoomChanges = 0, paints = 0;
  v.OnViewChange = [&](int32_t c) { zoomChanges += c; };
  v.OnPaintNow = [&] { ++paints; };
  v.Update();
  EXPECT_EQ(v.Zoom(), 100.0);
  EXPECT_EQ(v.DstWidth(), 171);  // cut at the client edge
  v.SetZoom(50);
  EXPECT_EQ(v.Zoom(), 50.0);
  EXPECT_EQ(v.ExtentWidth(), 200);
  EXPECT_EQ(zoomChanges, 1);
  EXPECT_EQ(paints, 1);
  for (double ignored : {0.0, -5.0, 50.0, 1e12}) v.SetZoom(ignored);
  EXPECT_EQ(v.Zoom(), 50.0);
  EXPECT_EQ(zoomChanges, 1);
  // Origins are clamped to the maximum and repaint at once.
  v.SetOriginX(1000);
  int32_t maxX, maxY;
  v.MaxOrigin(maxX, maxY);
  EXPECT_EQ(v.OriginX(), maxX);
  EXPECT_GT(maxX, 0);
  EXPECT_EQ(v.SrcRect().X + v.SrcRect().Width, 400);
  // While the update lock is held nothing is recomputed.
  v.AutoFit = true;
  v.BeginUpdateLock();
  v.Update();
  EXPECT_EQ(v.Zoom(), 50.0);
  v.EndUpdateLock();
  EXPECT_NEAR(v.Zoom(), 40.0, 1e-9);
  // Writing the zoom under AutoFit has no lasting effect; a resize refits at once.
  v.SetZoom(200);
  EXPECT_NEAR(v.Zoom(), 40.0, 1e-9);
  v.SetHostGeometry(true, 404, 304, 400, 300);
  v.Update();
  EXPECT_EQ(v.Zoom(), 100.0);
  // The paint lock keeps the window from showing anything.
  v.BeginPaintLock();
  EXPECT_FALSE(v.PrepareBackBuffer());
  EXPECT_EQ(v.ReleasePaintLock(), 0);
  EXPECT_TRUE(v.PrepareBackBuffer());
}

TEST(ViewBackground, KeyPixelsOfEachStyle) {
  const TColor bg = 0x204060;
  const TRGB b = ColorToRGB(bg), inv = ColorToRGB(InverseColor(bg));
  const struct {
    TVLBackgroundStyle Style;
    int32_t X, Y;
    TRGB Expected;
  } cases[] = {
      {vlbsSolid, 5, 5, b},
      {vlbsHorizontal, 3, 0, inv},
      {vlbsHorizontal, 3, 1, b},
      {vlbsVertical, 0, 3, inv},
      {vlbsVertical, 1, 3, b},
      {vlbsFDiagonal, 2, 2, inv},
      {vlbsFDiagonal, 2, 3, b},
      {vlbsBDiagonal, 0, 7, inv},
      {vlbsCross, 8, 5, inv},
      {vlbsDiagCross, 3, 3, inv},
      {vlbsChessboard, 0, 0, b},
      {vlbsChessboard, 16, 0, inv},
      {vlbsChessboard, 16, 16, b},
      {vlbsDiagonals, 0, 0, inv},
      {vlbsDiagonals, 5, 0, b},
      {vlbsCropped, 5, 5, ColorToRGB(kFace)},
      {vlbsCropShadow, 0, 0, b},
      {vlbsGradient, 5, 0, b},
      {vlbsGradient, 5, 39, ColorToRGB(clBlue)},
  };
  for (const auto& c : cases) {
    auto target = MakeBitmap(50, 40, vl24RGB);
    TVLBackgroundSettings s;
    s.Background = bg;
    s.ButtonFace = kFace;
    s.Style = c.Style;
    PaintBackgroundStyle(*target, s);
    EXPECT_EQ(target->PixelRGB(c.X, c.Y), c.Expected) << "style " << c.Style;
  }
}

TEST(ViewBackground, AHandlerThatPaintsKeepsItsPicture) {
  TVistrelViewLogic v;
  MakePreview(v);
  v.Bitmap()->Allocate(3000, 2000, vl24RGB);
  v.OnDrawBackground = [](TVLBitmap& target, const TVLRect&, bool& handled) {
    target.Fill(0x00FFFF);  // yellow
    handled = true;
  };
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_EQ(BackPixel(v, 10, 0), (TRGB{0, 255, 255}));
  EXPECT_EQ(BackPixel(v, 10, 50), (TRGB{0, 0, 0}));
  // A wallpaper is drawn over the style.
  v.OnDrawBackground = nullptr;
  auto paper = MakeBitmap(4, 4, vl24RGB);
  paper->Fill(0xFF0000);
  v.SetWallPaper(paper.get());
  v.SetWallPaperStyle(vlwoTile);
  v.PrepareBackBuffer();
  EXPECT_EQ(BackPixel(v, 150, 119), (TRGB{255, 0, 0}));
}

TEST(ViewLayers, SelectingAndBlendingALayer) {
  TVistrelViewLogic v;
  MakePreview(v);
  v.Bitmap()->Allocate(171, 120, vl24RGB);
  v.Bitmap()->Fill(0x000000);
  auto top = MakeBitmap(10, 10, vl24RGB);
  top->Fill(0xFFFFFF);
  const int32_t index = v.AddLayer(std::move(top));
  v.Layer(index).Left = 20;
  v.Layer(index).Top = 30;
  v.Layer(index).Opacity = 128;
  int notified = 0;
  v.OnChangeCallbacks = [&] { ++notified; };
  v.SelectLayer(5);
  v.SelectLayer(0);
  EXPECT_EQ(notified, 0);
  v.SelectLayer(index);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(v.Bitmap(), v.Layer(index).LayerBitmap());
  EXPECT_EQ(v.ImageWidth(), 171);  // the image is still layer 0's size
  v.PrepareBackBuffer();
  EXPECT_EQ(BackPixel(v, 25, 35).g, (255 * 128 * 1024) >> 18);
  EXPECT_EQ(BackPixel(v, 19, 35).g, 0);
  EXPECT_EQ(v.Layer(index).LastDstWidth, 10);
}

}  // namespace

namespace {

TEST(ViewLayers, DroppingTheAlphaChannelCanFlattenOverTheBackground) {
  TVistrelViewLogic v;
  v.SetLegacyBitmap(false);
  v.SetBackground(0x000000);
  v.Bitmap()->Allocate(2, 1, vl24RGB);
  v.Bitmap()->Fill(0xFFFFFF);
  v.Bitmap()->SetAlpha(0, 0, 0);
  v.Bitmap()->SetAlpha(1, 0, 128);
  v.DropAlphaLayer(true);
  EXPECT_FALSE(v.Bitmap()->HasAlphaLayer());
  EXPECT_EQ(v.Bitmap()->PixelRGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(v.Bitmap()->PixelRGB(1, 0).g, (128 * 1024 * 255) >> 18);
}

}  // namespace

namespace {

TEST(ViewLayers, AMaskLayerLimitsTheLayerBelowAndLeavesItsAlphaAlone) {
  TVistrelViewLogic v;
  MakePreview(v);
  v.Bitmap()->Allocate(171, 120, vl24RGB);
  v.Bitmap()->Fill(0x000000);
  auto top = MakeBitmap(10, 10, vl24RGB);
  top->Fill(0xFFFFFF);
  const int32_t layer = v.AddLayer(std::move(top));
  v.Layer(layer).Left = 20;
  v.Layer(layer).Top = 30;
  auto mask = MakeBitmap(10, 10, vl8g);
  mask->FillRect(0, 0, 4, 9, 255);  // the left half shows
  const int32_t m = v.AddLayer(std::move(mask));
  v.Layer(m).Left = 20;
  v.Layer(m).Top = 30;
  v.Layer(m).IsMask = true;
  v.Update();
  v.PrepareBackBuffer();
  EXPECT_GE(BackPixel(v, 22, 35).g, 254);
  EXPECT_EQ(BackPixel(v, 27, 35).g, 0);
  EXPECT_FALSE(v.Layer(layer).LayerBitmap()->HasAlphaLayer());
}

}  // namespace

namespace {

TEST(ViewGeometry, ScreenAndBitmapCoordinatesMapBothWays) {
  TVistrelViewLogic v;
  MakePreview(v);
  v.Bitmap()->Allocate(100, 80, vl24RGB);  // 150 %, drawn at (10, 0)
  v.Update();
  for (int32_t x : {0, 1, 50, 99}) {
    const int32_t screen = v.BitmapToScreenX(x);
    EXPECT_EQ(screen, 10 + int32_t(std::ceil(x * 1.5))) << x;  // the first column showing x
    EXPECT_EQ(v.ScreenToBitmapX(screen), x) << x;
  }
  EXPECT_EQ(v.ScreenToBitmapY(119), 79);
  EXPECT_EQ(v.ScreenToBitmapX(5), -3);  // left of the picture: Trunc(-5 / 1.5)
}

TEST(ViewZoom, ADelayedFilterComesBackAfterFourPaints) {
  TVistrelViewLogic v;
  v.SetHostGeometry(true, 175, 124, 171, 120);
  v.SetZoomFilter(rfFastLinear);
  v.DelayZoomFilter = true;
  v.Bitmap()->Allocate(400, 300, vl24RGB);
  v.Update();
  v.SetZoom(50);
  EXPECT_EQ(v.FilterDelay(), 4);
  for (int i = 0; i < 4; ++i) {
    v.PrepareBackBuffer();
    v.AfterPaint();
  }
  EXPECT_EQ(v.FilterDelay(), 0);
  EXPECT_TRUE(v.BackBufferDirty());  // the filtered picture is rendered next
}

}  // namespace
