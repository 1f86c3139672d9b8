#include "imaging/codecs/bmp/bmp_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/codecs/bmp/bmp_headers.h"
#include "imaging/codecs/bmp/bmp_rle.h"
#include "imaging/io/image_limits.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace bmp {
namespace {

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

// What the headers say, after checking.
struct THeader {
  uint32_t PixelOffset = 0;  // from the start of the file header; 0: right after the palette
  uint32_t HeaderSize = 0;
  int64_t Width = 0;
  int64_t Height = 0;  // made positive
  bool TopDown = false;
  uint32_t Bits = 0;
  uint32_t Compression = kCompNone;
  bool Core = false;  // the 12-byte OS/2 1.x header
  bool Os2 = false;   // an OS/2 2.x header, where codes 3 and 4 mean Huffman and RLE24
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  uint32_t ColorsUsed = 0;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::vector<TRGB> FilePalette;     // as read
  std::array<TRGB, 256> Palette{};   // padded with black
};

// Reads up to Count bytes; whatever is missing is zero. Returns the bytes read.
size_t ReadPadded(TStream& S, uint8_t* Dest, size_t Count) {
  const size_t got = S.Read(Dest, Count);
  std::memset(Dest + got, 0, Count - got);
  return got;
}

int32_t DpiFromPelsPerMeter(int32_t PelsPerMeter, int32_t Fallback) {
  const double dpi = std::nearbyint(double(PelsPerMeter) / 100.0 * 2.54);
  return dpi >= 1 ? int32_t(dpi) : Fallback;
}

// Collects the alpha values of 16- and 32-bit rows. The mask is only made once the values
// differ (or, for an alpha mask in the header, when they are uniform but neither 0 nor 255),
// so the common 32-bit file whose fourth bytes are all alike never allocates one.
class TAlphaRows {
 public:
  TAlphaRows(int32_t Width, int32_t Height, bool TopDown, bool FromAlphaMask,
             std::unique_ptr<TVLMask>& Mask)
      : FWidth(Width), FHeight(Height), FTopDown(TopDown), FFromAlphaMask(FromAlphaMask),
        FMask(Mask), FRow(size_t(Width)) {}

  uint8_t* Row() { return FRow.data(); }

  void Commit(int32_t FileRow) {
    if (FileRow == 0) FFirst = FRow[0];
    if (!FMade) {
      if (std::all_of(FRow.begin(), FRow.end(), [this](uint8_t a) { return a == FFirst; })) return;
      Make(FileRow);
    }
    std::memcpy(MaskRow(FileRow), FRow.data(), FRow.size());
  }

  // RowsDone rows were decoded: drops the mask when it carries no transparency.
  void Finish(int32_t RowsDone) {
    if (!FMade && FFromAlphaMask && RowsDone > 0 && FFirst != 0 && FFirst != 255) Make(RowsDone);
    if (FMade) {
      FMask->RecheckAllMax();
      if (!FMask->AllMax()) {
        FMask->RecomputeBounds();
        return;
      }
    }
    FMask.reset();
  }

 private:
  uint8_t* MaskRow(int32_t FileRow) { return FMask->Scanline(FTopDown ? FileRow : FHeight - 1 - FileRow); }
  // Creates the mask opaque and gives the rows before FileRow their common value.
  void Make(int32_t FileRow) {
    if (!FMask) FMask = std::make_unique<TVLMask>();
    FMask->Setup(FWidth, FHeight, 8);
    FMask->Fill(255);
    for (int32_t k = 0; k < FileRow; ++k) std::memset(MaskRow(k), FFirst, size_t(FWidth));
    FMade = true;
  }

  int32_t FWidth, FHeight;
  bool FTopDown, FFromAlphaMask;
  std::unique_ptr<TVLMask>& FMask;
  std::vector<uint8_t> FRow;
  uint8_t FFirst = 0;
  bool FMade = false;
};

class TReader {
 public:
  TReader(TStream& Stream, TVLProgressState& Progress, TIOParamsVals& Params)
      : S(Stream), P(Progress), Params(Params) {}

  void Run(TVLBitmap& Bitmap, int64_t Size, bool IgnoreAlpha, std::unique_ptr<TVLMask>& Mask,
           bool NoFileHeader, bool ParamsOnly) {
    Start = S.Position();
    End = S.Size();
    if (Size >= 1) End = std::min(End, Start + Size);
    if (Start < 0 || !ReadFileHeader(NoFileHeader) || !ReadInfoHeader()) return P.Abort();
    ReadMasksAndPalette();
    SetParams();
    if (!Supported() || !ImageSizeAllowed(H.Width, H.Height)) return P.Abort();
    if (ParamsOnly) return;
    Decode(Bitmap, IgnoreAlpha, Mask);
  }

