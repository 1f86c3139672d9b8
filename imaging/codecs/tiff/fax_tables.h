#pragma once
// The run-length codes of the CCITT fax codings (ITU-T T.4) and the decoding tables built
// from them once, on first use.

#include <cstdint>

// A decoded run code: Length bits long, standing for Run pixels (0 to 2560), or for one of
// the special values below. Length 0 means no code matches.
struct TFaxCode {
  int16_t Run;
  uint8_t Length;
};

constexpr int16_t kFaxEndOfLine = -3;  // end of line, with or without fill bits before it
constexpr int16_t kFaxIgnored = -1;    // 8 to 10 zero bits and a 1: skipped

// Lookup tables indexed by the leading bits of the code: 12 bits for white, 13 for black
// (the longest codes). Codes that begin with eight zero bits are the end-of-line family and
// are told apart by FaxZeroPrefixCode instead.
constexpr int kFaxWhiteBits = 12;
constexpr int kFaxBlackBits = 13;

struct TFaxTables {
  TFaxCode White[1 << kFaxWhiteBits];
  TFaxCode Black[1 << kFaxBlackBits];
};

// The tables, built on the first call (thread-safe).
const TFaxTables& FaxTables();

// The code at the head of Bits (the next 32 bits, most significant first) when it begins with
// eight zero bits: 8 to 10 zeros and a 1 are ignored codes, 11 to 31 zeros and a 1 an end of
// line (with up to 20 fill bits); 32 zeros match nothing.
inline TFaxCode FaxZeroPrefixCode(uint32_t Bits) {
  if (Bits == 0) return {0, 0};
  int zeros = 0;
  while (!(Bits & 0x80000000u)) {
    Bits <<= 1;
    ++zeros;
  }
  return {zeros <= 10 ? kFaxIgnored : kFaxEndOfLine, uint8_t(zeros + 1)};
}

// The run of a given colour at the head of Bits.
inline TFaxCode FaxRunCode(const TFaxTables& Tables, bool Black, uint32_t Bits) {
  if ((Bits >> 24) == 0) return FaxZeroPrefixCode(Bits);
  return Black ? Tables.Black[Bits >> (32 - kFaxBlackBits)]
               : Tables.White[Bits >> (32 - kFaxWhiteBits)];
}

// The two-dimensional mode codes.
enum TFaxMode : uint8_t {
  fmFill = 0,  // 12 zero bits (fill before an end of line), or no match
  fmPass = 1,
  fmHorizontal = 2,
  fmVerticalL3 = 3,  // a1 = b1 - 3; modes 3 to 9 are b1 - 3 .. b1 + 3
  fmVertical0 = 6,
  fmVerticalR3 = 9,
  fmUncompressed = 10,    // extension 0000001111
  fmUncompressed1D = 11,  // one-dimensional extension 000000001111
  fmEndOfLine = 12,
};

struct TFaxModeCode {
  TFaxMode Mode;
  uint8_t Length;
};

// The mode code at the head of Bits; no match gives fmFill with the fill code's 12 bits.
TFaxModeCode FaxModeCode(uint32_t Bits);
