#include "model/dataset.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace ramovia {

int32_t Dataset::taxonIndex(std::string_view name) const {
  for (std::size_t k = 0; k < taxa.size(); ++k)
    if (taxa[k].name == name) return static_cast<int32_t>(k);
  return -1;
}

std::vector<Marker> distinctMarkers(const std::vector<std::span<const Score>>& rows,
                                    const std::vector<const std::vector<Marker>*>& known,
                                    bool knownHoldsEvery) {
  int64_t lo = std::numeric_limits<int32_t>::max();
  int64_t hi = std::numeric_limits<int32_t>::min();
  std::size_t scores = 0;
  for (const std::span<const Score> row : rows) scores += row.size();
  if (knownHoldsEvery) {
    for (const auto* list : known)
      for (const Marker& m : *list) {
        lo = std::min<int64_t>(lo, m.number);
        hi = std::max<int64_t>(hi, m.number);
      }
  } else {
    for (const std::span<const Score> row : rows)
      for (const Score& s : row) {
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
  if (span > 0 && span <= 4 * static_cast<int64_t>(scores) + 1024) {
    std::vector<const Marker*> byNumber(static_cast<std::size_t>(span), nullptr);
    std::size_t unlisted = 0;  // known numbers not listed yet
    for (const auto* list : known)
      for (const Marker& m : *list) {
        const int64_t k = static_cast<int64_t>(m.number) - lo;
        if (k >= 0 && k < span && byNumber[static_cast<std::size_t>(k)] == nullptr) {
          byNumber[static_cast<std::size_t>(k)] = &m;
          ++unlisted;
        }
      }
    std::vector<uint8_t> listed(static_cast<std::size_t>(span), 0);
    for (const std::span<const Score> row : rows)
      for (const Score& s : row) {
        const int64_t k = static_cast<int64_t>(s.marker) - lo;
        if (knownHoldsEvery && (k < 0 || k >= span || byNumber[static_cast<std::size_t>(k)] == nullptr))
          return distinctMarkers(rows, known, false);  // a number no list knows after all
        if (listed[static_cast<std::size_t>(k)] != 0) continue;
        listed[static_cast<std::size_t>(k)] = 1;
        out.push_back(describe(s.marker, byNumber[static_cast<std::size_t>(k)]));
        // With every number known, the rest of the rows can only repeat them.
        if (knownHoldsEvery && --unlisted == 0) return out;
      }
    return out;
  }
  if (knownHoldsEvery) return distinctMarkers(rows, known, false);
  std::unordered_map<int32_t, const Marker*> byNumber;
  for (const auto* list : known)
    for (const Marker& m : *list) byNumber.try_emplace(m.number, &m);
  std::unordered_set<int32_t> listed;
  for (const std::span<const Score> row : rows) {
    for (const Score& s : row) {
      if (!listed.insert(s.marker).second) continue;
      const auto it = byNumber.find(s.marker);
      out.push_back(describe(s.marker, it != byNumber.end() ? it->second : nullptr));
    }
  }
  return out;
}

Dataset mergeBlocks(std::vector<Block> blocks, ScoreStore scores,
                    const std::vector<std::vector<uint8_t>>& hasData, bool frequencies) {
  Dataset d;
  d.frequencies = frequencies;
  // Every column of every block names a taxon, whether or not it has data there. Blocks mostly
  // repeat the columns of the one before: a comparison spares the look-up.
  std::unordered_map<std::string, int32_t> byName;
  const std::vector<BlockTaxon>* previous = nullptr;
  for (Block& block : blocks) {
    for (std::size_t k = 0; k < block.taxa.size(); ++k) {
      BlockTaxon& column = block.taxa[k];
      if (previous != nullptr && k < previous->size() && (*previous)[k].name == column.name) {
        column.taxon = (*previous)[k].taxon;
        continue;
      }
      const auto [at, isNew] = byName.try_emplace(column.name.str(), d.taxonCount());
      if (isNew) d.taxa.push_back(Taxon{column.name, {}});
      column.taxon = at->second;
    }
    previous = &block.taxa;
  }
  // The columns without data leave the store; the others move up over them, in order. Runs
  // given out of that order are gathered into a new store.
  bool inOrder = true;
  uint64_t end = 0;
  for (const Block& block : blocks)
    for (const BlockTaxon& column : block.taxa) {
      if (column.count > scores.size() || column.first > scores.size() - column.count)
        throw std::out_of_range("mergeBlocks: a column's scores lie outside the store");
      inOrder = inOrder && column.first >= end;
      end = column.first + column.count;
    }
  ScoreStore gathered;
  if (!inOrder) gathered.reserve(scores.size());
  uint64_t kept = 0;
  std::vector<std::size_t> start(d.taxa.size() + 1, 0);
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    Block& block = blocks[b];
    d.siteLength += block.siteLength;
    std::size_t out = 0;
    for (std::size_t k = 0; k < block.taxa.size(); ++k) {
      BlockTaxon& column = block.taxa[k];
      if (hasData[b][k] == 0) {
        d.taxa[static_cast<std::size_t>(column.taxon)].missingBlocks.push_back(block.id);
        continue;
      }
      const auto from = scores.begin() + static_cast<std::ptrdiff_t>(column.first);
      const auto to = from + static_cast<std::ptrdiff_t>(column.count);
      if (!inOrder)
        gathered.insert(gathered.end(), from, to);
      else if (column.first != kept)
        std::copy(from, to, scores.begin() + static_cast<std::ptrdiff_t>(kept));
      column.first = kept;
      kept += column.count;
      ++start[static_cast<std::size_t>(column.taxon) + 1];
      if (out != k) block.taxa[out] = std::move(column);
      ++out;
    }
    block.taxa.resize(out);
  }
  if (!inOrder) scores = std::move(gathered);
  scores.resize(kept);
  // The markers in the order of the taxa, each taxon's scores block after block.
  for (std::size_t t = 1; t < start.size(); ++t) start[t] += start[t - 1];
  std::vector<std::span<const Score>> rows(start.back());
  for (const Block& block : blocks)
    for (const BlockTaxon& column : block.taxa)
      rows[start[static_cast<std::size_t>(column.taxon)]++] = {
          scores.data() + column.first, static_cast<std::size_t>(column.count)};
  std::vector<const std::vector<Marker>*> known;
  for (const Block& block : blocks) known.push_back(&block.markers);
  d.markers = distinctMarkers(rows, known, true);
  d.blocks = std::move(blocks);
  d.scores = std::move(scores);
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
