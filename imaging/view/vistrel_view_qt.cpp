#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <cmath>

#include "imaging/component/vistrel_io.h"
#include "imaging/view/vistrel_view.h"

namespace {

// Posted to the view when its picture changed; handled when the owner services the queue.
const QEvent::Type kPaintRequest = QEvent::Type(QEvent::User + 7000);

// The back buffer's pixels as an image, without copying: rows lie bottom-up in memory, so
// the image is upside down and is drawn through a flipping transform.
QImage WrapBottomUp(TToolkitBitmap& pixels) {
  return QImage(pixels.Bits(), pixels.Width(), pixels.Height(), pixels.RowBytes(),
                QImage::Format_BGR888);
}

void FlipInto(QPainter& painter, const QRect& box) {
  painter.translate(box.x(), box.y() + box.height());
  painter.scale(1, -1);
}

}  // namespace

TVistrelView::TVistrelView(QWidget* parent) : QFrame(parent) {
  // The sunken client edge of two pixels that the preview box has on the form.
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAutoFillBackground(false);
  // Every paint covers the client area from the back buffer; nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  FLogic.ButtonFace = PaletteButtonFace();
  FLogic.SetBackground(FLogic.ButtonFace);
  FLogic.OnInvalidate = [this] { RequestPaint(); };
  FLogic.OnPaintNow = [this] { repaint(); };
  FLogic.OnViewChange = [this](int32_t change) { emit ViewChanged(change); };
  FLogic.OnChangeCallbacks = [this] { CallChangeCallbacks(); };
  for (int i = 0; i < 2; ++i) {
    FScrollBar[i] = new QScrollBar(i == 0 ? Qt::Horizontal : Qt::Vertical, this);
    FScrollBar[i]->hide();
    FScrollBar[i]->setRange(0, 65535);
    connect(FScrollBar[i], &QScrollBar::valueChanged, this, [this, i](int value) {
      if (FApplyingScrollBars) return;
      const TVLScrollBarState& st = i == 0 ? FLogic.HorzScrollBar() : FLogic.VertScrollBar();
      const int32_t origin = int32_t(std::trunc(value * st.Factor));
      if (i == 0)
        FLogic.SetOriginX(origin);
      else
        FLogic.SetOriginY(origin);
    });
  }
  FAnimationTimer.setInterval(210);
  connect(&FAnimationTimer, &QTimer::timeout, this, [this] {
    FLogic.TickFilterDelay();
    if (FLogic.FilterDelay() == 0) FAnimationTimer.stop();
  });
  SyncGeometry();
}

TVistrelView::~TVistrelView() {
  // The component detaches from this view while the view is still whole.
  FImageIO.reset();
}

