#pragma once
// The TIFF writer.

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TIOParamsVals;

// Writes Bitmap as a TIFF file at the stream's position with the TIFF fields of Params.
// Failure is reported through Progress.AbortFlag.
void EncodeTiff(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressState& Progress);
