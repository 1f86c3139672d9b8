// Orientation transforms of a bitmap.

#include "imaging/model/orientation.h"

#include "imaging/model/bitmap.h"

void ApplyOrientation(TVLBitmap&, int32_t) {}
