#pragma once
// The preview control: a sunken frame that shows the image its I/O component loaded,
// fitted to the control and centred. It holds the image in a TVLBitmap and offers the
// components that work on it (the I/O component above all) the TVLView interface.

#include <QFrame>
#include <memory>

#include "imaging/component/view_link.h"
#include "imaging/model/bitmap.h"
#include "imaging/view/resample_filter.h"

class TVistrelIO;

// Which scroll bars the view may show.
enum TScrollStyle : int { ssNone = 0, ssHorizontal = 1, ssVertical = 2, ssBoth = 3 };

class TVistrelView : public QFrame, public TVLView {
  Q_OBJECT

 public:
  explicit TVistrelView(QWidget* parent = nullptr);
  ~TVistrelView() override;

  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool value);
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle value);

  // The view's I/O component, created on the first call, attached to this view and freed
  // with it. Images it loads are shown in this view.
  TVistrelIO* ImageIO();

  // TVLView
  TVLBitmap* Bitmap() override { return &FBitmap; }
  TToolkitBitmap* ToolkitBitmap() override { return nullptr; }
  // Refits the image and repaints the view.
  void Update() override;
  void ImageChange() override { emit ImageChanged(); }
  TColor Background() const override;

  // The rectangle, in widget coordinates, that the image is drawn into (empty without one).
  // Not const: a bitmap's size getters may first resynchronise with its storage.
  QRect ImageRect();

 signals:
  void ImageChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool FAutoFit = false;
  TResampleFilter FZoomFilter = rfNone;
  TScrollStyle FScrollBars = ssBoth;
  // Declared before the I/O component, which works on it and so must go first.
  TVLBitmap FBitmap;
  std::unique_ptr<TVistrelIO> FImageIO;
};
