// The TIFF LZW decompressor.
//
// The table holds each string as its prefix code and last byte, so a string is written
// backwards from its end without any allocation. The output buffer holds one row plus the
// longest string the table can make: a row stops as soon as it is full, and the bytes of the
// last string that spill over it are kept for the next row.

#include "imaging/codecs/tiff/lzw_decoder.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kClear = 256;
constexpr int kEndOfInformation = 257;
constexpr int kFirstFree = 258;
constexpr int kTableSize = 4096;
// The longest string: one byte for a root, one more for each entry after it.
constexpr size_t kLongestString = kTableSize - kFirstFree + 1;
constexpr size_t kMaxRowLength = size_t(1) << 30;

}  // namespace

struct TTiffLzwDecoder::TState {
  const uint8_t* Data = nullptr;
  size_t Length = 0;
  size_t Next = 0;        // next byte to take
  uint32_t Buffer = 0;    // bits taken but not yet used, in the low BufferBits bits
  int BufferBits = 0;
  int CodeWidth = 9;
  int CodeCount = kFirstFree;
  int Previous = -1;      // -1 at the start and after a Clear
  bool Ended = false;     // End of Information seen, or the data used up
  bool Failed = false;
  bool HandedOut = false; // a row has been returned from Out
  size_t RowLength = 0;
  std::vector<uint8_t> Out;
  size_t Filled = 0;

  uint16_t Prefix[kTableSize];
  uint16_t StringLength[kTableSize];
  uint8_t Last[kTableSize];
  uint8_t First[kTableSize];

  TState() {
    for (int i = 0; i < 256; ++i) {
      Prefix[i] = 0;
      StringLength[i] = 1;
      Last[i] = First[i] = uint8_t(i);
    }
  }

  // The next code, or -1 when the data holds no whole code more.
  int ReadCode() {
    while (BufferBits < CodeWidth) {
      if (Next >= Length) return -1;
      Buffer = (Buffer << 8) | Data[Next++];
      BufferBits += 8;
    }
    BufferBits -= CodeWidth;
    return int((Buffer >> BufferBits) & ((1u << CodeWidth) - 1));
  }

  // Writes the string of Code at the fill position.
  void Emit(int Code) {
    const size_t length = StringLength[Code];
    uint8_t* p = Out.data() + Filled + length - 1;
    while (Code >= kFirstFree) {
      *p-- = Last[Code];
      Code = Prefix[Code];
    }
    *p = uint8_t(Code);
    Filled += length;
  }

  // Adds the entry Previous + Byte; false when the table is full.
  bool Add(uint8_t Byte) {
    if (CodeCount >= kTableSize) return false;
    Prefix[CodeCount] = uint16_t(Previous);
    Last[CodeCount] = Byte;
    First[CodeCount] = First[Previous];
    StringLength[CodeCount] = uint16_t(StringLength[Previous] + 1);
    ++CodeCount;
    // One code early: the width grows when the count reaches 511, 1023 and 2047.
    if (CodeCount == 511 || CodeCount == 1023 || CodeCount == 2047) ++CodeWidth;
    return true;
  }

  // Decodes codes until the buffer holds a row; false on bad data.
  bool Fill() {
    while (Filled < RowLength && !Ended) {
      const int code = ReadCode();
      if (code < 0 || code == kEndOfInformation) {
        Ended = true;
      } else if (code == kClear) {
        CodeCount = kFirstFree;
        CodeWidth = 9;
        Previous = -1;
      } else if (Previous < 0) {
        // The first code of the strip or after a Clear must be a single byte; it adds no
        // entry.
        if (code > 255) return false;
        Emit(code);
        Previous = code;
      } else if (code < CodeCount) {
        if (!Add(First[code])) return false;
        Emit(code);
        Previous = code;
      } else if (code == CodeCount) {
        // The string just being defined: the previous string and its own first byte.
        if (!Add(First[Previous])) return false;
        Emit(code);
        Previous = code;
      } else {
        return false;
      }
    }
    return true;
  }
};

TTiffLzwDecoder::TTiffLzwDecoder() : FState(std::make_unique<TState>()) {}
TTiffLzwDecoder::~TTiffLzwDecoder() = default;

bool TTiffLzwDecoder::Start(const uint8_t* Data, size_t Length, size_t RowLength) {
  TState& s = *FState;
  s.Data = Length ? Data : nullptr;
  s.Length = s.Data ? Length : 0;
  s.Next = 0;
  s.Buffer = 0;
  s.BufferBits = 0;
  s.CodeWidth = 9;
  s.CodeCount = kFirstFree;
  s.Previous = -1;
  s.Ended = false;
  s.HandedOut = false;
  s.Filled = 0;
  s.Failed = RowLength == 0 || RowLength > kMaxRowLength;
  if (s.Failed) return false;
  s.RowLength = RowLength;
  s.Out.assign(RowLength + kLongestString, 0);
  return true;
}

TLzwRowStatus TTiffLzwDecoder::DecodeRow() {
  TState& s = *FState;
  if (s.Failed) return lrsBadData;
  // Drop the row handed out last time, keeping what was decoded beyond it.
  if (s.HandedOut) {
    if (s.Filled > s.RowLength) {
      std::memmove(s.Out.data(), s.Out.data() + s.RowLength, s.Filled - s.RowLength);
      s.Filled -= s.RowLength;
    } else {
      s.Filled = 0;
    }
  }
  s.HandedOut = true;
  if (!s.Fill()) {
    s.Failed = true;
    return lrsBadData;
  }
  if (s.Filled >= s.RowLength) return lrsOk;
  const bool any = s.Filled > 0;
  std::memset(s.Out.data() + s.Filled, 0, s.RowLength - s.Filled);
  s.Filled = s.RowLength;
  return any ? lrsEnded : lrsNoData;
}

const uint8_t* TTiffLzwDecoder::Row() const { return FState->Out.data(); }

const uint8_t* TiffLzwDecompress(const uint8_t* Data, size_t DataLength, int32_t RowLength,
                                 void*& State) {
  auto* decoder = static_cast<TTiffLzwDecoder*>(State);
  if (Data == nullptr) {
    delete decoder;
    State = nullptr;
    return nullptr;
  }
  if (decoder == nullptr) {
    if (RowLength <= 0) return nullptr;
    decoder = new TTiffLzwDecoder;
    if (!decoder->Start(Data, DataLength, size_t(RowLength))) {
      delete decoder;
      return nullptr;
    }
    State = decoder;
  }
  return decoder->DecodeRow() == lrsBadData ? nullptr : decoder->Row();
}

namespace {
// The built-in decoder is the process-wide default entry point.
const bool kInstalled = [] {
  if (StandardLzwDecoder == nullptr) StandardLzwDecoder = &TiffLzwDecompress;
  return true;
}();
}  // namespace
