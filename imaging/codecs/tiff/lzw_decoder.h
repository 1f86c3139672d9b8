#pragma once
// The TIFF LZW decompressor (codes most significant bit first, 9 to 12 bits wide, widening
// one code early). It decodes a strip row by row, keeping the bytes decoded beyond a row for
// the next one, so its memory is one row plus the table's longest string.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/io/params.h"

// How a row came out.
enum TLzwRowStatus {
  lrsOk,       // the row is complete
  lrsEnded,    // the data ended (End of Information, or no more bytes) inside this row:
               // the rest of it is zero, and so are all later rows
  lrsNoData,   // the data had ended before this row: it is all zero
  lrsBadData,  // a code that is not defined yet, a code past the roots after a Clear, or
               // a table overflow; the row is not usable, and no later row is either
};

class TTiffLzwDecoder {
 public:
  TTiffLzwDecoder();
  ~TTiffLzwDecoder();
  TTiffLzwDecoder(const TTiffLzwDecoder&) = delete;
  TTiffLzwDecoder& operator=(const TTiffLzwDecoder&) = delete;

  // Starts on a strip of Length bytes with rows of RowLength bytes. The data must stay valid
  // until the next Start. False when RowLength is not positive or too large to buffer.
  bool Start(const uint8_t* Data, size_t Length, size_t RowLength);
  // Decodes the next row. Row() then holds RowLength bytes (also for lrsEnded), valid until
  // the next call.
  TLzwRowStatus DecodeRow();
  const uint8_t* Row() const;

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// The built-in entry point behind StandardLzwDecoder (see TVLLzwDecoder): with State null it
// starts on the strip Data[0..DataLength) and decodes its first row; with State set the next
// row; with Data null it frees State. A row past the end of the data comes back zero-filled.
const uint8_t* TiffLzwDecompress(const uint8_t* Data, size_t DataLength, int32_t RowLength,
                                 void*& State);
