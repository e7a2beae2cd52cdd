#include "analysis/draws.h"

#include "model/names.h"

namespace ramovia {

void shuffleTaxa(Random& random, std::vector<int32_t>& order, int32_t bound) {
  const auto k = static_cast<std::size_t>(random.index(bound));
  if (k >= order.size()) throw ListIndexError(static_cast<long long>(k));
  const int32_t moved = order[k];
  order.erase(order.begin() + static_cast<std::ptrdiff_t>(k));
  order.push_back(moved);
}

TaxonSubset leaveOutTaxa(Random& random, const std::vector<int32_t>& order, int32_t n) {
  TaxonSubset subset(order);
  if (n <= 0) return subset;
  const bool tooMany = static_cast<std::size_t>(n) >= order.size();
  const auto removals = tooMany ? static_cast<int32_t>(order.size()) : n;
  for (int32_t r = 0; r < removals; ++r) {
    const auto j = static_cast<std::size_t>(random.index(static_cast<int32_t>(subset.size())));
    subset.erase(subset.begin() + static_cast<std::ptrdiff_t>(j));
  }
  // The removal that finds the list empty: its draw is made, then the list error.
  if (tooMany) throw ListIndexError(static_cast<long long>(random.index(0)));
  return subset;
}

void drawMarkerSample(Random& random, int32_t markers, int32_t count, bool distinct,
                      MarkerSample& out, std::vector<uint8_t>& seen) {
  out.clear();
  const int32_t k = count < markers ? count : markers;
  if (k <= 0) return;
  out.reserve(static_cast<std::size_t>(k));
  // Each marker stands once in the list, so "the sample already holds it" is "its position was
  // drawn before": a table replaces a search of the sample.
  if (distinct) seen.assign(static_cast<std::size_t>(markers), 0);
  while (static_cast<int32_t>(out.size()) < k) {
    const auto j = static_cast<int32_t>(random.index(markers));
    if (distinct) {
      if (seen[static_cast<std::size_t>(j)] != 0) continue;
      seen[static_cast<std::size_t>(j)] = 1;
    }
    out.push_back(j);
  }
}

}  // namespace ramovia
