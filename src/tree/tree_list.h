// The distinct trees of a resampling run with the number of replicates that gave each.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "tree/tree.h"

namespace ramovia {

class TreeList {
 public:
  struct Entry {
    Tree tree;
    int32_t count = 0;
    int32_t first = 0;                // the entry's position in the order of first appearance
    std::vector<int32_t> order;       // the tree's canonical node order
    std::vector<double> lengthSums;   // per canonical position: the branch lengths summed over
                                      // the replicates of this topology, in replicate order
  };

  // One more replicate of this topology: a new entry (count 1) at the end, or one more on the
  // entry that has it. `order` and `hash` are canonicalOrder(tree) and topologyHash, made where
  // the tree was built.
  void add(Tree tree, uint64_t hash, std::vector<int32_t> order);
  void add(Tree tree);
  // By falling count. Entries of equal count keep the order the list's quicksort leaves them in,
  // which is what the program reports.
  void sort();
  void clear();
  // The entries of an unsorted list, in the order of first appearance, as a run left them.
  void restore(std::vector<Entry> entries);

  bool empty() const { return entries_.empty(); }
  int32_t size() const { return static_cast<int32_t>(entries_.size()); }
  const Entry& operator[](int32_t i) const { return entries_[static_cast<std::size_t>(i)]; }
  const std::vector<Entry>& entries() const { return entries_; }
  // The replicates counted: the sum of the counts.
  int64_t total() const;

 private:
  std::vector<Entry> entries_;
  std::unordered_multimap<uint64_t, int32_t> byHash_;  // valid until the list is sorted
  bool indexed_ = true;
  int32_t added_ = 0;
};

}  // namespace ramovia
