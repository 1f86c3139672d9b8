// TVLBitmap: interchange with toolkit bitmaps, DIB bitmaps and masks.

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/bitmap_internal.h"
#include "imaging/model/dib_bitmap.h"
#include "imaging/model/mask.h"
#include "platform/toolkit_bitmap.h"

using namespace vlbitmap_detail;

TToolkitBitmap* TVLBitmap::ToolkitBitmap() {
  if (FIsAlphaLayer) return nullptr;
  SetLocation(vlTBitmap);
  if (!FToolkit) {
    FToolkit = new TToolkitBitmap();
    FEncapsulated = false;
  }
  return FToolkit;
}

void TVLBitmap::AdoptToolkitBitmap(TToolkitBitmap* Bitmap, bool FreeFirst) {
  if (!Bitmap || (Bitmap == FToolkit && (FLocation == vlTBitmap || !FEncapsulated))) return;
  if (Bitmap->BitCount() != 1 && Bitmap->BitCount() != 24) {
    // No pixel format has this layout: the pixels are copied instead.
    if (FreeFirst) DiscardImage(true);
    CopyFromToolkitBitmap(*Bitmap);
    return;
  }
  if (FreeFirst) DiscardImage(true);
  else FreeImage();  // the pixel storage goes; the alpha channel stays and follows the size
  if (FToolkit && !FEncapsulated) delete FToolkit;
  FToolkit = Bitmap;
  FEncapsulated = true;
  FLocation = vlTBitmap;
  FAllMax = false;
  SyncToolkit();
}

void TVLBitmap::CopyFromToolkitBitmap(TToolkitBitmap& Bitmap) {
  if (&Bitmap == FToolkit && FLocation == vlTBitmap) return;
  if (FLocation == vlTBitmap) {
    try {
      if (!FToolkit || FEncapsulated) {
        // The copy goes into a toolkit bitmap of our own, never into the caller's.
        FToolkit = new TToolkitBitmap();
        FEncapsulated = false;
      }
      FToolkit->Assign(Bitmap);
    } catch (const std::exception& e) {
      throw EVLBitmapError(e.what());
    }
    FAllMax = false;
    SyncToolkit();
    return;
  }

  const int32_t w = Bitmap.Width(), h = Bitmap.Height(), bits = Bitmap.BitCount();
  TVLPixelFormat format = vl24RGB;
  if (bits == 1 && Bitmap.Monochrome()) format = vl1g;
  else if (bits <= 8) format = vl8p;
  Allocate(w, h, format);
  if (IsEmpty()) return;
  if (format == vl8p) {
    const int32_t entries = 1 << bits;
    for (int32_t i = 0; i < entries; ++i) SetPaletteColor(i, Bitmap.ColorTableEntry(i));
  }
  TAccessGuard writeOnly(*this, raWrite);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = Bitmap.ScanLine(y);
    uint8_t* dst = Scanline(y);
    if (!src || !dst) continue;
    switch (bits) {
      case 1:
        if (format == vl1g) {
          std::memcpy(dst, src, size_t(std::min(RowBytes(), Bitmap.RowBytes())));
        } else {
          for (int32_t x = 0; x < w; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        }
        break;
      case 4:
        for (int32_t x = 0; x < w; ++x)
          dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        break;
      case 8:
        std::memcpy(dst, src, size_t(std::min(RowBytes(), Bitmap.RowBytes())));
        break;
      case 15:
      case 16:
        for (int32_t x = 0; x < w; ++x) {
          const TRGB c = Bitmap.PixelColor(x, y);
          dst[3 * x] = c.b;
          dst[3 * x + 1] = c.g;
          dst[3 * x + 2] = c.r;
        }
        break;
      case 24:
        std::memcpy(dst, src, size_t(w) * 3);
        break;
      default:  // 32: the fourth byte is dropped
        for (int32_t x = 0; x < w; ++x) std::memcpy(dst + 3 * size_t(x), src + 4 * size_t(x), 3);
        break;
    }
  }
  ReleaseMappedRow();
  FAllMax = false;
}

void TVLBitmap::CopyFromDibSection(TVLDibbitmap& Dib) {
  TVLPixelFormat format;
  switch (Dib.BitCount()) {
    case 1: format = vl1g; break;
    case 8: format = vl8g; break;
    case 24: format = vl24RGB; break;
    default: return;
  }
  Allocate(Dib.Width(), Dib.Height(), format);
  if (IsEmpty()) return;
  const int32_t bytes = std::min(RowBytes(), Dib.RowBytes());
  TAccessGuard writeOnly(*this, raWrite);
  for (int32_t y = 0; y < Height(); ++y) {
    const uint8_t* src = Dib.GetScanline(y);
    uint8_t* dst = Scanline(y);
    if (src && dst) std::memcpy(dst, src, size_t(bytes));
  }
  ReleaseMappedRow();
}

void TVLBitmap::LoadFromMask(TVLMask* Mask) {
  if (!Mask) {
    Fill(255);
    return;
  }
  TVLPixelFormat format;
  if (Mask->Depth() == 1) format = vl1g;
  else if (Mask->Depth() == 8) format = vl8g;
  else return;
  Allocate(Mask->Width(), Mask->Height(), format);
  const int32_t bytes = std::min(RowBytes(), Mask->RowBytes());
  {
    TAccessGuard writeOnly(*this, raWrite);
    for (int32_t y = 0; y < Height(); ++y) {
      const uint8_t* src = Mask->Scanline(y);
      uint8_t* dst = Scanline(y);
      if (src && dst) std::memcpy(dst, src, size_t(bytes));
    }
    ReleaseMappedRow();
  }
  FAllMax = Mask->AllMax();
}

void TVLBitmap::StoreToMask(TVLMask& Mask) {
  const TVLPixelFormat format = PixelFormat();
  if (format != vl1g && format != vl8g) return;
  Mask.Setup(Width(), Height(), format == vl1g ? 1 : 8);
  const int32_t bytes = std::min(RowBytes(), Mask.RowBytes());
  TAccessGuard readOnly(*this, raRead);
  for (int32_t y = 0; y < Height(); ++y) {
    const uint8_t* src = Scanline(y);
    uint8_t* dst = Mask.Scanline(y);
    if (src && dst) std::memcpy(dst, src, size_t(bytes));
  }
  Mask.RecomputeBounds();
  Mask.SetAllMax(FAllMax);
}
