// The TIFF writer. Until its encoder is built it writes nothing and reports failure.

#include "imaging/codecs/tiff_writer.h"

void EncodeTiff(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressState& Progress) {
  Progress.Abort();
}
