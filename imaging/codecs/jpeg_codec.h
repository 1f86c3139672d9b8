#pragma once
// The JPEG reader and writer: an adapter over the JPEG library (libjpeg-turbo) that moves
// data through our streams, maps the parameter set to the library's settings, keeps the
// file's markers and reads and writes resolution, ICC, IPTC and EXIF data.

#include <cstdint>
#include <stdexcept>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TIOParamsVals;

// An error of the JPEG library; its text is the library's message with the printf
// conversions replaced by "?" ("Corrupted" for an unknown code).
class EVLJpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one JPEG image from the JPEG data found within the first 100 bytes after the
// stream's position. TablesStream (may be null) holds a tables-only datastream read first;
// InvertCMYK inverts CMYK samples; ReadMetadata decodes IPTC and EXIF data; KeepYCbCr stores
// the components without colour conversion; ParamsOnly reads the header and computes the
// output size without decoding (Bitmap untouched). Bad data is reported only through
// Progress.AbortFlag; the bitmap keeps the rows decoded so far. Exceptions leave only from
// allocating the bitmap and from the streams themselves (TablesStream, or a stream that
// raises while the EXIF thumbnail is looked for). The stream is left just after the data
// that was consumed.
void DecodeJpeg(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                bool ApplyColorManagement, bool InvertCMYK, bool ReadMetadata, bool KeepYCbCr,
                bool ParamsOnly, TVLProgressState& Progress, TIOParamsVals& Params);

// Writes Bitmap (any location and pixel format; formats other than vl24RGB are converted in a
// temporary copy) as one JPEG image with the Jpeg fields, the resolution and the marker list
// of Params. An empty bitmap sets AbortFlag and writes nothing. Library errors leave as
// EVLJpegException, and an exception raised by the stream leaves with its own type.
void EncodeJpeg(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressState& Progress);

// The stream position of the first FF D8 FF among the 100 offsets starting at the stream's
// position, or -1. The position is restored.
int64_t LocateJpegStart(TStream& Stream);

// The number of bytes from the stream's position up to and including the first end-of-image
// marker, following the marker segments by their lengths (or up to the stream's end, or to a
// damaged segment length). The position is restored.
int64_t MeasureJpegData(TStream& Stream);
