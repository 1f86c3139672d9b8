#pragma once
// The BMP reader and writer.

#include <cstdint>
#include <memory>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;

// Reads one bitmap from the stream's position. Size is the byte count of the BMP data (0:
// the file header's size); IgnoreAlpha suppresses the mask of 32-bit images; Mask receives
// the alpha values (created when needed); NoFileHeader means the data starts with the info
// header; ParamsOnly fills Params without touching Bitmap. Bad data is reported through
// Progress.AbortFlag.
void DecodeBmp(TStream& Stream, TVLBitmap& Bitmap, int64_t Size, bool IgnoreAlpha,
               std::unique_ptr<TVLMask>& Mask, bool NoFileHeader, bool ParamsOnly,
               TVLProgressState& Progress, TIOParamsVals& Params);

// Writes Bitmap as a BMP file at the stream's position.
void EncodeBmp(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressState& Progress);
