// Loading through TVistrelIO: dispatch by extension, the registry path, the events, the
// abort flag and the resolution steps.

#include <gtest/gtest.h>

#include "imaging/io/stream.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "io_test_support.h"
#include "platform/toolkit_bitmap.h"

namespace {

using iotest::External;
using iotest::FakeView;
using iotest::ScopedFormat;
using iotest::TempDir;

// Records which format loader LoadFromFile reaches, and every progress and finish event.
class ProbeIO : public TVistrelIO {
 public:
  std::vector<std::string> Reached;
  std::vector<std::string> Events;
  bool Intercept = true;

  ProbeIO() {
    OnFinishWork = [this](TObject* sender) {
      EXPECT_EQ(sender, this);
      Events.push_back("finish");
    };
  }
  void DoProgress(TObject* Sender, int Percent) override {
    Events.push_back("progress " + std::to_string(Percent));
    TVistrelIO::DoProgress(Sender, Percent);
  }
  void LoadTiffFile(const std::string& n) override {
    if (Hit("tiff")) TVistrelIO::LoadTiffFile(n);
  }
  void LoadJpegFile(const std::string& n) override {
    if (Hit("jpeg")) TVistrelIO::LoadJpegFile(n);
  }
  void LoadBmpFile(const std::string& n) override {
    if (Hit("bmp")) TVistrelIO::LoadBmpFile(n);
  }
  void LoadPngFile(const std::string& n) override {
    if (Hit("png")) TVistrelIO::LoadPngFile(n);
  }
  void LoadGifFile(const std::string& n) override {
    if (Hit("gif")) TVistrelIO::LoadGifFile(n);
  }
  void LoadMetaFile(const std::string& n) override {
    if (Hit("meta")) TVistrelIO::LoadMetaFile(n);
  }

 private:
  // Records the loader; true when the real one should run.
  bool Hit(const char* what) {
    Reached.push_back(what);
    return !Intercept;
  }
};

// A reader that makes a 4 x 3 vl24RGB image and reports two steps of progress.
void GoodReader(TStream&, TVLBitmap& bitmap, TIOParamsVals& params, TVLProgressState& p) {
  bitmap.Allocate(4, 3, vl24RGB);
  params.SetDpiX(0);  // no resolution in the file
  params.SetDpiY(150);
  p.StepPercent = 50;
  p.Step();
  p.Step();
}

class LoadTest : public ::testing::Test {
 protected:
  TempDir dir;
  ProbeIO io;
};

TEST_F(LoadTest, ExtensionsReachTheirFormatLoadersInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.TIF", "tiff"}, {"a.tif", "tiff"}, {"a.Tif", "tiff"}, {"a.TIFF", "tiff"},
      {"a.fax", "tiff"}, {"a.G3N", "tiff"}, {"a.g3f", "tiff"}, {"a.XIF", "tiff"},
      {"a.jpg", "jpeg"}, {"a.JPE", "jpeg"}, {"a.jpeg", "jpeg"}, {"a.dib", "bmp"},
      {"a.RLE", "bmp"},  {"a.png", "png"},  {"a.gif", "gif"},   {"a.emf", "meta"},
      {"a.WMF", "meta"}};
  for (const auto& [name, loader] : cases) {
    io.Reached.clear();
    io.LoadFromFile(dir.File(name));
    EXPECT_EQ(io.Reached, std::vector<std::string>{loader}) << name;
  }
}

TEST_F(LoadTest, UnknownExtensionChangesNothingAndFiresNothing) {
  io.LoadFromFile("");  // puts AbortFlag in a known state (true)
  io.TargetBitmap()->Allocate(3, 2, vl8g);
  io.Params().FileName = "keep";
  io.Params().JpegMarkers.AppendEntry(0xE0, nullptr, 0);
  io.Events.clear();
  io.LoadFromFile(dir.Write("photo.xyz", "data"));
  io.LoadFromFile(dir.File("noext"));
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.TargetBitmap()->Width(), 3);
  EXPECT_EQ(io.TargetBitmap()->PixelFormat(), vl8g);
  EXPECT_EQ(io.Params().FileName, "keep");
  EXPECT_EQ(io.Params().JpegMarkers.Count(), 1);
  EXPECT_TRUE(io.Events.empty());
}

