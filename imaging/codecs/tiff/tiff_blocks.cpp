// Strips and tiles of a TIFF image: locating each block's bytes (bounded by the stream),
// decoding its rows through the row decoder and converting them into the bitmap.

#include "imaging/codecs/tiff/tiff_blocks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/codecs/tiff/row_decoder.h"
#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/codecs/tiff/tiff_pixels.h"
#include "imaging/codecs/tiff/tiff_tags.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"

namespace {

// Uncompressed strips are read in pieces of about this size, so a huge single strip never
// has to be held in memory at once.
constexpr int64_t kPieceBytes = int64_t(1) << 20;
// Tiles larger than this on a side are not believed.
constexpr int64_t kMaxTileSide = 65536;

// Where one block's bytes lie: the offset from the file, and a length that never reaches
// past the stream. A missing or unbelievable byte count falls back to the bytes the rows
// need (uncompressed data), the next block's offset, or the end of the stream.
struct TRange {
  int64_t Pos = 0;
  int64_t Length = 0;
};

TRange BlockRange(const TTiffDirectory& Dir, const std::vector<uint32_t>& Offsets,
                  const std::vector<uint32_t>& Counts, size_t I, int64_t Uncompressed,
                  bool IsUncompressed) {
  TRange r;
  r.Pos = Dir.Base() + int64_t(Offsets[I]);
  const int64_t size = Dir.StreamSize();
  if (r.Pos >= size) return r;
  const int64_t avail = size - r.Pos;
  int64_t count = avail;
  if (I < Counts.size()) {
    if (Counts[I] != 0 && Counts[I] <= uint64_t(size)) count = Counts[I];
  } else if (Counts.empty()) {
    if (IsUncompressed) count = Uncompressed;
    else if (I + 1 < Offsets.size() && Offsets[I + 1] > Offsets[I])
      count = int64_t(Offsets[I + 1]) - int64_t(Offsets[I]);
  }
  r.Length = std::min(count, avail);
  return r;
}

// Reads a block into Buffer, which is reused from block to block (it only grows, so a large
// image does not allocate and fault in fresh memory for every strip). Returns the bytes read.
size_t ReadRange(const TTiffDirectory& Dir, TRange R, std::vector<uint8_t>& Buffer) {
  const size_t want = size_t(std::max<int64_t>(R.Length, 0));
  if (Buffer.size() < want) Buffer.resize(want);
  return Dir.ReadBytesAt(R.Pos, Buffer.data(), want);
}

TTiffRowFormat RowFormat(const TTiffVars& V, int64_t Width, int32_t Samples,
                         const TIOParamsVals& Params) {
  TTiffRowFormat f;
  f.Compression = V.Compression;
  f.Predictor = V.Predictor;
  f.BitsPerSample = V.BitsPerSample;
  f.SamplesPerPixel = Samples;
  f.Photometric = V.Photometric;
  f.FillOrder = V.FillOrder;
  f.T4Options = V.T4Options;
  f.LittleEndian = V.LittleEndian;
  f.Width = int32_t(std::min<int64_t>(Width, INT32_MAX));
  f.LzwDecoder = Params.TiffLzwDecoder ? Params.TiffLzwDecoder : StandardLzwDecoder;
  return f;
}

// Copies Count pixels of Bits bits each from Src (starting at pixel 0) into Dest starting
// at pixel X.
void PlacePixels(uint8_t* Dest, const uint8_t* Src, int32_t X, int32_t Count, int32_t Bits) {
  if (Count <= 0) return;
  if (Bits >= 8) {
    std::memcpy(Dest + size_t(X) * size_t(Bits / 8), Src, size_t(Count) * size_t(Bits / 8));
    return;
  }
  if (X % 8 == 0) {  // whole bytes, the last one only in part
    uint8_t* d = Dest + X / 8;
    const int32_t full = Count / 8, rest = Count % 8;
    std::memcpy(d, Src, size_t(full));
    if (rest) {
      const uint8_t keep = uint8_t(0xFF >> rest);
      d[full] = uint8_t((d[full] & keep) | (Src[full] & ~keep));
    }
    return;
  }
  for (int32_t i = 0; i < Count; ++i) {
    const bool bit = (Src[i / 8] >> (7 - i % 8)) & 1;
    const int32_t x = X + i;
    if (bit) Dest[x / 8] = uint8_t(Dest[x / 8] | (0x80 >> (x % 8)));
    else Dest[x / 8] = uint8_t(Dest[x / 8] & ~(0x80 >> (x % 8)));
  }
}

// Decodes the rows of one block into the bitmap: rows Y0.. and pixels X0.. of a block BlockW
// pixels wide, clipped to the image. Returns false when the data was cut short.
struct TRowSink {
  TVLBitmap& Bitmap;
  TTiffRowConverter& Converter;
  TVLProgressState& Progress;
  std::vector<uint8_t> Scratch;

