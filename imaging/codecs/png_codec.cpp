// The PNG reader and writer entry points.

#include "imaging/codecs/png_codec.h"

#include <cstdint>

#include "imaging/codecs/png/png_reader.h"
#include "imaging/codecs/png/png_writer.h"
#include "imaging/io/stream.h"

void DecodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
               std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress) {
  png::ReadPng(Stream, Bitmap, Params, UseBackground, Mask, ParamsOnly, Progress);
}

void EncodePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
               TVLProgressState& Progress) {
  png::WritePng(Stream, Bitmap, Params, Mask, Progress);
}

bool HasPngSignature(TStream& Stream) {
  uint8_t head[8] = {};
  const size_t got = Stream.Read(head, sizeof head);
  if (got > 0) Stream.Seek(-int64_t(got), soCurrent);
  return got >= 4 && head[0] == 137 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G';
}
