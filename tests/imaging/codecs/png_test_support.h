#pragma once
// PNG tests: decoding and encoding bytes the way the loader and the save path do, small files
// written with libpng itself, and a look at the chunks of a written file.

#include <png.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/png_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace pngtest {

using Bytes = std::vector<uint8_t>;

struct TDecoded {
  bool Aborted = false;
  TVLBitmap Bitmap;
  std::unique_ptr<TVLMask> Mask;
  TIOParamsVals Params;
  TRGB At(int32_t x, int32_t y) { return Bitmap.PixelAsRGB(x, y); }
  int AlphaAt(int32_t x, int32_t y) const { return Mask ? Mask->GetPixel(x, y) : 255; }
};

// Decodes Data as LoadPngStream does, or with the given options.
inline std::unique_ptr<TDecoded> Decode(const Bytes& Data, bool KeepNative = false,
                                        bool UseBackground = false, bool ParamsOnly = false,
                                        TVLProgressEvent OnProgress = nullptr) {
  auto d = std::make_unique<TDecoded>();
  d->Params.KeepNativeFormat = KeepNative;
  TMemoryStream s(Data.data(), Data.size());
  TVLProgressState p;
  p.AbortFlag = &d->Aborted;
  p.OnProgress = std::move(OnProgress);
  DecodePng(s, d->Bitmap, d->Params, UseBackground, d->Mask, ParamsOnly, p);
  return d;
}

// Encodes as the save path does; Aborted receives the flag.
inline Bytes Encode(TVLBitmap& Bitmap, TIOParamsVals& Params, const TVLMask* Mask = nullptr,
                    bool* Aborted = nullptr) {
  TMemoryStream s;
  bool flag = false;
  TVLProgressState p;
  p.AbortFlag = &flag;
  EncodePng(s, Bitmap, Params, Mask, p);
  if (Aborted != nullptr) *Aborted = flag;
  return Bytes(s.Memory(), s.Memory() + s.Length());
}

// A file written by libpng: rows are packed samples of the colour type and depth.
struct TPngLayout {
  uint32_t Width = 1, Height = 1;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int Depth = 8;
  bool Interlaced = false;
  std::vector<Bytes> Rows;
  std::vector<png_color> Palette;
  Bytes TrnsAlpha;                      // palette entries' alpha
  const png_color_16* TrnsColor = nullptr;
  const png_color_16* Background = nullptr;
  std::vector<std::pair<std::string, std::string>> TextAfterImage;  // tEXt after IDAT
};

inline void AppendBytes(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

inline Bytes MakePng(const TPngLayout& f) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, f.Width, f.Height, f.Depth, f.ColorType,
               f.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!f.Palette.empty()) png_set_PLTE(png, info, f.Palette.data(), int(f.Palette.size()));
  if (!f.TrnsAlpha.empty() || f.TrnsColor != nullptr)
    png_set_tRNS(png, info, f.TrnsAlpha.empty() ? nullptr : f.TrnsAlpha.data(), int(f.TrnsAlpha.size()),
                 f.TrnsColor);
  if (f.Background != nullptr) png_set_bKGD(png, info, f.Background);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (const Bytes& r : f.Rows) png_write_row(png, r.data());
  std::vector<png_text> texts;
  for (const auto& [k, v] : f.TextAfterImage) {
    png_text t{};
    t.compression = PNG_TEXT_COMPRESSION_NONE;
    t.key = const_cast<char*>(k.c_str());
    t.text = const_cast<char*>(v.c_str());
    t.text_length = v.size();
    texts.push_back(t);
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The header fields and chunk types of a file (nothing for a damaged chunk list).
struct TChunks {
  int Depth = 0, ColorType = -1, Interlace = 0;
  std::vector<std::string> Types;
  std::vector<Bytes> Data;
  bool Has(const std::string& t) const {
    for (const std::string& x : Types)
      if (x == t) return true;
    return false;
  }
  const Bytes* Find(const std::string& t) const {
    for (size_t i = 0; i < Types.size(); ++i)
      if (Types[i] == t) return &Data[i];
    return nullptr;
  }
};

inline TChunks ChunksOf(const Bytes& f) {
  TChunks c;
  size_t at = 8;
  while (at + 12 <= f.size()) {
    const uint32_t n = uint32_t(f[at]) << 24 | uint32_t(f[at + 1]) << 16 | uint32_t(f[at + 2]) << 8 | f[at + 3];
    if (at + 12 + n > f.size()) break;
    c.Types.emplace_back(reinterpret_cast<const char*>(&f[at + 4]), 4);
    c.Data.emplace_back(f.begin() + long(at + 8), f.begin() + long(at + 8 + n));
    at += 12 + n;
  }
  if (const Bytes* h = c.Find("IHDR"); h != nullptr && h->size() >= 13) {
    c.Depth = (*h)[8];
    c.ColorType = (*h)[9];
    c.Interlace = (*h)[12];
  }
  return c;
}

}  // namespace pngtest
