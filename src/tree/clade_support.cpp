#include "tree/clade_support.h"

#include <bit>
#include <cmath>

namespace ramovia {

BitsetCounts::BitsetCounts(int words) : words_(words < 1 ? 1 : words) {
  slots_.assign(16, 0);
}

uint64_t BitsetCounts::hash(const uint64_t* bits) const {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (int w = 0; w < words_; ++w) {
    uint64_t x = bits[w] + h;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    h = x ^ (x >> 31);
  }
  return h;
}

bool BitsetCounts::same(std::size_t entry, const uint64_t* bits) const {
  const uint64_t* e = at(entry);
  for (int w = 0; w < words_; ++w)
    if (e[w] != bits[w]) return false;
  return true;
}

void BitsetCounts::grow() {
  std::vector<int32_t> grown(slots_.size() * 2, 0);
  const std::size_t mask = grown.size() - 1;
  for (std::size_t e = 0; e < counts_.size(); ++e) {
    std::size_t s = hashes_[e] & mask;
    while (grown[s] != 0) s = (s + 1) & mask;
    grown[s] = static_cast<int32_t>(e + 1);
  }
  slots_.swap(grown);
}

void BitsetCounts::add(const uint64_t* bits, int64_t count) {
  const uint64_t h = hash(bits);
  std::size_t mask = slots_.size() - 1;
  std::size_t s = h & mask;
  while (slots_[s] != 0) {
    const auto e = static_cast<std::size_t>(slots_[s] - 1);
    if (hashes_[e] == h && same(e, bits)) {
      counts_[e] += count;
      return;
    }
    s = (s + 1) & mask;
  }
  const std::size_t e = counts_.size();
  pool_.insert(pool_.end(), bits, bits + words_);
  counts_.push_back(count);
  hashes_.push_back(h);
  slots_[s] = static_cast<int32_t>(e + 1);
  if (counts_.size() * 2 > slots_.size()) grow();
}

int64_t BitsetCounts::find(const uint64_t* bits) const {
  const uint64_t h = hash(bits);
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = h & mask;
  while (slots_[s] != 0) {
    const auto e = static_cast<std::size_t>(slots_[s] - 1);
    if (hashes_[e] == h && same(e, bits)) return counts_[e];
    s = (s + 1) & mask;
  }
  return 0;
}

CladeSupportIndex::CladeSupportIndex(const TreeList& list, int32_t taxonCount)
    : taxa_(taxonCount < 0 ? 0 : taxonCount) {
  words_ = static_cast<int>((static_cast<std::size_t>(taxa_) + 63) / 64);
  if (words_ < 1) words_ = 1;
  clades_ = BitsetCounts(words_);
  leafSets_ = BitsetCounts(words_);
  const auto w = static_cast<std::size_t>(words_);
  std::vector<uint64_t> sets;
  for (const TreeList::Entry& e : list.entries()) {
    const Tree& t = e.tree;
    if (t.empty()) continue;
    // Children stand before their parents: each clade is the union of its children's.
    sets.assign(t.nodes.size() * w, 0);
    for (std::size_t i = 0; i < t.nodes.size(); ++i) {
      uint64_t* set = sets.data() + i * w;
      const TreeNode& n = t.nodes[i];
      if (n.isLeaf()) {
        if (n.taxon >= 0 && n.taxon < taxa_)
          set[static_cast<std::size_t>(n.taxon) / 64] |= uint64_t{1} << (n.taxon % 64);
        continue;
      }
      const uint64_t* l = sets.data() + static_cast<std::size_t>(n.left) * w;
      const uint64_t* r = sets.data() + static_cast<std::size_t>(n.right) * w;
      for (std::size_t k = 0; k < w; ++k) set[k] = l[k] | r[k];
      clades_.add(set, e.count);
    }
    leafSets_.add(sets.data() + static_cast<std::size_t>(t.root()) * w, e.count);
  }
}

int32_t CladeSupportIndex::support(const Tree& tree, int32_t node) const {
  if (tree[node].isLeaf()) return 0;
  std::vector<uint64_t> bits(static_cast<std::size_t>(words_), 0);
  for (const int32_t taxon : tree.leafTaxa(node)) {
    // A taxon no listed tree holds: no tree covers the clade.
    if (taxon < 0 || taxon >= taxa_) return 0;
    bits[static_cast<std::size_t>(taxon) / 64] |= uint64_t{1} << (taxon % 64);
  }
  int64_t covered = 0;
  for (std::size_t e = 0; e < leafSets_.size(); ++e) {
    const uint64_t* set = leafSets_.at(e);
    bool all = true;
    for (int k = 0; k < words_ && all; ++k) all = (bits[static_cast<std::size_t>(k)] & ~set[k]) == 0;
    if (all) covered += leafSets_.count(e);
  }
  return roundSupport(clades_.find(bits.data()), covered);
}

std::vector<int32_t> CladeSupportIndex::supportOf(const Tree& tree) const {
  std::vector<int32_t> out(tree.nodes.size(), 0);
  for (std::size_t i = 0; i < tree.nodes.size(); ++i)
    out[i] = support(tree, static_cast<int32_t>(i));
  return out;
}

int32_t roundSupport(int64_t hits, int64_t covered) {
  if (covered == 0) return 0;
  const double x = (100.0 * static_cast<double>(hits)) / static_cast<double>(covered);
  const double f = std::floor(x);
  const double d = x - f;
  double r;
  if (d > 0.5)
    r = f + 1;
  else if (d < 0.5)
    r = f;
  else
    r = std::fmod(f, 2.0) == 0.0 ? f : f + 1;
  return static_cast<int32_t>(r);
}

}  // namespace ramovia
