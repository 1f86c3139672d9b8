#include "imaging/view/display_render.h"

#include <algorithm>
#include <cmath>

#include "imaging/model/bitmap.h"
#include "imaging/view/resample.h"

namespace {

constexpr int64_t kNoClip = 2147483646;

int64_t TruncD(double v) {
  if (!(v == v)) return 0;
  return int64_t(std::clamp(v, -9.0e18, 9.0e18));
}

int32_t Clamp32(int64_t v, int64_t lo, int64_t hi) {
  return int32_t(std::clamp(v, lo, std::max(lo, hi)));
}

bool AlphaApplies(TVLBitmap& Source, bool UseAlpha) {
  return UseAlpha && Source.HasAlphaLayer() && !Source.AlphaLayer()->AllMax();
}

void CopyDisplayAdjustments(TVLBitmap& From, TVLBitmap& To) {
  To.DisplayRangeMin = From.DisplayRangeMin;
  To.DisplayRangeMax = From.DisplayRangeMax;
  To.DisplayOffsetRed = From.DisplayOffsetRed;
  To.DisplayOffsetGreen = From.DisplayOffsetGreen;
  To.DisplayOffsetBlue = From.DisplayOffsetBlue;
  To.DisplayOffsetsOn = From.DisplayOffsetsOn;
  To.DisplayContrast = From.DisplayContrast;
}

void CallRows(TVLBitmap& s, bool blend, const TVLRowRenderParams& p) {
  switch (s.PixelFormat()) {
    case vl24RGB:
      blend ? s.BlendRows24RGB(p) : s.RenderRows24RGB(p);
      break;
    case vl1g:
      blend ? s.BlendRows1g(p) : s.RenderRows1g(p);
      break;
    case vl8g:
      blend ? s.BlendRows8g(p) : s.RenderRows8g(p);
      break;
    case vl8p:
      blend ? s.BlendRows8p(p) : s.RenderRows8p(p);
      break;
    case vl16g:
      blend ? s.BlendRows16g(p) : s.RenderRows16g(p);
      break;
    case vl32f:
      blend ? s.BlendRows32f(p) : s.RenderRows32f(p);
      break;
    case vlCMYK:
      blend ? s.BlendRowsCMYK(p) : s.RenderRowsCMYK(p);
      break;
    case vlCIELab:
      blend ? s.BlendRowsCIELab(p) : s.RenderRowsCIELab(p);
      break;
    case vlRGB48:
      blend ? s.BlendRowsRGB48(p) : s.RenderRowsRGB48(p);
      break;
    default:
      break;
  }
}

}  // namespace

