// Saving through TVistrelIO: the extension table, the JPEG marker steps with a fake writer,
// pixel-format preparation and what is left on disk when a save fails.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "imaging/io/stream.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "io_test_support.h"

namespace {

using iotest::External;
using iotest::ReadFile;
using iotest::ScopedFormat;
using iotest::TempDir;
namespace fs = std::filesystem;

// Records which writer SaveToFile chooses.
class SaveProbe : public TVistrelIO {
 public:
  std::vector<std::string> Chosen;
#define VL_PROBE(Name) \
  void Save##Name##File(const std::string&) override { Chosen.push_back(#Name); }
  VL_PROBE(Jpeg) VL_PROBE(Tiff) VL_PROBE(Png) VL_PROBE(Bmp) VL_PROBE(Gif) VL_PROBE(Pcx)
  VL_PROBE(Dcx) VL_PROBE(Jp2) VL_PROBE(J2k) VL_PROBE(Tga) VL_PROBE(Pxm) VL_PROBE(Ico)
  VL_PROBE(Wbmp) VL_PROBE(PS) VL_PROBE(PDF)
#undef VL_PROBE
};

TEST(SaveToFile, ExtensionChoosesTheWriter) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.JPG", "Jpeg"}, {"a.jpeg", "Jpeg"}, {"a.Jpe", "Jpeg"}, {"a.tif", "Tiff"},
      {"a.TIFF", "Tiff"}, {"a.fax", "Tiff"}, {"a.g3f", "Tiff"}, {"a.G3N", "Tiff"},
      {"a.png", "Png"},  {"a.bmp", "Bmp"},   {"a.dib", "Bmp"},  {"a.rle", "Bmp"},
      {"a.gif", "Gif"},  {"a.pcx", "Pcx"},   {"a.dcx", "Dcx"},  {"a.jp2", "Jp2"},
      {"a.j2k", "J2k"},  {"a.jpc", "J2k"},   {"a.j2c", "J2k"},  {"a.tga", "Tga"},
      {"a.targa", "Tga"}, {"a.vda", "Tga"},  {"a.icb", "Tga"},  {"a.vst", "Tga"},
      {"a.WIN", "Tga"},  {"a.pxm", "Pxm"},   {"a.pbm", "Pxm"},  {"a.pgm", "Pxm"},
      {"a.ppm", "Pxm"},  {"a.ico", "Ico"},   {"a.wbmp", "Wbmp"}, {"a.ps", "PS"},
      {"a.eps", "PS"},   {"a.pdf", "PDF"},
      // Listed only by the registry for a built-in format: that format's own writer.
      {"a.xif", "Tiff"}, {"a.PIX", "Tga"}};
  for (const auto& [name, writer] : cases) {
    SaveProbe io;
    io.SaveToFile(name);
    EXPECT_EQ(io.Chosen, std::vector<std::string>{writer}) << name;
  }
}

TEST(SaveToFile, UnwritableExtensionsSetAbortFlagOnly) {
  TempDir dir;
  SaveProbe io;
  int finished = 0;
  io.OnFinishWork = [&](TObject*) { ++finished; };
  io.SaveToFile("");
  EXPECT_FALSE(io.AbortFlag());
  for (const char* name : {"a.xyz", "a.cur", "a.WMF", "a.nef", "noext"}) {
    io.SaveToFile(dir.File(name));
    EXPECT_TRUE(io.AbortFlag()) << name;
    EXPECT_FALSE(fs::exists(dir.File(name)));
  }
  EXPECT_TRUE(io.Chosen.empty());
  EXPECT_EQ(finished, 0);
}

TEST(SaveToFile, ExternalWriterGetsA24BitImageAndTheFile) {
  TempDir dir;
  TVLPixelFormat seen = vlNull;
  ScopedFormat format(External(130, "OUT1", nullptr,
                               [&](TStream& s, TVLBitmap& b, TIOParamsVals&, TVLProgressState&) {
                                 seen = b.PixelFormat();
                                 s.WriteBuffer("OUT", 3);
                               }));
  TVistrelIO io;
  io.TargetBitmap()->Allocate(2, 2, vl8g);
  const std::string path = dir.File("x.out1");
  io.SaveToFile(path);
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(seen, vl24RGB);
  EXPECT_EQ(ReadFile(path), "OUT");
  EXPECT_EQ(io.Params().FileType, TVLFileType(130));
  EXPECT_EQ(io.Params().FileName, path);
}

// A component whose JPEG writer records the marker list and pixel format it is given.
class JpegSaveTest : public ::testing::Test {
 protected:
  struct Marker {
    uint8_t Type;
    std::vector<uint8_t> Data;
    bool operator==(const Marker&) const = default;
  };

