#include "imaging/view/view_logic.h"

#include <algorithm>
#include <cmath>

namespace {

// Extents and zoomed sizes beyond this are refused: the tables would not fit.
constexpr double kMaxExtent = 1073741824.0;  // 2^30

int32_t Round32(double v) {
  if (!(v == v)) return 0;
  return int32_t(std::clamp(std::nearbyint(v), -2147483647.0, 2147483647.0));
}
int32_t Trunc32(double v) {
  if (!(v == v)) return 0;
  return int32_t(std::clamp(std::trunc(v), -2147483647.0, 2147483647.0));
}
int32_t At(const std::vector<int32_t>& t, int64_t i) {
  if (t.empty()) return 0;
  return t[size_t(std::clamp<int64_t>(i, 0, int64_t(t.size()) - 1))];
}

// One axis of the coordinate tables.
void BuildAxis(double zoom, double factor, double inverse, int32_t extent, int32_t dst,
               int32_t image, std::vector<int32_t>& s2b, std::vector<int32_t>& b2s) {
  const int64_t n = int64_t(extent) + dst;
  const int32_t c = std::max(image - 1, 0);
  if (zoom > 100.0) {
    const int64_t last = int64_t(double(n) * inverse);
    s2b.assign(size_t(n + 2), 0);
    b2s.assign(size_t(last + 2), 0);
    for (int64_t j = n; j >= 0; --j) {
      const int64_t i = std::min<int64_t>(int64_t(double(j) * inverse), last + 1);
      b2s[size_t(i)] = int32_t(j);
      s2b[size_t(j)] = int32_t(std::min<int64_t>(i, c));
    }
  } else {
    const int64_t k0 = int64_t(double(n + 1) * inverse);
    const int64_t last = int64_t(double(k0) * factor);
    b2s.assign(size_t(k0 + 2), 0);
    s2b.assign(size_t(last + 2), 0);
    for (int64_t k = k0; k >= 0; --k) {
      const int64_t i = std::min<int64_t>(int64_t(double(k) * factor), last + 1);
      b2s[size_t(k)] = int32_t(i);
      s2b[size_t(i)] = int32_t(std::min<int64_t>(k, c));
    }
  }
}

}  // namespace

TVistrelViewLogic::TVistrelViewLogic() {
  auto layer = std::make_unique<TVLLayer>();
  layer->ShowBox = false;
  layer->Locked = true;
  FBitmap = layer->LayerBitmap();
  FLayers.push_back(std::move(layer));
  if (FLegacyBitmap) FBitmap->SetLocation(vlTBitmap);
  FBackBufferPixels.SetBitCount(24);
  FBackBuffer = std::make_unique<TVLBitmap>(&FBackBufferPixels);
}

TVistrelViewLogic::~TVistrelViewLogic() = default;

void TVistrelViewLogic::SetHostGeometry(bool HasHost, int32_t OuterWidth, int32_t OuterHeight,
                                        int32_t ClientWidth, int32_t ClientHeight) {
  FHasHost = HasHost;
  FOuterWidth = std::max(OuterWidth, 0);
  FOuterHeight = std::max(OuterHeight, 0);
  FClientWidth = std::max(ClientWidth, 0);
  FClientHeight = std::max(ClientHeight, 0);
}

void TVistrelViewLogic::Invalidate() {
  if (FHasHost && OnInvalidate) OnInvalidate();
}

void TVistrelViewLogic::ViewChange(int32_t Change) {
  if (OnViewChange) OnViewChange(Change);
}

// ---- Properties --------------------------------------------------------------------------------

void TVistrelViewLogic::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  Update();
}

void TVistrelViewLogic::SetZoomFilter(TResampleFilter Value) {
  if (Value == FZoomFilter) return;
  FZoomFilter = Value;
  Update();
}

void TVistrelViewLogic::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (!(Value & ssHorizontal)) FScroll[0].Visible = false;
  if (!(Value & ssVertical)) FScroll[1].Visible = false;
  Update();
}

void TVistrelViewLogic::SetBackgroundStyle(TVLBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  Update();
}

void TVistrelViewLogic::SetBackground(TColor Value) {
  FBackground = Value;
  if (Designing) {
    FBitmap->Fill(double(Value));
    FBitmap->DropAlphaLayer();
  }
  Update();
}

void TVistrelViewLogic::SetWallPaper(TVLBitmap* Picture) {
  if (!Picture || Picture->IsEmpty()) {
    FWallPaper.reset();
  } else {
    FWallPaper = std::make_unique<TVLBitmap>();
    FWallPaper->Assign(*Picture);
  }
  Update();
}

void TVistrelViewLogic::SetWallPaperStyle(TVLWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  Update();
}

void TVistrelViewLogic::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  Update();
}

