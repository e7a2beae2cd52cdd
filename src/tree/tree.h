// Rooted binary trees over the taxa of a data set, held flat: children stand before their parent
// and the root is the last node, so a pass in index order visits every clade after its parts.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ramovia {

struct TreeNode {
  int32_t left = -1;    // an inner node's children; -1 on a leaf
  int32_t right = -1;
  int32_t taxon = -1;   // a leaf's taxon (its position in the data set); -1 on an inner node
  int32_t leaves = 1;   // leaves of the clade
  double length = 0.0;  // the branch up to the parent; the root keeps 0

  bool isLeaf() const { return left < 0; }
};

class Tree {
 public:
  std::vector<TreeNode> nodes;

  bool empty() const { return nodes.empty(); }
  int32_t root() const { return static_cast<int32_t>(nodes.size()) - 1; }
  int32_t leafCount() const { return nodes.empty() ? 0 : nodes.back().leaves; }
  const TreeNode& operator[](int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
  TreeNode& operator[](int32_t i) { return nodes[static_cast<std::size_t>(i)]; }

  int32_t addLeaf(int32_t taxon, double length = 0.0);
  int32_t addInner(int32_t left, int32_t right, double length = 0.0);

  // The nodes in pre-order, left before right, from `top` (default: the root).
  std::vector<int32_t> preorder(int32_t top = -1) const;
  // The taxa of the leaves below `node`, left to right.
  std::vector<int32_t> leafTaxa(int32_t node) const;
};

// The sum of the branch lengths from `node` down its left children to a leaf, taken from the
// leaf upwards: the height at which an UPGMA cluster was formed.
double leftHeight(const Tree& tree, int32_t node);

// Identity of a topology: two trees are the same when they have the same clades (the same sets
// of leaf taxa), whatever the order of children. The hash is equal for equal trees.
uint64_t topologyHash(const Tree& tree);
bool sameTopology(const Tree& a, const Tree& b);
// The nodes in one pre-order for every drawing of the same topology (children by their
// smallest taxon): equal trees have equal nodes at equal positions.
std::vector<int32_t> canonicalOrder(const Tree& tree);
uint64_t topologyHash(const Tree& tree, std::span<const int32_t> order);
bool sameTopology(const Tree& a, std::span<const int32_t> orderA, const Tree& b,
                  std::span<const int32_t> orderB);

}  // namespace ramovia
