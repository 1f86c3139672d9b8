// The TIFF row decoder: LZW, PackBits, sample unpacking and predictors, against hand-made
// strips and against libtiff over the corpus.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/codecs/tiff/lzw_decoder.h"
#include "imaging/codecs/tiff/packbits.h"
#include "imaging/codecs/tiff/row_decoder.h"
#include "tests/imaging/codecs/libtiff_blocks.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Writes LZW codes most significant bit first, widening them as the decoder does (one code
// early). Clear resets the width; every code but the first after a Clear adds an entry.
Bytes LzwCodes(const std::vector<int>& Codes) {
  Bytes out;
  uint32_t acc = 0;
  int bits = 0, width = 9, count = 258;
  bool first = true;
  for (int code : Codes) {
    acc = (acc << width) | uint32_t(code);
    bits += width;
    while (bits >= 8) out.push_back(uint8_t(acc >> (bits -= 8)));
    if (code == 256) {
      width = 9, count = 258, first = true;
    } else if (code != 257) {
      if (!first && (++count == 511 || count == 1023 || count == 2047)) ++width;
      first = false;
    }
  }
  if (bits > 0) out.push_back(uint8_t(acc << (8 - bits)));
  return out;
}

// Clear, one literal code per byte, End of Information.
Bytes LzwLiterals(const Bytes& Data) {
  std::vector<int> codes{256};
  codes.insert(codes.end(), Data.begin(), Data.end());
  codes.push_back(257);
  return LzwCodes(codes);
}

struct TDecoded {
  std::vector<Bytes> Rows;
  std::vector<TTiffRowStatus> Status;
};