 private:
  bool ReadFileHeader(bool NoFileHeader) {
    if (NoFileHeader) return true;
    uint8_t f[kFileHeaderSize];
    if (S.Read(f, sizeof f) != sizeof f || f[0] != 'B' || f[1] != 'M') return false;
    H.PixelOffset = Get32(f + 10);
    return true;
  }

  bool ReadInfoHeader() {
    uint8_t h[kMaxReadHeader] = {};
    HeaderStart = S.Position();
    if (S.Read(h, 4) != 4) return false;
    H.HeaderSize = Get32(h);
    if (H.HeaderSize == kCoreHeaderSize) {
      ReadPadded(S, h + 4, kCoreHeaderSize - 4);
      H.Core = true;
      H.Width = Get16(h + 4);
      H.Height = Get16(h + 6);
      H.Bits = Get16(h + 10);
      return true;
    }
    if (H.HeaderSize < 16) return false;
    ReadPadded(S, h + 4, std::min(H.HeaderSize, kMaxReadHeader) - 4);
    // Headers of 16 to 64 bytes other than the Windows 40, 52 and 56 are OS/2 2.x headers.
    H.Os2 = H.HeaderSize <= kOs2HeaderSize && H.HeaderSize != 40 && H.HeaderSize != 52 &&
            H.HeaderSize != 56;
    H.Width = int32_t(Get32(h + 4));
    const int32_t height = int32_t(Get32(h + 8));
    if (height == INT32_MIN) return false;
    H.TopDown = height < 0;
    H.Height = height < 0 ? -int64_t(height) : height;
    H.Bits = Get16(h + 14);
    H.Compression = Get32(h + 16);
    H.XPelsPerMeter = int32_t(Get32(h + 24));
    H.YPelsPerMeter = int32_t(Get32(h + 28));
    H.ColorsUsed = Get32(h + 32);
    // Windows headers of 52 bytes and more carry the bit-field masks themselves.
    if (!H.Os2 && H.HeaderSize >= 52 && IsBitFields()) {
      for (int i = 0; i < 3; ++i) H.Masks[i] = Get32(h + 40 + 4 * i);
      if (H.HeaderSize >= 56) H.Masks[3] = Get32(h + 52);
    }
    S.Seek(HeaderStart + int64_t(H.HeaderSize), soBeginning);
    return true;
  }

  bool IsBitFields() const {
    return H.Compression == kCompBitFields || H.Compression == kCompAlphaBitFields;
  }

  // After a 40-byte header the masks of bit-field images come first, then the palette.
  void ReadMasksAndPalette() {
    if (H.HeaderSize == kInfoHeaderSize && IsBitFields()) {
      uint8_t m[16];
      const int count = H.Compression == kCompAlphaBitFields ? 4 : 3;
      ReadPadded(S, m, size_t(4 * count));
      for (int i = 0; i < count; ++i) H.Masks[i] = Get32(m + 4 * i);
    }
    const int64_t entrySize = H.Core ? 3 : 4;
    int64_t count = H.Core ? 0 : (H.ColorsUsed > 256 ? 0 : H.ColorsUsed);
    if (count == 0 && H.Bits <= 8) count = int64_t(1) << H.Bits;
    // Entries that would overlap the pixel data are no palette entries.
    const int64_t here = S.Position();
    if (H.PixelOffset != 0 && here >= 0 && Start + H.PixelOffset >= here)
      count = std::min(count, (Start + H.PixelOffset - here) / entrySize);
    uint8_t e[4];
    for (int64_t i = 0; i < count; ++i) {
      if (S.Read(e, size_t(entrySize)) != size_t(entrySize)) break;
      H.FilePalette.push_back(TRGB{e[0], e[1], e[2]});
    }
    for (size_t i = 0; i < H.FilePalette.size() && i < H.Palette.size(); ++i)
      H.Palette[i] = H.FilePalette[i];
  }

