// The T.4 run-length code lists and the lookup tables built from them.

#include "imaging/codecs/tiff/fax_tables.h"

#include <cstring>

namespace {

// Terminating codes for runs 0 to 63.
const char* const kWhiteTerminating[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};

const char* const kBlackTerminating[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};

// Make-up codes for runs 64, 128, ..., 1728.
const char* const kWhiteMakeUp[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};

const char* const kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};

// Extended make-up codes for runs 1792, 1856, ..., 2560, shared by both colours.
const char* const kExtendedMakeUp[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

// Enters one code into a table indexed by Bits leading bits: every index that starts with
// the code gets it.
void Enter(TFaxCode* Table, int Bits, const char* Code, int Run) {
  const int length = int(std::strlen(Code));
  unsigned value = 0;
  for (int i = 0; i < length; ++i) value = (value << 1) | unsigned(Code[i] - '0');
  const unsigned first = value << (Bits - length);
  const unsigned count = 1u << (Bits - length);
  for (unsigned i = 0; i < count; ++i) Table[first + i] = {int16_t(Run), uint8_t(length)};
}

void Fill(TFaxCode* Table, int Bits, const char* const* Terminating, const char* const* MakeUp) {
  for (int i = 0; i < (1 << Bits); ++i) Table[i] = {0, 0};
  for (int run = 0; run < 64; ++run) Enter(Table, Bits, Terminating[run], run);
  for (int i = 0; i < 27; ++i) Enter(Table, Bits, MakeUp[i], 64 * (i + 1));
  for (int i = 0; i < 13; ++i) Enter(Table, Bits, kExtendedMakeUp[i], 1792 + 64 * i);
}

TFaxTables* BuildTables() {
  static TFaxTables tables;
  Fill(tables.White, kFaxWhiteBits, kWhiteTerminating, kWhiteMakeUp);
  Fill(tables.Black, kFaxBlackBits, kBlackTerminating, kBlackMakeUp);
  return &tables;
}

// Modes of codes up to 7 bits long, indexed by the 7 leading bits.
struct TModeTable {
  TFaxModeCode Short[128];
  TModeTable() {
    for (auto& m : Short) m = {fmFill, 12};
    struct {
      const char* Code;
      TFaxMode Mode;
    } const codes[] = {{"0001", fmPass},        {"001", fmHorizontal},   {"0000010", fmVerticalL3},
                       {"000010", TFaxMode(4)}, {"010", TFaxMode(5)},    {"1", fmVertical0},
                       {"011", TFaxMode(7)},    {"000011", TFaxMode(8)}, {"0000011", fmVerticalR3}};
    for (const auto& c : codes) {
      const int length = int(std::strlen(c.Code));
      unsigned value = 0;
      for (int i = 0; i < length; ++i) value = (value << 1) | unsigned(c.Code[i] - '0');
      for (unsigned i = 0; i < (1u << (7 - length)); ++i)
        Short[(value << (7 - length)) + i] = {c.Mode, uint8_t(length)};
    }
  }
};

const TModeTable kModes;

}  // namespace

const TFaxTables& FaxTables() {
  static const TFaxTables* const tables = BuildTables();
  return *tables;
}

TFaxModeCode FaxModeCode(uint32_t Bits) {
  const uint32_t head = Bits >> 25;
  if (head > 1) return kModes.Short[head];
  if (head == 1) {  // 0000001: only 0000001111 (uncompressed mode) continues it
    return (Bits >> 22) == 0xF ? TFaxModeCode{fmUncompressed, 10} : TFaxModeCode{fmFill, 12};
  }
  switch (Bits >> 20) {  // seven zero bits and five more
    case 0xF:
      return {fmUncompressed1D, 12};
    case 0x1:
      return {fmEndOfLine, 12};
    default:
      return {fmFill, 12};  // twelve zero bits, or no match
  }
}
