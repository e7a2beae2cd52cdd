// The core's tree drawing on screen, and as PNG and PDF files: the same lines and texts the SVG
// export writes, painted with Qt.
#pragma once

#include <QByteArray>
#include <QScrollArea>
#include <QString>

#include "output/tree_layout.h"

class QMenu;

namespace ramovia::ui {

void paintTreeDrawing(QPainter& painter, const TreeDrawing& drawing);
// At twice the drawing's size, on white.
QByteArray treeDrawingPng(const TreeDrawing& drawing);
// One page of the drawing's size, one pixel a point.
QByteArray treeDrawingPdf(const TreeDrawing& drawing, const QString& title);

// A scrollable, zoomable view of one drawing. Ctrl+wheel and the context menu zoom.
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

  // The zoom commands, for the owner's context menu.
  void addZoomActions(QMenu* menu);

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  class Canvas;
  Canvas* canvas_;
  TreeDrawing drawing_;
  double zoom_ = 1.0;
};

}  // namespace ramovia::ui
