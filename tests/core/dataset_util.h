// A taxon's scores as one list, as the checks read them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/dataset.h"

namespace ramovia {

// Every block's scores of the taxon, block after block.
inline std::vector<Score> taxonScores(const Dataset& d, int32_t taxon) {
  std::vector<Score> out;
  for (const Block& block : d.blocks)
    for (const BlockTaxon& column : block.taxa)
      if (column.taxon == taxon) {
        const std::span<const Score> run = d.scoresOf(column);
        out.insert(out.end(), run.begin(), run.end());
      }
  return out;
}

}  // namespace ramovia