  void Put(int32_t Y, int32_t X0, int32_t BlockW, const uint8_t* Row) {
    const int32_t width = Bitmap.Width();
    const int32_t bits = PixelFormatBits(Bitmap.PixelFormat());
    if (X0 == 0 && BlockW <= width) {
      Converter.Convert(Row, Bitmap.Scanline(Y), BlockW, 0, Y);
      return;
    }
    // A block reaching past the right edge is converted whole into a scratch row, and only
    // its visible part is placed.
    Scratch.resize((size_t(BlockW) * size_t(bits) + 7) / 8 + 8);
    Converter.Convert(Row, Scratch.data(), BlockW, X0, Y);
    PlacePixels(Bitmap.Scanline(Y), Scratch.data(), X0, std::min(BlockW, width - X0), bits);
  }
};

}  // namespace

namespace {

// Decodes Rows rows of a block (its Data) into the image from row Y0, pixel X0.
bool DecodeRows(TTiffRowDecoder& Dec, const uint8_t* Data, size_t Length, int64_t Rows,
                int64_t Y0, int32_t X0, int32_t BlockW, TRowSink& Sink) {
  Dec.StartStrip(Data, Length);
  bool complete = true;
  const int64_t height = Sink.Bitmap.Height();
  for (int64_t r = 0; r < Rows && Y0 + r < height && !Sink.Progress.Aborted(); ++r) {
    const uint8_t* row = nullptr;
    const TTiffRowStatus status = Dec.DecodeRow(row);
    if (status == trsBadData) {
      Sink.Progress.Abort();
      break;
    }
    if (status == trsUnsupported || row == nullptr) break;
    if (status != trsOk) complete = false;
    Sink.Put(int32_t(Y0 + r), X0, BlockW, row);
    Sink.Progress.Step();
  }
  Dec.EndStrip();
  return complete;
}

// A JPEG-compressed strip or tile: decoded at full size into a vl24RGB scratch bitmap with a
// scratch parameter set (so nothing of the block's JPEG data reaches the caller's
// parameters), then copied into the image at X0, Y0.
void DecodeJpegBlock(const TTiffVars& V, const uint8_t* Data, size_t Length, int64_t X0, int64_t Y0,
                     int64_t BlockW, int64_t BlockH, TVLBitmap& Bitmap, TVLProgressState& Progress,
                     bool ReportInside) {
  TMemoryStream stream(Data, Length);
  std::unique_ptr<TMemoryStream> tables;
  if (!V.JPEGTables.empty())
    tables = std::make_unique<TMemoryStream>(V.JPEGTables.data(), V.JPEGTables.size());
  TIOParamsVals scratch(nullptr);
  TVLBitmap block;
  TVLProgressState p;
  p.AbortFlag = Progress.AbortFlag;
  if (ReportInside) {
    p.OnProgress = Progress.OnProgress;
    p.Sender = Progress.Sender;
  }
  // RGB data with tables is decoded without colour conversion; the library then hands out
  // the stored red, green, blue order, which is swapped into the bitmap's order below.
  const bool rgbData = V.Photometric == 2 && tables != nullptr;
  DecodeJpeg(stream, tables.get(), block, false, false, false, rgbData, false, p, scratch);
  if (Progress.Aborted() || block.IsEmpty()) return;
  if (block.PixelFormat() != vl24RGB) block.SetPixelFormat(vl24RGB);
  const bool swap = rgbData && scratch.JpegColorSpace != jcRGB;
  const int64_t rows = std::min<int64_t>({block.Height(), BlockH, Bitmap.Height() - Y0});
  const int64_t cols = std::min<int64_t>({block.Width(), BlockW, Bitmap.Width() - X0});
  if (cols <= 0) return;
  std::vector<uint8_t> line(size_t(cols) * 3);
  for (int64_t r = 0; r < rows; ++r) {
    std::memcpy(line.data(), block.Scanline(int32_t(r)), line.size());
    if (swap)
      for (size_t i = 0; i < line.size(); i += 3) std::swap(line[i], line[i + 2]);
    std::memcpy(Bitmap.Scanline(int32_t(Y0 + r)) + X0 * 3, line.data(), line.size());
  }
}

}  // namespace

