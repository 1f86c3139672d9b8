// The EXIF block writer: a worked block byte for byte, the structure's invariants over many
// field mixes, entry encodings, rationals and maker notes, and a read by libtiff's tiffdump.

#include "imaging/codecs/exif_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/io/params.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Entry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};

uint32_t TypeSize(uint16_t Type) {
  static const uint32_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return Type < 13 ? kSizes[Type] : 0;
}

// A little-endian reader of the TIFF structure after the "Exif" 0 0 prefix; every read is
// checked against its size.
class Block {
 public:
  explicit Block(const Bytes& Payload) {
    EXPECT_GE(Payload.size(), 14u);
    EXPECT_TRUE(Payload.size() >= 6 &&
                Bytes(Payload.begin(), Payload.begin() + 6) == Bytes({'E', 'x', 'i', 'f', 0, 0}));
    if (Payload.size() >= 6) Tiff.assign(Payload.begin() + 6, Payload.end());
  }
  uint32_t U16(uint64_t At) const { return Fits(At, 2) ? Tiff[At] | (Tiff[At + 1] << 8) : 0; }
  uint32_t U32(uint64_t At) const { return Fits(At, 4) ? U16(At) | (U16(At + 2) << 16) : 0; }
  bool Fits(uint64_t At, uint64_t Count) const { return At + Count <= Tiff.size(); }

  std::vector<Entry> Directory(uint32_t At) const {
    std::vector<Entry> out;
    EXPECT_TRUE(Fits(At, 2));
    const uint32_t n = U16(At);
    EXPECT_TRUE(Fits(At, 2 + 12 * n + 4)) << "directory at " << At;
    for (uint32_t i = 0; i < n && Fits(At + 2 + 12 * i, 12); ++i) {
      const uint64_t e = At + 2 + 12 * i;
      out.push_back({uint16_t(U16(e)), uint16_t(U16(e + 2)), U32(e + 4), U32(e + 8)});
    }
    EXPECT_EQ(U32(At + 2 + 12 * n), 0u) << "next-directory offset";
    return out;
  }
  uint32_t FirstAt() const { return U32(4); }
  std::vector<Entry> First() const { return Directory(FirstAt()); }
  uint32_t ExifAt() const {
    const auto e = Find(First(), 34665);
    return e ? e->Value : 0;
  }
  std::vector<Entry> Exif() const { return Directory(ExifAt()); }

  static std::optional<Entry> Find(const std::vector<Entry>& Dir, uint16_t Tag) {
    for (const Entry& e : Dir)
      if (e.Tag == Tag) return e;
    return std::nullopt;
  }
  // The value bytes of an entry, from the entry itself (4 bytes or fewer) or the value area.
  Bytes Value(uint32_t DirAt, const Entry& E) const {
    const uint64_t size = uint64_t(E.Count) * TypeSize(E.Type);
    if (size <= 4) {
      const std::vector<Entry> dir = Directory(DirAt);
      for (size_t i = 0; i < dir.size(); ++i)
        if (dir[i].Tag == E.Tag) {
          const auto* p = Tiff.data() + DirAt + 2 + 12 * i + 8;
          return Bytes(p, p + size);
        }
      return {};
    }
    EXPECT_TRUE(Fits(E.Value, size)) << "value of tag " << E.Tag;
    if (!Fits(E.Value, size)) return {};
    return Bytes(Tiff.begin() + E.Value, Tiff.begin() + E.Value + size);
  }

