// The core's tree drawing on screen, and as PNG and PDF files: the same lines and texts the SVG
// export writes, painted with Qt.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QScrollArea>
#include <QString>

#include "output/tree_layout.h"

class QMenu;

namespace ramovia::ui {

struct DrawingColours {
  QColor lines = Qt::black;
  QColor support = QColor(0x1f, 0x4e, 0x9c);
};
// The colours of a palette: its text colour, and a blue that stands out from its base.
DrawingColours drawingColours(const QPalette& palette);

// The font the drawing's texts are painted in, of this size in pixels.
QFont drawingFont(double pixels);

// The drawing's own colours, as the files have them, unless others are given. With an area (in
// the drawing's units), only what can show inside it is painted.
void paintTreeDrawing(QPainter& painter, const TreeDrawing& drawing,
                      const DrawingColours& colours = {}, const QRectF& area = {});
// At twice the drawing's size, on white.
QByteArray treeDrawingPng(const TreeDrawing& drawing);
// One page of the drawing's size, one pixel a point.
QByteArray treeDrawingPdf(const TreeDrawing& drawing, const QString& title);

// A scrollable, zoomable view of one drawing, in the colours of the palette. A drawing starts
// fitted to the view (fittedZoom), and follows the view's size until the user zooms.
// Ctrl+wheel, Ctrl++ and Ctrl+- and the context menu zoom.
class TreeDrawingView : public QScrollArea {
  Q_OBJECT
 public:
  explicit TreeDrawingView(QWidget* parent = nullptr);

  void setDrawing(TreeDrawing drawing);
  const TreeDrawing& drawing() const { return drawing_; }
  bool isEmpty() const { return drawing_.lines.empty() && drawing_.texts.empty(); }

  double zoom() const { return zoom_; }
  void setZoom(double zoom);  // clamped to 0.05..8
  void zoomIn() { setZoom(zoom_ * 1.25); }
  void zoomOut() { setZoom(zoom_ / 1.25); }
  // The whole drawing in the visible area (never above actual size).
  void fitToWindow();
  // Whether the zoom still follows the view's size.
  bool followsView() const { return follow_; }

  QSize sizeHint() const override { return {480, 320}; }

  // The zoom commands, for the owner's context menu.
  void addZoomActions(QMenu* menu);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Canvas;
  void applyZoom(double zoom);
  void follow();

  Canvas* canvas_;
  TreeDrawing drawing_;
  double zoom_ = 1.0;
  bool follow_ = true;
};

}  // namespace ramovia::ui
