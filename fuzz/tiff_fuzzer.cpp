// Reads arbitrary bytes as a TIFF file: first for its parameters, then (when the image is
// small enough to keep runs fast) for its pixels, with options from the byte after the header
// that most files leave alone. Checks the reader's promises: the bitmap has the size the
// parameters give (or stays empty), an alpha mask matches it, and the EXIF path survives the
// same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/codecs/exif_decode.h"
#include "imaging/codecs/tiff_reader.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr int64_t kMaxFuzzPixels = int64_t(1) << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const uint8_t options = Size > 3 ? Data[3] : 0;
  TIOParamsVals params;
  params.KeepNativeFormat = options & 1;
  params.TiffAutoOrient = options & 2;
  params.TiffDirectoryIndex = (options >> 2) & 3;
  TMemoryStream stream(Data, Size);
  TVLBitmap bitmap;
  bitmap.SetLocation(vlMemory);
  std::unique_ptr<TVLMask> mask;
  int32_t pages = 0;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  DecodeTiff(bitmap, stream, pages, false, false, true, mask, true, progress, params);
  Check(bitmap.IsEmpty() && pages >= 0);
  if (!abort && int64_t(params.Width) * params.Height <= kMaxFuzzPixels) {
    stream.SetPosition(0);
    DecodeTiff(bitmap, stream, pages, false, options & 0x10, true, mask, false, progress, params);
    if (!abort && !bitmap.IsEmpty() && !params.TiffAutoOrient && params.TiffCompression != tcOLDJPEG)
      Check(bitmap.Width() == params.Width && bitmap.Height() == params.Height);
    if (mask && !abort && !bitmap.IsEmpty() && mask->Width() > 0)
      Check(mask->Width() == bitmap.Width() && mask->Height() == bitmap.Height());
  }
  TIOParamsVals exif;
  std::unique_ptr<uint8_t[]> block(new uint8_t[Size + 6]);
  const uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
  for (int i = 0; i < 6; ++i) block[size_t(i)] = header[i];
  for (size_t i = 0; i < Size; ++i) block[i + 6] = Data[i];
  Check(DecodeExifBlock(block.get(), Size + 6, exif));
  return 0;
}
