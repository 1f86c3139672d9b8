// The CCITT fax decoders. Interface only so far: rows come out white.

#include "imaging/codecs/tiff/fax_decoder.h"

#include <cstring>

namespace {
size_t RowBytes(int32_t Width) { return Width > 0 ? (size_t(Width) + 7) / 8 : 0; }
}  // namespace

int64_t DecodeMH(uint8_t* Row, const uint8_t*, size_t, int32_t, int64_t StartBit, int32_t Width,
                 TFaxRowEnd* End) {
  std::memset(Row, 0xFF, RowBytes(Width));
  if (End) *End = freNoData;
  return StartBit;
}

size_t DecodeMHRow(uint8_t* Row, const uint8_t*, size_t, int32_t, int32_t Width, TFaxRowEnd* End) {
  std::memset(Row, 0xFF, RowBytes(Width));
  if (End) *End = freNoData;
  return 0;
}

int64_t Decode2D(uint8_t* Row, const uint8_t*, size_t, bool, int32_t, int64_t StartBit,
                 uint8_t* RefLine, int32_t Width, TFaxRowEnd* End) {
  std::memset(Row, 0xFF, RowBytes(Width));
  std::memcpy(RefLine, Row, RowBytes(Width));
  if (End) *End = freNoData;
  return StartBit;
}

struct TFaxStripDecoder::TState {
  int32_t Width = 0;
};

TFaxStripDecoder::TFaxStripDecoder(int32_t Width, int32_t) : FState(std::make_unique<TState>()) {
  FState->Width = Width;
}
TFaxStripDecoder::~TFaxStripDecoder() = default;
void TFaxStripDecoder::Start(const uint8_t*, size_t) {}
TFaxRowEnd TFaxStripDecoder::DecodeMHRow(uint8_t* Row) {
  std::memset(Row, 0xFF, RowBytes(FState->Width));
  return freNoData;
}
TFaxRowEnd TFaxStripDecoder::DecodeMH(uint8_t* Row) { return DecodeMHRow(Row); }
TFaxRowEnd TFaxStripDecoder::Decode2D(uint8_t* Row, bool) { return DecodeMHRow(Row); }
int64_t TFaxStripDecoder::BitPosition() const { return 0; }
