#include "analysis/session.h"

#include <stdexcept>

#include "analysis/reference_matrix.h"
#include "analysis/replicate_runner.h"
#include "input/table_reader.h"
#include "model/memory.h"
#include "tree/builders.h"
#include "tree/clade_support.h"

namespace ramovia {

namespace {

std::vector<int32_t> identityOrder(int32_t n) {
  std::vector<int32_t> order(static_cast<std::size_t>(n));
  for (int32_t k = 0; k < n; ++k) order[static_cast<std::size_t>(k)] = k;
  return order;
}

// The tree of rows 1..n of `values` over `taxa` of `data`.
Tree treeOf(const Dataset& data, TreeMethod method, bool distances, const SquareMatrix& values,
            const std::vector<int32_t>& taxa, ProgressSink* progress = nullptr) {
  std::vector<const Name*> names(taxa.size());
  for (std::size_t k = 0; k < taxa.size(); ++k)
    names[k] = &data.taxa[static_cast<std::size_t>(taxa[k])].name;
  TreeWorkspace ws;
  ws.stop = progress ? progress->stopFlag() : nullptr;
  return buildTree(method, values, static_cast<int>(taxa.size()), RowTaxa{taxa, names}, distances,
                   ws);
}

constexpr const char* kNoResamplingOfMatrix =
    "Resampling is not offered for a distance matrix read from a file: it holds no markers or "
    "loci to draw again. Read the data it was computed from to resample.";

}  // namespace

uint64_t resamplingBytes(const Dataset& data, Coefficient c, int threads) {
  // Every worker computes its replicates in matrices of its own.
  uint64_t perWorker = matrixBytes(static_cast<uint64_t>(data.taxonCount()));
  if (familyOf(c) == CoefficientFamily::Divergence)
    for (const Block& b : data.blocks)
      perWorker += matrixBytes(static_cast<uint64_t>(b.taxa.size())) / 3;
  return perWorker * static_cast<uint64_t>(workerThreads(threads));
}

Session::Session(uint32_t seed) : data_(std::make_shared<const Dataset>()), resultsData_(data_) {
  draws_.random.setSeed(seed);
}

std::vector<std::string> Session::readTable(std::string_view text, char decimalSeparator) {
  TableReading reading = ramovia::readTable(text, decimalSeparator);
  data_ = std::make_shared<const Dataset>(std::move(reading.data));
  draws_.order = identityOrder(data_->taxonCount());
  draws_.subsetSize = 0;
  resamplingOffered_ = false;
  given_.reset();
  if (reading.error) std::rethrow_exception(reading.error);
  return std::move(reading.warnings);
}

std::vector<std::string> Session::readInput(std::string_view text, const InputOptions& options) {
  const InputFormat format =
      options.format == InputFormat::Auto ? detectInputFormat(text) : options.format;
  if (format == InputFormat::Table) return readTable(text, options.decimalSeparator);
  InputOptions chosen = options;
  chosen.format = format;
  InputReading reading = ramovia::readInput(text, chosen);
  std::shared_ptr<const SquareMatrix> given;
  // Made as a non-const object: the first matrix computed from it may take its storage.
  if (reading.matrix) given = std::make_shared<SquareMatrix>(std::move(reading.matrix->values));
  data_ = std::make_shared<const Dataset>(std::move(reading.table.data));
  given_ = std::move(given);
  draws_.order = identityOrder(data_->taxonCount());
  draws_.subsetSize = 0;
  resamplingOffered_ = false;
  return std::move(reading.table.warnings);
}

void Session::setPairwiseMissingLoci(bool pairwise, ProgressSink* progress) {
  if (data_->pairwiseMissingLoci == pairwise) return;
  auto copy = std::make_shared<Dataset>(*data_);
  copy->pairwiseMissingLoci = pairwise;
  const bool current = resultsAreCurrent();
  data_ = std::move(copy);
  if (current && matrix_) computeMatrix(progress);
}

void Session::chooseCoefficient(Coefficient c, ProgressSink* progress) {
  coefficient_ = c;
  computeMatrix(progress);
}

void Session::chooseMethod(TreeMethod m, ProgressSink* progress) {
  method_ = m;
  computeMatrix(progress);
}

void Session::clearProducts() {
  edited_.reset();
  result_.reset();
}

void Session::computeMatrix(ProgressSink* progress) {
  if (given_ && method_ != TreeMethod::None) {
    CoefficientMatrix m;
    m.coefficient = coefficient_.value_or(Coefficient::Prevosti);
    m.method = method_;
    m.taxa = draws_.order;
    m.given = true;
    const int n = m.size();
    const bool inFileOrder = m.taxa == identityOrder(n);
    if (inFileOrder && given_.use_count() == 1) {
      // Nothing else holds the matrix read: it becomes the shown one, not a copy of it.
      m.values = std::move(const_cast<SquareMatrix&>(*given_));
    } else {
      m.values.reserve(n);
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j)
          m.values(i, j) = (*given_)(m.taxa[static_cast<std::size_t>(i - 1)] + 1,
                                     m.taxa[static_cast<std::size_t>(j - 1)] + 1);
    }
    resultsData_ = data_;
    matrix_ = std::make_shared<const CoefficientMatrix>(std::move(m));
    // In file order the shown matrix is the one read, held once.
    if (inFileOrder) given_ = std::shared_ptr<const SquareMatrix>(matrix_, &matrix_->values);
    reference_.reset();
    clearProducts();
    reference_ = treeOf(*data_, method_, true, matrix_->values, matrix_->taxa, progress);
    compared_ = reference_;
    resamplingOffered_ = false;
    return;
  }
  if (!coefficient_ || method_ == TreeMethod::None) return;
  const Dataset& data = *data_;
  requireMemory(referenceMatrixBytes(data, *coefficient_),
                "The matrix of " + std::to_string(data.taxonCount()) + " taxa");
  CoefficientMatrix m;
  m.coefficient = *coefficient_;
  m.method = method_;
  m.taxa = draws_.order;
  computeReferenceMatrix(data, m.coefficient, m.method, m.taxa, draws_.random, m.values, progress);
  // The matrix is shown even when no tree can be built from it.
  resultsData_ = data_;
  matrix_ = std::make_shared<const CoefficientMatrix>(std::move(m));
  reference_.reset();
  clearProducts();
  reference_ = treeOf(data, method_, isDistance(matrix_->coefficient), matrix_->values,
                      matrix_->taxa, progress);
  compared_ = reference_;
  resamplingOffered_ = true;
  if (progress && familyOf(matrix_->coefficient) == CoefficientFamily::Divergence)
    progress->setPosition(0);
}

