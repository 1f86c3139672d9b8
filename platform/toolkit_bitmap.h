#pragma once
// TToolkitBitmap: the toolkit's device-independent bitmap. Depths 1, 4, 8, 15, 16, 24 and
// 32 bits per pixel, rows padded to 4 bytes and stored bottom-up (the last row first in
// memory), a colour table of up to 256 entries for depths up to 8 bits. A 1-bit bitmap
// without a colour table is monochrome (0 black, 1 white). The view blits it by wrapping its
// rows in an image object of the window toolkit.
//
// Sizes are computed in 64 bits; a size that does not fit or memory the system refuses raise
// EToolkitBitmapError and leave the bitmap unchanged.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/object.h"
#include "platform/rgb.h"

class EToolkitBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TToolkitBitmap : public TObject {
 public:
  TToolkitBitmap() = default;
  TToolkitBitmap(int32_t Width, int32_t Height, int32_t BitCount);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitCount() const { return FBitCount; }
  int32_t RowBytes() const { return FRowBytes; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  // Row Row (0 = top); rows lie bottom-up in memory. nullptr outside the bitmap.
  uint8_t* ScanLine(int32_t Row);
  const uint8_t* ScanLine(int32_t Row) const;
  // The pixel block (the bottom row first); nullptr when empty.
  uint8_t* Bits() { return FBits.empty() ? nullptr : FBits.data(); }

  // Changes the size keeping the top-left content; new pixels are zero.
  void SetSize(int32_t Width, int32_t Height);
  void SetWidth(int32_t Width) { SetSize(Width, FHeight); }
  void SetHeight(int32_t Height) { SetSize(FWidth, Height); }
  // Changes the depth (1, 4, 8, 15, 16, 24 or 32), converting the pixels: indexed targets get
  // the default colour table of their depth (monochrome for 1 bit, the 16 standard colours for
  // 4, a colour cube with grays for 8) and each pixel its nearest entry. Other values throw
  // EToolkitBitmapError.
  void SetBitCount(int32_t BitCount);

  // Colour table (depths up to 8 bits).
  int32_t ColorTableSize() const { return int32_t(FColors.size()); }
  TRGB ColorTableEntry(int32_t Index) const;  // black outside the table
  void SetColorTableEntry(int32_t Index, TRGB Color);  // ignored outside the table
  // Replaces the table (cut to 2^BitCount entries); an empty table makes a 1-bit bitmap
  // monochrome. Ignored for depths above 8.
  void SetColorTable(const std::vector<TRGB>& Colors);
  const std::vector<TRGB>& ColorTable() const { return FColors; }
  // 1-bit without a colour table.
  bool Monochrome() const { return FBitCount == 1 && FColors.empty(); }
  // True when the table is exactly the gray ramp (entry i = i, i, i) of 256 entries.
  bool HasGrayRampTable() const;

  // The colour of a pixel and writing one (indexed depths take the nearest table entry).
  TRGB PixelColor(int32_t X, int32_t Y) const;
  void SetPixelColor(int32_t X, int32_t Y, TRGB Color);

  // Whole copy: size, depth, colour table and pixels.
  void Assign(const TToolkitBitmap& Source);
  // Draws Source into this bitmap at 0,0 (the overlapping part), converting between depths.
  void Draw(const TToolkitBitmap& Source);

  // A number that changes (process-wide unique) whenever the size, depth, pixel block or
  // colour table changes; pixel writes through ScanLine do not change it.
  uint64_t ChangeStamp() const { return FStamp; }

  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

 private:
  void Reallocate(int32_t Width, int32_t Height, int32_t BitCount, bool KeepContent);
  uint8_t NearestIndex(TRGB Color) const;
  static std::vector<TRGB> DefaultTable(int32_t BitCount);
  void Touch();

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 24;
  int32_t FRowBytes = 0;
  std::vector<uint8_t> FBits;
  std::vector<TRGB> FColors;
  bool FModified = false;
  uint64_t FStamp = 0;
  mutable uint64_t FGrayStamp = 0;  // stamp at which FGrayRamp was computed
  mutable bool FGrayRamp = false;
};
