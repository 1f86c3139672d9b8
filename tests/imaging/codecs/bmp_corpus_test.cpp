// The BMP reader against the public corpus: every "decodes" file equals its reference PNG
// (exactly, or within the tolerance its manifest row states: 5-bit channels widen to 248,
// where the references give 255), every "optional" file is decoded or rejected, and every
// damaged file is survived. Each decoded file also survives a write and a read unchanged.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_test_support.h"
#include "tests/support/corpus.h"

namespace {

using namespace corpus;

using namespace bmptest;





int Tolerance(const std::string& exercises) {
  std::smatch m;
  return std::regex_search(exercises, m, std::regex("tolerance (\\d+)")) ? std::atoi(m[1].str().c_str()) : 0;
}

// The largest channel difference between a decode and a reference (alpha 255 without mask);
// -1 when the sizes differ.
int Difference(TDecoded& d, const TReference& ref) {
  if (d.Bitmap.Width() != ref.Width || d.Bitmap.Height() != ref.Height) return -1;
  int worst = 0;
  for (int32_t y = 0; y < d.Bitmap.Height(); ++y)
    for (int32_t x = 0; x < d.Bitmap.Width(); ++x) {
      const uint8_t* r = &ref.Rgba[(size_t(y) * ref.Width + size_t(x)) * 4];
      const TRGB c = d.At(x, y);
      const int a = d.Mask ? d.Mask->GetPixel(x, y) : 255;
      worst = std::max(worst, std::abs(a - r[3]));
      if (a == 0 && r[3] == 0) continue;  // the colour of a transparent pixel does not count
      for (const int diff : {c.r - r[0], c.g - r[1], c.b - r[2]}) worst = std::max(worst, std::abs(diff));
    }
  return worst;
}

class BmpCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    Entries = corpus::Entries("BMP");
    if (Entries.empty()) GTEST_SKIP() << "corpus not found at " << kCorpus;
  }
  std::vector<TEntry> Entries;
};

TEST_F(BmpCorpus, GoodFilesMatchTheirReferences) {
  int checked = 0;
  for (const TEntry& e : Entries) {
    if (e.Expected != "decodes") continue;
    SCOPED_TRACE(e.Path);
    auto d = Decode(ReadFile(kCorpus + "/" + e.Path));
    ASSERT_FALSE(d->Aborted);
    TReference ref;
    ASSERT_TRUE(ref.Load(kCorpus + "/" + e.Reference));
    EXPECT_LE(Difference(*d, ref), Tolerance(e.Exercises));
    EXPECT_GE(Difference(*d, ref), 0);
    ++checked;
  }
  EXPECT_EQ(checked, 30);
}

// Optional files: a clean rejection, or a decode of the right size. Those we decode must
// match their reference or one of the alternative renderings the row names, except where our
// rules decide otherwise.
TEST_F(BmpCorpus, OptionalFilesDecodeOrAreRejected) {
  const std::vector<std::string> ownRendering = {
      // Colour channels narrower than 5 bits widen by shifting (2 bits: 3 -> 192) and wider
      // ones narrow by truncating; the references scale and round.
      "rgb16-231", "rgb16-3103", "rgba16-1924", "rgba16-4444", "rgb32-111110", "rgb32-7187",
      "rgba32-61754", "rgba32-81284", "rgba32-1010102",
      // Colour profiles are not applied.
      "rgb24prof2",
  };
  std::vector<std::string> rejected;
  for (const TEntry& e : Entries) {
    if (e.Expected != "optional") continue;
    SCOPED_TRACE(e.Path);
    auto d = Decode(ReadFile(kCorpus + "/" + e.Path));
    if (d->Aborted) {
      rejected.push_back(e.Path);
      continue;
    }
    TReference ref;
    ASSERT_TRUE(ref.Load(kCorpus + "/" + e.Reference));
    int best = Difference(*d, ref);
    ASSERT_GE(best, 0) << "wrong size";
    bool own = false;
    for (const std::string& n : ownRendering) own |= e.Path.find("/" + n + ".") != std::string::npos;
    if (own) continue;
    const std::regex alt("ref/\\S+?\\.alt\\.png");
    for (auto m = std::sregex_iterator(e.Exercises.begin(), e.Exercises.end(), alt); m != std::sregex_iterator(); ++m) {
      TReference other;
      if (other.Load(kCorpus + "/bmp/" + m->str())) best = std::min(best, std::max(Difference(*d, other), 0));
    }
    EXPECT_LE(best, Tolerance(e.Exercises));
  }
  // Huffman, RLE24, embedded JPEG/PNG, 64 bits and the bitmap-array container are refused.
  EXPECT_EQ(rejected, (std::vector<std::string>{
                          "bmp/q/pal1huffmsb.bmp", "bmp/q/rgb24jpeg.bmp", "bmp/q/rgb24png.bmp",
                          "bmp/q/rgb24rle24.bmp", "bmp/q/rgba64.bmp", "bmp/x/ba-bm.bmp"}));
}

TEST_F(BmpCorpus, DamagedFilesAreSurvived) {
  for (const TEntry& e : Entries) {
    if (e.Expected != "no-crash") continue;
    SCOPED_TRACE(e.Path);
    const Bytes data = ReadFile(kCorpus + "/" + e.Path);
    auto d = Decode(data);
    if (!d->Aborted) {
      EXPECT_LE(int64_t(d->Bitmap.Width()) * d->Bitmap.Height(), int64_t(1) << 30);
    }
    // Every prefix of the header and palette region fails or decodes without a fault.
    for (size_t cut = 0; cut < std::min<size_t>(data.size(), 80); cut += 7) {
      Decode(Bytes(data.begin(), data.begin() + cut));
    }
  }
}

TEST_F(BmpCorpus, DecodedFilesSurviveWriteAndRead) {
  for (const TEntry& e : Entries) {
    if (e.Expected != "decodes") continue;
    SCOPED_TRACE(e.Path);
    auto first = Decode(ReadFile(kCorpus + "/" + e.Path));
    if (first->Mask) first->Bitmap.AlphaLayer()->LoadFromMask(first->Mask.get());
    auto second = Decode(Encode(first->Bitmap, first->Params));
    ASSERT_FALSE(second->Aborted);
    ASSERT_EQ(second->Bitmap.Width(), first->Bitmap.Width());
    ASSERT_EQ(second->Bitmap.Height(), first->Bitmap.Height());
    for (int32_t y = 0; y < first->Bitmap.Height(); ++y)
      for (int32_t x = 0; x < first->Bitmap.Width(); ++x) ASSERT_EQ(second->At(x, y), first->At(x, y));
  }
}

}  // namespace