void TVistrelViewLogic::SetLegacyBitmap(bool Value) {
  if (Value != FLegacyBitmap) {
    FLegacyBitmap = Value;
    FBitmap->SetLocation(Value ? vlTBitmap : vlFile);
  }
  if (OnChangeCallbacks) OnChangeCallbacks();
  Update();
}

void TVistrelViewLogic::SetDrawVersion(bool Value) {
  FDrawVersion = Value;
  Update();
}

TToolkitBitmap* TVistrelViewLogic::ToolkitBitmap() const {
  return FLegacyBitmap ? FBitmap->CurrentToolkitBitmap() : nullptr;
}

// ---- Layers ------------------------------------------------------------------------------------

int32_t TVistrelViewLogic::AddLayer(std::unique_ptr<TVLBitmap> Bitmap) {
  FLayers.push_back(std::make_unique<TVLLayer>(std::move(Bitmap)));
  return int32_t(FLayers.size()) - 1;
}

void TVistrelViewLogic::SelectLayer(int32_t Index) {
  if (Index < 0 || Index >= LayerCount() || Index == FCurrentLayer) return;
  FCurrentLayer = Index;
  FBitmap = FLayers[size_t(Index)]->LayerBitmap();
  if (OnLayerNotify) OnLayerNotify(Index, vllSelected);
  if (OnChangeCallbacks) OnChangeCallbacks();
  Update();
}

void TVistrelViewLogic::SyncLayers() {
  FBitmap = FLayers[size_t(FCurrentLayer)]->LayerBitmap();
  TVLBitmap* first = FLayers[0]->LayerBitmap();
  FImageWidth = first->Width();
  FImageHeight = first->Height();
  if (!KeepLayersSameSize || FLayers.size() < 2) return;
  for (const auto& l : FLayers) {
    FImageWidth = std::max(FImageWidth, l->LayerBitmap()->Width());
    FImageHeight = std::max(FImageHeight, l->LayerBitmap()->Height());
  }
  for (const auto& l : FLayers) {
    TVLBitmap* b = l->LayerBitmap();
    if (b->IsEmpty() || (b->Width() == FImageWidth && b->Height() == FImageHeight)) continue;
    b->AlphaLayer();  // the new area is transparent, so the layer needs its alpha channel
    b->Resize(FImageWidth, FImageHeight, double(FBackground), 0, 0, 0);
  }
}

bool TVistrelViewLogic::IsEmpty() const { return FBitmap->Width() < 2 && FBitmap->Height() < 2; }

void TVistrelViewLogic::DropAlphaLayer(bool MergeAlpha) {
  if (MergeAlpha && FBitmap->HasAlphaLayer() && FBitmap->PixelFormat() == vl24RGB) {
    TVLBitmap* alpha = FBitmap->AlphaLayer();
    const TRGB bg = ColorToRGB(FBackground);
    const uint8_t back[3] = {bg.b, bg.g, bg.r};
    const int32_t w = std::min(FBitmap->Width(), alpha->Width());
    const int32_t h = std::min(FBitmap->Height(), alpha->Height());
    std::vector<uint8_t> a(static_cast<size_t>(std::max(w, 0)));
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* ar = alpha->Scanline(y);
      if (!ar) continue;
      std::copy(ar, ar + w, a.begin());  // the image row may live in the same file buffer
      uint8_t* row = FBitmap->Scanline(y);
      if (!row) continue;
      for (int32_t x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k) {
          uint8_t& c = row[3 * x + k];
          c = uint8_t(back[k] + (((int32_t(a[size_t(x)]) * 1024) * (int32_t(c) - back[k])) >> 18));
        }
    }
  }
  FBitmap->DropAlphaLayer();
}

void TVistrelViewLogic::Clear() {
  FBitmap->Allocate(1, 1, vl24RGB);
  FBitmap->Fill(double(FBackground));
  FBitmap->DropAlphaLayer();
  Update();
}

// ---- Update ------------------------------------------------------------------------------------

void TVistrelViewLogic::RecomputeFactors() {
  FZoomX = FHorzZoom / 100.0;
  FZoomXInv = 100.0 / FHorzZoom;
  FZoomY = FVertZoom / 100.0;
  FZoomYInv = 100.0 / FVertZoom;
}

