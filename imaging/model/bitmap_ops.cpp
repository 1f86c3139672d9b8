// TVLBitmap: whole-image operations: Assign, size and format changes, rectangle copies and
// canvas resizing.

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/bitmap_internal.h"
#include "imaging/model/pixel_conversions.h"
#include "platform/toolkit_bitmap.h"

using namespace vlbitmap_detail;

namespace {

// The clipped extent of a rectangle copy between a source and a destination.
struct TClip {
  int32_t SrcX = 0, SrcY = 0, DstX = 0, DstY = 0, Width = 0, Height = 0;
};

// Clips one axis: destination origin into the destination, source origin moved by the part
// cut off a negative destination origin and kept in the source, extent cut to both.
void ClipAxis(int64_t Src, int64_t Dst, int64_t Extent, int64_t SrcSize, int64_t DstSize,
              int32_t& OutSrc, int32_t& OutDst, int32_t& OutExtent) {
  const int64_t dst = std::clamp<int64_t>(Dst, 0, DstSize - 1);
  int64_t src = Src + (Dst < 0 ? -Dst : 0);
  src = std::clamp<int64_t>(src, 0, SrcSize - 1);
  int64_t extent = Dst < 0 ? Extent + Dst : Extent;
  extent = std::min(extent, SrcSize - src);
  extent = std::min(extent, DstSize - dst);
  OutSrc = int32_t(src);
  OutDst = int32_t(dst);
  OutExtent = int32_t(std::max<int64_t>(extent, 0));
}

bool ClipRect(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
              int32_t DstX, int32_t DstY, int32_t RectW, int32_t RectH, TClip& C) {
  if (SrcW <= 0 || SrcH <= 0 || DstW <= 0 || DstH <= 0) return false;
  ClipAxis(SrcX, DstX, RectW, SrcW, DstW, C.SrcX, C.DstX, C.Width);
  ClipAxis(SrcY, DstY, RectH, SrcH, DstH, C.SrcY, C.DstY, C.Height);
  return C.Width > 0 && C.Height > 0;
}

bool GetBit(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
void PutBit(uint8_t* Row, int32_t X, bool V) {
  const uint8_t mask = uint8_t(0x80 >> (X & 7));
  if (V) Row[X >> 3] |= mask;
  else Row[X >> 3] &= uint8_t(~mask);
}

// Clears the bits of a row from bit FromBit up to the end of Bytes bytes.
void ClearBitsFrom(uint8_t* Row, uint64_t FromBit, int32_t Bytes) {
  const uint64_t total = uint64_t(Bytes) * 8;
  if (FromBit >= total) return;
  uint64_t bit = FromBit;
  if (bit % 8) {
    Row[bit / 8] &= uint8_t(0xFF00 >> (bit % 8));
    bit += 8 - bit % 8;
  }
  if (bit < total) std::memset(Row + bit / 8, 0, size_t((total - bit) / 8));
}

}  // namespace

// ---- Assign ----------------------------------------------------------------------------------------

void TVLBitmap::Assign(TObject* Source) {
  if (!Source || Source == this) return;
  if (auto* bitmap = dynamic_cast<TVLBitmap*>(Source)) AssignFrom(*bitmap, false);
  else if (auto* toolkit = dynamic_cast<TToolkitBitmap*>(Source)) CopyFromToolkitBitmap(*toolkit);
}

void TVLBitmap::AssignPixelsOnly(TVLBitmap& Source) {
  if (&Source == this) return;
  AssignFrom(Source, true);
}

void TVLBitmap::AssignIntoToolkit(TVLBitmap& Source) {
  const TVLPixelFormat format = Source.PixelFormat();
  FWidth = Source.Width();
  FHeight = Source.Height();
  FPixelFormat = format;
  FBitCount = PixelFormatBits(format);
  FChannels = PixelFormatChannels(format);
  FPalette.assign(format == vl8p ? 256 : 0, TRGB{});
  AllocateToolkit();
}

void TVLBitmap::AssignFrom(TVLBitmap& Source, bool PixelsOnly) {
  // Assigning the own alpha channel: keep it alive while it is read, and give it back where
  // the assignment does not replace the alpha channel (an empty source, pixels only).
  std::unique_ptr<TVLBitmap> keepSource;
  if (&Source == FAlpha.get()) keepSource = std::move(FAlpha);
  const auto giveBack = [&] {
    if (keepSource) FAlpha = std::move(keepSource);
  };
  const bool sourceEmpty = Source.IsEmpty();
  if (PixelsOnly && sourceEmpty) return giveBack();
  if (FLocation == vlTBitmap) {
    if (sourceEmpty) return giveBack();
    if (!ToolkitCanHold(Source.PixelFormat())) {
      // The toolkit bitmap has no depth for this format: a converted copy is assigned.
      TVLBitmap converted;
      converted.MemoryThreshold = MemoryThreshold;
      converted.AssignFrom(Source, false);
      const TVLPixelFormat f = Source.PixelFormat();
      converted.SetPixelFormat((f == vl16g || f == vl32f) ? vl8g : vl24RGB);
      if (PixelsOnly) giveBack();
      AssignFrom(converted, PixelsOnly);
      return;
    }
    if (!PixelsOnly) RowAlignment = Source.RowAlignment;
    AssignIntoToolkit(Source);
  } else {
    FreeImage();
    if (!PixelsOnly) DropAlphaLayer();
    FWidth = Source.Width();
    FHeight = Source.Height();
    FPixelFormat = Source.PixelFormat();
    if (!PixelsOnly) RowAlignment = Source.RowAlignment;
    AllocateStorage();
  }
  FAllMax = PixelsOnly ? false : Source.FAllMax;

  try {
    if (FLocation == vlFile && Source.FLocation == vlFile && FRowBytes == Source.FRowBytes &&
        FFileBuffer->IsOpen() && Source.FFileBuffer->IsOpen()) {
      FFileBuffer->CopyFrom(*Source.FFileBuffer,
                            std::min(FFileBuffer->Size(), Source.FFileBuffer->Size()));
    } else {
      CopyRowsFrom(Source);
    }
  } catch (...) {
    // A copy that failed half-way (a temporary file that cannot be read or written) is not
    // left behind as an image.
    DiscardImage(!PixelsOnly);
    if (PixelsOnly) giveBack();
    throw;
  }

  if (PixelsOnly) giveBack();
  if (!FIsAlphaLayer) {
    if (PixelsOnly) {
      // The own alpha channel stays, but follows the new size.
      if (FAlpha && (FAlpha->Width() != Width() || FAlpha->Height() != Height())) {
        FAlpha->SetWidth(Width());
        FAlpha->SetHeight(Height());
      }
    } else if (Source.FAlpha) {
      auto alpha = std::make_unique<TVLBitmap>();
      alpha->FIsAlphaLayer = true;
      alpha->MemoryThreshold = MemoryThreshold;
      alpha->FLocation = FLocation == vlTBitmap ? vlMemory : FLocation;
      alpha->AssignFrom(*Source.FAlpha, false);
      FAlpha = std::move(alpha);
    } else {
      FAlpha.reset();
    }
  }
  const int32_t paletteSize = GetPaletteSize();
  for (int32_t i = 0; i < paletteSize; ++i) SetPaletteColor(i, Source.GetPaletteColor(i));
  if (!PixelsOnly) MonoMethod = Source.MonoMethod;
}

// ---- Size changes --------------------------------------------------------------------------------------

void TVLBitmap::SetWidth(int32_t Value) { ChangeDimension(std::max(Value, 0), Height()); }
void TVLBitmap::SetHeight(int32_t Value) { ChangeDimension(Width(), std::max(Value, 0)); }

void TVLBitmap::ChangeDimension(int32_t NewWidth, int32_t NewHeight) {
  const int32_t oldWidth = Width(), oldHeight = Height();
  if (NewWidth == oldWidth && NewHeight == oldHeight) return;
  // The alpha channel follows once the image itself has changed: a size the image cannot take
  // then leaves both as they were.
  if (FLocation == vlTBitmap && FToolkit) {
    try {
      if (FToolkit->BitCount() == 1) {
        TToolkitBitmap copy;
        copy.Assign(*FToolkit);
        FToolkit->SetSize(NewWidth, NewHeight);
        FToolkit->Draw(copy);
      } else {
        FToolkit->SetSize(NewWidth, NewHeight);
      }
    } catch (const std::exception& e) {
      throw EVLBitmapError(e.what());
    }
    FAllMax = false;
    if (FAlpha) FAlpha->ChangeDimension(NewWidth, NewHeight);
    SyncToolkit();
    return;
  }
  const int32_t other = NewWidth != oldWidth ? oldHeight : oldWidth;
  if (FPixelFormat == vlNull || other <= 0 || oldWidth <= 0 || oldHeight <= 0) {
    // No pixels: only the stored dimensions change.
    FWidth = NewWidth;
    FHeight = NewHeight;
    if (FPixelFormat != vlNull && FWidth > 0 && FHeight > 0) AllocateStorage();
    else FRowBytes = VLRowBytes(FWidth, FBitCount, RowAlignment);
    if (FAlpha) FAlpha->ChangeDimension(NewWidth, NewHeight);
    return;
  }
  TVLBitmap temp;
  temp.MemoryThreshold = MemoryThreshold;
  HandOverTo(temp);
  FWidth = NewWidth;
  FHeight = NewHeight;
  FPixelFormat = temp.FPixelFormat;
  try {
    AllocateStorage();
    if (!IsEmpty()) {
      const int32_t rows = std::min(oldHeight, NewHeight);
      const int32_t bytes = std::min(temp.FRowBytes, FRowBytes);
      const uint64_t keptBits = uint64_t(std::min(oldWidth, NewWidth)) * uint64_t(FBitCount);
      TAccessGuard readOnly(temp, raRead);
      TAccessGuard writeOnly(*this, raWrite);
      for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* src = temp.Scanline(r);
        uint8_t* dst = Scanline(r);
        if (!src || !dst) continue;
        std::memcpy(dst, src, size_t(bytes));
        // What lay beyond the old width (row padding) must not show up as pixels.
        if (NewWidth > oldWidth) ClearBitsFrom(dst, keptBits, bytes);
      }
      ReleaseMappedRow();
      for (int32_t i = 0; i < int32_t(temp.FPalette.size()); ++i)
        SetPaletteColor(i, temp.FPalette[size_t(i)]);
    }
    // A failure here leaves the alpha channel unchanged (it restores itself).
    if (temp.FAlpha) temp.FAlpha->ChangeDimension(NewWidth, NewHeight);
  } catch (...) {
    FreeImage();
    FAlpha.reset();
    temp.HandOverTo(*this);
    throw;
  }
  FAlpha = std::move(temp.FAlpha);
  FAllMax = false;
}

