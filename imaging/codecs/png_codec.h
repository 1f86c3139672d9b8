#pragma once
// The PNG reader and writer.

#include <memory>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;

// Reads one PNG image. UseBackground composes transparent pixels onto Params.PngBackground
// instead of producing a mask; Mask receives the alpha values (created when needed);
// ParamsOnly fills Params only. Bad data is reported through Progress.AbortFlag.
void DecodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
               std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress);

// Writes Bitmap as a PNG file; Mask (may be null) carries the alpha channel to write.
void EncodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
               TVLProgressState& Progress);
