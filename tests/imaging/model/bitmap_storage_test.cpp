// Row layouts, the three storage locations, the memory threshold and allocation failures.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <limits>
#include <vector>

#include "bitmap_test_util.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path, uint64_t offset, size_t length) {
  std::vector<uint8_t> data(length);
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::pread(fd, data.data(), length, off_t(offset)), ssize_t(length));
  ::close(fd);
  return data;
}

}  // namespace

using BitmapStorageTest = BitmapTempDirTest;

TEST(BitmapLayout, RowBytesPerFormat) {
  struct Case {
    TVLPixelFormat format;
    int32_t width;
    int32_t rowBytes;
    int32_t bits;
  } cases[] = {
      {vl24RGB, 1, 4, 24}, {vl1g, 1, 4, 1},     {vl1g, 33, 8, 1},    {vlRGB48, 3, 20, 48},
      {vl8p, 5, 8, 8},     {vl8g, 4, 4, 8},     {vl16g, 3, 8, 16},   {vl32f, 3, 12, 32},
      {vlCMYK, 2, 8, 32},  {vlCIELab, 2, 8, 24}, {vl24RGB, 5, 16, 24},
  };
  for (const Case& c : cases) {
    TVLBitmap b;
    b.Allocate(c.width, 2, c.format);
    EXPECT_EQ(b.RowBytes(), c.rowBytes) << c.format << " width " << c.width;
    EXPECT_EQ(b.BitCount(), c.bits);
    EXPECT_EQ(b.PaletteSize(), c.format == vl8p ? 256 : 0);
    EXPECT_TRUE(b.AllBytesZero());
  }
  EXPECT_EQ(VLRowBytes(3, 48, 8), 18);  // byte alignment
  EXPECT_EQ(VLRowBytes(33, 1, 16), 6);
}

TEST(BitmapLayout, PixelBytesLieWhereTheFormatSays) {
  TVLBitmap b;
  b.Allocate(9, 1, vl1g);
  b.SetPixelBit(0, 0, true);
  b.SetPixelBit(8, 0, true);
  EXPECT_EQ(b.Scanline(0)[0], 0x80);
  EXPECT_EQ(b.Scanline(0)[1], 0x80);

  b.Allocate(2, 1, vl16g);
  b.SetPixel16(1, 0, 0x1234);
  EXPECT_EQ(b.Scanline(0)[2], 0x34);
  EXPECT_EQ(b.Scanline(0)[3], 0x12);

  b.Allocate(2, 1, vl24RGB);
  b.SetPixelRGB(1, 0, MakeRGB(1, 2, 3));
  const uint8_t rgb[] = {3, 2, 1};  // blue, green, red
  EXPECT_EQ(std::memcmp(b.Scanline(0) + 3, rgb, 3), 0);

  b.Allocate(2, 1, vlRGB48);
  b.SetPixelRGB48(1, 0, TRGB48{0x0102, 0x0304, 0x0506});
  const uint8_t rgb48[] = {2, 1, 4, 3, 6, 5};  // red, green, blue words, little-endian
  EXPECT_EQ(std::memcmp(b.Scanline(0) + 6, rgb48, 6), 0);

  b.Allocate(1, 1, vl32f);
  b.SetPixelFloat(0, 0, 0.5f);
  float f;
  std::memcpy(&f, b.Scanline(0), 4);
  EXPECT_EQ(f, 0.5f);
}

