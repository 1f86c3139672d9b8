// The CCITT fax decoders: hand-coded rows in every coding and both fill orders, garbage and
// short data, and the corpus's fax pages decoded alike whatever their coding.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/codecs/tiff/fax_decoder.h"
#include "imaging/codecs/tiff/row_decoder.h"
#include "tests/imaging/codecs/libtiff_blocks.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Runs = std::vector<int>;  // alternating white and black run lengths, white first

// Packs a bit string ("0"/"1", spaces ignored), most significant bit first, or least
// significant first for fill order 2.
Bytes Pack(const std::string& BitString, bool LsbFirst) {
  Bytes out;
  int n = 0;
  for (char c : BitString) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= uint8_t(LsbFirst ? 1 << (n % 8) : 0x80 >> (n % 8));
    ++n;
  }
  return out;
}

// A packed row (1 = white) from its runs; padding bits are white.
Bytes Row(const Runs& R, int Width) {
  Bytes row((size_t(Width) + 7) / 8, 0xFF);
  int x = 0;
  for (size_t i = 0; i < R.size(); ++i) {
    if (i % 2)
      for (int k = x; k < x + R[i]; ++k) row[size_t(k) / 8] &= uint8_t(~(0x80 >> (k % 8)));
    x += R[i];
  }
  return row;
}

enum TCoding { cMH, c2D, c2DFill };

// The codes used below (T.4): white 3 = 1000, 11 = 01000, 0 = 00110101, 64 = 11011,
// 2560 = 000000011111; black 2 = 11, 4 = 011, 10 = 0000100; end of line = 000000000001.
// Modes: pass 0001, horizontal 001, V0 1, VR1 011, VL1 010, uncompressed 0000001111.
struct TFaxCase {
  const char* Name;
  TCoding Coding;
  int Width;
  Runs Reference;  // for two-dimensional rows
  std::string Bits;
  Runs Expected;
  TFaxRowEnd End;
};

const TFaxCase kCases[] = {
    {"MH row", cMH, 16, {}, "1000 11 01000", {3, 2, 11}, freComplete},
    {"MH leading end of line", cMH, 16, {}, "000000000001 1000 11 01000", {3, 2, 11}, freComplete},
    {"MH leading end of line with fill", cMH, 16, {}, "0000000 000000000001 1000 11 01000",
     {3, 2, 11}, freComplete},
    {"MH extended make-up, make-up and terminating codes", cMH, 2628, {},
     "000000011111 11011 00110101 011", {2624, 4}, freComplete},
    {"MH black run past the row's end is cut", cMH, 8, {}, "00110101 0000100", {0, 8}, freComplete},
    {"MH garbage inside a row is skipped", cMH, 16, {}, "1000 000000001 11 01000", {3, 2, 11},
     freComplete},
    {"MH data ending inside a row", cMH, 16, {}, "1000 11", {3, 2, 11}, freDataEnded},
    {"MH end of line inside a row, black due", cMH, 16, {}, "1000 000000000001", {3, 13},
     freEndOfLine},
    {"MH end of line inside a row, white due", cMH, 16, {}, "1000 11 000000000001", {3, 2, 11},
     freEndOfLine},
    {"MH no data", cMH, 16, {}, "", {16}, freNoData},
    {"2D vertical 0 repeats the reference", c2D, 16, {3, 2, 11}, "1 1 1", {3, 2, 11}, freComplete},
    {"2D vertical right and left", c2D, 16, {4, 4, 8}, "011 010 1", {5, 2, 9}, freComplete},
    {"2D vertical right 2, left 3", c2D, 16, {4, 8, 4}, "000011 0000010 1", {6, 3, 7}, freComplete},
    {"2D vertical right 3, left 2", c2D, 16, {4, 8, 4}, "0000011 000010 1", {7, 3, 6}, freComplete},
    {"2D first row against white", c2D, 16, {16}, "001 1000 11 1", {3, 2, 11}, freComplete},
    {"2D pass", c2D, 16, {2, 2, 4, 2, 6}, "0001 1 1 1", {8, 2, 6}, freComplete},
    {"2D uncompressed mode", c2D, 16, {16}, "0000001111 1 01 000001 00000001 1 1",
     {0, 1, 1, 1, 6, 7}, freComplete},
    {"2D end of line and 1: a one-dimensional row", c2DFill, 16, {4, 4, 8},
     "000000000001 1 1000 11 01000", {3, 2, 11}, freComplete},
    {"2D end of line and 0: two-dimensional", c2DFill, 16, {3, 2, 11}, "000000000001 0 1 1 1",
     {3, 2, 11}, freComplete},
    {"2D fill bits before the end of line", c2DFill, 16, {3, 2, 11}, "00000 000000000001 0 1 1 1",
     {3, 2, 11}, freComplete},
    {"2D end of line inside a row, black due", c2D, 16, {3, 2, 11}, "1 000000000001", {3, 13},
     freEndOfLine},
    {"2D data ending inside a row", c2D, 16, {3, 2, 11}, "1", {16}, freDataEnded},
    {"2D run positions are clamped to the row", c2D, 4, {3, 1}, "011 1", {4}, freComplete},
};

}  // namespace

