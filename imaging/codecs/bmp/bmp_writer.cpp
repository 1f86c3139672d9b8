#include "imaging/codecs/bmp/bmp_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/bmp/bmp_headers.h"
#include "imaging/codecs/bmp/bmp_rle.h"
#include "imaging/io/params.h"
#include "imaging/io/progress.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/pixel_conversions.h"
#include "imaging/model/quantizer.h"

namespace bmp {
namespace {

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

// Pixels per metre for a resolution in dots per inch, rounded half to even.
uint32_t PelsPerMeter(int32_t Dpi) {
  const double v = std::nearbyint(double(Dpi) / 2.54 * 100.0);
  return uint32_t(std::clamp(v, 0.0, 2147483647.0));
}

// A value for a 32-bit size field, or 0 when it does not fit (both readers and the format
// accept 0 there).
uint32_t SizeField(int64_t v) { return v >= 0 && v <= int64_t(UINT32_MAX) ? uint32_t(v) : 0; }

// The image has an alpha channel that is not all at its maximum.
bool HasAlpha(TVLBitmap& Bitmap) {
  if (!Bitmap.HasAlphaLayer()) return false;
  TVLBitmap* alpha = Bitmap.AlphaLayer();
  alpha->RecheckAllMax();
  return !alpha->AllMax();
}


class TWriter {
 public:
  TWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressState& Progress)
      : S(Stream), B(Bitmap), Params(Params), P(Progress) {}

  void Run() {
    W = B.Width();
    H = B.Height();
    if (W <= 0 || H <= 0 || B.PixelFormat() == vlNull) return P.Abort();
    Plan();
    if (Bits == 1) PreparePalette1();
    if (Bits == 4 || Bits == 8) PreparePaletteIndexed();
    if (Bits <= 8) Params.ColorMap = Palette;

    const int64_t start = S.Position();
    std::vector<uint8_t> headers = Headers(0, 0);
    S.WriteBuffer(headers.data(), headers.size());
    const int64_t pixelStart = S.Position();

    const int64_t rowLength = RowLength(W, Bits);
    std::vector<uint8_t> stored(size_t(rowLength), 0);
    std::vector<uint8_t> indices(Bits == 4 || Bits == 8 ? size_t(W) : 0);
    std::vector<uint8_t> coded;
    P.StepPercent = 100.0 / H;
    for (int32_t k = 0; k < H; ++k) {
      P.StepsDone = k;
      P.Report();
      if (P.Aborted()) return;
      const int32_t y = H - 1 - k;  // rows are stored bottom to top
      if (Rle) {
        IndexRow(y, indices.data());
        coded.clear();
        EncodeRleRow(indices.data(), W, Bits == 4, coded);
        if (k == H - 1) coded.insert(coded.end(), {0, kRleEndOfBitmap});
        S.WriteBuffer(coded.data(), coded.size());
      } else {
        StoredRow(y, stored.data(), indices.data());
        S.WriteBuffer(stored.data(), stored.size());
      }
    }
    const int64_t end = S.Position();
    headers = Headers(end - start, end - pixelStart);
    S.Seek(start, soBeginning);
    S.WriteBuffer(headers.data(), headers.size());
    S.Seek(end, soBeginning);
  }

 private:
  // Bit depth, header kind and compression.
  void Plan() {
    // Only 32-bit rows hold alpha: a palette or gray image with transparency is written at
    // 32 bits rather than losing its alpha channel.
    if (HasAlpha(B))
      Bits = 32;
    else if (Params.BitsPerSample == 1 || Params.BitsPerSample == 4)
      Bits = Params.BitsPerSample;
    else
      Bits = Params.SamplesPerPixel == 1 ? 8 : 24;
    // The core header holds 16-bit sides only.
    Core = Params.BmpVersion == 2 && W <= 65535 && H <= 65535;
    HeaderSize = Core ? kCoreHeaderSize : Params.BmpVersion == 3 ? kOs2HeaderSize : kInfoHeaderSize;
    Rle = !Core && Params.BmpCompression == 1 && (Bits == 4 || Bits == 8);
  }

  // 1 bit: a vl1g image as it is; at most two colours as [first met, other]; anything else
  // reduced to black and white in a copy.
  void PreparePalette1() {
    Palette = {kBlack, kWhite};
    if (B.PixelFormat() == vl1g) return;
    std::vector<TRGB> colors;
    if (DistinctColors(B, 2, colors)) {
      Palette = {colors[0], colors.size() > 1 ? colors[1] : kBlack};
      TwoColors = true;
      RgbRow.resize(size_t(W));
      return;
    }
    Mono = std::make_unique<TVLBitmap>();
    Mono->Assign(B);
    Mono->DropAlphaLayer();
    Mono->MonoMethod = B.MonoMethod;
    Mono->SetPixelFormat(vl1g);
  }

  // 4 and 8 bits: a vl8p image keeps its palette and indices when every index fits the depth;
  // otherwise the quantizer chooses 2^bits colours, and an image with no more colours than
  // that keeps them exactly (also a gray one, which the quantizer would give a gray ramp).
  void PreparePaletteIndexed() {
    const int32_t count = 1 << Bits;
    if (B.PixelFormat() == vl8p && MaxIndex() < count) {
      OwnIndices = true;
      for (int32_t i = 0; i < count; ++i) Palette.push_back(B.Palette(i));
      return;
    }
    TVLBitmap& b = B;
    Quantizer = std::make_unique<TVLColorQuantizer>(
        W, H, [&b](int32_t y, TRGB* out) { ReadRowAsRGB(b, y, out); }, count);
    std::vector<TRGB> colors;
    if (Quantizer->Method() == TVLColorQuantizer::qmGrayRamp && count < 256 &&
        DistinctColors(B, size_t(count), colors)) {
      std::sort(colors.begin(), colors.end(),
                [](TRGB l, TRGB r) { return PackRGB(l) < PackRGB(r); });
      Quantizer = std::make_unique<TVLColorQuantizer>(colors);
    }
    Palette = Quantizer->Palette();
    Palette.resize(size_t(count), kBlack);
    RgbRow.resize(size_t(W));
  }