// ---- Format changes ----------------------------------------------------------------------------------------

void TVLBitmap::SetPixelFormat(TVLPixelFormat Value) {
  if (Value <= vlNull || Value >= kPixelFormatCount || Value == PixelFormat()) return;
  if (FLocation == vlTBitmap && FToolkit) {
    SetToolkitFormat(Value);
    return;
  }
  if (IsEmpty()) {
    FPixelFormat = Value;
    FBitCount = PixelFormatBits(Value);
    FChannels = PixelFormatChannels(Value);
    FRowBytes = VLRowBytes(FWidth, FBitCount, RowAlignment);
    FPalette.assign(Value == vl8p ? 256 : 0, TRGB{});
    return;
  }
  TVLBitmap temp;
  temp.MemoryThreshold = MemoryThreshold;
  const int32_t w = FWidth, h = FHeight;
  HandOverTo(temp);
  try {
    Allocate(w, h, Value);
    ConvertFormat(*this, temp);
  } catch (...) {
    // Storage refused or a temporary file failing mid-way: the image stays as it was.
    FreeImage();
    temp.HandOverTo(*this);
    throw;
  }
  if (temp.FAlpha) temp.MoveAlphaLayerTo(*this);
}

// The format writer for a bitmap held in a toolkit bitmap.
void TVLBitmap::SetToolkitFormat(TVLPixelFormat Value) {
  if (Value == vl16g) Value = vl8g;
  if (const char* refused = ToolkitRefusal(Value)) throw EVLBitmapError(refused);
  TToolkitBitmap* t = FToolkit;
  try {
    if (t->Empty()) {
      t->SetBitCount(ToolkitBitCount(Value));
      if (Value == vl8g) t->SetColorTable(GrayRamp());
    } else if (t->BitCount() == 1 && Value == vl24RGB) {
      t->SetBitCount(24);  // the toolkit's own copy
    } else {
      // Through memory bitmaps: copy out, convert, copy back at the new depth.
      TVLBitmap source;
      source.MemoryThreshold = MemoryThreshold;
      source.SetLocation(vlMemory);
      source.AssignFrom(*this, true);
      TVLBitmap converted;
      converted.MemoryThreshold = MemoryThreshold;
      converted.MonoMethod = MonoMethod;
      converted.PaletteColorCount = PaletteColorCount;
      converted.SetLocation(vlMemory);
      converted.Allocate(source.Width(), source.Height(), Value);
      ConvertFormat(converted, source);
      t->SetSize(1, 1);
      t->SetBitCount(ToolkitBitCount(Value));
      t->SetSize(converted.Width(), converted.Height());
      if (Value == vl8g) t->SetColorTable(GrayRamp());
      if (Value == vl8p) {
        std::vector<TRGB> table(256);
        for (int32_t i = 0; i < 256; ++i) table[size_t(i)] = converted.GetPaletteColor(i);
        t->SetColorTable(table);
      }
      TAccessGuard readOnly(converted, raRead);
      const int32_t bytes = std::min(converted.RowBytes(), t->RowBytes());
      for (int32_t r = 0; r < converted.Height(); ++r)
        std::memcpy(t->ScanLine(r), converted.Scanline(r), size_t(bytes));
    }
  } catch (const EVLBitmapError&) {
    throw;
  } catch (const std::exception& e) {
    throw EVLBitmapError(e.what());
  }
  FAllMax = false;
  SyncToolkit();
}

