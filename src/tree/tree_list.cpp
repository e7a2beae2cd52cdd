#include "tree/tree_list.h"

#include <utility>

namespace ramovia {

void TreeList::add(Tree tree) {
  std::vector<int32_t> order = canonicalOrder(tree);
  const uint64_t hash = topologyHash(tree, order);
  add(std::move(tree), hash, std::move(order));
}

void TreeList::add(Tree tree, uint64_t hash, std::vector<int32_t> order) {
  if (!indexed_) {
    byHash_.clear();
    for (std::size_t k = 0; k < entries_.size(); ++k)
      byHash_.emplace(topologyHash(entries_[k].tree, entries_[k].order), static_cast<int32_t>(k));
    indexed_ = true;
  }
  const auto [first, last] = byHash_.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    Entry& e = entries_[static_cast<std::size_t>(it->second)];
    if (sameTopology(e.tree, e.order, tree, order)) {
      ++e.count;
      for (std::size_t k = 0; k < order.size(); ++k) e.lengthSums[k] += tree[order[k]].length;
      return;
    }
  }
  byHash_.emplace(hash, size());
  Entry e{std::move(tree), 1, added_++, std::move(order), {}};
  e.lengthSums.resize(e.order.size());
  for (std::size_t k = 0; k < e.order.size(); ++k) e.lengthSums[k] = e.tree[e.order[k]].length;
  entries_.push_back(std::move(e));
}

void TreeList::clear() {
  entries_.clear();
  byHash_.clear();
  indexed_ = true;
  added_ = 0;
}

void TreeList::restore(std::vector<Entry> entries) {
  entries_ = std::move(entries);
  byHash_.clear();
  indexed_ = false;
  added_ = size();
}

int64_t TreeList::total() const {
  int64_t sum = 0;
  for (const Entry& e : entries_) sum += e.count;
  return sum;
}

namespace {

// -1 when a was produced more often than b, 1 when less, 0 when equal.
int compareCounts(const TreeList::Entry& a, const TreeList::Entry& b) {
  if (a.count > b.count) return -1;
  if (a.count < b.count) return 1;
  return 0;
}

// The list's quicksort. P is the entry found in the middle when a pass starts; its count is
// what the pass compares with, wherever the swaps move the entry.
void quickSort(std::vector<TreeList::Entry>& list, int l, int r) {
  int i;
  do {
    i = l;
    int j = r;
    const TreeList::Entry pivot{Tree{}, list[static_cast<std::size_t>((l + r) / 2)].count, 0, {}, {}};
    do {
      while (compareCounts(list[static_cast<std::size_t>(i)], pivot) < 0) ++i;
      while (compareCounts(list[static_cast<std::size_t>(j)], pivot) > 0) --j;
      if (i <= j) {
        std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) quickSort(list, l, j);
    l = i;
  } while (i < r);
}

}  // namespace

void TreeList::sort() {
  if (entries_.empty()) return;
  quickSort(entries_, 0, size() - 1);
  indexed_ = false;
}

}  // namespace ramovia
