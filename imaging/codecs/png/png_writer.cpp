// The PNG writer: chooses the colour type and depth from the parameters and the image, builds
// each row (palette indices from the colour quantizer, alpha from the mask) and lets libpng
// filter, compress and interlace.

#include "imaging/codecs/png/png_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/codecs/png/png_glue.h"
#include "imaging/codecs/png/png_text.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"
#include "imaging/model/pixel_conversions.h"
#include "imaging/model/quantizer.h"

namespace png {
namespace {

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

// How the rows are built.
enum TMode {
  wmGray1,         // a vl1g image (ours or a reduced copy): rows as they are
  wmTwoColors,     // 1 bit from two colours: set where the pixel is not the first colour
  wmGray,          // gray at Depth, every value an exact step of it
  wmPalette,       // quantizer indices at Depth
  wmPaletteMask,   // 8 bits: 0 transparent, quantizer index + 1 where the mask is 255
  wmRGB,           // blue, green, red from a vl24RGB bitmap
  wmRGBA,          // blue, green, red, alpha
};

int32_t PixelsPerMetre(int32_t Dpi) {
  const double v = std::nearbyint(double(Dpi) * 100.0 / 2.54);
  return v < 0 ? 0 : v > 2147483647.0 ? INT32_MAX : int32_t(v);
}

class TWriter {
 public:
  TWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
          TVLProgressState& Progress)
      : B(Bitmap), P(Params), M(Mask), Progress(Progress) {
    State.Stream = &Stream;
  }

  void Run() {
    W = B.Width();
    H = B.Height();
    if (W <= 0 || H <= 0) return Progress.Abort();
    if (M != nullptr && (M->Width() != W || M->Height() != H || M->Depth() == 0)) M = nullptr;
    TRowAccessScope readOnly(B, raRead);  // rows of a file-backed bitmap are never written back
    Plan();
    RgbRow.resize(size_t(W));
    Row.assign(RowLength(), 0);

    // What the header needs, made before the library runs: no object with a destructor may
    // live in a frame a library error jumps over.
    for (const TRGB& c : Palette) Plte.push_back(png_color{c.r, c.g, c.b});
    Bkgd = Background();

    if (!O.Create(State)) throw EInvalidGraphic("Error on creating PNG");
    if (!PngTry(O.Png, [&] { WriteHeader(); })) return Fail();
    int passes = 1;
    if (!PngTry(O.Png, [&] {
          if (Mode == wmRGB || Mode == wmRGBA) png_set_bgr(O.Png);
          passes = png_set_interlace_handling(O.Png);
        }))
      return Fail();
    Progress.StepPercent = 100.0 / (double(H) * passes);
    Progress.StepsDone = 0;
    for (int pass = 0; pass < passes; ++pass)
      for (int32_t y = 0; y < H; ++y) {
        BuildRow(y);
        if (!PngTry(O.Png, [&] { png_write_row(O.Png, Row.data()); })) return Fail();
        Progress.Step();
        if (Progress.Aborted()) return;
      }
    if (!PngTry(O.Png, [&] { png_write_end(O.Png, O.Info); })) return Fail();
  }

 private:
  // A stream exception leaves with its own type, a stream that took fewer bytes sets the
  // abort flag, a library error raises ours; always after the structures are destroyed.
  void Fail() {
    O.Destroy();
    Progress.Abort();
    if (State.Pending) std::rethrow_exception(State.Pending);
    if (State.ShortIO) return;
    throw EInvalidGraphic("Error on creating PNG");
  }

  // "Has alpha" means a mask that is not everywhere opaque.
  bool MaskHasAlpha() const {
    if (M == nullptr) return false;
    for (int32_t y = 0; y < H; ++y) {
      if (M->Depth() == 8) {
        const uint8_t* row = M->Scanline(y);
        if (row != nullptr && std::any_of(row, row + W, [](uint8_t a) { return a != 255; })) return true;
      } else {
        for (int32_t x = 0; x < W; ++x)
          if (M->GetPixel(x, y) == 0) return true;
      }
    }
    return false;
  }

