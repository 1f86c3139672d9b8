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
// Progress.AbortFlag; strips or tiles whose data ends early are not a failure: their missing
// rows are zero and Params.TiffWarningCount counts them.
void DecodeTiff(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount, bool IsThumbnail,
                bool IgnoreAlpha, bool OffsetsFromCurrent, std::unique_ptr<TVLMask>& AlphaMask,
                bool ParamsOnly, TVLProgressState& Progress, TIOParamsVals& Params);

// The camera-raw test of content detection: true when the first directory of the TIFF data at
// the stream's position marks a camera raw file (a DNG version tag of 4 bytes; a single
// photometric value 32803 or 34892; or tags 330 and 37398 together on an image less than 200
// pixels wide and high). Data that is not TIFF, or whose first directory cannot be read, is
// not camera raw. The stream's position is restored.
bool HasCameraRawHeader(TStream& Stream);
