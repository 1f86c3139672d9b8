#include "imaging/model/dib_bitmap.h"

#include <cstring>

#include "platform/toolkit_bitmap.h"

TVLDibbitmap::TVLDibbitmap() = default;
TVLDibbitmap::~TVLDibbitmap() = default;

uint8_t* TVLDibbitmap::Bits() { return FBitmap ? FBitmap->Bits() : nullptr; }

uint8_t* TVLDibbitmap::GetScanline(int32_t Row) {
  if (!FBitmap || Row < 0 || Row >= FHeight) return nullptr;
  return FBitmap->Bits() + size_t(FRowBytes) * size_t(FHeight - 1 - Row);
}

TVLPixelFormat TVLDibbitmap::GetPixelFormat() {
  return FBitCount == 1 ? vl1g : FBitCount == 24 ? vl24RGB : vlNull;
}

TVLDibbitmap* TVLDibbitmap::Allocate(int32_t Width, int32_t Height, TVLPixelFormat Format) {
  if (Format != vl1g && Format != vl24RGB) return this;
  if (Width <= 0 || Height <= 0) return this;
  const int32_t bits = Format == vl1g ? 1 : 24;
  try {
    auto bitmap = std::make_unique<TToolkitBitmap>(Width, Height, bits);
    if (bits == 1) bitmap->SetColorTable({TRGB{0, 0, 0}, TRGB{255, 255, 255}});
    FBitmap = std::move(bitmap);
  } catch (const std::exception& e) {
    throw EVLBitmapError(e.what());
  }
  FWidth = Width;
  FHeight = Height;
  FBitCount = bits;
  FRowBytes = FBitmap->RowBytes();
  return this;
}

void TVLDibbitmap::Assign(TObject* Source) {
  auto* other = dynamic_cast<TVLDibbitmap*>(Source);
  if (!other || other == this) return;
  if (!other->FBitmap) {
    FBitmap.reset();
    FWidth = FHeight = FBitCount = FRowBytes = 0;
    return;
  }
  Allocate(other->FWidth, other->FHeight, other->GetPixelFormat());
  if (FBitmap && other->FBitmap)
    std::memcpy(FBitmap->Bits(), other->FBitmap->Bits(),
                size_t(FRowBytes) * size_t(FHeight));
}
