#include "platform/toolkit_bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>

namespace {

bool ValidDepth(int32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 ||
         bits == 32;
}

// Bytes per 4-byte padded row; throws when it does not fit 32 bits.
int32_t PaddedRowBytes(int32_t width, int32_t bits) {
  const uint64_t storedBits = bits == 15 ? 16 : uint64_t(bits);
  const uint64_t rowBytes = ((uint64_t(width) * storedBits + 31) / 32) * 4;
  if (rowBytes > uint64_t(std::numeric_limits<int32_t>::max()))
    throw EToolkitBitmapError("Toolkit bitmap row too large");
  return int32_t(rowBytes);
}

std::atomic<uint64_t> gNextStamp{1};

}  // namespace

void TToolkitBitmap::Touch() {
  FStamp = gNextStamp.fetch_add(1);
  FModified = true;
}

TToolkitBitmap::TToolkitBitmap(int32_t Width, int32_t Height, int32_t BitCount) {
  if (!ValidDepth(BitCount)) throw EToolkitBitmapError("Invalid toolkit bitmap depth");
  FBitCount = BitCount;
  FColors = DefaultTable(BitCount);
  Reallocate(Width, Height, BitCount, false);
}

// New 4- and 8-bit bitmaps get a colour palette (the 16 standard colours, or a 6 x 6 x 6
// colour cube followed by 40 grays), like a fresh device-independent bitmap of the
// original platform; a 1-bit one is monochrome.
std::vector<TRGB> TToolkitBitmap::DefaultTable(int32_t BitCount) {
  std::vector<TRGB> table;
  if (BitCount == 4) {
    static const uint8_t vga[16][3] = {
        {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (const auto& c : vga) table.push_back(MakeRGB(c[0], c[1], c[2]));
  } else if (BitCount == 8) {
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          table.push_back(MakeRGB(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)));
    for (int i = 0; i < 40; ++i) {
      const uint8_t v = uint8_t(i * 255 / 39);
      table.push_back(TRGB{v, v, v});
    }
  }
  return table;
}

void TToolkitBitmap::Reallocate(int32_t Width, int32_t Height, int32_t BitCount,
                                bool KeepContent) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  const int32_t rowBytes = PaddedRowBytes(Width, BitCount);
  const uint64_t total = uint64_t(rowBytes) * uint64_t(Height);
  if (total > uint64_t(std::numeric_limits<ptrdiff_t>::max()))
    throw EToolkitBitmapError("Toolkit bitmap too large");
  std::vector<uint8_t> bits;
  try {
    bits.assign(size_t(total), 0);
  } catch (const std::bad_alloc&) {
    throw EToolkitBitmapError("Out of memory for a toolkit bitmap");
  }
  if (KeepContent && BitCount == FBitCount) {
    // Only the bits of the kept columns are copied: what the old row padding held must not
    // turn into pixels when the bitmap grows.
    const int32_t rows = std::min(Height, FHeight);
    const uint64_t keptBits =
        uint64_t(std::min(Width, FWidth)) * uint64_t(BitCount == 15 ? 16 : BitCount);
    const size_t whole = size_t(keptBits / 8);
    const uint8_t tailMask = uint8_t(0xFF00 >> (keptBits % 8));
    for (int32_t r = 0; r < rows && keptBits > 0; ++r) {
      uint8_t* dst = bits.data() + size_t(rowBytes) * size_t(Height - 1 - r);
      const uint8_t* src = FBits.data() + size_t(FRowBytes) * size_t(FHeight - 1 - r);
      std::memcpy(dst, src, whole);
      if (keptBits % 8) dst[whole] = src[whole] & tailMask;
    }
  }
  FBits = std::move(bits);
  FWidth = Width;
  FHeight = Height;
  FBitCount = BitCount;
  FRowBytes = rowBytes;
  Touch();
}

