// Content detection: each test's signature and its boundary, the order between tests, the
// registry's content tests, DetectFileType's cross-check with the extension, and
// LoadFileByContent's dispatch. Every case is also run from the middle of a stream.

#include "imaging/component/format_detect.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/codecs/tiff_reader.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/io/stream.h"
#include "io_test_support.h"

namespace {

using Bytes = std::string;

Bytes Zeros(size_t n) { return Bytes(n, '\0'); }
Bytes Le16(uint16_t v) { return {char(v), char(v >> 8)}; }
Bytes Le32(uint32_t v) { return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16)); }

// An icon or cursor directory with one entry (data size, data offset) and Extra bytes after.
Bytes Icon(uint16_t type, uint16_t count, uint8_t reserved, uint32_t size, uint32_t offset,
           size_t extra) {
  return Le16(0) + Le16(type) + Le16(count) + Bytes{1, 1, 0, char(reserved)} + Le16(1) + Le16(32) +
         Le32(size) + Le32(offset) + Zeros(extra);
}
Bytes Targa(uint8_t mapType, uint8_t type, uint16_t w, uint16_t h, uint8_t depth) {
  return Bytes{0, char(mapType), char(type)} + Zeros(9) + Le16(w) + Le16(h) + Bytes{char(depth), 0};
}
Bytes Wmf() { return Le16(1) + Le16(9) + Zeros(12) + Le16(0); }  // 18 bytes
Bytes Emf(size_t length) {
  Bytes b = Le32(1) + Zeros(36) + " EMF";
  b.resize(length, '\0');
  return b;
}
// A TIFF whose first directory holds one entry.
Bytes TiffWithEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  return Bytes("II*\0", 4) + Le32(8) + Le16(1) + Le16(tag) + Le16(type) + Le32(count) +
         Le32(value) + Le32(0);
}

struct Case {
  const char* Name;
  Bytes Data;
  TVLFileType Expected;
};

// The answer for Data read from position 0, and from position 5 behind other bytes; the
// stream's position is the same afterwards.
void ExpectDetected(const Case& c) {
  SCOPED_TRACE(c.Name);
  for (const size_t lead : {size_t(0), size_t(5)}) {
    const Bytes all = Bytes(lead, 'z') + c.Data;
    TMemoryStream s(all.data(), all.size());
    s.SetPosition(int64_t(lead));
    EXPECT_EQ(DetectStreamType(s), c.Expected) << "from position " << lead;
    EXPECT_EQ(s.Position(), int64_t(lead));
  }
}

const Bytes kTiff = Bytes("II*\0", 4) + Le32(8) + Bytes(1, '\0');  // 9 bytes: the shortest

}  // namespace