  void SetParams() {
    Params.Width = int32_t(H.Width);
    Params.Height = int32_t(H.Height);
    Params.BmpVersion = H.HeaderSize == kCoreHeaderSize   ? 2
                        : H.HeaderSize == kInfoHeaderSize ? 1
                        : H.HeaderSize == kOs2HeaderSize  ? 3
                                                          : 0;
    Params.BmpCompression = (H.Compression == kCompRle8 || H.Compression == kCompRle4) ? 1 : 0;
    if (H.Core) {
      Params.SetDpiX(FallbackDpiX);
      Params.SetDpiY(FallbackDpiY);
    } else {
      Params.SetDpiX(DpiFromPelsPerMeter(H.XPelsPerMeter, FallbackDpiX));
      Params.SetDpiY(DpiFromPelsPerMeter(H.YPelsPerMeter, FallbackDpiY));
    }
    switch (H.Bits) {
      case 16: Params.BitsPerSample = 5, Params.SamplesPerPixel = 3; break;
      case 24: Params.BitsPerSample = 8, Params.SamplesPerPixel = 3; break;
      case 32: Params.BitsPerSample = 8, Params.SamplesPerPixel = 4; break;
      default: Params.BitsPerSample = int32_t(H.Bits), Params.SamplesPerPixel = 1; break;
    }
    if (H.Bits <= 8)  // the palette as the pixels see it: padded with black to 2^bits
      Params.ColorMap.assign(H.Palette.begin(), H.Palette.begin() + (1 << H.Bits));
    else
      Params.ColorMap = H.FilePalette;
  }

  // The combinations this reader decodes; every other one is a failure, not a black image.
  bool Supported() const {
    switch (H.Compression) {
      case kCompNone:
        return H.Bits == 1 || H.Bits == 2 || H.Bits == 4 || H.Bits == 8 || H.Bits == 16 ||
               H.Bits == 24 || H.Bits == 32;
      case kCompRle8: return H.Bits == 8;
      case kCompRle4: return H.Bits == 4;
      case kCompBitFields:
      case kCompAlphaBitFields: return !H.Os2 && (H.Bits == 16 || H.Bits == 32);
      default: return false;  // JPEG, PNG, OS/2 Huffman and RLE24, unknown codes
    }
  }

  void Decode(TVLBitmap& Bitmap, bool IgnoreAlpha, std::unique_ptr<TVLMask>& Mask) {
    const int32_t w = int32_t(H.Width), h = int32_t(H.Height);
    const bool keep = Params.KeepNativeFormat;
    TVLPixelFormat format = vl24RGB;
    Invert1 = false;
    if (H.Bits == 1 && H.Palette[0] == kBlack && H.Palette[1] == kWhite) {
      format = vl1g;
    } else if (H.Bits == 1 && H.Palette[0] == kWhite && H.Palette[1] == kBlack) {
      format = vl1g;
      Invert1 = true;
    } else if (H.Bits <= 8 && keep) {
      format = vl8p;
    }
    Bitmap.Allocate(w, h, format);
    if (format == vl8p) {
      for (int i = 0; i < 256; ++i) Bitmap.SetPalette(i, H.Palette[size_t(i)]);
      Bitmap.PaletteColorCount = 1 << H.Bits;
    }
    if (H.PixelOffset != 0) S.Seek(Start + int64_t(H.PixelOffset), soBeginning);
    const int64_t pos = S.Position();
    Left = pos < 0 ? 0 : std::max<int64_t>(End - pos, 0);
    P.StepPercent = 100.0 / h;
    P.StepsDone = 0;
    if (H.Compression == kCompRle8 || H.Compression == kCompRle4) {
      TBoundedInput input(S, Left);
      TIndexRows rows(Bitmap, H.Palette, H.TopDown);
      DecodeRle(input, H.Compression == kCompRle4, rows, P);
      return;
    }
    ReadRows(Bitmap, IgnoreAlpha, Mask);
  }

  void ReadRows(TVLBitmap& Bitmap, bool IgnoreAlpha, std::unique_ptr<TVLMask>& Mask) {
    const int32_t w = int32_t(H.Width), h = int32_t(H.Height);
    const int64_t rowLength = RowLength(w, H.Bits);
    std::vector<uint8_t> buffer(static_cast<size_t>(rowLength));
    const bool direct = (H.Bits == 24 || Bitmap.PixelFormat() == vl1g) &&
                        Bitmap.RowBytes() >= rowLength;
    PrepareChannels(IgnoreAlpha);
    std::unique_ptr<TAlphaRows> alpha;
    if (AlphaChannel.Mask() != 0)
      alpha = std::make_unique<TAlphaRows>(w, h, H.TopDown, H.Masks[3] != 0, Mask);
    TIndexRows indices(Bitmap, H.Palette, H.TopDown);

    int32_t k = 0;
    for (; k < h; ++k) {
      P.StepsDone = k;
      P.Report();
      if (P.Aborted() || Left < rowLength) break;
      uint8_t* dst = Bitmap.Scanline(H.TopDown ? k : h - 1 - k);
      if (dst == nullptr) break;
      uint8_t* src = direct ? dst : buffer.data();
      const size_t got = S.Read(src, size_t(rowLength));
      Left -= int64_t(got);
      if (got != size_t(rowLength)) break;
      switch (H.Bits) {
        case 1:
        case 2:
        case 4:
        case 8:
          if (Bitmap.PixelFormat() == vl1g) {
            if (src != dst) std::memcpy(dst, src, size_t(std::min<int64_t>(Bitmap.RowBytes(), rowLength)));
            Finish1g(dst, w, Bitmap.RowBytes());
          } else if (indices.Select(k)) {
            PutIndices(indices, src, w);
          }
          break;
        case 16:
        case 32: PutBitFields(src, dst, w, alpha ? alpha->Row() : nullptr); break;
        default:
          if (src != dst) std::memcpy(dst, src, size_t(w) * 3);
          break;
      }
      if (alpha) alpha->Commit(k);
    }
    if (alpha) alpha->Finish(k);
  }

