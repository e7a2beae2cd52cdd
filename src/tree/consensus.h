// Consensus of many trees over the same taxa, from the splits they share.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "tree/multi_tree.h"
#include "tree/splits.h"

namespace ramovia {

// The splits of many trees (each holding every taxon), with the number of trees that have each,
// the lengths of their branches summed over those trees, and where each was first seen.
class SplitCounts {
 public:
  explicit SplitCounts(int32_t taxonCount = 0);

  // A tree built `count` times: its splits with their summed lengths (`lengthSums[k]` for split
  // k of `s`), its leaves' summed branch lengths by taxon, and `firstKey` ordering the trees by
  // first appearance.
  void add(const SplitSet& s, int32_t count, std::span<const double> lengthSums,
           std::span<const double> leafLengthSums, int64_t firstKey);
  // The same with the splits' bits::hash values already worked out.
  void add(const SplitSet& s, std::span<const uint64_t> hashes, int32_t count,
           std::span<const double> lengthSums, std::span<const double> leafLengthSums,
           int64_t firstKey);

  int32_t taxonCount() const { return taxa_; }
  int words() const { return words_; }
  int64_t trees() const { return trees_; }
  int32_t size() const { return static_cast<int32_t>(counts_.size()); }
  const uint64_t* bits(int32_t k) const {
    return bits_.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(words_);
  }
  int64_t count(int32_t k) const { return counts_[static_cast<std::size_t>(k)]; }
  double meanLength(int32_t k) const;
  double meanLeafLength(int32_t taxon) const;
  // Orders splits by first appearance.
  int64_t firstKey(int32_t k) const { return first_[static_cast<std::size_t>(k)]; }
  // The trees that have this split (0 when none has it).
  int64_t countOf(const uint64_t* bits) const;

 private:
  int32_t taxa_;
  int words_;
  int64_t trees_ = 0;
  std::vector<uint64_t> bits_;
  std::vector<int64_t> counts_;
  std::vector<double> lengthSums_;
  std::vector<int64_t> first_;
  std::vector<double> leafLengthSums_;
  std::unordered_multimap<uint64_t, int32_t> byHash_;
};

enum class ConsensusRule { Majority, Extended, Strict };

// The splits of the consensus, as indices into `counts`:
// - Majority: every split in more than `threshold` percent of the trees (50 to 100; at 100, in
//   all of them);
// - Strict: every split in all the trees;
// - Extended: the majority splits, then every split compatible with those taken, by falling
//   count; of equal counts the one seen first (its tree first, then its place in that tree).
std::vector<int32_t> consensusSplits(const SplitCounts& counts, ConsensusRule rule,
                                     double threshold);

// The tree of those splits, drawn from taxon 0: each inner node labelled with its split's share
// of the trees in percent, and with the mean lengths of the branches when `withLengths`.
MultiTree consensusTree(const SplitCounts& counts, std::span<const int32_t> splits,
                        bool withLengths);

}  // namespace ramovia