// ---- Rectangles --------------------------------------------------------------------------------------------

void TVLBitmap::CopyRectInto(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX,
                             int32_t DstY, int32_t RectWidth, int32_t RectHeight) {
  const TVLPixelFormat sf = PixelFormat(), df = Dest.PixelFormat();
  const bool sameFormat = sf == df && sf != vlNull;
  const bool expand = sf == vl1g && df == vl24RGB;
  if (!sameFormat && !expand) return;
  TClip c;
  if (!ClipRect(Width(), Height(), Dest.Width(), Dest.Height(), SrcX, SrcY, DstX, DstY, RectWidth,
                RectHeight, c))
    return;
  const int32_t bpp = BytesPerPixel(sf);
  // One source row at a time is copied aside, so a file-backed bitmap never has two rows
  // handed out, even when Dest is this bitmap. Downward copies inside one bitmap go bottom-up.
  std::vector<uint8_t> buffer(static_cast<size_t>(RowBytes()));
  const bool bottomUp = &Dest == this && c.DstY > c.SrcY;
  for (int32_t i = 0; i < c.Height; ++i) {
    const int32_t r = bottomUp ? c.Height - 1 - i : i;
    const uint8_t* src = Scanline(c.SrcY + r);
    if (!src) continue;
    std::memcpy(buffer.data(), src, buffer.size());
    uint8_t* dst = Dest.Scanline(c.DstY + r);
    if (!dst) continue;
    if (sf == vl1g && df == vl1g) {
      for (int32_t x = 0; x < c.Width; ++x) PutBit(dst, c.DstX + x, GetBit(buffer.data(), c.SrcX + x));
    } else if (expand) {
      for (int32_t x = 0; x < c.Width; ++x)
        std::memset(dst + size_t(c.DstX + x) * 3, GetBit(buffer.data(), c.SrcX + x) ? 255 : 0, 3);
    } else {
      std::memcpy(dst + size_t(c.DstX) * size_t(bpp), buffer.data() + size_t(c.SrcX) * size_t(bpp),
                  size_t(c.Width) * size_t(bpp));
    }
  }
  Dest.ReleaseMappedRow();
}

