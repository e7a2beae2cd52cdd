// A rectangular drawing of a tree, computed without any toolkit: the window paints it, the SVG
// writer prints it, so both show the same picture.
#pragma once

#include <string>
#include <vector>

#include <cstdint>
#include <span>

#include "model/dataset.h"
#include "tree/multi_tree.h"
#include "tree/tree.h"

namespace ramovia {

// What the branch lengths of a tree mean.
enum class BranchLengths {
  None,    // topology only: drawn as a cladogram, written without lengths
  Stored,  // Distance of every node is its branch length
};

struct LayoutNode {
  int32_t node = -1;    // in the tree
  std::string name;     // a leaf's taxon name
  int parent = -1;      // index into TreeLayout::nodes; -1 for the root
  double x = 0.0;       // from the root: summed lengths (phylogram) or edge steps (cladogram)
  double y = 0.0;       // leaf row, 0 at the top; an inner node sits midway between its children
  bool leaf = false;
  int support = -1;     // percentage shown at an inner node; -1 none
};

struct TreeLayout {
  std::vector<LayoutNode> nodes;  // pre-order, Left before Right
  int leafCount = 0;
  bool phylogram = false;
  double minX = 0.0, maxX = 0.0;  // NJ lengths may be negative: x can lie left of the root
};

// With `support` (a value per node), every inner node shows its value (0 included: after a run
// 0 % is a result).
TreeLayout layoutTree(const Tree& tree, std::span<const Taxon> taxa, BranchLengths lengths,
                      std::span<const int32_t> support = {});
// Any number of children; inner nodes show their labels (-1: none).
TreeLayout layoutTree(const MultiTree& tree, std::span<const Taxon> taxa, BranchLengths lengths);

// The layout in pixels: straight lines and texts (names as stored bytes).
struct DrawnLine {
  double x1, y1, x2, y2;
};
struct DrawnText {
  enum class Role { Leaf, Support, Scale };
  enum class Anchor { Start, Middle, End };
  double x, y;  // baseline point
  std::string text;
  Role role;
  Anchor anchor;
  double size;  // font size in pixels
};
struct TreeDrawing {
  double width = 0.0, height = 0.0;
  std::vector<DrawnLine> lines;
  std::vector<DrawnText> texts;
};

inline constexpr double kDrawingRowHeight = 18.0;
inline constexpr double kDrawingLeafFont = 12.0;
inline constexpr double kDrawingSupportFont = 10.0;

struct DrawingOptions {
  // Moves a support label off its place above the branch (below it, or right of the node) where
  // it would cover another label, a leaf name or a line. The window draws so; the files keep the
  // placement they have always had.
  bool separateSupport = false;
};

TreeDrawing drawTree(const TreeLayout& layout, const DrawingOptions& options = {});

// The box a drawn text's glyphs cover, estimated from its size (sans-serif digits and letters):
// left, top, right, bottom in pixels.
struct TextBox {
  double left, top, right, bottom;
  bool overlaps(const TextBox& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
};
TextBox textBox(const DrawnText& text);

// The scale bar's length for a tree whose widest x is span: 1, 2 or 5 times a power of ten,
// at most a fifth of span where that is possible.
double scaleBarLength(double span);

}  // namespace ramovia
