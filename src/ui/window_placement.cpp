#include "window_placement.h"

#include <algorithm>

namespace ramovia::ui {

namespace {
constexpr int kCascadeDepth = 4;
// Later windows never shrink below this (or the workspace, when it is smaller still).
constexpr int kMinWidth = 360, kMinHeight = 240;
}  // namespace

Box frameBox(const Box& available, const std::optional<Box>& saved) {
  if (saved && saved->width > 0 && saved->height > 0) {
    Box b = *saved;
    b.width = std::min(b.width, available.width);
    b.height = std::min(b.height, available.height);
    b.x = std::clamp(b.x, available.x, available.right() - b.width);
    b.y = std::clamp(b.y, available.y, available.bottom() - b.height);
    return b;
  }
  Box b;
  b.width = available.width * 4 / 5;
  b.height = available.height * 4 / 5;
  b.x = available.x + (available.width - b.width) / 2;
  b.y = available.y + (available.height - b.height) / 2;
  return b;
}

Box subWindowBox(const Box& workspace, int open, int step) {
  const int w = std::max(workspace.width, 1), h = std::max(workspace.height, 1);
  if (open <= 0) return {0, 0, w, h};
  Box b;
  b.width = std::max(w - kCascadeDepth * step, std::min(w, kMinWidth));
  b.height = std::max(h - kCascadeDepth * step, std::min(h, kMinHeight));
  const int offset = ((open - 1) % kCascadeDepth + 1) * step;
  b.x = std::min(offset, w - b.width);
  b.y = std::min(offset, h - b.height);
  return b;
}

double fittedZoom(double drawingWidth, double drawingHeight, double roomWidth, double roomHeight) {
  if (!(drawingWidth > 0) || !(drawingHeight > 0) || !(roomWidth > 0) || !(roomHeight > 0))
    return 1.0;
  const double byWidth = roomWidth / drawingWidth, byHeight = roomHeight / drawingHeight;
  const double whole = std::min(byWidth, byHeight);
  if (whole >= 1.0) return std::min(whole, 1.6);
  return std::clamp(byWidth, 0.75, 1.0);
}

}  // namespace ramovia::ui