void TVLBitmap::MaxAlphaRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX,
                               int32_t DstY, int32_t RectWidth, int32_t RectHeight) {
  TVLBitmap* src = AlphaLayer();
  TVLBitmap* dst = Dest.AlphaLayer();
  if (!src || !dst || src->PixelFormat() != vl8g || dst->PixelFormat() != vl8g) return;
  TClip c;
  if (!ClipRect(src->Width(), src->Height(), dst->Width(), dst->Height(), SrcX, SrcY, DstX, DstY,
                RectWidth, RectHeight, c))
    return;
  std::vector<uint8_t> buffer(size_t(c.Width));
  const bool bottomUp = src == dst && c.DstY > c.SrcY;
  for (int32_t i = 0; i < c.Height; ++i) {
    const int32_t r = bottomUp ? c.Height - 1 - i : i;
    const uint8_t* s = src->Scanline(c.SrcY + r);
    if (!s) continue;
    std::memcpy(buffer.data(), s + c.SrcX, buffer.size());
    uint8_t* d = dst->Scanline(c.DstY + r);
    if (!d) continue;
    for (int32_t x = 0; x < c.Width; ++x) d[c.DstX + x] = std::max(d[c.DstX + x], buffer[size_t(x)]);
  }
  dst->ReleaseMappedRow();
}

