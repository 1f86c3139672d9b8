#pragma once
// Reading a TIFF image's pixel data: strips (chunky and separate planes), tiles, and
// JPEG-compressed strips and tiles, into an allocated bitmap.

#include <cstdint>

#include "imaging/io/progress.h"

class TTiffDirectory;
struct TTiffVars;
class TTiffRowConverter;
class TVLBitmap;
class TIOParamsVals;

struct TTiffBlockReader {
  TTiffDirectory& Dir;
  const TTiffVars& Vars;
  TVLBitmap& Bitmap;  // allocated ImageWidth x ImageLength in the target format
  TTiffRowConverter& Converter;
  TVLProgressState& Progress;
  TIOParamsVals& Params;
  int32_t Warnings = 0;  // blocks whose data ended before their last row

  // Chunky strips, or the three planes of an 8-bit RGB image in separate planes.
  void ReadStrips();
  // Tiles (chunky only; separate planes fail). Strip offsets stand in for missing tile
  // offsets.
  void ReadTiles();
};
