#include "imaging/view/vistrel_view.h"

#include <QImage>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/component/vistrel_io.h"
#include "imaging/model/pixel_conversions.h"

namespace {

// Point-samples the bitmap into an image of the given size, one source row at a time (a
// file-backed bitmap hands out one row at a time).
QImage SampleToSize(TVLBitmap& bitmap, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  const int32_t w = bitmap.Width();
  const int32_t h = bitmap.Height();
  std::vector<TRGB> row(static_cast<size_t>(w));
  std::vector<int32_t> columns(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) columns[x] = static_cast<int32_t>(int64_t(x) * w / width);
  int32_t loaded = -1;
  for (int y = 0; y < height; ++y) {
    const int32_t sy = static_cast<int32_t>(int64_t(y) * h / height);
    if (sy != loaded) {
      ReadRowAsRGB(bitmap, sy, row.data());
      loaded = sy;
    }
    uchar* out = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const TRGB& c = row[columns[x]];
      out[3 * x] = c.r;
      out[3 * x + 1] = c.g;
      out[3 * x + 2] = c.b;
    }
  }
  return image;
}

}  // namespace

TVistrelView::TVistrelView(QWidget* parent) : QFrame(parent) {
  // The sunken client edge of two pixels that the preview box has on the form.
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAutoFillBackground(false);
}

TVistrelView::~TVistrelView() {
  // The component detaches from this view while the view is still whole.
  FImageIO.reset();
}

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

TVistrelIO* TVistrelView::ImageIO() {
  if (!FImageIO) {
    FImageIO = std::make_unique<TVistrelIO>();
    FImageIO->SetAttachedVistrel(this);
  }
  return FImageIO.get();
}

void TVistrelView::Update() { update(); }

TColor TVistrelView::Background() const {
  const QColor c = palette().color(QPalette::Button);
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QRect TVistrelView::ImageRect() {
  const QRect box = contentsRect();
  if (FBitmap.IsEmpty() || box.isEmpty()) return {};
  const int32_t w = FBitmap.Width();
  const int32_t h = FBitmap.Height();
  // Fitted: one zoom for both axes, small images enlarged and large ones shrunk; without
  // AutoFit the image is shown at its own size, shrunk only when it does not fit.
  double zoom = std::min(double(box.width()) / w, double(box.height()) / h);
  if (!FAutoFit) zoom = std::min(zoom, 1.0);
  const int dw = std::max(1, static_cast<int>(std::nearbyint(w * zoom)));
  const int dh = std::max(1, static_cast<int>(std::nearbyint(h * zoom)));
  return QRect(box.x() + (box.width() - dw) / 2, box.y() + (box.height() - dh) / 2, dw, dh);
}

void TVistrelView::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(contentsRect() & event->rect(), palette().color(QPalette::Button));
    QRect target;
    QImage image;
    try {
      target = ImageRect();
      if (!target.isEmpty()) image = SampleToSize(FBitmap, target.width(), target.height());
    } catch (...) {
      // Pixels that cannot be read (a temporary image file that failed) are not drawn: a
      // paint event has no one to report to, and exceptions must not reach the event loop.
      image = QImage();
    }
    if (!image.isNull()) painter.drawImage(target.topLeft(), image);
  }
  QFrame::paintEvent(event);
}

void TVistrelView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  Update();
}