TEST(BitmapLayout, PixelAsRGBPerFormat) {
  TVLBitmap b;
  b.Allocate(1, 1, vl16g);
  b.SetPixel16(0, 0, 0xABCD);
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(0xAB, 0xAB, 0xAB));
  b.Allocate(1, 1, vlRGB48);
  b.SetPixelRGB48(0, 0, TRGB48{0x1100, 0x2200, 0x3300});
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(0x11, 0x22, 0x33));
  b.Allocate(1, 1, vl32f);
  b.SetPixelFloat(0, 0, 0.5f);
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(127, 127, 127));
  b.SetPixelFloat(0, 0, 7.0f);  // out of range stays within the byte range
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(255, 255, 255));
  b.Allocate(1, 1, vlCMYK);
  b.SetPixel32(0, 0, 0xFFFFFFFF);  // no ink at all
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(255, 255, 255));
  b.Allocate(1, 1, vl8p);
  b.SetPalette(7, MakeRGB(10, 20, 30));
  b.SetPixel8(0, 0, 7);
  EXPECT_EQ(b.PixelAsRGB(0, 0), MakeRGB(10, 20, 30));
  b.SetPalette(256, MakeRGB(1, 1, 1));  // ignored
  EXPECT_EQ(b.Palette(-1), TRGB{});
}

TEST_F(BitmapStorageTest, MemoryRowsAreBottomUpAndAligned) {
  TVLBitmap b;
  b.MemoryThreshold = 1 << 20;
  b.Allocate(5, 4, vl24RGB);
  ASSERT_EQ(b.Location(), vlMemory);
  uint8_t* first = b.Scanline(0);
  uint8_t* last = b.Scanline(3);
  EXPECT_EQ(first - last, ptrdiff_t(b.RowBytes()) * 3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(last) % 32, 0u);
  EXPECT_EQ(b.Scanline(4), nullptr);
  EXPECT_EQ(FileCount(), 0u);
}

TEST_F(BitmapStorageTest, FileRowsAreTopDownAndWrittenBack) {
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.Allocate(3, 4, vl8g);
  ASSERT_EQ(b.Location(), vlFile);
  const std::string name = b.FileBuffer().FileName();
  EXPECT_EQ(name.substr(0, Dir.size()), Dir);
  EXPECT_EQ(name.size(), Dir.size() + std::strlen("IMG-12345678.tmp"));
  EXPECT_EQ(FileSize(name), 16u);
  for (int r = 0; r < 4; ++r) std::memset(b.Scanline(r), 10 + r, 3);
  b.Scanline(0);  // hands back row 3
  EXPECT_EQ(ReadFile(name, 3 * 4, 3), std::vector<uint8_t>(3, 13));
  EXPECT_EQ(ReadFile(name, 0, 3), std::vector<uint8_t>(3, 10));
  EXPECT_EQ(b.FileBuffer().MappedCount(), 1u);
  b.DiscardImage();
  EXPECT_EQ(FileCount(), 0u);
}

TEST_F(BitmapStorageTest, FileAccessFlags) {
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.Allocate(4, 2, vl8g);
  std::memset(b.Scanline(0), 7, 4);
  b.Scanline(1);
  const std::string name = b.FileBuffer().FileName();

  b.RowAccess = raRead;  // read, never written back
  uint8_t* row = b.Scanline(0);
  EXPECT_EQ(row[0], 7);
  std::memset(row, 99, 4);
  b.Scanline(1);
  EXPECT_EQ(ReadFile(name, 0, 4), std::vector<uint8_t>(4, 7));

  b.RowAccess = raWrite;  // not read, written back
  row = b.Scanline(0);
  EXPECT_EQ(row[0], 0);
  row[0] = 5;
  b.Scanline(1);
  EXPECT_EQ(ReadFile(name, 0, 1)[0], 5);
}

TEST_F(BitmapStorageTest, RowsNeverWrittenAreNotReadBack) {
  // A new image is zero; filling it must not read back the rows it is about to overwrite.
  // With the file emptied behind its back, only a written row still needs (and fails) a read.
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.Allocate(4, 3, vl8g);
  std::memset(b.Scanline(1), 9, 4);  // default access: read and write
  b.FileBuffer().ReleaseAll();
  ASSERT_EQ(::truncate(b.FileBuffer().FileName().c_str(), 0), 0);
  b.RowAccess = raRead;  // nothing written back, so the file stays empty
  EXPECT_EQ(b.Scanline(0)[0], 0);
  EXPECT_EQ(b.Scanline(2)[3], 0);
  EXPECT_THROW(b.Scanline(1), EVLBitmapError);
}

