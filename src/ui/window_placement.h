// Where windows start: the frame on its screen, the analysis windows in the frame's workspace, and
// how large a drawn tree starts in its page.
// Plain rectangles, so that the rules hold (and are tested) for any screen without a display.
#pragma once

#include <optional>

namespace ramovia::ui {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool contains(const Box& b) const {
    return b.x >= x && b.y >= y && b.right() <= right() && b.bottom() <= bottom();
  }
  friend bool operator==(const Box&, const Box&) = default;
};

// The frame: where the user left it (moved and shrunk into the screen's available area when the
// screen has changed since), else 80 % of the available area, centred.
Box frameBox(const Box& available, const std::optional<Box>& saved);

// An analysis window added to a workspace (x, y = 0) already holding `open` windows: the first
// fills it, later ones cascade by `step` pixels, wrapping round before they would leave it.
Box subWindowBox(const Box& workspace, int open, int step);

// The zoom a drawing starts with in a view of this room: a tree that fits grows to fill it (up to
// 1.6 times), a larger one is shrunk to the room's width but no further than 0.75 and scrolls.
double fittedZoom(double drawingWidth, double drawingHeight, double roomWidth, double roomHeight);

}  // namespace ramovia::ui
