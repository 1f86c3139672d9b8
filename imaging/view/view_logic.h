#pragma once
// The view's logic without a window: geometry (zoom, extents, centring, origins, the source
// rectangle and the coordinate tables), the layers, the background and the back buffer the
// picture is rendered into. The window forwards its size and paint requests here and copies
// the back buffer to the screen.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/model/bitmap.h"
#include "imaging/view/background.h"
#include "imaging/view/display_render.h"
#include "imaging/view/resample.h"
#include "imaging/view/resample_filter.h"
#include "imaging/view/view_layer.h"
#include "platform/toolkit_bitmap.h"

// Which scroll bars the view may show.
enum TScrollStyle : int { ssNone = 0, ssHorizontal = 1, ssVertical = 2, ssBoth = 3 };
enum TVLBorderStyle : int { bsNone = 0, bsSingle = 1 };

// What one scroll bar shows.
struct TVLScrollBarState {
  bool Visible = false;
  double Factor = 1.0;  // origin pixels per scroll unit
  int32_t Page = 0, Position = 0;
};

class TVistrelViewLogic {
 public:
  TVistrelViewLogic();
  ~TVistrelViewLogic();
  TVistrelViewLogic(const TVistrelViewLogic&) = delete;
  TVistrelViewLogic& operator=(const TVistrelViewLogic&) = delete;

  // ---- What the window tells the logic and what it asks of the window ----------------------
  // Outer and client size of the control; HasHost is true once it lives in a window.
  void SetHostGeometry(bool HasHost, int32_t OuterWidth, int32_t OuterHeight, int32_t ClientWidth,
                       int32_t ClientHeight);
  int32_t ViewClientWidth() const { return FHasHost ? FClientWidth : 50; }
  int32_t ViewClientHeight() const { return FHasHost ? FClientHeight : 50; }
  bool HasHost() const { return FHasHost; }
  int32_t EdgeX = 2, EdgeY = 2;               // system edge size
  int32_t BorderX = 1, BorderY = 1;           // system border size
  std::function<void()> OnInvalidate;         // a repaint later
  std::function<void()> OnPaintNow;           // a repaint at once
  std::function<void(int32_t)> OnViewChange;  // 1 zoom, 0 origin
  std::function<void(TVLBitmap& Target, const TVLRect& Rect, bool& Handled)> OnDrawBackground;
  std::function<void(int32_t Layer, TVLLayerEvent Event)> OnLayerNotify;

