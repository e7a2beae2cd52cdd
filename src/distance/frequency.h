// Frequency distances R S T U V W X Y Z over several loci, with explicit inputs.
//
// Analysis::MultiTest is the window's method; the pieces below are the same computation in a form
// that a resampling replicate can run on any thread:
//   1. FrequencyIndex::Build(loci, taxa) once per data content: for each taxon of the merged data
//      set and each locus, whether the taxon occurs there (a locus taxon of exactly its name, the
//      first one in the locus' active list) and its allele frequencies as a dense vector over the
//      locus' Fragmenty positions (first fragment with the allele's Num). Read-only afterwards.
//   2. FrequencySample::Assign(index, samples, taxa) per replicate: the taxa in active-list order
//      and each locus' allele sample, gathered so that every term is an array read. One per
//      thread; its buffers are reused.
//   3. ComputeFrequencyDistances(sample, letter, out).
// Taxa are keyed by their TDruh pointer, so reordering the merged set's Druhy keeps the index
// valid; changes to the loci's taxa, fragments or values need a new Build.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "distance/pair_table.h"
#include "model/enzym.h"
#include "model/matrix.h"
#include "model/progress.h"

namespace ramovia {

class FrequencyIndex {
 public:
  static FrequencyIndex Build(std::span<const TEnzym* const> loci,
                              std::span<const TDruh* const> taxa);

  int32_t LocusCount() const { return static_cast<int32_t>(loci_.size()); }
  int32_t RowOf(const TDruh* taxon) const;

 private:
  friend class FrequencySample;
  struct Locus {
    int32_t slots = 1;  // positions of the locus' Fragmenty plus one for "no such allele"
    std::size_t base = 0;
    NumPositions nums;
  };
  std::vector<Locus> loci_;
  std::unordered_map<const TDruh*, int32_t> rows_;
  std::vector<double> freq_;     // per locus: rows × slots, the last slot of each row 0
  std::vector<uint8_t> occurs_;  // rows × loci
};

class FrequencySample {
 public:
  // Allele samples from each locus' RedukovaneFragmenty; `loci` as given to Build.
  void Assign(const FrequencyIndex& index, std::span<const TEnzym* const> loci,
              std::span<const TDruh* const> taxa);
  // Allele samples as positions in each locus' Fragmenty (one list per locus).
  void Assign(const FrequencyIndex& index, std::span<const std::vector<int32_t>> positions,
              std::span<const TDruh* const> taxa);

  int32_t TaxonCount() const { return taxa_; }
  int32_t LocusCount() const { return loci_; }

 private:
  friend struct FrequencyKernel;
  void Gather(const FrequencyIndex& index, std::span<const TDruh* const> taxa);

  int32_t taxa_ = 0;
  int32_t loci_ = 0;
  std::size_t entries_ = 0;
  std::vector<std::size_t> locusStart_;  // loci_ + 1 offsets into a taxon's entry row
  std::vector<int32_t> slots_;           // entries_: slot of each sample entry in its locus
  std::vector<double> values_;           // taxa_ × entries_
  std::vector<uint8_t> occurs_;          // taxa_ × loci_
  std::vector<double> sumSquares_;       // taxa_: running Σ of x² over its loci and entries
};

// Distance of `letter` between the taxa at 0-based positions i and j of the sample's taxa; 0 for a
// value that cannot be computed (and for a letter outside R .. Z).
double FrequencyDistance(const FrequencySample& sample, char letter, int32_t i, int32_t j);

// Fills out(i + 1, j + 1) and out(j + 1, i + 1) for 0 <= i < j < TaxonCount(); the diagonal is not
// written. Grows `out` when too small; otherwise allocates nothing. A non-null `progress` gets
// SetRange(0, T), SetPosition(0), then SetPosition(i) after each finished row i.
void ComputeFrequencyDistances(const FrequencySample& sample, char letter, SquareMatrix& out,
                               ProgressSink* progress = nullptr);

}  // namespace ramovia
