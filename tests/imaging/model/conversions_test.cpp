// Single-pixel colour conversions, gray weights, the dither matrix and the row-conversion hook.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "imaging/model/pixel_conversions.h"

namespace {
uint32_t Cmyk(uint32_t c, uint32_t m, uint32_t y, uint32_t k) {
  return c | (m << 8) | (y << 16) | (k << 24);
}
}  // namespace

TEST(PixelConversions, GrayWeights) {
  EXPECT_EQ(Gray8(255, 0, 0), 53);
  EXPECT_EQ(Gray8(255, 255, 255), 255);
  EXPECT_EQ(Gray8(MakeRGB(0, 0, 255)), 20);
  SetGrayWeights(100, 0, 0);
  EXPECT_EQ(Gray8(200, 10, 10), 200);
  SetGrayWeights(200, 200, 200);  // silly weights stay within a byte
  EXPECT_EQ(Gray8(255, 255, 255), 255);
  SetGrayWeights(21, 71, 8);
  EXPECT_EQ(GrayWeightGreen, 71);
}

TEST(PixelConversions, Cmyk) {
  // Inverted convention: red is no cyan ink, full magenta and yellow, no black ink.
  EXPECT_EQ(RGBToCMYK(0xFF0000), Cmyk(255, 0, 0, 255));
  EXPECT_EQ(RGBToCMYK(0xFFFFFF), Cmyk(255, 255, 255, 255));
  EXPECT_EQ(RGBToCMYK(0x000000) >> 24, 0u);  // black: full black ink, no division by zero
  EXPECT_EQ(RGBToCMYK(0x808080), Cmyk(255, 255, 255, 128));
  EXPECT_EQ(CMYKToRGB(Cmyk(255, 255, 255, 0)), 0x000000u);
  EXPECT_EQ(CMYKToRGB(Cmyk(255, 255, 255, 255)), 0xFFFFFFu);
  // Round trip of a few colours is exact up to the integer divisions.
  for (uint32_t c : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0x123456u, 0xFFFFFFu, 0x000000u}) {
    const uint32_t back = CMYKToRGB(RGBToCMYK(c));
    for (int s = 0; s < 24; s += 8)
      EXPECT_NEAR(int((back >> s) & 0xFF), int((c >> s) & 0xFF), 1) << std::hex << c;
  }
}

TEST(PixelConversions, Lab) {
  EXPECT_EQ(RGBToLab(0xFFFFFF), 250u);          // L* 100, a = b = 0
  EXPECT_EQ(LabToRGB(250), 0xF9F9F9u);          // the two L scales differ: not white again
  EXPECT_EQ(RGBToLab(0x000000), 0u);
  EXPECT_EQ(LabToRGB(0), 0x000000u);
  const uint32_t red = RGBToLab(0xFF0000);
  EXPECT_EQ(red & 0xFF, 133u);                      // L* 53.2
  EXPECT_EQ(int8_t(uint8_t(red >> 8)), 80);         // a*
  EXPECT_EQ(int8_t(uint8_t(red >> 16)), 67);        // b*
  // A saturated blue has a negative b*, stored as a signed byte.
  EXPECT_LT(int8_t(uint8_t(RGBToLab(0x0000FF) >> 16)), -100);
  // Out-of-gamut Lab values are clamped, never wrapped.
  const uint32_t wild = LabToRGB(255 | (uint32_t(uint8_t(int8_t(-128))) << 8) | (127u << 16));
  EXPECT_EQ((wild >> 16) & 0xFF, 0u);
  EXPECT_EQ((wild >> 8) & 0xFF, 255u);
}

TEST(PixelConversions, DitherMatrixIsAPermutation) {
  std::set<int> values;
  for (auto& row : kDitherMatrix)
    for (uint8_t v : row) values.insert(v);
  EXPECT_EQ(values.size(), 64u);
  EXPECT_EQ(*values.rbegin(), 63);
  EXPECT_EQ(kDitherMatrix[1][0], 48);
  EXPECT_EQ(kDitherMatrix[0][1], 32);
  EXPECT_EQ(kDitherMatrix[7][7], 21);
}

TEST(ConvertSampleRow, ColourLayouts) {
  EXPECT_EQ(ConvertSampleRow, &DefaultConvertSampleRow);
  const uint8_t trgb[6] = {0, 0, 255, 10, 20, 30};  // red, then (30, 20, 10)
  uint8_t out[8] = {};

  ConvertSampleRow(trgb, slTRGB, out, nullptr, 2, slTRGB);
  EXPECT_EQ(0, memcmp(out, trgb, 6));
  ConvertSampleRow(trgb, slTRGB, out, nullptr, 2, slGray8);
  EXPECT_EQ(out[0], 53);
  EXPECT_EQ(out[1], Gray8(30, 20, 10));
  ConvertSampleRow(trgb, slTRGB, out, nullptr, 1, slCMYK);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 4)), (std::vector<uint8_t>{255, 0, 0, 255}));
  ConvertSampleRow(trgb, slTRGB, out, nullptr, 1, slLab);
  EXPECT_EQ(out[0], 133);

  const uint8_t rgb[3] = {1, 2, 3};
  ConvertSampleRow(rgb, slRGB, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{3, 2, 1}));

  const uint8_t cmyk[4] = {255, 255, 255, 255};
  ConvertSampleRow(cmyk, slCMYK, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{255, 255, 255}));
  const uint8_t plain[4] = {0, 255, 255, 0};  // plain: no cyan, full magenta and yellow
  ConvertSampleRow(plain, slPlainCMYK, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(plain[0], 0);  // the caller's row is left as it was

  const uint8_t lab[3] = {250, 0, 0};
  ConvertSampleRow(lab, slLab, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{249, 249, 249}));
}

TEST(ConvertSampleRow, WordsAndUnsupportedPairs) {
  // Little-endian words red 0x1234, green 0x5678, blue 0x9ABC.
  const uint8_t w[6] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};
  uint8_t out[3] = {};
  ConvertSampleRow(w, slRGB48High, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{0x9A, 0x56, 0x12}));
  ConvertSampleRow(w, slRGB48Low, out, nullptr, 1, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{0xBC, 0x78, 0x34}));

  uint8_t untouched[4] = {7, 7, 7, 7};
  ConvertSampleRow(w, slCMYK, untouched, nullptr, 1, slLab);
  ConvertSampleRow(w, slRGB, untouched, nullptr, 1, slGray8);
  ConvertSampleRow(w, slTRGB, untouched, nullptr, 0, slGray8);
  ConvertSampleRow(nullptr, slTRGB, untouched, nullptr, 1, slGray8);
  EXPECT_EQ((std::vector<uint8_t>(untouched, untouched + 4)), (std::vector<uint8_t>{7, 7, 7, 7}));

  // In place: a row of words becomes a row of TRGB in the same buffer.
  uint8_t buf[12] = {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6};
  ConvertSampleRow(buf, slRGB48High, buf, nullptr, 2, slTRGB);
  EXPECT_EQ((std::vector<uint8_t>(buf, buf + 6)), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST(ConvertSampleRow, HookCanBeReplaced) {
  static int calls = 0;
  ConvertSampleRow = [](const void*, int, void*, const TIOParamsVals*, int, int) { ++calls; };
  uint8_t b[3] = {};
  ConvertSampleRow(b, slTRGB, b, nullptr, 1, slTRGB);
  ConvertSampleRow = DefaultConvertSampleRow;
  EXPECT_EQ(calls, 1);
}
