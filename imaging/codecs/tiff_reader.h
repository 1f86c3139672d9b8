#pragma once
// The TIFF reader: one directory (page) of a TIFF file into a bitmap and the parameter set.

#include <cstdint>
#include <memory>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;

// Reads the directory Params.TiffDirectoryIndex of the TIFF data at the stream's position.
// PageCount receives the number of directories. IsThumbnail reads the image as an EXIF
// thumbnail, IgnoreAlpha drops extra alpha samples, OffsetsFromCurrent counts the file's
// offsets from the stream's position at the call (always so for files), AlphaMask receives
// the transparency when the image has an alpha sample (created when needed), ParamsOnly
// fills Params without touching Bitmap. Bad data is reported only through
// Progress.AbortFlag.
void DecodeTiff(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount, bool IsThumbnail,
                bool IgnoreAlpha, bool OffsetsFromCurrent, std::unique_ptr<TVLMask>& AlphaMask,
                bool ParamsOnly, TVLProgressState& Progress, TIOParamsVals& Params);
