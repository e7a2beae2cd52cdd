#include "model/dataset.h"

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace ramovia {

int32_t Dataset::taxonIndex(std::string_view name) const {
  for (std::size_t k = 0; k < taxa.size(); ++k)
    if (taxa[k].name == name) return static_cast<int32_t>(k);
  return -1;
}

std::vector<Marker> distinctMarkers(const std::vector<const std::vector<Score>*>& rows,
                                    const std::vector<const std::vector<Marker>*>& known) {
  int64_t lo = std::numeric_limits<int32_t>::max();
  int64_t hi = std::numeric_limits<int32_t>::min();
  std::size_t scores = 0;
  for (const auto* row : rows) {
    scores += row->size();
    for (const Score& s : *row) {
      lo = std::min<int64_t>(lo, s.marker);
      hi = std::max<int64_t>(hi, s.marker);
    }
  }
  std::vector<Marker> out;
  if (scores == 0) return out;
  const auto describe = [](int32_t number, const Marker* m) {
    return m != nullptr ? *m : Marker{number, Name(std::to_string(number)), -1};
  };
  // The reader numbers its lines 1, 2, ...: a table by number replaces a hash look-up per score.
  const int64_t span = hi - lo + 1;
  if (span <= 4 * static_cast<int64_t>(scores) + 1024) {
    std::vector<const Marker*> byNumber(static_cast<std::size_t>(span), nullptr);
    for (const auto* list : known)
      for (const Marker& m : *list) {
        const int64_t k = static_cast<int64_t>(m.number) - lo;
        if (k >= 0 && k < span && byNumber[static_cast<std::size_t>(k)] == nullptr)
          byNumber[static_cast<std::size_t>(k)] = &m;
      }
    std::vector<uint8_t> listed(static_cast<std::size_t>(span), 0);
    for (const auto* row : rows)
      for (const Score& s : *row) {
        const auto k = static_cast<std::size_t>(s.marker - lo);
        if (listed[k] != 0) continue;
        listed[k] = 1;
        out.push_back(describe(s.marker, byNumber[k]));
      }
    return out;
  }
  std::unordered_map<int32_t, const Marker*> byNumber;
  for (const auto* list : known)
    for (const Marker& m : *list) byNumber.try_emplace(m.number, &m);
  std::unordered_set<int32_t> listed;
  for (const auto* row : rows) {
    for (const Score& s : *row) {
      if (!listed.insert(s.marker).second) continue;
      const auto it = byNumber.find(s.marker);
      out.push_back(describe(s.marker, it != byNumber.end() ? it->second : nullptr));
    }
  }
  return out;
}

Dataset mergeBlocks(std::vector<Block> blocks, const std::vector<std::vector<uint8_t>>& hasData,
                    bool frequencies) {
  Dataset d;
  d.frequencies = frequencies;
  // Every column of every block names a taxon, whether or not it has data there.
  std::unordered_map<std::string, int32_t> byName;
  for (Block& block : blocks)
    for (BlockTaxon& column : block.taxa) {
      const auto [at, isNew] = byName.try_emplace(column.name.str(), d.taxonCount());
      if (isNew) d.taxa.push_back(Taxon{column.name, {}, {}});
      column.taxon = at->second;
    }
  // Each taxon's list is sized once for all blocks.
  std::vector<std::size_t> totals(d.taxa.size(), 0);
  for (std::size_t b = 0; b < blocks.size(); ++b)
    for (std::size_t k = 0; k < blocks[b].taxa.size(); ++k)
      if (hasData[b][k] != 0) totals[static_cast<std::size_t>(blocks[b].taxa[k].taxon)] +=
          blocks[b].taxa[k].scores.size();
  for (std::size_t t = 0; t < totals.size(); ++t) d.taxa[t].scores.reserve(totals[t]);

  for (std::size_t b = 0; b < blocks.size(); ++b) {
    Block& block = blocks[b];
    d.siteLength += block.siteLength;
    std::vector<BlockTaxon> kept;
    kept.reserve(block.taxa.size());
    for (std::size_t k = 0; k < block.taxa.size(); ++k) {
      BlockTaxon& column = block.taxa[k];
      Taxon& taxon = d.taxa[static_cast<std::size_t>(column.taxon)];
      if (hasData[b][k] == 0) {
        taxon.missingBlocks.push_back(block.id);
        continue;
      }
      taxon.scores.insert(taxon.scores.end(), column.scores.begin(), column.scores.end());
      kept.push_back(std::move(column));
    }
    block.taxa = std::move(kept);
  }
  std::vector<const std::vector<Score>*> rows;
  for (Taxon& t : d.taxa) rows.push_back(&t.scores);
  std::vector<const std::vector<Marker>*> known;
  for (const Block& block : blocks) known.push_back(&block.markers);
  d.markers = distinctMarkers(rows, known);
  d.blocks = std::move(blocks);
  return d;
}

std::vector<int32_t> firstColumns(const Block& block, int32_t taxonCount) {
  std::vector<int32_t> first(static_cast<std::size_t>(taxonCount), -1);
  for (std::size_t k = 0; k < block.taxa.size(); ++k) {
    const int32_t t = block.taxa[k].taxon;
    if (t >= 0 && t < taxonCount && first[static_cast<std::size_t>(t)] < 0)
      first[static_cast<std::size_t>(t)] = static_cast<int32_t>(k);
  }
  return first;
}

}  // namespace ramovia
