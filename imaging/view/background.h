#pragma once
// The background painter of the view: the styles that fill what the image does not cover, and
// the wallpaper drawn over them.

#include <cstdint>

#include "imaging/view/display_render.h"
#include "platform/rgb.h"

class TVLBitmap;

enum TVLBackgroundStyle : int32_t {
  vlbsSolid = 0,
  vlbsHorizontal = 1,
  vlbsVertical = 2,
  vlbsFDiagonal = 3,
  vlbsBDiagonal = 4,
  vlbsCross = 5,
  vlbsDiagCross = 6,
  vlbsChessboard = 7,
  vlbsDiagonals = 8,
  vlbsCropped = 9,
  vlbsCropShadow = 10,
  vlbsGradient = 11,
};

enum TVLWallPaperStyle : int32_t { vlwoNormal = 0, vlwoStretch = 1, vlwoTile = 2 };

// The toolkit's colours the painter needs.
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlack = 0;

struct TVLBackgroundSettings {
  TColor Background = 0xF0F0F0;
  TColor ButtonFace = 0xF0F0F0;  // the window's button-face colour (vlbsCropped)
  TVLBackgroundStyle Style = vlbsSolid;
  int32_t ChessboardSize = 16;
  TColor GradientEnd = clBlue;
  int32_t EdgeX = 2, EdgeY = 2;  // the system edge size
  bool Designing = false;
  // The image rectangle in the target (vlbsCropped, vlbsCropShadow); right and bottom excluded.
  int32_t ImageX = 0, ImageY = 0, ImageWidth = 0, ImageHeight = 0;
  TVLBitmap* WallPaper = nullptr;  // drawn over the style when it holds a picture
  TVLWallPaperStyle WallPaperStyle = vlwoNormal;
};

// Paints the style (and the wallpaper) over the whole of Target (vl24RGB), limited to Clip
// when it is given.
void PaintBackgroundStyle(TVLBitmap& Target, const TVLBackgroundSettings& S,
                          const TVLRect* Clip = nullptr);

// All bits of the colour value flipped.
inline TColor InverseColor(TColor c) { return ~c & 0xFFFFFF; }