TEST(FaxDecoderTest, HandCodedRowsInBothFillOrders) {
  for (const TFaxCase& c : kCases) {
    for (const bool lsb : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (lsb ? ", fill order 2" : ""));
      const Bytes data = Pack(c.Bits, lsb);
      const int fill = lsb ? 2 : 1;
      Bytes row((size_t(c.Width) + 7) / 8, 0x55);
      TFaxRowEnd end{};
      if (c.Coding == cMH) {
        DecodeMH(row.data(), data.data(), data.size(), fill, 0, c.Width, &end);
      } else {
        Bytes ref = Row(c.Reference, c.Width);
        Decode2D(row.data(), data.data(), data.size(), c.Coding == c2DFill, fill, 0, ref.data(),
                 c.Width, &end);
        EXPECT_EQ(ref, row);  // the row becomes the next reference line
      }
      EXPECT_EQ(row, Row(c.Expected, c.Width));
      EXPECT_EQ(end, c.End);
    }
  }
}

TEST(FaxDecoderTest, RowBoundaries) {
  // Compression 2: rows start on byte boundaries; the bytes used are counted.
  Bytes row(2);
  const Bytes mh = Pack("1000 11 01000 00000 0111 011 00111", false);  // W3 B2 W11 | W2 B4 W10
  TFaxRowEnd end{};
  EXPECT_EQ(DecodeMHRow(row.data(), mh.data(), mh.size(), 1, 16, &end), 2u);
  EXPECT_EQ(row, Row({3, 2, 11}, 16));
  EXPECT_EQ(DecodeMHRow(row.data(), mh.data() + 2, mh.size() - 2, 1, 16, &end), 2u);
  EXPECT_EQ(row, Row({2, 4, 10}, 16));

  // Group 3: a damaged row ends at the next end of line, and the row after it decodes.
  TFaxStripDecoder strip(16, 1);
  const Bytes g3mh = Pack("000000000001 1000 000000000001 1000 11 01000", false);
  strip.Start(g3mh.data(), g3mh.size());
  EXPECT_EQ(strip.DecodeMH(row.data()), freEndOfLine);
  EXPECT_EQ(row, Row({3, 13}, 16));
  EXPECT_EQ(strip.DecodeMH(row.data()), freComplete);
  EXPECT_EQ(row, Row({3, 2, 11}, 16));

  // An end of line inside a two-dimensional row is left for the next row, which starts
  // with it.
  const Bytes g3 = Pack("1 000000000001 1 1000 11 01000", false);
  Bytes ref = Row({3, 2, 11}, 16);
  const int64_t next = Decode2D(row.data(), g3.data(), g3.size(), true, 1, 0, ref.data(), 16, &end);
  EXPECT_EQ(next, 1);
  EXPECT_EQ(end, freEndOfLine);
  Decode2D(row.data(), g3.data(), g3.size(), true, 1, next, ref.data(), 16, &end);
  EXPECT_EQ(row, Row({3, 2, 11}, 16));
  EXPECT_EQ(end, freComplete);
}