  Bytes Tiff;
};

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The fields of a converted photograph, as the TIFF reader leaves them.
void FillPhoto(TIOParamsVals& p) {
  p.ExifPresent = true;
  p.ExifImageDescription = "Harbour at dusk";
  p.ExifXResolution = 300.7;
  p.ExifYResolution = 300;
  p.SetTiffOrientation(6);
  p.ExifSoftware = "Vx";
  p.ExifXPTitle = u"T";
  p.ExifXPAuthor = u"Ann";
  p.ExifMake = "Abc";
  p.ExifModel = "Model 1234";
  p.ExifDateTime = "2004:05:06 07:08:09";
  p.ExifWhitePoint = {0.3127, 0.329};
  p.ExifYCbCrPositioning = 2;
  p.ExifYCbCrCoefficients = {0.299, 0.587, 0.114};
  p.ExifReferenceBlackWhite = {0, 255, 128, 255, 128, 255};
  p.ExifExposureTime = 1.0 / 125;
  p.ExifFNumber = 2.8;
  p.ExifExposureProgram = 2;
  p.ExifISOSpeedRatings = {100, 0};
  p.ExifVersion = "0220";
  p.ExifDateTimeOriginal = "2004:05:06 07:08:09";
  p.ExifExposureBiasValue = -0.7;
  p.ExifFlash = 0x10019;  // only the low 16 bits are written
  p.ExifFocalLength = 35;
  p.ExifSubsecTime = "42";
  p.ExifFlashPixVersion = "0100";
  p.ExifColorSpace = 1;
  p.ExifImageWidth = 640;
  p.ExifImageHeight = 480;
  p.ExifUserCommentCode = std::string("ASCII\0\0\0", 8);
  p.ExifUserComment = "ok";
  // A maker note of two entries: a SHORT in the entry and 6 bytes of data after the entries.
  p.ExifMakerNote.LittleEndian = true;
  p.ExifMakerNote.Data = {2,   0,                                         // count
                          1,   0,   3,   0,   1,   0, 0, 0, 7,  0, 0, 0,  // tag 1 SHORT 7
                          2,   0,   7,   0,   6,   0, 0, 0, 26, 0, 0, 0,  // tag 2, 6 bytes at 26
                          'n', 'o', 't', 'e', '!', 0};
}

Bytes ReadHexFixture(const std::string& Name) {
  std::ifstream in(std::string(VANDREL_SOURCE_DIR) + "/tests/data/exif/" + Name);
  EXPECT_TRUE(in) << Name;
  Bytes out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string hex;
    while (words >> hex) out.push_back(uint8_t(std::stoul(hex, nullptr, 16)));
  }
  return out;
}

}  // namespace

// The fixture is annotated section by section (header, value areas, directories).
TEST(ExifWriterTest, WorkedBlockMatchesItsReferenceBytes) {
  TIOParamsVals p;
  FillPhoto(p);
  const Bytes block = BuildExifBlock(p);
  const Bytes expected = ReadHexFixture("worked_block.hex");
  ASSERT_EQ(block.size(), expected.size());
  for (size_t i = 0; i < block.size(); ++i)
    ASSERT_EQ(block[i], expected[i]) << "first difference at payload byte " << i;
}

// Whatever fields are set: the header, both directories at even offsets with ascending tags,
// the EXIF pointer, every value inside the block, and the value areas in entry order.
TEST(ExifWriterTest, StructureHoldsForEveryFieldMix) {
  const std::vector<std::pair<const char*, std::function<void(TIOParamsVals&)>>> cases = {
      {"defaults", [](TIOParamsVals&) {}},
      {"photo", FillPhoto},
      {"odd value area", [](TIOParamsVals& p) { p.ExifMake = "Maker"; }},
      {"every text long",
       [](TIOParamsVals& p) {
         for (std::string* s :
              {&p.ExifImageDescription, &p.ExifSoftware, &p.ExifArtist, &p.ExifMake, &p.ExifModel,
               &p.ExifDateTime, &p.ExifCopyright, &p.ExifDateTimeOriginal, &p.ExifDateTimeDigitized,
               &p.ExifSubsecTime, &p.ExifSubsecTimeOriginal, &p.ExifSubsecTimeDigitized,
               &p.ExifRelatedSoundFile, &p.ExifUserComment})
           *s = "seven c";
         for (std::u16string* s : {&p.ExifXPTitle, &p.ExifXPComment, &p.ExifXPAuthor,
                                   &p.ExifXPKeywords, &p.ExifXPSubject})
           *s = u"wide";
       }},
      {"every text one character",
       [](TIOParamsVals& p) {
         p.ExifArtist = p.ExifCopyright = p.ExifRelatedSoundFile = "a";
         p.ExifXPSubject = p.ExifXPKeywords = u"k";
       }},
  };
  for (const auto& [name, fill] : cases) {
    SCOPED_TRACE(name);
    TIOParamsVals p;
    fill(p);
    const Block b(BuildExifBlock(p));
    EXPECT_EQ(b.U16(0), 0x4949u);
    EXPECT_EQ(b.U16(2), 42u);
    uint64_t valueEnd = 8;  // value areas: first directory's values, then the EXIF ones
    for (const uint32_t at : {b.ExifAt(), b.FirstAt()}) {
      EXPECT_EQ(at % 2, 0u);
      const std::vector<Entry> dir = b.Directory(at);
      for (size_t i = 0; i < dir.size(); ++i) {
        if (i > 0) {
          EXPECT_LT(dir[i - 1].Tag, dir[i].Tag);
        }
        if (uint64_t(dir[i].Count) * TypeSize(dir[i].Type) > 4) {
          EXPECT_GE(dir[i].Value, 8u);
          EXPECT_TRUE(b.Fits(dir[i].Value, uint64_t(dir[i].Count) * TypeSize(dir[i].Type)));
          valueEnd =
              std::max<uint64_t>(valueEnd, dir[i].Value + dir[i].Count * TypeSize(dir[i].Type));
        }
      }
    }
    EXPECT_LE(valueEnd, b.ExifAt()) << "values lie before the EXIF directory";
    EXPECT_LT(b.ExifAt(), b.FirstAt());
    EXPECT_EQ(b.FirstAt() + 2 + 12 * b.First().size() + 4, b.Tiff.size()) << "first directory last";
  }
}