double TVistrelViewLogic::AutomaticZoom(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH,
                                        bool Enlarge, bool Shrink) const {
  if (BoxW <= 0 || BoxH <= 0 || W <= 0 || H <= 0) return 100.0;
  const bool widthDecides = double(W) / double(BoxW) > double(H) / double(BoxH);
  const bool larger = widthDecides ? W > BoxW : H > BoxH;
  if (!(larger ? Shrink : Enlarge)) return 100.0;
  int32_t ex = 0, ey = 0;
  if (FBackgroundStyle == vlbsCropped) {
    ex = EdgeX;
    ey = EdgeY;
  } else if (FBackgroundStyle == vlbsCropShadow) {
    ex = ey = 5;
  } else if (BorderStyle == bsSingle) {
    ex = Ctl3D ? EdgeX : BorderX;
    ey = Ctl3D ? EdgeY : BorderY;
  }
  const double zx = double(FOuterWidth - 2 * ex) / (double(W) / 100.0);
  const double zy = double(FOuterHeight - 2 * ey) / (double(H) / 100.0);
  return std::min(zx, zy);
}

void TVistrelViewLogic::Update() {
  if (FUpdateLock > 0) return;
  if (Designing && !FHasHost) return;
  FInUpdate = true;
  SyncLayers();
  if ((AutoFit || AutoShrink || AutoStretch) && FImageWidth != 0 && FImageHeight != 0) {
    int32_t mx, my;
    if (FBackgroundStyle == vlbsCropped) {
      mx = EdgeX;
      my = EdgeY;
    } else if (FBackgroundStyle == vlbsCropShadow) {
      mx = my = 5;
    } else {
      mx = (FOuterWidth - ViewClientWidth()) / 2;
      my = (FOuterHeight - ViewClientHeight()) / 2;
    }
    if (FImageWidth >= 2 || FImageHeight >= 2) {
      FHorzZoom =
          AutomaticZoom(FImageWidth, FImageHeight, ViewClientWidth() - 2 * mx,
                        ViewClientHeight() - 2 * my, AutoStretch || AutoFit, AutoShrink || AutoFit);
      FVertZoom = FHorzZoom;
    } else {
      FHorzZoom = FVertZoom = 100.0;
    }
    FHorzZoom = std::max(FHorzZoom, 1.0);
    FVertZoom = std::max(FVertZoom, 1.0);
    RecomputeFactors();
    ComputeExtents();
    ComputeVisibleRects();
    BuildCoordTables();
    ViewChange(1);
    FFilterDelay = 0;
  }
  if (FImageWidth != FSeenWidth || FImageHeight != FSeenHeight) {
    FSeenWidth = FImageWidth;
    FSeenHeight = FImageHeight;
  }
  // An alpha channel of another size than the image would stop rendering: give it the
  // image's size, opaque.
  if (FBitmap->HasAlphaLayer() && FBitmap->Width() > 0 && FBitmap->Height() > 0) {
    TVLBitmap* alpha = FBitmap->AlphaLayer();
    if (alpha->Width() != FBitmap->Width() || alpha->Height() != FBitmap->Height()) {
      alpha->Allocate(FBitmap->Width(), FBitmap->Height(), vl8g);
      alpha->Fill(255);
    }
  }
  if (!Designing) {
    FNotedClientWidth = ViewClientWidth();
    FNotedClientHeight = ViewClientHeight();
    ComputeExtents();
    ComputeVisibleRects();
    BuildCoordTables();
    int32_t maxX, maxY;
    MaxOrigin(maxX, maxY);
    bool lowered = false;
    if (FOriginX > maxX) {
      FOriginX = maxX;
      lowered = true;
    }
    if (FOriginY > maxY) {
      FOriginY = maxY;
      lowered = true;
    }
    if (lowered) ViewChange(0);
    if (FHasHost) SetupScrollBars();
  }
  ComputeExtents();
  ComputeVisibleRects();
  BuildCoordTables();
  FBackBufferDirty = true;
  FFullRepaint = true;
  Invalidate();
  FInUpdate = false;
}

void TVistrelViewLogic::ComputeExtents() {
  FExtentWidth = Round32(double(FImageWidth) * FHorzZoom / 100.0);
  FExtentHeight = Round32(double(FImageHeight) * FVertZoom / 100.0);
  FOffsetX = FOffsetY = 0;
  if (Designing) {
    FVisibleWidth = std::min(FExtentWidth, FOuterWidth);
    FVisibleHeight = std::min(FExtentHeight, FOuterHeight);
    return;
  }
  FVisibleWidth = std::min(FExtentWidth, ViewClientWidth());
  FVisibleHeight = std::min(FExtentHeight, ViewClientHeight());
  if (FCenter) {
    if (FVisibleWidth < ViewClientWidth()) FOffsetX = (ViewClientWidth() - FVisibleWidth) >> 1;
    if (FVisibleHeight < ViewClientHeight()) FOffsetY = (ViewClientHeight() - FVisibleHeight) >> 1;
  }
}

int32_t TVistrelViewLogic::SnappedOrigin(int32_t Origin, int32_t Extent,
                                         const std::vector<int32_t>& S2B,
                                         const std::vector<int32_t>& B2S) const {
  if (!S2B.empty() && !B2S.empty() && Origin >= 0 && Origin < Extent)
    return At(B2S, At(S2B, Origin));
  return std::max(Origin, 0);
}

