// What the replicate loops share: the state a replicate's draws leave behind, and the tree of a
// replicate built from its matrix with a worker's own scratch.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "model/enzym.h"
#include "tree/builders.h"

namespace ramovia {

// The part of a data set that a replicate's draws change.
struct DrawnState {
  uint32_t seed = 0;
  std::vector<TDruh*> druhy;    // order of Druhy
  std::vector<TDruh*> reduced;  // RedukovaneDruhy
  bool useReduced = false;

  void Record(const TEnzym& e);
  void Restore(TEnzym& e) const;
};

struct TreeScratch {
  SquareMatrix K;
  TreeWorkspace tree;
  std::vector<const ItemName*> names;
};

// GenTree over `taxa` (the active list, in order) and the matrix in scratch.K; null under ettNone.
std::unique_ptr<TKVTreeNodeItem> BuildReplicateTree(TEnzymTreeType type, bool isDistance,
                                                    std::span<const TDruh* const> taxa,
                                                    TreeScratch& scratch);

}  // namespace ramovia