  // Bit-field channels: the file's masks, or the fixed 5-5-5 and 8-8-8 layouts. The alpha
  // channel comes from an alpha mask, or else, for 32 bits, from the fourth byte when no
  // colour mask uses it.
  void PrepareChannels(bool IgnoreAlpha) {
    uint32_t* m = H.Masks;
    if (!IsBitFields()) {
      if (H.Bits == 16) m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F;
      if (H.Bits == 32) m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF;
      m[3] = 0;
    }
    Red = TBitChannel(m[0]), Green = TBitChannel(m[1]), Blue = TBitChannel(m[2]);
    Plain32 = H.Bits == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF;
    uint32_t alphaMask = m[3];
    if (alphaMask == 0 && H.Bits == 32 && ((m[0] | m[1] | m[2]) & 0xFF000000u) == 0)
      alphaMask = 0xFF000000u;
    if (H.Bits != 16 && H.Bits != 32) alphaMask = 0;
    AlphaChannel = TBitChannel(IgnoreAlpha ? 0 : alphaMask, true);
  }

  void PutBitFields(const uint8_t* src, uint8_t* dst, int32_t w, uint8_t* alpha) {
    if (Plain32) {
      for (int32_t x = 0; x < w; ++x, src += 4, dst += 3) {
        dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
        if (alpha) alpha[x] = src[3];
      }
      return;
    }
    const bool wide = H.Bits == 32;
    for (int32_t x = 0; x < w; ++x, dst += 3) {
      const uint32_t p = wide ? Get32(src + 4 * size_t(x)) : Get16(src + 2 * size_t(x));
      dst[0] = Blue(p), dst[1] = Green(p), dst[2] = Red(p);
      if (alpha) alpha[x] = AlphaChannel(p);
    }
  }

  void PutIndices(TIndexRows& rows, const uint8_t* src, int32_t w) {
    if (H.Bits == 8) {
      for (int32_t x = 0; x < w; ++x) rows.Put(x, src[x]);
      return;
    }
    const int bits = int(H.Bits), perByte = 8 / bits, mask = (1 << bits) - 1;
    for (int32_t x = 0; x < w; ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      rows.Put(x, uint8_t((src[x / perByte] >> shift) & mask));
    }
  }

  // A 1-bit row read in place: inverted for a white-black palette, so that 1 is white, and
  // its bits past the last pixel cleared.
  void Finish1g(uint8_t* row, int32_t w, int32_t rowBytes) {
    const int32_t used = (w + 7) / 8;
    if (Invert1)
      for (int32_t i = 0; i < used; ++i) row[i] = uint8_t(~row[i]);
    if (w % 8) row[used - 1] &= uint8_t(0xFF00 >> (w % 8));
    std::memset(row + used, 0, size_t(rowBytes - used));
  }

  TStream& S;
  TVLProgressState& P;
  TIOParamsVals& Params;
  THeader H;
  int64_t Start = 0;
  int64_t End = 0;
  int64_t HeaderStart = 0;
  int64_t Left = 0;  // pixel bytes not yet read
  bool Invert1 = false;
  bool Plain32 = false;
  TBitChannel Red, Green, Blue, AlphaChannel;
};

}  // namespace

void ReadBmp(TStream& Stream, TVLBitmap& Bitmap, int64_t Size, bool IgnoreAlpha,
             std::unique_ptr<TVLMask>& Mask, bool NoFileHeader, bool ParamsOnly,
             TVLProgressState& Progress, TIOParamsVals& Params) {
  TReader(Stream, Progress, Params).Run(Bitmap, Size, IgnoreAlpha, Mask, NoFileHeader, ParamsOnly);
}

}  // namespace bmp