  void SetUp() override {
    io.TargetBitmap()->Allocate(8, 8, vl24RGB);
    io.JpegWriter = [this](TStream& s, TVLBitmap& b, TIOParamsVals& p, TVLProgressState&) {
      ++writes;
      format = b.PixelFormat();
      markers.clear();
      for (int32_t i = 0; i < p.JpegMarkers.Count(); ++i) {
        const uint8_t* d = p.JpegMarkers.EntryData(i);
        markers.push_back({p.JpegMarkers.EntryType(i),
                           std::vector<uint8_t>(d, d + p.JpegMarkers.EntryLength(i))});
      }
      s.WriteBuffer("JPEG", 4);
    };
    io.ExifBlockBuilder = [this](const TIOParamsVals&) {
      ++exifBuilds;
      return exifBlock;
    };
    io.Params().IptcRecords.Clear();
    io.Params().IptcRecords.SetEditedSinceRead(false);
  }

  void AddMarker(uint8_t type, const std::string& data) {
    io.Params().JpegMarkers.AppendEntry(type, reinterpret_cast<const uint8_t*>(data.data()),
                                        data.size());
  }
  static Marker M(uint8_t type, const std::string& data) {
    return {type, std::vector<uint8_t>(data.begin(), data.end())};
  }
  void AddIptc(const std::string& text) {
    io.Params().IptcRecords.AppendRecord(2, 120, reinterpret_cast<const uint8_t*>(text.data()),
                                         text.size());
  }
  Marker Iptc() const {
    return {0xED, io.Params().IptcRecords.EncodeRecords(true)};
  }
  void Save() { io.SaveJpegFile(dir.File("out.jpg")); }

  TempDir dir;
  TVistrelIO io;
  int writes = 0;
  int exifBuilds = 0;
  TVLPixelFormat format = vlNull;
  std::vector<Marker> markers;
  std::vector<uint8_t> exifBlock = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'};
};

TEST_F(JpegSaveTest, WritesThroughTheWriterAndFinishes) {
  int finished = 0;
  io.OnFinishWork = [&](TObject*) { ++finished; };
  Save();
  EXPECT_EQ(writes, 1);
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(ReadFile(dir.File("out.jpg")), "JPEG");
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(markers.empty());
  EXPECT_EQ(exifBuilds, 0);  // no EXIF data read
}

TEST_F(JpegSaveTest, IptcBlockIsWrittenOnlyWhenAsked) {
  // Records read together with markers, unchanged: the markers are written as they are.
  AddIptc("caption");
  io.Params().IptcRecords.SetEditedSinceRead(false);
  AddMarker(0xE0, "JFIF");
  AddMarker(0xED, "old");
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{M(0xE0, "JFIF"), M(0xED, "old")}));

  // Edited records replace the first APP13 in place.
  AddIptc("more");
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{M(0xE0, "JFIF"), Iptc()}));
}

TEST_F(JpegSaveTest, IptcBlockIsAppendedWhenThereAreNoMarkers) {
  AddIptc("caption");
  io.Params().IptcRecords.SetEditedSinceRead(false);
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{Iptc()}));
}

TEST_F(JpegSaveTest, EmptyEditedListRemovesTheApp13) {
  AddMarker(0xED, "old");
  AddMarker(0xE1, "exif");
  io.Params().IptcRecords.Clear();  // an edit that leaves no records
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{M(0xE1, "exif")}));
}

TEST_F(JpegSaveTest, ExifBlockReplacesTheFirstApp1OrIsAppended) {
  io.Params().ExifPresent = true;
  AddMarker(0xE1, "first");
  AddMarker(0xE1, "second");
  Save();
  EXPECT_EQ(exifBuilds, 1);
  const Marker exif{0xE1, exifBlock};
  EXPECT_EQ(markers, (std::vector<Marker>{exif, M(0xE1, "second")}));

  io.Params().JpegMarkers.Clear();
  AddMarker(0xE0, "JFIF");
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{M(0xE0, "JFIF"), exif}));

  // No block could be built: the list stays as it is.
  exifBlock.clear();
  io.Params().JpegMarkers.Clear();
  AddMarker(0xE1, "kept");
  Save();
  EXPECT_EQ(markers, (std::vector<Marker>{M(0xE1, "kept")}));
}

