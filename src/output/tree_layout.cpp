#include "output/tree_layout.h"

#include <algorithm>
#include <cmath>

#include "output/number_text.h"

namespace ramovia {

namespace {

struct Builder {
  const MultiTree& tree;
  std::span<const Taxon> taxa;
  BranchLengths lengths;
  TreeLayout out;
  int nextRow = 0;

  // Returns the node's edge height (leaves 0) for the cladogram.
  int add(int32_t node, int parent, double x) {
    const int index = static_cast<int>(out.nodes.size());
    const MultiTree::Node& t = tree[node];
    LayoutNode n;
    n.node = node;
    n.parent = parent;
    n.x = x;
    n.leaf = t.children.empty();
    if (n.leaf) n.name = taxa[static_cast<std::size_t>(t.taxon)].name.str();
    if (!n.leaf) n.support = t.label;
    out.nodes.push_back(std::move(n));
    if (t.children.empty()) {
      out.nodes[static_cast<std::size_t>(index)].y = nextRow++;
      return 0;
    }
    int height = 0;
    double first = 0.0, last = 0.0;
    bool any = false;
    for (const int32_t child : t.children) {
      const double cx = x + (lengths == BranchLengths::None ? 1.0 : tree[child].length);
      const int at = static_cast<int>(out.nodes.size());
      height = std::max(height, add(child, index, cx) + 1);
      const double cy = out.nodes[static_cast<std::size_t>(at)].y;
      if (!any) first = cy;
      last = cy;
      any = true;
    }
    out.nodes[static_cast<std::size_t>(index)].y = (first + last) / 2;
    return height;
  }
};

// Pixel geometry of the drawing.
constexpr double kMargin = 16.0;
constexpr double kLeft = 36.0;  // room for the root's support label left of it
constexpr double kTreeWidth = 420.0;
constexpr double kCharWidth = 7.0;  // a generous mean advance of the 12-pixel sans-serif font

}  // namespace

TreeLayout layoutTree(const Tree& tree, std::span<const Taxon> taxa, BranchLengths lengths,
                      std::span<const int32_t> support) {
  return layoutTree(asMultiTree(tree, support), taxa, lengths);
}

TreeLayout layoutTree(const MultiTree& tree, std::span<const Taxon> taxa, BranchLengths lengths) {
  Builder b{tree, taxa, lengths, {}, 0};
  const int height = tree.empty() ? 0 : b.add(tree.root(), -1, 0.0);
  TreeLayout out = std::move(b.out);
  out.leafCount = b.nextRow;
  out.phylogram = lengths != BranchLengths::None;
  if (!out.phylogram) {
    // Leaves line up on the right: a node stands as far left as its height in steps demands.
    std::vector<int> h(out.nodes.size(), 0);
    for (std::size_t i = out.nodes.size(); i-- > 0;) {
      const int p = out.nodes[i].parent;
      if (p >= 0) h[static_cast<std::size_t>(p)] = std::max(h[static_cast<std::size_t>(p)], h[i] + 1);
    }
    for (std::size_t i = 0; i < out.nodes.size(); ++i) out.nodes[i].x = height - h[i];
  }
  out.minX = out.maxX = 0.0;
  for (const auto& n : out.nodes) {
    if (!std::isfinite(n.x)) continue;
    out.minX = std::min(out.minX, n.x);
    out.maxX = std::max(out.maxX, n.x);
  }
  return out;
}

double scaleBarLength(double span) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  const double target = span / 5;
  const double p = std::pow(10.0, std::floor(std::log10(target)));
  for (const double f : {5.0, 2.0, 1.0})
    if (f * p <= target) return f * p;
  return p;
}

TreeDrawing drawTree(const TreeLayout& layout) {
  TreeDrawing d;
  double span = layout.maxX - layout.minX;
  if (!(span > 0.0) || !std::isfinite(span)) span = 1.0;
  const double scale = kTreeWidth / span;
  auto px = [&](double x) {
    const double v = kLeft + (x - layout.minX) * scale;
    return std::isfinite(v) ? v : kMargin;
  };
  auto py = [&](double y) { return kMargin + (y + 0.5) * kDrawingRowHeight; };

  std::size_t longest = 0;
  std::vector<double> firstY(layout.nodes.size(), 0.0), lastY(layout.nodes.size(), 0.0);
  std::vector<bool> hasChild(layout.nodes.size(), false);
  for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
    const LayoutNode& n = layout.nodes[i];
    if (n.parent >= 0) {
      const auto p = static_cast<std::size_t>(n.parent);
      const LayoutNode& parent = layout.nodes[p];
      d.lines.push_back({px(parent.x), py(n.y), px(n.x), py(n.y)});
      if (!hasChild[p]) firstY[p] = n.y;
      lastY[p] = n.y;
      hasChild[p] = true;
    }
    if (n.leaf) {
      const std::string& name = n.name;
      longest = std::max(longest, name.size());
      d.texts.push_back({px(n.x) + 4, py(n.y) + kDrawingLeafFont / 3, name, DrawnText::Role::Leaf,
                         DrawnText::Anchor::Start, kDrawingLeafFont});
    }
  }
  for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
    const LayoutNode& n = layout.nodes[i];
    if (hasChild[i] && firstY[i] != lastY[i])
      d.lines.push_back({px(n.x), py(firstY[i]), px(n.x), py(lastY[i])});
    if (!n.leaf && n.support >= 0)
      d.texts.push_back({px(n.x) - 3, py(n.y) - 3, std::to_string(n.support),
                         DrawnText::Role::Support, DrawnText::Anchor::End, kDrawingSupportFont});
  }
  double bottom = kMargin + layout.leafCount * kDrawingRowHeight;
  if (layout.phylogram) {
    const double length = scaleBarLength(layout.maxX - layout.minX);
    const double y = bottom + 10;
    const double x1 = kLeft, x2 = kLeft + length * scale;
    d.lines.push_back({x1, y, x2, y});
    d.lines.push_back({x1, y - 3, x1, y + 3});
    d.lines.push_back({x2, y - 3, x2, y + 3});
    d.texts.push_back({(x1 + x2) / 2, y + 15, lengthText(length), DrawnText::Role::Scale,
                       DrawnText::Anchor::Middle, kDrawingSupportFont});
    bottom = y + 20;
  }
  d.width = kLeft + kTreeWidth + 4 + static_cast<double>(longest) * kCharWidth + kMargin;
  d.height = bottom + kMargin;
  return d;
}

}  // namespace ramovia