// Text up to 4 characters (and any value of 4 bytes or fewer) lives in the entry; longer
// text gets a terminating zero in the value area. Empty optional texts are left out.
TEST(ExifWriterTest, EntryEncodings) {
  struct Case {
    const char* Name;
    std::function<void(TIOParamsVals&)> Fill;
    bool InExif;
    uint16_t Tag, Type;
    uint32_t Count;  // 0 and an empty Value: the entry is absent
    Bytes Value;
  };
  const Bytes ascii8 = Str(std::string("ASCII\0\0\0", 8));
  const std::vector<Case> cases = {
      {"make of 3", [](auto& p) { p.ExifMake = "Abc"; }, false, 271, 2, 3, Str("Abc")},
      {"make of 4", [](auto& p) { p.ExifMake = "Abcd"; }, false, 271, 2, 4, Str("Abcd")},
      {"make of 10", [](auto& p) { p.ExifMake = "Abcdefghij"; }, false, 271, 2, 11,
       Str(std::string("Abcdefghij\0", 11))},
      {"empty make", [](auto& p) { p.ExifMake = ""; }, false, 271, 0, 0, {}},
      {"one-character wide text",
       [](auto& p) { p.ExifXPTitle = u"T"; },
       false,
       40091,
       1,
       4,
       {'T', 0, 0, 0}},
      {"wide text",
       [](auto& p) { p.ExifXPSubject = u"\u00e9t\u00e9"; },
       false,
       40095,
       1,
       8,
       {0xE9, 0, 't', 0, 0xE9, 0, 0, 0}},
      {"orientation", [](auto& p) { p.SetTiffOrientation(8); }, false, 274, 3, 1, {8, 0}},
      {"resolution unit", [](auto&) {}, false, 296, 3, 1, {2, 0}},
      {"ISO pair, low 16 bits",
       [](auto& p) {
         p.ExifISOSpeedRatings = {0x10064, 200};
       },
       true,
       34855,
       3,
       2,
       {100, 0, 200, 0}},
      {"flash, low 16 bits", [](auto& p) { p.ExifFlash = -1; }, true, 37385, 3, 1, {0xFF, 0xFF}},
      {"empty version", [](auto& p) { p.ExifVersion = ""; }, true, 36864, 2, 0, {}},
      {"version cut to 4", [](auto& p) { p.ExifVersion = "023099"; }, true, 36864, 2, 4,
       Str("0230")},
      {"empty flashpix version", [](auto&) {}, true, 40960, 0, 0, {}},
      {"user comment joined",
       [](auto& p) {
         p.ExifUserCommentCode = std::string("ASCII\0\0\0", 8);
         p.ExifUserComment = "hi";
       },
       true, 37510, 2, 11, Str(std::string("ASCII\0\0\0hi\0", 11))},
      {"user comment, code only", [](auto& p) { p.ExifUserCommentCode = "AB"; }, true, 37510, 2, 2,
       Str("AB")},
      {"exposure 1/125",
       [](auto& p) { p.ExifExposureTime = 1.0 / 125; },
       true,
       33434,
       5,
       1,
       {0x40, 0x1F, 0, 0, 0x40, 0x42, 0x0F, 0}},
      {"bias -0.7, signed",
       [](auto& p) { p.ExifExposureBiasValue = -0.7; },
       true,
       37380,
       10,
       1,
       {0xA0, 0x51, 0xF5, 0xFF, 0x40, 0x42, 0x0F, 0}},
      {"resolution truncated",
       [](auto& p) { p.ExifXResolution = 300.9; },
       false,
       282,
       5,
       1,
       {0x2C, 1, 0, 0, 1, 0, 0, 0}},
      {"resolution saturated",
       [](auto& p) { p.ExifYResolution = 1e300; },
       false,
       283,
       5,
       1,
       {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0}},
      {"no resolution", [](auto& p) { p.ExifXResolution = 0; }, false, 282, 0, 0, {}},
      {"empty maker note", [](auto&) {}, true, 37500, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p;
    c.Fill(p);
    const Block b(BuildExifBlock(p));
    const uint32_t dirAt = c.InExif ? b.ExifAt() : b.FirstAt();
    const std::optional<Entry> e = Block::Find(b.Directory(dirAt), c.Tag);
    if (c.Type == 0) {
      EXPECT_FALSE(e.has_value());
      continue;
    }
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->Type, c.Type);
    EXPECT_EQ(e->Count, c.Count);
    EXPECT_EQ(b.Value(dirAt, *e), c.Value);
  }
}

