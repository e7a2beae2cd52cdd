#include "tree/multi_tree.h"

#include <algorithm>

namespace ramovia {

int32_t MultiTree::addLeaf(int32_t taxon, double length) {
  Node n;
  n.taxon = taxon;
  n.length = length;
  nodes.push_back(std::move(n));
  return root();
}

int32_t MultiTree::addInner(std::vector<int32_t> children, double length, int32_t label) {
  Node n;
  n.children = std::move(children);
  n.length = length;
  n.label = label;
  nodes.push_back(std::move(n));
  return root();
}

MultiTree asMultiTree(const Tree& tree, std::span<const int32_t> labels) {
  MultiTree out;
  out.nodes.reserve(tree.nodes.size());
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    const TreeNode& n = tree.nodes[i];
    const int32_t label = labels.empty() ? -1 : labels[i];
    if (n.isLeaf())
      out.addLeaf(n.taxon, n.length);
    else
      out.addInner({n.left, n.right}, n.length, label);
  }
  return out;
}

MultiTree unrootedAtSmallestTaxon(const Tree& tree) {
  MultiTree out;
  if (tree.empty()) return out;
  const auto n = static_cast<int32_t>(tree.nodes.size());
  // The undirected tree without the binary root: its two children become neighbours.
  struct Edge {
    int32_t to;
    double length;
  };
  std::vector<std::vector<Edge>> adjacent(static_cast<std::size_t>(n));
  const int32_t root = tree.root();
  const TreeNode& top = tree[root];
  for (int32_t i = 0; i < n; ++i) {
    const TreeNode& x = tree[i];
    if (x.isLeaf() || i == root) continue;
    for (const int32_t c : {x.left, x.right}) {
      adjacent[static_cast<std::size_t>(i)].push_back({c, tree[c].length});
      adjacent[static_cast<std::size_t>(c)].push_back({i, tree[c].length});
    }
  }
  if (top.isLeaf()) {
    out.addLeaf(top.taxon, 0.0);
    return out;
  }
  const double joined = tree[top.left].length + tree[top.right].length;
  adjacent[static_cast<std::size_t>(top.left)].push_back({top.right, joined});
  adjacent[static_cast<std::size_t>(top.right)].push_back({top.left, joined});

  int32_t start = -1;
  for (int32_t i = 0; i < n; ++i)
    if (tree[i].isLeaf() && (start < 0 || tree[i].taxon < tree[start].taxon)) start = i;
  // The smallest taxon below each node as seen from `start`, for the children's order.
  std::vector<int32_t> parent(static_cast<std::size_t>(n), -2), order;
  std::vector<double> up(static_cast<std::size_t>(n), 0.0);
  parent[static_cast<std::size_t>(start)] = -1;
  std::vector<int32_t> stack{start};
  while (!stack.empty()) {
    const int32_t x = stack.back();
    stack.pop_back();
    order.push_back(x);
    for (const Edge& e : adjacent[static_cast<std::size_t>(x)]) {
      if (parent[static_cast<std::size_t>(e.to)] != -2) continue;
      parent[static_cast<std::size_t>(e.to)] = x;
      up[static_cast<std::size_t>(e.to)] = e.length;
      stack.push_back(e.to);
    }
  }
  std::vector<int32_t> least(static_cast<std::size_t>(n), INT32_MAX);
  std::vector<std::vector<int32_t>> children(static_cast<std::size_t>(n));
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const int32_t x = *it;
    if (tree[x].isLeaf()) least[static_cast<std::size_t>(x)] = tree[x].taxon;
    const int32_t p = parent[static_cast<std::size_t>(x)];
    if (p >= 0) {
      children[static_cast<std::size_t>(p)].push_back(x);
      least[static_cast<std::size_t>(p)] =
          std::min(least[static_cast<std::size_t>(p)], least[static_cast<std::size_t>(x)]);
    }
  }
  // Written from the neighbour of `start`: the leaf first, then its other subtrees.
  const int32_t top2 = children[static_cast<std::size_t>(start)].front();
  if (tree[top2].isLeaf()) return asMultiTree(tree);  // two taxa: one branch, nothing to turn
  const auto build = [&](auto&& self, int32_t x) -> int32_t {
    if (tree[x].isLeaf()) return out.addLeaf(tree[x].taxon, up[static_cast<std::size_t>(x)]);
    auto kids = children[static_cast<std::size_t>(x)];
    std::sort(kids.begin(), kids.end(), [&](int32_t a, int32_t b) {
      return least[static_cast<std::size_t>(a)] < least[static_cast<std::size_t>(b)];
    });
    std::vector<int32_t> made2;
    for (const int32_t k : kids) made2.push_back(self(self, k));
    return out.addInner(std::move(made2), up[static_cast<std::size_t>(x)], -1);
  };
  const int32_t leaf = out.addLeaf(tree[start].taxon, up[static_cast<std::size_t>(top2)]);
  auto kids = children[static_cast<std::size_t>(top2)];
  std::sort(kids.begin(), kids.end(), [&](int32_t a, int32_t b) {
    return least[static_cast<std::size_t>(a)] < least[static_cast<std::size_t>(b)];
  });
  std::vector<int32_t> rootChildren{leaf};
  for (const int32_t k : kids) rootChildren.push_back(build(build, k));
  out.addInner(std::move(rootChildren), 0.0, -1);
  return out;
}

}  // namespace ramovia