// Garbage of any kind: every row ends, rows move forward through the data, and the strip
// runs out after at most one row per bit.
TEST(FaxDecoderTest, GarbageNeverLoops) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int trial = 0; trial < 60; ++trial) {
    Bytes data(size_t(1 + next() % 200));
    const int kind = trial % 4;
    for (auto& b : data) b = uint8_t(kind == 3 ? (next() % 7 == 0 ? 1 : 0) : next() >> 24);
    const int width = 1 + int(next() % 300);
    for (const int compression : {2, 3, 4}) {
      TTiffRowFormat f;
      f.Compression = compression, f.Width = width, f.T4Options = trial % 2 ? 5 : 4;
      f.FillOrder = 1 + (trial / 2) % 2;
      TTiffRowDecoder decoder(f);
      decoder.StartStrip(data.data(), data.size());
      const uint8_t* row = nullptr;
      size_t rows = 0;
      while (decoder.DecodeRow(row) != trsNoData) ASSERT_LE(++rows, data.size() * 8 + 1);
    }
  }
}

#ifdef VANDREL_HAVE_LIBTIFF

namespace {

// The page of a fax file as the row decoder gives it: vl1g rows, 1 = white.
std::vector<Bytes> DecodePage(const std::string& Path) {
  TLibtiffImage image;
  std::vector<Bytes> page;
  if (!ReadWithLibtiff(Path, image)) return page;
  TTiffRowDecoder decoder(image.Format);
  for (const TLibtiffBlock& block : image.Blocks) {
    decoder.StartStrip(block.Raw.data(), block.Raw.size());
    for (uint32_t r = 0; r < block.Rows; ++r) {
      const uint8_t* row = nullptr;
      EXPECT_EQ(decoder.DecodeRow(row), trsOk);
      page.emplace_back(row, row + decoder.DecodedRowBytes());
      if (image.Width % 8) page.back().back() |= uint8_t(0xFF >> (image.Width % 8));
    }
  }
  return page;
}

}  // namespace

// One page stored in every fax coding, fill order and photometric value decodes to the same
// picture; so does the long-runs page, whose one-dimensional form libtiff cannot read.
TEST(FaxDecoderTest, CorpusPagesDecodeAlikeInEveryCoding) {
  const std::filesystem::path dir = std::filesystem::path(VANDREL_TESTDATA_DIR) / "tiff";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus";
  const std::vector<std::vector<std::string>> groups = {
      {"fax_g4.tif", "fax_ccittrle.tif", "fax_g3_1d.tif", "fax_g3_1d_fill.tif",
       "fax_g3_1d_lsb2msb.tif", "fax_g3_1d_minisblack.tif", "fax_g3_2d.tif",
       "fax_g3_2d_fill_rps128.tif", "fax_g3_2d_lsb2msb.tif", "fax_g4_be.tif",
       "fax_g4_lsb2msb.tif", "fax_g4_minisblack.tif", "fax_g4_rps100.tif"},
      {"fax_longruns_g4.tif", "fax_longruns_g3_1d.tif"},
  };
  for (const auto& group : groups) {
    const std::vector<Bytes> first = DecodePage((dir / group[0]).string());
    ASSERT_FALSE(first.empty()) << group[0];
    for (size_t i = 1; i < group.size(); ++i) {
      SCOPED_TRACE(group[i]);
      EXPECT_TRUE(DecodePage((dir / group[i]).string()) == first);
    }
  }
}

#endif  // VANDREL_HAVE_LIBTIFF
