// The BMP reader and writer: entry points of the codec, whose parts live in imaging/codecs/bmp/.

#include "imaging/codecs/bmp_codec.h"

#include "imaging/codecs/bmp/bmp_reader.h"
#include "imaging/codecs/bmp/bmp_writer.h"

void DecodeBmp(TStream& Stream, TVLBitmap& Bitmap, int64_t Size, bool IgnoreAlpha,
               std::unique_ptr<TVLMask>& Mask, bool NoFileHeader, bool ParamsOnly,
               TVLProgressState& Progress, TIOParamsVals& Params) {
  bmp::ReadBmp(Stream, Bitmap, Size, IgnoreAlpha, Mask, NoFileHeader, ParamsOnly, Progress, Params);
}

void EncodeBmp(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressState& Progress) {
  bmp::WriteBmp(Stream, Bitmap, Params, Progress);
}