TEST(ExifWriterTest, RealToRational) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double Value;
    TVLExifRational Expected;
  } cases[] = {
      {1.0 / 125, {8000, 1000000}},
      {2.8, {2800000, 1000000}},
      {0, {0, 1000000}},
      {-0.7, {-700000, 1000000}},
      {2147.483, {2147483000, 1000000}},  // the largest numerator at 1 000 000
      {2147.4837, {214748370, 100000}},   // one step down
      {3000.5, {300050000, 100000}},
      {-3000.5, {-300050000, 100000}},  // negatives too large for 1 000 000 step down
      {2147483640, {2147483640, 1}},
      {1e12, {kMax, 1}},  // saturates; the denominator stays 1
      {inf, {kMax, 1}},
      {-1e12, {kMin, 1}},
      {std::nan(""), {0, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(RealToRational(c.Value), c.Expected) << c.Value;
}

// The note is copied whole with its long entries' offsets rebased to the copy's position, in
// the note's own byte order.
TEST(ExifWriterTest, MakerNoteIsRebasedInItsOwnByteOrder) {
  for (const bool little : {true, false}) {
    SCOPED_TRACE(little ? "II note" : "MM note");
    auto u16 = [&](uint16_t v) {
      return little ? Bytes{uint8_t(v), uint8_t(v >> 8)} : Bytes{uint8_t(v >> 8), uint8_t(v)};
    };
    auto u32 = [&](uint32_t v) {
      Bytes hi = u16(uint16_t(v >> 16)), lo = u16(uint16_t(v));
      Bytes out = little ? lo : hi;
      const Bytes& rest = little ? hi : lo;
      out.insert(out.end(), rest.begin(), rest.end());
      return out;
    };
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
      Bytes e = u16(tag);
      for (const Bytes& part : {u16(type), u32(count), u32(value)})
        e.insert(e.end(), part.begin(), part.end());
      return e;
    };
    TIOParamsVals p;
    p.ExifMake = "Maker";  // an odd value area: the note starts at an odd position
    p.ExifMakerNote.LittleEndian = little;
    Bytes& note = p.ExifMakerNote.Data;
    note = u16(3);
    for (const Bytes& e : {entry(1, 3, 2, 0x00070008), entry(2, 5, 1, 38), entry(3, 2, 4, 0)})
      note.insert(note.end(), e.begin(), e.end());
    for (const uint8_t v : {0, 0, 0, 1, 0, 0, 0, 2}) note.push_back(v);  // the rational at 38

    const Block b(BuildExifBlock(p));
    const std::optional<Entry> e = Block::Find(b.Exif(), 37500);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->Type, 7u);
    ASSERT_EQ(e->Count, note.size());
    const Bytes copy = b.Value(b.ExifAt(), *e);
    Bytes expected = note;
    const Bytes rebased = u32(38 + e->Value);
    std::copy(rebased.begin(), rebased.end(), expected.begin() + 2 + 12 + 8);
    EXPECT_EQ(copy, expected);
  }
}

