// Reads arbitrary bytes as JPEG data: the reader (with options taken from the first byte,
// which the start search passes over), the ICC profile walk and the length measure. Checks
// that the reader keeps its promises: the image has the size it reports, the stream is left
// inside the data, and the measure stays within the data.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/codecs/jpeg/jpeg_scan.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Images larger than this are read for their parameters only, to keep runs fast.
constexpr int64_t kMaxFuzzPixels = int64_t(1) << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  {
    TMemoryStream stream(Data, Size);
    const int64_t length = MeasureJpegData(stream);
    Check(length >= 0 && length <= int64_t(Size) && stream.Position() == 0);
    std::vector<uint8_t> profile;
    ReadJpegIccProfile(stream, profile);
    Check(profile.size() <= Size);
  }
  const uint8_t options = Size > 0 ? Data[0] : 0;
  TIOParamsVals params;
  params.KeepNativeFormat = options & 1;
  params.JpegAutoOrient = options & 2;
  params.JpegScale = TVLJPEGScale((options >> 2) & 7);
  params.JpegDCTMethod = TVLJPEGDCTMethod((options >> 5) & 3);
  params.Width = 40;
  params.Height = 30;
  TMemoryStream stream(Data, Size);
  TVLBitmap bitmap;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  DecodeJpeg(stream, nullptr, bitmap, true, options & 0x80, true, false, true, progress, params);
  Check(stream.Position() <= int64_t(Size));
  if (abort || int64_t(params.Width) * params.Height > kMaxFuzzPixels) return 0;
  stream.SetPosition(0);
  DecodeJpeg(stream, nullptr, bitmap, true, options & 0x80, true, options & 0x40, false, progress,
             params);
  Check(stream.Position() <= int64_t(Size));
  if (!bitmap.IsEmpty() && !params.JpegAutoOrient) {
    Check(bitmap.Width() == params.Width && bitmap.Height() == params.Height);
  }
  return 0;
}
