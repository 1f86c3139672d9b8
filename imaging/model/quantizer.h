#pragma once
// The colour quantizer: chooses a palette of at most Count colours for an image and maps
// colours to the index of their nearest palette entry. Used when true colour becomes vl8p and
// by writers of palette files.
//
// Palette choice, in this order:
//   - a vl8p image keeps its own palette (PaletteColorCount entries);
//   - a gray image (a gray format, or colour pixels that all have R = G = B) gets the evenly
//     spaced ramp entry i = trunc(256 / Count x i);
//   - an image with no more than Count distinct colours gets exactly those colours;
//   - otherwise the colours are reduced: below 128 colours by a variance-minimising median cut
//     (boxes split where the squared error drops most), from 128 colours up by an octree,
//     both working on a 5-bit-per-channel histogram that keeps the exact mean colour per cell.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/model/pixel_format.h"

class TVLBitmap;

class TVLColorQuantizer {
 public:
  enum TMethod { qmSourcePalette, qmGrayRamp, qmExactColors, qmMedianCut, qmOctree };

  // Reads Image row by row (any pixel format). Count is clamped to 1..256.
  TVLColorQuantizer(TVLBitmap& Image, int32_t Count);
  // Reads Height rows of Width colours through ReadRow(Y, Out).
  using TRowReader = std::function<void(int32_t Y, TRGB* Out)>;
  TVLColorQuantizer(int32_t Width, int32_t Height, const TRowReader& ReadRow, int32_t Count);
  // Maps onto a given palette (1..256 entries; more are cut, none gives one black entry).
  explicit TVLColorQuantizer(std::vector<TRGB> Palette);
  ~TVLColorQuantizer();
  TVLColorQuantizer(const TVLColorQuantizer&) = delete;
  TVLColorQuantizer& operator=(const TVLColorQuantizer&) = delete;

  TMethod Method() const { return FMethod; }
  const std::vector<TRGB>& Palette() const { return FPalette; }
  int32_t ColorCount() const { return int32_t(FPalette.size()); }

  // Index of the nearest palette entry (squared RGB distance; the lowest index on ties).
  uint8_t IndexOf(TRGB Color);

 private:
  struct THistogram;
  void Build(int32_t Width, int32_t Height, const TRowReader& ReadRow, int32_t Count);
  void GrayRamp(int32_t Count);
  void MedianCut(const THistogram& H, int32_t Count);
  void Octree(const THistogram& H, int32_t Count);
  const std::vector<uint8_t>& Candidates(uint32_t Cell);

  TMethod FMethod = qmExactColors;
  std::vector<TRGB> FPalette;
  // Nearest-colour search: candidate entries per 16 x 16 x 16 cell of the colour cube,
  // built on first use, and a direct-mapped cache of exact colours already answered.
  std::vector<std::unique_ptr<std::vector<uint8_t>>> FCells;
  std::vector<uint32_t> FCacheKey;  // packed colour + 1 (0 = free)
  std::vector<uint8_t> FCacheIndex;
};
