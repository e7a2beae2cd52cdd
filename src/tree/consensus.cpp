#include "tree/consensus.h"

#include <algorithm>
#include <numeric>

#include "tree/clade_support.h"

namespace ramovia {

SplitCounts::SplitCounts(int32_t taxonCount)
    : taxa_(taxonCount),
      words_(bits::words(taxonCount)),
      leafLengthSums_(static_cast<std::size_t>(taxonCount < 0 ? 0 : taxonCount), 0.0) {}

void SplitCounts::add(const SplitSet& s, int32_t count, std::span<const double> lengthSums,
                      std::span<const double> leafLengthSums, int64_t firstKey) {
  std::vector<uint64_t> hashes(static_cast<std::size_t>(s.size()));
  for (int32_t k = 0; k < s.size(); ++k)
    hashes[static_cast<std::size_t>(k)] = bits::hash(s.bits(k), words_);
  add(s, hashes, count, lengthSums, leafLengthSums, firstKey);
}

void SplitCounts::add(const SplitSet& s, std::span<const uint64_t> hashes, int32_t count,
                      std::span<const double> lengthSums, std::span<const double> leafLengthSums,
                      int64_t firstKey) {
  trees_ += count;
  for (std::size_t t = 0; t < leafLengthSums.size() && t < leafLengthSums_.size(); ++t)
    leafLengthSums_[t] += leafLengthSums[t];
  const auto w = static_cast<std::size_t>(words_);
  for (int32_t k = 0; k < s.size(); ++k) {
    const uint64_t* b = s.bits(k);
    const uint64_t h = hashes[static_cast<std::size_t>(k)];
    int32_t at = -1;
    const auto [lo, hi] = byHash_.equal_range(h);
    for (auto it = lo; it != hi && at < 0; ++it)
      if (std::equal(b, b + w, bits(it->second))) at = it->second;
    if (at < 0) {
      at = size();
      bits_.insert(bits_.end(), b, b + w);
      counts_.push_back(0);
      lengthSums_.push_back(0.0);
      first_.push_back(firstKey * (int64_t{1} << 32) + k);
      byHash_.emplace(h, at);
    }
    counts_[static_cast<std::size_t>(at)] += count;
    lengthSums_[static_cast<std::size_t>(at)] += lengthSums[static_cast<std::size_t>(k)];
  }
}

double SplitCounts::meanLength(int32_t k) const {
  const int64_t c = count(k);
  return c == 0 ? 0.0 : lengthSums_[static_cast<std::size_t>(k)] / static_cast<double>(c);
}

double SplitCounts::meanLeafLength(int32_t taxon) const {
  return trees_ == 0
             ? 0.0
             : leafLengthSums_[static_cast<std::size_t>(taxon)] / static_cast<double>(trees_);
}

int64_t SplitCounts::countOf(const uint64_t* b) const {
  const auto [lo, hi] = byHash_.equal_range(bits::hash(b, words_));
  for (auto it = lo; it != hi; ++it)
    if (std::equal(b, b + words_, bits(it->second))) return count(it->second);
  return 0;
}

namespace {

// Splits as the sides without taxon 0 are clusters; two fit one tree when one holds the other or
// they share nothing.
bool compatible(const uint64_t* a, const uint64_t* b, int words) {
  bool disjoint = true, aInB = true, bInA = true;
  for (int w = 0; w < words; ++w) {
    disjoint = disjoint && (a[w] & b[w]) == 0;
    aInB = aInB && (a[w] & ~b[w]) == 0;
    bInA = bInA && (b[w] & ~a[w]) == 0;
  }
  return disjoint || aInB || bInA;
}

}  // namespace

std::vector<int32_t> consensusSplits(const SplitCounts& counts, ConsensusRule rule,
                                     double threshold) {
  const int64_t trees = counts.trees();
  std::vector<int32_t> out;
  if (trees == 0) return out;
  const auto above = [&](int32_t k, double percent) {
    return percent >= 100.0 ? counts.count(k) == trees
                            : 100.0 * static_cast<double>(counts.count(k)) >
                                  percent * static_cast<double>(trees);
  };
  std::vector<int32_t> order(static_cast<std::size_t>(counts.size()));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    if (counts.count(a) != counts.count(b)) return counts.count(a) > counts.count(b);
    return counts.firstKey(a) < counts.firstKey(b);
  });
  for (const int32_t k : order) {
    switch (rule) {
      case ConsensusRule::Strict:
        if (above(k, 100.0)) out.push_back(k);
        break;
      case ConsensusRule::Majority:
        if (above(k, threshold)) out.push_back(k);
        break;
      case ConsensusRule::Extended: {
        bool fits = true;
        for (const int32_t t : out)
          fits = fits && compatible(counts.bits(k), counts.bits(t), counts.words());
        if (fits) out.push_back(k);
        break;
      }
    }
  }
  return out;
}