int32_t Session::editedMatrixSize() const {
  return matrix_ ? matrix_->size() : data_->taxonCount();
}

void Session::restoreMatrixOrder() {
  if (matrix_ && resultsAreCurrent() && matrix_->taxa.size() == draws_.order.size())
    draws_.order = matrix_->taxa;
}

void Session::buildFromMatrix(const SquareMatrix& values) {
  if (!matrix_) resultsData_ = data_;
  const Dataset& data = *resultsData_;
  const std::vector<int32_t> taxa = matrix_ ? matrix_->taxa : draws_.order;
  reference_.reset();
  clearProducts();
  if (method_ == TreeMethod::None) return;
  const Coefficient c = matrix_ ? matrix_->coefficient : coefficient_.value_or(Coefficient::Dice);
  edited_ = treeOf(data, method_, (matrix_ && matrix_->given) || isDistance(c), values, taxa);
}

bool Session::canResample() const {
  return resamplingOffered_ && coefficient_ && method_ != TreeMethod::None;
}

void Session::checkPlan(const ResamplingPlan& plan) const {
  if (given_) throw std::runtime_error(kNoResamplingOfMatrix);
  if (!canResample())
    throw std::runtime_error("Choose a coefficient and a tree-construction method first.");
  if (auto problem = taxaLeftOutProblem(plan.taxaLeftOut, data_->taxonCount()); !problem.empty())
    throw std::runtime_error(problem);
  if (auto problem = replicatesProblem(plan.replicates); !problem.empty())
    throw std::runtime_error(problem);
  if (!plan.resampleLoci)
    if (auto problem = fragmentsLeftOutProblem(plan.fragmentsLeftOut, data_->markerCount());
        !problem.empty())
      throw std::runtime_error(problem);
  if (plan.resampleLoci) {
    if (familyOf(*coefficient_) != CoefficientFamily::AlleleFrequency)
      throw std::runtime_error(
          "Whole loci are resampled for the allele-frequency coefficients (R to Z) only.");
    const auto loci = static_cast<int32_t>(data_->blocks.size());
    if (plan.fragmentsLeftOut < 0 || plan.fragmentsLeftOut >= loci)
      throw std::runtime_error("Cannot leave out " + std::to_string(plan.fragmentsLeftOut) +
                               " loci: the table has " + std::to_string(loci) +
                               (loci == 1 ? " locus" : " loci"));
  }
}

const ResamplingResult& Session::resample(const ResamplingPlan& plan, ProgressSink* progress,
                                          const RunHooks* hooks) {
  checkPlan(plan);
  const Dataset& data = *data_;
  requireMemory(resamplingBytes(data, *coefficient_, plan.threads),
                "A resampling run over " + std::to_string(data.taxonCount()) + " taxa");
  clearProducts();
  ResamplingResult result =
      runResampling(data, *coefficient_, method_, plan, comparedTree(), draws_, progress, hooks);
  if (hooks && hooks->exchange && !hooks->exchange->collects()) {
    result_ = std::move(result);
    return *result_;
  }
  if (reference_)
    result.support = CladeSupportIndex(result.trees, data.taxonCount()).supportOf(*reference_);
  result.unrooted =
      summarizeUnrooted(result.trees, data.taxonCount(), referenceTree(), plan.threads);
  result_ = std::move(result);
  return *result_;
}

}  // namespace ramovia
