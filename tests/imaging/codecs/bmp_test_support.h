#pragma once
// Tiny BMP files built in memory, and one call that decodes bytes the way the loader does.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/bmp_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace bmptest {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// The fields of a BMP file. Masks go into the header for headers of 52 bytes and more and
// after it for the 40-byte header; the pixel offset is computed unless given.
struct TBmpFile {
  uint32_t HeaderSize = 40;
  int32_t Width = 1;
  int32_t Height = 1;
  uint16_t Bits = 24;
  uint32_t Compression = 0;
  int32_t PelsPerMeter = 0;
  uint32_t ColorsUsed = 0;
  std::vector<uint32_t> Masks;  // red, green, blue[, alpha]
  Bytes Palette;                // raw entries (3 or 4 bytes each)
  Bytes Pixels;
  int64_t Offset = -1;          // -1: right after the palette
  uint32_t FileSize = 0;        // as claimed in the header

  Bytes Build() const {
    Bytes info;
    Put(info, HeaderSize, 4);
    if (HeaderSize == 12) {
      Put(info, uint32_t(Width), 2), Put(info, uint32_t(Height), 2), Put(info, 1, 2), Put(info, Bits, 2);
    } else {
      Put(info, uint32_t(Width), 4), Put(info, uint32_t(Height), 4), Put(info, 1, 2);
      Put(info, Bits, 2), Put(info, Compression, 4), Put(info, uint32_t(Pixels.size()), 4);
      Put(info, uint32_t(PelsPerMeter), 4), Put(info, uint32_t(PelsPerMeter), 4);
      Put(info, ColorsUsed, 4), Put(info, 0, 4);
      if (HeaderSize >= 52)
        for (uint32_t m : Masks) Put(info, m, 4);
      info.resize(HeaderSize, 0);
      if (HeaderSize == 40)
        for (uint32_t m : Masks) Put(info, m, 4);
    }
    const uint32_t offset = Offset >= 0 ? uint32_t(Offset) : uint32_t(14 + info.size() + Palette.size());
    Bytes f = {'B', 'M'};
    Put(f, FileSize, 4), Put(f, 0, 4), Put(f, offset, 4);
    f.insert(f.end(), info.begin(), info.end());
    f.insert(f.end(), Palette.begin(), Palette.end());
    if (Offset >= 0) f.resize(size_t(Offset), 0);
    f.insert(f.end(), Pixels.begin(), Pixels.end());
    return f;
  }
};

// The outcome of one decode.
struct TDecoded {
  bool Aborted = false;
  TVLBitmap Bitmap;
  std::unique_ptr<TVLMask> Mask;
  TIOParamsVals Params;
  TRGB At(int32_t x, int32_t y) { return Bitmap.PixelAsRGB(x, y); }
};

// Decodes Data as LoadBmpStream does (Size 0, alpha kept, file header, pixels).
inline std::unique_ptr<TDecoded> Decode(const Bytes& Data, bool KeepNative = false,
                                        bool IgnoreAlpha = false, bool ParamsOnly = false,
                                        int64_t Size = 0) {
  auto d = std::make_unique<TDecoded>();
  d->Params.KeepNativeFormat = KeepNative;
  TMemoryStream s(Data.data(), Data.size());
  TVLProgressState p;
  p.AbortFlag = &d->Aborted;
  DecodeBmp(s, d->Bitmap, Size, IgnoreAlpha, d->Mask, false, ParamsOnly, p, d->Params);
  return d;
}

// Encodes Bitmap with Params into bytes; Aborted tells whether the writer failed.
inline Bytes Encode(TVLBitmap& Bitmap, TIOParamsVals& Params, bool* Aborted = nullptr) {
  TMemoryStream s;
  bool abort = false;
  TVLProgressState p;
  p.AbortFlag = &abort;
  EncodeBmp(s, Bitmap, Params, p);
  if (Aborted) *Aborted = abort;
  return Bytes(s.Memory(), s.Memory() + s.Length());
}

inline uint32_t Field32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace bmptest