// One signature and its boundary for every test, in the order the tests run.
TEST(DetectStreamType, EachSignatureAndItsBoundary) {
  const Bytes jpeg = "\xFF\xD8\xFF\xE0";
  const Case cases[] = {
      {"stream block JFIF", Bytes("JFIF\0", 5) + Zeros(8), ftJPEG},
      {"stream block JFIF, 12 bytes", Bytes("JFIF\0", 5) + Zeros(7), ftUnknown},
      {"stream block JFIFX", "JFIFX" + Zeros(8), ftUnknown},
      {"GIF", "GIF89a" + Zeros(8), ftGIF},
      {"GIF, 13 bytes", "GIF89a" + Zeros(7), ftUnknown},
      {"stream block PCX2", Bytes("PCX2\0", 5) + Zeros(8), ftPCX},
      {"stream block PCX2, 12 bytes", Bytes("PCX2\0", 5) + Zeros(7), ftUnknown},
      {"stream block PCX", Bytes("PCX\0", 4) + "x", ftPCX},
      {"stream block PCX, 4 bytes", Bytes("PCX\0", 4), ftUnknown},
      {"BMP", "BM" + Zeros(13), ftBMP},
      {"BMP, 14 bytes", "BM" + Zeros(12), ftUnknown},
      {"PCX", "\x0A\x05" + Zeros(127), ftPCX},
      {"PCX, 128 bytes", "\x0A\x05" + Zeros(126), ftUnknown},
      {"PCX, version 6", "\x0A\x06" + Zeros(127), ftUnknown},
      {"stream block TIFF", Bytes("TIFF\0", 5) + Zeros(8), ftTIFF},
      {"TIFF II", kTiff, ftTIFF},
      {"TIFF II, 8 bytes", kTiff.substr(0, 8), ftUnknown},
      {"TIFF II, directory at the end", Bytes("II*\0", 4) + Le32(9) + Zeros(1), ftUnknown},
      {"TIFF MM", Bytes("MM\0*\0\0\0\x08\x01", 9), ftTIFF},
      {"TIFF MM, ninth byte 0xBA", Bytes("MM\0*\0\0\0\x08\xBA", 9), ftUnknown},
      {"PNG", "\x89PNG\r\n\x1A\n" + Zeros(1), ftPNG},
      {"PNG, 8 bytes", "\x89PNG\r\n\x1A\n", ftUnknown},
      {"icon", Icon(1, 1, 0, 40, 22, 1), ftICO},
      {"icon, 22 bytes", Icon(1, 1, 0, 40, 22, 0), ftUnknown},
      {"icon, second entry past the end", Icon(1, 2, 0, 40, 38, 10), ftUnknown},
      {"icon, reserved byte set", Icon(1, 1, 1, 40, 22, 1), ftUnknown},
      {"icon, data inside the entry", Icon(1, 1, 0, 40, 21, 1), ftUnknown},
      {"icon, no data", Icon(1, 1, 0, 0, 22, 1), ftUnknown},
      {"cursor", Icon(2, 1, 0, 40, 22, 1), ftCUR},
      {"cursor, no entries", Icon(2, 0, 0, 40, 22, 1), ftUnknown},
      {"Targa", Targa(0, 2, 1, 1, 24), ftTGA},
      {"Targa, 17 bytes", Targa(0, 2, 1, 1, 24).substr(0, 17), ftUnknown},
      {"Targa, type 4", Targa(0, 4, 1, 1, 24), ftUnknown},
      {"Targa, depth 2", Targa(1, 10, 1, 1, 2), ftUnknown},
      {"Targa, map type 2", Targa(2, 1, 1, 1, 8), ftUnknown},
      {"Targa, no height", Targa(0, 3, 1, 0, 8), ftUnknown},
      {"portable pixmap", "P6\n# made by hand\n640 480\n255\n", ftPXM},
      {"portable bitmap, huge width", "P1 123456789012345678901234567890 1", ftPXM},
      {"portable bitmap, zero width", "P1 0 1", ftUnknown},
      {"portable bitmap, long token with a letter", "P1 123456789012345678901234567x 1", ftUnknown},
      {"portable bitmap, P7", "P7 1 1", ftUnknown},
      {"portable bitmap, no height", "P2 4", ftUnknown},
      {"portable bitmap, endless comment", "P3 #" + Bytes(100000, 'c') + "\n1 1", ftUnknown},
      {"JPEG start at 0", jpeg + Zeros(4), ftJPEG},
      {"JPEG start at 99", Zeros(99) + jpeg, ftJPEG},
      {"JPEG start at 100", Zeros(100) + jpeg, ftUnknown},
      {"JPEG start cut short", Zeros(10) + "\xFF\xD8", ftUnknown},
      {"JPEG 2000", Bytes("\0\0\0\x0CjP  \x0D\x0A\x87\x0A", 12), ftJP2},
      {"JPEG 2000, wrong value", Bytes("\0\0\0\x0CjP  \x0D\x0A\x87\x0B", 12), ftUnknown},
      {"JPEG 2000 code stream", "\xFF\x4F\xFF\x51", ftJ2K},
      {"JPEG 2000 code stream, 3 bytes", "\xFF\x4F\xFF", ftUnknown},
      {"AVI", "RIFF" + Le32(4) + "AVI ", ftAVI},
      {"RIFF of another kind", "RIFF" + Le32(4) + "WAVE", ftUnknown},
      {"DCX", Le32(987654321) + Le32(12) + Le32(0) + "p", ftDCX},
      {"DCX, page past the end", Le32(987654321) + Le32(13) + Le32(0) + "p", ftUnknown},
      {"DCX, table past the end", Le32(987654321) + Le32(9) + Le32(10) + "p", ftUnknown},
      {"metafile", Wmf(), ftWMF},
      {"metafile, 17 bytes", Wmf().substr(0, 17), ftUnknown},
      {"placeable metafile", Le32(0x9AC6CDD7) + Zeros(18) + Wmf(), ftWMF},
      {"placeable metafile, header at 26", Le32(0x9AC6CDD7) + Zeros(22) + Wmf(), ftUnknown},
      {"enhanced metafile", Emf(44), ftEMF},
      {"enhanced metafile, 43 bytes", Emf(43), ftUnknown},
      {"camera raw signature", "FUJIFILMCCD-RAW 0201", ftRAW},
      {"empty", "", ftUnknown},
  };
  for (const Case& c : cases) ExpectDetected(c);
}

