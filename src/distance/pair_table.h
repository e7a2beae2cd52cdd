// Pair tables (a, b, c, d, n) of two taxa over a fragment sample, counted with bitsets.
//
// Two steps, so that a resampling replicate can run on any thread from explicit inputs:
//   1. PairTableIndex::Build(enzym) once per data set content: per taxon, which positions of
//      Fragmenty it holds and which blocks it has no data for. Read-only afterwards; any number of
//      threads may share it.
//   2. SampleExpansion::Assign(index, taxa, sample) per replicate: the taxa in active-list order
//   and
//      the fragment sample, expanded to one bit per sample entry and taxon. After Assign,
//      Count(i, j) is a few popcounts. Each thread keeps its own SampleExpansion; its buffers are
//      reused, so a steady run allocates nothing.
//
// The index keys taxa by their TDruh pointer, so reordering Druhy or switching the active list
// leaves it valid. Adding or removing taxa or fragments, changing a taxon's Fragmenty or
// ForbiddenEnzyms, or extending the data set's Fragmenty needs a new Build.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "model/enzym.h"

namespace ramovia {

struct PairCounts {
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t d = 0;
  int32_t n = 0;
  friend bool operator==(const PairCounts&, const PairCounts&) = default;
};

// Position of each Num in a fragment list (the first one holding it). Dense table when the
// numbers are compact, as the parser's running row numbers are; a hash otherwise.
class NumPositions {
 public:
  void Build(std::span<const std::unique_ptr<TFragment>> list);
  // -1 when no entry has this number.
  int32_t Find(int32_t num) const {
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

class PairTableIndex {
 public:
  static PairTableIndex Build(const TEnzym& enzym);

  int32_t PositionCount() const { return positions_; }
  // Row of a taxon of Druhy; -1 for a taxon the index does not know.
  int32_t RowOf(const TDruh* taxon) const;
  // Position in Fragmenty of the entry with this Num; -1 when there is none.
  int32_t PositionOfNum(int32_t num) const { return nums_.Find(num); }
  // Dense number of a block that some taxon lists in ForbiddenEnzyms; -1 for any other id.
  int32_t BlockOfEnzymId(int32_t id) const;

 private:
  friend class SampleExpansion;
  // Bit p of a row: the taxon holds a fragment with the Num of Fragmenty[p]. Bit `positions_`
  // stands for "not in Fragmenty" and is never set.
  bool Present(int32_t row, int32_t position) const {
    const uint64_t w = presence_[static_cast<std::size_t>(row) * presenceWords_ +
                                 (static_cast<uint32_t>(position) >> 6)];
    return ((w >> (static_cast<uint32_t>(position) & 63u)) & 1u) != 0;
  }
  bool Forbids(int32_t row, int32_t block) const {
    const uint64_t w = forbidden_[static_cast<std::size_t>(row) * blockWords_ +
                                  (static_cast<uint32_t>(block) >> 6)];
    return ((w >> (static_cast<uint32_t>(block) & 63u)) & 1u) != 0;
  }

  int32_t positions_ = 0;
  NumPositions nums_;
  std::unordered_map<const TDruh*, int32_t> rows_;
  std::size_t presenceWords_ = 0;
  std::vector<uint64_t> presence_;
  // Blocks that some taxon has no data for, by EnzymId; the last block bit is "none of them".
  std::unordered_map<int32_t, int32_t> blocks_;
  int32_t blockCount_ = 0;
  std::size_t blockWords_ = 0;
  std::vector<uint64_t> forbidden_;
  std::vector<uint8_t> rowHasForbidden_;
  std::vector<int32_t> positionBlock_;  // block number of each position's EnzymId
};

class SampleExpansion {
 public:
  // The sample as positions in the data set's Fragmenty (repetitions allowed).
  void Assign(const PairTableIndex& index, std::span<const TDruh* const> taxa,
              std::span<const int32_t> positions);
  // The sample as a fragment list (RedukovaneFragmenty, or Fragmenty itself): matched by Num,
  // left out by the entry's own EnzymId. A Num that is not in Fragmenty counts as absent.
  void Assign(const PairTableIndex& index, std::span<const TDruh* const> taxa,
              std::span<const std::unique_ptr<TFragment>> sample);

  int32_t TaxonCount() const { return taxa_; }
  int32_t EntryCount() const { return entries_; }
  // Pair table of the taxa at 0-based positions i and j of the taxa given to Assign.
  PairCounts Count(int32_t i, int32_t j) const;

 private:
  void Expand(const PairTableIndex& index, std::span<const TDruh* const> taxa);

  int32_t taxa_ = 0;
  int32_t entries_ = 0;
  std::size_t words_ = 0;
  std::vector<int32_t> entryPosition_;
  std::vector<int32_t> entryBlock_;
  std::vector<uint64_t> present_;    // taxa_ × words_: bit e = the taxon has entry e's fragment
  std::vector<uint64_t> forbidden_;  // taxa_ × words_: bit e = the taxon has no data for its block
  std::vector<int32_t> presentCount_;
  std::vector<uint8_t> hasForbidden_;
};

// Draws a fragment sample as positions, exactly as PrepareReducedFragList draws: one RandomIndex
// per attempt, rejected attempts included. `seen` is scratch space (kept to avoid reallocating).
void DrawSamplePositions(int32_t fragmentCount, int32_t count, bool distinct,
                         std::vector<int32_t>& out, std::vector<uint8_t>& seen);

}  // namespace ramovia
