// Data sets for the distance tests, built directly through the model. Tables of blocks go through
// mergeBlocks, so that taxa, missing blocks and markers are what the reader leaves.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/dataset.h"
#include "model/samples.h"

namespace ramovia::fixtures {

// Adds a score at the end of column `column` of block `block`; the runs after it move up.
inline void appendScore(Dataset& d, std::size_t block, std::size_t column, Score s) {
  BlockTaxon& own = d.blocks[block].taxa[column];
  const uint64_t at = own.first + own.count;
  for (Block& b : d.blocks)
    for (BlockTaxon& c : b.taxa)
      if (&c != &own && c.first >= at) ++c.first;
  d.scores.insert(d.scores.begin() + static_cast<std::ptrdiff_t>(at), s);
  ++own.count;
}

// The same at the end of the taxon's last column.
inline void appendScore(Dataset& d, int32_t taxon, Score s) {
  for (std::size_t b = d.blocks.size(); b-- > 0;)
    for (std::size_t k = d.blocks[b].taxa.size(); k-- > 0;)
      if (d.blocks[b].taxa[k].taxon == taxon) return appendScore(d, b, k, s);
  throw std::logic_error("appendScore: the taxon has no column");
}

// A cell without a score.
inline constexpr double kNo = std::numeric_limits<double>::quiet_NaN();

inline TaxonSubset allTaxa(const Dataset& data) {
  TaxonSubset taxa(static_cast<std::size_t>(data.taxonCount()));
  std::iota(taxa.begin(), taxa.end(), 0);
  return taxa;
}

// Position of the marker of this number in the data set's list; -1 for none.
inline int32_t positionOf(const Dataset& data, int32_t number) {
  for (std::size_t p = 0; p < data.markers.size(); ++p)
    if (data.markers[p].number == number) return static_cast<int32_t>(p);
  return -1;
}

// A table built block by block; each data line of the whole table gets the next number.
class TableBuilder {
 public:
  // cells[t][row]: the value of taxon names[t] on the block's row `row`, kNo for none. A taxon
  // listed here has data in the block; `labels` name the rows (default: their number).
  int32_t addBlock(const std::vector<std::string>& names,
                   const std::vector<std::vector<double>>& cells, double siteLength = 0.0,
                   const std::vector<std::string>& labels = {}) {
    const auto id = static_cast<int32_t>(blocks_.size());
    Pending block{siteLength, {}, names, {}};
    const std::size_t rows = cells.empty() ? 0 : cells.front().size();
    for (std::size_t r = 0; r < rows; ++r) {
      const int32_t number = nextNumber_++;
      block.lines.push_back(
          Marker{number, Name(r < labels.size() ? labels[r] : std::to_string(number)), id});
    }
    for (const auto& row : cells) {
      std::vector<Score> scores;
      for (std::size_t r = 0; r < rows; ++r)
        if (!std::isnan(row[r])) scores.push_back(Score{block.lines[r].number, row[r]});
      block.scores.push_back(std::move(scores));
    }
    blocks_.push_back(std::move(block));
    return id;
  }

  // Every block holds a column per name of the table (names in order of first appearance); the
  // names a block does not list have no data there.
  Dataset build(bool frequencies) const {
    std::vector<std::string> table;
    for (const Pending& p : blocks_)
      for (const std::string& name : p.names)
        if (std::find(table.begin(), table.end(), name) == table.end()) table.push_back(name);
    std::vector<Block> blocks;
    ScoreStore scores;
    std::vector<std::vector<uint8_t>> hasData;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const Pending& p = blocks_[b];
      Block block;
      block.name = "B" + std::to_string(b);
      block.id = static_cast<int32_t>(b);
      block.siteLength = p.siteLength;
      std::vector<uint8_t> has(table.size(), 0);
      for (std::size_t k = 0; k < table.size(); ++k) {
        BlockTaxon column;
        column.name = table[k];
        column.first = scores.size();
        const auto at = std::find(p.names.begin(), p.names.end(), table[k]);
        if (at != p.names.end()) {
          const std::vector<Score>& own = p.scores[static_cast<std::size_t>(at - p.names.begin())];
          scores.insert(scores.end(), own.begin(), own.end());
          has[k] = 1;
        }
        column.count = scores.size() - column.first;
        block.taxa.push_back(std::move(column));
      }
      std::vector<std::span<const Score>> rows;
      for (const BlockTaxon& column : block.taxa)
        rows.emplace_back(scores.data() + column.first, column.count);
      block.markers = distinctMarkers(rows, {&p.lines});
      blocks.push_back(std::move(block));
      hasData.push_back(std::move(has));
    }
    return mergeBlocks(std::move(blocks), std::move(scores), hasData, frequencies);
  }