// Data that passes two tests gets the earlier one's answer.
TEST(DetectStreamType, EarlierTestWins) {
  // An icon directory whose bytes also make a valid Targa header (type 1, 8 bits, 32 x 40).
  const Bytes iconAndTarga = Icon(1, 1, 0, 0x00080028, 22, 1);
  const Case cases[] = {
      {"stream block JFIF over GIF", Bytes("JFIF\0GIF", 8) + Zeros(8), ftJPEG},
      {"BMP over a JPEG start", "BM" + Zeros(8) + "\xFF\xD8\xFF" + Zeros(8), ftBMP},
      {"TIFF over a JPEG start", kTiff + "\xFF\xD8\xFF", ftTIFF},
      {"icon over Targa", iconAndTarga, ftICO},
      {"Targa when the icon entry fails", Icon(1, 1, 0, 0x00080028, 21, 1), ftTGA},
      {"portable bitmap over a JPEG start", "P5 1 1 255\n\xFF\xD8\xFF", ftPXM},
  };
  for (const Case& c : cases) ExpectDetected(c);
}

// External content tests run after the built-in ones, in registry order; one that raises
// ends detection with no answer.
TEST(DetectStreamType, RegisteredContentTests) {
  TVLFormatEntry first = iotest::External(200, "AAA", nullptr);
  first.TryFunction = [](TStream& s) {
    char c = 0;
    return s.Read(&c, 1) == 1 && c == 'Q';
  };
  TVLFormatEntry second = iotest::External(201, "BBB", nullptr);
  second.TryFunction = [](TStream& s) {
    char c[2] = {};
    return s.Read(c, 2) == 2 && c[1] == 'R';
  };
  iotest::ScopedFormat a(first), b(second);
  ExpectDetected({"first registered", "QR", TVLFileType(200)});
  ExpectDetected({"second registered", "xR", TVLFileType(201)});
  ExpectDetected({"built-in first", "GIF89a" + Zeros(8) + "QR", ftGIF});
  {
    TVLFormatEntry raising = iotest::External(202, "CCC", nullptr);
    raising.TryFunction = [](TStream& s) -> bool {
      s.Seek(3, soCurrent);
      throw std::runtime_error("bad");
    };
    iotest::ScopedFormat c(raising);
    ExpectDetected({"raising test", "xy", ftUnknown});
  }
}