  // Some alpha value lies strictly between transparent and opaque.
  bool MaskHasPartialAlpha() const {
    if (M == nullptr || M->Depth() != 8) return false;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = M->Scanline(y);
      if (row != nullptr && std::any_of(row, row + W, [](uint8_t a) { return a != 0 && a != 255; }))
        return true;
    }
    return false;
  }

  uint8_t AlphaAt(int32_t X, const uint8_t* MaskRow, int32_t Y) const {
    if (M->Depth() == 8) return MaskRow != nullptr ? MaskRow[X] : 255;
    return M->GetPixel(X, Y) != 0 ? 255 : 0;
  }

  void Plan() {
    const bool alpha = MaskHasAlpha();
    if (!alpha) M = nullptr;
    if (P.BitsPerSample == 1 && !alpha) return Plan1Bit();
    // A palette's transparent entry holds full transparency only: partly transparent pixels
    // would vanish, so such an image is written with an alpha channel instead.
    if ((P.SamplesPerPixel == 1 || P.BitsPerSample == 1) && !(alpha && MaskHasPartialAlpha()))
      return PlanIndexed(alpha);
    Depth = 8;
    ColorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    Mode = alpha ? wmRGBA : wmRGB;
    UseConverted(vl24RGB);
  }

  // One bit: a vl1g image as it is; black and white as gray; two other colours as the palette
  // [first met, second]; anything else reduced to black and white.
  void Plan1Bit() {
    Depth = 1;
    ColorType = PNG_COLOR_TYPE_GRAY;
    Mode = wmGray1;
    if (B.PixelFormat() == vl1g) return;
    std::vector<TRGB> colors;
    if (DistinctColors(B, 2, colors)) {
      Mode = wmTwoColors;
      const bool blackWhite = colors.size() == 2 &&
                              ((colors[0] == kBlack && colors[1] == kWhite) ||
                               (colors[0] == kWhite && colors[1] == kBlack));
      if (blackWhite || (colors.size() == 1 && (colors[0] == kBlack || colors[0] == kWhite))) {
        // Gray: a set bit is white.
        First = kBlack;
      } else {
        ColorType = PNG_COLOR_TYPE_PALETTE;
        Palette = colors;
        First = colors[0];
      }
      return;
    }
    UseConverted(vl1g);
  }

  // Palette or gray at the depth of BitsPerSample (2, 4 or 8; anything else 8).
  void PlanIndexed(bool Alpha) {
    const int32_t bps = P.BitsPerSample;
    Depth = (bps == 2 || bps == 4 || bps == 8) ? bps : 8;
    ColorType = PNG_COLOR_TYPE_PALETTE;
    if (Alpha) {
      // Entry 0 is the transparent background; the image's colours follow it.
      Depth = 8;
      Mode = wmPaletteMask;
      MakeQuantizer((bps >= 1 && bps < 8) ? 1 << bps : 255);
      Palette = {P.PngBackground};
      Palette.insert(Palette.end(), Quantizer->Palette().begin(), Quantizer->Palette().end());
      Transparent = true;
      return;
    }
    MakeQuantizer(std::min(1 << Depth, 256));
    if ((GrayImage || Quantizer->Method() == TVLColorQuantizer::qmGrayRamp) && GraySteps()) {
      ColorType = PNG_COLOR_TYPE_GRAY;
      Mode = wmGray;
      return;
    }
    Mode = wmPalette;
    Palette = Quantizer->Palette();
  }

  // The quantizer for Count colours. A gray image would get an even ramp: when it has no more
  // colours than that, it keeps exactly its own.
  void MakeQuantizer(int32_t Count) {
    TVLBitmap& b = B;
    Quantizer = std::make_unique<TVLColorQuantizer>(
        W, H, [&b](int32_t y, TRGB* out) { ReadRowAsRGB(b, y, out); }, Count);
    std::vector<TRGB> colors;
    if (Quantizer->Method() == TVLColorQuantizer::qmGrayRamp && Count < 256 &&
        DistinctColors(B, size_t(Count), colors)) {
      std::sort(colors.begin(), colors.end(), [](TRGB l, TRGB r) { return l.r < r.r; });
      GrayImage = true;
      Quantizer = std::make_unique<TVLColorQuantizer>(colors);
    }
  }

