#include "distance/complete_distance.h"

#include <string_view>

#include "distance/coefficients.h"

namespace ramovia {

void MergeIndex::Build(std::span<const TDruh* const> merged,
                       std::span<const TEnzym* const> blocks) {
  merged_.clear();
  block_.clear();
  std::unordered_map<std::string_view, int32_t> byName;
  count_ = static_cast<int32_t>(merged.size());
  for (int32_t k = 0; k < count_; ++k) {
    merged_.emplace(merged[static_cast<std::size_t>(k)], k);
    byName.try_emplace(std::string_view(merged[static_cast<std::size_t>(k)]->Name.str()), k);
  }
  for (const TEnzym* b : blocks)
    for (const auto& d : b->Druhy) {
      auto it = byName.find(std::string_view(d->Name.str()));
      block_.emplace(d.get(), it == byName.end() ? -1 : it->second);
    }
}

int32_t MergeIndex::IdOf(const TDruh* mergedTaxon) const {
  auto it = merged_.find(mergedTaxon);
  return it == merged_.end() ? -1 : it->second;
}

int32_t MergeIndex::IdOfBlockTaxon(const TDruh* blockTaxon) const {
  auto it = block_.find(blockTaxon);
  return it == block_.end() ? -1 : it->second;
}

void MergeBlockMatrices(const MergeIndex& index, std::span<const BlockMatrix> blocks,
                        std::span<const TDruh* const> taxa, TEnzymTreeType type,
                        SquareMatrix& out, MergeScratch& scratch) {
  const auto t = static_cast<int32_t>(taxa.size());
  out.Reserve(t);
  const auto size = static_cast<std::size_t>(t) + 1;
  scratch.weights.assign(size * size, 0);
  for (int32_t i = 1; i <= t; ++i)
    for (int32_t j = 1; j <= t; ++j) out(i, j) = 0.0;
  scratch.positionOfId.assign(static_cast<std::size_t>(index.Count()) + 1, -1);
  for (int32_t k = 0; k < t; ++k) {
    const int32_t id = index.IdOf(taxa[static_cast<std::size_t>(k)]);
    // The first taxon of a name, as a lookup by name finds it.
    if (id >= 0 && scratch.positionOfId[static_cast<std::size_t>(id)] < 0)
      scratch.positionOfId[static_cast<std::size_t>(id)] = k + 1;
  }
  auto& weight = scratch.weights;
  for (const BlockMatrix& b : blocks) {
    const auto count = static_cast<int32_t>(b.taxa.size());
    scratch.where.assign(static_cast<std::size_t>(count), -1);
    for (int32_t p = 0; p < count; ++p) {
      const TDruh* d = b.taxa[static_cast<std::size_t>(p)];
      if (d->GetFragmentCount() == 0) continue;
      const int32_t id = index.IdOfBlockTaxon(d);
      if (id >= 0) scratch.where[static_cast<std::size_t>(p)] = scratch.positionOfId[static_cast<std::size_t>(id)];
    }
    const int32_t w = b.weight;
    for (int32_t p = 0; p < count; ++p) {
      const int32_t x = scratch.where[static_cast<std::size_t>(p)];
      if (x < 0) continue;
      for (int32_t q = p + 1; q < count; ++q) {
        const int32_t y = scratch.where[static_cast<std::size_t>(q)];
        if (y < 0) continue;  // no data here, or a taxon the merged list does not show
        out(x, y) = out(x, y) + w * (*b.koef)(p + 1, q + 1);
        out(y, x) = out(x, y);
        int64_t& wxy = weight[static_cast<std::size_t>(x) * size + static_cast<std::size_t>(y)];
        wxy = wxy + w;
        weight[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)] = wxy;
      }
    }
  }
  const double none = StoredSimilarity(0.0, type);
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
