#pragma once
// The CCITT fax decoders for bilevel TIFF strips: modified Huffman rows (TIFF compression 2,
// and compression 3 without the two-dimensional option) and two-dimensional rows
// (compression 3 with it, and compression 4). Rows come out packed, most significant bit
// first, with 1 for the colour the fax codes call white and 0 for black; a row buffer holds
// ceil(Width / 8) bytes.
//
// The decoders never fail: invalid codes are skipped bit by bit, an end of line inside a row
// ends that row, and running out of data ends the row. Every read is bounded by the data's
// length (bits past it read as zero), run positions are clamped to 0..Width, and bit
// positions are 64-bit so a strip of any length can be addressed.

#include <cstddef>
#include <cstdint>
#include <memory>

// How a row ended.
enum TFaxRowEnd {
  freComplete,   // decoded to its full width
  freEndOfLine,  // an end of line ended it early; the rest is white, or black when the
                 // colour due was black
  freDataEnded,  // the data ran out inside it; the rest is white
  freNoData,     // it began at or past the end of the data; it is all white
};

// FillOrder 2 reads each byte least significant bit first; any other value most
// significant bit first.

// Decodes one row one-dimensionally from StartBit and returns the bit position after it.
int64_t DecodeMH(uint8_t* Row, const uint8_t* Data, size_t DataLength, int32_t FillOrder,
                 int64_t StartBit, int32_t Width, TFaxRowEnd* End = nullptr);

// DecodeMH from bit 0 for rows that start on a byte boundary (compression 2), where Data is
// the row's first byte and DataLength the bytes left in the strip from there. Returns the
// bytes the row used.
size_t DecodeMHRow(uint8_t* Row, const uint8_t* Data, size_t DataLength, int32_t FillOrder,
                   int32_t Width, TFaxRowEnd* End = nullptr);

// Decodes one row two-dimensionally from StartBit against RefLine (the previous row, packed
// like Row; all white before a strip's first row), then copies the row into RefLine.
// EOLFill skips fill bits ahead of an end of line. Returns the bit position after the row.
int64_t Decode2D(uint8_t* Row, const uint8_t* Data, size_t DataLength, bool EOLFill,
                 int32_t FillOrder, int64_t StartBit, uint8_t* RefLine, int32_t Width,
                 TFaxRowEnd* End = nullptr);

// The decoder of one strip (or tile): keeps the bit position and the reference line from
// row to row. This is what the row decoder uses; it keeps the reference line as its list
// of colour changes rather than rescanning a packed row for every row.
class TFaxStripDecoder {
 public:
  // Width in pixels (at least 1).
  TFaxStripDecoder(int32_t Width, int32_t FillOrder);
  ~TFaxStripDecoder();
  TFaxStripDecoder(const TFaxStripDecoder&) = delete;
  TFaxStripDecoder& operator=(const TFaxStripDecoder&) = delete;

  // Starts on a strip: bit position 0, reference line all white. The data must stay valid
  // until the next Start.
  void Start(const uint8_t* Data, size_t Length);

  // Each decodes the next row into Row (ceil(Width / 8) bytes).
  // Compression 2: one-dimensional, the row starting on a byte boundary.
  TFaxRowEnd DecodeMHRow(uint8_t* Row);
  // Compression 3 without the two-dimensional option.
  TFaxRowEnd DecodeMH(uint8_t* Row);
  // Compression 3 with it (EOLFill true) and compression 4 (EOLFill from T6Options bit 2).
  TFaxRowEnd Decode2D(uint8_t* Row, bool EOLFill);

  int64_t BitPosition() const;

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};