  // ---- Properties ------------------------------------------------------------------------------
  bool AutoFit = false, AutoShrink = false, AutoStretch = false;
  bool DelayZoomFilter = false;
  bool DoubleBuffer = true;
  bool KeepLayersSameSize = false;
  TVLBorderStyle BorderStyle = bsSingle;
  bool Ctl3D = true;
  bool Designing = false;
  TColor ButtonFace = 0xF0F0F0;
  int32_t ChessboardSize = 16;
  TColor GradientEnd = clBlue;
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  TVLBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TVLBackgroundStyle Value);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  // A copy of the picture (nullptr clears it).
  void SetWallPaper(TVLBitmap* Picture);
  TVLBitmap* WallPaper() const { return FWallPaper.get(); }
  TVLWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TVLWallPaperStyle Value);
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool LegacyBitmap() const { return FLegacyBitmap; }
  void SetLegacyBitmap(bool Value);
  bool DrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value);
  std::function<void()> OnChangeCallbacks;  // the view's change callbacks

  // ---- The image and its layers --------------------------------------------------------------
  TVLBitmap* Bitmap() const { return FBitmap; }
  TToolkitBitmap* ToolkitBitmap() const;
  int32_t LayerCount() const { return int32_t(FLayers.size()); }
  TVLLayer& Layer(int32_t Index) { return *FLayers[size_t(Index)]; }
  int32_t CurrentLayer() const { return FCurrentLayer; }
  // Appends a layer that owns Bitmap; returns its index.
  int32_t AddLayer(std::unique_ptr<TVLBitmap> Bitmap);
  void SelectLayer(int32_t Index);
  bool IsEmpty() const;  // narrower than 2 and lower than 2 pixels
  // Removes the image's alpha channel; with MergeAlpha a vl24RGB image is first flattened over
  // the background colour.
  void DropAlphaLayer(bool MergeAlpha);
  // Makes the image 1 x 1 in the background colour without alpha channel, then Update.
  void Clear();

  // ---- Geometry ------------------------------------------------------------------------------
  void Update();
  void Fit();
  double Zoom() const { return FHorzZoom; }
  double HorzZoom() const { return FHorzZoom; }
  double VertZoom() const { return FVertZoom; }
  void SetZoom(double Value);
  void SetHorzZoom(double Value);
  void SetVertZoom(double Value);
  int32_t OriginX() const { return FOriginX; }
  int32_t OriginY() const { return FOriginY; }
  void SetOriginX(int32_t Value);
  void SetOriginY(int32_t Value);
  void MaxOrigin(int32_t& MaxX, int32_t& MaxY);
  int32_t ScreenToBitmapX(int32_t X) const;
  int32_t ScreenToBitmapY(int32_t Y) const;
  int32_t BitmapToScreenX(int32_t X) const;
  int32_t BitmapToScreenY(int32_t Y) const;
  // The automatic zoom for an image in a box, enlarging and shrinking as allowed.
  double AutomaticZoom(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH, bool Enlarge,
                       bool Shrink) const;

  int32_t ImageWidth() const { return FImageWidth; }
  int32_t ImageHeight() const { return FImageHeight; }
  int32_t ExtentWidth() const { return FExtentWidth; }
  int32_t ExtentHeight() const { return FExtentHeight; }
  int32_t VisibleWidth() const { return FVisibleWidth; }
  int32_t VisibleHeight() const { return FVisibleHeight; }
  int32_t OffsetX() const { return FOffsetX; }
  int32_t OffsetY() const { return FOffsetY; }
  TVLSourceRect SrcRect() const { return {FSrcX, FSrcY, FSrcWidth, FSrcHeight}; }
  int32_t DstWidth() const { return FDstWidth; }
  int32_t DstHeight() const { return FDstHeight; }
  const TVLScrollBarState& HorzScrollBar() const { return FScroll[0]; }
  const TVLScrollBarState& VertScrollBar() const { return FScroll[1]; }

  // ---- Locks
  // -------------------------------------------------------------------------------------
  void BeginPaintLock() { ++FPaintLock; }
  int32_t EndPaintLock();
  int32_t ReleasePaintLock();
  int32_t PaintLock() const { return FPaintLock; }
  void BeginUpdateLock() { ++FUpdateLock; }
  void EndUpdateLock();
  int32_t FilterDelay() const { return FFilterDelay; }
  // One tick of the animation timer, which runs while the filter delay lasts: like a paint,
  // it counts the delay down and brings the filtered picture back at zero.
  void TickFilterDelay();

  // ---- Painting
  // ------------------------------------------------------------------------------------ Brings the
  // back buffer to the client size and renders it when dirty. Returns false when a paint must not
  // show anything (paint lock, no host, empty client area).
  bool PrepareBackBuffer();
  // After the window copied the back buffer: the next paint may cover only its clip rectangle,
  // and one more delayed-filter paint has passed.
  void AfterPaint();
  bool FullRepaint() const { return FFullRepaint; }
  bool BackBufferDirty() const { return FBackBufferDirty; }
  int32_t RenderCount() const { return FRenderCount; }
  TVLBitmap& BackBuffer() { return *FBackBuffer; }
  TToolkitBitmap& BackBufferPixels() { return FBackBufferPixels; }
  void PaintToBackBuffer(TVLBitmap& Target, std::vector<uint8_t*>& Rows, const TVLRect* Clip);
  // The background painter; BeforeFirstLayer lets it skip when the image covers everything.
  void PaintBackground(TVLBitmap& Target, bool BeforeFirstLayer, const TVLRect* Clip);

  // Exposed for tests of the geometry.
  void ComputeExtents();
  void ComputeVisibleRects();
  void BuildCoordTables();
  const std::vector<int32_t>& ScreenToBitmapTableX() const { return FS2BX; }
  const std::vector<int32_t>& ScreenToBitmapTableY() const { return FS2BY; }

 private:
  void SyncLayers();
  void RecomputeFactors();
  void ArmFilterDelay(bool Horz, bool Vert);
  void ApplyZoom(double NewHorz, double NewVert, bool Horz, bool Vert);
  void ZoomWrite(double NewHorz, double NewVert, bool Horz, bool Vert);
  bool ExtentFits(double Zoom, int32_t Size) const;
  void SetupScrollBars();
  int32_t SnappedOrigin(int32_t Origin, int32_t Extent, const std::vector<int32_t>& S2B,
                        const std::vector<int32_t>& B2S) const;
  void DrawLayer(int32_t Index, TVLBitmap& Target, std::vector<uint8_t*>& Rows, const TVLRect* Clip,
                 bool First, TResampleFilter Filter);
  void ApplyMask(int32_t Index);
  void Invalidate();
  void ViewChange(int32_t Change);

  bool FHasHost = false;
  int32_t FOuterWidth = 0, FOuterHeight = 0, FClientWidth = 0, FClientHeight = 0;
  bool FCenter = true;
  TResampleFilter FZoomFilter = rfNone;
  TScrollStyle FScrollBars = ssBoth;
  TVLBackgroundStyle FBackgroundStyle = vlbsSolid;
  TColor FBackground = 0xF0F0F0;
  std::unique_ptr<TVLBitmap> FWallPaper;
  TVLWallPaperStyle FWallPaperStyle = vlwoNormal;
  bool FEnableAlphaChannel = false;
  bool FLegacyBitmap = true;
  bool FDrawVersion = false;

  std::vector<std::unique_ptr<TVLLayer>> FLayers;
  int32_t FCurrentLayer = 0;
  TVLBitmap* FBitmap = nullptr;

  double FHorzZoom = 100.0, FVertZoom = 100.0;
  double FZoomX = 1.0, FZoomXInv = 1.0, FZoomY = 1.0, FZoomYInv = 1.0;
  int32_t FOriginX = 0, FOriginY = 0;
  int32_t FImageWidth = 0, FImageHeight = 0;
  int32_t FExtentWidth = 0, FExtentHeight = 0;
  int32_t FVisibleWidth = 0, FVisibleHeight = 0;
  int32_t FOffsetX = 0, FOffsetY = 0;
  int32_t FSrcX = 0, FSrcY = 0, FSrcWidth = 0, FSrcHeight = 0;
  int32_t FDstWidth = 0, FDstHeight = 0;
  int32_t FSeenWidth = -1, FSeenHeight = -1;
  int32_t FNotedClientWidth = 0, FNotedClientHeight = 0;
  TVLScrollBarState FScroll[2];

  // Screen-to-bitmap and bitmap-to-screen tables per axis, and what they were built for.
  std::vector<int32_t> FS2BX, FB2SX, FS2BY, FB2SY;
  double FTableHorzZoom = -1, FTableVertZoom = -1;
  int32_t FTableDstW = -1, FTableDstH = -1, FTableImgW = -1, FTableImgH = -1;

  TToolkitBitmap FBackBufferPixels;
  std::unique_ptr<TVLBitmap> FBackBuffer;
  std::vector<uint8_t*> FBackBufferRows;
  bool FBackBufferDirty = true;
  bool FFullRepaint = true;
  bool FInUpdate = false, FInNestedUpdate = false;
  int32_t FUpdateLock = 0, FPaintLock = 0, FFilterDelay = 0;
  int32_t FRenderCount = 0;
};
