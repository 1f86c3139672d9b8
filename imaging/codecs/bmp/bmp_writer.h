#pragma once
// The BMP writer: 1, 4, 8, 24 or 32 bits chosen from the parameter set and the image, palettes
// from the colour quantizer, optional RLE4/RLE8, and the headers rewritten with the final
// sizes once the rows are written.

class TStream;
class TVLBitmap;
class TIOParamsVals;
struct TVLProgressState;

namespace bmp {

// Writes Bitmap at the stream's position (the arguments of EncodeBmp). The caller's bitmap is
// only read: images that need converting are converted row by row or in a copy. An empty
// bitmap sets AbortFlag and writes nothing; a set AbortFlag stops writing.
void WriteBmp(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressState& Progress);

}  // namespace bmp