void VLRender(TVLBitmap& Source, TVLBitmap& Target, const TVLRenderArgs& A) {
  InstallVLRowRenderers();
  if (Target.PixelFormat() != vl24RGB) return;
  const int64_t tw = Target.Width(), th = Target.Height();
  const int64_t sw = Source.Width(), sh = Source.Height();
  const TVLPixelFormat format = Source.PixelFormat();
  if (tw <= 0 || th <= 0 || sw <= 0 || sh <= 0 || format == vlNull) return;
  int64_t dstX = A.DstX, dstY = A.DstY, dw = A.DstWidth, dh = A.DstHeight;
  int64_t srcX = A.SrcX, srcY = A.SrcY, srcW = A.SrcWidth, srcH = A.SrcHeight;
  if (dw <= 0 || dh <= 0 || srcW <= 0 || srcH <= 0) return;
  if (dstY > th - 1 || dstX > tw - 1) return;
  const double ry = double(srcH) / double(dh);
  const double rx = double(srcW) / double(dw);
  const int64_t tableX0 = dstX, tableY0 = dstY;  // where the caller's tables start

  // Clip against the target, moving the source along.
  if (dstY < 0) {
    const int64_t k = -dstY, t = TruncD(double(k) * ry);
    srcH -= t;
    srcY += t;
    dh -= k;
    dstY = 0;
  }
  if (dstX < 0) {
    const int64_t k = -dstX, t = TruncD(double(k) * rx);
    srcW -= t;
    srcX += t;
    dw -= k;
    dstX = 0;
  }
  if (dstY + dh > th) {
    srcH -= TruncD(double(dstY + dh - th) * ry);
    dh = th - dstY;
  }
  if (dstX + dw > tw) {
    srcW -= TruncD(double(dstX + dw - tw) * rx);
    dw = tw - dstX;
  }
  // Clamp; the source rectangle as a whole stays inside the bitmap.
  dstX = std::clamp<int64_t>(dstX, 0, tw - 1);
  dstY = std::clamp<int64_t>(dstY, 0, th - 1);
  dw = std::clamp<int64_t>(dw, 0, tw - dstX);
  dh = std::clamp<int64_t>(dh, 0, th - dstY);
  srcX = std::clamp<int64_t>(srcX, 0, sw - 1);
  srcY = std::clamp<int64_t>(srcY, 0, sh - 1);
  srcW = std::clamp<int64_t>(srcW, 0, sw - srcX);
  srcH = std::clamp<int64_t>(srcH, 0, sh - srcY);
  if (dw <= 0 || dh <= 0 || srcW <= 0 || srcH <= 0) return;

  const bool alphaApplies = AlphaApplies(Source, A.UseAlpha);

  // Filtered: resample the visible rectangle to its size on screen, then copy it 1:1.
  if (A.Filter != rfNone && (dw != srcW || dh != srcH) && (format == vl24RGB || format == vl1g)) {
    const bool projection = A.Filter == rfProjectBW || A.Filter == rfProjectWB;
    const TVLSourceRect rect{int32_t(srcX), int32_t(srcY), int32_t(srcW), int32_t(srcH)};
    TVLBitmap scaled;
    if (srcW < dw || format != vl1g || (A.UseAlpha && Source.HasAlphaLayer()) || projection) {
      scaled.Allocate(int32_t(dw), int32_t(dh), (format == vl1g && projection) ? vl1g : vl24RGB);
      if (format == vl24RGB)
        ResampleBitmap(Source, scaled, A.Filter, {}, rect);
      else
        Resample1Bit(Source, scaled, A.Filter, rect);
      if (A.UseAlpha && Source.HasAlphaLayer()) {
        TVLBitmap* from = Source.AlphaLayer();
        TVLBitmap* to = scaled.AlphaLayer();
        if (from->Width() == sw && from->Height() == sh) ResampleGray(*from, *to, A.Filter, rect);
        to->SetAllMax(from->AllMax());
      }
    } else {
      scaled.Allocate(int32_t(dw), int32_t(dh), vl24RGB);
      Reduce1Bit(Source, int32_t(srcX), int32_t(srcY), scaled, int32_t(srcY + srcH - 1),
                 int32_t(srcX + srcW - 1));
    }
    CopyDisplayAdjustments(Source, scaled);
    TVLRenderArgs b = A;
    b.XTable = b.YTable = nullptr;
    b.XLength = b.YLength = 0;
    b.KeepTables = nullptr;
    b.Filter = rfNone;
    b.SrcX = b.SrcY = 0;
    b.SrcWidth = b.DstWidth = int32_t(dw);
    b.SrcHeight = b.DstHeight = int32_t(dh);
    b.DstX = int32_t(dstX);
    b.DstY = int32_t(dstY);
    VLRender(scaled, Target, b);
    return;
  }

  // Point-sampled.
  TVLRenderTables built;
  std::vector<uint8_t*>* rows = A.Rows;
  if (!rows || int64_t(rows->size()) < th) {
    built.Rows.resize(size_t(th));
    for (int64_t y = 0; y < th; ++y) built.Rows[size_t(y)] = Target.Scanline(int32_t(y));
    rows = &built.Rows;
  }
  std::vector<uint8_t> opacityRow;
  if (A.Opacity < 255) opacityRow.assign(size_t(sw), uint8_t(std::clamp(A.Opacity, 0, 255)));

  TVLRowRenderParams p;
  p.Rows = rows->data();
  p.Target = &Target;
  p.Operation = A.Operation;
  p.SolidUnder = A.SolidUnder;
  p.StepY = Clamp32(TruncD(double(srcH) / double(dh) * 16384.0), 0, 2147483647);
  p.StepX = Clamp32(TruncD(double(srcW) / double(dw) * 16384.0), 0, 2147483647);
  const TVLRect* c = A.ClipRect;
  int64_t firstCol = std::max<int64_t>(c ? c->Left : -kNoClip, dstX);
  int64_t lastCol = std::min({c ? int64_t(c->Right) : kNoClip, dstX + dw - 1, tw - 1});
  int64_t firstRow = std::max<int64_t>(c ? c->Top : -kNoClip, dstY);
  int64_t lastRow = std::min({c ? int64_t(c->Bottom) : kNoClip, dstY + dh - 1, th - 1});
  firstCol = std::clamp<int64_t>(firstCol, 0, tw - 1);
  firstRow = std::clamp<int64_t>(firstRow, 0, th - 1);
  lastCol = std::min(lastCol, tw - 1);
  lastRow = std::min(lastRow, th - 1);
  // Caller tables: columns (rows) without an entry, or whose entry lies past the source, are
  // dropped from the end of the range.
  if (A.XTable) {
    lastCol = std::min<int64_t>(lastCol, tableX0 + int64_t(A.XLength) - 1);
    while (lastCol >= firstCol && A.XTable[lastCol - tableX0] >= sw) --lastCol;
  }
  if (A.YTable) {
    lastRow = std::min<int64_t>(lastRow, tableY0 + int64_t(A.YLength) - 1);
    while (lastRow >= firstRow && A.YTable[lastRow - tableY0] >= sh) --lastRow;
  }
  if (firstCol > lastCol || firstRow > lastRow) return;
  if (A.XTable && firstCol < tableX0) return;
  if (A.YTable && firstRow < tableY0) return;
  p.FirstCol = int32_t(firstCol);
  p.LastCol = int32_t(lastCol);
  p.FirstRow = int32_t(firstRow);
  p.LastRow = int32_t(lastRow);
  p.DstX = int32_t(dstX);
  p.DstY = int32_t(dstY);
  p.SrcX = int32_t(srcX);
  p.SrcY = int32_t(srcY);
  p.OpacityRow = opacityRow.empty() ? nullptr : opacityRow.data();
  p.UseAlpha = alphaApplies;
  p.Opacity = std::clamp(A.Opacity, 0, 255);

  const bool shortcut = p.StepX == 16384 && p.StepY == 16384 && format == vl24RGB &&
                        A.Opacity >= 255 && !alphaApplies && !Source.DisplayOffsetsOn &&
                        Source.DisplayContrast == 0 && A.Operation == 0;
  if (!shortcut) {
    built.X.resize(size_t(lastCol - firstCol + 1));
    built.Y.resize(size_t(lastRow - firstRow + 1));
    for (int64_t x = firstCol; x <= lastCol; ++x) {
      const int64_t v =
          A.XTable ? A.XTable[x - tableX0] : TruncD(double(x - dstX) * rx + double(srcX));
      built.X[size_t(x - firstCol)] = Clamp32(v, 0, sw - 1);
    }
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      const int64_t v =
          A.YTable ? A.YTable[y - tableY0] : TruncD(double(y - dstY) * ry + double(srcY));
      built.Y[size_t(y - firstRow)] = Clamp32(v, 0, sh - 1);
    }
    p.XTable = built.X.data();
    p.YTable = built.Y.data();
  }
  CallRows(Source, A.Opacity < 255 || alphaApplies, p);
  if (A.KeepTables) *A.KeepTables = std::move(built);
}
