// The view widget offscreen: what it shows is its back buffer, exposures copy without
// rendering again, and the preview shows each image of the sample disc during a copy.

#include "imaging/view/vistrel_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>

#include "app/copy_workflow.h"
#include "app/form3_qt.h"
#include "gui_test_support.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace {

// True when the widget's client area shows exactly the back buffer.
bool ShowsTheBackBuffer(TVistrelView& view) {
  const QImage shot = view.grab().toImage();
  TVLBitmap& back = view.Logic().BackBuffer();
  const QRect client = view.contentsRect();
  for (int y = 0; y < back.Height(); ++y)
    for (int x = 0; x < back.Width(); ++x) {
      const TRGB p = back.PixelRGB(x, y);
      if (shot.pixelColor(client.x() + x, client.y() + y) != QColor(p.r, p.g, p.b)) return false;
    }
  return true;
}

TEST(VistrelViewWidget, ShowsItsBackBufferAndCopiesItOnExposure) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.SetZoomFilter(rfFastLinear);
  view.resize(175, 124);
  TVLBitmap& b = *view.Bitmap();
  b.Allocate(300, 200, vl24RGB);
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x)
      b.SetPixelRGB(x, y, TRGB{uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
  view.Update();
  view.show();
  ASSERT_TRUE(ShowsTheBackBuffer(view));
  const int32_t renders = view.Logic().RenderCount();
  EXPECT_GE(renders, 1);
  view.repaint();  // an exposure: the back buffer is copied again, not rendered
  EXPECT_TRUE(ShowsTheBackBuffer(view));
  EXPECT_EQ(view.Logic().RenderCount(), renders);
  view.SetDrawVersion(true);
  const QImage labelled = view.grab().toImage();
  EXPECT_EQ(labelled.pixelColor(view.contentsRect().bottomRight() - QPoint(1, 1)),
            QColor(Qt::white));
  EXPECT_EQ(view.VistrelVersion(), "2.2.1");
}

TEST(VistrelViewWidget, PaintHooksAndABackgroundHandlerThatPaints) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.resize(175, 124);
  view.Bitmap()->Allocate(3000, 2000, vl24RGB);
  int renders = 0, paints = 0;
  view.OnDrawBackBuffer = [&] { ++renders; };
  view.OnPaint = [&] { ++paints; };
  view.SetOnDrawBackground([](QPainter& painter, const QRect& rect, bool& handled) {
    painter.fillRect(rect, Qt::yellow);
    handled = true;
  });
  view.show();
  const QImage shot = view.grab().toImage();
  view.grab();
  EXPECT_EQ(renders, 1);
  EXPECT_GE(paints, 2);
  EXPECT_EQ(shot.pixelColor(view.contentsRect().topLeft()), QColor(Qt::yellow));
  EXPECT_EQ(shot.pixelColor(view.contentsRect().center()), QColor(Qt::black));
}

TEST(VistrelViewWidget, ScrollBarsFollowTheOriginWhenAllowed) {
  TVistrelView view;
  view.resize(175, 124);
  view.Bitmap()->Allocate(600, 400, vl24RGB);  // zoom 100: larger than the client area
  view.Update();
  ASSERT_TRUE(view.HorzScrollBar()->isVisibleTo(&view));
  ASSERT_TRUE(view.VertScrollBar()->isVisibleTo(&view));
  EXPECT_LT(view.Logic().ViewClientWidth(), 171);  // the bars take their room
  view.HorzScrollBar()->setValue(65535);
  int32_t maxX, maxY;
  view.Logic().MaxOrigin(maxX, maxY);
  EXPECT_GT(view.Logic().OriginX(), maxX * 9 / 10);
  view.SetOriginY(10);
  EXPECT_GT(view.VertScrollBar()->value(), 0);
  view.SetScrollBars(ssNone);
  view.Update();
  EXPECT_FALSE(view.HorzScrollBar()->isVisibleTo(&view));
  EXPECT_EQ(view.Logic().ViewClientWidth(), 171);
}

TEST(VistrelViewWidget, ThePreviewShowsEachImageOfTheSampleDiscDuringACopy) {
  const std::string disc = std::string(VANDREL_SOURCE_DIR) + "/samples/disc/";
  guitest::Environment env({{disc, "VANDREL"}});
  TForm3 form;
  form.show();
  ASSERT_TRUE(env.Messages.empty());
  TVistrelView& view = *form.VistrelView1;
  auto load = form.Workflow().Hooks().LoadImage;
  int loaded = 0, shown = 0;
  bool pending = false;
  form.Workflow().Hooks().LoadImage = [&](const std::string& path) {
    const bool ok = load(path);
    if (ok) {
      ++loaded;
      pending = true;
    }
    return ok;
  };
  form.Workflow().Hooks().ProcessMessages = [&] {
    QCoreApplication::processEvents();  // what the window's own servicing of the queue does
    if (!pending) return;
    pending = false;
    // The paint that servicing the queue brought rendered the new image, fitted.
    EXPECT_FALSE(view.Logic().BackBufferDirty());
    EXPECT_FALSE(view.ImageRect().isEmpty());
    if (ShowsTheBackBuffer(view)) ++shown;
  };
  form.cmdCopyFiles->click();
  EXPECT_EQ(loaded, 10);  // every image of the disc: JPEG, BMP, PNG and TIFF
  EXPECT_EQ(shown, loaded);
}

}  // namespace
