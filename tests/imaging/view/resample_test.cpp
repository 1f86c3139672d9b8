// Resamplers: FastLinear against a short model of its boxes and fractions, the worked boxes,
// and properties every filter keeps (a flat image stays flat, a step edge keeps its ends).

#include "imaging/view/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/view/resample_core.h"

#include "view_test_util.h"

namespace {

// The FastLinear rules written out plainly, one channel at a time.
TRGB ModelFastLinear(TVLBitmap& s, int32_t c, int32_t n, int32_t j, int32_t i) {
  const int32_t a = s.Width(), b = s.Height();
  const double sx = double(c) / a, sy = double(n) / b;
  auto horizontal = [&](int32_t row, int ch) {
    auto v = [&](int32_t x) {
      const TRGB p = s.PixelRGB(x, row);
      return ch == 0 ? p.b : ch == 1 ? p.g : p.r;
    };
    const double f = j / sx;
    const int32_t q = int32_t(f);
    if (sx > 1) {
      const int32_t p = int32_t((f - q) * 131072);
      return v(q) + (((v(std::min(q + 1, a - 1)) - v(q)) * p) >> 17);
    }
    const int32_t r = int32_t(std::min(j + 1, c - 1) / sx + 1e-10);
    int sum = 0;
    for (int32_t x = q; x <= r; ++x) sum += v(x);
    return sum / (r - q + 1);
  };
  uint8_t out[3];
  for (int ch = 0; ch < 3; ++ch) {
    if (sy > 1) {
      const double g = i / sy;
      const int32_t h = int32_t(g), frac = int32_t((g - h) * 131072);
      const int32_t v0 = horizontal(h, ch), v1 = horizontal(std::min(h + 1, b - 1), ch);
      out[ch] = uint8_t(v0 + (((v1 - v0) * frac) >> 17));
    } else {
      const int32_t r0 = int32_t(i / sy), r1 = int32_t(std::min(i + 1, n - 1) / sy);
      int sum = 0;
      for (int32_t y = r0; y <= r1; ++y) sum += horizontal(y, ch);
      out[ch] = uint8_t(sum / (r1 - r0 + 1));
    }
  }
  return TRGB{out[0], out[1], out[2]};
}

TEST(FastLinear, MatchesTheModelWhenReducingEnlargingAndMixing) {
  const struct {
    int32_t a, b, c, n;
  } cases[] = {
      {300, 200, 17, 11}, {100, 80, 150, 120}, {2, 1, 4, 3},    {7, 5, 3, 9},
      {9, 9, 9, 4},       {3000, 3, 2, 3},     {1000, 2, 7, 1},
  };
  for (const auto& t : cases) {
    auto src = MakePattern(t.a, t.b);
    auto dst = MakeBitmap(t.c, t.n, vl24RGB);
    FastLinearResample(*src, *dst);
    for (int32_t i = 0; i < t.n; ++i)
      for (int32_t j = 0; j < t.c; ++j)
        ASSERT_EQ(dst->PixelRGB(j, i), ModelFastLinear(*src, t.c, t.n, j, i))
            << t.a << "x" << t.b << " -> " << t.c << "x" << t.n << " at " << j << "," << i;
  }
}

// The vector paths against the scalar code on random pictures, sizes and channel counts. Each
// row is its own allocation of exactly its bytes, so a read past the row's end is caught.
TEST(FastLinear, VectorPathsMatchTheScalarCode) {
  std::mt19937 rng(20261209);
  auto below = [&](int32_t n) { return int32_t(rng() % uint32_t(n)); };
  for (int round = 0; round < 400; ++round) {
    const int32_t ch = (round % 5 == 0) ? 1 : (round % 7 == 0 ? 4 : 3);
    const int32_t a = 1 + below(round % 4 == 0 ? 3000 : 200), b = 1 + below(40);
    const int32_t c = 1 + below(round % 6 == 0 ? 2 * a : a);
    const int32_t n = 1 + below(round % 6 == 1 ? 2 * b : b);
    const bool white = round % 9 == 0;  // the largest sums
    std::vector<std::vector<uint8_t>> rows(size_t(b), std::vector<uint8_t>(size_t(a) * size_t(ch)));
    for (auto& row : rows)
      for (auto& v : row) v = white ? 255 : uint8_t(rng());
    auto run = [&](vlresample::TLinearPath path) {
      std::vector<uint8_t> out(size_t(c) * size_t(n) * size_t(ch));
      const size_t outRow = size_t(c) * size_t(ch);
      vlresample::FastLinear(
          {a, b, ch}, {c, n, ch}, [&](int32_t y) { return rows[size_t(y)].data(); },
          [&](int32_t y, const uint8_t* r) {
            std::copy_n(r, outRow, out.data() + outRow * size_t(y));
          },
          {}, false, path);
      return out;
    };
    ASSERT_EQ(run(vlresample::TLinearPath::Fast), run(vlresample::TLinearPath::Scalar))
        << a << "x" << b << " -> " << c << "x" << n << " channels " << ch;
  }
}

TEST(FastLinear, EqualSizeCopiesAndTheEnlargingExampleInterpolates) {
  auto src = MakePattern(6, 5);
  auto same = MakeBitmap(6, 5, vl24RGB);
  FastLinearResample(*src, *same);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(same->PixelRGB(x, y), src->PixelRGB(x, y));
  // A 2-pixel row to 4: q = 0, 0, 1, 1 and p = 0, 65536, 0, 65536; the last repeats column 1.
  auto row = MakeBitmap(2, 1, vl24RGB);
  row->SetPixelRGB(0, 0, TRGB{0, 100, 200});
  row->SetPixelRGB(1, 0, TRGB{100, 0, 201});
  auto wide = MakeBitmap(4, 1, vl24RGB);
  FastLinearResample(*row, *wide);
  EXPECT_EQ(wide->PixelRGB(0, 0), (TRGB{0, 100, 200}));
  EXPECT_EQ(wide->PixelRGB(1, 0), (TRGB{50, 50, 200}));
  EXPECT_EQ(wide->PixelRGB(2, 0), (TRGB{100, 0, 201}));
  EXPECT_EQ(wide->PixelRGB(3, 0), (TRGB{100, 0, 201}));
}

TEST(FastLinear, ThePreviewBoxesOfALargePhoto) {
  // 3000 x 2000 to 171 x 114: the first pixel averages columns and rows 0..17, the last one
  // is the single source pixel (2982, 1982); the pixels after it do not count.
  auto src = MakeBitmap(3000, 2000, vl24RGB);
  src->FillRect(0, 0, 17, 17, 0xFFFFFF);
  src->SetPixelRGB(2982, 1982, TRGB{255, 255, 255});
  src->SetPixelRGB(2983, 1983, TRGB{9, 9, 9});
  auto dst = MakeBitmap(171, 114, vl24RGB);
  FastLinearResample(*src, *dst);
  EXPECT_EQ(dst->PixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(dst->PixelRGB(170, 113), (TRGB{255, 255, 255}));
  EXPECT_LT(dst->PixelRGB(1, 0).r, 255);
  src->FillRect(0, 0, 17, 17, 0);
  src->FillRect(0, 0, 16, 16, 0xFFFFFF);  // one column and row short of the box
  FastLinearResample(*src, *dst);
  EXPECT_LT(dst->PixelRGB(0, 0).r, 255);
}

TEST(Resamplers, AFlatImageStaysFlatUnderEveryFilter) {
  for (int f = rfTriangle; f <= rfProjectWB; ++f) {
    for (const auto& size : {std::pair{40, 30}, std::pair{7, 5}, std::pair{2000, 3}}) {
      auto src = MakeBitmap(size.first, size.second, vl24RGB);
      src->Fill(0x5090C8);
      auto dst = MakeBitmap(13, 17, vl24RGB);
      ResampleBitmap(*src, *dst, TResampleFilter(f));
      const TRGB first = dst->PixelAsRGB(0, 0);
      if (f < rfProjectBW) {
        EXPECT_EQ(first, (TRGB{0x50, 0x90, 0xC8})) << "filter " << f;
      }
      for (int32_t y = 0; y < dst->Height(); ++y)
        for (int32_t x = 0; x < dst->Width(); ++x)
          ASSERT_EQ(dst->PixelAsRGB(x, y), first) << "filter " << f << " at " << x << "," << y;
    }
  }
}

TEST(Resamplers, AStepEdgeKeepsItsEnds) {
  auto src = MakeBitmap(40, 4, vl24RGB);
  src->FillRect(20, 0, 39, 3, 0xFFFFFF);
  for (int f = rfTriangle; f <= rfBicubic; ++f) {
    for (int32_t w : {10, 80}) {
      auto dst = MakeBitmap(w, 4, vl24RGB);
      ResampleBitmap(*src, *dst, TResampleFilter(f));
      EXPECT_EQ(dst->PixelRGB(0, 1).g, 0) << "filter " << f << " width " << w;
      EXPECT_EQ(dst->PixelRGB(w - 1, 1).g, 255) << "filter " << f << " width " << w;
    }
  }
}

TEST(Resamplers, ProjectionsKeepThinLinesOfTheWinningColour) {
  auto src = MakeBitmap(60, 60, vl24RGB);
  src->Fill(0xFFFFFF);
  src->FillRect(59, 0, 59, 59, 0);  // a black line in the last column
  auto dst = MakeBitmap(6, 6, vl24RGB);
  ResampleBitmap(*src, *dst, rfProjectBW);
  ASSERT_EQ(dst->PixelFormat(), vl1g);
  for (int32_t y = 0; y < 6; ++y) {
    EXPECT_FALSE(dst->PixelBit(5, y));  // the last band is read
    EXPECT_TRUE(dst->PixelBit(0, y));
  }
  ResampleBitmap(*src, *dst, rfProjectWB);
  EXPECT_TRUE(dst->PixelBit(5, 3));
}

TEST(Resamplers, FarReductionsTakeTheNearestPixelInsteadOfBlack) {
  auto src = MakeBitmap(5000, 2, vl24RGB);
  src->Fill(0x808080);
  auto dst = MakeBitmap(2, 2, vl24RGB);
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfNearest}) {
    ResampleBitmap(*src, *dst, f);
    EXPECT_EQ(dst->PixelRGB(1, 0).g, 0x80) << "filter " << f;
  }
}