TDecoded DecodeStrip(const TTiffRowFormat& Format, const Bytes& Strip, int Rows) {
  TTiffRowDecoder decoder(Format);
  TDecoded result;
  decoder.StartStrip(Strip.data(), Strip.size());
  for (int i = 0; i < Rows; ++i) {
    const uint8_t* row = nullptr;
    result.Status.push_back(decoder.DecodeRow(row));
    result.Rows.push_back(row ? Bytes(row, row + decoder.DecodedRowBytes()) : Bytes());
  }
  decoder.EndStrip();
  return result;
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

// Each case: the codes of one strip, the row length, and the rows expected with their
// statuses ("!" marks bad data).
TEST(LzwDecoderTest, CodeStreams) {
  const int C = 256, E = 257;
  std::vector<int> earlyChange{C};
  for (int i = 0; i < 254; ++i) earlyChange.push_back(i);  // count reaches 511: 10-bit codes
  earlyChange.insert(earlyChange.end(), {300, 2, E});
  std::vector<int> full{C}, overflow;
  for (int i = 0; i < 3839; ++i) full.push_back('A');  // 3838 entries: the table is full
  overflow = full;
  overflow.insert(overflow.end(), {'A', E});
  full.insert(full.end(), {C, 'B', E});
  Bytes earlyRow;
  for (int i = 0; i < 254; ++i) earlyRow.push_back(uint8_t(i));
  earlyRow.insert(earlyRow.end(), {42, 43, 2});

  struct {
    const char* Name;
    std::vector<int> Codes;
    size_t RowLength;
    std::vector<std::string> Rows;  // "!" = bad data; a row of "\0" = zero-filled
    std::vector<TLzwRowStatus> Status;
  } const cases[] = {
      {"string equal to the code count", {C, 'A', 'B', 258, 260, E}, 7, {"ABABABA"}, {lrsOk}},
      {"rows split strings", {C, 'A', 'B', 258, 260, E}, 3, {"ABA", "BAB", std::string("A\0\0", 3)},
       {lrsOk, lrsOk, lrsEnded}},
      {"clear mid-strip", {C, 'A', 'B', 258, C, 'C', 258, E}, 7, {"ABABCCC"}, {lrsOk}},
      {"clear mid-strip restarts the table", {C, 'A', 'B', 258, C, 'C', 'D', 258, E}, 8,
       {"ABABCDCD"}, {lrsOk}},
      {"first code without clear adds no entry", {'A', 'B', 258, E}, 4, {"ABAB"}, {lrsOk}},
      {"code past the roots after clear", {C, 300, E}, 2, {"!"}, {lrsBadData}},
      {"code past the roots at the start", {258, E}, 2, {"!"}, {lrsBadData}},
      {"code not yet defined", {C, 'A', 260, E}, 4, {"!"}, {lrsBadData}},
      {"early end of information", {C, 'A', E}, 3, {std::string("A\0\0", 3), std::string(3, '\0')},
       {lrsEnded, lrsNoData}},
      {"data ends without end of information", {C, 'A', 'B'}, 4,
       {std::string("AB\0\0", 4), std::string(4, '\0')}, {lrsEnded, lrsNoData}},
      {"early change to 10-bit codes", earlyChange, earlyRow.size(), {AsText(earlyRow)}, {lrsOk}},
      {"table full, then clear", full, 3840, {std::string(3839, 'A') + "B"}, {lrsOk}},
      {"table overflow", overflow, 3840, {"!"}, {lrsBadData}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes strip = LzwCodes(c.Codes);
    TTiffLzwDecoder decoder;
    ASSERT_TRUE(decoder.Start(strip.data(), strip.size(), c.RowLength));
    for (size_t r = 0; r < c.Rows.size(); ++r) {
      const TLzwRowStatus status = decoder.DecodeRow();
      EXPECT_EQ(status, c.Status[r]) << "row " << r;
      if (status != lrsBadData) {
        const char* row = reinterpret_cast<const char*>(decoder.Row());
        EXPECT_EQ(std::string(row, c.RowLength), c.Rows[r]);
      }
    }
  }
}

TEST(LzwDecoderTest, EntryPointKeepsStateBetweenRowsAndFreesIt) {
  const Bytes strip = LzwCodes({256, 'A', 'B', 258, 260, 257});
  ASSERT_EQ(StandardLzwDecoder, &TiffLzwDecompress);
  void* state = nullptr;
  std::string out;
  for (int i = 0; i < 2; ++i) {
    const uint8_t* row = StandardLzwDecoder(strip.data(), strip.size(), 3, state);
    ASSERT_NE(row, nullptr);
    out.append(reinterpret_cast<const char*>(row), 3);
  }
  EXPECT_EQ(out, "ABABAB");
  EXPECT_EQ(StandardLzwDecoder(nullptr, 0, 0, state), nullptr);
  EXPECT_EQ(state, nullptr);
  const Bytes bad = LzwCodes({256, 300});
  EXPECT_EQ(StandardLzwDecoder(bad.data(), bad.size(), 3, state), nullptr);
  StandardLzwDecoder(nullptr, 0, 0, state);
}

TEST(PackBitsTest, Runs) {
  struct {
    const char* Name;
    Bytes In;
    size_t RowLength;
    Bytes Out;
    size_t Consumed;
    size_t Written;
  } const cases[] = {
      {"literal and repeat", {2, 'a', 'b', 'c', 0xFE, 'x'}, 6, {'a', 'b', 'c', 'x', 'x', 'x'}, 6,
       6},
      {"-128 is skipped", {0x80, 0x00, 'a'}, 1, {'a'}, 3, 1},
      {"run of 5 crossing a 3-byte row is consumed whole", {0xFC, 'z', 0, 'n'}, 3, {'z', 'z', 'z'},
       2, 3},
      {"literal crossing the row end is consumed whole", {3, 1, 2, 3, 4, 0, 9}, 2, {1, 2}, 5, 2},
      {"data ends inside a literal", {5, 1, 2}, 4, {1, 2, 0, 0}, 3, 2},
      {"data ends before a repeated byte", {0xFD}, 2, {0, 0}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes row(c.RowLength, 0xEE);
    size_t pos = 0;
    const size_t written = UnpackBitsRow(row.data(), row.size(), c.In.data(), c.In.size(), pos);
    EXPECT_EQ(row, c.Out);
    EXPECT_EQ(pos, c.Consumed);
    EXPECT_EQ(written, c.Written);
  }
}

// Each case: a format, the stored rows (uncompressed, or LZW-coded as literals when the
// format says 5), and the decoded rows expected.
TEST(RowDecoderTest, UnpackingPredictorsAndBilevelRows) {
  auto fmt = [](int compression, int bits, int samples, int photometric, int width,
                int predictor = 1, bool little = true, int fill = 1) {
    TTiffRowFormat f;
    f.Compression = compression, f.BitsPerSample = bits, f.SamplesPerPixel = samples;
    f.Photometric = photometric, f.Width = width, f.Predictor = predictor;
    f.LittleEndian = little, f.FillOrder = fill;
    return f;
  };
  struct {
    const char* Name;
    TTiffRowFormat Format;
    Bytes Stored;
    Bytes Decoded;
  } const cases[] = {
      {"4-bit gray is scaled once", fmt(1, 4, 1, 1, 4), {0x1F, 0x80}, {16, 240, 128, 0}},
      {"4-bit min-is-white is scaled too", fmt(1, 4, 1, 0, 3), {0x1F, 0x80}, {16, 240, 128}},
      {"4-bit palette keeps its indices", fmt(1, 4, 1, 3, 3), {0x1F, 0x80}, {1, 15, 8}},
      {"2-bit samples", fmt(1, 2, 1, 3, 5), {0xE4, 0xC0}, {3, 2, 1, 0, 3}},
      {"1-bit palette", fmt(1, 1, 1, 3, 3), {0xA0}, {1, 0, 1}},
      {"3-bit samples across bytes", fmt(1, 3, 1, 1, 3), {0b10101111, 0b10000000}, {5, 3, 7}},
      {"2-bit RGB", fmt(1, 2, 3, 2, 2), {0x1B, 0x40}, {0, 1, 2, 3, 1, 0}},
      {"bilevel min-is-white is inverted", fmt(1, 1, 1, 0, 12), {0x0F, 0x30}, {0xF0, 0xCF}},
      {"bilevel min-is-black is kept", fmt(1, 1, 1, 1, 12), {0x0F, 0x30}, {0x0F, 0x30}},
      {"bilevel fill order 2 is reversed", fmt(1, 1, 1, 1, 8, 1, true, 2), {0x01}, {0x80}},
      {"bilevel PackBits fill order 2", fmt(32773, 1, 1, 0, 16, 1, true, 2), {0xFF, 0x03},
       {0x3F, 0x3F}},
      {"bilevel LZW keeps its bit order", fmt(5, 1, 1, 1, 8, 1, true, 2), {0x01}, {0x01}},
      {"predictor, 8-bit RGB differences of 1", fmt(5, 8, 3, 2, 3, 2),
       {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 2, 2, 2, 3, 3, 3}},
      {"predictor wraps modulo 256", fmt(5, 8, 1, 1, 3, 2), {200, 100, 1}, {200, 44, 45}},
      {"predictor, 8-bit gray with alpha", fmt(5, 8, 2, 1, 3, 2), {10, 1, 5, 1, 5, 1},
       {10, 1, 15, 2, 20, 3}},
      {"predictor, 16-bit gray little-endian", fmt(5, 16, 1, 1, 3, 2),
       {0xFF, 0x00, 0x02, 0x00, 0xFF, 0xFF}, {0xFF, 0x00, 0x01, 0x01, 0x00, 0x01}},
      {"predictor, 16-bit gray big-endian", fmt(5, 16, 1, 1, 3, 2, false),
       {0x00, 0xFF, 0x00, 0x02, 0xFF, 0xFF}, {0x00, 0xFF, 0x01, 0x01, 0x01, 0x00}},
      {"predictor, 16-bit RGBA", fmt(5, 16, 4, 2, 2, 2),
       {1, 0, 2, 0, 3, 0, 4, 0, 1, 0, 1, 0, 1, 0, 0, 1},
       {1, 0, 2, 0, 3, 0, 4, 0, 2, 0, 3, 0, 4, 0, 4, 1}},
      {"predictor is for LZW only", fmt(1, 8, 1, 1, 3, 2), {1, 1, 1}, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTiffRowDecoder decoder(c.Format);
    ASSERT_TRUE(decoder.Valid());
    EXPECT_EQ(decoder.DecodedRowBytes(), c.Decoded.size());
    const Bytes strip = c.Format.Compression == 5 ? LzwLiterals(c.Stored) : c.Stored;
    const TDecoded d = DecodeStrip(c.Format, strip, 1);
    EXPECT_EQ(d.Status[0], trsOk);
    EXPECT_EQ(d.Rows[0], c.Decoded);
  }
}

TEST(RowDecoderTest, StripsEndingEarlyAndUnsupportedCodings) {
  TTiffRowFormat gray;
  gray.Compression = 1, gray.BitsPerSample = 8, gray.Photometric = 1, gray.Width = 4;
  const TDecoded none = DecodeStrip(gray, {1, 2, 3, 4, 5, 6}, 3);
  EXPECT_EQ(none.Status, (std::vector<TTiffRowStatus>{trsOk, trsTruncated, trsNoData}));
  EXPECT_EQ(none.Rows[1], (Bytes{5, 6, 0, 0}));
  EXPECT_EQ(none.Rows[2], (Bytes{0, 0, 0, 0}));

  TTiffRowFormat lzw = gray;
  lzw.Compression = 5;
  const TDecoded early = DecodeStrip(lzw, LzwCodes({256, 1, 2, 3, 4, 5, 257}), 3);
  EXPECT_EQ(early.Status, (std::vector<TTiffRowStatus>{trsOk, trsTruncated, trsNoData}));
  EXPECT_EQ(early.Rows[1], (Bytes{5, 0, 0, 0}));
  const TDecoded bad = DecodeStrip(lzw, LzwCodes({256, 1, 400}), 2);
  EXPECT_EQ(bad.Status, (std::vector<TTiffRowStatus>{trsBadData, trsBadData}));

  // A substitute LZW decoder is called through its entry point and freed at the strip's end.
  static int calls, frees;
  calls = frees = 0;
  lzw.LzwDecoder = [](const uint8_t* Data, size_t, int32_t RowLength,
                      void*& State) -> const uint8_t* {
    static uint8_t row[16] = {7, 7, 7, 7};
    if (Data == nullptr) return ++frees, State = nullptr, nullptr;
    State = &row;
    ++calls;
    return RowLength <= 16 ? row : nullptr;
  };
  const TDecoded custom = DecodeStrip(lzw, {0}, 2);
  EXPECT_EQ(custom.Rows[1], (Bytes{7, 7, 7, 7}));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(frees, 1);

  // JPEG, Deflate, zero bits, zero width.
  const int unsupported[][3] = {{7, 8, 4}, {8, 8, 4}, {1, 0, 4}, {1, 8, 0}};
  for (const auto& u : unsupported) {
    TTiffRowFormat f = gray;
    f.Compression = u[0], f.BitsPerSample = u[1], f.Width = u[2];
    TTiffRowDecoder decoder(f);
    EXPECT_FALSE(decoder.Valid());
    const uint8_t* row = nullptr;
    decoder.StartStrip(nullptr, 0);
    EXPECT_EQ(decoder.DecodeRow(row), trsUnsupported);
    EXPECT_EQ(row, nullptr);
  }
}

#ifdef VANDREL_HAVE_LIBTIFF

namespace {

// libtiff's decoded row in the form our row decoder gives.
Bytes Expected(const TLibtiffImage& Image, const uint8_t* Lib) {
  const TTiffRowFormat& f = Image.Format;
  const size_t n = Image.DecodedRowBytes;
  Bytes out(Lib, Lib + n);
  const bool fax = f.Compression >= 2 && f.Compression <= 4;
  if (fax || (f.BitsPerSample == 1 && f.SamplesPerPixel == 1 && f.Photometric != 3)) {
    // libtiff gives the fax codes' black as 1 and stored bits as they are.
    const bool invert = fax ? f.Photometric != 1 : f.Photometric == 0;
    for (auto& b : out) b = uint8_t(invert ? ~b : b);
    if (f.Width % 8) out.back() |= uint8_t(0xFF >> (f.Width % 8));
    return out;
  }
  if (f.BitsPerSample < 8) {
    const size_t samples = size_t(f.Width) * size_t(f.SamplesPerPixel);
    Bytes unpacked(samples);
    for (size_t i = 0; i < samples; ++i) {
      const size_t bit = i * size_t(f.BitsPerSample);
      unsigned v = 0;
      for (int k = 0; k < f.BitsPerSample; ++k)
        v = (v << 1) | ((Lib[(bit + k) / 8] >> (7 - (bit + k) % 8)) & 1);
      unpacked[i] = uint8_t(f.BitsPerSample == 4 && f.Photometric <= 1 ? v << 4 : v);
    }
    return unpacked;
  }
  if (f.BitsPerSample == 16 && !f.LittleEndian)  // libtiff gives machine (little-endian) order
    for (size_t i = 0; i + 1 < n; i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

}  // namespace

// Every strip and tile of the corpus in a coding the row decoder handles decodes as libtiff
// decodes it.
TEST(RowDecoderTest, CorpusMatchesLibtiff) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(VANDREL_TESTDATA_DIR) / "tiff";
  if (!fs::exists(root)) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const fs::path& dir : {root, root / "libtiff"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".tif" && ext != ".tiff") continue;
      TLibtiffImage image;
      if (!ReadWithLibtiff(entry.path().string(), image)) continue;
      const TTiffRowFormat& f = image.Format;
      if (!TiffRowCompressionSupported(f.Compression)) continue;
      // libtiff reverses every sample's bits for fill order 2; we only do so for bilevel rows
      // that are not LZW-coded.
      if (f.FillOrder == 2 && (f.Compression == 5 || f.BitsPerSample != 1)) continue;
      if (f.BitsPerSample > 16) continue;
      SCOPED_TRACE(entry.path().filename().string());
      ++files;
      TTiffRowDecoder decoder(f);
      ASSERT_TRUE(decoder.Valid());
      for (size_t b = 0; b < image.Blocks.size(); ++b) {
        const TLibtiffBlock& block = image.Blocks[b];
        if (block.Decoded.empty()) continue;  // libtiff could not decode it either
        // Old-style LZW (codes least significant bit first, written before TIFF 6) is not read.
        if (f.Compression == 5 && block.Raw.size() > 1 && block.Raw[0] == 0 && (block.Raw[1] & 1))
          continue;
        decoder.StartStrip(block.Raw.data(), block.Raw.size());
        for (uint32_t r = 0; r < block.Rows; ++r) {
          const uint8_t* row = nullptr;
          const TTiffRowStatus status = decoder.DecodeRow(row);
          ASSERT_TRUE(status == trsOk || status == trsNoData)
              << "block " << b << " row " << r << " status " << status;
          const Bytes want = Expected(image, block.Decoded.data() + r * image.DecodedRowBytes);
          Bytes got(row, row + decoder.DecodedRowBytes());
          if (decoder.DecodedRowBytes() != want.size()) got.resize(want.size());
          const bool bilevel =
              (f.Compression >= 2 && f.Compression <= 4) ||
              (f.BitsPerSample == 1 && f.SamplesPerPixel == 1 && f.Photometric != 3);
          if (bilevel && f.Width % 8)
            got.back() |= uint8_t(0xFF >> (f.Width % 8));
          if (got != want) {
            size_t i = 0;
            while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
            FAIL() << "block " << b << " row " << r << ": first difference at byte " << i << " of "
                   << want.size();
          }
        }
        decoder.EndStrip();
      }
    }
  }
  EXPECT_GT(files, 40);
}

#endif  // VANDREL_HAVE_LIBTIFF
