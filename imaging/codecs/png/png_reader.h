#pragma once
// The PNG reader (the arguments of DecodePng).

#include <memory>

class TStream;
class TVLBitmap;
class TVLMask;
class TIOParamsVals;
struct TVLProgressState;

namespace png {

void ReadPng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
             std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress);

}  // namespace png
