// The CCITT fax decoders: one-dimensional (modified Huffman) and two-dimensional rows.
//
// A row is built run by run. Black runs are painted into the row (which starts all white);
// at the same time the run boundaries are listed, and that list is the next row's reference
// line, so the two-dimensional decoder finds b1 and b2 by walking a list instead of scanning
// bits.

#include "imaging/codecs/tiff/fax_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/codecs/tiff/fax_tables.h"

namespace {

uint8_t ReverseBits(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// The strip's bits, most significant first whatever the fill order. Bits past the end of
// the data read as zero; the position is 64-bit.
class TBitReader {
 public:
  void Init(const uint8_t* Data, size_t Length, bool LsbFirst) {
    FData = Length ? Data : nullptr;
    FLength = FData ? Length : 0;
    FLsbFirst = LsbFirst;
    FEndBit = uint64_t(FLength) * 8;
    Seek(0);
  }

  uint64_t Position() const { return FPos; }
  bool AtEnd() const { return FPos >= FEndBit; }
  uint64_t EndBit() const { return FEndBit; }

  void Seek(uint64_t Bit) {
    FPos = Bit;
    FNext = Bit / 8;
    FBuffer = 0;
    FCount = 0;
    Refill();
    const unsigned drop = unsigned(Bit % 8);
    FBuffer <<= drop;
    FCount -= drop;
  }

  // The next 32 bits.
  uint32_t Peek() {
    if (FCount < 32) Refill();
    return uint32_t(FBuffer >> 32);
  }

  // Skips Count bits (at most 32).
  void Skip(unsigned Count) {
    if (FCount < Count) Refill();
    FBuffer <<= Count;
    FCount -= Count;
    FPos += Count;
  }

  // Reads one bit.
  bool Bit() {
    const bool bit = (Peek() & 0x80000000u) != 0;
    Skip(1);
    return bit;
  }

 private:
  void Refill() {
    while (FCount <= 56) {
      uint8_t b = 0;
      if (FNext < FLength) {
        b = FData[FNext];
        if (FLsbFirst) b = ReverseBits(b);
      }
      ++FNext;
      FBuffer |= uint64_t(b) << (56 - FCount);
      FCount += 8;
    }
  }

  const uint8_t* FData = nullptr;
  uint64_t FLength = 0;
  uint64_t FEndBit = 0;
  bool FLsbFirst = false;
  uint64_t FPos = 0;     // position of the buffer's first bit
  uint64_t FNext = 0;    // next byte to load
  uint64_t FBuffer = 0;  // upcoming bits from the most significant end
  unsigned FCount = 0;   // bits in the buffer
};

// Clears (paints black) the bits From..To-1 of a packed row.
void PaintBlack(uint8_t* Row, int32_t From, int32_t To) {
  if (From >= To) return;
  const size_t first = size_t(From) >> 3;
  const size_t last = size_t(To - 1) >> 3;
  const uint8_t head = uint8_t(0xFF >> (From & 7));
  const uint8_t tail = uint8_t(0xFF << (7 - ((To - 1) & 7)));
  if (first == last) {
    Row[first] &= uint8_t(~(head & tail));
    return;
  }
  Row[first] &= uint8_t(~head);
  std::memset(Row + first + 1, 0, last - first - 1);
  Row[last] &= uint8_t(~tail);
}

// Lists the colour changes of a packed row (1 = white): each position whose pixel differs
// from the one before, the first pixel compared with white.
void ScanChanges(const uint8_t* Row, int32_t Width, std::vector<int32_t>& Changes) {
  Changes.clear();
  bool black = false;
  int32_t x = 0;
  while (x < Width) {
    const size_t index = size_t(x) >> 3;
    const uint8_t differs = uint8_t((Row[index] ^ (black ? 0x00 : 0xFF)) & (0xFF >> (x & 7)));
    if (differs == 0) {
      x = int32_t(index * 8 + 8);
      continue;
    }
    int bit = 0;
    while (!(differs & (0x80 >> bit))) ++bit;
    x = int32_t(index * 8) + bit;
    if (x >= Width) break;
    Changes.push_back(x);
    black = !black;
  }
}

// The decoding state of one strip: bit input, reference line, and the row being built.
struct TFaxCore {
  TFaxCore(int32_t Width_, int32_t FillOrder)
      : Width(std::max(Width_, 1)), LsbFirst(FillOrder == 2), Tables(FaxTables()) {
    ResetReference();
  }

  const int32_t Width;
  const bool LsbFirst;
  const TFaxTables& Tables;
  TBitReader Bits;
  // Run boundaries of the reference line, followed by three entries equal to Width so that
  // b1 and b2 can always be read. Entry i is where the colour turns black (even i) or white
  // (odd i); a run of length 0 leaves two equal entries, as the encoder counted it.
  std::vector<int32_t> Ref;
  // Run boundaries of the row being built.
  std::vector<int32_t> Cur;

  // The row being built: its end so far, and the colour of the run being extended.
  uint8_t* Row = nullptr;
  int32_t X = 0;
  bool Black = false;
  // Corrupt data moved the position backwards (or made too many runs): the boundaries are
  // then taken from the painted row at the end.
  bool Disordered = false;

  void ResetReference() { Ref.assign(3, Width); }

  // The bit position, not past the end of the data (a last code may reach into the zero
  // bits read beyond it).
  int64_t EndPosition() const { return int64_t(std::min(Bits.Position(), Bits.EndBit())); }

  void Start(const uint8_t* Data, size_t Length) {
    Bits.Init(Data, Length, LsbFirst);
    ResetReference();
  }

  void BeginRow(uint8_t* R) {
    Row = R;
    std::memset(Row, 0xFF, (size_t(Width) + 7) / 8);
    X = 0;
    Black = false;
    Disordered = false;
    Cur.clear();
  }

  // Extends the current run to To (clamped to the row), painting it when it is black.
  void Extend(int64_t To) {
    const int32_t to = int32_t(std::clamp<int64_t>(To, 0, Width));
    if (to < X) Disordered = true;
    if (Black) PaintBlack(Row, X, to);
    X = to;
  }

  // Ends the current run: the colour changes at X.
  void Flip() {
    if (Cur.size() > 2 * size_t(Width) + 8) Disordered = true;
    if (!Disordered) Cur.push_back(X);
    Black = !Black;
  }

  // A run of a given colour from X to To.
  void RunOf(bool B, int64_t To) {
    if (B != Black) Flip();
    Extend(To);
  }

  // Ends the row: the pixels after X stay white. Its boundaries become the reference line.
  void EndRow() {
    if (Disordered) {
      ScanChanges(Row, Width, Cur);
    } else if (Black && X < Width) {
      Cur.push_back(X);
    }
    std::swap(Ref, Cur);
    Ref.insert(Ref.end(), 3, Width);
  }

  // Decodes one run of the given colour: make-up codes summed with the terminating code.
  // Invalid codes are skipped bit by bit and ignored codes skipped. An end of line, or the end
  // of the data, gives -1.
  int64_t ReadRun(bool B) {
    int64_t run = 0;
    for (;;) {
      if (Bits.AtEnd()) return -1;
      const TFaxCode code = FaxRunCode(Tables, B, Bits.Peek());
      if (code.Length == 0) {
        Bits.Skip(1);
        continue;
      }
      Bits.Skip(code.Length);
      if (code.Run == kFaxIgnored) continue;
      if (code.Run == kFaxEndOfLine) return -1;
      run = std::min<int64_t>(run + code.Run, int64_t(Width) + 2560);
      if (code.Run < 64) return run;
    }
  }

  // One row coded one-dimensionally, from the current bit position.
  TFaxRowEnd RowMH(uint8_t* R) {
    BeginRow(R);
    if (Bits.AtEnd()) {
      EndRow();
      return freNoData;
    }
    TFaxRowEnd end = freComplete;
    bool makeUpPending = false;
    bool started = false;  // a run code has been read in this row
    while (X < Width || makeUpPending) {
      if (Bits.AtEnd()) {
        end = freDataEnded;
        break;
      }
      const TFaxCode code = FaxRunCode(Tables, Black, Bits.Peek());
      if (code.Length == 0) {  // garbage: resynchronise bit by bit
        Bits.Skip(1);
        continue;
      }
      Bits.Skip(code.Length);
      if (code.Run == kFaxIgnored) continue;
      if (code.Run == kFaxEndOfLine) {
        if (!started) continue;  // the end of line that leads the row
        Extend(Black ? Width : X);
        end = freEndOfLine;
        break;
      }
      started = true;
      Extend(int64_t(X) + code.Run);
      makeUpPending = code.Run >= 64;
      if (!makeUpPending) Flip();
    }
    EndRow();
    return end;
  }

  // b1 and b2 on the reference line for a0 and the current colour: b1 is the first boundary
  // after a0 that turns to the opposite colour, b2 the one after it. Bi keeps the search's
  // place from one call to the next within a row.
  void FindB(int64_t A0, size_t& Bi, int32_t& B1, int32_t& B2) const {
    const size_t parity = Black ? 1 : 0;  // even entries turn black
    if ((Bi & 1) != parity) Bi = Bi > 0 ? Bi - 1 : Bi + 1;
    while (Bi >= 2 && Ref[Bi - 2] > A0) Bi -= 2;
    while (Ref[Bi] <= A0) Bi += 2;  // stops at the entries equal to Width, as A0 < Width
    B1 = Ref[Bi];
    B2 = Ref[Bi + 1];
  }

  // Uncompressed mode: codes of k-1 zero bits and a 1. Ends at an exit code (whose tag bit
  // gives the colour that follows), at the row's end, at the end of the data, or where no 1
  // follows within 11 bits.
  void Uncompressed() {
    while (X < Width && !Bits.AtEnd()) {
      const uint32_t bits = Bits.Peek();
      if ((bits >> 21) == 0) break;  // left for the mode codes
      int k = 1;
      while (!(bits & (0x80000000u >> (k - 1)))) ++k;
      Bits.Skip(unsigned(k));
      if (k <= 5) {
        if (k > 1) RunOf(false, int64_t(X) + k - 1);
        RunOf(true, int64_t(X) + 1);
      } else if (k == 6) {
        RunOf(false, int64_t(X) + 5);
      } else {
        if (k > 7) RunOf(false, int64_t(X) + k - 7);
        if (Bits.AtEnd()) break;
        const bool next = Bits.Bit();  // 1: black comes next
        if (next != Black) Flip();
        break;
      }
    }
  }

  // One row coded two-dimensionally, from the current bit position.
  TFaxRowEnd Row2D(uint8_t* R, bool EOLFill) {
    BeginRow(R);
    if (Bits.AtEnd()) {
      EndRow();
      return freNoData;
    }
    const uint64_t rowStart = Bits.Position();
    TFaxRowEnd end = freComplete;
    int64_t a0 = -1;  // -1 until the first code: the imaginary white pixel before the row
    size_t bi = 0;
    int32_t b1 = 0, b2 = 0;
    while (a0 < Width) {
      if (Bits.AtEnd()) {
        end = freDataEnded;
        break;
      }
      const uint64_t codeStart = Bits.Position();
      const TFaxModeCode code = FaxModeCode(Bits.Peek());
      Bits.Skip(code.Length);
      TFaxMode mode = code.Mode;
      if (mode == fmFill) {
        if (!EOLFill) continue;  // twelve bits skipped
        // Fill bits: skip zeros up to and including the 1 that ends the end of line.
        while (!Bits.AtEnd() && !Bits.Bit()) {
        }
        mode = fmEndOfLine;
      }
      switch (mode) {
        case fmPass:
          FindB(a0, bi, b1, b2);
          Extend(b2);
          a0 = X;
          break;
        case fmHorizontal: {
          const bool first = Black;
          const int64_t run1 = ReadRun(first);
          const int64_t run2 = ReadRun(!first);
          if (run1 < 0 || run2 < 0) break;  // an end of line inside: the mode is ignored
          Extend(int64_t(X) + run1);
          Flip();
          Extend(int64_t(X) + run2);
          Flip();
          a0 = X;
          break;
        }
        case fmUncompressed:
        case fmUncompressed1D:
          Uncompressed();
          a0 = X;
          break;
        case fmEndOfLine:
          if (codeStart == rowStart) {
            // A leading end of line: a 1 bit says the row is coded one-dimensionally.
            if (Bits.AtEnd()) {
              end = freDataEnded;
              a0 = Width;
            } else if (Bits.Bit()) {
              return RowMH(R);
            }
            break;
          }
          // Inside the row: the row ends here, and the end of line is left for the next one.
          Extend(Black ? Width : X);
          Bits.Seek(codeStart);
          end = freEndOfLine;
          a0 = Width;
          break;
        default: {  // vertical modes: a1 = b1 - 3 .. b1 + 3
          FindB(a0, bi, b1, b2);
          Extend(int64_t(b1) + (int(mode) - int(fmVertical0)));
          Flip();
          a0 = X;
          break;
        }
      }
    }
    EndRow();
    return end;
  }
};

}  // namespace

struct TFaxStripDecoder::TState : TFaxCore {
  using TFaxCore::TFaxCore;
};

TFaxStripDecoder::TFaxStripDecoder(int32_t Width, int32_t FillOrder)
    : FState(std::make_unique<TState>(Width, FillOrder)) {}

TFaxStripDecoder::~TFaxStripDecoder() = default;

void TFaxStripDecoder::Start(const uint8_t* Data, size_t Length) { FState->Start(Data, Length); }

TFaxRowEnd TFaxStripDecoder::DecodeMHRow(uint8_t* Row) {
  const TFaxRowEnd end = FState->RowMH(Row);
  // The next row starts on a byte boundary.
  const uint64_t pos = FState->Bits.Position();
  if (pos % 8 != 0) FState->Bits.Seek(pos + 8 - pos % 8);
  return end;
}

TFaxRowEnd TFaxStripDecoder::DecodeMH(uint8_t* Row) { return FState->RowMH(Row); }

TFaxRowEnd TFaxStripDecoder::Decode2D(uint8_t* Row, bool EOLFill) {
  return FState->Row2D(Row, EOLFill);
}

int64_t TFaxStripDecoder::BitPosition() const { return int64_t(FState->Bits.Position()); }

// The single-row functions: a strip decoder placed at the start bit, with the reference
// line taken from the packed row given.

int64_t DecodeMH(uint8_t* Row, const uint8_t* Data, size_t DataLength, int32_t FillOrder,
                 int64_t StartBit, int32_t Width, TFaxRowEnd* End) {
  if (End) *End = freNoData;
  if (Width <= 0) return StartBit;
  TFaxCore core(Width, FillOrder);
  core.Start(Data, DataLength);
  core.Bits.Seek(uint64_t(std::max<int64_t>(StartBit, 0)));
  const TFaxRowEnd end = core.RowMH(Row);
  if (End) *End = end;
  return std::max(StartBit, core.EndPosition());
}

size_t DecodeMHRow(uint8_t* Row, const uint8_t* Data, size_t DataLength, int32_t FillOrder,
                   int32_t Width, TFaxRowEnd* End) {
  const int64_t end = DecodeMH(Row, Data, DataLength, FillOrder, 0, Width, End);
  return std::min(size_t((end + 7) / 8), DataLength);
}

int64_t Decode2D(uint8_t* Row, const uint8_t* Data, size_t DataLength, bool EOLFill,
                 int32_t FillOrder, int64_t StartBit, uint8_t* RefLine, int32_t Width,
                 TFaxRowEnd* End) {
  if (End) *End = freNoData;
  if (Width <= 0) return StartBit;
  TFaxCore core(Width, FillOrder);
  core.Start(Data, DataLength);
  ScanChanges(RefLine, Width, core.Ref);
  core.Ref.insert(core.Ref.end(), 3, Width);
  core.Bits.Seek(uint64_t(std::max<int64_t>(StartBit, 0)));
  const TFaxRowEnd end = core.Row2D(Row, EOLFill);
  if (End) *End = end;
  std::memcpy(RefLine, Row, (size_t(Width) + 7) / 8);
  return std::max(StartBit, core.EndPosition());
}
