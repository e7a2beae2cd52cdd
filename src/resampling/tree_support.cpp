#include "resampling/tree_support.h"

#include <bit>
#include <cmath>

namespace ramovia {

BitsetCounts::BitsetCounts(int words) : words_(words < 1 ? 1 : words) {
  slots_.assign(16, 0);
}

uint64_t BitsetCounts::Hash(const uint64_t* bits) const {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (int w = 0; w < words_; ++w) {
    uint64_t x = bits[w] + h;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    h = x ^ (x >> 31);
  }
  return h;
}

bool BitsetCounts::Same(std::size_t entry, const uint64_t* bits) const {
  const uint64_t* e = Bits(entry);
  for (int w = 0; w < words_; ++w)
    if (e[w] != bits[w]) return false;
  return true;
}

void BitsetCounts::Grow() {
  std::vector<int32_t> grown(slots_.size() * 2, 0);
  const std::size_t mask = grown.size() - 1;
  for (std::size_t e = 0; e < counts_.size(); ++e) {
    std::size_t s = hashes_[e] & mask;
    while (grown[s] != 0) s = (s + 1) & mask;
    grown[s] = static_cast<int32_t>(e + 1);
  }
  slots_.swap(grown);
}

void BitsetCounts::Add(const uint64_t* bits, int64_t count) {
  const uint64_t h = Hash(bits);
  std::size_t mask = slots_.size() - 1;
  std::size_t s = h & mask;
  while (slots_[s] != 0) {
    const auto e = static_cast<std::size_t>(slots_[s] - 1);
    if (hashes_[e] == h && Same(e, bits)) {
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
  if (counts_.size() * 2 > slots_.size()) Grow();
}

int64_t BitsetCounts::Find(const uint64_t* bits) const {
  const uint64_t h = Hash(bits);
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = h & mask;
  while (slots_[s] != 0) {
    const auto e = static_cast<std::size_t>(slots_[s] - 1);
    if (hashes_[e] == h && Same(e, bits)) return counts_[e];
    s = (s + 1) & mask;
  }
  return 0;
}

namespace {

template <class F>
void ForEachLeaf(const TKVTreeNodeItem* x, F&& f) {
  if (x == nullptr) return;
  if (const TKVTreeNode* node = AsNode(x)) {
    ForEachLeaf(node->Left.get(), f);
    ForEachLeaf(node->Right.get(), f);
  } else {
    f(*x);
  }
}

}  // namespace

CladeSupportIndex::CladeSupportIndex(const TreeListType& treeList) {
  fingerprint_.reserve(treeList.size());
  for (const auto& t : treeList) {
    fingerprint_.emplace_back(t.get(), t ? t->Num : 0);
    ForEachLeaf(t.get(), [this](const TKVTreeNodeItem& leaf) {
      nameId_.try_emplace(leaf.Name.str(), static_cast<int>(nameId_.size()));
    });
  }
  words_ = static_cast<int>((nameId_.size() + 63) / 64);
  if (words_ < 1) words_ = 1;
  clades_ = BitsetCounts(words_);
  leafSets_ = BitsetCounts(words_);
  for (const auto& t : treeList)
    if (t) IndexTree(t.get());
  arena_.clear();
  arena_.shrink_to_fit();
}

int CladeSupportIndex::NameId(const std::string& name) const {
  const auto it = nameId_.find(name);
  return it == nameId_.end() ? -1 : it->second;
}

// Leaves the bit set of x at the returned arena offset and appends the set of every clade of two
// leaves or more to seen_. repeated turns true when two leaves share a name.
std::size_t CladeSupportIndex::Walk(const TKVTreeNodeItem* x, bool& repeated) {
  const auto w = static_cast<std::size_t>(words_);
  const std::size_t off = arena_.size();
  arena_.resize(off + w, 0);
  if (const TKVTreeNode* node = AsNode(x)) {
    for (const TKVTreeNodeItem* child : {node->Left.get(), node->Right.get()}) {
      if (child == nullptr) continue;
      const std::size_t c = Walk(child, repeated);
      for (std::size_t k = 0; k < w; ++k) {
        if ((arena_[off + k] & arena_[c + k]) != 0) repeated = true;
        arena_[off + k] |= arena_[c + k];
      }
      arena_.resize(c);
    }
    std::size_t bits = 0;
    for (std::size_t k = 0; k < w; ++k)
      bits += static_cast<std::size_t>(std::popcount(arena_[off + k]));
    if (bits >= 2)
      seen_.insert(seen_.end(), arena_.begin() + static_cast<std::ptrdiff_t>(off),
                   arena_.begin() + static_cast<std::ptrdiff_t>(off + w));
  } else {
    const int id = NameId(x->Name.str());
    arena_[off + static_cast<std::size_t>(id) / 64] |= uint64_t{1} << (id % 64);
  }
  return off;
}

void CladeSupportIndex::IndexTree(const TKVTreeNodeItem* root) {
  arena_.clear();
  seen_.clear();
  bool repeated = false;
  const std::size_t off = Walk(root, repeated);
  if (repeated) {
    walkedTrees_.push_back(root);
    return;
  }
  const auto w = static_cast<std::size_t>(words_);
  leafSets_.Add(arena_.data() + off, root->Num);
  // With distinct leaf names every clade of one tree is a different set.
  for (std::size_t k = 0; k < seen_.size(); k += w) clades_.Add(seen_.data() + k, root->Num);
}

bool CladeSupportIndex::Describes(const TreeListType& treeList) const {
  if (treeList.size() != fingerprint_.size()) return false;
  for (std::size_t k = 0; k < treeList.size(); ++k) {
    const TKVTreeNodeItem* t = treeList[k].get();
    if (t != fingerprint_[k].first || (t ? t->Num : 0) != fingerprint_[k].second) return false;
  }
  return true;
}

int32_t CladeSupportIndex::Support(const TKVTreeNodeItem* clade) const {
  if (clade == nullptr) return 0;
  const int32_t mass = clade->GetMass();
  if (mass < 2) return 0;
  std::vector<uint64_t> bits(static_cast<std::size_t>(words_), 0);
  bool known = true;
  int distinct = 0;
  ForEachLeaf(clade, [&](const TKVTreeNodeItem& leaf) {
    const int id = NameId(leaf.Name.str());
    if (id < 0) {
      known = false;
      return;
    }
    uint64_t& word = bits[static_cast<std::size_t>(id) / 64];
    const uint64_t bit = uint64_t{1} << (id % 64);
    if ((word & bit) == 0) ++distinct;
    word |= bit;
  });
  int64_t covered = 0;
  int64_t hits = 0;
  if (known) {
    for (std::size_t e = 0; e < leafSets_.size(); ++e) {
      const uint64_t* set = leafSets_.Bits(e);
      bool all = true;
      for (int k = 0; k < words_ && all; ++k)
        all = (bits[static_cast<std::size_t>(k)] & ~set[k]) == 0;
      if (all) covered += leafSets_.Count(e);
    }
    // A clade that repeats a name has fewer distinct names than leaves: no tree with distinct
    // names holds a clade of that many leaves over those names.
    if (distinct == mass) hits = clades_.Find(bits.data());
  }
  for (const TKVTreeNodeItem* t : walkedTrees_) {
    bool ok = true;
    HasAllFragmentsOf(t, clade, ok);
    if (!ok) continue;
    covered += t->Num;
    if (t->HasSubTrees(clade, clade)) hits += t->Num;
  }
  return RoundSupport(hits, covered);
}

int32_t RoundSupport(int64_t hits, int64_t covered) {
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

void HasAllFragmentsOf(const TKVTreeNodeItem* tree, const TKVTreeNodeItem* clade, bool& ok) {
  const TKVTreeNode* node = AsNode(clade);
  if (node == nullptr) return;
  for (const TKVTreeNodeItem* child : {node->Left.get(), node->Right.get()}) {
    if (child == nullptr) continue;
    if (child->IsNode()) {
      HasAllFragmentsOf(tree, child, ok);
    } else if (ok) {
      ok = tree->ItemInTreeText(child->GetDesc());
    }
  }
}

int32_t WalkedSupport(const TreeListType& treeList, const TKVTreeNodeItem* clade) {
  if (clade == nullptr || clade->GetMass() < 2) return 0;
  int64_t covered = 0;
  int64_t hits = 0;
  for (const auto& t : treeList) {
    bool ok = true;
    HasAllFragmentsOf(t.get(), clade, ok);
    if (ok) {
      covered += t->Num;
      if (t->HasSubTrees(clade, clade)) hits += t->Num;
    }
  }
  return RoundSupport(hits, covered);
}

}  // namespace ramovia
