// The bipartitions a tree makes of the taxa it holds: the same for any root, so trees can be
// compared as unrooted trees.
#pragma once

#include <cstdint>
#include <vector>

#include "tree/tree.h"

namespace ramovia {

// The non-trivial splits of one tree (both sides of two taxa or more) as bit sets over the taxa
// 0 .. taxonCount - 1, each given by the side that does not hold the tree's smallest taxon. The
// two branches at the root are one edge: their split is listed once, with both lengths added.
class SplitSet {
 public:
  SplitSet() = default;
  SplitSet(const Tree& tree, int32_t taxonCount);
  // As the constructor, keeping the buffers.
  void assign(const Tree& tree, int32_t taxonCount);

  int words() const { return words_; }
  int32_t size() const { return static_cast<int32_t>(lengths_.size()); }
  const uint64_t* bits(int32_t k) const {
    return bits_.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(words_);
  }
  // The taxa the tree holds.
  const uint64_t* leaves() const { return leaves_.data(); }
  int32_t leafCount() const { return leafCount_; }
  double length(int32_t k) const { return lengths_[static_cast<std::size_t>(k)]; }
  // The split of each node's branch: -1 for a leaf, the root and a branch of a trivial split.
  int32_t splitOfNode(int32_t node) const { return ofNode_[static_cast<std::size_t>(node)]; }

 private:
  int words_ = 1;
  int32_t leafCount_ = 0;
  std::vector<uint64_t> bits_;
  std::vector<uint64_t> leaves_;
  std::vector<double> lengths_;
  std::vector<int32_t> ofNode_;
};

// Bit sets of a fixed width.
namespace bits {
inline int words(int32_t taxonCount) { return taxonCount <= 0 ? 1 : (taxonCount + 63) / 64; }
int32_t count(const uint64_t* a, int words);
bool test(const uint64_t* a, int32_t bit);
// The split a | (leaves \ a) restricted to `mask` and turned to the side without the smallest
// taxon of leaves ∩ mask, into out; returns the size of that side (0 when the restricted split
// has a side of fewer than two taxa, which every tree holds).
int32_t restrictSplit(const uint64_t* a, const uint64_t* leaves, const uint64_t* mask, int words,
                      uint64_t* out);
uint64_t hash(const uint64_t* a, int words);
}  // namespace bits

// Whether two trees are the same unrooted tree: the same taxa and the same splits.
bool sameUnrootedTopology(const SplitSet& a, const SplitSet& b);
// Equal for equal unrooted trees.
uint64_t unrootedHash(const SplitSet& s);

}  // namespace ramovia