uint8_t* TToolkitBitmap::ScanLine(int32_t Row) {
  if (Row < 0 || Row >= FHeight || FBits.empty()) return nullptr;
  return FBits.data() + size_t(FRowBytes) * size_t(FHeight - 1 - Row);
}

const uint8_t* TToolkitBitmap::ScanLine(int32_t Row) const {
  return const_cast<TToolkitBitmap*>(this)->ScanLine(Row);
}

void TToolkitBitmap::SetSize(int32_t Width, int32_t Height) {
  if (Width == FWidth && Height == FHeight) return;
  Reallocate(Width, Height, FBitCount, true);
}

void TToolkitBitmap::SetBitCount(int32_t BitCount) {
  if (!ValidDepth(BitCount)) throw EToolkitBitmapError("Invalid toolkit bitmap depth");
  if (BitCount == FBitCount) return;
  TToolkitBitmap old;
  old.FWidth = FWidth;
  old.FHeight = FHeight;
  old.FBitCount = FBitCount;
  old.FRowBytes = FRowBytes;
  old.FColors = FColors;
  old.FBits = std::move(FBits);
  FBits.clear();
  try {
    Reallocate(old.FWidth, old.FHeight, BitCount, false);
  } catch (...) {
    FBits = std::move(old.FBits);
    throw;
  }
  FColors = DefaultTable(BitCount);
  Touch();
  Draw(old);
}

TRGB TToolkitBitmap::ColorTableEntry(int32_t Index) const {
  if (Index < 0 || Index >= int32_t(FColors.size())) return TRGB{};
  return FColors[size_t(Index)];
}

void TToolkitBitmap::SetColorTableEntry(int32_t Index, TRGB Color) {
  if (Index < 0 || Index >= int32_t(FColors.size())) return;
  FColors[size_t(Index)] = Color;
  Touch();
}

void TToolkitBitmap::SetColorTable(const std::vector<TRGB>& Colors) {
  if (FBitCount > 8) return;
  FColors = Colors;
  if (FColors.size() > (size_t(1) << FBitCount)) FColors.resize(size_t(1) << FBitCount);
  Touch();
}

bool TToolkitBitmap::HasGrayRampTable() const {
  if (FColors.size() != 256) return false;
  if (FGrayStamp != FStamp || FStamp == 0) {
    FGrayRamp = true;
    for (size_t i = 0; i < 256 && FGrayRamp; ++i)
      FGrayRamp = FColors[i] == TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    FGrayStamp = FStamp;
  }
  return FGrayRamp;
}

uint8_t TToolkitBitmap::NearestIndex(TRGB c) const {
  if (FBitCount == 1 && FColors.empty())
    return (int32_t(c.r) + c.g + c.b) >= 3 * 128 ? 1 : 0;
  if (FColors.size() == 256 && HasGrayRampTable() && c.r == c.g && c.g == c.b) return c.r;
  int32_t best = 0;
  int32_t bestDist = std::numeric_limits<int32_t>::max();
  for (size_t i = 0; i < FColors.size(); ++i) {
    const TRGB& e = FColors[i];
    const int32_t dr = int32_t(e.r) - c.r, dg = int32_t(e.g) - c.g, db = int32_t(e.b) - c.b;
    const int32_t d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = int32_t(i);
      if (d == 0) break;
    }
  }
  return uint8_t(best);
}

