#pragma once
// The preview control: a sunken frame that shows the image its I/O component loaded, fitted
// and centred over a painted background. The geometry, the layers, the background and the
// back buffer live in the Qt-free TVistrelViewLogic; this widget forwards its size and paint
// events to it and copies the back buffer to the screen.

#include <QFrame>
#include <QTimer>
#include <functional>
#include <memory>

#include "imaging/component/view_link.h"
#include "imaging/model/bitmap.h"
#include "imaging/view/resample_filter.h"
#include "imaging/view/view_logic.h"

class TVistrelIO;
class QPainter;
class QScrollBar;

class TVistrelView : public QFrame, public TVLView {
  Q_OBJECT

 public:
  explicit TVistrelView(QWidget* parent = nullptr);
  ~TVistrelView() override;

  TVistrelViewLogic& Logic() { return FLogic; }

  bool AutoFit() const { return FLogic.AutoFit; }
  void SetAutoFit(bool value);
  TResampleFilter ZoomFilter() const { return FLogic.ZoomFilter(); }
  void SetZoomFilter(TResampleFilter value) { FLogic.SetZoomFilter(value); }
  TScrollStyle ScrollBars() const { return FLogic.ScrollBars(); }
  void SetScrollBars(TScrollStyle value) { FLogic.SetScrollBars(value); }
  TVLBackgroundStyle BackgroundStyle() const { return FLogic.BackgroundStyle(); }
  void SetBackgroundStyle(TVLBackgroundStyle value) { FLogic.SetBackgroundStyle(value); }
  bool DrawVersion() const { return FLogic.DrawVersion(); }
  void SetDrawVersion(bool value) { FLogic.SetDrawVersion(value); }
  bool LegacyBitmap() const { return FLogic.LegacyBitmap(); }
  void SetLegacyBitmap(bool value) { FLogic.SetLegacyBitmap(value); }
  // The version the control reports; writes are ignored.
  QString VistrelVersion() const { return QStringLiteral("2.2.1"); }
  void SetVistrelVersion(const QString&) {}
  double Zoom() const { return FLogic.Zoom(); }
  void SetZoom(double value) { FLogic.SetZoom(value); }
  void Fit() { FLogic.Fit(); }
  void SetOriginX(int32_t value);
  void SetOriginY(int32_t value);
  QScrollBar* HorzScrollBar() const { return FScrollBar[0]; }
  QScrollBar* VertScrollBar() const { return FScrollBar[1]; }
  void Clear() { FLogic.Clear(); }
  void SetBackground(TColor value);

  // The view's I/O component, created on the first call, attached to this view and freed
  // with it. Images it loads are shown in this view.
  TVistrelIO* ImageIO();

  // Paints the background in place of the view's own style; set Handled to keep what it drew.
  std::function<void(QPainter& Painter, const QRect& Rect, bool& Handled)> OnDrawBackground;
  void SetOnDrawBackground(
      std::function<void(QPainter& Painter, const QRect& Rect, bool& Handled)> handler);

  // Fired after each paint, after the back buffer was rendered, and with the painter on the
  // client area after the back buffer was copied.
  std::function<void()> OnPaint;
  std::function<void()> OnDrawBackBuffer;
  std::function<void(QPainter& Painter, const QRect& Client)> OnDrawCanvas;

  // TVLView
  TVLBitmap* Bitmap() override { return FLogic.Bitmap(); }
  TToolkitBitmap* ToolkitBitmap() override { return FLogic.ToolkitBitmap(); }
  // Refits the image and schedules a repaint.
  void Update() override;
  void ImageChange() override { emit ImageChanged(); }
  TColor Background() const override { return FLogic.Background(); }

  // The rectangle, in widget coordinates, that the image is drawn into (empty without one).
  QRect ImageRect();

 signals:
  void ImageChanged();
  void ViewChanged(int change);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void SyncGeometry();
  // The client area: the frame's contents less the scroll bars that are shown.
  QRect ClientRect() const;
  // Shows, hides and sets the scroll bars as the logic computed them; true when one of them
  // appeared or vanished, which changes the client size.
  bool ApplyScrollBars();
  TColor PaletteButtonFace() const;

  void RequestPaint();

  TVistrelViewLogic FLogic;
  bool FPaintPosted = false;
  QTimer FAnimationTimer;          // runs while a delayed zoom filter waits
  QScrollBar* FScrollBar[2] = {};  // horizontal, vertical
  bool FApplyingScrollBars = false;
  std::unique_ptr<TVistrelIO> FImageIO;
};
