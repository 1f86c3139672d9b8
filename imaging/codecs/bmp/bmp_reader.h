#pragma once
// The BMP reader: file and info headers of every size (12-byte OS/2 core header, cut OS/2 2.x
// headers of 16 to 64 bytes, Windows headers of 40, 52, 56, 108 and 124 bytes), palettes,
// 1/2/4/8/16/24/32 bits, bit fields, RLE4/RLE8, top-down rows and the alpha channel.

#include <cstdint>
#include <memory>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;

namespace bmp {

// Reads one bitmap from the stream's position (the arguments of DecodeBmp). The pixel data
// is what the stream holds after the pixel offset, capped by Size when Size >= 1; the file
// size in the header is not used. Bad or unsupported files, and sizes beyond the image
// limit, set AbortFlag before anything is allocated; a file that ends early keeps the rows
// read so far without AbortFlag.
void ReadBmp(TStream& Stream, TVLBitmap& Bitmap, int64_t Size, bool IgnoreAlpha,
             std::unique_ptr<TVLMask>& Mask, bool NoFileHeader, bool ParamsOnly,
             TVLProgressState& Progress, TIOParamsVals& Params);

}  // namespace bmp
