// The merge of per-block matrices (coefficient N) into the merged data set's matrix, with
// explicit inputs so that a resampling replicate can merge on any thread.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "model/enzym.h"
#include "model/matrix.h"

namespace ramovia {

// Which merged taxon each block taxon is, found once by exact name (the first taxon of that name,
// as GetDruhStr finds it). Read-only afterwards.
class MergeIndex {
 public:
  // `merged` lists every taxon of the merged data set (Druhy, in any order).
  void Build(std::span<const TDruh* const> merged, std::span<const TEnzym* const> blocks);
  // Number of the merged taxon, -1 for a pointer that is none of them.
  int32_t IdOf(const TDruh* mergedTaxon) const;
  // Number of the merged taxon that this block taxon is, -1 when the merged set has none.
  int32_t IdOfBlockTaxon(const TDruh* blockTaxon) const;
  int32_t Count() const { return count_; }

 private:
  int32_t count_ = 0;
  std::unordered_map<const TDruh*, int32_t> merged_;
  std::unordered_map<const TDruh*, int32_t> block_;
};

struct BlockMatrix {
  const SquareMatrix* koef = nullptr;       // the block's matrix over `taxa`
  std::span<const TDruh* const> taxa;       // the block's active list when it was computed
  int32_t weight = 0;                       // the block's FragmentCount()
};

struct MergeScratch {
  std::vector<int32_t> positionOfId;
  std::vector<int32_t> where;
  std::vector<int64_t> weights;
};

// M(i, j) for the merged active list `taxa`: the means of the block values weighted by the blocks'
// fragment counts over the blocks where both taxa have data, in block order; a pair without such
// a block gets the value of a coefficient that cannot be computed (S = 0 stored by `type`).
void MergeBlockMatrices(const MergeIndex& index, std::span<const BlockMatrix> blocks,
                        std::span<const TDruh* const> taxa, TEnzymTreeType type,
                        SquareMatrix& out, MergeScratch& scratch);

}  // namespace ramovia