void TTiffBlockReader::ReadStrips() {
  const TTiffVars& V = Vars;
  const int64_t height = Bitmap.Height();
  const int64_t rps = std::max<int64_t>(V.RowsPerStrip, 1);
  const std::vector<uint32_t>& offsets = V.StripOffsets;
  TRowSink sink{Bitmap, Converter, Progress, {}};
  std::vector<uint8_t> buffer;
  Progress.StepsDone = 0;
  Progress.StepScale = offsets.empty() ? 0 : 100.0 / double(offsets.size());
  Progress.StepPercent = 100.0 / double(height);

  if (V.Compression == 7) {
    Progress.StepPercent = Progress.StepScale;
    int64_t r = 0;
    for (size_t i = 0; i < offsets.size() && r < height && !Progress.Aborted(); ++i, r += rps) {
      const TRange range = BlockRange(Dir, offsets, V.StripByteCounts, i, 0, false);
      const size_t got = ReadRange(Dir, range, buffer);
      DecodeJpegBlock(V, buffer.data(), got, 0, r, Bitmap.Width(), rps, Bitmap, Progress,
                      offsets.size() == 1);
      if (offsets.size() > 1) Progress.Step();
    }
    return;
  }

  const bool planes = V.PlanarConfiguration == 2 && V.SamplesPerPixel > 1;
  if (planes) {
    // Only 8-bit RGB in three planes is decoded; other planar layouts stay as allocated.
    if (!(V.SamplesPerPixel == 3 && V.BitsPerSample == 8 && V.Photometric == 2)) return;
    const size_t n = offsets.size() / 3;
    std::array<std::unique_ptr<TTiffRowDecoder>, 3> dec;
    for (auto& d : dec) d = std::make_unique<TTiffRowDecoder>(RowFormat(V, Bitmap.Width(), 1, Params));
    if (!dec[0]->Valid() || dec[0]->DecodedRowBytes() < size_t(Bitmap.Width())) return;
    const size_t w = size_t(Bitmap.Width());
    std::vector<uint8_t> rgb(w * 3);
    std::array<std::vector<uint8_t>, 3> data;
    int64_t r = 0;
    for (size_t i = 0; i < n && r < height && !Progress.Aborted(); ++i, r += rps) {
      const int64_t rows = std::min(rps, height - r);
      bool complete = true;
      for (size_t k = 0; k < 3; ++k) {
        const TRange range = BlockRange(Dir, offsets, V.StripByteCounts, k * n + i,
                                        rows * int64_t(dec[k]->CodedRowBytes()), V.Compression == 1);
        const size_t got = ReadRange(Dir, range, data[k]);
        dec[k]->StartStrip(data[k].data(), got);
      }
      for (int64_t y = r; y < r + rows && !Progress.Aborted(); ++y) {
        bool usable = true;
        for (size_t k = 0; k < 3 && usable; ++k) {
          const uint8_t* row = nullptr;
          const TTiffRowStatus status = dec[k]->DecodeRow(row);
          if (status == trsBadData) Progress.Abort();
          if (status == trsBadData || status == trsUnsupported || row == nullptr) usable = false;
          else {
            if (status != trsOk) complete = false;
            for (size_t x = 0; x < w; ++x) rgb[x * 3 + k] = row[x];
          }
        }
        if (!usable) break;
        Converter.Convert(rgb.data(), Bitmap.Scanline(int32_t(y)), int32_t(w), 0, int32_t(y));
        Progress.Step();
      }
      for (auto& d : dec) d->EndStrip();
      if (!complete) ++Warnings;
    }
    return;
  }

  TTiffRowDecoder dec(RowFormat(V, Bitmap.Width(), V.SamplesPerPixel, Params));
  if (!dec.Valid() || dec.DecodedRowBytes() < Converter.InputBytes(Bitmap.Width())) return;
  const int64_t rowBytes = int64_t(dec.CodedRowBytes());
  const bool plain = V.Compression == 1;
  int64_t r = 0;
  for (size_t i = 0; i < offsets.size() && r < height && !Progress.Aborted(); ++i, r += rps) {
    const int64_t rows = std::min(rps, height - r);
    const TRange range = BlockRange(Dir, offsets, V.StripByteCounts, i, rows * rowBytes, plain);
    bool complete = true;
    if (plain) {
      // Uncompressed rows are independent: read them in pieces.
      const int64_t pieceRows = std::max<int64_t>(1, kPieceBytes / std::max<int64_t>(rowBytes, 1));
      for (int64_t k = 0; k < rows && !Progress.Aborted(); k += pieceRows) {
        const int64_t n = std::min(pieceRows, rows - k);
        TRange piece{range.Pos + k * rowBytes, std::clamp<int64_t>(range.Length - k * rowBytes, 0, n * rowBytes)};
        const size_t got = ReadRange(Dir, piece, buffer);
        complete &= DecodeRows(dec, buffer.data(), got, n, r + k, 0, Bitmap.Width(), sink);
      }
    } else {
      const size_t got = ReadRange(Dir, range, buffer);
      complete = DecodeRows(dec, buffer.data(), got, rows, r, 0, Bitmap.Width(), sink);
    }
    if (!complete) ++Warnings;
  }
}