  // Every gray is an exact step of the depth.
  bool GraySteps() {
    const int32_t step = 255 / ((1 << Depth) - 1);
    for (int32_t y = 0; y < H; ++y) {
      ReadRowAsRGB(B, y, RgbRowFor());
      for (int32_t x = 0; x < W; ++x)
        if (RgbRow[size_t(x)].r % step != 0) return false;
    }
    return true;
  }
  TRGB* RgbRowFor() {
    RgbRow.resize(size_t(W));
    return RgbRow.data();
  }

  // The rows come from a converted copy unless the bitmap already has the format.
  void UseConverted(TVLPixelFormat Format) {
    if (B.PixelFormat() == Format) return;
    Copy = std::make_unique<TVLBitmap>();
    Copy->Assign(B);
    Copy->DropAlphaLayer();
    Copy->MonoMethod = B.MonoMethod;
    Copy->SetPixelFormat(Format);
  }
  TVLBitmap& Source() { return Copy ? *Copy : B; }

  size_t RowLength() const {
    const size_t w = size_t(W);
    switch (Mode) {
      case wmRGB: return w * 3;
      case wmRGBA: return w * 4;
      default: return (w * size_t(Depth) + 7) / 8;
    }
  }

  // Only library calls (run inside PngTry), on members prepared before.
  void WriteHeader() {
    png_set_IHDR(O.Png, O.Info, png_uint_32(W), png_uint_32(H), Depth, ColorType,
                 P.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(O.Png, O.Info, png_uint_32(PixelsPerMetre(P.DpiX())),
                 png_uint_32(PixelsPerMetre(P.DpiY())), PNG_RESOLUTION_METER);
    if (ColorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(O.Png, O.Info, Plte.data(), int(Plte.size()));
    if (Transparent) {
      png_byte alpha0 = 0;
      png_set_tRNS(O.Png, O.Info, &alpha0, 1, nullptr);
    }
    const int filter = P.PngRowFilter == 1 ? PNG_FILTER_SUB
                       : P.PngRowFilter == 2 ? PNG_FILTER_PAETH
                                             : PNG_FILTER_NONE;
    png_set_filter(O.Png, PNG_FILTER_TYPE_BASE, filter);
    png_set_compression_level(O.Png, std::clamp(P.PngCompression, 0, 9));
    png_set_bKGD(O.Png, O.Info, &Bkgd);
    png_set_text(O.Png, O.Info, Texts.data(), int(Texts.size()));
    png_write_info(O.Png, O.Info);
  }

  // bKGD at the image's own depth.
  png_color_16 Background() {
    png_color_16 bg{};
    const TRGB c = P.PngBackground;
    if (ColorType == PNG_COLOR_TYPE_PALETTE) {
      bg.index = Mode == wmPaletteMask ? 0 : TVLColorQuantizer(Palette).IndexOf(c);
    } else if (ColorType == PNG_COLOR_TYPE_GRAY) {
      const int max = (1 << Depth) - 1;
      bg.gray = png_uint_16((Gray8(c) * max + 127) / 255);
    } else {
      bg.red = c.r;
      bg.green = c.g;
      bg.blue = c.b;
    }
    return bg;
  }

  void BuildRow(int32_t Y) {
    uint8_t* out = Row.data();
    TVLBitmap& src = Source();
    switch (Mode) {
      case wmGray1: {
        const uint8_t* row = src.Scanline(Y);
        if (row != nullptr) std::memcpy(out, row, Row.size());
        return;
      }
      case wmRGB: {
        const uint8_t* row = src.Scanline(Y);
        if (row != nullptr) std::memcpy(out, row, Row.size());
        return;
      }
      case wmRGBA: {
        const uint8_t* mask = M->Depth() == 8 ? M->Scanline(Y) : nullptr;
        const uint8_t* row = src.Scanline(Y);
        if (row == nullptr) return;
        for (int32_t x = 0; x < W; ++x) {
          std::memcpy(out + 4 * size_t(x), row + 3 * size_t(x), 3);
          out[4 * size_t(x) + 3] = AlphaAt(x, mask, Y);
        }
        return;
      }
      default: break;
    }
    ReadRowAsRGB(src, Y, RgbRow.data());
    std::fill(Row.begin(), Row.end(), 0);
    const uint8_t* mask = (M != nullptr && M->Depth() == 8) ? M->Scanline(Y) : nullptr;
    const int32_t step = Mode == wmGray ? 255 / ((1 << Depth) - 1) : 1;
    for (int32_t x = 0; x < W; ++x) {
      const TRGB c = RgbRow[size_t(x)];
      uint32_t v = 0;
      switch (Mode) {
        case wmTwoColors: v = c == First ? 0 : 1; break;
        case wmGray: v = uint32_t(c.r / step); break;
        case wmPalette: v = Quantizer->IndexOf(c); break;
        case wmPaletteMask: v = AlphaAt(x, mask, Y) == 255 ? Quantizer->IndexOf(c) + 1u : 0u; break;
        default: break;
      }
      const size_t bit = size_t(x) * size_t(Depth);
      out[bit / 8] |= uint8_t(v << (8 - Depth - int(bit % 8)));
    }
  }

 public:
  // Text pairs with a keyword the format accepts: tEXt when the text fits Latin-1, iTXt
  // otherwise. The strings live in this writer until the header is written.
  void PrepareTexts() {
    const size_t n = std::min(P.PngTextKeys.size(), P.PngTextValues.size());
    TextStore.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
      const std::optional<std::string> key = Utf8ToLatin1(P.PngTextKeys[i]);
      if (!key || !ValidKeyword(*key)) continue;
      const std::string& value = P.PngTextValues[i];
      const std::optional<std::string> latin = Utf8ToLatin1(value);
      TextStore.push_back(*key);
      const std::string& k = TextStore.back();
      png_text t{};
      t.key = const_cast<char*>(k.c_str());
      if (latin) {
        TextStore.push_back(*latin);
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.text_length = TextStore.back().size();
      } else {
        TextStore.push_back(value);
        t.compression = PNG_ITXT_COMPRESSION_NONE;
        t.itxt_length = value.size();
      }
      t.text = const_cast<char*>(TextStore.back().c_str());
      Texts.push_back(t);
    }
  }

 private:
  TVLBitmap& B;
  TIOParamsVals& P;
  const TVLMask* M;
  TVLProgressState& Progress;
  TPngState State;
  TPngObjects O{true};

  int32_t W = 0, H = 0;
  int Depth = 8;
  int ColorType = PNG_COLOR_TYPE_RGB;
  TMode Mode = wmRGB;
  std::vector<TRGB> Palette;
  std::vector<png_color> Plte;  // Palette as the library takes it
  png_color_16 Bkgd{};
  bool Transparent = false;
  bool GrayImage = false;  // every pixel gray (the quantizer was given the exact grays)
  TRGB First{};
  std::unique_ptr<TVLColorQuantizer> Quantizer;
  std::unique_ptr<TVLBitmap> Copy;
  std::vector<TRGB> RgbRow;
  std::vector<uint8_t> Row;
  std::vector<std::string> TextStore;  // reserved up front: the pointers stay valid
  std::vector<png_text> Texts;
};

}  // namespace

void WritePng(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask,
              TVLProgressState& Progress) {
  TAbortFlagScope flag(Progress);
  TWriter writer(Stream, Bitmap, Params, Mask, Progress);
  writer.PrepareTexts();
  writer.Run();
}

}  // namespace png
