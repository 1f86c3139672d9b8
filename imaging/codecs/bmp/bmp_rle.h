#pragma once
// Run-length coding of BMP palette images (RLE8 and RLE4): the decoder, which writes into the
// rows of a bitmap, and the encoder of one row.

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/io/progress.h"
#include "platform/rgb.h"

class TStream;
class TVLBitmap;

namespace bmp {

// At most Count bytes of a stream from its position, read through a buffer.
class TBoundedInput {
 public:
  TBoundedInput(TStream& Stream, int64_t Count) : FStream(Stream), FLeft(Count > 0 ? Count : 0) {}
  // The next byte; false at the end of the data.
  bool Get(uint8_t& Byte) {
    if (FPos == FEnd && !Refill()) return false;
    Byte = FBuffer[FPos++];
    return true;
  }
  bool Skip(size_t Count) {
    uint8_t b;
    while (Count-- > 0)
      if (!Get(b)) return false;
    return true;
  }

 private:
  bool Refill();
  TStream& FStream;
  int64_t FLeft;
  std::array<uint8_t, 65536> FBuffer;
  size_t FPos = 0;
  size_t FEnd = 0;
};

// Writes palette indices into the rows of a bitmap: a vl8p bitmap gets the indices, any other
// (vl24RGB) their colours from a 256-entry palette. Rows are addressed in file order, which is
// bottom-up unless TopDown.
class TIndexRows {
 public:
  TIndexRows(TVLBitmap& Bitmap, const std::array<TRGB, 256>& Palette, bool TopDown);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // Makes FileRow the row that Put and Fill write to; false when it lies outside the image.
  bool Select(int32_t FileRow);
  // Writes pixels of the selected row; columns outside the row are dropped.
  void Put(int32_t X, uint8_t Index) {
    if (FRow != nullptr && X >= 0 && X < FWidth) Store(X, Index);
  }
  void Fill(int32_t X, int32_t Count, uint8_t Index);

 private:
  void Store(int32_t X, uint8_t Index) {
    if (FIndexed)
      FRow[X] = Index;
    else
      *reinterpret_cast<TRGB*>(FRow + 3 * size_t(X)) = FPalette[Index];
  }
  TVLBitmap& FBitmap;
  const std::array<TRGB, 256>& FPalette;
  bool FTopDown;
  bool FIndexed;
  int32_t FWidth;
  int32_t FHeight;
  uint8_t* FRow = nullptr;
};

// Decodes RLE8 (Four false) or RLE4 data into Rows, starting at column 0 of file row 0.
// Every count is checked against the input, which simply ends the image; pixels beyond the
// end of a row are dropped, a delta stops at the end of its row, and decoding ends at the
// end-of-bitmap code, at the end of the input or when the rows are used up. Progress is
// reported at every row end; a set AbortFlag stops the decoder.
void DecodeRle(TBoundedInput& Input, bool Four, TIndexRows& Rows, TVLProgressState& Progress);

// Appends the RLE8 (Four false) or RLE4 coding of one row of Count indices, with its
// end-of-line code, to Out.
void EncodeRleRow(const uint8_t* Indices, int32_t Count, bool Four, std::vector<uint8_t>& Out);

}  // namespace bmp
