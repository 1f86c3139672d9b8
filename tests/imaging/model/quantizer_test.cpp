#include "imaging/model/quantizer.h"

#include "imaging/model/bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct TImage {
  int32_t W, H;
  std::vector<TRGB> Pixels;
  TVLColorQuantizer::TRowReader Reader() const {
    return [this](int32_t y, TRGB* out) {
      for (int32_t x = 0; x < W; ++x) out[x] = Pixels[size_t(y * W + x)];
    };
  }
};

// Smooth diagonal gradients with some noise, like a photograph.
TImage PhotoLike(int32_t W, int32_t H) {
  TImage img{W, H, {}};
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0, 4);
  auto ch = [&](double v) { return uint8_t(std::clamp(v + noise(rng), 0.0, 255.0)); };
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      img.Pixels.push_back(MakeRGB(ch(255.0 * x / W), ch(128 + 100 * std::sin(y * 0.05)),
                                   ch(255.0 * (x + y) / (W + H))));
  return img;
}

double MeanError(const TImage& img, TVLColorQuantizer& q) {
  double sum = 0;
  for (const TRGB c : img.Pixels) {
    const TRGB p = q.Palette()[q.IndexOf(c)];
    sum += std::sqrt(double((p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) +
                            (p.b - c.b) * (p.b - c.b)));
  }
  return sum / double(img.Pixels.size());
}

}  // namespace

TEST(Quantizer, FewColoursAreKeptExactly) {
  const std::vector<TRGB> colours = {MakeRGB(255, 0, 0), MakeRGB(0, 0, 255), MakeRGB(1, 2, 3),
                                     MakeRGB(2, 2, 3), MakeRGB(255, 255, 255)};
  TImage img{10, 10, {}};
  for (int i = 0; i < 100; ++i) img.Pixels.push_back(colours[size_t(i * 7 % 5)]);
  TVLColorQuantizer q(img.W, img.H, img.Reader(), 5);
  EXPECT_EQ(q.Method(), TVLColorQuantizer::qmExactColors);
  ASSERT_EQ(q.ColorCount(), 5);
  for (const TRGB c : colours) EXPECT_EQ(q.Palette()[q.IndexOf(c)], c);

  // One colour more than asked for: reduced, within the requested count.
  TVLColorQuantizer four(img.W, img.H, img.Reader(), 4);
  EXPECT_EQ(four.Method(), TVLColorQuantizer::qmMedianCut);
  EXPECT_LE(four.ColorCount(), 4);
}

TEST(Quantizer, GrayImagesGetAnEvenRamp) {
  TImage img{16, 1, {}};
  for (int i = 0; i < 16; ++i) img.Pixels.push_back(MakeRGB(uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17)));
  TVLColorQuantizer q(img.W, img.H, img.Reader(), 3);
  EXPECT_EQ(q.Method(), TVLColorQuantizer::qmGrayRamp);
  ASSERT_EQ(q.ColorCount(), 3);
  EXPECT_EQ(q.Palette()[1], MakeRGB(85, 85, 85));
  EXPECT_EQ(q.Palette()[2], MakeRGB(170, 170, 170));
  EXPECT_EQ(q.IndexOf(MakeRGB(255, 255, 255)), 2);
  TVLColorQuantizer full(img.W, img.H, img.Reader(), 999);  // clamped to 256
  EXPECT_EQ(full.ColorCount(), 256);
  EXPECT_EQ(full.Palette()[200], MakeRGB(200, 200, 200));
}