TEST(Resamplers, OneBitSourcesBecomeGray) {
  auto src = MakeBitmap(8, 8, vl1g);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) src->SetPixelBit(x, y, (x + y) % 2 == 0);
  auto dst = MakeBitmap(4, 4, vl24RGB);
  Reduce1Bit(*src, 0, 0, *dst, 7, 7);
  EXPECT_NEAR(dst->PixelRGB(1, 1).g, 127, 30);  // half the pixels set
  auto big = MakeBitmap(16, 16, vl24RGB);
  Resample1Bit(*src, *big, rfFastLinear);
  EXPECT_EQ(big->PixelRGB(0, 0).g, 255);
  for (TResampleFilter f : {rfTriangle, rfBicubic, rfFastLinear}) {
    auto half = MakeBitmap(4, 4, vl24RGB);
    Resample1Bit(*src, *half, f);
    EXPECT_GT(half->PixelRGB(2, 2).g, 40) << "filter " << f;
    EXPECT_LT(half->PixelRGB(2, 2).g, 215) << "filter " << f;
  }
}

TEST(Resamplers, EmptySourcesAndTargetsDoNothing) {
  TVLBitmap empty;
  auto dst = MakeBitmap(3, 3, vl24RGB);
  auto src = MakePattern(3, 3);
  TVLBitmap none;
  for (int f = rfTriangle; f <= rfProjectWB; ++f) {
    ResampleBitmap(empty, *dst, TResampleFilter(f));
    ResampleBitmap(*src, none, TResampleFilter(f));
  }
  auto bits = MakeBitmap(3, 3, vl1g);
  Reduce1Bit(*bits, 0, 0, none, 2, 2);
  Resample1Bit(empty, *dst, rfFastLinear);
  EXPECT_EQ(dst->PixelRGB(1, 1), (TRGB{0, 0, 0}));
}

}  // namespace
