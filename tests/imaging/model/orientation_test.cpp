// ApplyOrientation: every orientation value moves every pixel where the EXIF definition puts
// it, for every pixel format, in memory and in a temporary file, and turns the alpha layer too.

#include <cstring>
#include <vector>

#include "bitmap_test_util.h"
#include "imaging/model/orientation.h"

namespace {

// Where the pixel at (x, y) of a W x H image goes for each orientation (1 to 8).
void Destination(int32_t o, int32_t W, int32_t H, int32_t x, int32_t y, int32_t& dx,
                 int32_t& dy) {
  switch (o) {
    case 2: dx = W - 1 - x; dy = y; break;
    case 3: dx = W - 1 - x; dy = H - 1 - y; break;
    case 4: dx = x; dy = H - 1 - y; break;
    case 5: dx = y; dy = x; break;
    case 6: dx = H - 1 - y; dy = x; break;
    case 7: dx = H - 1 - y; dy = W - 1 - x; break;
    case 8: dx = y; dy = W - 1 - x; break;
    default: dx = x; dy = y; break;
  }
}

// A pixel's bytes (or its bit) as a number.
uint64_t RawPixel(TVLBitmap& b, int32_t x, int32_t y) {
  if (b.PixelFormat() == vl1g) return b.PixelBit(x, y);
  const int32_t bpp = b.BitCount() / 8;
  uint64_t v = 0;
  std::memcpy(&v, b.Scanline(y) + size_t(x) * size_t(bpp), size_t(bpp));
  return v;
}

void SetRawPixel(TVLBitmap& b, int32_t x, int32_t y, uint64_t v) {
  if (b.PixelFormat() == vl1g) return b.SetPixelBit(x, y, v & 1);
  const int32_t bpp = b.BitCount() / 8;
  std::memcpy(b.Scanline(y) + size_t(x) * size_t(bpp), &v, size_t(bpp));
}

// Distinct, non-symmetric content: every byte of every pixel differs from its neighbours'.
uint64_t Pattern(int32_t x, int32_t y) {
  return (uint64_t(x) * 0x0101010101ull * 7 + uint64_t(y) * 0x0303030303ull * 13 + 1) ^
         (uint64_t(x * y) << 8);
}
uint64_t BitPattern(int32_t x, int32_t y) { return ((x * 3 + y * 5 + x * y) % 7) < 3; }

void Fill(TVLBitmap& b) {
  const bool bits = b.PixelFormat() == vl1g;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      SetRawPixel(b, x, y, bits ? BitPattern(x, y) : Pattern(x, y));
  if (b.PixelFormat() == vl8p) b.SetPalette(200, TRGB{1, 2, 3});
  TVLBitmap* alpha = b.AlphaLayer();
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) alpha->SetPixel8(x, y, uint8_t(x * 16 + y));
}

void ExpectOriented(TVLBitmap& b, int32_t o, int32_t W, int32_t H) {
  const bool turned = o >= 5 && o <= 8;
  ASSERT_EQ(b.Width(), turned ? H : W);
  ASSERT_EQ(b.Height(), turned ? W : H);
  ASSERT_TRUE(b.HasAlphaLayer());
  TVLBitmap& alpha = *b.AlphaLayer();
  ASSERT_EQ(alpha.Width(), b.Width());
  const bool bits = b.PixelFormat() == vl1g;
  const uint64_t mask = bits ? 1 : (b.BitCount() == 64 ? ~0ull : (1ull << b.BitCount()) - 1);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      int32_t dx, dy;
      Destination(o, W, H, x, y, dx, dy);
      const uint64_t want = (bits ? BitPattern(x, y) : Pattern(x, y)) & mask;
      ASSERT_EQ(RawPixel(b, dx, dy), want) << "orientation " << o << " pixel " << x << "," << y;
      ASSERT_EQ(alpha.Pixel8(dx, dy), uint8_t(x * 16 + y)) << "alpha, orientation " << o;
    }
  // Row padding stays zero (bits past the width of a vl1g row included).
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.Scanline(y);
    const int32_t usedBits = b.Width() * b.BitCount();
    for (int32_t bit = usedBits; bit < b.RowBytes() * 8; ++bit) {
      ASSERT_EQ((row[bit / 8] >> (7 - bit % 8)) & 1, 0) << "padding of row " << y;
    }
  }
  if (b.PixelFormat() == vl8p) {
    EXPECT_EQ(b.Palette(200), (TRGB{1, 2, 3}));
  }
}

}  // namespace

using OrientationTest = BitmapTempDirTest;

TEST_F(OrientationTest, EveryValueEveryFormatAndLocation) {
  const TVLPixelFormat formats[] = {vl24RGB, vl1g, vl8p, vl8g, vl16g, vl32f, vlCMYK, vlRGB48,
                                    vlCIELab};
  const int32_t W = 11, H = 5;  // odd, and wide enough for two bytes of vl1g pixels
  for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
    for (TVLPixelFormat format : formats) {
      if (location == vlTBitmap && !(format == vl24RGB || format == vl1g || format == vl8p ||
                                     format == vl8g))
        continue;
      for (int32_t o = 0; o <= 9; ++o) {
        TVLBitmap b;
        b.MemoryThreshold = location == vlFile ? 0 : int64_t(1) << 30;
        b.SetLocation(location);
        b.Allocate(W, H, format);
        Fill(b);
        ApplyOrientation(b, o);
        SCOPED_TRACE(testing::Message() << "format " << format << " location " << location);
        ExpectOriented(b, o, W, H);
        EXPECT_EQ(b.Location(), location);
      }
    }
  }
}

TEST_F(OrientationTest, QuarterTurnsKeepSettingsAndLargeImagesGoBandByBand) {
  // Larger than one band of turned rows, in a file: several passes over the source.
  const int32_t W = 2500, H = 2501;
  auto value = [](int32_t x, int32_t y) { return TRGB{uint8_t(x), uint8_t(y), uint8_t(x ^ y)}; };
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.RowAlignment = 8;
  b.Allocate(W, H, vl24RGB);
  std::vector<TRGB> row(size_t(W) > size_t(H) ? size_t(W) : size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    for (int32_t x = 0; x < W; ++x) row[size_t(x)] = value(x, y);
    std::memcpy(b.Scanline(y), row.data(), size_t(W) * 3);
  }
  ApplyOrientation(b, 6);
  ASSERT_EQ(b.Width(), H);
  EXPECT_EQ(b.RowAlignment, 8);
  EXPECT_EQ(b.RowBytes(), H * 3);
  EXPECT_EQ(b.Location(), vlFile);
  for (int32_t x = 0; x < W; x += 37) {  // turned row x is source column x, bottom up
    std::memcpy(row.data(), b.Scanline(x), size_t(H) * 3);
    for (int32_t y = 0; y < H; ++y) ASSERT_EQ(row[size_t(H - 1 - y)], value(x, y));
  }
  EXPECT_FALSE(b.HasAlphaLayer());
}

TEST(Orientation, EmptyBitmapIsLeftAlone) {
  TVLBitmap b;
  ApplyOrientation(b, 6);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 0);
}
