// The JPEG reader and writer. Until the library adapter is built both report failure
// without reading or writing anything.

#include "imaging/codecs/jpeg_codec.h"

void DecodeJpeg(TStream&, TStream*, TVLBitmap&, bool, bool, bool, bool, bool,
                TVLProgressState& Progress, TIOParamsVals&) {
  Progress.Abort();
}

void EncodeJpeg(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressState& Progress) {
  Progress.Abort();
}
