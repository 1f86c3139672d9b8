#pragma once
// libtiff as a reference decoder for the row decoder tests: reads every strip or tile of the
// first directory of a TIFF file raw and decoded, with the coding our row decoder needs.
// Only built with libtiff (VANDREL_HAVE_LIBTIFF); tests skip without it.

#ifdef VANDREL_HAVE_LIBTIFF

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/codecs/tiff/row_decoder.h"

struct TLibtiffBlock {
  std::vector<uint8_t> Raw;
  std::vector<uint8_t> Decoded;  // empty when libtiff could not decode the block
  uint32_t Rows = 0;
};

struct TLibtiffImage {
  TTiffRowFormat Format;  // for one block row (one plane for separate planes)
  uint32_t Width = 0, Height = 0;
  size_t DecodedRowBytes = 0;  // libtiff's bytes per decoded block row
  std::vector<TLibtiffBlock> Blocks;
};

// False when libtiff cannot open the file.
inline bool ReadWithLibtiff(const std::string& Path, TLibtiffImage& Image) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(Path.c_str(), "r");
  if (tif == nullptr) return false;
  uint16_t bits = 1, samples = 1, photometric = 0, compression = 1, predictor = 1, fill = 1,
           planar = 1;
  uint32_t width = 0, height = 0, t4 = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fill);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (compression == 5) TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
  if (compression == 3) TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &t4);
  Image.Width = width;
  Image.Height = height;
  TTiffRowFormat& f = Image.Format;
  f.Compression = compression;
  f.Predictor = predictor;
  f.BitsPerSample = bits;
  f.SamplesPerPixel = planar == 2 ? 1 : samples;
  f.Photometric = photometric;
  f.FillOrder = fill;
  f.T4Options = t4;
  f.LittleEndian = !TIFFIsBigEndian(tif);
  const bool tiled = TIFFIsTiled(tif);
  uint32_t blockWidth = width, blockRows = height;
  if (tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockRows);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockRows);
    if (blockRows > height) blockRows = height;
  }
  f.Width = int32_t(blockWidth);
  Image.DecodedRowBytes = size_t((uint64_t(blockWidth) * f.SamplesPerPixel * bits + 7) / 8);
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  const tmsize_t blockSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
  const uint32_t perPlane = planar == 2 ? count / samples : count;
  for (uint32_t i = 0; i < count; ++i) {
    TLibtiffBlock block;
    const uint64_t* sizes = nullptr;
    TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes);
    const uint64_t rawSize = sizes != nullptr ? sizes[i] : 0;
    block.Raw.resize(size_t(rawSize));
    const tmsize_t got = tiled ? TIFFReadRawTile(tif, i, block.Raw.data(), tmsize_t(rawSize))
                               : TIFFReadRawStrip(tif, i, block.Raw.data(), tmsize_t(rawSize));
    block.Raw.resize(got > 0 ? size_t(got) : 0);
    // Rows in this block: strips end at the image's bottom; tiles always hold TileLength rows.
    const uint32_t row = (i % (perPlane ? perPlane : 1)) * blockRows;
    block.Rows = tiled ? blockRows : std::min(blockRows, height > row ? height - row : 0);
    block.Decoded.resize(size_t(blockSize));
    const tmsize_t decoded = tiled ? TIFFReadEncodedTile(tif, i, block.Decoded.data(), blockSize)
                                   : TIFFReadEncodedStrip(tif, i, block.Decoded.data(), blockSize);
    if (decoded < tmsize_t(Image.DecodedRowBytes * block.Rows)) block.Decoded.clear();
    Image.Blocks.push_back(std::move(block));
  }
  TIFFClose(tif);
  return true;
}

#endif  // VANDREL_HAVE_LIBTIFF
