// Orientation transforms of a bitmap.
//
// Everything goes through Scanline, one row at a time, so a file-backed bitmap is transformed
// without ever holding the whole image in memory: mirrors work in place on one or two rows,
// quarter turns build the turned image in a new bitmap band by band (a band of destination
// rows is a band of source columns, gathered in one pass over the source rows).

#include "imaging/model/orientation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/model/bitmap_internal.h"

namespace {

using vlbitmap_detail::TAccessGuard;

// Memory a band of turned rows may take; at least one row is always gathered.
constexpr int64_t kBandBudget = int64_t(16) << 20;

// One pixel of a row: Bytes bytes per pixel, or one bit (most significant first) when Bytes
// is 0.
struct TPixelLayout {
  int32_t Bytes = 0;

  void Copy(const uint8_t* Src, int32_t SrcX, uint8_t* Dst, int32_t DstX) const {
    if (Bytes == 0) {
      const bool bit = (Src[SrcX >> 3] >> (7 - (SrcX & 7))) & 1;
      const uint8_t mask = uint8_t(0x80 >> (DstX & 7));
      if (bit) Dst[DstX >> 3] |= mask;
      else Dst[DstX >> 3] &= uint8_t(~mask);
    } else {
      std::memcpy(Dst + size_t(DstX) * size_t(Bytes), Src + size_t(SrcX) * size_t(Bytes),
                  size_t(Bytes));
    }
  }
};

// Mirrors the first Width pixels of a row left-right (Scratch holds a row).
void MirrorRow(uint8_t* Row, int32_t Width, const TPixelLayout& Layout,
               std::vector<uint8_t>& Scratch) {
  if (Layout.Bytes == 0) {
    std::memcpy(Scratch.data(), Row, Scratch.size());
    for (int32_t x = 0; x < Width; ++x) Layout.Copy(Scratch.data(), Width - 1 - x, Row, x);
    return;
  }
  const size_t bpp = size_t(Layout.Bytes);
  uint8_t tmp[16];
  for (int32_t l = 0, r = Width - 1; l < r; ++l, --r) {
    uint8_t* a = Row + size_t(l) * bpp;
    uint8_t* b = Row + size_t(r) * bpp;
    std::memcpy(tmp, a, bpp);
    std::memcpy(a, b, bpp);
    std::memcpy(b, tmp, bpp);
  }
}

// Orientations 2, 3 and 4: mirror left-right and/or top-bottom, in place.
void Mirror(TVLBitmap& Bitmap, bool LeftRight, bool TopBottom, const TPixelLayout& Layout) {
  const int32_t w = Bitmap.Width(), h = Bitmap.Height();
  const size_t rowBytes = size_t(Bitmap.RowBytes());
  std::vector<uint8_t> top(rowBytes), bottom(rowBytes), scratch(rowBytes);
  TAccessGuard access(Bitmap, raRead | raWrite);
  if (!TopBottom) {
    for (int32_t y = 0; y < h; ++y)
      if (uint8_t* row = Bitmap.Scanline(y)) MirrorRow(row, w, Layout, scratch);
    return;
  }
  // Row pairs are swapped through copies: with a file-backed bitmap a row pointer is valid
  // only until the next Scanline call.
  for (int32_t y = 0, z = h - 1; y <= z; ++y, --z) {
    const uint8_t* a = Bitmap.Scanline(y);
    if (!a) continue;
    std::memcpy(top.data(), a, rowBytes);
    const uint8_t* b = Bitmap.Scanline(z);
    if (!b) continue;
    std::memcpy(bottom.data(), b, rowBytes);
    if (LeftRight) {
      MirrorRow(top.data(), w, Layout, scratch);
      if (y != z) MirrorRow(bottom.data(), w, Layout, scratch);
    }
    if (uint8_t* row = Bitmap.Scanline(z)) std::memcpy(row, top.data(), rowBytes);
    if (y != z)
      if (uint8_t* row = Bitmap.Scanline(y)) std::memcpy(row, bottom.data(), rowBytes);
  }
}

// Orientations 5 to 8 into Dest (allocated H x W). Destination row r is source column
// SourceColumn(r); source row y lands in destination column y (5, 8) or H - 1 - y (6, 7).
void Turn(TVLBitmap& Source, TVLBitmap& Dest, int32_t Orientation, const TPixelLayout& Layout) {
  const int32_t w = Source.Width(), h = Source.Height();
  const bool columnFromLeft = Orientation == 5 || Orientation == 6;
  const bool rowToLeft = Orientation == 5 || Orientation == 8;
  const size_t srcRowBytes = size_t(Source.RowBytes());
  const size_t dstRowBytes = size_t(Dest.RowBytes());
  const int64_t bandRows =
      std::clamp<int64_t>(kBandBudget / int64_t(std::max<size_t>(dstRowBytes, 1)), 1, w);
  std::vector<uint8_t> band(size_t(bandRows) * dstRowBytes);
  std::vector<uint8_t> srcRow(srcRowBytes);
  TAccessGuard readOnly(Source, raRead);
  TAccessGuard writeOnly(Dest, raWrite);
  for (int32_t r0 = 0; r0 < w; r0 += int32_t(bandRows)) {
    const int32_t r1 = int32_t(std::min<int64_t>(w, r0 + bandRows));
    std::fill(band.begin(), band.end(), uint8_t(0));
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* s = Source.Scanline(y);
      if (!s) continue;
      std::memcpy(srcRow.data(), s, srcRowBytes);
      const int32_t dx = rowToLeft ? y : h - 1 - y;
      for (int32_t r = r0; r < r1; ++r) {
        const int32_t column = columnFromLeft ? r : w - 1 - r;
        Layout.Copy(srcRow.data(), column, band.data() + size_t(r - r0) * dstRowBytes, dx);
      }
    }
    for (int32_t r = r0; r < r1; ++r)
      if (uint8_t* d = Dest.Scanline(r))
        std::memcpy(d, band.data() + size_t(r - r0) * dstRowBytes, dstRowBytes);
  }
}