 private:
  struct Pending {
    double siteLength;
    std::vector<Marker> lines;
    std::vector<std::string> names;
    std::vector<std::vector<Score>> scores;
  };
  std::vector<Pending> blocks_;
  int32_t nextNumber_ = 1;
};

// Presence/absence data made at random, as merged taxa and markers only (what the presence
// kernels read), with the awkward cases a table can leave: blocks a taxon has no data in
// (sometimes while still holding markers of them, as two names merged by the 20-byte cut do),
// repeated marker numbers, missing ids that name no block or name one twice, sparse numbers.
inline Dataset randomPresenceSet(std::mt19937& rng, int taxa, int blocks, int perBlock) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const bool sparse = u(rng) < 0.3;
  const double density = 0.15 + 0.7 * u(rng);
  std::vector<std::vector<Marker>> lines(static_cast<std::size_t>(blocks));
  int32_t next = 1;
  for (int b = 0; b < blocks; ++b) {
    for (int k = 0; k < perBlock; ++k) {
      lines[static_cast<std::size_t>(b)].push_back(Marker{next, Name(std::to_string(next)), b});
      next += sparse ? 1 + static_cast<int32_t>(u(rng) * 100000) : 1;
    }
  }
  Dataset data;
  std::vector<std::vector<std::vector<Score>>> cells(
      static_cast<std::size_t>(blocks), std::vector<std::vector<Score>>(static_cast<std::size_t>(taxa)));
  for (int t = 0; t < taxa; ++t) {
    Taxon taxon;
    taxon.name = "T" + std::to_string(t);
    for (int b = 0; b < blocks; ++b) {
      const bool missing = u(rng) < 0.2;
      if (missing) taxon.missingBlocks.push_back(b);
      if (missing && u(rng) < 0.6) continue;  // merged names keep some of it
      auto& own = cells[static_cast<std::size_t>(b)][static_cast<std::size_t>(t)];
      for (const Marker& m : lines[static_cast<std::size_t>(b)]) {
        if (u(rng) >= density) continue;
        own.push_back(Score{m.number, 1.0});
        if (u(rng) < 0.05) own.push_back(Score{m.number, 1.0});
      }
    }
    if (u(rng) < 0.1) taxon.missingBlocks.push_back(blocks + 7);
    if (u(rng) < 0.1 && blocks > 0) taxon.missingBlocks.push_back(0);  // twice
    data.taxa.push_back(std::move(taxon));
  }
  for (int b = 0; b < blocks; ++b) {
    Block block;
    block.id = b;
    block.markers = lines[static_cast<std::size_t>(b)];
    for (int t = 0; t < taxa; ++t) {
      const auto& own = cells[static_cast<std::size_t>(b)][static_cast<std::size_t>(t)];
      block.taxa.push_back(BlockTaxon{data.taxa[static_cast<std::size_t>(t)].name, t,
                                      data.scores.size(), own.size()});
      data.scores.insert(data.scores.end(), own.begin(), own.end());
    }
    data.blocks.push_back(std::move(block));
  }
  std::vector<std::span<const Score>> rows;
  for (int t = 0; t < taxa; ++t)
    for (const Block& block : data.blocks)
      rows.push_back(data.scoresOf(block.taxa[static_cast<std::size_t>(t)]));
  std::vector<const std::vector<Marker>*> known;
  for (const auto& list : lines) known.push_back(&list);
  data.markers = distinctMarkers(rows, known);
  return data;
}

}  // namespace ramovia::fixtures
