// The PNG reader against the corpus: every "decodes" file equals its reference (colour and
// alpha, 8-bit RGBA), every file that must be rejected sets AbortFlag, and every decoded file
// survives a write and a read with the same pixels.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "png_test_support.h"
#include "tests/support/corpus.h"

namespace {

using namespace corpus;

using namespace pngtest;





// The first pixel that differs, as text; empty when all agree. Colours of fully transparent
// pixels do not count.
std::string FirstDifference(TDecoded& d, const TReference& ref) {
  if (d.Bitmap.Width() != ref.Width || d.Bitmap.Height() != ref.Height)
    return "size";
  for (int32_t y = 0; y < d.Bitmap.Height(); ++y)
    for (int32_t x = 0; x < d.Bitmap.Width(); ++x) {
      const uint8_t* r = &ref.Rgba[(size_t(y) * ref.Width + size_t(x)) * 4];
      const TRGB c = d.At(x, y);
      const int a = d.AlphaAt(x, y);
      if (a != r[3] || (a != 0 && (c.r != r[0] || c.g != r[1] || c.b != r[2])))
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
    }
  return {};
}

class PngCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    Entries = corpus::Entries("PNG");
    if (Entries.empty()) GTEST_SKIP() << "corpus not found at " << kCorpus;
  }
  std::vector<TEntry> Entries;
};

TEST_F(PngCorpus, GoodFilesMatchTheirReferences) {
  int checked = 0;
  for (const TEntry& e : Entries) {
    if (e.Expected != "decodes") continue;
    SCOPED_TRACE(e.Path);
    auto d = Decode(ReadFile(kCorpus + "/" + e.Path));
    ASSERT_FALSE(d->Aborted);
    TReference ref;
    ASSERT_TRUE(ref.Load(kCorpus + "/" + e.Reference));
    EXPECT_EQ(FirstDifference(*d, ref), "");
    ++checked;
  }
  EXPECT_EQ(checked, 166);
}

// Composing onto the background: opaque pixels keep their colour, fully transparent ones take
// the file's bKGD colour (or the caller's), and no mask is made.
TEST_F(PngCorpus, BackgroundReplacesTransparentPixels) {
  for (const TEntry& e : Entries) {
    if (e.Expected != "decodes") continue;
    SCOPED_TRACE(e.Path);
    auto d = std::make_unique<TDecoded>();
    d->Params.PngBackground = TRGB{1, 2, 3};
    const Bytes data = ReadFile(kCorpus + "/" + e.Path);
    TMemoryStream s(data.data(), data.size());
    TVLProgressState p;
    p.AbortFlag = &d->Aborted;
    DecodePng(s, d->Bitmap, d->Params, true, d->Mask, false, p);
    ASSERT_FALSE(d->Aborted);
    EXPECT_FALSE(d->Mask);
    TReference ref;
    ASSERT_TRUE(ref.Load(kCorpus + "/" + e.Reference));
    for (int32_t y = 0; y < d->Bitmap.Height(); ++y)
      for (int32_t x = 0; x < d->Bitmap.Width(); ++x) {
        const uint8_t* r = &ref.Rgba[(size_t(y) * ref.Width + size_t(x)) * 4];
        const TRGB want = r[3] == 255 ? TRGB{r[2], r[1], r[0]} : d->Params.PngBackground;
        if (r[3] == 255 || r[3] == 0) {
          ASSERT_EQ(d->At(x, y), want) << x << "," << y;
        }
      }
  }
}

TEST_F(PngCorpus, DamagedFilesAreRejected) {
  for (const TEntry& e : Entries) {
    if (e.Expected == "decodes") continue;
    SCOPED_TRACE(e.Path);
    const Bytes data = ReadFile(kCorpus + "/" + e.Path);
    EXPECT_TRUE(Decode(data)->Aborted);
    EXPECT_TRUE(Decode(data, false, true, true)->Aborted || e.Path.find("xcsn") != std::string::npos ||
                e.Path.find("xdtn") != std::string::npos);  // their damage lies past the header
  }
}

// Colours and alpha come back (colours where a pixel is opaque: palette output turns every
// transparent pixel into its transparent entry).
TEST_F(PngCorpus, DecodedFilesSurviveWriteAndRead) {
  for (const TEntry& e : Entries) {
    if (e.Expected != "decodes") continue;
    SCOPED_TRACE(e.Path);
    auto first = Decode(ReadFile(kCorpus + "/" + e.Path));
    bool aborted = true;
    const Bytes written = Encode(first->Bitmap, first->Params, first->Mask.get(), &aborted);
    ASSERT_FALSE(aborted);
    auto second = Decode(written);
    ASSERT_FALSE(second->Aborted);
    EXPECT_EQ(second->Params.PngTextKeys, first->Params.PngTextKeys);
    EXPECT_EQ(second->Params.PngTextValues, first->Params.PngTextValues);
    for (int32_t y = 0; y < first->Bitmap.Height(); ++y)
      for (int32_t x = 0; x < first->Bitmap.Width(); ++x) {
        const int a = first->AlphaAt(x, y);
        ASSERT_EQ(second->AlphaAt(x, y), a) << x << "," << y;
        if (a == 255) {
          ASSERT_EQ(second->At(x, y), first->At(x, y)) << x << "," << y;
        }
      }
  }
}

}  // namespace
