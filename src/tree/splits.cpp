#include "tree/splits.h"

#include "model/popcount.h"

#include <algorithm>
#include <bit>

namespace ramovia {

namespace bits {

RAMOVIA_POPCNT_CLONES
int32_t count(const uint64_t* a, int words) {
  int32_t c = 0;
  for (int w = 0; w < words; ++w) c += std::popcount(a[w]);
  return c;
}

bool test(const uint64_t* a, int32_t bit) {
  return ((a[bit / 64] >> (bit % 64)) & 1u) != 0;
}

namespace {
int32_t lowest(const uint64_t* a, int words) {
  for (int w = 0; w < words; ++w)
    if (a[w] != 0) return w * 64 + std::countr_zero(a[w]);
  return -1;
}
}  // namespace

RAMOVIA_POPCNT_CLONES
int32_t restrictSplit(const uint64_t* a, const uint64_t* leaves, const uint64_t* mask, int words,
                      uint64_t* out) {
  int32_t inside = 0, all = 0, first = -1;
  for (int w = 0; w < words; ++w) {
    const uint64_t common = leaves[w] & mask[w];
    if (first < 0 && common != 0) first = w * 64 + std::countr_zero(common);
    out[w] = a[w] & common;
    inside += std::popcount(out[w]);
    all += std::popcount(common);
  }
  if (first >= 0 && test(out, first)) {
    for (int w = 0; w < words; ++w) out[w] = (leaves[w] & mask[w]) & ~out[w];
    inside = all - inside;
  }
  return inside >= 2 && all - inside >= 2 ? inside : 0;
}

uint64_t hash(const uint64_t* a, int words) {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (int w = 0; w < words; ++w) {
    uint64_t x = a[w] + h;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    h = x ^ (x >> 31);
  }
  return h;
}

}  // namespace bits

SplitSet::SplitSet(const Tree& tree, int32_t taxonCount) { assign(tree, taxonCount); }

void SplitSet::assign(const Tree& tree, int32_t taxonCount) {
  words_ = bits::words(taxonCount);
  leafCount_ = 0;
  bits_.clear();
  lengths_.clear();
  const auto w = static_cast<std::size_t>(words_);
  const std::size_t n = tree.nodes.size();
  ofNode_.assign(n, -1);
  leaves_.assign(w, 0);
  if (tree.empty()) return;
  // At most one split per inner node: no regrowth while they are added.
  bits_.reserve(n / 2 * w);
  lengths_.reserve(n / 2);
  // Children stand before their parents: each clade is the union of its children's.
  std::vector<uint64_t> clades(n * w, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const TreeNode& node = tree.nodes[i];
    uint64_t* c = clades.data() + i * w;
    if (node.isLeaf()) {
      if (node.taxon >= 0 && node.taxon < taxonCount)
        c[static_cast<std::size_t>(node.taxon) / 64] |= uint64_t{1} << (node.taxon % 64);
      continue;
    }
    const uint64_t* l = clades.data() + static_cast<std::size_t>(node.left) * w;
    const uint64_t* r = clades.data() + static_cast<std::size_t>(node.right) * w;
    for (std::size_t k = 0; k < w; ++k) c[k] = l[k] | r[k];
  }
  const int32_t root = tree.root();
  std::copy_n(clades.data() + static_cast<std::size_t>(root) * w, w, leaves_.begin());
  leafCount_ = bits::count(leaves_.data(), words_);
  const int32_t first = bits::lowest(leaves_.data(), words_);
  const TreeNode& top = tree[root];
  std::vector<uint64_t> side(w);
  for (int32_t i = 0; i + 1 < static_cast<int32_t>(n); ++i) {
    const TreeNode& node = tree[i];
    if (node.isLeaf()) continue;
    // The root's right branch is the same edge as its left one.
    if (!top.isLeaf() && i == top.right && !tree[top.left].isLeaf()) continue;
    const uint64_t* c = clades.data() + static_cast<std::size_t>(i) * w;
    const int32_t size = bits::count(c, words_);
    if (size < 2 || leafCount_ - size < 2) continue;
    const bool flip = bits::test(c, first);
    for (std::size_t k = 0; k < w; ++k) side[k] = flip ? leaves_[k] & ~c[k] : c[k];
    double length = node.length;
    const auto k = static_cast<int32_t>(lengths_.size());
    if (!top.isLeaf() && i == top.left && !tree[top.right].isLeaf()) {
      length = node.length + tree[top.right].length;
      ofNode_[static_cast<std::size_t>(top.right)] = k;
    }
    bits_.insert(bits_.end(), side.begin(), side.end());
    lengths_.push_back(length);
    ofNode_[static_cast<std::size_t>(i)] = k;
  }
}

namespace {

// The splits in one order whatever the tree's drawing: by their bits.
std::vector<int32_t> sortedSplits(const SplitSet& s) {
  std::vector<int32_t> order(static_cast<std::size_t>(s.size()));
  for (int32_t k = 0; k < s.size(); ++k) order[static_cast<std::size_t>(k)] = k;
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return std::lexicographical_compare(s.bits(a), s.bits(a) + s.words(), s.bits(b),
                                        s.bits(b) + s.words());
  });
  return order;
}

}  // namespace

bool sameUnrootedTopology(const SplitSet& a, const SplitSet& b) {
  if (a.words() != b.words() || a.size() != b.size()) return false;
  if (!std::equal(a.leaves(), a.leaves() + a.words(), b.leaves())) return false;
  const auto oa = sortedSplits(a), ob = sortedSplits(b);
  for (std::size_t k = 0; k < oa.size(); ++k)
    if (!std::equal(a.bits(oa[k]), a.bits(oa[k]) + a.words(), b.bits(ob[k]))) return false;
  return true;
}

uint64_t unrootedHash(const SplitSet& s) {
  // Order-free: the sum of the splits' hashes, mixed with the taxa's.
  uint64_t h = bits::hash(s.leaves(), s.words());
  uint64_t sum = 0;
  for (int32_t k = 0; k < s.size(); ++k) sum += bits::hash(s.bits(k), s.words());
  return h ^ (sum * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(s.size()));
}

}  // namespace ramovia
