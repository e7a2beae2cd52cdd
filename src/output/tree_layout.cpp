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

// Glyph boxes, as fractions of the font size: the advance of a digit (wider than most letters),
// the height of digits and capitals, and the depth of descenders.
constexpr double kAdvance = 0.64;
constexpr double kAscent = 0.76;
constexpr double kDescent = 0.24;

bool crosses(const DrawnLine& l, const TextBox& b) {
  if (l.y1 == l.y2)
    return l.y1 > b.top && l.y1 < b.bottom && std::max(l.x1, l.x2) > b.left &&
           std::min(l.x1, l.x2) < b.right;
  if (l.x1 == l.x2)
    return l.x1 > b.left && l.x1 < b.right && std::max(l.y1, l.y2) > b.top &&
           std::min(l.y1, l.y2) < b.bottom;
  return false;
}

TextBox withAir(TextBox b) {
  return {b.left - 1, b.top - 1, b.right + 1, b.bottom + 1};
}

// What a label may cover, filed by bands of rows so that a place is checked against its
// neighbourhood only. Each item is counted once per query, whatever the bands it spans.
class Obstacles {
 public:
  explicit Obstacles(const TreeDrawing& d) : lines_(d.lines), bands_(bandCount(d.height)) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const DrawnLine& l = lines_[i];
      file(std::min(l.y1, l.y2), std::max(l.y1, l.y2), static_cast<int>(i) + 1);
    }
  }
  void add(const TextBox& box) {
    boxes_.push_back(box);
    file(box.top, box.bottom, -static_cast<int>(boxes_.size()));
  }
  // 8 for each box the place overlaps, 1 for each line it crosses.
  int cost(const TextBox& box) {
    ++query_;
    int cost = 0;
    for (int b = band(box.top); b <= band(box.bottom); ++b) {
      for (const int item : bands_[static_cast<std::size_t>(b)]) {
        int& seen = item > 0 ? lineSeen_[static_cast<std::size_t>(item - 1)]
                             : boxSeen_[static_cast<std::size_t>(-item - 1)];
        if (seen == query_) continue;
        seen = query_;
        if (item > 0)
          cost += crosses(lines_[static_cast<std::size_t>(item - 1)], box) ? 1 : 0;
        else
          cost += box.overlaps(boxes_[static_cast<std::size_t>(-item - 1)]) ? 8 : 0;
      }
    }
    return cost;
  }

 private:
  static constexpr double kBand = 24.0;
  static std::size_t bandCount(double height) {
    return std::isfinite(height) && height > 0 ? static_cast<std::size_t>(height / kBand) + 1 : 1;
  }
  int band(double y) const {
    const double b = std::floor(y / kBand);
    const double last = static_cast<double>(bands_.empty() ? 0 : bands_.size() - 1);
    return static_cast<int>(std::clamp(std::isfinite(b) ? b : 0.0, 0.0, last));
  }
  void file(double top, double bottom, int item) {
    if (item > 0) lineSeen_.push_back(0);
    if (item < 0) boxSeen_.push_back(0);
    for (int b = band(top); b <= band(bottom); ++b)
      bands_[static_cast<std::size_t>(b)].push_back(item);
  }

  const std::vector<DrawnLine>& lines_;
  std::vector<TextBox> boxes_;
  std::vector<std::vector<int>> bands_;  // lines as 1.., boxes as -1..
  std::vector<int> lineSeen_, boxSeen_;
  int query_ = 0;
};

// Each support label, in drawing order, takes the first place that covers nothing: above its
// branch (where drawTree put it), below it, further left along the branch, right of the node,
// across its branch, then places shifted sideways step by step, nearest first. When every place
// covers something, it takes the one covering least, a label or a name counting more than lines.
// parentX: the x of each label's parent node.
void separateSupportLabels(TreeDrawing& d, const std::vector<double>& parentX) {
  Obstacles taken(d);
  for (const auto& t : d.texts)
    if (t.role != DrawnText::Role::Support) taken.add(withAir(textBox(t)));
  std::size_t label = 0;
  std::vector<DrawnText> places;
  for (auto& t : d.texts) {
    if (t.role != DrawnText::Role::Support) continue;
    const double nodeX = t.x + 3, nodeY = t.y + 3;
    const double branchStart = parentX[label++] + 3;
    const double h = kAscent * t.size;
    const double above = nodeY - 3, below = nodeY + 3 + h;
    places.clear();
    const auto at = [&](double x, double y, DrawnText::Anchor a) {
      places.push_back({x, y, t.text, t.role, a, t.size});
    };
    at(nodeX - 3, above, DrawnText::Anchor::End);
    at(nodeX - 3, below, DrawnText::Anchor::End);
    if (branchStart < nodeX - 3) {
      at(branchStart, above, DrawnText::Anchor::Start);
      at(branchStart, below, DrawnText::Anchor::Start);
    }
    at(nodeX + 3, nodeY + h / 2, DrawnText::Anchor::Start);
    at(nodeX - 3, nodeY + h / 2, DrawnText::Anchor::End);
    for (int step = 1; step <= 16; ++step)
      for (const double dx : {-4.0 * step, 4.0 * step})
        for (const double y : {above, below}) at(nodeX - 3 + dx, y, DrawnText::Anchor::End);
    std::size_t best = 0;
    int bestCost = -1;
    for (std::size_t i = 0; i < places.size(); ++i) {
      const int cost = taken.cost(withAir(textBox(places[i])));
      if (bestCost < 0 || cost < bestCost) {
        best = i;
        bestCost = cost;
      }
      if (cost == 0) break;
    }
    t = places[best];
    taken.add(withAir(textBox(t)));
  }
}

}  // namespace

TextBox textBox(const DrawnText& t) {
  // UTF-8 continuation bytes add no character.
  const auto chars = static_cast<double>(std::count_if(t.text.begin(), t.text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
  const double w = chars * kAdvance * t.size;
  double left = t.x;
  if (t.anchor == DrawnText::Anchor::Middle) left -= w / 2;
  if (t.anchor == DrawnText::Anchor::End) left -= w;
  const double descent = t.role == DrawnText::Role::Support ? 0.0 : kDescent * t.size;
  return {left, t.y - kAscent * t.size, left + w, t.y + descent};
}

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
      if (p >= 0)
        h[static_cast<std::size_t>(p)] = std::max(h[static_cast<std::size_t>(p)], h[i] + 1);
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

TreeDrawing drawTree(const TreeLayout& layout, const DrawingOptions& options) {
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
  std::vector<double> parentX;  // of each support label's node
  for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
    const LayoutNode& n = layout.nodes[i];
    if (hasChild[i] && firstY[i] != lastY[i])
      d.lines.push_back({px(n.x), py(firstY[i]), px(n.x), py(lastY[i])});
    if (!n.leaf && n.support >= 0) {
      parentX.push_back(n.parent >= 0 ? px(layout.nodes[static_cast<std::size_t>(n.parent)].x)
                                      : kMargin - 3);
      d.texts.push_back({px(n.x) - 3, py(n.y) - 3, std::to_string(n.support),
                         DrawnText::Role::Support, DrawnText::Anchor::End, kDrawingSupportFont});
    }
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
  if (options.separateSupport) separateSupportLabels(d, parentX);
  return d;
}

}  // namespace ramovia
