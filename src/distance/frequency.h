// Frequency distances R S T U V W X Y Z over several loci, with explicit inputs so that a
// resampling replicate can run on any thread:
//   1. FrequencyIndex::build(data) once per data set: for each taxon and each locus, whether the
//      taxon occurs there (the first column of its name) and its allele frequencies as a dense
//      vector over the locus' markers (the first score of each number). Read-only afterwards.
//   2. FrequencySample::assign(index, samples, taxa) per replicate: the taxa in order and each
//      locus' allele sample, gathered so that every term is an array read. One per thread; its
//      buffers are reused.
//   3. computeFrequencyDistances(sample, coefficient, out).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "distance/coefficient.h"
#include "distance/pair_table.h"
#include "model/dataset.h"
#include "model/matrix.h"
#include "model/progress.h"
#include "model/samples.h"

namespace ramovia {

class FrequencyIndex {
 public:
  // Rows are the data set's taxa; loci its blocks.
  static FrequencyIndex build(const Dataset& data);

  int32_t locusCount() const { return static_cast<int32_t>(loci_.size()); }

 private:
  friend class FrequencySample;
  struct Locus {
    int32_t slots = 1;  // positions of the locus' markers plus one for "no such allele"
    std::size_t base = 0;
    NumberPositions numbers;
  };
  int32_t rows_ = 0;
  bool pairwise_ = false;
  std::vector<Locus> loci_;
  std::vector<double> freq_;     // per locus: rows × slots, the last slot of each row 0
  std::vector<uint8_t> occurs_;  // rows × loci
};

class FrequencySample {
 public:
  // One allele sample per locus (positions in its markers), and the taxa in order.
  void assign(const FrequencyIndex& index, std::span<const MarkerSample> samples,
              std::span<const int32_t> taxa);
  // Loci drawn (positions in the index's loci, repetitions allowed), one allele sample each.
  void assign(const FrequencyIndex& index, std::span<const int32_t> loci,
              std::span<const MarkerSample> samples, std::span<const int32_t> taxa);

  int32_t taxonCount() const { return taxa_; }
  int32_t locusCount() const { return loci_; }
  bool pairwise() const { return pairwise_; }

 private:
  friend struct FrequencyKernel;
  void gather(const FrequencyIndex& index, std::span<const int32_t> taxa);

  int32_t taxa_ = 0;
  bool pairwise_ = false;                // only the loci typed in both taxa of a pair
  int32_t loci_ = 0;                     // loci drawn
  std::vector<int32_t> drawn_;           // the index's locus of each locus drawn
  std::vector<int32_t> everyLocus_;
  std::size_t entries_ = 0;
  std::vector<std::size_t> locusStart_;  // loci_ + 1 offsets into a taxon's entry row
  std::vector<int32_t> slots_;           // entries_: slot of each sample entry in its locus
  std::vector<double> values_;           // taxa_ × entries_
  std::vector<uint8_t> occurs_;          // taxa_ × loci_
  std::vector<double> sumSquares_;       // taxa_: running sum of x² over its loci and entries
};

// Distance of the coefficient between the taxa at 0-based positions i and j of the sample's taxa;
// 0 for a value that cannot be computed (and for a coefficient of another family).
double frequencyDistance(const FrequencySample& sample, Coefficient c, int32_t i, int32_t j);

// Fills out(i + 1, j + 1) and out(j + 1, i + 1) for 0 <= i < j < taxonCount(); the diagonal is not
// written. Grows `out` when too small; otherwise allocates nothing. A non-null `progress` gets
// setRange(0, T), setPosition(0), then setPosition(i) after each finished row i.
void computeFrequencyDistances(const FrequencySample& sample, Coefficient c, SquareMatrix& out,
                               ProgressSink* progress = nullptr);

}  // namespace ramovia
