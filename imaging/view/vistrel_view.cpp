#include "imaging/view/vistrel_view.h"

#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>

TVistrelView::TVistrelView(QWidget* parent) : QFrame(parent) {
  // The sunken client edge of two pixels that the preview box has on the form.
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAutoFillBackground(false);
}

TVistrelView::~TVistrelView() = default;

void TVistrelView::SetAutoFit(bool value) {
  FAutoFit = value;
  Update();
}

void TVistrelView::SetZoomFilter(TResampleFilter value) {
  FZoomFilter = value;
  Update();
}

void TVistrelView::SetScrollBars(TScrollStyle value) {
  // The view never shows scroll bars of its own yet; the setting is kept for the renderer.
  FScrollBars = value;
  Update();
}

TStandInImageIO* TVistrelView::ImageIO() {
  if (!FImageIO) FImageIO = std::make_unique<TStandInImageIO>();
  return FImageIO.get();
}

void TVistrelView::Update() { update(); }

void TVistrelView::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(contentsRect() & event->rect(), palette().color(QPalette::Button));
  }
  QFrame::paintEvent(event);
}

void TVistrelView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  Update();
}
