// The BMP reader and writer. Until the codec is built both report failure without reading
// or writing anything.

#include "imaging/codecs/bmp_codec.h"

void DecodeBmp(TStream&, TVLBitmap&, int64_t, bool, std::unique_ptr<TVLMask>&, bool, bool,
               TVLProgressState& Progress, TIOParamsVals&) {
  Progress.Abort();
}

void EncodeBmp(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressState& Progress) {
  Progress.Abort();
}
