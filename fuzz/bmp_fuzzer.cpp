// Decodes arbitrary bytes as a BMP file. Images that decode are written back and read again,
// which must give the same pixels and alpha whenever the depth chosen for writing holds all
// the colours (a file that ends early may leave black beside its palette colours). Claimed sizes are looked at first (a
// parameters-only read) so that the fuzzer stays within small images.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>

#include "imaging/codecs/bmp_codec.h"
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

void Read(const uint8_t* data, size_t size, TRead& r, bool paramsOnly, bool keepNative) {
  TMemoryStream s(data, size);
  TVLProgressState p;
  p.AbortFlag = &r.Aborted;
  r.Params.KeepNativeFormat = keepNative;
  DecodeBmp(s, r.Bitmap, 0, false, r.Mask, false, paramsOnly, p, r.Params);
}

// The palette depth the writer will choose holds every colour of the image.
bool DepthHoldsColours(TRead& r) {
  const int32_t bits = r.Params.BitsPerSample;
  const size_t limit = bits == 1 ? 2 : bits == 4 ? 16 : r.Params.SamplesPerPixel == 1 ? 256 : 0;
  if (limit == 0 || r.Bitmap.PixelFormat() == vl1g) return true;
  std::set<uint32_t> colours;
  for (int32_t y = 0; y < r.Bitmap.Height(); ++y)
    for (int32_t x = 0; x < r.Bitmap.Width(); ++x) {
      colours.insert(PackRGB(r.Bitmap.PixelAsRGB(x, y)));
      if (colours.size() > limit) return false;
    }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TRead info;
  Read(data, size, info, true, false);
  if (info.Aborted || int64_t(info.Params.Width) * info.Params.Height > (int64_t(1) << 20)) return 0;
  const bool keepNative = size > 0 && (data[size - 1] & 1);
  TRead first;
  Read(data, size, first, false, keepNative);
  if (first.Aborted || int64_t(first.Bitmap.Width()) * first.Bitmap.Height() > (1 << 16)) return 0;
  if (first.Mask) first.Bitmap.AlphaLayer()->LoadFromMask(first.Mask.get());
  const bool exact = DepthHoldsColours(first);

  TMemoryStream out;
  bool aborted = false;
  TVLProgressState p;
  p.AbortFlag = &aborted;
  EncodeBmp(out, first.Bitmap, first.Params, p);
  Check(!aborted);
  TRead second;
  Read(out.Memory(), out.Length(), second, false, false);
  Check(!second.Aborted);
  Check(second.Bitmap.Width() == first.Bitmap.Width() && second.Bitmap.Height() == first.Bitmap.Height());
  if (!exact) return 0;
  for (int32_t y = 0; y < first.Bitmap.Height(); ++y)
    for (int32_t x = 0; x < first.Bitmap.Width(); ++x) {
      Check(second.Bitmap.PixelAsRGB(x, y) == first.Bitmap.PixelAsRGB(x, y));
      const int32_t alpha = first.Mask ? first.Mask->GetPixel(x, y) : 255;
      Check((second.Mask ? second.Mask->GetPixel(x, y) : 255) == alpha);
    }
  return 0;
}
