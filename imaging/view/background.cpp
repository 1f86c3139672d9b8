#include "imaging/view/background.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/model/bitmap.h"

namespace {

struct TPainter {
  TVLBitmap& T;
  int32_t W, H;
  int32_t X0, Y0, X1, Y1;  // clip, inclusive

  TPainter(TVLBitmap& t, const TVLRect* clip) : T(t), W(t.Width()), H(t.Height()) {
    X0 = 0;
    Y0 = 0;
    X1 = W - 1;
    Y1 = H - 1;
    if (clip) {
      X0 = std::max(X0, clip->Left);
      Y0 = std::max(Y0, clip->Top);
      X1 = std::min(X1, clip->Right);
      Y1 = std::min(Y1, clip->Bottom);
    }
  }
  void Put(int32_t x, int32_t y, TRGB c) {
    if (x < X0 || x > X1 || y < Y0 || y > Y1) return;
    uint8_t* row = T.Scanline(y);
    if (!row) return;
    uint8_t* p = row + size_t(x) * 3;
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
  }
  // Fills the inclusive rectangle (clipped) with the colour the function gives per pixel.
  template <class F>
  void Fill(int32_t l, int32_t t, int32_t r, int32_t b, F colour) {
    l = std::max(l, X0);
    t = std::max(t, Y0);
    r = std::min(r, X1);
    b = std::min(b, Y1);
    for (int32_t y = t; y <= b; ++y) {
      uint8_t* row = T.Scanline(y);
      if (!row) continue;
      for (int32_t x = l; x <= r; ++x) {
        const TRGB c = colour(x, y);
        uint8_t* p = row + size_t(x) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
    }
  }
  void FillSolid(int32_t l, int32_t t, int32_t r, int32_t b, TRGB c) {
    Fill(l, t, r, b, [c](int32_t, int32_t) { return c; });
  }
};

// 8 x 8 hatch patterns anchored at the client origin: true where a line runs.
bool HatchLine(TVLBackgroundStyle s, int32_t x, int32_t y) {
  const int32_t hx = x & 7, hy = y & 7;
  const bool horizontal = hy == 0, vertical = hx == 0;
  const bool forward = ((hx - hy) & 7) == 0;   // top-left to bottom-right
  const bool backward = ((hx + hy) & 7) == 7;  // bottom-left to top-right
  switch (s) {
    case vlbsHorizontal:
      return horizontal;
    case vlbsVertical:
      return vertical;
    case vlbsFDiagonal:
      return forward;
    case vlbsBDiagonal:
      return backward;
    case vlbsCross:
      return horizontal || vertical;
    case vlbsDiagCross:
      return forward || backward;
    default:
      return false;
  }
}

TRGB Darken(TRGB c, int32_t percent) {
  auto f = [percent](uint8_t v) { return uint8_t(v * (100 - percent) / 100); };
  return TRGB{f(c.b), f(c.g), f(c.r)};
}

void SunkenEdge(TPainter& p, int32_t l, int32_t t, int32_t r, int32_t b) {
  // Outer ring: shadow above and left, highlight below and right; inner ring: dark shadow
  // and light.
  const TRGB shadow = ColorToRGB(0x808080), highlight = ColorToRGB(clWhite);
  const TRGB dark = ColorToRGB(0x404040), light = ColorToRGB(0xE3E3E3);
  auto ring = [&p](int32_t l, int32_t t, int32_t r, int32_t b, TRGB tl, TRGB br) {
    p.FillSolid(l, t, r, t, tl);
    p.FillSolid(l, t, l, b, tl);
    p.FillSolid(l, b, r, b, br);
    p.FillSolid(r, t, r, b, br);
  };
  ring(l, t, r, b, shadow, highlight);
  ring(l + 1, t + 1, r - 1, b - 1, dark, light);
}

void DrawWallPaper(TVLBitmap& target, const TVLBackgroundSettings& s, const TVLRect* clip) {
  TVLBitmap* wp = s.WallPaper;
  if (!wp || wp->Width() <= 0 || wp->Height() <= 0) return;
  const int32_t w = wp->Width(), h = wp->Height();
  TVLRenderArgs a;
  a.ClipRect = clip;
  a.SrcWidth = w;
  a.SrcHeight = h;
  switch (s.WallPaperStyle) {
    case vlwoStretch:
      a.DstWidth = target.Width();
      a.DstHeight = target.Height();
      VLRender(*wp, target, a);
      break;
    case vlwoTile:
      a.DstWidth = w;
      a.DstHeight = h;
      for (int32_t y = 0; y < target.Height(); y += h)
        for (int32_t x = 0; x < target.Width(); x += w) {
          a.DstX = x;
          a.DstY = y;
          VLRender(*wp, target, a);
        }
      break;
    default:
      a.DstWidth = w;
      a.DstHeight = h;
      VLRender(*wp, target, a);
      break;
  }
}

}  // namespace

void PaintBackgroundStyle(TVLBitmap& Target, const TVLBackgroundSettings& S, const TVLRect* Clip) {
  if (Target.PixelFormat() != vl24RGB || Target.Width() <= 0 || Target.Height() <= 0) return;
  TPainter p(Target, Clip);
  const int32_t w = p.W, h = p.H;
  const TRGB bg = ColorToRGB(S.Background);
  const TRGB inv = ColorToRGB(InverseColor(S.Background));
  const bool imageShown = S.ImageWidth >= 2 && S.ImageHeight >= 2;
  TVLBackgroundStyle style = S.Style;
  if (style == vlbsCropped && S.Designing) style = vlbsCropShadow;
  switch (style) {
    case vlbsHorizontal:
    case vlbsVertical:
    case vlbsFDiagonal:
    case vlbsBDiagonal:
    case vlbsCross:
    case vlbsDiagCross:
      p.Fill(0, 0, w - 1, h - 1,
             [&](int32_t x, int32_t y) { return HatchLine(style, x, y) ? inv : bg; });
      break;
    case vlbsChessboard: {
      const int32_t size = std::max(S.ChessboardSize, 1);
      p.Fill(0, 0, w - 1, h - 1,
             [&](int32_t x, int32_t y) { return ((x / size + y / size) & 1) ? inv : bg; });
      break;
    }
    case vlbsDiagonals: {
      p.FillSolid(0, 0, w - 1, h - 1, bg);
      const int32_t n = std::max(w, h);
      for (int32_t i = 0; i < n; ++i) {
        const int32_t x = n > 1 ? int32_t(int64_t(i) * (w - 1) / (n - 1)) : 0;
        const int32_t y = n > 1 ? int32_t(int64_t(i) * (h - 1) / (n - 1)) : 0;
        p.Put(x, y, inv);
        p.Put(w - 1 - x, y, inv);
      }
      break;
    }
    case vlbsCropped:
      p.FillSolid(0, 0, w - 1, h - 1, ColorToRGB(S.ButtonFace));
      if (imageShown)
        SunkenEdge(p, S.ImageX - S.EdgeX, S.ImageY - S.EdgeY, S.ImageX + S.ImageWidth - 1 + S.EdgeX,
                   S.ImageY + S.ImageHeight - 1 + S.EdgeY);
      break;
    case vlbsCropShadow:
      p.FillSolid(0, 0, w - 1, h - 1, bg);
      if (!S.Designing && imageShown) {
        // A soft band of four pixels, darkest next to the image.
        const int32_t r = S.ImageX + S.ImageWidth, b = S.ImageY + S.ImageHeight;
        for (int32_t i = 0; i < 4; ++i) {
          const TRGB c = Darken(bg, 40 - 10 * i);
          p.FillSolid(r + i, S.ImageY + 4, r + i, b + i, c);
          p.FillSolid(S.ImageX + 4, b + i, r + i, b + i, c);
        }
      }
      break;
    case vlbsGradient: {
      const TRGB end = ColorToRGB(S.GradientEnd);
      auto mix = [&](uint8_t a, uint8_t z, int32_t y) {
        return uint8_t(h > 1 ? a + (int32_t(z) - a) * y / (h - 1) : a);
      };
      p.Fill(0, 0, w - 1, h - 1, [&](int32_t, int32_t y) {
        return TRGB{mix(bg.b, end.b, y), mix(bg.g, end.g, y), mix(bg.r, end.r, y)};
      });
      break;
    }
    default:
      p.FillSolid(0, 0, w - 1, h - 1, bg);
      break;
  }
  DrawWallPaper(Target, S, Clip);
}
