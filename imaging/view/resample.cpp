#include "imaging/view/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/view/resample_core.h"

namespace {

using vlresample::TPlane;
using vlresample::TRowGet;
using vlresample::TRowPut;

// The rectangle clamped into the bitmap; false when nothing of it remains.
bool ClampRect(TVLBitmap& Source, TVLSourceRect& r) {
  const int32_t w = Source.Width(), h = Source.Height();
  if (w <= 0 || h <= 0) return false;
  if (r.Width <= 0 || r.Height <= 0) r = {0, 0, w, h};
  r.X = std::clamp(r.X, 0, w - 1);
  r.Y = std::clamp(r.Y, 0, h - 1);
  r.Width = std::min(r.Width, w - r.X);
  r.Height = std::min(r.Height, h - r.Y);
  return r.Width > 0 && r.Height > 0;
}

// Source rows of the rectangle as bytes of Channels per pixel: vl24RGB as is, vl8g as is,
// vl1g expanded to 0 / 255. A row that cannot be read comes back as zeros.
struct TRectReader {
  TVLBitmap& Source;
  TVLSourceRect R;
  TVLPixelFormat Format;
  std::vector<uint8_t> Buffer;

  TRectReader(TVLBitmap& s, TVLSourceRect r) : Source(s), R(r), Format(s.PixelFormat()) {
    Source.Scanline(R.Y);  // brings a toolkit bitmap's row table up to date once
  }
  const uint8_t* Row(int32_t y) {
    const TVLPixelFormat f = Format;
    const int32_t bytes = f == vl24RGB ? 3 : 1;
    const uint8_t* s = Source.Scanline(R.Y + y);
    if (f != vl1g && s) return s + size_t(R.X) * size_t(bytes);
    Buffer.assign(size_t(R.Width) * size_t(bytes), 0);
    if (s)
      for (int32_t x = 0; x < R.Width; ++x) {
        const int32_t sx = R.X + x;
        Buffer[size_t(x)] = (s[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0;
      }
    return Buffer.data();
  }
  TRowGet Getter() {
    return [this](int32_t y) { return Row(y); };
  }
};

// Writes rows of Channels bytes per pixel into Dest: vl24RGB from colour or gray rows, vl8g
// from gray rows, vl1g from 0/1 rows.
TRowPut Writer(TVLBitmap& Dest, int32_t Channels) {
  return [&Dest, Channels](int32_t y, const uint8_t* row) {
    uint8_t* d = Dest.Scanline(y);
    if (!d) return;
    const int32_t w = Dest.Width();
    switch (Dest.PixelFormat()) {
      case vl24RGB:
        if (Channels == 3) {
          std::memcpy(d, row, size_t(w) * 3);
        } else {
          for (int32_t x = 0; x < w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = row[x];
        }
        break;
      case vl8g:
        std::memcpy(d, row, size_t(w));
        break;
      case vl1g:
        std::memset(d, 0, size_t((w + 7) / 8));
        for (int32_t x = 0; x < w; ++x)
          if (row[x]) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
      default:
        break;
    }
  };
}

bool IsConvolution(TResampleFilter f) { return f >= rfTriangle && f <= rfLinear; }

}  // namespace

void FastLinearResample(TVLBitmap& Source, TVLBitmap& Dest, const TVLResampleProgress& Progress,
                        TVLSourceRect Rect) {
  if (Source.PixelFormat() != vl24RGB || Dest.PixelFormat() != vl24RGB) return;
  if (!ClampRect(Source, Rect) || Dest.Width() <= 0 || Dest.Height() <= 0) return;
  TRectReader reader(Source, Rect);
  // Rows of a bitmap in memory are plain pointers that two threads may ask for at once.
  const bool concurrent = Source.Location() != vlFile;
  vlresample::FastLinear(TPlane{Rect.Width, Rect.Height, 3, concurrent},
                         TPlane{Dest.Width(), Dest.Height(), 3}, reader.Getter(), Writer(Dest, 3),
                         Progress);
}

void ResampleBitmap(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                    const TVLResampleProgress& Progress, TVLSourceRect Rect) {
  if (Source.PixelFormat() != vl24RGB) return;
  if (!ClampRect(Source, Rect)) return;
  const int32_t w = Dest.Width(), h = Dest.Height();
  if (w <= 0 || h <= 0) return;
  TRectReader reader(Source, Rect);
  const TPlane src{Rect.Width, Rect.Height, 3};
  const TPlane dst{w, h, 3};
  switch (Filter) {
    case rfFastLinear:
      FastLinearResample(Source, Dest, Progress, Rect);
      return;
    case rfBilinear:
    case rfBicubic:
      if (Dest.PixelFormat() != vl24RGB) return;
      vlresample::AreaResample(src, dst, Filter == rfBicubic, reader.Getter(), Writer(Dest, 3),
                               Progress);
      return;
    case rfProjectBW:
    case rfProjectWB:
      Dest.Allocate(w, h, vl1g);
      vlresample::Project(src, dst, Filter == rfProjectBW, reader.Getter(), Writer(Dest, 1));
      return;
    default:
      if (!IsConvolution(Filter) || Dest.PixelFormat() != vl24RGB) return;
      vlresample::Convolve(src, dst, Filter, reader.Getter(), Writer(Dest, 3), Progress);
      return;
  }
}

void Reduce1Bit(TVLBitmap& Source, int32_t X0, int32_t Y0, TVLBitmap& Dest, int32_t Y1,
                int32_t X1) {
  const int32_t sw = Source.Width(), sh = Source.Height();
  const int32_t dw = Dest.Width(), dh = Dest.Height();
  if (Source.PixelFormat() != vl1g || Dest.PixelFormat() != vl24RGB) return;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || X1 < X0 || Y1 < Y0) return;
  const double e = (double(Y1) - Y0 + 1) / dh;
  const double d = (double(X1) - X0 + 1) / dw;
  auto clampY = [&](double v) { return int32_t(std::clamp<double>(v, 0, sh - 1)); };
  auto clampX = [&](double v) { return int32_t(std::clamp<double>(v, 0, sw - 1)); };
  std::vector<int32_t> cx0(static_cast<size_t>(dw)), cx1(static_cast<size_t>(dw));
  for (int32_t k = 0; k < dw; ++k) {
    cx0[size_t(k)] = clampX(X0 + std::trunc(d * k - d / 2));
    cx1[size_t(k)] = std::max(cx0[size_t(k)], clampX(X0 + std::trunc(d / 2 + d * k)));
  }
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint32_t> set(static_cast<size_t>(dw));
  for (int32_t i = 0; i < dh; ++i) {
    const int32_t r0 = clampY(Y0 + std::trunc(e * i - e / 2));
    const int32_t r1 = std::max(r0, clampY(Y0 + std::trunc(std::trunc(e) / 2 + e * i)));
    std::fill(set.begin(), set.end(), 0);
    for (int32_t y = r0; y <= r1; ++y) {
      const uint8_t* s = Source.Scanline(y);
      if (!s) continue;
      for (int32_t k = 0; k < dw; ++k)
        for (int32_t x = cx0[size_t(k)]; x <= cx1[size_t(k)]; ++x)
          set[size_t(k)] += (s[x >> 3] >> (7 - (x & 7))) & 1;
    }
    uint8_t* out = Dest.Scanline(i);
    if (!out) continue;
    for (int32_t k = 0; k < dw; ++k) {
      const uint64_t looked = uint64_t(r1 - r0 + 1) * uint64_t(cx1[size_t(k)] - cx0[size_t(k)] + 1);
      const uint8_t g = uint8_t(255 * uint64_t(set[size_t(k)]) / looked);
      out[3 * k] = out[3 * k + 1] = out[3 * k + 2] = g;
    }
  }
}

void Resample1Bit(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter, TVLSourceRect Rect) {
  if (Source.PixelFormat() != vl1g) return;
  if (!ClampRect(Source, Rect)) return;
  const int32_t w = Dest.Width(), h = Dest.Height();
  if (w <= 0 || h <= 0) return;
  TRectReader reader(Source, Rect);
  const TPlane src{Rect.Width, Rect.Height, 1};
  const TPlane dst{w, h, 1};
  if (Filter == rfProjectBW || Filter == rfProjectWB) {
    Dest.Allocate(w, h, vl1g);
    vlresample::Project(src, dst, Filter == rfProjectBW, reader.Getter(), Writer(Dest, 1));
    return;
  }
  if (Dest.PixelFormat() != vl24RGB) return;
  if (IsConvolution(Filter)) {
    vlresample::Convolve(src, dst, Filter, reader.Getter(), Writer(Dest, 1), {});
    return;
  }
  if (w > Rect.Width || h > Rect.Height || (w == Rect.Width && h == Rect.Height)) {
    vlresample::FastLinear(src, dst, reader.Getter(), Writer(Dest, 1), {},
                           /*AlwaysInterpolate=*/true);
    return;
  }
  Reduce1Bit(Source, Rect.X, Rect.Y, Dest, Rect.Y + Rect.Height - 1, Rect.X + Rect.Width - 1);
}

void ResampleGray(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter, TVLSourceRect Rect) {
  if (Source.PixelFormat() != vl8g || Dest.PixelFormat() != vl8g) return;
  if (!ClampRect(Source, Rect)) return;
  const int32_t w = Dest.Width(), h = Dest.Height();
  if (w <= 0 || h <= 0) return;
  TRectReader reader(Source, Rect);
  const TPlane src{Rect.Width, Rect.Height, 1};
  const TPlane dst{w, h, 1};
  if (IsConvolution(Filter))
    vlresample::Convolve(src, dst, Filter, reader.Getter(), Writer(Dest, 1), {});
  else if (Filter == rfBilinear || Filter == rfBicubic)
    vlresample::AreaResample(src, dst, Filter == rfBicubic, reader.Getter(), Writer(Dest, 1), {});
  else
    vlresample::FastLinear(src, dst, reader.Getter(), Writer(Dest, 1), {});
}