void TVistrelViewLogic::ComputeVisibleRects() {
  auto axis = [](int32_t image, int32_t extent, int32_t visible, int32_t origin, double zoom,
                 double factor, int32_t& src, int32_t& size, int32_t& dst) {
    src = size = 0;
    if (extent != 0) {
      const double r = double(image) / double(extent);
      src = std::clamp(Round32(double(origin) * r), 0, std::max(image - 1, 0));
      size = Round32(double(visible) * r);
      if (src + size > image) size -= 1;
      size = std::clamp(size, 0, image - src);
    }
    if (zoom > 100.0) {
      dst = Trunc32(double(size) * factor);
      if (dst < visible && src + size + 1 <= image) {
        size += 1;
        dst = Trunc32(double(size) * factor);
      } else if (dst + 1 == visible && src + size == image) {
        // Ends at the image's last pixel one short of the visible size: fill the extent,
        // rather than leave a background line inside the picture.
        dst = visible;
      }
    } else {
      dst = visible;
    }
  };
  const int32_t ox = SnappedOrigin(FOriginX, FExtentWidth, FS2BX, FB2SX);
  const int32_t oy = SnappedOrigin(FOriginY, FExtentHeight, FS2BY, FB2SY);
  axis(FImageWidth, FExtentWidth, FVisibleWidth, ox, FHorzZoom, FZoomX, FSrcX, FSrcWidth,
       FDstWidth);
  axis(FImageHeight, FExtentHeight, FVisibleHeight, oy, FVertZoom, FZoomY, FSrcY, FSrcHeight,
       FDstHeight);
}

void TVistrelViewLogic::BuildCoordTables() {
  if (FHorzZoom == FTableHorzZoom && FVertZoom == FTableVertZoom && FDstWidth == FTableDstW &&
      FDstHeight == FTableDstH && FImageWidth == FTableImgW && FImageHeight == FTableImgH)
    return;
  FTableHorzZoom = FHorzZoom;
  FTableVertZoom = FVertZoom;
  FTableDstW = FDstWidth;
  FTableDstH = FDstHeight;
  FTableImgW = FImageWidth;
  FTableImgH = FImageHeight;
  if (FDstWidth <= 0 || FDstHeight <= 0 || FImageWidth <= 0 || FImageHeight <= 0) {
    FS2BX.clear();
    FB2SX.clear();
    FS2BY.clear();
    FB2SY.clear();
    return;
  }
  BuildAxis(FHorzZoom, FZoomX, FZoomXInv, FExtentWidth, FDstWidth, FImageWidth, FS2BX, FB2SX);
  BuildAxis(FVertZoom, FZoomY, FZoomYInv, FExtentHeight, FDstHeight, FImageHeight, FS2BY, FB2SY);
}

int32_t TVistrelViewLogic::ScreenToBitmapX(int32_t X) const {
  const int64_t d = int64_t(X) - FOffsetX;
  if (d >= 0 && d < FDstWidth && !FS2BX.empty())
    return At(FS2BX, d + SnappedOrigin(FOriginX, FExtentWidth, FS2BX, FB2SX));
  return Trunc32(double(d) * FZoomXInv + double(FSrcX));
}

int32_t TVistrelViewLogic::ScreenToBitmapY(int32_t Y) const {
  const int64_t d = int64_t(Y) - FOffsetY;
  if (d >= 0 && d < FDstHeight && !FS2BY.empty())
    return At(FS2BY, d + SnappedOrigin(FOriginY, FExtentHeight, FS2BY, FB2SY));
  return Trunc32(double(d) * FZoomYInv + double(FSrcY));
}

int32_t TVistrelViewLogic::BitmapToScreenX(int32_t X) const {
  const int64_t d = int64_t(X) - FSrcX;
  const int32_t o = SnappedOrigin(FOriginX, FExtentWidth, FS2BX, FB2SX);
  if (d >= 0 && d < Trunc32(double(FDstWidth) * FZoomXInv) && !FB2SX.empty())
    return At(FB2SX, X) - At(FB2SX, FSrcX) + FOffsetX;
  return Round32((std::nearbyint(-double(o) * FZoomXInv) + double(X)) * FZoomX + double(FOffsetX));
}

int32_t TVistrelViewLogic::BitmapToScreenY(int32_t Y) const {
  const int64_t d = int64_t(Y) - FSrcY;
  const int32_t o = SnappedOrigin(FOriginY, FExtentHeight, FS2BY, FB2SY);
  if (d >= 0 && d < Trunc32(double(FDstHeight) * FZoomYInv) && !FB2SY.empty())
    return At(FB2SY, Y) - At(FB2SY, FSrcY) + FOffsetY;
  return Round32((std::nearbyint(-double(o) * FZoomYInv) + double(Y)) * FZoomY + double(FOffsetY));
}

