#include "distance/divergence.h"

#include "distance/presence.h"

namespace ramovia {

void mergeBlockMatrices(int32_t taxonCount, std::span<const BlockMatrix> blocks,
                        std::span<const int32_t> taxa, bool storeDistances, SquareMatrix& out,
                        MergeScratch& scratch) {
  const auto t = static_cast<int32_t>(taxa.size());
  out.reserve(t);
  const auto size = static_cast<std::size_t>(t) + 1;
  scratch.weights.assign(size * size, 0);
  for (int32_t i = 1; i <= t; ++i)
    for (int32_t j = 1; j <= t; ++j) out(i, j) = 0.0;
  scratch.positionOf.assign(static_cast<std::size_t>(taxonCount < 0 ? 0 : taxonCount), -1);
  for (int32_t k = 0; k < t; ++k) {
    const int32_t id = taxa[static_cast<std::size_t>(k)];
    if (id >= 0 && id < taxonCount && scratch.positionOf[static_cast<std::size_t>(id)] < 0)
      scratch.positionOf[static_cast<std::size_t>(id)] = k + 1;
  }
  auto& weight = scratch.weights;
  for (const BlockMatrix& b : blocks) {
    const auto count = static_cast<int32_t>(b.columns.size());
    scratch.where.assign(static_cast<std::size_t>(count), -1);
    for (int32_t p = 0; p < count; ++p) {
      const BlockTaxon& column = b.block->taxa[static_cast<std::size_t>(b.columns[static_cast<std::size_t>(p)])];
      if (column.count == 0) continue;
      if (column.taxon >= 0 && column.taxon < taxonCount)
        scratch.where[static_cast<std::size_t>(p)] =
            scratch.positionOf[static_cast<std::size_t>(column.taxon)];
    }
    const auto w = static_cast<int32_t>(b.block->markers.size());
    for (int32_t p = 0; p < count; ++p) {
      const int32_t x = scratch.where[static_cast<std::size_t>(p)];
      if (x < 0) continue;
      for (int32_t q = p + 1; q < count; ++q) {
        const int32_t y = scratch.where[static_cast<std::size_t>(q)];
        if (y < 0) continue;  // no data here, or a taxon that does not take part
        out(x, y) = out(x, y) + w * (*b.values)(p + 1, q + 1);
        out(y, x) = out(x, y);
        int64_t& wxy = weight[static_cast<std::size_t>(x) * size + static_cast<std::size_t>(y)];
        wxy = wxy + w;
        weight[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)] = wxy;
      }
    }
  }
  const double none = storedSimilarity(0.0, storeDistances);
  for (int32_t i = 1; i <= t; ++i) {
    for (int32_t j = 1; j <= t; ++j) {
      const int64_t wij = weight[static_cast<std::size_t>(i) * size + static_cast<std::size_t>(j)];
      if (wij != 0)
        out(i, j) = out(i, j) / static_cast<double>(wij);
      else if (i != j)
        out(i, j) = none;
    }
  }
}

}  // namespace ramovia
