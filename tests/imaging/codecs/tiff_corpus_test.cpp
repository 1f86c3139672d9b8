// The TIFF reader against the corpus: every "decodes" file equals its reference PNG (4-bit
// gray against the reference x 16/17, 16-bit samples within 1, CIELab and JPEG within a small
// tolerance), every page of a multi-page file equals its page reference, files that must be
// rejected set the failure flag, cut files keep the rows they hold and count a warning, and
// the rest is survived.

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tiff_test_support.h"
#include "tests/support/corpus.h"

namespace {

using namespace corpus;

using namespace tifftest;





// How a file is compared: the tolerance, and whether reference values are scaled by 16/17.
struct TRule {
  int Tolerance = 0;
  bool Gray4 = false;
  bool NoAlpha = false;     // the extra sample is not read as alpha (16-bit RGBA)
  bool OpaqueOnly = false;  // premultiplied colours: compared where the image is opaque
  double OffShare = 0;      // share of pixels allowed beyond the tolerance (out-of-gamut Lab)
};
TRule RuleFor(const TEntry& R) {
  TRule rule;
  const std::string& e = R.Exercises;
  if (e.find("Gray 4-bit") != std::string::npos) rule.Gray4 = true;
  if (e.find("16-bit") != std::string::npos) rule.Tolerance = 1;
  if (e.find("CIELab") != std::string::npos) rule.Tolerance = 16, rule.OffShare = 0.5;  // libtiff converts Lab differently
  if (e.find("4th sample skipped") != std::string::npos) rule.NoAlpha = true;
  if (e.find("extra sample") != std::string::npos) rule.OpaqueOnly = true;
  if (e.find("JPEG") != std::string::npos) rule.Tolerance = 12;
  return rule;
}

// The largest channel difference over Rows rows (-1: all), leaving out the share of pixels
// the rule allows; -2 when the sizes differ.
int Difference(TRead& D, const TReference& Ref, const TRule& Rule, int32_t Rows = -1) {
  if (D.Bitmap.Width() != Ref.Width || D.Bitmap.Height() != Ref.Height) return -2;
  std::vector<int> pixels;
  const int32_t rows = Rows < 0 ? Ref.Height : std::min(Rows, Ref.Height);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < Ref.Width; ++x) {
      const uint8_t* r = &Ref.Rgba[(size_t(y) * size_t(Ref.Width) + size_t(x)) * 4];
      const TRGB c = D.Bitmap.PixelAsRGB(x, y);
      const int a = D.Mask ? D.Mask->GetPixel(x, y) : 255;
      int worst = Rule.NoAlpha ? 0 : std::abs(a - r[3]);
      pixels.push_back(worst);
      if ((a == 0 && r[3] == 0) || (Rule.OpaqueOnly && a < 255)) continue;
      const int want[3] = {r[0], r[1], r[2]};
      const int got[3] = {c.r, c.g, c.b};
      for (int k = 0; k < 3; ++k) {
        const int w = Rule.Gray4 ? want[k] * 16 / 17 : want[k];
        worst = std::max(worst, std::abs(got[k] - w));
      }
      pixels.back() = worst;
    }
  if (pixels.empty()) return 0;
  const size_t skip = size_t(double(pixels.size()) * Rule.OffShare);
  std::nth_element(pixels.begin(), pixels.end() - 1 - long(skip), pixels.end());
  return pixels[pixels.size() - 1 - skip];
}

std::string PageReference(const std::string& Ref, int Page) {
  const size_t dot = Ref.rfind(".png");
  return Ref.substr(0, dot) + ".p" + std::to_string(Page) + ".png";
}

// Files whose pixels are known to differ from the reference, with the reason; they must
// still decode without failure.
const std::vector<std::string> kKnownDifferent = {
    // Group 3 1D without EOL codes: libtiff stops at the first row of every strip ("Premature
    // EOL"), so its reference is a blank page; we decode the page's text.
    "tiff/libtiff/testfax3_bug54_1dnoEOL.tif",
};

TEST(TiffCorpus, EveryFileAsItsManifestSays) {
  const std::vector<TEntry> rows = Entries("TIFF");
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << kCorpus;
  int decoded = 0;
  for (const TEntry& row : rows) {
    SCOPED_TRACE(row.Path);
    const Bytes data = ReadFile(kCorpus + "/" + row.Path);
    const auto d = ReadTiff(data);
    if (row.Expected == "must be rejected") {
      EXPECT_TRUE(d->Abort);
      continue;
    }
    if (row.Expected == "no-crash" || row.Expected == "optional") continue;
    TReference ref;
    ASSERT_TRUE(ref.Load(kCorpus + "/" + row.Reference));
    const TRule rule = RuleFor(row);
    ASSERT_FALSE(d->Abort);
    if (row.Expected == "partial") {
      // The first rows, which the file still holds, are decoded; the cut is counted.
      EXPECT_GT(d->Params.TiffWarningCount, 0);
      EXPECT_LE(Difference(*d, ref, rule, 16), rule.Tolerance);
      continue;
    }
    EXPECT_EQ(d->Params.TiffWarningCount, 0);
    if (std::find(kKnownDifferent.begin(), kKnownDifferent.end(), row.Path) != kKnownDifferent.end())
      continue;
    EXPECT_LE(Difference(*d, ref, rule), rule.Tolerance);
    ++decoded;
    for (int page = 1; std::filesystem::exists(kCorpus + "/" + PageReference(row.Reference, page)); ++page) {
      SCOPED_TRACE("page " + std::to_string(page));
      const auto p = ReadTiff(data, [&](TIOParamsVals& params) { params.TiffDirectoryIndex = page; });
      TReference pageRef;
      ASSERT_TRUE(pageRef.Load(kCorpus + "/" + PageReference(row.Reference, page)));
      EXPECT_FALSE(p->Abort);
      EXPECT_GT(p->Params.ImageCount(), page);
      EXPECT_LE(Difference(*p, pageRef, rule), rule.Tolerance);
    }
  }
  EXPECT_GT(decoded, 50);
}

}  // namespace
