// Nucleotide divergence: a matrix per block from the block's own pair tables, merged into one
// matrix over the taxa as the mean weighted by the blocks' marker counts.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/dataset.h"
#include "model/matrix.h"

namespace ramovia {

struct BlockMatrix {
  const Block* block = nullptr;
  const SquareMatrix* values = nullptr;  // the block's matrix over `columns`
  std::span<const int32_t> columns;      // the block's columns it was computed over, in order
};

struct MergeScratch {
  std::vector<int32_t> positionOf;
  std::vector<int32_t> where;
  std::vector<int64_t> weights;
};

// M(i, j) for `taxa` (data set taxa in order): the means of the block values weighted by the
// blocks' marker counts over the blocks in which both taxa show a marker, in block order; a pair
// without such a block gets the value of a coefficient that cannot be computed (S = 0, stored as
// a distance when `storeDistances`).
void mergeBlockMatrices(int32_t taxonCount, std::span<const BlockMatrix> blocks,
                        std::span<const int32_t> taxa, bool storeDistances, SquareMatrix& out,
                        MergeScratch& scratch);

}  // namespace ramovia