// A TIFF whose first directory marks camera raw is not TIFF; it is found as camera raw.
TEST(DetectStreamType, CameraRawTiffIsNotTiff) {
  const Bytes dng = TiffWithEntry(50706, 1, 4, 0x00000401);
  {
    TMemoryStream s(dng.data(), dng.size());
    if (!HasCameraRawHeader(s)) GTEST_SKIP() << "waits for the TIFF reader's camera-raw test";
  }
  ExpectDetected({"DNG version tag", dng, ftRAW});
  ExpectDetected({"photometric 32803", TiffWithEntry(262, 3, 1, 32803), ftRAW});
  ExpectDetected({"DNG version tag of 3 bytes", TiffWithEntry(50706, 1, 3, 0x0401), ftTIFF});
}

TEST(DetectFileType, ExtensionCrossCheck) {
  iotest::TempDir dir;
  const Bytes png = "\x89PNG\r\n\x1A\n" + Zeros(8);
  const Bytes icon = Icon(1, 1, 0, 40, 22, 1);
  const struct {
    const char* File;
    Bytes Content;
    bool Verify;
    TVLFileType Expected;
  } cases[] = {
      {"a.png", png, false, ftPNG},    {"a.png", png, true, ftPNG},
      {"a.jpg", png, false, ftPNG},    {"a.jpg", png, true, ftUnknown},
      {"a.cr2", kTiff, false, ftRAW},  {"a.tif", kTiff, true, ftTIFF},
      {"a.cur", icon, true, ftCUR},  // icons and cursors: the extension decides
      {"a.bmp", icon, true, ftBMP},    {"noext", png, false, ftPNG},
      {"noext", png, true, ftUnknown}, {"a.png", "plain text", true, ftUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.File) + (c.Verify ? " verified" : ""));
    EXPECT_EQ(DetectFileType(dir.Write(c.File, c.Content), c.Verify), c.Expected);
  }
  EXPECT_EQ(DetectFileType("", false), ftUnknown);
  EXPECT_EQ(DetectFileType(dir.File("missing.png"), true), ftUnknown);
  EXPECT_EQ(DetectFileType(dir.Path().string(), false), ftUnknown);  // a folder
}

// LoadFileByContent loads by what the content shows, and by the extension when it shows
// nothing.
TEST(DetectFileType, LoadFileByContentDispatch) {
  struct Probe : TVistrelIO {
    std::vector<std::string> Reached;
    void LoadGifFile(const std::string&) override { Reached.push_back("gif"); }
    void LoadPngFile(const std::string&) override { Reached.push_back("png"); }
  } io;
  iotest::TempDir dir;
  io.LoadFileByContent(dir.Write("gif.png", "GIF89a" + Zeros(8)));
  io.LoadFileByContent(dir.Write("text.png", "plain text"));
  EXPECT_EQ(io.Reached, (std::vector<std::string>{"gif", "png"}));
}

// Every file of the public corpus that a reader must decode is recognised as its format, also
// when checked against its extension.
TEST(DetectFileType, CorpusFilesAreRecognised) {
  const std::string root = VANDREL_TESTDATA_DIR;
  std::ifstream manifest(root + "/MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no corpus at " << root;
  const std::map<std::string, TVLFileType> formats = {
      {"BMP", ftBMP}, {"JPEG", ftJPEG}, {"PNG", ftPNG}, {"TIFF", ftTIFF}};
  std::string line;
  int checked = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> cols;
    std::istringstream fields(line);
    for (std::string col; std::getline(fields, col, '\t');) cols.push_back(col);
    if (cols.size() < 6 || cols[5] != "decodes" || !formats.count(cols[1])) continue;
    const TVLFileType expected = formats.at(cols[1]);
    EXPECT_EQ(DetectFileType(root + "/" + cols[0], false), expected) << cols[0];
    EXPECT_EQ(DetectFileType(root + "/" + cols[0], true), expected) << cols[0] << " verified";
    ++checked;
  }
  EXPECT_GT(checked, 0);
}