void TTiffBlockReader::ReadTiles() {
  const TTiffVars& V = Vars;
  if (V.PlanarConfiguration == 2 && V.SamplesPerPixel > 1) {
    Progress.Abort();
    return;
  }
  const int64_t tw = V.TileWidth, tl = V.TileLength;
  if (tw <= 0 || tl <= 0 || tw > kMaxTileSide || tl > kMaxTileSide) {
    Progress.Abort();
    return;
  }
  const bool useTiles = !V.TileOffsets.empty();
  const std::vector<uint32_t>& offsets = useTiles ? V.TileOffsets : V.StripOffsets;
  const std::vector<uint32_t>& counts = useTiles ? V.TileByteCounts : V.StripByteCounts;
  const int64_t width = Bitmap.Width(), height = Bitmap.Height();
  const int64_t across = (width + tw - 1) / tw, down = (height + tl - 1) / tl;
  const size_t n = size_t(std::min<int64_t>(int64_t(offsets.size()), across * down));
  std::vector<uint8_t> buffer;
  Progress.StepsDone = 0;
  Progress.StepScale = n ? 100.0 / double(n) : 0;
  Progress.StepPercent = 100.0 / double(height * across);

  if (V.Compression == 7) {
    Progress.StepPercent = Progress.StepScale;
    for (size_t i = 0; i < n && !Progress.Aborted(); ++i) {
      const TRange range = BlockRange(Dir, offsets, counts, i, 0, false);
      const size_t got = ReadRange(Dir, range, buffer);
      DecodeJpegBlock(V, buffer.data(), got, int64_t(i % across) * tw,
                      int64_t(i / across) * tl, tw, tl, Bitmap, Progress, n == 1);
      if (n > 1) Progress.Step();
    }
    return;
  }
  TTiffRowDecoder dec(RowFormat(V, tw, V.SamplesPerPixel, Params));
  if (!dec.Valid() || dec.DecodedRowBytes() < Converter.InputBytes(int32_t(tw))) return;
  TRowSink sink{Bitmap, Converter, Progress, {}};
  const int64_t rowBytes = int64_t(dec.CodedRowBytes());
  for (size_t i = 0; i < n && !Progress.Aborted(); ++i) {
    const TRange range = BlockRange(Dir, offsets, counts, i, tl * rowBytes, V.Compression == 1);
    const size_t got = ReadRange(Dir, range, buffer);
    if (!DecodeRows(dec, buffer.data(), got, tl, int64_t(i / across) * tl,
                    int32_t(int64_t(i % across) * tw), int32_t(tw), sink))
      ++Warnings;
  }
}