MultiTree consensusTree(const SplitCounts& counts, std::span<const int32_t> splits,
                        bool withLengths) {
  MultiTree out;
  out.lengths = withLengths;
  const int32_t taxa = counts.taxonCount();
  if (taxa == 0) return out;
  const int words = counts.words();
  // Larger clusters first: each taxon and cluster hangs from the smallest cluster holding it.
  std::vector<int32_t> bySize(splits.begin(), splits.end());
  std::vector<int32_t> size(static_cast<std::size_t>(counts.size()), 0);
  for (const int32_t k : bySize)
    size[static_cast<std::size_t>(k)] = bits::count(counts.bits(k), words);
  std::stable_sort(bySize.begin(), bySize.end(), [&](int32_t a, int32_t b) {
    return size[static_cast<std::size_t>(a)] > size[static_cast<std::size_t>(b)];
  });
  const std::size_t c = bySize.size();
  std::vector<int32_t> parentOfTaxon(static_cast<std::size_t>(taxa), -1);
  std::vector<int32_t> parentOfCluster(c, -1);
  for (std::size_t i = 0; i < c; ++i) {
    const uint64_t* b = counts.bits(bySize[i]);
    for (int32_t t = 0; t < taxa; ++t)
      if (bits::test(b, t)) parentOfTaxon[static_cast<std::size_t>(t)] = static_cast<int32_t>(i);
    for (std::size_t j = 0; j < i; ++j) {
      const uint64_t* a = counts.bits(bySize[j]);
      bool inside = true;
      for (int w = 0; w < words && inside; ++w) inside = (b[w] & ~a[w]) == 0;
      if (inside) parentOfCluster[i] = static_cast<int32_t>(j);  // the last, smallest, holder
    }
  }
  // Children of each cluster (and of the root, -1), each group by its smallest taxon.
  std::vector<std::vector<std::pair<int32_t, int32_t>>> members(c + 1);  // (smallest taxon, item)
  const auto slot = [&](int32_t cluster) { return static_cast<std::size_t>(cluster + 1); };
  std::vector<int32_t> least(c, taxa);
  for (int32_t t = taxa - 1; t >= 0; --t) {
    members[slot(parentOfTaxon[static_cast<std::size_t>(t)])].emplace_back(t, -1 - t);
    for (int32_t p = parentOfTaxon[static_cast<std::size_t>(t)]; p >= 0;
         p = parentOfCluster[static_cast<std::size_t>(p)])
      least[static_cast<std::size_t>(p)] = t;
  }
  for (std::size_t i = 0; i < c; ++i)
    members[slot(parentOfCluster[i])].emplace_back(least[i], static_cast<int32_t>(i));
  const auto build = [&](auto&& self, int32_t cluster) -> int32_t {
    auto& list = members[slot(cluster)];
    std::sort(list.begin(), list.end());
    std::vector<int32_t> children;
    for (const auto& [smallest, item] : list) {
      if (item < 0) {
        const int32_t t = -1 - item;
        children.push_back(out.addLeaf(t, withLengths ? counts.meanLeafLength(t) : 0.0));
      } else {
        children.push_back(self(self, item));
      }
    }
    if (cluster < 0) return out.addInner(std::move(children), 0.0, -1);
    const int32_t k = bySize[static_cast<std::size_t>(cluster)];
    return out.addInner(std::move(children), withLengths ? counts.meanLength(k) : 0.0,
                        roundSupport(counts.count(k), counts.trees()));
  };
  build(build, -1);
  return out;
}

}  // namespace ramovia
