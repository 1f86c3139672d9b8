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
// The longest string: one byte for a root, one more for each entry after it; and room for
// writing eight bytes at once.
constexpr size_t kLongestString = kTableSize - kFirstFree + 1 + 8;
constexpr size_t kMaxRowLength = size_t(1) << 30;

}  // namespace

// One table entry: a string as its prefix code and last byte, with its length, and its
// first eight bytes kept whole so that short strings are written with one copy.
constexpr size_t kHead = 8;
struct TLzwEntry {
  uint8_t Head[kHead];
  uint16_t Prefix;
  uint16_t Length;
  uint8_t Last;
};

struct TTiffLzwDecoder::TState {
  const uint8_t* Data = nullptr;
  size_t Length = 0;
  size_t Next = 0;      // next byte to take
  uint64_t Buffer = 0;  // bits taken but not yet used, in the low BufferBits bits
  int BufferBits = 0;
  int CodeWidth = 9;
  int CodeCount = kFirstFree;
  int Previous = -1;   // -1 at the start and after a Clear
  bool Ended = false;  // End of Information seen, or the data used up
  bool Failed = false;
  bool HandedOut = false;  // a row has been returned from Out
  size_t RowLength = 0;
  std::vector<uint8_t> Out;
  size_t Filled = 0;
  TLzwEntry Table[kTableSize];

  TState() {
    for (int i = 0; i < 256; ++i) Table[i] = {{uint8_t(i)}, 0, 1, uint8_t(i)};
  }

  // Decodes codes until the buffer holds a row; false on bad data. The state is worked on in
  // local variables and stored back at the end.
  bool Fill() {
    if (Ended) return true;
    const uint8_t* const data = Data;
    const size_t length = Length;
    TLzwEntry* const table = Table;
    uint8_t* const out = Out.data();
    size_t next = Next, filled = Filled;
    uint64_t buffer = Buffer;
    int bits = BufferBits, width = CodeWidth, count = CodeCount, previous = Previous;
    // The count at which the code width grows: one code early, at 511, 1023 and 2047.
    int widen = (1 << width) - 1;
    bool ok = true;
    const size_t rowLength = RowLength;
    while (filled < rowLength) {
      if (bits < width) {
        while (bits <= 56 && next < length) {
          buffer = (buffer << 8) | data[next++];
          bits += 8;
        }
        if (bits < width) {  // no whole code left
          Ended = true;
          break;
        }
      }
      bits -= width;
      const int code = int((buffer >> bits) & ((1u << width) - 1));
      if (code == kClear) {
        count = kFirstFree;
        width = 9;
        widen = 511;
        previous = -1;
        continue;
      }
      if (code == kEndOfInformation) {
        Ended = true;
        break;
      }
      if (previous >= 0) {
        // Adds the previous string followed by the first byte of this code's string, which
        // for the code being defined right now is the previous string's own first byte.
        if (code > count || count >= kTableSize) {
          ok = false;
          break;
        }
        const TLzwEntry& p = table[previous];
        TLzwEntry& e = table[count];
        const uint8_t last = code < count ? table[code].Head[0] : p.Head[0];
        std::memcpy(e.Head, p.Head, kHead);
        if (p.Length < kHead) e.Head[p.Length] = last;
        e.Prefix = uint16_t(previous);
        e.Length = uint16_t(p.Length + 1);
        e.Last = last;
        if (++count == widen && width < 12) {
          ++width;
          widen = (1 << width) - 1;
        }
      } else if (code > 255) {
        // The first code of the strip or after a Clear must be a single byte; it adds no
        // entry.
        ok = false;
        break;
      }
      // Writes the code's string: the bytes past its head backwards from its end, then the
      // head (eight bytes at once; the buffer has room for the excess, which later strings
      // overwrite).
      const TLzwEntry* e = &table[code];
      const size_t n = e->Length;
      uint8_t* q = out + filled + n - 1;
      while (e->Length > kHead) {
        *q-- = e->Last;
        e = &table[e->Prefix];
      }
      std::memcpy(out + filled, e->Head, kHead);
      filled += n;
      previous = code;
    }
    Next = next;
    Filled = filled;
    Buffer = buffer;
    BufferBits = bits;
    CodeWidth = width;
    CodeCount = count;
    Previous = previous;
    return ok;
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