void TVistrelViewLogic::MaxOrigin(int32_t& MaxX, int32_t& MaxY) {
  MaxX = MaxY = 0;
  int64_t a = int64_t(double(FImageWidth) * FZoomX);
  int64_t b = int64_t(double(FImageHeight) * FZoomY);
  const bool growA = ViewClientWidth() + 10 < a, growB = ViewClientHeight() + 10 < b;
  const bool equal = FHorzZoom == FVertZoom;
  if ((equal && (growA || growB)) || (!equal && growA))
    a = int64_t(double(FImageWidth + 1) * FZoomX);
  if ((equal && (growA || growB)) || (!equal && growB))
    b = int64_t(double(FImageHeight + 1) * FZoomY);
  if (a < 1 || b < 1) return;
  int64_t mx = a - ViewClientWidth(), my = b - ViewClientHeight();
  if (mx < 0 || ScreenToBitmapX(int32_t(std::min<int64_t>(mx, INT32_MAX))) == 0) mx = 0;
  if (my < 0 || ScreenToBitmapY(int32_t(std::min<int64_t>(my, INT32_MAX))) == 0) my = 0;
  if (equal) {
    if (FOuterWidth >= a && FOuterHeight >= b) mx = my = 0;
  } else {
    if (FOuterWidth >= a) mx = 0;
    if (FOuterHeight >= b) my = 0;
  }
  MaxX = int32_t(std::min<int64_t>(mx, INT32_MAX));
  MaxY = int32_t(std::min<int64_t>(my, INT32_MAX));
}

void TVistrelViewLogic::SetupScrollBars() {
  int32_t maxX, maxY;
  MaxOrigin(maxX, maxY);
  const int32_t maxes[2] = {maxX, maxY};
  const int32_t clients[2] = {ViewClientWidth(), ViewClientHeight()};
  const int32_t origins[2] = {FOriginX, FOriginY};
  const int allowed[2] = {ssHorizontal, ssVertical};
  for (int i = 0; i < 2; ++i) {
    TVLScrollBarState& s = FScroll[i];
    if (!(FScrollBars & allowed[i]) || maxes[i] < 1) {
      s.Visible = false;
      continue;
    }
    s.Visible = true;
    s.Factor = (double(clients[i]) + double(maxes[i])) / 65536.0;
    s.Page = Trunc32(double(clients[i]) / s.Factor);
    s.Position = Trunc32(double(origins[i]) / s.Factor);
  }
}

// ---- Zoom and origin writes --------------------------------------------------------------------

void TVistrelViewLogic::ArmFilterDelay(bool Horz, bool Vert) {
  if (!DelayZoomFilter || FZoomFilter == rfNone) return;
  if ((Horz && FHorzZoom != 100.0) || (Vert && FVertZoom != 100.0)) FFilterDelay = 4;
}

bool TVistrelViewLogic::ExtentFits(double Zoom, int32_t Size) const {
  return double(Size) * Zoom / 100.0 <= kMaxExtent;
}

void TVistrelViewLogic::ApplyZoom(double NewHorz, double NewVert, bool Horz, bool Vert) {
  int32_t maxX, maxY;
  MaxOrigin(maxX, maxY);
  if (Horz) {
    const int32_t c = ViewClientWidth() / 2;
    const double o = std::nearbyint((c + FOriginX - FOffsetX) * (100.0 / FHorzZoom));
    FOriginX = std::clamp(Trunc32(o * NewHorz / 100.0 - c), 0, std::max(maxX, 0));
    FHorzZoom = NewHorz;
  }
  if (Vert) {
    const int32_t c = ViewClientHeight() / 2;
    const double o = std::nearbyint((c + FOriginY - FOffsetY) * (100.0 / FVertZoom));
    FOriginY = std::clamp(Trunc32(o * NewVert / 100.0 - c), 0, std::max(maxY, 0));
    FVertZoom = NewVert;
  }
  RecomputeFactors();
}

void TVistrelViewLogic::ZoomWrite(double NewHorz, double NewVert, bool Horz, bool Vert) {
  if ((Horz && !(NewHorz > 0.0)) || (Vert && !(NewVert > 0.0))) return;
  if ((!Horz || NewHorz == FHorzZoom) && (!Vert || NewVert == FVertZoom)) return;
  if ((Horz && !ExtentFits(NewHorz, FImageWidth)) || (Vert && !ExtentFits(NewVert, FImageHeight)))
    return;
  BeginPaintLock();
  ApplyZoom(NewHorz, NewVert, Horz, Vert);
  ArmFilterDelay(Horz, Vert);
  Update();
  Update();
  ComputeVisibleRects();
  BuildCoordTables();
  ReleasePaintLock();
  if (OnPaintNow) OnPaintNow();
  ViewChange(1);
}