// A quarter turn: the turned image replaces the bitmap's pixels; the bitmap keeps its
// storage location, palette, settings and (separately turned) alpha channel.
void TurnBitmap(TVLBitmap& Bitmap, int32_t Orientation, const TPixelLayout& Layout) {
  const int32_t w = Bitmap.Width(), h = Bitmap.Height();
  const TVLPixelFormat format = Bitmap.PixelFormat();
  std::vector<TRGB> palette;
  for (int32_t i = 0; i < Bitmap.PaletteSize(); ++i) palette.push_back(Bitmap.Palette(i));

  TVLBitmap turned;
  turned.MemoryThreshold = Bitmap.MemoryThreshold;
  turned.RowAlignment = Bitmap.RowAlignment;
  turned.MonoMethod = Bitmap.MonoMethod;
  // A toolkit bitmap is filled again below, so the turned copy is built in memory or a file.
  turned.SetLocation(Bitmap.Location() == vlFile ? vlFile : vlMemory);
  turned.Allocate(h, w, format);
  for (size_t i = 0; i < palette.size(); ++i) turned.SetPalette(int32_t(i), palette[i]);
  Turn(Bitmap, turned, Orientation, Layout);
  turned.SetAllMax(Bitmap.AllMax());

  // The alpha channel is turned on its own and must survive the storage exchange.
  TVLBitmap alphaHolder;
  Bitmap.MoveAlphaLayerTo(alphaHolder);
  if (Bitmap.Location() != vlTBitmap) {
    turned.HandOverTo(Bitmap);
  } else {
    // The toolkit bitmap may belong to the caller: keep it and copy the rows back into it.
    const bool allMax = turned.AllMax();
    Bitmap.Allocate(h, w, format);
    for (size_t i = 0; i < palette.size(); ++i) Bitmap.SetPalette(int32_t(i), palette[i]);
    const size_t bytes = size_t(std::min(Bitmap.RowBytes(), turned.RowBytes()));
    TAccessGuard readOnly(turned, raRead);
    for (int32_t r = 0; r < Bitmap.Height(); ++r) {
      const uint8_t* s = turned.Scanline(r);
      uint8_t* d = Bitmap.Scanline(r);
      if (s && d) std::memcpy(d, s, bytes);
    }
    Bitmap.SetAllMax(allMax);
  }
  alphaHolder.MoveAlphaLayerTo(Bitmap);
}

}  // namespace

void ApplyOrientation(TVLBitmap& Bitmap, int32_t Orientation) {
  if (Orientation < 2 || Orientation > 8) return;
  const TVLPixelFormat format = Bitmap.PixelFormat();
  if (format == vlNull || Bitmap.Width() <= 0 || Bitmap.Height() <= 0) return;
  const TPixelLayout layout{format == vl1g ? 0 : vlbitmap_detail::BytesPerPixel(format)};
  if (format != vl1g && layout.Bytes == 0) return;

  // The alpha channel first: a quarter turn moves it aside and back unchanged.
  if (Bitmap.HasAlphaLayer() && !Bitmap.IsAlphaLayer())
    ApplyOrientation(*Bitmap.AlphaLayer(), Orientation);

  switch (Orientation) {
    case 2: Mirror(Bitmap, true, false, layout); break;
    case 3: Mirror(Bitmap, true, true, layout); break;
    case 4: Mirror(Bitmap, false, true, layout); break;
    default: TurnBitmap(Bitmap, Orientation, layout); break;
  }
}
