#include "resampling/replicate_state.h"

#include <unordered_map>

#include "resampling/random.h"

namespace ramovia {

void DrawnState::Record(const TEnzym& e) {
  seed = GetRandomSeed();
  druhy.clear();
  for (const auto& d : e.Druhy) druhy.push_back(d.get());
  reduced = e.RedukovaneDruhy;
  useReduced = e.UseRedukovaneDruhy;
}

void DrawnState::Restore(TEnzym& e) const {
  SetRandomSeed(seed);
  std::unordered_map<const TDruh*, std::size_t> at;
  at.reserve(e.Druhy.size());
  for (std::size_t k = 0; k < e.Druhy.size(); ++k) at.emplace(e.Druhy[k].get(), k);
  std::vector<std::unique_ptr<TDruh>> ordered(druhy.size());
  for (std::size_t k = 0; k < druhy.size(); ++k) ordered[k] = std::move(e.Druhy[at.at(druhy[k])]);
  e.Druhy = std::move(ordered);
  e.RedukovaneDruhy = reduced;
  e.UseRedukovaneDruhy = useReduced;
}

std::unique_ptr<TKVTreeNodeItem> BuildReplicateTree(TEnzymTreeType type, bool isDistance,
                                                    std::span<const TDruh* const> taxa,
                                                    TreeScratch& scratch) {
  if (type == ettNone) return nullptr;
  scratch.names.resize(taxa.size());
  for (std::size_t k = 0; k < taxa.size(); ++k) scratch.names[k] = &taxa[k]->Name;
  const int n = static_cast<int>(taxa.size());
  if (type == ettUPGMA) return BuildUPGMA(scratch.K, n, scratch.names.data(), isDistance, scratch.tree);
  return BuildNbJoin(scratch.K, n, scratch.names.data(), scratch.tree);
}

}  // namespace ramovia
