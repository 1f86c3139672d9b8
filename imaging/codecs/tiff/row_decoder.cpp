// The TIFF row decoder. Interface only so far: every row is unsupported.

#include "imaging/codecs/tiff/row_decoder.h"

bool TiffRowCompressionSupported(int32_t Compression) {
  return (Compression >= 1 && Compression <= 5) || Compression == 32773;
}

struct TTiffRowDecoder::TState {};

TTiffRowDecoder::TTiffRowDecoder(const TTiffRowFormat&) : FState(std::make_unique<TState>()) {}
TTiffRowDecoder::~TTiffRowDecoder() = default;
bool TTiffRowDecoder::Valid() const { return false; }
size_t TTiffRowDecoder::CodedRowBytes() const { return 0; }
size_t TTiffRowDecoder::DecodedRowBytes() const { return 0; }
void TTiffRowDecoder::StartStrip(const uint8_t*, size_t) {}
TTiffRowStatus TTiffRowDecoder::DecodeRow(const uint8_t*& Row) {
  Row = nullptr;
  return trsUnsupported;
}
void TTiffRowDecoder::EndStrip() {}
