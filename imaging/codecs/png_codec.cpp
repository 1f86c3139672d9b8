// The PNG reader and writer. Until the library adapter is built both report failure
// without reading or writing anything.

#include "imaging/codecs/png_codec.h"

void DecodePng(TStream&, TVLBitmap&, TIOParamsVals&, bool, std::unique_ptr<TVLMask>&, bool,
               TVLProgressState& Progress) {
  Progress.Abort();
}

void EncodePng(TStream&, TVLBitmap&, TIOParamsVals&, const TVLMask*,
               TVLProgressState& Progress) {
  Progress.Abort();
}
