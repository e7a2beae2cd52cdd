// One analysis: the data of one table, the coefficient and tree method chosen, the matrix and the
// reference tree computed from them, and the last resampling run. The desktop window and the
// command line both drive a Session; it knows nothing of widgets or texts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/engine.h"
#include "analysis/plan.h"
#include "distance/coefficient.h"
#include "input/input_format.h"
#include "model/dataset.h"
#include "model/matrix.h"
#include "model/progress.h"
#include "tree/tree.h"
#include "tree/tree_method.h"

namespace ramovia {

// A coefficient's matrix over the taxa in the order they had when it was computed.
struct CoefficientMatrix {
  Coefficient coefficient{};
  TreeMethod method = TreeMethod::None;
  std::vector<int32_t> taxa;  // row i is taxa[i - 1]
  SquareMatrix values;        // similarities, or distances (always under neighbor-joining)
  bool given = false;         // distances read from a file; the coefficient then means nothing
  int32_t size() const { return static_cast<int32_t>(taxa.size()); }
};

// The memory the workers of a resampling run take beside the data and the reference matrix.
uint64_t resamplingBytes(const Dataset& data, Coefficient c, int threads);

class Session {
 public:
  // The generator starts at `seed`; it goes on from run to run.
  explicit Session(uint32_t seed = 0);

  // --- the data ---
  // Replaces the data by the table's, and returns what the user should hear about its names. A
  // reading that stops early keeps what was read and passes the error on; a table too large for
  // the memory left is refused (MemoryError) before anything changes. The matrix, the trees and
  // the last run stay until the next computation, but belong to the earlier data.
  std::vector<std::string> readTable(std::string_view text, char decimalSeparator);
  // Reads any input the options name. The native table reads as readTable does; another format
  // that fails to read throws and leaves the session as it was. A distance matrix becomes the
  // data's matrix, straight to the tree (no coefficient, no resampling).
  std::vector<std::string> readInput(std::string_view text, const InputOptions& options);
  bool hasGivenMatrix() const { return given_ != nullptr; }
  // For allele frequencies: each pair over the loci typed in both (true), or each coefficient's
  // own rule for a missing locus (false, the default). Recomputes the matrix when one is shown.
  void setPairwiseMissingLoci(bool pairwise, ProgressSink* progress = nullptr);
  const Dataset& data() const { return *data_; }
  std::shared_ptr<const Dataset> sharedData() const { return data_; }

  // --- the choices and the matrix ---
  std::optional<Coefficient> coefficient() const { return coefficient_; }
  TreeMethod method() const { return method_; }
  // Each choice computes the matrix and the reference tree as soon as both are made.
  void chooseCoefficient(Coefficient c, ProgressSink* progress = nullptr);
  void chooseMethod(TreeMethod m, ProgressSink* progress = nullptr);
  // With both chosen: the matrix over the taxa in their current order, then the reference tree.
  void computeMatrix(ProgressSink* progress = nullptr);

  // What was computed, and the data it was computed from (the current data, or earlier data when
  // a table was read since).
  const Dataset& resultsData() const { return *resultsData_; }
  bool resultsAreCurrent() const { return resultsData_ == data_; }
  const CoefficientMatrix* matrix() const { return matrix_.get(); }
  // The same matrix, for a view that shows it after the session has moved on.
  std::shared_ptr<const CoefficientMatrix> sharedMatrix() const { return matrix_; }
  // The tree of the matrix; none after the matrix was edited.
  const Tree* referenceTree() const { return reference_ ? &*reference_ : nullptr; }
  // The tree runs count their replicates against: the reference tree, or the one an edited
  // matrix replaced.
  const Tree* comparedTree() const { return compared_ ? &*compared_ : nullptr; }

  // --- an edited matrix ---
  // The size of the matrix an edit is read into.
  int32_t editedMatrixSize() const;
  // Puts the taxa back into the order of the matrix (runs rearrange them).
  void restoreMatrixOrder();
  // The tree of these values in place of the reference tree.
  void buildFromMatrix(const SquareMatrix& values);
  const Tree* editedTree() const { return edited_ ? &*edited_ : nullptr; }

  // --- resampling ---
  // A reference tree of the current data exists and both choices are made.
  bool canResample() const;
  // Throws std::runtime_error with the message that refuses the plan.
  void checkPlan(const ResamplingPlan& plan) const;
  // Runs the plan; the support of each clade of the reference tree comes with the result. Hooks
  // resume, save and share the run (a process that does not collect keeps no summaries).
  const ResamplingResult& resample(const ResamplingPlan& plan, ProgressSink* progress = nullptr,
                                   const RunHooks* hooks = nullptr);
  const ResamplingResult* lastResult() const { return result_ ? &*result_ : nullptr; }

  // --- what runs change ---
  const std::vector<int32_t>& taxonOrder() const { return draws_.order; }
  uint32_t seed() const { return draws_.random.seed(); }
  void setSeed(uint32_t seed) { draws_.random.setSeed(seed); }

 private:
  void clearProducts();

  std::shared_ptr<const Dataset> data_;
  std::shared_ptr<const SquareMatrix> given_;  // the distances of a matrix read as the data
  DrawState draws_;
  std::optional<Coefficient> coefficient_;
  TreeMethod method_ = TreeMethod::None;

  std::shared_ptr<const Dataset> resultsData_;
  std::shared_ptr<const CoefficientMatrix> matrix_;
  std::optional<Tree> reference_;
  std::optional<Tree> compared_;
  std::optional<Tree> edited_;
  std::optional<ResamplingResult> result_;
  bool resamplingOffered_ = false;
};

}  // namespace ramovia
