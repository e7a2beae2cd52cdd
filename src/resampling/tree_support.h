// Support of reference-tree clades against a tree list, computed from clade leaf sets.
//
// A clade counts for a listed tree T when T holds every taxon name of the clade ("covered"), and
// is a hit when T has an inner node with exactly the clade's leaf names. With the leaf names of T
// distinct that is a set question, answered here by bit sets over the names that occur in the
// list: a hash of every clade's name set to the summed counts of the trees holding it, and the
// distinct leaf sets of the trees with their summed counts. Trees that repeat a leaf name are
// left to the tree-walking test, which answers for them exactly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tree/tree_node.h"

namespace ramovia {

using TreeListType = std::vector<std::unique_ptr<TKVTreeNodeItem>>;

// Sets of bits of a fixed width with a summed count each.
class BitsetCounts {
 public:
  explicit BitsetCounts(int words);
  void Add(const uint64_t* bits, int64_t count);
  int64_t Find(const uint64_t* bits) const;  // 0 when absent
  std::size_t size() const { return counts_.size(); }
  const uint64_t* Bits(std::size_t entry) const {
    return pool_.data() + entry * static_cast<std::size_t>(words_);
  }
  int64_t Count(std::size_t entry) const { return counts_[entry]; }

 private:
  uint64_t Hash(const uint64_t* bits) const;
  bool Same(std::size_t entry, const uint64_t* bits) const;
  void Grow();
  int words_;
  std::vector<uint64_t> pool_;
  std::vector<int64_t> counts_;
  std::vector<uint64_t> hashes_;
  std::vector<int32_t> slots_;  // entry + 1, 0 = empty
};

class CladeSupportIndex {
 public:
  explicit CladeSupportIndex(const TreeListType& treeList);

  // The support value, 0 to 100, of the clade rooted at clade; 0 for fewer than two leaves.
  int32_t Support(const TKVTreeNodeItem* clade) const;

  // Whether the list still holds the same roots with the same counts as when indexed.
  bool Describes(const TreeListType& treeList) const;

 private:
  void IndexTree(const TKVTreeNodeItem* root);
  std::size_t Walk(const TKVTreeNodeItem* x, bool& repeated);
  int NameId(const std::string& name) const;

  std::unordered_map<std::string, int> nameId_;
  int words_ = 1;
  BitsetCounts clades_{1};
  BitsetCounts leafSets_{1};
  std::vector<const TKVTreeNodeItem*> walkedTrees_;  // trees that repeat a leaf name
  std::vector<std::pair<const TKVTreeNodeItem*, int32_t>> fingerprint_;
  std::vector<uint64_t> arena_;
  std::vector<uint64_t> seen_;
};

// (100 × hits) / covered in floating point, rounded to the nearest integer, halves to even;
// 0 when covered is 0.
int32_t RoundSupport(int64_t hits, int64_t covered);

// Support of one clade by walking every listed tree (HasAllFragments, HasSubTrees).
int32_t WalkedSupport(const TreeListType& treeList, const TKVTreeNodeItem* clade);
// ok stays true only if every leaf name of clade occurs in tree.
void HasAllFragmentsOf(const TKVTreeNodeItem* tree, const TKVTreeNodeItem* clade, bool& ok);

}  // namespace ramovia
