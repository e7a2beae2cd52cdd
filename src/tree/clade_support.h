// Support of the clades of a tree against a tree list: of the listed trees that hold every taxon
// of a clade (those that "cover" it), the share that has exactly that clade, each tree counted
// as often as it was built.
#pragma once

#include <cstdint>
#include <vector>

#include "tree/tree.h"
#include "tree/tree_list.h"

namespace ramovia {

// Sets of bits of a fixed width with a summed count each.
class BitsetCounts {
 public:
  explicit BitsetCounts(int words);
  void add(const uint64_t* bits, int64_t count);
  int64_t find(const uint64_t* bits) const;  // 0 when absent
  std::size_t size() const { return counts_.size(); }
  const uint64_t* at(std::size_t entry) const {
    return pool_.data() + entry * static_cast<std::size_t>(words_);
  }
  int64_t count(std::size_t entry) const { return counts_[entry]; }

 private:
  uint64_t hash(const uint64_t* bits) const;
  bool same(std::size_t entry, const uint64_t* bits) const;
  void grow();
  int words_;
  std::vector<uint64_t> pool_;
  std::vector<int64_t> counts_;
  std::vector<uint64_t> hashes_;
  std::vector<int32_t> slots_;  // entry + 1, 0 = empty
};

// The clades and leaf sets of every listed tree, as bit sets over the taxa 0 .. taxonCount - 1.
class CladeSupportIndex {
 public:
  CladeSupportIndex(const TreeList& list, int32_t taxonCount);

  // The support, 0 to 100, of the clade below `node` of `tree`; 0 for a leaf.
  int32_t support(const Tree& tree, int32_t node) const;
  // The support of every node of the tree (0 on leaves).
  std::vector<int32_t> supportOf(const Tree& tree) const;

 private:
  int words_ = 1;
  int32_t taxa_ = 0;
  BitsetCounts clades_{1};
  BitsetCounts leafSets_{1};
};

// (100 × hits) / covered in floating point, rounded to the nearest integer, halves to even;
// 0 when covered is 0.
int32_t roundSupport(int64_t hits, int64_t covered);

}  // namespace ramovia