TEST_F(BitmapStorageTest, ThresholdRule) {
  // 10 x 10 vl8g: 12 bytes per row, 120 bytes.
  struct Case {
    TVLLocation requested;
    int64_t threshold;
    TVLLocation expected;
  } cases[] = {
      {vlFile, 121, vlMemory}, {vlFile, 120, vlFile},     {vlFile, 119, vlFile},
      {vlMemory, 121, vlMemory}, {vlMemory, 120, vlMemory}, {vlMemory, 119, vlFile},
  };
  for (const Case& c : cases) {
    TVLBitmap b;
    b.SetLocation(c.requested);
    b.MemoryThreshold = c.threshold;
    b.Allocate(10, 10, vl8g);
    EXPECT_EQ(b.Location(), c.expected) << c.requested << " " << c.threshold;
  }
}

TEST_F(BitmapStorageTest, NoTemporaryFileFallsBackToMemory) {
  SetVLTempDirectory(Dir + "missing/");
  TVLBitmap b;
  b.MemoryThreshold = 0;
  b.Allocate(8, 8, vl24RGB);
  EXPECT_EQ(b.Location(), vlMemory);
  b.Fill(0x00FF00);
  EXPECT_EQ(b.PixelRGB(7, 7), MakeRGB(0, 255, 0));
}

TEST_F(BitmapStorageTest, DefaultThresholdSetting) {
  SetVLDefaultMemoryThreshold(1000);
  TVLBitmap fixed;
  SetVLDefaultMemoryThreshold(-1);
  TVLBitmap automatic;
  EXPECT_EQ(fixed.MemoryThreshold, 1000);
  EXPECT_GT(automatic.MemoryThreshold, 0);
  EXPECT_EQ(fixed.Location(), vlFile);
  EXPECT_EQ(fixed.MonoMethod, 1);
  EXPECT_EQ(fixed.PaletteColorCount, 256);
  EXPECT_EQ(fixed.RowAccess, raRead | raWrite);
}

TEST_F(BitmapStorageTest, OverflowingOrRefusedAllocationLeavesItEmpty) {
  TVLBitmap b;
  b.Allocate(2, 2, vl8g);
  EXPECT_THROW(b.Allocate(std::numeric_limits<int32_t>::max(), 2, vlRGB48), EVLBitmapError);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.PixelFormat(), vlNull);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);

  TVLBitmap huge;  // 2^60 bytes in memory: the system refuses
  huge.SetLocation(vlMemory);
  huge.MemoryThreshold = std::numeric_limits<int64_t>::max();
  EXPECT_THROW(huge.Allocate(1 << 30, 1 << 30, vl8g), EVLBitmapError);
  EXPECT_TRUE(huge.IsEmpty());
  EXPECT_EQ(huge.PixelFormat(), vlNull);
  EXPECT_EQ(huge.Scanline(0), nullptr);
}

TEST_F(BitmapStorageTest, UnreadableTemporaryFileFailsCleanly) {
  // A temporary file that lost its rows (an I/O error, a disk that filled up) makes copies and
  // conversions fail with an exception: the copy is left empty, the converted image as it was.
  TVLBitmap src;
  src.MemoryThreshold = 0;
  src.Allocate(4, 3, vl24RGB);
  src.SetAlpha(1, 1, 7);
  std::memset(src.Scanline(0), 1, 12);
  src.FileBuffer().ReleaseAll();
  ASSERT_EQ(::truncate(src.FileBuffer().FileName().c_str(), 0), 0);
  for (int64_t threshold : {int64_t(1) << 20, int64_t(0)}) {
    TVLBitmap dst;
    dst.MemoryThreshold = threshold;
    dst.Allocate(2, 2, vl8g);
    EXPECT_THROW(dst.Assign(src), EVLBitmapError);
    EXPECT_TRUE(dst.IsEmpty());
    EXPECT_EQ(dst.PixelFormat(), vlNull);
    EXPECT_FALSE(dst.HasAlphaLayer());
  }
  EXPECT_THROW(src.SetPixelFormat(vl8g), EVLBitmapError);
  EXPECT_EQ(src.PixelFormat(), vl24RGB);
  EXPECT_EQ(src.Width(), 4);
  EXPECT_EQ(src.Location(), vlFile);
  ASSERT_TRUE(src.HasAlphaLayer());
  EXPECT_EQ(src.Alpha(1, 1), 7);
}

