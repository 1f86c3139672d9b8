// Decodes arbitrary bytes as an LZW (or PackBits, or uncompressed) strip through the row
// decoder: eight header bytes choose the compression, bits per sample, samples per pixel,
// predictor, byte order, width and rows; the rest is the strip. Also drives the LZW entry
// point directly. No row may fail except with bad LZW data.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/codecs/tiff/lzw_decoder.h"
#include "imaging/codecs/tiff/row_decoder.h"

// Installed by the LZW decoder when it is first linked; the fuzzer has no parameter set.
TVLLzwDecoder StandardLzwDecoder = nullptr;

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 8) return 0;
  static const int kBits[] = {1, 2, 4, 8, 16, 3, 5, 12};
  TTiffRowFormat f;
  f.Compression = Data[0] % 4 == 0 ? 32773 : Data[0] % 4 == 1 ? 1 : 5;
  f.BitsPerSample = kBits[Data[1] % 8];
  f.SamplesPerPixel = 1 + Data[2] % 5;
  f.Predictor = 1 + (Data[3] & 1);
  f.LittleEndian = Data[3] & 2;
  f.FillOrder = 1 + ((Data[3] >> 2) & 1);
  f.Photometric = (Data[3] >> 3) % 4;
  f.Width = 1 + (Data[4] | (Data[5] << 8)) % 2048;
  const int rows = 1 + Data[6] % 32;
  const uint8_t* strip = Data + 8;
  const size_t length = Size - 8;

  TTiffRowDecoder decoder(f);
  Check(decoder.Valid());
  decoder.StartStrip(strip, length);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = nullptr;
    const TTiffRowStatus status = decoder.DecodeRow(row);
    if (status == trsBadData) {
      Check(f.Compression == 5 && row == nullptr);
      break;
    }
    Check(status != trsUnsupported);
    volatile uint8_t sink = row[decoder.DecodedRowBytes() - 1];
    (void)sink;
  }
  decoder.EndStrip();

  void* state = nullptr;
  const int32_t rowLength = 1 + Data[7];
  for (int r = 0; r < rows; ++r)
    if (TiffLzwDecompress(strip, length, rowLength, state) == nullptr) break;
  TiffLzwDecompress(nullptr, 0, 0, state);
  Check(state == nullptr);
  return 0;
}