void TVistrelViewLogic::SetZoom(double Value) { ZoomWrite(Value, Value, true, true); }
void TVistrelViewLogic::SetHorzZoom(double Value) { ZoomWrite(Value, FVertZoom, true, false); }
void TVistrelViewLogic::SetVertZoom(double Value) { ZoomWrite(FHorzZoom, Value, false, true); }

void TVistrelViewLogic::Fit() {
  if (FImageWidth <= 0 || FImageHeight <= 0) SyncLayers();
  if (FImageWidth <= 0 || FImageHeight <= 0) return;
  FScroll[0].Visible = FScroll[1].Visible = false;
  SetZoom(AutomaticZoom(FImageWidth, FImageHeight, 1, 1, true, true));
}

void TVistrelViewLogic::SetOriginX(int32_t Value) {
  int32_t maxX, maxY;
  MaxOrigin(maxX, maxY);
  Value = std::clamp(Value, 0, std::max(maxX, 0));
  if (Value == FOriginX) return;
  FOriginX = Value;
  ArmFilterDelay(true, true);
  ComputeVisibleRects();
  FBackBufferDirty = FFullRepaint = true;
  if (OnPaintNow) OnPaintNow();
  ViewChange(0);
  if (FScroll[0].Visible) FScroll[0].Position = Trunc32(double(Value) / FScroll[0].Factor);
}

void TVistrelViewLogic::SetOriginY(int32_t Value) {
  int32_t maxX, maxY;
  MaxOrigin(maxX, maxY);
  Value = std::clamp(Value, 0, std::max(maxY, 0));
  if (Value == FOriginY) return;
  FOriginY = Value;
  ArmFilterDelay(true, true);
  ComputeVisibleRects();
  FBackBufferDirty = FFullRepaint = true;
  if (OnPaintNow) OnPaintNow();
  ViewChange(0);
  if (FScroll[1].Visible) FScroll[1].Position = Trunc32(double(Value) / FScroll[1].Factor);
}

int32_t TVistrelViewLogic::EndPaintLock() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) Update();
  return FPaintLock;
}

int32_t TVistrelViewLogic::ReleasePaintLock() {
  if (FPaintLock > 0) --FPaintLock;
  return FPaintLock;
}

void TVistrelViewLogic::EndUpdateLock() {
  if (FUpdateLock > 0) --FUpdateLock;
  if (FUpdateLock == 0) Update();
}

// ---- Painting ----------------------------------------------------------------------------------

bool TVistrelViewLogic::PrepareBackBuffer() {
  const int32_t w = ViewClientWidth(), h = ViewClientHeight();
  if (!FHasHost || w <= 0 || h <= 0 || FPaintLock > 0) return false;
  if (FBackBufferPixels.Width() != w || FBackBufferPixels.Height() != h) {
    FBackBufferPixels.SetSize(w, h);
    FBackBufferRows.resize(size_t(h));
    for (int32_t y = 0; y < h; ++y) FBackBufferRows[size_t(y)] = FBackBuffer->Scanline(y);
    // A new back buffer starts as the background, never black, whatever renders into it.
    TVLBackgroundSettings s;
    s.Background = FBackground;
    PaintBackgroundStyle(*FBackBuffer, s);
    FBackBufferDirty = true;
  }
  if (FBackBufferDirty) {
    // Rendered whole, so any area the window copies next is current.
    PaintToBackBuffer(*FBackBuffer, FBackBufferRows, nullptr);
    FBackBufferDirty = false;
    ++FRenderCount;
  }
  return true;
}

void TVistrelViewLogic::AfterPaint() {
  FFullRepaint = false;
  TickFilterDelay();
}

void TVistrelViewLogic::TickFilterDelay() {
  if (FFilterDelay > 0 && --FFilterDelay == 0) Update();
}

