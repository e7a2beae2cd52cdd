// A run's trees seen unrooted: the distinct unrooted topologies, the share of replicates holding
// each split of the reference tree, its transfer support, and the splits a consensus is made of.
#pragma once

#include <cstdint>
#include <vector>

#include "tree/consensus.h"
#include "tree/tree.h"
#include "tree/tree_list.h"

namespace ramovia {

struct UnrootedTopology {
  int64_t count = 0;
  int32_t first = 0;  // when it was first built, as TreeList::Entry::first
  int32_t entry = 0;  // a listed tree of this topology (the first built)
};

struct UnrootedSummary {
  std::vector<UnrootedTopology> topologies;  // by falling count, then first appearance
  // Every replicate held every taxon, so the splits below count them all and a consensus exists.
  bool everyTaxon = true;
  SplitCounts splits;
  // Per node of the reference tree, in percent; -1 where its branch is no split (leaves, the root,
  // branches of trivial splits). Empty without a reference tree.
  std::vector<int32_t> splitSupport;
  std::vector<int32_t> transferSupport;
};

// Works on the listed trees, each counted as often as it was built; `threads` share the transfer
// distances, and the result is the same for any number of them.
UnrootedSummary summarizeUnrooted(const TreeList& trees, int32_t taxonCount,
                                  const Tree* reference, int threads);

// The transfer support of one branch: 1 - the mean over the trees covering it of (transfer
// distance) / (smaller side - 1), in percent rounded to the nearest integer (halves to even).
int32_t transferPercent(double distanceShareSum, int64_t covered);

}  // namespace ramovia