TEST_F(JpegSaveTest, BlocksTooLargeForOneMarkerFailTheSave) {
  // Edited records that no APP13 segment can hold: writing the file with the old APP13 (or
  // without the records) would be wrong, so the save fails and leaves no file.
  AddMarker(0xED, "old");
  AddIptc(std::string(70000, 'x'));
  Save();
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(writes, 0);
  EXPECT_FALSE(fs::exists(dir.File("out.jpg")));

  io.Params().IptcRecords.Clear();
  io.Params().IptcRecords.SetEditedSinceRead(false);
  io.Params().JpegMarkers.Clear();
  io.Params().ExifPresent = true;
  exifBlock.assign(70000, 'e');
  Save();
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(writes, 0);
  EXPECT_FALSE(fs::exists(dir.File("out.jpg")));
}

TEST_F(JpegSaveTest, GrayIsConvertedTo24BitButBilevelIsNot) {
  io.TargetBitmap()->Allocate(8, 8, vl8g);
  Save();
  EXPECT_EQ(format, vl24RGB);
  EXPECT_EQ(io.TargetBitmap()->PixelFormat(), vl24RGB);
  io.TargetBitmap()->Allocate(8, 8, vl1g);
  Save();
  EXPECT_EQ(format, vl1g);
  EXPECT_EQ(io.TargetBitmap()->PixelFormat(), vl1g);
}

TEST_F(JpegSaveTest, UncreatableFileRaisesAndLeavesNothing) {
  const std::string path = dir.File("missing/folder/out.jpg");
  EXPECT_THROW(io.SaveJpegFile(path), EFCreateError);
  EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
  EXPECT_EQ(writes, 0);
  // A folder of that name is not replaced either.
  fs::create_directory(dir.File("taken.jpg"));
  EXPECT_THROW(io.SaveJpegFile(dir.File("taken.jpg")), EFCreateError);
  EXPECT_TRUE(fs::is_directory(dir.File("taken.jpg")));
  // Nor a FIFO (refused at once, without waiting for a reader).
  ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
  EXPECT_THROW(io.SaveJpegFile(dir.File("pipe.jpg")), EFCreateError);
  EXPECT_EQ(fs::status(dir.File("pipe.jpg")).type(), fs::file_type::fifo);
  EXPECT_EQ(writes, 0);
  EXPECT_TRUE(io.AbortFlag());
}

TEST_F(JpegSaveTest, FailingWriterLeavesNoPartialFile) {
  io.JpegWriter = [](TStream& s, TVLBitmap&, TIOParamsVals&, TVLProgressState&) {
    s.WriteBuffer("partial", 7);
    throw std::runtime_error("library error");
  };
  EXPECT_THROW(Save(), std::runtime_error);
  EXPECT_FALSE(fs::exists(dir.File("out.jpg")));
  EXPECT_TRUE(io.AbortFlag());  // a caller that catches the exception sees the failure

  io.JpegWriter = [](TStream& s, TVLBitmap&, TIOParamsVals&, TVLProgressState& p) {
    s.WriteBuffer("partial", 7);
    p.Abort();
  };
  Save();
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_FALSE(fs::exists(dir.File("out.jpg")));
  EXPECT_TRUE(fs::is_empty(dir.Path()));  // no temporary file left either
}

TEST_F(JpegSaveTest, FailedSaveKeepsTheFileItWouldHaveReplaced) {
  dir.Write("out.jpg", "previous");
  io.JpegWriter = [](TStream& s, TVLBitmap&, TIOParamsVals&, TVLProgressState& p) {
    s.WriteBuffer("partial", 7);
    p.Abort();
  };
  Save();
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(ReadFile(dir.File("out.jpg")), "previous");
  io.JpegWriter = [](TStream& s, TVLBitmap&, TIOParamsVals&, TVLProgressState&) {
    s.WriteBuffer("partial", 7);
    throw std::runtime_error("library error");
  };
  EXPECT_THROW(Save(), std::runtime_error);
  EXPECT_EQ(ReadFile(dir.File("out.jpg")), "previous");
  // The TIFF writer is not built yet: saving over a TIFF must not destroy it.
  dir.Write("keep.tif", "tiff bytes");
  io.SaveToFile(dir.File("keep.tif"));
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(ReadFile(dir.File("keep.tif")), "tiff bytes");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST_F(JpegSaveTest, SuccessfulSaveReplacesTheFileAndKeepsItsPermissions) {
  const std::string path = dir.Write("out.jpg", "a much longer previous content");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Save();
  EXPECT_FALSE(io.AbortFlag());
  EXPECT_EQ(ReadFile(path), "JPEG");
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(JpegSaveTest, NoImageFailsWithoutTouchingTheFile) {
  io.TargetBitmap()->DiscardImage();
  dir.Write("out.jpg", "previous");
  Save();
  EXPECT_TRUE(io.AbortFlag());
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(ReadFile(dir.File("out.jpg")), "previous");
}

}  // namespace