TEST_F(BitmapStorageTest, LargeImageInFileRoundTrips) {
  TVLBitmap b;
  b.MemoryThreshold = 64 * 1024;
  b.Allocate(1000, 1200, vl24RGB);  // 3.6 MB
  ASSERT_EQ(b.Location(), vlFile);
  EXPECT_EQ(FileSize(b.FileBuffer().FileName()), uint64_t(b.RowBytes()) * 1200);
  for (int32_t y = 0; y < 1200; ++y) {
    uint8_t* row = b.Scanline(y);
    for (int32_t i = 0; i < b.RowBytes(); ++i) row[i] = uint8_t(y * 7 + i);
  }
  bool same = true;
  for (int32_t y = 0; y < 1200 && same; ++y) {
    const uint8_t* row = b.Scanline(y);
    for (int32_t i = 0; i < b.RowBytes(); ++i) same = same && row[i] == uint8_t(y * 7 + i);
  }
  EXPECT_TRUE(same);
  EXPECT_LE(b.FileBuffer().MappedCount(), 1u);
}

TEST_F(BitmapStorageTest, LocationChangesKeepPixelsPaletteAndAlpha) {
  TVLBitmap b;
  b.MemoryThreshold = 24;  // exactly the image size: every requested location is kept
  b.Allocate(5, 3, vl8p);
  ASSERT_EQ(b.Location(), vlFile);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) b.SetPixel8(x, y, uint8_t(y * 5 + x));
  b.SetPalette(14, MakeRGB(1, 2, 3));
  b.SetAlpha(4, 2, 77);
  const TVLLocation road[] = {vlFile, vlTBitmap, vlMemory, vlTBitmap, vlFile};
  for (TVLLocation to : road) {
    b.SetLocation(to);
    EXPECT_EQ(b.Location(), to);
    ASSERT_EQ(b.PixelFormat(), vl8p) << to;
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Pixel8(4, 2), 14) << to;
    EXPECT_EQ(b.Pixel8(1, 0), 1) << to;
    EXPECT_EQ(b.Palette(14), MakeRGB(1, 2, 3)) << to;
    ASSERT_TRUE(b.HasAlphaLayer());
    EXPECT_EQ(b.Alpha(4, 2), 77) << to;
  }
}

TEST_F(BitmapStorageTest, HandOverMovesEverything) {
  TVLBitmap a, target;
  a.MemoryThreshold = 0;
  a.Allocate(4, 4, vl16g);
  a.SetPixel16(3, 3, 4242);
  a.SetAlpha(0, 0, 9);
  a.MonoMethod = 0;
  const std::string file = a.FileBuffer().FileName();
  target.Allocate(2, 2, vl8g);
  target.AlphaLayer();
  a.HandOverTo(target);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.PixelFormat(), vlNull);
  EXPECT_FALSE(a.HasAlphaLayer());
  EXPECT_FALSE(a.FileBuffer().IsOpen());
  EXPECT_EQ(target.Location(), vlFile);
  EXPECT_EQ(target.FileBuffer().FileName(), file);
  EXPECT_EQ(target.PixelFormat(), vl16g);
  EXPECT_EQ(target.Pixel16(3, 3), 4242);
  EXPECT_EQ(target.Alpha(0, 0), 9);
  EXPECT_EQ(target.MonoMethod, 0);
  EXPECT_EQ(FileCount(), 2u);  // the image and its alpha channel
}
