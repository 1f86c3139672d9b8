#pragma once
// The JPEG reader and writer.

#include <stdexcept>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TIOParamsVals;

// An error of the JPEG library that the writer lets through to its caller.
class EVLJpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one JPEG image starting at the stream's position. TablesStream (may be null) holds
// a tables-only datastream read first; InvertCMYK inverts CMYK samples; ReadMetadata
// decodes IPTC and EXIF data; KeepYCbCr stores the components without colour conversion;
// ParamsOnly stops after the header. Bad data is reported through Progress.AbortFlag.
void DecodeJpeg(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                bool ApplyColorManagement, bool InvertCMYK, bool ReadMetadata, bool KeepYCbCr,
                bool ParamsOnly, TVLProgressState& Progress, TIOParamsVals& Params);

// Writes Bitmap (vl24RGB or vl1g) as one JPEG image with the Jpeg fields and the marker list
// of Params. Library errors leave it as EVLJpegException.
void EncodeJpeg(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressState& Progress);
