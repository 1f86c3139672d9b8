// The PNG reader: libpng decodes, we choose the transformations and the pixel format, move
// the rows into the bitmap (the alpha into the mask) and map the chunks to the parameters.

#include "imaging/codecs/png/png_reader.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/codecs/png/png_glue.h"
#include "imaging/codecs/png/png_text.h"
#include "imaging/io/image_limits.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace png {
namespace {

// Limits for the chunks libpng keeps in memory (text, profiles, unknown chunks) and their
// number.
constexpr png_alloc_size_t kChunkMemoryMax = 64u << 20;
constexpr png_uint_32 kChunkCacheMax = 10000;

// How decoded rows reach the bitmap.
enum TRowKind {
  rkDirect,  // the library writes the bitmap's row
  rkInvert,  // 1 bit with a white-black palette: the bits are inverted
  rkAlpha,   // blue, green, red, alpha: colour to the bitmap, alpha to the mask
};

int32_t DpiOf(png_uint_32 PixelsPerMetre, int32_t Fallback) {
  if (PixelsPerMetre == 0) return Fallback;
  const double dpi = std::nearbyint(double(PixelsPerMetre) / 100.0 * 2.54);
  return dpi > 2147483647.0 ? INT32_MAX : int32_t(dpi);
}

int32_t SamplesOf(int ColorType) {
  switch (ColorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

bool SameRGB(const png_color& c, uint8_t v) { return c.red == v && c.green == v && c.blue == v; }

// The colour of a bKGD chunk: the high byte of 16-bit values, 8-bit values as they are, gray
// below 8 bits scaled to 0..255, the palette entry of palette files.
TRGB BackgroundColor(const png_color_16& Bg, int ColorType, int Depth,
                     const std::vector<TRGB>& Palette, TRGB Otherwise) {
  auto scale = [Depth](png_uint_16 v) -> uint8_t {
    if (Depth == 16) return uint8_t(v >> 8);
    if (Depth == 8) return uint8_t(v);
    const uint32_t max = (1u << Depth) - 1;
    return uint8_t(std::min<uint32_t>(v, max) * 255u / max);
  };
  if (ColorType == PNG_COLOR_TYPE_PALETTE)
    return Bg.index < Palette.size() ? Palette[Bg.index] : Otherwise;
  if ((ColorType & PNG_COLOR_MASK_COLOR) == 0) {
    const uint8_t g = scale(Bg.gray);
    return TRGB{g, g, g};
  }
  TRGB c;
  c.r = scale(Bg.red);
  c.g = scale(Bg.green);
  c.b = scale(Bg.blue);
  return c;
}

class TReader {
 public:
  TReader(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
          std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress)
      : B(Bitmap), P(Params), UseBackground(UseBackground), Mask(Mask), ParamsOnly(ParamsOnly),
        Progress(Progress) {
    State.Stream = &Stream;
  }

  void Run() {
    if (!O.Create(State)) return Fail();
    png_set_user_limits(O.Png, png_uint_32(kMaxImageSide), png_uint_32(kMaxImageSide));
    png_set_chunk_malloc_max(O.Png, kChunkMemoryMax);
    png_set_chunk_cache_max(O.Png, kChunkCacheMax);
    if (!PngTry(O.Png, [&] { png_read_info(O.Png, O.Info); })) return Fail();
    if (!PngTry(O.Png, [&] {
          png_get_IHDR(O.Png, O.Info, &Width, &Height, &Depth, &ColorType, &Interlace, nullptr,
                       nullptr);
        }))
      return Fail();
    ReadParams();
    if (!ImageSizeAllowed(Width, Height)) return Fail();
    if (UseBackground) {
      if (!PngTry(O.Png, [&] {
            if (png_get_bKGD(O.Png, O.Info, &FileBackground) == 0) FileBackground = nullptr;
          }))
        return Fail();
      if (FileBackground != nullptr)
        P.PngBackground = BackgroundColor(*FileBackground, ColorType, Depth, P.ColorMap, P.PngBackground);
    }
    if (!PngTry(O.Png, [&] { ChooseTransformations(); })) return Fail();
    if (ParamsOnly) return;
    Decode();
  }

 private:
  // A failure before any row was stored: a stream exception leaves with its own type once
  // the structures are gone; anything else (a library error, a stream that ended in the
  // header) sets the abort flag.
  void Fail() {
    Progress.Abort();
    if (State.Pending) {
      O.Destroy();
      std::rethrow_exception(State.Pending);
    }
  }

  // A failure while rows were read: a stream that ended keeps the rows read so far without
  // the abort flag.
  void FailInRows() {
    if (State.Pending) {
      Progress.Abort();
      O.Destroy();
      std::rethrow_exception(State.Pending);
    }
    if (!State.ShortIO) Progress.Abort();
  }

  void ReadParams() {
    P.Width = int32_t(std::min<png_uint_32>(Width, INT32_MAX));
    P.Height = int32_t(std::min<png_uint_32>(Height, INT32_MAX));
    P.BitsPerSample = Depth;
    P.SamplesPerPixel = SamplesOf(ColorType);
    P.SetDpiX(DpiOf(png_get_x_pixels_per_meter(O.Png, O.Info), FallbackDpiX));
    P.SetDpiY(DpiOf(png_get_y_pixels_per_meter(O.Png, O.Info), FallbackDpiY));
    P.ColorMap.clear();
    png_colorp plte = nullptr;
    int count = 0;
    if (ColorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(O.Png, O.Info, &plte, &count) != 0)
      for (int i = 0; i < count; ++i) P.ColorMap.push_back(TRGB{plte[i].blue, plte[i].green, plte[i].red});
    PlteEntries = plte;
    PlteCount = count;
    P.PngInterlaced = Interlace != PNG_INTERLACE_NONE;
    P.PngTextKeys.clear();
    P.PngTextValues.clear();
    TextsTaken = 0;
    TakeTexts();
  }

  // The text chunks the info holds beyond those already taken.
  void TakeTexts() {
    png_textp texts = nullptr;
    const int count = png_get_text(O.Png, O.Info, &texts, nullptr);
    for (int i = TextsTaken; i < count; ++i) {
      const png_text& t = texts[i];
      const bool utf8 = t.compression >= PNG_ITXT_COMPRESSION_NONE;
      const size_t length = utf8 ? t.itxt_length : t.text_length;
      const std::string text = t.text != nullptr ? std::string(t.text, length) : std::string();
      P.PngTextKeys.push_back(Latin1ToUtf8(t.key != nullptr ? t.key : ""));
      P.PngTextValues.push_back(utf8 ? text : Latin1ToUtf8(text));
    }
    TextsTaken = std::max(TextsTaken, count);
  }

  // Only library calls (run inside PngTry).
  void ChooseTransformations() {
    const bool trns = png_get_valid(O.Png, O.Info, PNG_INFO_tRNS) != 0;
    const bool palette = ColorType == PNG_COLOR_TYPE_PALETTE;
    const bool gray = (ColorType & PNG_COLOR_MASK_COLOR) == 0;
    png_color_16p fileBg = FileBackground;
    if (P.KeepNativeFormat && Depth == 8 && (palette || gray) && (ColorType & PNG_COLOR_MASK_ALPHA) == 0) {
      Format = palette ? vl8p : vl8g;
      return;
    }
    // 1 bit without transparency stays packed: gray as it is, a black-white palette as it is,
    // a white-black one inverted; any other two colours become colour.
    if (Depth == 1 && !trns) {
      if (gray) {
        Format = vl1g;
        return;
      }
      if (palette && PlteCount == 2) {
        if (SameRGB(PlteEntries[0], 0) && SameRGB(PlteEntries[1], 255)) {
          Format = vl1g;
          return;
        }
        if (SameRGB(PlteEntries[0], 255) && SameRGB(PlteEntries[1], 0)) {
          Format = vl1g;
          Kind = rkInvert;
          return;
        }
      }
    }
    Format = vl24RGB;
    png_set_expand(O.Png);  // palette to colour, gray below 8 bits to 8, tRNS to alpha
    png_set_strip_16(O.Png);
    if (gray) png_set_gray_to_rgb(O.Png);
    png_set_bgr(O.Png);
    if (UseBackground) {
      if (fileBg != nullptr) {
        png_set_background(O.Png, fileBg, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
      } else {
        // Our colour in the output's terms (8-bit blue, green, red), composed after gray
        // images became colour, so a colour background stays colour.
        png_color_16 bg{};
        bg.red = P.PngBackground.r;
        bg.green = P.PngBackground.g;
        bg.blue = P.PngBackground.b;
        bg.gray = bg.green;
        png_set_background(O.Png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
      }
    }
  }

  void Decode() {
    int passes = 1;
    if (!PngTry(O.Png, [&] {
          passes = png_set_interlace_handling(O.Png);
          png_read_update_info(O.Png, O.Info);
        }))
      return Fail();
    const int channels = png_get_channels(O.Png, O.Info);
    const size_t rowBytes = png_get_rowbytes(O.Png, O.Info);
    if (Format == vl24RGB && channels == 4 && !UseBackground) Kind = rkAlpha;

    B.Allocate(int32_t(Width), int32_t(Height), Format);  // failures leave to the caller
    if (Format == vl8p) {
      for (int32_t i = 0; i < 256; ++i)
        B.SetPalette(i, i < PlteCount ? TRGB{PlteEntries[i].blue, PlteEntries[i].green, PlteEntries[i].red}
                                      : TRGB{0, 0, 0});
      B.PaletteColorCount = 1 << Depth;
    }
    if (!UseBackground) {
      if (!Mask) Mask = std::make_unique<TVLMask>();
      Mask->Setup(int32_t(Width), int32_t(Height), 8);
      Mask->Fill(255);
      if (Kind == rkAlpha) Mask->SetAllMax(false);
    }
    // The library's rows must fit the bitmap's (they always do for the formats above).
    const int32_t w = int32_t(Width), h = int32_t(Height);
    if (Kind == rkDirect && rowBytes > size_t(B.RowBytes())) return Progress.Abort();
    if (Kind == rkAlpha && rowBytes != size_t(w) * 4) return Progress.Abort();
    std::vector<uint8_t> buffer(Kind == rkDirect ? 0 : std::max<size_t>(rowBytes, 1));

    const bool interlaced = passes > 1;
    // Later passes fill in rows the earlier ones began: those rows are read back.
    TRowAccessScope access(B, interlaced ? TVLRowAccess(raRead | raWrite) : TVLRowAccess(raWrite));
    Progress.StepPercent = 100.0 / (double(h) * passes);
    Progress.StepsDone = 0;
    for (int pass = 0; pass < passes && !Progress.Aborted(); ++pass) {
      for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = B.Scanline(y);
        if (row == nullptr) return Progress.Abort();
        png_bytep target = row;
        if (Kind != rkDirect) {
          target = buffer.data();
          if (interlaced) Gather(y, row, target);
        }
        if (!PngTry(O.Png, [&] { png_read_row(O.Png, target, nullptr); })) return FailInRows();
        if (Kind != rkDirect) Scatter(y, target, row);
        Progress.Step();
        if (Progress.Aborted()) break;
      }
    }
    if (Mask && Kind == rkAlpha) Mask->RecomputeBounds();
    if (Progress.Aborted()) return;
    // Text after the image data; a damaged or missing tail keeps the image.
    if (PngTry(O.Png, [&] { png_read_end(O.Png, O.Info); })) TakeTexts();
    else if (State.Pending) FailInRows();
  }

  // The library's row of Y from the bitmap row (and mask row).
  void Gather(int32_t Y, const uint8_t* Row, uint8_t* Out) {
    if (Kind == rkInvert) {
      for (size_t i = 0; i < (size_t(Width) + 7) / 8; ++i) Out[i] = uint8_t(~Row[i]);
      return;
    }
    const uint8_t* alpha = Mask ? Mask->Scanline(Y) : nullptr;
    for (size_t x = 0; x < Width; ++x) {
      std::memcpy(Out + 4 * x, Row + 3 * x, 3);
      Out[4 * x + 3] = alpha != nullptr ? alpha[x] : 255;
    }
  }

  void Scatter(int32_t Y, const uint8_t* In, uint8_t* Row) {
    if (Kind == rkInvert) {
      for (size_t i = 0; i < (size_t(Width) + 7) / 8; ++i) Row[i] = uint8_t(~In[i]);
      return;
    }
    uint8_t* alpha = Mask ? Mask->Scanline(Y) : nullptr;
    for (size_t x = 0; x < Width; ++x) {
      std::memcpy(Row + 3 * x, In + 4 * x, 3);
      if (alpha != nullptr) alpha[x] = In[4 * x + 3];
    }
  }

  TVLBitmap& B;
  TIOParamsVals& P;
  bool UseBackground;
  std::unique_ptr<TVLMask>& Mask;
  bool ParamsOnly;
  TVLProgressState& Progress;
  TPngState State;
  TPngObjects O{false};

  png_uint_32 Width = 0, Height = 0;
  int Depth = 0, ColorType = 0, Interlace = 0;
  png_color_16p FileBackground = nullptr;  // the bKGD chunk, read with UseBackground
  png_colorp PlteEntries = nullptr;
  int PlteCount = 0;
  int TextsTaken = 0;
  TVLPixelFormat Format = vl24RGB;
  TRowKind Kind = rkDirect;
};

}  // namespace

void ReadPng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool UseBackground,
             std::unique_ptr<TVLMask>& Mask, bool ParamsOnly, TVLProgressState& Progress) {
  TAbortFlagScope flag(Progress);
  TReader(Stream, Bitmap, Params, UseBackground, Mask, ParamsOnly, Progress).Run();
}

}  // namespace png
