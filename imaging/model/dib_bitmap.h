#pragma once
// TVLDibbitmap: a 1-bit or 24-bit device-independent bitmap behind the shared row-access
// interface, held in a toolkit bitmap of its own (rows bottom-up, 4-byte padded).

#include <cstdint>
#include <memory>

#include "imaging/model/bitmap.h"

class TToolkitBitmap;

class TVLDibbitmap : public TVLBaseBitmap {
 public:
  TVLDibbitmap();
  ~TVLDibbitmap() override;

  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() override { return FBitCount; }
  int32_t GetHeight() override { return FHeight; }
  int32_t GetWidth() override { return FWidth; }
  TVLPixelFormat GetPixelFormat() override;  // vl1g, vl24RGB, else vlNull
  int32_t GetRowBytes() override { return FRowBytes; }
  TRGB GetPaletteColor(int32_t) override { return TRGB{}; }  // black
  void SetPaletteColor(int32_t, TRGB) override {}
  int32_t GetPaletteSize() override { return 0; }
  // Accepts vl1g and vl24RGB only; a zero width or height does nothing.
  TVLDibbitmap* Allocate(int32_t Width, int32_t Height, TVLPixelFormat Format) override;
  // Copies size, depth and bytes from another TVLDibbitmap; other sources are ignored.
  void Assign(TObject* Source) override;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitCount() const { return FBitCount; }
  int32_t RowBytes() const { return FRowBytes; }
  uint8_t* Bits();
  // The toolkit bitmap holding the pixels (for drawing); nullptr before allocation.
  TToolkitBitmap* Bitmap() { return FBitmap.get(); }

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FRowBytes = 0;
  std::unique_ptr<TToolkitBitmap> FBitmap;
};
