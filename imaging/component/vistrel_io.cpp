// TVistrelIO: construction, attachment to a view or a toolkit bitmap, properties, and the
// steps the loaders and writers share.

#include "imaging/component/vistrel_io.h"

#include <algorithm>
#include <cmath>

#include "imaging/codecs/exif_writer.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/component/dpi_adjust.h"
#include "imaging/component/view_link.h"
#include "imaging/model/bitmap.h"
#include "platform/toolkit_bitmap.h"

TVistrelIO::TVistrelIO(TComponent* Owner)
    : TComponent(Owner),
      JpegWriter(EncodeJpeg),
      ExifBlockBuilder(BuildExifBlock) {
  UseOwnBitmap();
  // Made last: its defaults are reported back through the owner interface.
  FParams = std::make_unique<TIOParamsVals>(static_cast<IParamsOwner*>(this));
}

TVistrelIO::~TVistrelIO() {
  if (FView != nullptr) FView->RemoveChangeCallback(FViewCallback);
  FView = nullptr;
  FViewCallback = -1;
  // The parameter set goes before the bitmaps; nothing it does on destruction calls back.
  FParams.reset();
}

// ---- Attachment ---------------------------------------------------------------------------------

void TVistrelIO::UseOwnBitmap() {
  FOwnedBitmap = std::make_unique<TVLBitmap>();
  FTargetBitmap = FOwnedBitmap.get();
}

void TVistrelIO::FetchViewBitmap() {
  if (TVLBitmap* bitmap = FView->Bitmap()) {
    FOwnedBitmap.reset();
    FTargetBitmap = bitmap;
  } else if (TToolkitBitmap* toolkit = FView->ToolkitBitmap()) {
    FOwnedBitmap = std::make_unique<TVLBitmap>(toolkit);
    FTargetBitmap = FOwnedBitmap.get();
  } else {
    UseOwnBitmap();  // a view without any image: keep a bitmap so loads have a target
  }
}

void TVistrelIO::SetAttachedVistrel(TVLView* View) {
  if (View == FView) return;
  if (FView != nullptr) FView->RemoveChangeCallback(FViewCallback);
  FViewCallback = -1;
  FView = View;
  if (FView == nullptr) {
    UseOwnBitmap();
    return;
  }
  FetchViewBitmap();
  FViewCallback = FView->AddChangeCallback(
      [this](TVLView* view, bool destroying) { ViewChanged(view, destroying); });
}

void TVistrelIO::ViewChanged(TVLView* View, bool Destroying) {
  if (View != FView) return;
  if (Destroying) {
    // The view and its bitmap are going away: forget both.
    FView->RemoveChangeCallback(FViewCallback);
    FViewCallback = -1;
    FView = nullptr;
    UseOwnBitmap();
    return;
  }
  FetchViewBitmap();
  FParams->SetDpiX(FView->DpiX());
  FParams->SetDpiY(FView->DpiY());
}

TColor TVistrelIO::Background() const {
  return FView != nullptr ? FView->Background() : FBackground;
}

void TVistrelIO::SetBackground(TColor Value) {
  if (FView == nullptr) FBackground = Value;
}

bool TVistrelIO::NativePixelFormat() const { return FParams->KeepNativeFormat; }
void TVistrelIO::SetNativePixelFormat(bool Value) { FParams->KeepNativeFormat = Value; }

// ---- Parameter-set owner ------------------------------------------------------------------------

void TVistrelIO::ParamsDpiXChanged(int32_t DpiX) {
  if (FView != nullptr && !FQuietDpi) FView->SetDpiX(DpiX);
}

void TVistrelIO::ParamsDpiYChanged(int32_t DpiY) {
  if (FView != nullptr && !FQuietDpi) FView->SetDpiY(DpiY);
}

bool TVistrelIO::ParamsToolkitBitmapSize(int32_t& Width, int32_t& Height) {
  if (FAttachedBitmap == nullptr) return false;
  Width = FAttachedBitmap->Width();
  Height = FAttachedBitmap->Height();
  return true;
}

// ---- Events ------------------------------------------------------------------------------------

void TVistrelIO::DoProgress(TObject* Sender, int Percent) {
  if (OnProgress) OnProgress(Sender, Percent);
}

void TVistrelIO::FireFinishWork() {
  DoProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

TVLProgressState TVistrelIO::MakeProgress() {
  TVLProgressState p;
  p.OnProgress = [this](TObject* sender, int percent) { DoProgress(sender, percent); };
  p.Sender = this;
  p.AbortFlag = &FAbortFlag;
  return p;
}

// ---- Shared steps -------------------------------------------------------------------------------

bool TVistrelIO::PrepareTarget() {
  if (FTargetBitmap == nullptr) return false;
  if (FAttachedBitmap != nullptr) FTargetBitmap->AdoptToolkitBitmap(FAttachedBitmap, true);
  return true;
}

void TVistrelIO::UpdateAttached() {
  if (FAttachedBitmap != nullptr) {
    FTargetBitmap->DropAlphaLayer();
    if (FView == nullptr) FAttachedBitmap->SetModified(true);
  }
  if (FView != nullptr) {
    FView->Update();
    FView->ImageChange();
  }
}

void TVistrelIO::CheckDPI() {
  if (FParams->DpiX() < 2) FParams->SetDpiX(FallbackDpiX);
  if (FParams->DpiY() < 2) FParams->SetDpiY(FallbackDpiY);
}

// The image is resampled along its shorter side so that one resolution applies to both
// axes: a landscape image gets new height = trunc(Height / DpiY x DpiX) and DpiY := DpiX, any
// other new width = trunc(Width / DpiX x DpiY) and DpiX := DpiY. The bitmap's own size is
// used (it is what gets resampled). A size that would not fit in 32 bits is left alone; one
// that would round to 0 becomes 1. The resolution is written without telling the view.
void TVistrelIO::AdjustDPI() {
  TIOParamsVals& p = *FParams;
  const int32_t dpiX = p.DpiX(), dpiY = p.DpiY();
  if (dpiX == dpiY || dpiX < 1 || dpiY < 1 || FTargetBitmap == nullptr) return;
  const int32_t w = FTargetBitmap->Width(), h = FTargetBitmap->Height();
  if (w < 1 || h < 1) return;
  int32_t newW = w, newH = h;
  const bool landscape = h < w;
  const double scaled = landscape ? std::trunc(double(h) / dpiY * dpiX)
                                  : std::trunc(double(w) / dpiX * dpiY);
  if (!(scaled <= 2147483647.0)) return;
  (landscape ? newH : newW) = std::max<int32_t>(1, int32_t(scaled));
  if (FFilteredAdjustDPI)
    ResampleSmooth(*FTargetBitmap, newW, newH);
  else
    StretchNearest(*FTargetBitmap, newW, newH);
  FQuietDpi = true;
  if (landscape)
    p.SetDpiY(dpiX);
  else
    p.SetDpiX(dpiY);
  FQuietDpi = false;
}