// A note that cannot be carried over intact is left out; the rest of the block is written.
TEST(ExifWriterTest, UnusableMakerNoteIsLeftOut) {
  const Bytes oneEntryHead = {1, 0, 9, 0};  // count 1, tag 9
  auto note = [&](Bytes entryRest, size_t dataBytes) {
    Bytes n = oneEntryHead;
    n.insert(n.end(), entryRest.begin(), entryRest.end());
    n.resize(n.size() + dataBytes, 0xAA);
    return n;
  };
  const struct {
    const char* Name;
    Bytes Note;
  } cases[] = {
      {"fewer than 12 bytes", {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"count past the end", {5, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {"unknown type 13", note({13, 0, 8, 0, 0, 0, 14, 0, 0, 0}, 8)},
      {"type 0", note({0, 0, 8, 0, 0, 0, 14, 0, 0, 0}, 8)},
      {"data past the end", note({7, 0, 8, 0, 0, 0, 16, 0, 0, 0}, 8)},
      {"offset past the end", note({7, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 8)},
      {"count overflowing 32 bits", note({12, 0, 0, 0, 0, 0x20, 14, 0, 0, 0}, 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p;
    p.ExifMakerNote.Data = c.Note;
    const Block b(BuildExifBlock(p));
    EXPECT_FALSE(Block::Find(b.Exif(), 37500).has_value());
    EXPECT_TRUE(Block::Find(b.Exif(), 33434).has_value());
  }
  EXPECT_TRUE(RebaseMakerNote(TVLTagsHandler{}, 0).empty());
  TVLTagsHandler fits;
  fits.Data = note({7, 0, 8, 0, 0, 0, 14, 0, 0, 0}, 8);
  EXPECT_EQ(RebaseMakerNote(fits, 100)[10], 114);
  EXPECT_TRUE(RebaseMakerNote(fits, 0xFFFFFFF2u).empty()) << "rebased offset past 32 bits";
}

// libtiff's tiffdump reads both directories of the worked block without complaint.
TEST(ExifWriterTest, TiffdumpReadsTheBlock) {
  if (std::system("command -v tiffdump >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tiffdump";
  TIOParamsVals p;
  FillPhoto(p);
  const Block b(BuildExifBlock(p));
  TempFolder dir;
  const std::string path = dir.Write("block.tif", std::string(b.Tiff.begin(), b.Tiff.end()));
  auto dump = [&](const std::string& args) {
    std::string out;
    FILE* f = popen(("tiffdump " + args + " '" + path + "' 2>&1").c_str(), "r");
    char buf[512];
    while (f && fgets(buf, sizeof buf, f)) out += buf;
    EXPECT_EQ(f ? pclose(f) : -1, 0) << out;
    return out;
  };
  const std::string first = dump("");
  const std::string exif = dump("-o " + std::to_string(b.ExifAt()));
  for (const char* text : {"Make (271) ASCII (2) 3<Abc>", "Model (272) ASCII (2) 11<Model 1234\\0>",
                           "XResolution (282) RATIONAL (5) 1<300>", "34665 (0x8769) LONG (4) 1<"})
    EXPECT_NE(first.find(text), std::string::npos) << text << "\n" << first;
  for (const char* text :
       {"33434 (0x829a) RATIONAL (5) 1<0.008>", "33437 (0x829d) RATIONAL (5) 1<2.8>",
        "37380 (0x9204) SRATIONAL (10) 1<-0.7>", "37500 (0x927c) UNDEFINED (7) 32<"})
    EXPECT_NE(exif.find(text), std::string::npos) << text << "\n" << exif;
  EXPECT_EQ(first.find("rror"), std::string::npos) << first;
  EXPECT_EQ(exif.find("rror"), std::string::npos) << exif;
}
