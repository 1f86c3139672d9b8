// The preview with its I/O component, and the guard that shows exceptions from event
// handlers.

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "gui_test_support.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "imaging/view/vistrel_view.h"
#include "platform/qt/ui_qt.h"

namespace fs = std::filesystem;
using guitest::Environment;
using guitest::TempDir;

TEST(VistrelView, ItsIoComponentLoadsIntoTheViewAndFailsCleanly) {
  TempDir dir;
  TVistrelView view;
  TVistrelIO* io = view.ImageIO();
  EXPECT_EQ(view.ImageIO(), io);  // created once
  EXPECT_EQ(io->AttachedVistrel(), &view);
  EXPECT_EQ(io->TargetBitmap(), view.Bitmap());
  // Not an image: the load fails through the flag and the view stays empty.
  dir.Write("not-an-image.jpg", "plain text");
  io->LoadFromFile((dir.Path() / "not-an-image.jpg").string());
  EXPECT_TRUE(io->AbortFlag());
  EXPECT_TRUE(view.ImageRect().isEmpty());
  // Nothing loaded, nothing written.
  const fs::path out = dir.Path() / "never-written.jpg";
  io->SaveJpegFile(out.string());
  EXPECT_TRUE(io->AbortFlag());
  EXPECT_FALSE(fs::exists(out));
}

TEST(VistrelView, FitsTheImageCentredAndPaintsIt) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.resize(175, 124);  // client area 171 x 120 inside the two-pixel edge
  view.Bitmap()->Allocate(30, 20, vl24RGB);
  view.Bitmap()->Fill(0x0000FF);  // a toolkit colour: pure red
  view.Update();
  // 30 x 20 enlarged by min(171/30, 120/20) = 5.7 to 171 x 114, centred vertically.
  EXPECT_EQ(view.ImageRect(), QRect(2, 5, 171, 114));
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(87, 62), QColor(255, 0, 0));
  EXPECT_NE(shot.pixelColor(87, 3), QColor(255, 0, 0));  // the margin keeps the background
}

TEST(VistrelView, AnImageStoreThatCannotBeReadPaintsOnlyTheBackground) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.resize(175, 124);
  view.SetLegacyBitmap(false);  // the image may then go to a temporary file
  TVLBitmap& bitmap = *view.Bitmap();
  bitmap.MemoryThreshold = 0;  // kept in a temporary file
  bitmap.Allocate(30, 20, vl24RGB);
  ASSERT_EQ(bitmap.Location(), vlFile);
  // Rows written and then lost from the file (rows never written need no read).
  bitmap.Fill(128);
  bitmap.FileBuffer().ReleaseAll();
  ASSERT_EQ(::truncate(bitmap.FileBuffer().FileName().c_str(), 0), 0);
  // The failed read must not leave the paint event as an exception.
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(87, 62), view.palette().color(QPalette::Button));
}

TEST(GuardedCall, ShowsTheExceptionAndCarriesOn) {
  TempDir dir;
  Environment env({});
  EXPECT_FALSE(platform::qt::GuardedCall([] { throw std::runtime_error("disc removed"); }));
  EXPECT_FALSE(platform::qt::GuardedCall([] { throw 42; }));
  EXPECT_TRUE(platform::qt::GuardedCall([] {}));
  ASSERT_EQ(env.Messages.size(), 2u);
  EXPECT_EQ(env.Messages[0], "disc removed");
  EXPECT_FALSE(env.Messages[1].empty());
}

// The preview loads every kind of TIFF a disc may hold (CMYK, 16-bit, Lab, palette, 1-bit)
// into its display bitmap, so "As JPEG" can convert them.
TEST(VistrelView, PreviewLoadsEveryCorpusTiffKind) {
  const std::string dir = std::string(VANDREL_TESTDATA_DIR) + "/tiff/";
  if (!fs::exists(dir + "cmyk16.tif")) GTEST_SKIP() << "no test corpus";
  TVistrelView view;
  for (const char* name : {"cmyk8.tif", "cmyk16.tif", "gray16_le.tif", "cielab8.tif", "rgb8_none.tif"}) {
    SCOPED_TRACE(name);
    view.ImageIO()->LoadFromFile(dir + name);
    EXPECT_FALSE(view.ImageIO()->AbortFlag());
    EXPECT_GT(view.ImageIO()->TargetBitmap()->Width(), 0);
  }
}
