#include "tree_drawing.h"

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QMenu>
#include <QPageSize>
#include <QPaintEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "ui_support.h"
#include "window_placement.h"

namespace ramovia::ui {

QFont drawingFont(double pixels) {
  QFont f("DejaVu Sans");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(1, static_cast<int>(pixels + 0.5)));
  return f;
}

DrawingColours drawingColours(const QPalette& palette) {
  DrawingColours c;
  c.lines = palette.color(QPalette::Text);
  if (palette.color(QPalette::Base).lightness() < 128) c.support = QColor(0x8a, 0xb4, 0xf8);
  return c;
}

namespace {

// Whether a line or a text can leave ink inside `area` (drawing units; a null area is the whole
// drawing). The bounds are generous: the pen's width and antialiasing, and any glyph's width.
bool lineMeets(const DrawnLine& l, const QRectF& area) {
  if (area.isNull()) return true;
  const double air = 2.0;
  return std::min(l.x1, l.x2) - air <= area.right() && std::max(l.x1, l.x2) + air >= area.left() &&
         std::min(l.y1, l.y2) - air <= area.bottom() && std::max(l.y1, l.y2) + air >= area.top();
}

bool textMeets(const DrawnText& t, const QRectF& area) {
  if (area.isNull()) return true;
  const double wide = (static_cast<double>(t.text.size()) * 1.5 + 1.0) * t.size;
  double left = t.x, right = t.x + wide;
  if (t.anchor == DrawnText::Anchor::Middle) left = t.x - wide / 2, right = t.x + wide / 2;
  if (t.anchor == DrawnText::Anchor::End) left = t.x - wide, right = t.x;
  return left <= area.right() && right >= area.left() && t.y - 1.5 * t.size <= area.bottom() &&
         t.y + t.size >= area.top();
}

}  // namespace

void paintTreeDrawing(QPainter& p, const TreeDrawing& d, const DrawingColours& colours,
                      const QRectF& area) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  QPen pen(colours.lines, 1.2);
  pen.setCapStyle(Qt::SquareCap);
  p.setPen(pen);
  for (const auto& l : d.lines)
    if (lineMeets(l, area)) p.drawLine(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2));
  // Most texts share one size: its font is made once.
  double fontSize = -1.0;
  QFont font;
  for (const auto& t : d.texts) {
    if (!textMeets(t, area)) continue;
    if (t.size != fontSize) {
      fontSize = t.size;
      font = drawingFont(t.size);
      p.setFont(font);
    }
    p.setPen(t.role == DrawnText::Role::Support ? colours.support : colours.lines);
    const QString text = toDisplay(t.text);
    double x = t.x;
    if (t.anchor != DrawnText::Anchor::Start) {
      const double w = QFontMetricsF(font).horizontalAdvance(text);
      x -= t.anchor == DrawnText::Anchor::Middle ? w / 2 : w;
    }
    p.drawText(QPointF(x, t.y), text);
  }
  p.restore();
}

QByteArray treeDrawingPng(const TreeDrawing& d) {
  const int w = std::max(1, static_cast<int>(d.width * 2 + 0.5));
  const int h = std::max(1, static_cast<int>(d.height * 2 + 0.5));
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.scale(2, 2);
    paintTreeDrawing(p, d);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

QByteArray treeDrawingPdf(const TreeDrawing& d, const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setTitle(title);
    pdf.setCreator(QString("Ramovia ") + RAMOVIA_VERSION);
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QSizeF(std::max(d.width, 1.0), std::max(d.height, 1.0)),
                              QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p(&pdf);
    paintTreeDrawing(p, d);
  }
  return bytes;
}

class TreeDrawingView::Canvas : public QWidget {
 public:
  explicit Canvas(TreeDrawingView* view) : view_(view) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
  }
  void resizeToDrawing() {
    const double z = view_->zoom_;
    resize(static_cast<int>(view_->drawing_.width * z + 0.5),
           static_cast<int>(view_->drawing_.height * z + 0.5));
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter p(this);
    const double z = view_->zoom_;
    p.scale(z, z);
    // Only what the exposed part shows (with a device pixel or two of antialiasing around it):
    // a drawing of thousands of taxa is mostly out of sight.
    const QRectF exposed = event->rect();
    if (exposed.isEmpty()) return;
    const double air = 2.0 / z;
    const QRectF area(exposed.left() / z - air, exposed.top() / z - air,
                      exposed.width() / z + 2 * air, exposed.height() / z + 2 * air);
    paintTreeDrawing(p, view_->drawing_, drawingColours(palette()), area);
  }

 private:
  TreeDrawingView* view_;
};

TreeDrawingView::TreeDrawingView(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(this)) {
  setWidget(canvas_);
  setWidgetResizable(false);
  setBackgroundRole(QPalette::Base);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setFocusPolicy(Qt::StrongFocus);
  setToolTip("Ctrl+wheel, Ctrl++ and Ctrl+- zoom; right-click to fit or save");
  canvas_->resizeToDrawing();
  // The menu's zoom keys work while the drawing has the focus.
  auto key = [this](const QKeySequence& keys, void (TreeDrawingView::*command)()) {
    auto* a = new QAction(this);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(a, &QAction::triggered, this, command);
    addAction(a);
  };
  key(QKeySequence::ZoomIn, &TreeDrawingView::zoomIn);
  key(QKeySequence::ZoomOut, &TreeDrawingView::zoomOut);
}

void TreeDrawingView::setDrawing(TreeDrawing drawing) {
  drawing_ = std::move(drawing);
  if (follow_)
    follow();
  else
    canvas_->resizeToDrawing();
}

void TreeDrawingView::applyZoom(double zoom) {
  zoom_ = std::clamp(zoom, 0.05, 8.0);
  canvas_->resizeToDrawing();
}

void TreeDrawingView::setZoom(double zoom) {
  follow_ = false;
  applyZoom(zoom);
}

void TreeDrawingView::follow() {
  const QSize room = maximumViewportSize();
  // Room for the vertical scroll bar a tall drawing will need.
  const int bar = verticalScrollBar()->sizeHint().width();
  applyZoom(fittedZoom(drawing_.width, drawing_.height, room.width() - bar, room.height()));
}

void TreeDrawingView::fitToWindow() {
  if (drawing_.width <= 0 || drawing_.height <= 0) return;
  const QSize room = maximumViewportSize();
  const double z = std::min(room.width() / drawing_.width, room.height() / drawing_.height);
  setZoom(std::min(1.0, z));
}

void TreeDrawingView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (follow_) follow();
}

void TreeDrawingView::addZoomActions(QMenu* menu) {
  QAction* a = menu->addAction("Zoom &in", this, [this] { zoomIn(); });
  a->setObjectName("zoomInAction");
  a->setShortcut(QKeySequence::ZoomIn);
  a = menu->addAction("Zoom &out", this, [this] { zoomOut(); });
  a->setObjectName("zoomOutAction");
  a->setShortcut(QKeySequence::ZoomOut);
  a = menu->addAction("&Fit to window", this, [this] { fitToWindow(); });
  a->setObjectName("fitToWindowAction");
  a = menu->addAction("&Actual size", this, [this] { setZoom(1.0); });
  a->setObjectName("actualSizeAction");
}

void TreeDrawingView::wheelEvent(QWheelEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) {
    if (event->angleDelta().y() > 0) zoomIn();
    if (event->angleDelta().y() < 0) zoomOut();
    event->accept();
    return;
  }
  QScrollArea::wheelEvent(event);
}

}  // namespace ramovia::ui
