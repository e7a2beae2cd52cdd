#include "tree/tree.h"

#include <algorithm>

namespace ramovia {

int32_t Tree::addLeaf(int32_t taxon, double length) {
  TreeNode n;
  n.taxon = taxon;
  n.length = length;
  nodes.push_back(n);
  return root();
}

int32_t Tree::addInner(int32_t left, int32_t right, double length) {
  TreeNode n;
  n.left = left;
  n.right = right;
  n.leaves = (*this)[left].leaves + (*this)[right].leaves;
  n.length = length;
  nodes.push_back(n);
  return root();
}

std::vector<int32_t> Tree::preorder(int32_t top) const {
  std::vector<int32_t> out;
  if (nodes.empty()) return out;
  out.reserve(nodes.size());
  std::vector<int32_t> stack{top < 0 ? root() : top};
  while (!stack.empty()) {
    const int32_t x = stack.back();
    stack.pop_back();
    out.push_back(x);
    const TreeNode& n = (*this)[x];
    if (n.isLeaf()) continue;
    stack.push_back(n.right);
    stack.push_back(n.left);
  }
  return out;
}

std::vector<int32_t> Tree::leafTaxa(int32_t node) const {
  std::vector<int32_t> out;
  for (const int32_t x : preorder(node))
    if ((*this)[x].isLeaf()) out.push_back((*this)[x].taxon);
  return out;
}

double leftHeight(const Tree& tree, int32_t node) {
  // Summed from the leaf up, as a recursion down the left children would return it.
  std::vector<int32_t> chain;
  int32_t x = node;
  while (!tree[x].isLeaf()) {
    chain.push_back(x);
    x = tree[x].left;
  }
  double h = tree[x].length;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) h = h + tree[*it].length;
  return h;
}

namespace {

uint64_t mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The smallest leaf taxon of every clade: children ordered by it give one order for every
// drawing of the same topology.
std::vector<int32_t> smallestTaxa(const Tree& t) {
  std::vector<int32_t> least(t.nodes.size());
  for (std::size_t i = 0; i < t.nodes.size(); ++i) {
    const TreeNode& n = t.nodes[i];
    least[i] = n.isLeaf() ? n.taxon
                          : std::min(least[static_cast<std::size_t>(n.left)],
                                     least[static_cast<std::size_t>(n.right)]);
  }
  return least;
}

}  // namespace

std::vector<int32_t> canonicalOrder(const Tree& t) {
  std::vector<int32_t> out;
  if (t.empty()) return out;
  const std::vector<int32_t> least = smallestTaxa(t);
  out.reserve(t.nodes.size());
  std::vector<int32_t> stack{t.root()};
  while (!stack.empty()) {
    const int32_t x = stack.back();
    stack.pop_back();
    out.push_back(x);
    const TreeNode& n = t[x];
    if (n.isLeaf()) continue;
    int32_t first = n.left, second = n.right;
    if (least[static_cast<std::size_t>(second)] < least[static_cast<std::size_t>(first)])
      std::swap(first, second);
    stack.push_back(second);
    stack.push_back(first);
  }
  return out;
}

uint64_t topologyHash(const Tree& tree, std::span<const int32_t> order) {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (const int32_t x : order) {
    const int32_t v = tree[x].isLeaf() ? tree[x].taxon : -1;
    h = mix(h ^ (static_cast<uint64_t>(static_cast<uint32_t>(v)) + 0x632BE59BD9B4E019ull));
  }
  return h;
}

bool sameTopology(const Tree& a, std::span<const int32_t> orderA, const Tree& b,
                  std::span<const int32_t> orderB) {
  if (orderA.size() != orderB.size()) return false;
  for (std::size_t k = 0; k < orderA.size(); ++k) {
    const TreeNode& x = a[orderA[k]];
    const TreeNode& y = b[orderB[k]];
    if (x.isLeaf() != y.isLeaf() || (x.isLeaf() && x.taxon != y.taxon)) return false;
  }
  return true;
}

uint64_t topologyHash(const Tree& tree) { return topologyHash(tree, canonicalOrder(tree)); }

bool sameTopology(const Tree& a, const Tree& b) {
  return sameTopology(a, canonicalOrder(a), b, canonicalOrder(b));
}

}  // namespace ramovia