void TVistrelViewLogic::PaintBackground(TVLBitmap& Target, bool BeforeFirstLayer,
                                        const TVLRect* Clip) {
  if (BeforeFirstLayer && FOffsetX < 1 && FOffsetY < 1 && FDstWidth >= Target.Width() &&
      FDstHeight >= Target.Height()) {
    const TVLLayer& first = *FLayers[0];
    TVLBitmap* b = first.LayerBitmap();
    if (first.Opacity > 254 &&
        (!FEnableAlphaChannel || !b->HasAlphaLayer() || b->AlphaLayer()->AllMax()))
      return;
  }
  if (OnDrawBackground) {
    bool handled = false;
    OnDrawBackground(Target, TVLRect{0, 0, Target.Width() - 1, Target.Height() - 1}, handled);
    if (handled) return;
  }
  TVLBackgroundSettings s;
  s.Background = FBackground;
  s.ButtonFace = ButtonFace;
  s.Style = FBackgroundStyle;
  s.ChessboardSize = ChessboardSize;
  s.GradientEnd = GradientEnd;
  s.EdgeX = EdgeX;
  s.EdgeY = EdgeY;
  s.Designing = Designing;
  s.ImageX = FOffsetX;
  s.ImageY = FOffsetY;
  s.ImageWidth = std::min(FDstWidth, FVisibleWidth);
  s.ImageHeight = std::min(FDstHeight, FVisibleHeight);
  s.WallPaper = FWallPaper.get();
  s.WallPaperStyle = FWallPaperStyle;
  PaintBackgroundStyle(Target, s, Clip);
}

void TVistrelViewLogic::DrawLayer(int32_t Index, TVLBitmap& Target, std::vector<uint8_t*>& Rows,
                                  const TVLRect* Clip, bool First, TResampleFilter Filter) {
  TVLLayer& layer = *FLayers[size_t(Index)];
  TVLBitmap* bmp = layer.LayerBitmap();
  TVLRenderArgs a;
  a.Rows = &Rows;
  a.ClipRect = Clip;
  a.UseAlpha = FEnableAlphaChannel;
  a.Opacity = layer.Opacity;
  a.Operation = layer.Operation;
  a.Filter = Filter;
  a.SolidUnder = First && FBackgroundStyle == vlbsSolid && !FWallPaper && !OnDrawBackground;
  if ((Index == 0 && layer.PlainImage()) || KeepLayersSameSize) {
    const int32_t ox = SnappedOrigin(FOriginX, FExtentWidth, FS2BX, FB2SX);
    const int32_t oy = SnappedOrigin(FOriginY, FExtentHeight, FS2BY, FB2SY);
    if (ox < int32_t(FS2BX.size()) && oy < int32_t(FS2BY.size())) {
      a.XTable = FS2BX.data() + ox;
      a.XLength = FS2BX.size() - size_t(ox);
      a.YTable = FS2BY.data() + oy;
      a.YLength = FS2BY.size() - size_t(oy);
    }
    a.DstX = FOffsetX;
    a.DstY = FOffsetY;
    a.DstWidth = FDstWidth;
    a.DstHeight = FDstHeight;
    a.SrcX = FSrcX;
    a.SrcY = FSrcY;
    a.SrcWidth = FSrcWidth;
    a.SrcHeight = FSrcHeight;
  } else {
    const int32_t w = layer.DrawWidth ? layer.DrawWidth : bmp->Width();
    const int32_t h = layer.DrawHeight ? layer.DrawHeight : bmp->Height();
    a.DstX = BitmapToScreenX(layer.Left);
    a.DstY = BitmapToScreenY(layer.Top);
    a.DstWidth = BitmapToScreenX(layer.Left + w) - a.DstX;
    a.DstHeight = BitmapToScreenY(layer.Top + h) - a.DstY;
    a.SrcWidth = bmp->Width();
    a.SrcHeight = bmp->Height();
    if (layer.CropToImage && w > 0 && h > 0) {
      // Cut the parts outside layer 0, moving the source in proportion.
      const int32_t imgL = BitmapToScreenX(0), imgT = BitmapToScreenY(0);
      const int32_t imgR = BitmapToScreenX(FImageWidth), imgB = BitmapToScreenY(FImageHeight);
      if (layer.Left < 0) {
        a.SrcX = Trunc32(double(bmp->Width()) / w * -layer.Left);
        a.SrcWidth -= a.SrcX;
        a.DstWidth -= imgL - a.DstX;
        a.DstX = imgL;
      }
      if (layer.Top < 0) {
        a.SrcY = Trunc32(double(bmp->Height()) / h * -layer.Top);
        a.SrcHeight -= a.SrcY;
        a.DstHeight -= imgT - a.DstY;
        a.DstY = imgT;
      }
      if (a.DstX + a.DstWidth > imgR && a.DstWidth > 0) {
        const int32_t cut = a.DstX + a.DstWidth - imgR;
        a.SrcWidth -= Trunc32(double(a.SrcWidth) * cut / a.DstWidth);
        a.DstWidth -= cut;
      }
      if (a.DstY + a.DstHeight > imgB && a.DstHeight > 0) {
        const int32_t cut = a.DstY + a.DstHeight - imgB;
        a.SrcHeight -= Trunc32(double(a.SrcHeight) * cut / a.DstHeight);
        a.DstHeight -= cut;
      }
    }
  }
  VLRender(*bmp, Target, a);
  layer.ClientRect = TVLRect{a.DstX, a.DstY, a.DstX + a.DstWidth, a.DstY + a.DstHeight};
  layer.LastDstX = a.DstX;
  layer.LastDstY = a.DstY;
  layer.LastDstWidth = a.DstWidth;
  layer.LastDstHeight = a.DstHeight;
  layer.LastSrcX = a.SrcX;
  layer.LastSrcY = a.SrcY;
  layer.LastSrcWidth = a.SrcWidth;
  layer.LastSrcHeight = a.SrcHeight;
}

