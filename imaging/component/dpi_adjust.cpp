// Nearest-neighbour stretch and triangle-filter resample of a bitmap and its alpha channel.

#include "imaging/component/dpi_adjust.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "imaging/model/bitmap.h"

namespace {

// Source index for each destination index, nearest neighbour.
std::vector<int32_t> NearestMap(int32_t srcSize, int32_t dstSize) {
  std::vector<int32_t> map(static_cast<size_t>(dstSize));
  for (int32_t i = 0; i < dstSize; ++i)
    map[size_t(i)] = int32_t(int64_t(i) * srcSize / dstSize);
  return map;
}

// Writes into Dst a nearest-neighbour copy of Src (no alpha) at the new size.
void StretchPlain(TVLBitmap& src, TVLBitmap& dst, int32_t w, int32_t h) {
  const TVLPixelFormat pf = src.PixelFormat();
  const int32_t bits = PixelFormatBits(pf);
  dst.Allocate(w, h, pf);
  for (int32_t i = 0; i < src.PaletteSize(); ++i) dst.SetPalette(i, src.Palette(i));
  dst.PaletteColorCount = src.PaletteColorCount;
  const std::vector<int32_t> xmap = NearestMap(src.Width(), w);
  const std::vector<int32_t> ymap = NearestMap(src.Height(), h);
  std::vector<uint8_t> srow(size_t(src.RowBytes()));
  int32_t loaded = -1;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t sy = ymap[size_t(y)];
    if (sy != loaded) {  // the source row pointer may not outlive the next Scanline call
      std::memcpy(srow.data(), src.Scanline(sy), srow.size());
      loaded = sy;
    }
    uint8_t* d = dst.Scanline(y);
    if (bits == 1) {
      for (int32_t x = 0; x < w; ++x) {
        const int32_t sx = xmap[size_t(x)];
        const bool on = (srow[size_t(sx >> 3)] >> (7 - (sx & 7))) & 1;
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        if (on)
          d[x >> 3] |= mask;
        else
          d[x >> 3] &= uint8_t(~mask);
      }
    } else {
      const size_t bpp = size_t(bits / 8);
      for (int32_t x = 0; x < w; ++x)
        std::memcpy(d + size_t(x) * bpp, srow.data() + size_t(xmap[size_t(x)]) * bpp, bpp);
    }
  }
}

// Filter taps of one destination sample.
struct Taps {
  int32_t First = 0;
  std::vector<float> Weights;
};

// Triangle-filter taps mapping srcSize samples onto dstSize samples. Pixel centres lie at
// index + 0.5; when reducing, the filter widens to cover every source pixel.
std::vector<Taps> TriangleTaps(int32_t srcSize, int32_t dstSize) {
  const double scale = double(dstSize) / double(srcSize);
  const double radius = scale < 1.0 ? 1.0 / scale : 1.0;
  std::vector<Taps> taps(static_cast<size_t>(dstSize));
  for (int32_t i = 0; i < dstSize; ++i) {
    const double centre = (i + 0.5) / scale;
    const int32_t lo = std::max<int32_t>(0, int32_t(std::floor(centre - radius)));
    const int32_t hi = std::min<int32_t>(srcSize - 1, int32_t(std::ceil(centre + radius)));
    Taps& t = taps[size_t(i)];
    t.First = lo;
    double sum = 0.0;
    for (int32_t j = lo; j <= hi; ++j) {
      const double d = std::fabs(j + 0.5 - centre) / radius;
      const double wgt = d < 1.0 ? 1.0 - d : 0.0;
      t.Weights.push_back(float(wgt));
      sum += wgt;
    }
    if (sum <= 0.0) {  // cannot happen for sane sizes; fall back to the nearest pixel
      t.First = std::clamp<int32_t>(int32_t(centre), 0, srcSize - 1);
      t.Weights.assign(1, 1.0f);
    } else {
      for (float& wgt : t.Weights) wgt = float(wgt / sum);
    }
  }
  return taps;
}

