// Decodes arbitrary bytes as a PNG file, with the native-format and background options taken
// from the last byte. Images that decode are written back and read again: the size and every
// alpha value must come back, and for colour output (RGB or RGBA files) every colour too. Claimed
// sizes are looked at first (a parameters-only read) so that the fuzzer stays within small
// images.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/codecs/png_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct TRead {
  bool Aborted = false;
  TVLBitmap Bitmap;
  std::unique_ptr<TVLMask> Mask;
  TIOParamsVals Params;
};

void Read(const uint8_t* data, size_t size, TRead& r, bool paramsOnly, bool keepNative,
          bool background) {
  TMemoryStream s(data, size);
  TVLProgressState p;
  p.AbortFlag = &r.Aborted;
  r.Params.KeepNativeFormat = keepNative;
  DecodePng(s, r.Bitmap, r.Params, background || paramsOnly, r.Mask, paramsOnly, p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TRead info;
  Read(data, size, info, true, false, true);
  if (info.Aborted || int64_t(info.Params.Width) * info.Params.Height > (int64_t(1) << 18)) return 0;
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TRead first;
  Read(data, size, first, false, last & 1, last & 2);
  if (first.Aborted || first.Bitmap.IsEmpty()) return 0;

  TMemoryStream out;
  bool aborted = false;
  TVLProgressState p;
  p.AbortFlag = &aborted;
  EncodePng(out, first.Bitmap, first.Params, first.Mask.get(), p);
  Check(!aborted);
  TRead second;
  Read(out.Memory(), out.Length(), second, false, false, false);
  Check(!second.Aborted);
  Check(second.Bitmap.Width() == first.Bitmap.Width() && second.Bitmap.Height() == first.Bitmap.Height());
  // Palette output may reduce the colours; colour output keeps them.
  const bool colours = first.Params.SamplesPerPixel != 1 && first.Params.BitsPerSample != 1;
  for (int32_t y = 0; y < first.Bitmap.Height(); ++y)
    for (int32_t x = 0; x < first.Bitmap.Width(); ++x) {
      const int32_t alpha = first.Mask ? first.Mask->GetPixel(x, y) : 255;
      Check((second.Mask ? second.Mask->GetPixel(x, y) : 255) == alpha);
      Check(!colours || alpha == 0 || second.Bitmap.PixelAsRGB(x, y) == first.Bitmap.PixelAsRGB(x, y));
    }
  return 0;
}
