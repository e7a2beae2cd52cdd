// Transfer distances (Lemoine et al., Nature 2018): how many taxa must move for a branch of the
// reference tree to appear in another tree, compared on the taxa the other tree holds.
#pragma once

#include <cstdint>
#include <vector>

#include "tree/splits.h"
#include "tree/tree.h"

namespace ramovia {

struct TransferScratch {
  std::vector<int32_t> parent, size, leafOf, pool, slot, leaves;
  std::vector<int32_t> freeBuffers;
  std::vector<uint8_t> done, seen;
};

// For every split k of `referenceSplits` (of `reference`): distance[k], the transfer distance to
// the closest branch of `other` (trivial branches included), and smallSide[k], the smaller side
// of the split restricted to the taxa `other` holds (0 when fewer than two taxa remain on a
// side: then `other` says nothing about it). O(n) per split after an O(n) preparation.
void transferDistances(const Tree& reference, const SplitSet& referenceSplits, const Tree& other,
                       int32_t taxonCount, TransferScratch& scratch,
                       std::vector<int32_t>& distance, std::vector<int32_t>& smallSide);

}  // namespace ramovia
