#pragma once
// The PNG reader and writer: an adapter over libpng that moves data through our streams, chooses
// the transformations and pixel formats, hands back the alpha channel in a mask and maps the
// text, pHYs, PLTE, tRNS and bKGD chunks to the parameter set.

#include <memory>
#include <stdexcept>

#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;

// The writer could not make the file (a library error): "Error on creating PNG".
class EInvalidGraphic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one PNG image. UseBackground composes transparent pixels onto the file's bKGD colour
// (or Params.PngBackground) instead of producing a mask; Mask receives the alpha values
// (created when needed; all 255 for an opaque image); ParamsOnly fills Params only, leaving
// Bitmap and Mask untouched. Bad data sets Progress.AbortFlag; a stream that ends inside the
// image data keeps the rows read so far without it. An exception raised by the stream leaves
// with its own type, as do allocation failures.
void DecodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
               std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress);

// Writes Bitmap as a PNG file; Mask (may be null) carries the alpha channel to write (as RGBA,
// or as a transparent palette entry for palette output). Library errors raise EInvalidGraphic,
// a stream that takes fewer bytes than offered sets AbortFlag, and an exception raised by the
// stream leaves with its own type. The caller's bitmap is never changed.
void EncodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
               TVLProgressState& Progress);

// Reads up to 8 bytes and answers whether they begin with the PNG signature's first four
// (137 'P' 'N' 'G'); the stream moves back by the bytes read.
bool HasPngSignature(TStream& Stream);
