// The TIFF reader. Until its decoder is built it reads nothing and reports failure.

#include "imaging/codecs/tiff_reader.h"

void DecodeTiff(TVLBitmap&, TStream&, int32_t& PageCount, bool, bool, bool,
                std::unique_ptr<TVLMask>&, bool, TVLProgressState& Progress, TIOParamsVals&) {
  PageCount = 0;
  Progress.Abort();
}

bool HasCameraRawHeader(TStream&) { return false; }
