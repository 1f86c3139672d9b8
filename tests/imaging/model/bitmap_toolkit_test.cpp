// Bitmaps held in a toolkit bitmap, interchange with toolkit bitmaps, DIB and work bitmaps.

#include <cstring>

#include "bitmap_test_util.h"
#include "imaging/model/dib_bitmap.h"
#include "imaging/model/work_bitmap.h"
#include "platform/toolkit_bitmap.h"

using BitmapToolkitTest = BitmapTempDirTest;

namespace {

std::string AllocateMessage(TVLPixelFormat format) {
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  try {
    b.Allocate(4, 4, format);
  } catch (const EVLBitmapError& e) {
    EXPECT_TRUE(b.IsEmpty());
    return e.what();
  }
  return "";
}

}  // namespace

TEST_F(BitmapToolkitTest, FormatsAToolkitBitmapCannotHold) {
  EXPECT_EQ(AllocateMessage(vl32f), "vl32f pixel format not allowed when Location=vlTBitmap");
  EXPECT_EQ(AllocateMessage(vlCMYK), "vlCMYK pixel format not allowed when Location=vlTBitmap");
  EXPECT_EQ(AllocateMessage(vlRGB48), "vlRGB48 pixel format not allowed when Location=vlTBitmap");
  EXPECT_EQ(AllocateMessage(vlCIELab),
            "vlCIELab pixel format not allowed when Location=vlTBitmap");
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Allocate(3, 2, vl16g);
  EXPECT_EQ(b.PixelFormat(), vl8g);
  EXPECT_EQ(b.RowBytes(), 4);
  ASSERT_NE(b.CurrentToolkitBitmap(), nullptr);
  EXPECT_EQ(b.CurrentToolkitBitmap()->BitCount(), 8);
  b.Allocate(3, 2, vl8p);
  EXPECT_EQ(b.PixelFormat(), vl8p);
  EXPECT_EQ(b.PaletteSize(), 256);
  b.SetPalette(5, MakeRGB(1, 2, 3));
  EXPECT_EQ(b.CurrentToolkitBitmap()->ColorTableEntry(5), MakeRGB(1, 2, 3));
}

TEST_F(BitmapToolkitTest, RowsAreTheToolkitRows) {
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Allocate(5, 3, vl24RGB);
  TToolkitBitmap* t = b.CurrentToolkitBitmap();
  for (int r = 0; r < 3; ++r) EXPECT_EQ(b.Scanline(r), t->ScanLine(r));
  // Size changes made on the toolkit bitmap are picked up at the next query.
  t->SetSize(7, 2);
  EXPECT_EQ(b.Width(), 7);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Scanline(1), t->ScanLine(1));
}

TEST_F(BitmapToolkitTest, AlphaOfAToolkitImageLivesElsewhere) {
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Allocate(4, 4, vl24RGB);
  TVLBitmap* alpha = b.AlphaLayer();
  ASSERT_NE(alpha, nullptr);
  EXPECT_NE(alpha->Location(), vlTBitmap);
  EXPECT_TRUE(alpha->IsAlphaLayer());
  EXPECT_EQ(alpha->AlphaLayer(), nullptr);
  EXPECT_EQ(b.Alpha(3, 3), 255);
  b.SetWidth(6);
  EXPECT_EQ(alpha->Width(), 6);
}

TEST_F(BitmapToolkitTest, SizeChangesKeepPixels) {
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Allocate(9, 2, vl1g);
  b.SetPixelBit(8, 1, true);
  b.SetWidth(12);
  b.SetHeight(3);
  EXPECT_TRUE(b.PixelBit(8, 1));
  EXPECT_FALSE(b.PixelBit(11, 1));
  EXPECT_EQ(b.RowBytes(), 4);

  // A filled image (padding included) grows by zero pixels, as in the other locations.
  TVLBitmap gray;
  gray.SetLocation(vlTBitmap);
  gray.Allocate(2, 2, vl8g);
  gray.Fill(200);
  gray.SetWidth(3);
  EXPECT_EQ(gray.Pixel8(1, 1), 200);
  EXPECT_EQ(gray.Pixel8(2, 0), 0);
  EXPECT_EQ(gray.Pixel8(2, 1), 0);
}

TEST_F(BitmapToolkitTest, AssignConvertsWhatTheToolkitCannotHold) {
  TVLBitmap gray16;
  gray16.Allocate(2, 1, vl16g);
  gray16.SetPixel16(1, 0, 0x8000);
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Assign(gray16);
  EXPECT_EQ(b.PixelFormat(), vl8g);
  EXPECT_EQ(b.Pixel8(1, 0), 0x80);
  EXPECT_EQ(gray16.PixelFormat(), vl16g);  // the source is left alone

  TVLBitmap cmyk;
  cmyk.Allocate(2, 1, vlCMYK);
  cmyk.Fill(0x0000FF);  // red
  b.Assign(cmyk);
  EXPECT_EQ(b.Location(), vlTBitmap);
  EXPECT_EQ(b.PixelFormat(), vl24RGB);
  EXPECT_EQ(b.PixelRGB(0, 0), MakeRGB(255, 0, 0));

  TVLBitmap empty;
  b.Assign(empty);  // changes nothing in a toolkit bitmap
  EXPECT_EQ(b.Width(), 2);
}