TEST_F(LoadTest, EmptyNameAndUnreadableFormatsFailWithFinishEvent) {
  io.LoadFromFile("");
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.Events, (std::vector<std::string>{"progress 100", "finish"}));

  for (const char* name : {"doc.ps", "doc.EPS", "doc.pdf"}) {
    io.Events.clear();
    io.Params().FileName = "previous";
    io.Params().FileType = ftTIFF;
    io.LoadFromFile(dir.Write(name, "%!PS"));
    EXPECT_TRUE(io.AbortFlag()) << name;
    EXPECT_EQ(io.Params().FileName, "");
    EXPECT_EQ(io.Params().FileType, ftUnknown);
    EXPECT_EQ(io.Events, (std::vector<std::string>{"progress 100", "finish"}));
  }
  for (const char* name : {"http://example.com/a.jpg", "HTTP://x/y.tif", "clip.AVI"}) {
    io.Events.clear();
    io.LoadFromFile(name);
    EXPECT_TRUE(io.AbortFlag()) << name;
    EXPECT_EQ(io.Events.back(), "finish");
  }
  EXPECT_EQ(io.Params().FileType, ftAVI);
  EXPECT_TRUE(io.Reached.empty());
}

TEST_F(LoadTest, MissingFileRaisesAfterTheFinishEvent) {
  io.Intercept = false;
  for (const char* name : {"missing.tif", "missing.jpg", "missing.bmp", "missing.png"}) {
    io.Events.clear();
    EXPECT_THROW(io.LoadFromFile(dir.File(name)), EFOpenError) << name;
    EXPECT_EQ(io.Events, (std::vector<std::string>{"progress 100", "finish"}));
    // A caller that catches the exception must not take the load for a success.
    EXPECT_TRUE(io.AbortFlag()) << name;
  }
  // The same through the registry, after a successful load had cleared the flag.
  ScopedFormat format(External(125, "EXT5", GoodReader));
  io.LoadFromFile(dir.Write("good.ext5", "x"));
  ASSERT_FALSE(io.AbortFlag());
  io.Events.clear();
  EXPECT_THROW(io.LoadFromFile(dir.File("missing.ext5")), EFOpenError);
  EXPECT_EQ(io.Events, (std::vector<std::string>{"progress 100", "finish"}));
  EXPECT_TRUE(io.AbortFlag());
}

TEST_F(LoadTest, BadTiffFailsThroughAbortFlagAndStillDescribesTheFile) {
  io.Intercept = false;
  FakeView view;
  io.SetAttachedVistrel(&view);
  io.Params().SetDpiX(1);
  const std::string path = dir.Write("bad.tif", "this is not a TIFF file");
  io.LoadFromFile(path);
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.Params().FileName, path);
  EXPECT_EQ(io.Params().FileType, ftTIFF);
  EXPECT_EQ(io.Params().DpiX(), 300);  // CheckDPI ran
  EXPECT_EQ(view.DpiX(), 300);
  ASSERT_GE(view.Log.size(), 2u);
  EXPECT_EQ(view.Log[view.Log.size() - 2], "Update");
  EXPECT_EQ(view.Log.back(), "ImageChange");
  EXPECT_EQ(io.Events.back(), "finish");
}

TEST_F(LoadTest, FailedLoadsKeepTheWritingOptions) {
  io.Intercept = false;
  io.Params().JpegQuality = 55;
  io.Params().TiffJPEGQuality = 60;
  io.Params().JpegMarkers.AppendEntry(0xE1, nullptr, 0);
  io.LoadFromFile(dir.Write("bad.jpg", "not a JPEG"));
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.Params().FileType, ftJPEG);
  EXPECT_EQ(io.Params().JpegMarkers.Count(), 0);  // read information is cleared
  io.LoadFromFile(dir.Write("bad.tif", "not a TIFF"));
  EXPECT_EQ(io.Params().JpegQuality, 55);
  EXPECT_EQ(io.Params().TiffJPEGQuality, 60);
}

TEST_F(LoadTest, AttachedToolkitBitmapIsAdoptedAndMarkedModified) {
  TToolkitBitmap toolkit(5, 4, 24);
  int32_t seenWidth = 0;
  ScopedFormat format(External(125, "TK", [&](TStream&, TVLBitmap& b, TIOParamsVals&,
                                              TVLProgressState&) { seenWidth = b.Width(); }));
  io.SetAttachedBitmap(&toolkit);
  io.LoadFromFile(dir.Write("a.tk", "x"));
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(seenWidth, 5);
  EXPECT_TRUE(toolkit.Modified());
}