uint8_t ClampByte(float v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

size_t CheckedProduct(int64_t a, int64_t b, int64_t c) {
  if (a < 0 || b < 0 || c < 0) throw std::length_error("negative image size");
  const unsigned __int128 p = (unsigned __int128)a * uint64_t(b) * uint64_t(c);
  if (p > uint64_t(INT64_MAX)) throw std::length_error("image too large to resample");
  return size_t(p);
}

// Resamples Src (vl24RGB or vl8g, Channels 3 or 1) into Dst of the same format.
void ResamplePlain(TVLBitmap& src, TVLBitmap& dst, int32_t w, int32_t h, int32_t channels) {
  const int32_t sw = src.Width(), sh = src.Height();
  const std::vector<Taps> xt = TriangleTaps(sw, w);
  const std::vector<Taps> yt = TriangleTaps(sh, h);
  // Horizontal pass into a w x sh intermediate of bytes.
  const size_t tmpRow = CheckedProduct(w, channels, 1);
  std::vector<uint8_t> tmp(CheckedProduct(w, sh, channels));
  for (int32_t y = 0; y < sh; ++y) {
    const uint8_t* s = src.Scanline(y);
    uint8_t* t = tmp.data() + size_t(y) * tmpRow;
    for (int32_t x = 0; x < w; ++x) {
      const Taps& tp = xt[size_t(x)];
      for (int32_t c = 0; c < channels; ++c) {
        float acc = 0.0f;
        for (size_t k = 0; k < tp.Weights.size(); ++k)
          acc += tp.Weights[k] * s[size_t(tp.First + int32_t(k)) * size_t(channels) + size_t(c)];
        t[size_t(x) * size_t(channels) + size_t(c)] = ClampByte(acc);
      }
    }
  }
  // Vertical pass into the destination.
  dst.Allocate(w, h, channels == 3 ? vl24RGB : vl8g);
  std::vector<float> acc(tmpRow);
  for (int32_t y = 0; y < h; ++y) {
    const Taps& tp = yt[size_t(y)];
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (size_t k = 0; k < tp.Weights.size(); ++k) {
      const uint8_t* t = tmp.data() + size_t(tp.First + int32_t(k)) * tmpRow;
      const float wgt = tp.Weights[k];
      for (size_t i = 0; i < tmpRow; ++i) acc[i] += wgt * t[i];
    }
    uint8_t* d = dst.Scanline(y);
    for (size_t i = 0; i < tmpRow; ++i) d[i] = ClampByte(acc[i]);
  }
}

// Replaces Bitmap's pixels with Resized's and its alpha channel with Alpha (may be null).
void Install(TVLBitmap& bitmap, TVLBitmap& resized, TVLBitmap* alpha) {
  bitmap.DropAlphaLayer();
  bitmap.AssignPixelsOnly(resized);
  if (alpha == nullptr) return;
  if (alpha->PixelFormat() != vl8g) alpha->SetPixelFormat(vl8g);
  TVLBitmap* layer = bitmap.AlphaLayer();
  if (layer == nullptr) return;
  const int32_t rows = std::min(layer->Height(), alpha->Height());
  const size_t bytes = size_t(std::min(layer->RowBytes(), alpha->RowBytes()));
  for (int32_t y = 0; y < rows; ++y) std::memcpy(layer->Scanline(y), alpha->Scanline(y), bytes);
  layer->RecheckAllMax();
}

bool Usable(TVLBitmap& bitmap, int32_t w, int32_t h) {
  return w >= 1 && h >= 1 && !bitmap.IsEmpty() && bitmap.Width() > 0 && bitmap.Height() > 0;
}

}  // namespace

void StretchNearest(TVLBitmap& Bitmap, int32_t NewWidth, int32_t NewHeight) {
  if (!Usable(Bitmap, NewWidth, NewHeight)) return;
  std::unique_ptr<TVLBitmap> alpha;
  if (Bitmap.HasAlphaLayer()) {
    alpha = std::make_unique<TVLBitmap>();
    StretchPlain(*Bitmap.AlphaLayer(), *alpha, NewWidth, NewHeight);
  }
  TVLBitmap resized;
  StretchPlain(Bitmap, resized, NewWidth, NewHeight);
  Install(Bitmap, resized, alpha.get());
}

void ResampleSmooth(TVLBitmap& Bitmap, int32_t NewWidth, int32_t NewHeight) {
  if (!Usable(Bitmap, NewWidth, NewHeight)) return;
  std::unique_ptr<TVLBitmap> alpha;
  if (Bitmap.HasAlphaLayer()) {
    TVLBitmap* layer = Bitmap.AlphaLayer();
    if (layer->PixelFormat() != vl8g) layer->SetPixelFormat(vl8g);
    alpha = std::make_unique<TVLBitmap>();
    ResamplePlain(*layer, *alpha, NewWidth, NewHeight, 1);
  }
  if (Bitmap.PixelFormat() != vl24RGB) Bitmap.SetPixelFormat(vl24RGB);
  TVLBitmap resized;
  ResamplePlain(Bitmap, resized, NewWidth, NewHeight, 3);
  Install(Bitmap, resized, alpha.get());
}
