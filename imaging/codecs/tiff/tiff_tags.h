#pragma once
// The description of one TIFF image as the reader needs it, taken from its directory with a
// default for every absent tag, and the filling of the parameter set from the directories.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rgb.h"

class TTiffDirectory;
class TIOParamsVals;

struct TTiffVars {
  int64_t ImageWidth = 0;
  int64_t ImageLength = 0;
  int32_t SamplesPerPixel = 1;
  int32_t BitsPerSample = 1;
  int64_t RowsPerStrip = 0;  // ImageLength when absent, 0 or 0xFFFFFFFF
  int64_t TileWidth = -1;    // -1: untiled
  int64_t TileLength = -1;
  int32_t Photometric = 2;
  int32_t PlanarConfiguration = 1;
  int32_t Orientation = 1;
  int32_t Compression = 1;
  std::vector<uint32_t> StripOffsets, StripByteCounts;
  std::vector<uint32_t> TileOffsets, TileByteCounts;
  std::vector<TRGB> ColorMap;  // min(2^BitsPerSample, count / 3) entries
  int32_t ResolutionUnit = 2;
  int32_t Predictor = 1;
  std::vector<uint8_t> JPEGTables;
  double XResolution = 0, YResolution = 0, XPosition = 0, YPosition = 0;
  uint32_t T4Options = 0;
  int32_t FillOrder = 1;
  std::string Software;
  uint32_t JPEGProc = 0;
  uint32_t JPEGInterchangeFormat = 0;
  int32_t ExtraSamples = 0;
  bool LittleEndian = true;
};

// Fills Vars from the directory. False when the BitsPerSample values differ (a failure).
// A bilevel image with a compression from 1 to 4 and Photometric 2 (the default, so also a
// file without the tag) is taken as Photometric 0.
bool ReadTiffVars(const TTiffDirectory& Dir, TTiffVars& Vars);

// Fills Params from the main directory, the EXIF directory (may be null) and Vars, in the
// reader's order: tables and metadata blocks, sizes and page count, coding, texts, the Exif
// fields, the colour map and the resolution.
void FillTiffParams(const TTiffDirectory& Dir, const TTiffDirectory* Exif,
                    const TTiffVars& Vars, int32_t PageCount, TIOParamsVals& Params);