TRGB TToolkitBitmap::PixelColor(int32_t X, int32_t Y) const {
  const uint8_t* row = ScanLine(Y);
  if (!row || X < 0 || X >= FWidth) return TRGB{};
  switch (FBitCount) {
    case 1: {
      const int32_t bit = (row[X >> 3] >> (7 - (X & 7))) & 1;
      if (FColors.empty()) return bit ? TRGB{255, 255, 255} : TRGB{};
      return ColorTableEntry(bit);
    }
    case 4:
      return ColorTableEntry((X & 1) ? (row[X >> 1] & 0x0F) : (row[X >> 1] >> 4));
    case 8:
      return ColorTableEntry(row[X]);
    case 15: {
      const uint16_t v = uint16_t(row[2 * X] | (row[2 * X + 1] << 8));
      return MakeRGB(uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3),
                     uint8_t((v & 31) << 3));
    }
    case 16: {
      const uint16_t v = uint16_t(row[2 * X] | (row[2 * X + 1] << 8));
      return MakeRGB(uint8_t(((v >> 11) & 31) << 3), uint8_t(((v >> 5) & 63) << 2),
                     uint8_t((v & 31) << 3));
    }
    case 24:
      return TRGB{row[3 * X], row[3 * X + 1], row[3 * X + 2]};
    default:
      return TRGB{row[4 * X], row[4 * X + 1], row[4 * X + 2]};
  }
}

void TToolkitBitmap::SetPixelColor(int32_t X, int32_t Y, TRGB c) {
  uint8_t* row = ScanLine(Y);
  if (!row || X < 0 || X >= FWidth) return;
  switch (FBitCount) {
    case 1: {
      const uint8_t mask = uint8_t(0x80 >> (X & 7));
      if (NearestIndex(c)) row[X >> 3] |= mask;
      else row[X >> 3] &= uint8_t(~mask);
      break;
    }
    case 4: {
      const uint8_t i = NearestIndex(c) & 0x0F;
      uint8_t& b = row[X >> 1];
      b = (X & 1) ? uint8_t((b & 0xF0) | i) : uint8_t((b & 0x0F) | (i << 4));
      break;
    }
    case 8:
      row[X] = NearestIndex(c);
      break;
    case 15: {
      const uint16_t v = uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
      row[2 * X] = uint8_t(v);
      row[2 * X + 1] = uint8_t(v >> 8);
      break;
    }
    case 16: {
      const uint16_t v = uint16_t(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
      row[2 * X] = uint8_t(v);
      row[2 * X + 1] = uint8_t(v >> 8);
      break;
    }
    case 24:
      row[3 * X] = c.b;
      row[3 * X + 1] = c.g;
      row[3 * X + 2] = c.r;
      break;
    default:
      row[4 * X] = c.b;
      row[4 * X + 1] = c.g;
      row[4 * X + 2] = c.r;
      row[4 * X + 3] = 0;
      break;
  }
}

void TToolkitBitmap::Assign(const TToolkitBitmap& Source) {
  if (&Source == this) return;
  std::vector<uint8_t> bits;
  try {
    bits = Source.FBits;
  } catch (const std::bad_alloc&) {
    throw EToolkitBitmapError("Out of memory for a toolkit bitmap");
  }
  FBits = std::move(bits);
  FWidth = Source.FWidth;
  FHeight = Source.FHeight;
  FBitCount = Source.FBitCount;
  FRowBytes = Source.FRowBytes;
  FColors = Source.FColors;
  Touch();
}

void TToolkitBitmap::Draw(const TToolkitBitmap& Source) {
  const int32_t w = std::min(FWidth, Source.FWidth);
  const int32_t h = std::min(FHeight, Source.FHeight);
  if (w <= 0 || h <= 0) return;
  const bool sameLayout = Source.FBitCount == FBitCount && Source.FColors == FColors;
  for (int32_t y = 0; y < h; ++y) {
    if (sameLayout && (FBitCount >= 8 || w == FWidth)) {
      // Whole bytes of the overlapping part; for packed depths only when the whole row fits.
      const size_t bytes = (size_t(w) * size_t(FBitCount == 15 ? 16 : FBitCount) + 7) / 8;
      std::memcpy(ScanLine(y), Source.ScanLine(y), std::min(bytes, size_t(FRowBytes)));
      continue;
    }
    for (int32_t x = 0; x < w; ++x) SetPixelColor(x, y, Source.PixelColor(x, y));
  }
  FModified = true;
}
