#pragma once
// The TIFF row decoder: turns the bytes of one strip or tile, row by row, into decompressed
// rows ready for conversion into the bitmap. It dispatches by compression (none, modified
// Huffman, group 3, group 4, LZW, PackBits), unpacks samples narrower than a byte, undoes the
// horizontal predictor and keeps the decompressor's state from row to row.
//
// What a decoded row holds (DecodedRowBytes() bytes):
// - Bilevel images (1 bit, 1 sample, Photometric other than 3) and every fax-coded row
//   (compressions 2, 3 and 4): the packed row as vl1g wants it, most significant bit first,
//   1 = white, 0 = black, whatever the Photometric value and compression. Min-is-black
//   (Photometric 1) and min-is-white (0) are both already resolved, and FillOrder 2 is undone
//   for uncompressed and PackBits rows. Copy these rows unchanged; do not invert them.
// - Other samples narrower than 8 bits (1-bit palette, 2 to 7 bits): one byte per sample,
//   Width x SamplesPerPixel bytes, holding the sample's value; 4-bit samples of gray images
//   (Photometric 0 or 1) are already multiplied by 16 (15 gives 240), others keep their value.
// - Samples of 8 bits or more: the row's bytes as stored, with the predictor undone; 16-bit
//   samples stay in the file's byte order.
//
// Every read is bounded by the strip's length and every write by the row buffer. Bad LZW data
// is the only failure; a strip that ends early gives zero-filled rows (white for bilevel
// rows), and says so through the status.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/io/params.h"

// The image's coding as the row decoder needs it (from the TIFF directory).
struct TTiffRowFormat {
  int32_t Compression = 1;  // 1, 2, 3, 4, 5 (LZW) or 32773 (PackBits)
  int32_t Predictor = 1;    // 2: horizontal differencing, undone for LZW
  int32_t BitsPerSample = 1;
  int32_t SamplesPerPixel = 1;  // samples in one pixel of the row: 1 for a separate plane
  int32_t Photometric = 0;      // as the directory gives it (bilevel without the tag: 0)
  int32_t FillOrder = 1;        // 2: each byte's bits run least significant first
  uint32_t T4Options = 0;       // tag 292: bit 0 two-dimensional (compression 3); bit 2 fill
                                // bits before an end of line (compression 4; 3 always skips them)
  bool LittleEndian = true;     // the file's byte order (16-bit predictor)
  int32_t Width = 0;            // pixels per row (the tile width for tiles), up to kMaxImageSide
  // The LZW entry point (Params.TiffLzwDecoder); null or TiffLzwDecompress selects the
  // built-in decoder directly.
  TVLLzwDecoder LzwDecoder = nullptr;
};

enum TTiffRowStatus {
  trsOk,           // the row is complete
  trsTruncated,    // the data ended inside the row; the rest is zero (white for bilevel rows)
  trsNoData,       // the data had already ended: the row is all zero (white for bilevel rows)
  trsBadData,      // bad LZW data: stop and report failure; the row is not usable
  trsUnsupported,  // a compression or format the decoder does not handle: the row is not
                   // usable and leaving the bitmap's rows as allocated is right
};

// True for the compressions DecodeRow handles: 1, 2, 3, 4, 5 and 32773.
bool TiffRowCompressionSupported(int32_t Compression);

// The decoder of one image's strips or tiles, one after the other. A separate-plane image
// needs one decoder per plane, as each keeps its own decompressor state.
class TTiffRowDecoder {
 public:
  explicit TTiffRowDecoder(const TTiffRowFormat& Format);
  ~TTiffRowDecoder();  // releases the LZW state
  TTiffRowDecoder(const TTiffRowDecoder&) = delete;
  TTiffRowDecoder& operator=(const TTiffRowDecoder&) = delete;

  // False when the compression is not supported or the format makes no sense (width, bits
  // or samples out of range, a row longer than 1 GB): DecodeRow then answers trsUnsupported.
  bool Valid() const;
  // Bytes of one stored row, ceil(Width x SamplesPerPixel x BitsPerSample / 8) (0 when not
  // Valid), and of one decoded row as described at the top of this file.
  size_t CodedRowBytes() const;
  size_t DecodedRowBytes() const;

  // Starts on a strip or tile of Length bytes: source position and bit position 0, fax
  // reference line all white, LZW state new. The data must stay valid until EndStrip or the
  // next StartStrip.
  void StartStrip(const uint8_t* Data, size_t Length);
  // Decodes the next row. Row then points at DecodedRowBytes() bytes, valid until the next
  // call, StartStrip or EndStrip: the decoder's own buffer, or for uncompressed rows of 8 bits
  // or more the strip's bytes themselves. For trsBadData and trsUnsupported Row is null.
  TTiffRowStatus DecodeRow(const uint8_t*& Row);
  // Releases the strip's LZW state (also done by StartStrip and the destructor).
  void EndStrip();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};