// Moves the whole content by (DX, DY) through a temporary bitmap; the vacated area gets
// FillValue.
void TVLBitmap::ShiftContent(int32_t DX, int32_t DY, double FillValue) {
  if ((DX == 0 && DY == 0) || IsEmpty()) return;
  const int32_t w = Width(), h = Height();
  TVLBitmap temp;
  temp.MemoryThreshold = MemoryThreshold;
  temp.Allocate(w, h, PixelFormat());
  CopyRectInto(temp, 0, 0, 0, 0, w, h);
  const bool allMax = FAllMax;
  Fill(FillValue);
  FAllMax = allMax;
  temp.CopyRectInto(*this, 0, 0, DX, DY, w, h);
}

void TVLBitmap::Resize(int32_t NewWidth, int32_t NewHeight, double FillValue,
                       int32_t AlphaFillValue, int32_t HorizAlign, int32_t VertAlign) {
  NewWidth = std::max(NewWidth, 0);
  NewHeight = std::max(NewHeight, 0);
  if (FAlpha)
    FAlpha->Resize(NewWidth, NewHeight, AlphaFillValue, AlphaFillValue, HorizAlign, VertAlign);
  // The steps below run on this bitmap alone; the alpha channel went through them above.
  struct TReattach {
    std::unique_ptr<TVLBitmap>& Slot;
    std::unique_ptr<TVLBitmap> Held;
    ~TReattach() { Slot = std::move(Held); }
  } reattach{FAlpha, std::move(FAlpha)};

  const int32_t w0 = Width(), h0 = Height();
  if (NewWidth < w0 && (HorizAlign == 1 || HorizAlign == 2))
    ShiftContent(-(HorizAlign == 1 ? (w0 - NewWidth) / 2 : w0 - NewWidth), 0, FillValue);
  if (NewHeight < h0 && (VertAlign == 1 || VertAlign == 2))
    ShiftContent(0, -(VertAlign == 1 ? (h0 - NewHeight) / 2 : h0 - NewHeight), FillValue);
  SetWidth(NewWidth);
  SetHeight(NewHeight);
  if (NewWidth > w0) FillRect(w0, 0, NewWidth - 1, NewHeight - 1, FillValue);
  if (NewHeight > h0) FillRect(0, h0, NewWidth - 1, NewHeight - 1, FillValue);
  if (NewWidth > w0 && (HorizAlign == 1 || HorizAlign == 2))
    ShiftContent(HorizAlign == 1 ? (NewWidth - w0) / 2 : NewWidth - w0, 0, FillValue);
  if (NewHeight > h0 && (VertAlign == 1 || VertAlign == 2))
    ShiftContent(0, VertAlign == 1 ? (NewHeight - h0) / 2 : NewHeight - h0, FillValue);
}
