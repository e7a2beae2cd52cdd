// Pair tables (a, b, c, d, n) of two taxa over a marker sample, counted with bitsets.
//
// Two steps, so that a resampling replicate can run on any thread from explicit inputs:
//   1. PairTableIndex::build once per data: per row (a taxon, or a block's column), which
//      positions of the marker list it holds and which blocks it has no data for. Read-only
//      afterwards; any number of threads may share it.
//   2. SampleExpansion::assign(index, rows, sample) per replicate: the rows taking part in order
//      and the marker sample, expanded to one bit per sample entry and row. After assign,
//      count(i, j) is a few popcounts. Each thread keeps its own SampleExpansion; its buffers are
//      reused, so a steady run allocates nothing.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "model/dataset.h"

namespace ramovia {

struct PairCounts {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t d = 0;
  int32_t n = 0;
  friend bool operator==(const PairCounts&, const PairCounts&) = default;
};

// Position of each number in a marker list (the first one holding it). Dense table when the
// numbers are compact, as the reader's running line numbers are; a hash otherwise.
class NumberPositions {
 public:
  void build(std::span<const Marker> list);
  // -1 when no entry has this number.
  int32_t find(int32_t num) const {
    if (dense_) {
      const int64_t k = static_cast<int64_t>(num) - minNum_;
      if (k < 0 || k >= static_cast<int64_t>(table_.size())) return -1;
      return table_[static_cast<std::size_t>(k)];
    }
    const auto it = hash_.find(num);
    return it == hash_.end() ? -1 : it->second;
  }

 private:
  bool dense_ = true;
  int32_t minNum_ = 0;
  std::vector<int32_t> table_;
  std::unordered_map<int32_t, int32_t> hash_;
};

// Scores of one row of a pair-table index; a row may have several runs (a taxon has one per
// column of each block).
struct PresenceRun {
  int32_t row = 0;
  std::span<const Score> scores;
};

class PairTableIndex {
 public:
  // Rows are the data set's taxa, positions its markers.
  static PairTableIndex build(const Dataset& data);
  // Rows are the columns of this block of the data set, positions its markers.
  static PairTableIndex build(const Dataset& data, const Block& block);
  // missingBlocks: for each row the ids of the blocks it has no data in, or empty for none.
  static PairTableIndex build(std::span<const Marker> positions, std::size_t rows,
                              std::span<const PresenceRun> runs,
                              std::span<const std::vector<int32_t>* const> missingBlocks);

  int32_t positionCount() const { return positions_; }
  int32_t rowCount() const { return rows_; }
  // Position in the marker list of the entry with this number; -1 when there is none.
  int32_t positionOfNumber(int32_t num) const { return numbers_.find(num); }
  // Dense number of a block that some row has no data in; -1 for any other id.
  int32_t blockOfId(int32_t id) const;

 private:
  friend class SampleExpansion;
  int32_t positions_ = 0;
  int32_t rows_ = 0;
  NumberPositions numbers_;
  // Held by position (one bitset over the rows each), so that a sample gathers whole columns.
  // Position `positions_` stands for "not in the list" and holds no row.
  std::size_t rowWords_ = 0;
  std::vector<uint64_t> columns_;  // (positions_ + 1) x rowWords_: bit r = row r holds it
  // Blocks that some row has no data in, by id; the last block bit is "none of them".
  std::unordered_map<int32_t, int32_t> blocks_;
  int32_t blockCount_ = 0;
  std::vector<uint64_t> blockColumns_;  // (blockCount_ + 1) x rowWords_: bit r = row r misses it
  bool anyMissing_ = false;
  std::vector<int32_t> positionBlock_;  // block number of each position's block
};

class SampleExpansion {
 public:
  // `rows` of the index in the order they take part (a row the index lacks holds nothing); the
  // sample as positions in its marker list (repetitions allowed; others count as absent).
  void assign(const PairTableIndex& index, std::span<const int32_t> rows,
              std::span<const int32_t> positions);

  int32_t rowCount() const { return taxa_; }
  int32_t entryCount() const { return entries_; }
  // Pair table of the rows at 0-based positions i and j of the rows given to assign.
  PairCounts count(int32_t i, int32_t j) const;
  // count(i, j) for j = from .. to - 1, into out[0 .. to - from - 1].
  void countRow(int32_t i, int32_t from, int32_t to, PairCounts* out) const;

 private:
  void expand(const PairTableIndex& index, std::span<const int32_t> rows);
  // Turns the gathered columns (entries x rowWords) into rows x words_ bits.
  void transpose(std::size_t rowWords, int32_t rowCount, std::vector<uint64_t>& out);

  int32_t taxa_ = 0;
  int32_t entries_ = 0;
  std::size_t words_ = 0;
  std::vector<int32_t> entryPosition_;
  std::vector<int32_t> entryBlock_;
  std::vector<uint64_t> gathered_;  // entries x rowWords of the index, one column per entry
  // One row of words_ per row of the index and a last one of zeros for rows it lacks.
  std::vector<uint64_t> present_;  // bit e = the row holds entry e's marker
  std::vector<uint64_t> missing_;  // bit e = the row has no data in its block; empty: none
  std::vector<std::size_t> offset_;  // start of each taking part row's words
  std::vector<int32_t> presentCount_;
  std::vector<uint8_t> hasMissing_;
  mutable std::vector<int32_t> both_;  // countRow's scratch: one SampleExpansion per thread
};

}  // namespace ramovia
