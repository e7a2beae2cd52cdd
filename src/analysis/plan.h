// A resampling run as the user sets it up, and what it gives.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/resampling.h"
#include "analysis/unrooted.h"
#include "tree/tree_list.h"

namespace ramovia {

struct ResamplingPlan {
  Resampling method = Resampling::Bootstrap;
  int32_t replicates = 100;
  int32_t taxaLeftOut = 0;       // in every replicate (taxon jackknife, users)
  int32_t fragmentsLeftOut = 0;  // fewer markers drawn (jackknife, users; presence data)
  bool different = false;        // markers drawn without replacement
  std::optional<uint32_t> seed;  // the generator starts here; none: it goes on where it stands
  int threads = 0;               // workers; 0: every core. The results do not depend on it.
  // Allele frequencies: draw whole loci (as many as the data have, less fragmentsLeftOut) rather
  // than the alleles inside each locus.
  bool resampleLoci = false;
  bool keepReplicateTrees = false;  // every replicate's tree, in replicate order
};

struct ResamplingResult {
  ResamplingPlan plan;
  int32_t fragmentsDrawn = 0;  // markers drawn per replicate from presence data
  uint32_t startSeed = 0;      // the generator when the run started
  int32_t built = 0;           // replicates built: fewer than planned when cancelled
  bool cancelled = false;
  TreeList trees;              // the distinct trees, by falling count
  int32_t referenceHits = 0;   // replicates that gave the tree they were compared with
  std::vector<int32_t> support;  // per node of the reference tree; empty when there is none
  UnrootedSummary unrooted;      // the trees seen unrooted
  std::vector<Tree> replicates;  // when the plan keeps them
};

}  // namespace ramovia