  int32_t MaxIndex() {
    int32_t m = 0;
    for (int32_t y = 0; y < H; ++y)
      if (const uint8_t* row = B.Scanline(y)) m = std::max<int32_t>(m, *std::max_element(row, row + W));
    return m;
  }

  // The palette indices of image row Y (4 and 8 bits).
  void IndexRow(int32_t Y, uint8_t* Out) {
    if (OwnIndices) {
      if (const uint8_t* row = B.Scanline(Y)) std::memcpy(Out, row, size_t(W));
      return;
    }
    ReadRowAsRGB(B, Y, RgbRow.data());
    for (int32_t x = 0; x < W; ++x) Out[x] = Quantizer->IndexOf(RgbRow[size_t(x)]);
  }

  // The stored bytes of image row Y, padding zero; Indices is scratch for 4 and 8 bits.
  void StoredRow(int32_t Y, uint8_t* Out, uint8_t* Indices) {
    const size_t length = size_t(RowLength(W, Bits));
    std::memset(Out, 0, length);
    switch (Bits) {
      case 1:
        if (TwoColors) {
          ReadRowAsRGB(B, Y, RgbRow.data());
          for (int32_t x = 0; x < W; ++x)
            if (!(RgbRow[size_t(x)] == Palette[0])) Out[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (const uint8_t* row = (Mono ? *Mono : B).Scanline(Y)) {
          std::memcpy(Out, row, size_t(W + 7) / 8);
          if (W % 8) Out[(W - 1) / 8] &= uint8_t(0xFF00 >> (W % 8));
        }
        return;
      case 4:
        IndexRow(Y, Indices);
        for (int32_t x = 0; x < W; ++x) Out[x / 2] |= uint8_t(x % 2 ? Indices[x] : Indices[x] << 4);
        return;
      case 8: IndexRow(Y, Out); return;
      default: break;
    }
    // 24 and 32 bits: blue, green, red (and alpha).
    TRGB* rgb = Bits == 24 ? reinterpret_cast<TRGB*>(Out) : RgbRowFor32();
    if (B.PixelFormat() == vl24RGB) {
      if (const uint8_t* row = B.Scanline(Y)) std::memcpy(rgb, row, size_t(W) * 3);
    } else {
      ReadRowAsRGB(B, Y, rgb);
    }
    if (Bits == 24) return;
    const uint8_t* alpha = B.AlphaLayer()->Scanline(Y);
    for (int32_t x = 0; x < W; ++x) {
      const TRGB c = rgb[x];
      Out[4 * x] = c.b, Out[4 * x + 1] = c.g, Out[4 * x + 2] = c.r;
      Out[4 * x + 3] = alpha ? alpha[x] : 255;
    }
  }

  TRGB* RgbRowFor32() {
    RgbRow.resize(size_t(W));
    return RgbRow.data();
  }

  // File header, info header and palette. The sizes are 0 until the rows are written.
  std::vector<uint8_t> Headers(int64_t FileSize, int64_t ImageSize) {
    const size_t entry = Core ? 3 : 4;
    const size_t offset = kFileHeaderSize + HeaderSize + entry * Palette.size();
    std::vector<uint8_t> h(offset, 0);
    h[0] = 'B', h[1] = 'M';
    Put32(&h[2], SizeField(FileSize));
    Put32(&h[10], FileSize > 0 ? uint32_t(offset) : 0);
    uint8_t* i = &h[kFileHeaderSize];
    Put32(i, HeaderSize);
    if (Core) {
      Put16(i + 4, uint32_t(W)), Put16(i + 6, uint32_t(H)), Put16(i + 8, 1), Put16(i + 10, uint32_t(Bits));
    } else {
      Put32(i + 4, uint32_t(W)), Put32(i + 8, uint32_t(H));
      Put16(i + 12, 1), Put16(i + 14, uint32_t(Bits));
      Put32(i + 16, Rle ? (Bits == 4 ? kCompRle4 : kCompRle8) : kCompNone);
      Put32(i + 20, SizeField(ImageSize));
      Put32(i + 24, PelsPerMeter(Params.DpiX()));
      Put32(i + 28, PelsPerMeter(Params.DpiY()));
      Put32(i + 32, Bits <= 8 ? uint32_t(1) << Bits : 0);
      Put32(i + 36, uint32_t(1) << (Bits % 32));
    }
    uint8_t* p = i + HeaderSize;
    for (const TRGB c : Palette) {
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
      p += entry;
    }
    return h;
  }

  TStream& S;
  TVLBitmap& B;
  TIOParamsVals& Params;
  TVLProgressState& P;
  int32_t W = 0, H = 0;
  int32_t Bits = 24;
  uint32_t HeaderSize = kInfoHeaderSize;
  bool Core = false;
  bool Rle = false;
  std::vector<TRGB> Palette;  // 2^bits entries for depths up to 8
  bool TwoColors = false;
  bool OwnIndices = false;
  std::unique_ptr<TVLBitmap> Mono;
  std::unique_ptr<TVLColorQuantizer> Quantizer;
  std::vector<TRGB> RgbRow;
};

}  // namespace

void WriteBmp(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressState& Progress) {
  TWriter(Stream, Bitmap, Params, Progress).Run();
}

}  // namespace bmp