void TVistrelViewLogic::ApplyMask(int32_t Index) {
  TVLLayer& layer = *FLayers[size_t(Index)];
  TVLLayer& mask = *FLayers[size_t(Index) + 1];
  TVLBitmap* b = layer.LayerBitmap();
  TVLBitmap* m = mask.LayerBitmap();
  const int32_t bw = b->Width(), bh = b->Height(), mbw = m->Width(), mbh = m->Height();
  if (bw <= 0 || bh <= 0 || mbw <= 0 || mbh <= 0) return;
  // Both layers in layer-0 pixels: where each lies and how large it is drawn.
  const double lw = layer.DrawWidth ? layer.DrawWidth : bw,
               lh = layer.DrawHeight ? layer.DrawHeight : bh;
  const double mw = mask.DrawWidth ? mask.DrawWidth : mbw,
               mh = mask.DrawHeight ? mask.DrawHeight : mbh;
  TVLBitmap* alpha = b->AlphaLayer();
  alpha->SetAllMax(false);
  for (int32_t y = 0; y < bh; ++y) {
    const double iy = layer.Top + (y + 0.5) * lh / bh;
    const int32_t my = int32_t(std::floor((iy - mask.Top) * mbh / mh));
    for (int32_t x = 0; x < bw; ++x) {
      const double ix = layer.Left + (x + 0.5) * lw / bw;
      const int32_t mx = int32_t(std::floor((ix - mask.Left) * mbw / mw));
      uint8_t v = 0;  // outside the mask nothing shows
      if (mx >= 0 && mx < mbw && my >= 0 && my < mbh) {
        const TRGB c = m->PixelAsRGB(mx, my);
        v = std::max({c.r, c.g, c.b});
      }
      alpha->SetPixel8(x, y, std::min(alpha->Pixel8(x, y), v));
    }
  }
}

void TVistrelViewLogic::PaintToBackBuffer(TVLBitmap& Target, std::vector<uint8_t*>& Rows,
                                          const TVLRect* Clip) {
  SyncLayers();
  ComputeVisibleRects();
  BuildCoordTables();
  if (Designing || FImageWidth == 0 || FImageHeight == 0) return;
  if (FBitmap->HasAlphaLayer()) {
    TVLBitmap* alpha = FBitmap->AlphaLayer();
    if (alpha->Width() != FBitmap->Width() || alpha->Height() != FBitmap->Height()) return;
  }
  bool drawn = false;
  for (int32_t i = 0; i < LayerCount(); ++i) {
    TVLLayer& layer = *FLayers[size_t(i)];
    TVLBitmap* bmp = layer.LayerBitmap();
    if (!layer.Visible || FDstWidth == 0 || FDstHeight == 0) continue;
    if (bmp->Width() < 2 && bmp->Height() < 2) continue;
    if (layer.IsMask && i > 0) continue;  // drawn through the layer below it
    if (!drawn) PaintBackground(Target, true, Clip);
    TResampleFilter filter = FZoomFilter;
    if (FFilterDelay > 0 || (layer.PlainImage() && FHorzZoom == 100.0 && FVertZoom == 100.0))
      filter = rfNone;
    else if (layer.OwnFilterOn)
      filter = layer.OwnFilter;
    const bool masked = i + 1 < LayerCount() && FLayers[size_t(i) + 1]->IsMask;
    if (masked) {
      // Drawn with its alpha limited by the mask, then its own alpha comes back.
      std::unique_ptr<TVLBitmap> saved;
      if (bmp->HasAlphaLayer()) {
        saved = std::make_unique<TVLBitmap>();
        saved->Assign(*bmp->AlphaLayer());
      }
      ApplyMask(i);
      const bool alphaWas = FEnableAlphaChannel;
      FEnableAlphaChannel = true;
      DrawLayer(i, Target, Rows, Clip, !drawn, filter);
      FEnableAlphaChannel = alphaWas;
      if (saved)
        bmp->AlphaLayer()->Assign(*saved);
      else
        bmp->DropAlphaLayer();
    } else {
      DrawLayer(i, Target, Rows, Clip, !drawn, filter);
    }
    drawn = true;
  }
  if (!drawn) PaintBackground(Target, false, Clip);
}
