// The TIFF LZW decompressor. Interface only so far: every strip is bad data.

#include "imaging/codecs/tiff/lzw_decoder.h"

struct TTiffLzwDecoder::TState {};

TTiffLzwDecoder::TTiffLzwDecoder() : FState(std::make_unique<TState>()) {}
TTiffLzwDecoder::~TTiffLzwDecoder() = default;
bool TTiffLzwDecoder::Start(const uint8_t*, size_t, size_t) { return false; }
TLzwRowStatus TTiffLzwDecoder::DecodeRow() { return lrsBadData; }
const uint8_t* TTiffLzwDecoder::Row() const { return nullptr; }

const uint8_t* TiffLzwDecompress(const uint8_t*, size_t, int32_t, void*& State) {
  State = nullptr;
  return nullptr;
}