TEST_F(LoadTest, ExternalFormatLoadsThroughTheRegistry) {
  ScopedFormat format(External(120, "EXT1", GoodReader));
  FakeView view;
  io.SetAttachedVistrel(&view);
  const std::string path = dir.Write("pic.ext1", "x");
  io.LoadFromFile(path);
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(io.Params().FileName, path);
  EXPECT_EQ(io.Params().FileType, TVLFileType(120));
  EXPECT_EQ(view.Image.Width(), 4);
  // The reader's own progress, then the finish event's 100, then OnFinishWork.
  EXPECT_EQ(io.Events,
            (std::vector<std::string>{"progress 50", "progress 100", "progress 100", "finish"}));
  // The view gets the file's resolution (0 is ignored by the view), then repaints.
  const std::vector<std::string> tail(view.Log.end() - 4, view.Log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"DpiX 0", "DpiY 150", "Update", "ImageChange"}));
}

TEST_F(LoadTest, ExternalReaderExceptionsBecomeAbortFlag) {
  ScopedFormat format(External(121, "EXT2", [](TStream&, TVLBitmap&, TIOParamsVals&,
                                               TVLProgressState&) {
    throw std::runtime_error("broken reader");
  }));
  const std::string path = dir.Write("pic.ext2", "x");
  EXPECT_NO_THROW(io.LoadFromFile(path));
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.Events.back(), "finish");
  // An external record without read entry fails like PostScript.
  ScopedFormat writeOnly(External(122, "EXT3", nullptr));
  io.Events.clear();
  io.LoadFromFile(dir.Write("pic.ext3", "x"));
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(io.Events, (std::vector<std::string>{"progress 100", "finish"}));
}

TEST_F(LoadTest, ExceptionsAfterAGoodExternalReadLeaveTheFlagSet) {
  // The view fails while being told about the new image (out of memory, say): the
  // exception reaches the caller, and the load does not count as a success.
  class FailingView : public FakeView {
   public:
    void Update() override { throw std::bad_alloc(); }
  };
  ScopedFormat format(External(126, "EXT6", GoodReader));
  FailingView view;
  io.SetAttachedVistrel(&view);
  EXPECT_THROW(io.LoadFromFile(dir.Write("pic.ext6", "x")), std::bad_alloc);
  EXPECT_TRUE(io.AbortFlag());
}

TEST_F(LoadTest, AbortFlagFollowsTheLastOperation) {
  ScopedFormat good(External(123, "GOOD", GoodReader));
  ScopedFormat bad(External(124, "BAD", [](TStream&, TVLBitmap&, TIOParamsVals&,
                                           TVLProgressState& p) { p.Abort(); }));
  EXPECT_FALSE(io.AbortFlag());
  io.LoadFromFile("");
  EXPECT_TRUE(io.AbortFlag());
  io.LoadFromFile(dir.Write("a.good", "x"));
  EXPECT_FALSE(io.AbortFlag());
  io.LoadFromFile(dir.File("a.unknown"));
  EXPECT_FALSE(io.AbortFlag());
  io.LoadFromFile(dir.Write("a.bad", "x"));
  EXPECT_TRUE(io.AbortFlag());
  io.LoadFromFile(dir.File("a.unknown"));
  EXPECT_TRUE(io.AbortFlag());
}

TEST_F(LoadTest, LoadFileAsTypeAndByContentDispatch) {
  io.LoadFileAsType(dir.File("whatever.bin"), ftTIFF);
  io.LoadFileAsType(dir.File("whatever.bin"), ftWMF);
  io.LoadFileByContent(dir.File("x.png"));  // content detection falls back to the extension
  EXPECT_EQ(io.Reached, (std::vector<std::string>{"tiff", "meta", "png"}));
  io.Events.clear();
  io.LoadFileAsType(dir.File("whatever.bin"), TVLFileType(99));  // no loader, no record
  EXPECT_TRUE(io.Events.empty());
}

TEST(CheckDPI, ResolutionsBelowTwoBecomeTheFallback) {
  TVistrelIO io;
  io.Params().SetDpiX(1);
  io.Params().SetDpiY(-5);
  io.CheckDPI();
  EXPECT_EQ(io.Params().DpiX(), 300);
  EXPECT_EQ(io.Params().DpiY(), 300);
  io.Params().SetDpiX(2);
  io.Params().SetDpiY(0);
  const int32_t saved = FallbackDpiY;
  FallbackDpiY = 96;
  io.CheckDPI();
  FallbackDpiY = saved;
  EXPECT_EQ(io.Params().DpiX(), 2);
  EXPECT_EQ(io.Params().DpiY(), 96);
}

}  // namespace