TColor TVistrelView::PaletteButtonFace() const {
  const QColor c = palette().color(QPalette::Button);
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QRect TVistrelView::ClientRect() const {
  QRect r = contentsRect();
  if (FScrollBar[1] && FScrollBar[1]->isVisibleTo(this))
    r.setRight(r.right() - FScrollBar[1]->sizeHint().width());
  if (FScrollBar[0] && FScrollBar[0]->isVisibleTo(this))
    r.setBottom(r.bottom() - FScrollBar[0]->sizeHint().height());
  return r;
}

void TVistrelView::SyncGeometry() {
  const QRect client = ClientRect();
  FLogic.SetHostGeometry(true, width(), height(), std::max(client.width(), 0),
                         std::max(client.height(), 0));
}

bool TVistrelView::ApplyScrollBars() {
  bool changed = false;
  FApplyingScrollBars = true;
  for (int i = 0; i < 2; ++i) {
    const TVLScrollBarState& st = i == 0 ? FLogic.HorzScrollBar() : FLogic.VertScrollBar();
    QScrollBar* bar = FScrollBar[i];
    if (bar->isVisibleTo(this) != st.Visible) {
      bar->setVisible(st.Visible);
      changed = true;
    }
    if (!st.Visible) continue;
    const double zoomSteps =
        std::max(std::trunc((i == 0 ? FLogic.HorzZoom() : FLogic.VertZoom()) / 100.0), 1.0);
    bar->setPageStep(std::max(st.Page, 1));
    bar->setSingleStep(std::max(int(zoomSteps / st.Factor), 1));
    bar->setValue(st.Position);
  }
  const QRect c = contentsRect();
  const int hh = FScrollBar[0]->sizeHint().height(), vw = FScrollBar[1]->sizeHint().width();
  const bool both = FScrollBar[0]->isVisibleTo(this) && FScrollBar[1]->isVisibleTo(this);
  FScrollBar[0]->setGeometry(c.left(), c.bottom() - hh + 1, c.width() - (both ? vw : 0), hh);
  FScrollBar[1]->setGeometry(c.right() - vw + 1, c.top(), vw, c.height() - (both ? hh : 0));
  FApplyingScrollBars = false;
  return changed;
}

void TVistrelView::SetOriginX(int32_t value) {
  FLogic.SetOriginX(value);
  ApplyScrollBars();
}

void TVistrelView::SetOriginY(int32_t value) {
  FLogic.SetOriginY(value);
  ApplyScrollBars();
}

void TVistrelView::SetAutoFit(bool value) {
  FLogic.AutoFit = value;
  Update();
}

void TVistrelView::SetBackground(TColor value) {
  FLogic.SetBackground(value);
  ImageChange();
}

TVistrelIO* TVistrelView::ImageIO() {
  if (!FImageIO) {
    FImageIO = std::make_unique<TVistrelIO>();
    FImageIO->SetAttachedVistrel(this);
  }
  return FImageIO.get();
}

void TVistrelView::SetOnDrawBackground(
    std::function<void(QPainter& Painter, const QRect& Rect, bool& Handled)> handler) {
  OnDrawBackground = std::move(handler);
  if (!OnDrawBackground) {
    FLogic.OnDrawBackground = nullptr;
  } else {
    FLogic.OnDrawBackground = [this](TVLBitmap&, const TVLRect& r, bool& handled) {
      QImage image = WrapBottomUp(FLogic.BackBufferPixels());
      QPainter painter(&image);
      FlipInto(painter, image.rect());
      OnDrawBackground(painter, QRect(r.Left, r.Top, r.Right - r.Left + 1, r.Bottom - r.Top + 1),
                       handled);
    };
  }
  Update();
}

void TVistrelView::Update() {
  SyncGeometry();
  FLogic.Update();
  if (ApplyScrollBars()) {
    // A scroll bar appeared or vanished: fit again to the new client size.
    SyncGeometry();
    FLogic.Update();
    ApplyScrollBars();
  }
}

QRect TVistrelView::ImageRect() {
  Update();
  if (FLogic.IsEmpty() || FLogic.DstWidth() <= 0 || FLogic.DstHeight() <= 0) return {};
  const QRect client = ClientRect();
  QRect r(client.x() + FLogic.OffsetX(), client.y() + FLogic.OffsetY(),
          std::min(FLogic.DstWidth(), FLogic.VisibleWidth()),
          std::min(FLogic.DstHeight(), FLogic.VisibleHeight()));
  return r & client;
}

void TVistrelView::paintEvent(QPaintEvent* event) {
  SyncGeometry();
  bool shown = false;
  try {
    const int32_t renders = FLogic.RenderCount();
    shown = FLogic.PrepareBackBuffer();
    if (FLogic.RenderCount() != renders && OnDrawBackBuffer) OnDrawBackBuffer();
  } catch (...) {
    // Pixels that cannot be read (a temporary image file that failed) are not drawn: a
    // paint event has no one to report to, and exceptions must not reach the event loop.
    shown = !FLogic.BackBufferPixels().Empty();
  }
  if (shown) {
    const QRect client = ClientRect();
    QPainter painter(this);
    painter.setClipRect(client & event->rect());
    {
      painter.save();
      FlipInto(painter, QRect(client.topLeft(), QSize(FLogic.BackBufferPixels().Width(),
                                                      FLogic.BackBufferPixels().Height())));
      painter.drawImage(0, 0, WrapBottomUp(FLogic.BackBufferPixels()));
      painter.restore();
    }
    if (OnDrawCanvas) OnDrawCanvas(painter, client);
    if (FLogic.DrawVersion()) {
      const QString label =
          QStringLiteral("Vistrel Version 2.2.1 - %1/%2/%3").arg(8).arg(12).arg(2005);
      QFont font(QStringLiteral("Arial"));
      font.setPixelSize(13);
      painter.setFont(font);
      const QFontMetrics metrics(font);
      QRect box(QPoint(0, 0), metrics.size(Qt::TextSingleLine, label));
      box.moveBottomRight(client.bottomRight());
      painter.fillRect(box, Qt::white);
      painter.setPen(Qt::black);
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    FLogic.AfterPaint();
    if (FLogic.FilterDelay() > 0 && !FAnimationTimer.isActive()) FAnimationTimer.start();
    if (OnPaint) OnPaint();
  }
  QFrame::paintEvent(event);
}

void TVistrelView::RequestPaint() {
  update();
  // The window's own update request may wait for the next frame; a posted request paints as
  // soon as the owner lets the queue run, so a copy in progress shows each image at once.
  if (FPaintPosted) return;
  FPaintPosted = true;
  QCoreApplication::postEvent(this, new QEvent(kPaintRequest));
}

bool TVistrelView::event(QEvent* event) {
  if (event->type() != kPaintRequest) return QFrame::event(event);
  FPaintPosted = false;
  if (isVisible() && FLogic.BackBufferDirty()) repaint();
  return true;
}

void TVistrelView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  Update();
}

void TVistrelView::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) FLogic.ButtonFace = PaletteButtonFace();
}
