// One data table as plain data: the taxa, the blocks (one per enzyme, primer or locus) and the
// markers (fragments, bands or alleles) each taxon shows.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "model/large_pages.h"
#include "model/names.h"

namespace ramovia {

// One data line of the table: a restriction fragment, a band or an allele.
struct Marker {
  int32_t number = 0;  // the line's number: 1, 2, ... over all data lines of the table
  Name label;          // the line's first cell, or its number when that cell is empty
  int32_t block = 0;   // id of the block the line belongs to
};

// A marker a taxon shows, with the value of its cell (1 for a band, or a frequency).
struct Score {
  int32_t marker = 0;  // the marker's number
  double value = 0.0;
};

using ScoreStore = LargeVector<Score>;

// One column of the table within one block. Its scores, in line order, are a run of the data
// set's store: positions, not pointers, so that a copied data set stays whole.
struct BlockTaxon {
  Name name;
  int32_t taxon = -1;  // the data set's taxon of this name
  uint64_t first = 0;  // position of its first score in the store
  uint64_t count = 0;
};

struct Block {
  BlockName name;
  int32_t id = 0;           // 0, 1, ... in table order
  double siteLength = 0.0;  // the header's second cell; 0 when it has none
  std::vector<Marker> markers;   // the markers its columns show, each once, first seen first
  std::vector<BlockTaxon> taxa;  // the columns with data in this block, in table order
};

struct Taxon {
  Name name;
  std::vector<int32_t> missingBlocks;  // ids of the blocks it has no data in, once per column
};

struct Dataset {
  std::vector<Taxon> taxa;      // each name of the table once, in table order
  std::vector<Block> blocks;    // in table order
  std::vector<Marker> markers;  // the markers the taxa show, each once, first seen first
  // Every score once: block after block, each block's columns in table order.
  ScoreStore scores;
  double siteLength = 0.0;      // the blocks' site lengths added up
  bool frequencies = false;     // allele frequencies rather than presence/absence marks
  // Data counted from genotypes: alleleCopies[taxon][block], the typed allele copies behind each
  // frequency. Empty for a table of frequencies.
  std::vector<std::vector<int64_t>> alleleCopies;
  // The frequency distances of a pair use only the loci typed in both, averaged over those,
  // instead of each coefficient's own rule for a missing locus. The user's choice; it travels
  // with the data so that every replicate follows it.
  bool pairwiseMissingLoci = false;

  int32_t taxonCount() const { return static_cast<int32_t>(taxa.size()); }
  int32_t markerCount() const { return static_cast<int32_t>(markers.size()); }
  // Position of the taxon of exactly this name; -1 when there is none.
  int32_t taxonIndex(std::string_view name) const;

  std::span<const Score> scoresOf(const BlockTaxon& column) const {
    return {scores.data() + column.first, static_cast<std::size_t>(column.count)};
  }
};

// The markers of these rows, each number once, in the order the rows and their scores list them;
// each marker as `known` (searched by number) describes it. `knownHoldsEvery`: the caller knows
// that the known lists hold every number of the rows, so the walk may end once all are listed.
std::vector<Marker> distinctMarkers(const std::vector<std::span<const Score>>& rows,
                                    const std::vector<const std::vector<Marker>*>& known,
                                    bool knownHoldsEvery = false);

// The data set of these blocks, whose columns' runs are in `scores` (block after block, columns
// in order). Each block holds one column per name of the table; hasData[b][k] tells whether
// column k has data in block b. Taxa are the distinct names in order; a column without data puts
// the block among its taxon's missing blocks and is dropped from the block with its scores. A
// block's markers are those of all its columns (the reader lists them), and hold every number
// its columns show.
Dataset mergeBlocks(std::vector<Block> blocks, ScoreStore scores,
                    const std::vector<std::vector<uint8_t>>& hasData, bool frequencies);

// For each taxon of the data set, the first column of the block that is that taxon; -1 for none.
std::vector<int32_t> firstColumns(const Block& block, int32_t taxonCount);

}  // namespace ramovia
