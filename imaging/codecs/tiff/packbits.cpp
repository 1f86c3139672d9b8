// The PackBits run-length decompressor.

#include "imaging/codecs/tiff/packbits.h"

#include <algorithm>
#include <cstring>

size_t UnpackBitsRow(uint8_t* Row, size_t RowLength, const uint8_t* Data, size_t Length,
                     size_t& Pos) {
  size_t out = 0;
  while (out < RowLength && Pos < Length) {
    const int c = int8_t(Data[Pos++]);
    if (c >= 0) {
      // c + 1 literal bytes; those past the row are consumed and dropped.
      const size_t count = std::min<size_t>(size_t(c) + 1, Length - Pos);
      const size_t kept = std::min(count, RowLength - out);
      std::memcpy(Row + out, Data + Pos, kept);
      out += kept;
      Pos += count;
    } else if (c != -128) {
      // The next byte 1 - c times.
      if (Pos >= Length) break;
      const uint8_t value = Data[Pos++];
      const size_t kept = std::min(size_t(1 - c), RowLength - out);
      std::memset(Row + out, value, kept);
      out += kept;
    }
  }
  if (out < RowLength) std::memset(Row + out, 0, RowLength - out);
  return out;
}
