#pragma once
// The PNG writer (the arguments of EncodePng).

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;
struct TVLProgressState;

namespace png {

void WritePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
              TVLProgressState& Progress);

}  // namespace png