TEST(Quantizer, PhotographErrorIsBounded) {
  const TImage img = PhotoLike(256, 192);
  TVLColorQuantizer q16(img.W, img.H, img.Reader(), 16);
  EXPECT_EQ(q16.Method(), TVLColorQuantizer::qmMedianCut);
  EXPECT_EQ(q16.ColorCount(), 16);
  EXPECT_LT(MeanError(img, q16), 36.0);  // Lloyd refinement only reaches about 32

  TVLColorQuantizer q256(img.W, img.H, img.Reader(), 256);
  EXPECT_EQ(q256.Method(), TVLColorQuantizer::qmOctree);
  EXPECT_LE(q256.ColorCount(), 256);
  EXPECT_GT(q256.ColorCount(), 200);
  EXPECT_LT(MeanError(img, q256), 13.0);  // about 10.3 after refinement

  // The method changes exactly at 128 colours.
  EXPECT_EQ(TVLColorQuantizer(img.W, img.H, img.Reader(), 127).Method(),
            TVLColorQuantizer::qmMedianCut);
  EXPECT_EQ(TVLColorQuantizer(img.W, img.H, img.Reader(), 128).Method(),
            TVLColorQuantizer::qmOctree);
}

TEST(Quantizer, NearestIndexMatchesBruteForce) {
  std::vector<TRGB> pal;
  std::mt19937 rng(3);
  for (int i = 0; i < 40; ++i) pal.push_back(MakeRGB(uint8_t(rng()), uint8_t(rng()), uint8_t(rng())));
  pal.push_back(pal[5]);  // a duplicate: the lower index wins
  TVLColorQuantizer q(pal);
  EXPECT_EQ(q.Method(), TVLColorQuantizer::qmSourcePalette);
  EXPECT_EQ(q.IndexOf(pal[5]), 5);
  for (int i = 0; i < 20000; ++i) {
    const TRGB c = MakeRGB(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    int best = 0, bestD = 1 << 30;
    for (size_t k = 0; k < pal.size(); ++k) {
      const int d = (pal[k].r - c.r) * (pal[k].r - c.r) + (pal[k].g - c.g) * (pal[k].g - c.g) +
                    (pal[k].b - c.b) * (pal[k].b - c.b);
      if (d < bestD) bestD = d, best = int(k);
    }
    ASSERT_EQ(q.IndexOf(c), best);
    ASSERT_EQ(q.IndexOf(c), best);  // and again from the cache
  }
  TVLColorQuantizer none(std::vector<TRGB>{});
  EXPECT_EQ(none.ColorCount(), 1);
}

TEST(Quantizer, ReadsBitmapsByFormat) {
  TVLBitmap pal;
  pal.Allocate(2, 2, vl8p);
  pal.PaletteColorCount = 16;
  for (int i = 0; i < 16; ++i) pal.SetPalette(i, MakeRGB(uint8_t(i), 0, 0));
  TVLColorQuantizer kept(pal, 4);
  EXPECT_EQ(kept.Method(), TVLColorQuantizer::qmSourcePalette);
  EXPECT_EQ(kept.ColorCount(), 16);
  EXPECT_EQ(kept.Palette()[15], MakeRGB(15, 0, 0));

  TVLBitmap gray;
  gray.Allocate(2, 2, vl16g);
  TVLColorQuantizer ramp(gray, 4);
  EXPECT_EQ(ramp.Method(), TVLColorQuantizer::qmGrayRamp);
  EXPECT_EQ(ramp.Palette()[3], MakeRGB(192, 192, 192));

  TVLBitmap colour;
  colour.MemoryThreshold = 0;  // file-backed rows
  colour.Allocate(5, 3, vlRGB48);
  colour.SetPixelRGB48(4, 2, TRGB48{65535, 0, 0});
  colour.SetPixelRGB48(0, 1, TRGB48{0, 0, 0x8000});
  TVLColorQuantizer exact(colour, 256);
  EXPECT_EQ(exact.Method(), TVLColorQuantizer::qmExactColors);
  ASSERT_EQ(exact.ColorCount(), 3);
  EXPECT_EQ(exact.Palette()[exact.IndexOf(MakeRGB(255, 0, 0))], MakeRGB(255, 0, 0));
  EXPECT_EQ(exact.Palette()[exact.IndexOf(MakeRGB(0, 0, 128))], MakeRGB(0, 0, 128));
}