TEST_F(BitmapToolkitTest, FormatChangesInAToolkitBitmap) {
  TVLBitmap b;
  b.SetLocation(vlTBitmap);
  b.Allocate(10, 1, vl1g);
  b.SetPixelBit(3, 0, true);
  b.SetPixelFormat(vl24RGB);
  EXPECT_EQ(b.PixelFormat(), vl24RGB);
  EXPECT_EQ(b.CurrentToolkitBitmap()->BitCount(), 24);
  EXPECT_EQ(b.PixelRGB(3, 0), MakeRGB(255, 255, 255));
  EXPECT_EQ(b.PixelRGB(2, 0), MakeRGB(0, 0, 0));
  b.SetPixelFormat(vl8g);
  EXPECT_EQ(b.Location(), vlTBitmap);
  EXPECT_EQ(b.PixelFormat(), vl8g);
  EXPECT_EQ(b.Pixel8(3, 0), 255);
  EXPECT_THROW(b.SetPixelFormat(vlCMYK), EVLBitmapError);
  EXPECT_EQ(b.Pixel8(3, 0), 255);
}

TEST_F(BitmapToolkitTest, AdoptWrapsWithoutCopying) {
  TToolkitBitmap t(3, 2, 24);
  {
    TVLBitmap b(&t);
    EXPECT_EQ(b.Location(), vlTBitmap);
    EXPECT_EQ(b.PixelFormat(), vl24RGB);
    b.SetPixelRGB(2, 1, MakeRGB(9, 8, 7));
    b.AlphaLayer();
  }  // the wrapped bitmap is not freed with the wrapper
  EXPECT_EQ(t.PixelColor(2, 1), MakeRGB(9, 8, 7));

  TToolkitBitmap eight(2, 1, 8);
  eight.ScanLine(0)[1] = 215;  // white in the default colour cube
  TVLBitmap copy;
  copy.AdoptToolkitBitmap(&eight, true);
  EXPECT_NE(copy.CurrentToolkitBitmap(), &eight);
  EXPECT_EQ(copy.PixelAsRGB(1, 0), MakeRGB(255, 255, 255));
}

TEST_F(BitmapToolkitTest, CopyFromToolkitBitmapByDepth) {
  struct Case {
    int32_t bits;
    TVLPixelFormat format;
  } cases[] = {{1, vl1g}, {4, vl8p}, {8, vl8p}, {15, vl24RGB}, {16, vl24RGB}, {24, vl24RGB}, {32, vl24RGB}};
  const TRGB colours[] = {MakeRGB(255, 0, 0), MakeRGB(0, 255, 0), MakeRGB(255, 255, 255)};
  for (const Case& c : cases) {
    TToolkitBitmap t(3, 2, c.bits);
    for (int x = 0; x < 3; ++x) t.SetPixelColor(x, 1, colours[x]);
    TVLBitmap b;
    b.CopyFromToolkitBitmap(t);
    ASSERT_EQ(b.PixelFormat(), c.format) << c.bits;
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.PixelAsRGB(x, 1), t.PixelColor(x, 1)) << c.bits << " " << x;
    EXPECT_EQ(b.PixelAsRGB(0, 0), t.PixelColor(0, 0));
  }
  // A 1-bit bitmap with a colour table becomes an indexed image.
  TToolkitBitmap two(2, 1, 1);
  two.SetColorTable({MakeRGB(0, 0, 128), MakeRGB(255, 255, 0)});
  two.ScanLine(0)[0] = 0x40;
  TVLBitmap b;
  b.Assign(&two);
  EXPECT_EQ(b.PixelFormat(), vl8p);
  EXPECT_EQ(b.Pixel8(1, 0), 1);
  EXPECT_EQ(b.PixelAsRGB(1, 0), MakeRGB(255, 255, 0));
}

TEST_F(BitmapToolkitTest, DibAndWorkBitmaps) {
  TVLDibbitmap dib;
  dib.Allocate(0, 5, vl24RGB);
  EXPECT_EQ(dib.GetPixelFormat(), vlNull);
  dib.Allocate(3, 2, vl8g);  // ignored
  EXPECT_EQ(dib.BitCount(), 0);
  dib.Allocate(3, 2, vl24RGB);
  EXPECT_EQ(dib.GetRowBytes(), 12);
  EXPECT_EQ(dib.GetScanline(0) - dib.GetScanline(1), 12);
  dib.GetScanline(1)[8] = 77;  // red of pixel 2
  TVLDibbitmap other;
  other.Assign(&dib);
  EXPECT_EQ(other.GetScanline(1)[8], 77);
  TVLBitmap b;
  b.CopyFromDibSection(other);
  EXPECT_EQ(b.PixelRGB(2, 1), MakeRGB(77, 0, 0));

  TVLWorkBitmap work;
  work.Allocate(5, 2, 24);
  EXPECT_EQ(work.RowBytes(), 16);
  work.Scanline(0)[0] = 3;
  uint8_t* block = work.Bits();
  work.Allocate(5, 2, 24);  // same values: same block, same contents
  EXPECT_EQ(work.Bits(), block);
  EXPECT_EQ(work.Scanline(0)[0], 3);
  EXPECT_EQ(work.Scanline(1), block);
}
