// The two views a computation takes of a data set: which taxa take part, in which order, and
// which markers are counted.
#pragma once

#include <cstdint>
#include <vector>

namespace ramovia {

// The taxa of one computation in the order they take part: positions in Dataset::taxa (or in a
// block's columns).
using TaxonSubset = std::vector<int32_t>;

// The markers one computation counts: positions in a marker list, repetitions allowed.
using MarkerSample = std::vector<int32_t>;

// Every position of a list of n (markers, or a block's columns), in order.
inline std::vector<int32_t> allPositions(int32_t n) {
  std::vector<int32_t> s(static_cast<std::size_t>(n < 0 ? 0 : n));
  for (int32_t k = 0; k < n; ++k) s[static_cast<std::size_t>(k)] = k;
  return s;
}

}  // namespace ramovia
