// Trees whose nodes may have any number of children: consensus trees, and binary trees seen
// unrooted. Nodes are held flat, children before their parent, the root last.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tree/tree.h"

namespace ramovia {

class MultiTree {
 public:
  struct Node {
    std::vector<int32_t> children;
    int32_t taxon = -1;  // a leaf's taxon
    double length = 0.0;  // the branch up to the parent
    int32_t label = -1;   // an inner node's label (a support or a frequency); -1 none
  };
  std::vector<Node> nodes;
  bool lengths = true;  // the branch lengths mean something

  bool empty() const { return nodes.empty(); }
  int32_t root() const { return static_cast<int32_t>(nodes.size()) - 1; }
  const Node& operator[](int32_t i) const { return nodes[static_cast<std::size_t>(i)]; }
  Node& operator[](int32_t i) { return nodes[static_cast<std::size_t>(i)]; }
  int32_t addLeaf(int32_t taxon, double length);
  int32_t addInner(std::vector<int32_t> children, double length, int32_t label);
};

// The binary tree as it is rooted; labels[node] where given.
MultiTree asMultiTree(const Tree& tree, std::span<const int32_t> labels = {});

// The binary tree unrooted and drawn from the leaf of its smallest taxon: the root is that
// leaf's neighbour, with the leaf first and the other subtrees after it; children by their
// smallest taxon. The branch the old root sat on keeps both its lengths added. The same for
// every rooting of one unrooted tree.
MultiTree unrootedAtSmallestTaxon(const Tree& tree);

}  // namespace ramovia
