// Decodes arbitrary bytes as a fax-coded strip: eight header bytes choose the coding
// (compression 2, 3 or 4, T4/T6 options, fill order, photometric value, width, rows), the
// rest is the strip. Every row must end and report a status; the single-row functions run
// over the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/codecs/tiff/fax_decoder.h"
#include "imaging/codecs/tiff/row_decoder.h"

// The row decoder refers to the process-wide LZW entry point; the fuzzer has no parameter set.
TVLLzwDecoder StandardLzwDecoder = nullptr;

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 8) return 0;
  TTiffRowFormat f;
  f.Compression = 2 + Data[0] % 3;
  f.T4Options = Data[1];
  f.FillOrder = 1 + Data[2] % 2;
  f.Photometric = Data[3] % 2;
  f.Width = 1 + (Data[4] | (Data[5] << 8)) % 4096;
  const int rows = 1 + Data[6] % 64;
  const uint8_t* strip = Data + 8;
  const size_t length = Size - 8;

  TTiffRowDecoder decoder(f);
  Check(decoder.Valid() && decoder.DecodedRowBytes() == (size_t(f.Width) + 7) / 8);
  decoder.StartStrip(strip, length);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = nullptr;
    const TTiffRowStatus status = decoder.DecodeRow(row);
    Check(status == trsOk || status == trsTruncated || status == trsNoData);
    volatile uint8_t sink = row[decoder.DecodedRowBytes() - 1];
    (void)sink;
  }

  std::vector<uint8_t> row((size_t(f.Width) + 7) / 8), ref(row.size(), 0xFF);
  int64_t bit = 0;
  for (int r = 0; r < rows; ++r) {
    const int64_t next = (Data[7] & 1)
                             ? Decode2D(row.data(), strip, length, Data[7] & 2, f.FillOrder, bit,
                                        ref.data(), f.Width)
                             : DecodeMH(row.data(), strip, length, f.FillOrder, bit, f.Width);
    Check(next >= bit);
    bit = next;
  }
  const size_t used = DecodeMHRow(row.data(), strip, length, f.FillOrder, f.Width);
  Check(used <= length);
  return 0;
}
