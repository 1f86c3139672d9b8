#pragma once
// The preview control: a sunken frame that shows the image its I/O component loaded,
// fitted to the control. Until the real I/O component and renderer are attached it shows
// only its background.

#include <QFrame>
#include <memory>

#include "imaging/view/resample_filter.h"
#include "imaging/view/standin_image_io.h"

// Which scroll bars the view may show.
enum TScrollStyle : int { ssNone = 0, ssHorizontal = 1, ssVertical = 2, ssBoth = 3 };

class TVistrelView : public QFrame {
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

  // The view's I/O component, created on the first call and freed with the view. Images it
  // loads are shown in this view.
  TStandInImageIO* ImageIO();

  // Refits and repaints the view.
  void Update();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool FAutoFit = false;
  TResampleFilter FZoomFilter = rfNone;
  TScrollStyle FScrollBars = ssBoth;
  std::unique_ptr<TStandInImageIO> FImageIO;
};
