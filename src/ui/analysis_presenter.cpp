#include "analysis_presenter.h"

#include <functional>
#include <stdexcept>

#include "model/memory.h"
#include "output/statistics.h"
#include "output/tree_text.h"

namespace ramovia::ui {

AnalysisPresenter::AnalysisPresenter(char separator, uint32_t seed)
    : session(seed), decimalSeparator(separator) {
  for (const ResamplingRules& r : allResamplingMethods()) offeredMethods.push_back(r.method);
}

std::vector<std::string> AnalysisPresenter::readTable(std::string_view text) {
  const auto afterReading = [this] {
    if (session.data().frequencies) {
      caption = "Frequence analyze: " + caption;
      if (offeredMethods.size() == allResamplingMethods().size()) offeredMethods.pop_back();
    }
    input.fill(session.data(), decimalSeparator);
  };
  std::vector<std::string> warnings;
  try {
    warnings = session.readTable(text, decimalSeparator);
  } catch (const MemoryError&) {
    throw;  // refused before anything changed
  } catch (...) {
    afterReading();
    throw;
  }
  afterReading();
  return warnings;
}

namespace {

// A failed tree leaves the new matrix to be shown; a refused computation changed nothing.
template <class Choice>
void computing(AnalysisPresenter& p, Choice&& choice, const std::function<void()>& shown) {
  try {
    choice();
  } catch (const MemoryError&) {
    throw;
  } catch (...) {
    if (p.session.matrix() && p.session.resultsAreCurrent())
      p.matrix.fill(*p.session.matrix(), p.session.resultsData(), p.decimalSeparator);
    throw;
  }
  if (p.session.coefficient() && p.session.method() != TreeMethod::None) shown();
}

}  // namespace

void AnalysisPresenter::chooseCoefficient(int position, ProgressSink* progress) {
  const Coefficient c = allCoefficients()[static_cast<std::size_t>(position)].id;
  computing(*this, [&] { session.chooseCoefficient(c, progress); },
            [this] { showMatrixAndReferenceTree(); });
}

void AnalysisPresenter::chooseMethod(TreeMethod m, ProgressSink* progress) {
  computing(*this, [&] { session.chooseMethod(m, progress); },
            [this] { showMatrixAndReferenceTree(); });
}

void AnalysisPresenter::showMatrixAndReferenceTree() {
  matrix.fill(*session.matrix(), session.resultsData(), decimalSeparator);
  const Tree& reference = *session.referenceTree();
  referenceText_ = referenceTreeText(reference, session.method(), resultTaxa());
  referenceTreeView = treeViewLines(reference, resultTaxa());
  referenceTreeLines = {referenceText_};
  resamplingPageShown = true;
  // The listed trees are gone with the new reference tree; lines that point at them would too.
  treeLines.clear();
  treeView.clear();
}

void AnalysisPresenter::rebuildFromMatrix() {
  // A run rearranges the taxa while the grid keeps the order it was drawn in.
  session.restoreMatrixOrder();
  const SquareMatrix values = matrix.readBack(session.editedMatrixSize());
  session.buildFromMatrix(values);
  referenceTreeView.clear();
  referenceTreeLines = {referenceText_};
  treeLines.clear();
  treeView.clear();
  // The tree of the edited matrix is shown in place of the reference tree it replaces.
  if (const Tree* t = session.editedTree()) {
    referenceTreeLines = {referenceTreeText(*t, session.method(), resultTaxa())};
    referenceTreeView = treeViewLines(*t, resultTaxa());
  }
}

const ResamplingRules& AnalysisPresenter::chooseResampling(int position) {
  const ResamplingRules& rules = rulesOf(resamplingAt(position));
  method = rules.method;
  if (rules.taxaReset) taxaLeftOut = 0;
  fragmentsLeftOut = 0;
  if (rules.different) different = *rules.different;
  return rules;
}

void AnalysisPresenter::run(ProgressSink* progress) {
  if (!method) throw std::runtime_error("Choose a resampling method first.");
  ResamplingPlan plan;
  plan.method = *method;
  plan.replicates = replicates;
  plan.taxaLeftOut = taxaLeftOut;
  plan.fragmentsLeftOut = fragmentsLeftOut;
  plan.different = different;
  plan.resampleLoci = resampleLoci;
  session.resample(plan, progress);
  showStatistics();
}

void AnalysisPresenter::showStatistics() {
  const ResamplingResult& r = *session.lastResult();
  treeLines = treeListLines(r, resultTaxa());
  statistics = statisticsLines(r, session.comparedTree(), resultTaxa());
  referenceTreeView.clear();
  if (const Tree* reference = session.referenceTree()) {
    referenceTreeView = treeViewLines(*reference, resultTaxa(), r.support);
    referenceText_ = referenceTreeText(*reference, session.method(), resultTaxa(), r.support);
  }
}

void AnalysisPresenter::selectTree(int line) {
  treeView.clear();
  const ResamplingResult* r = session.lastResult();
  if (r == nullptr || line < 0 || line >= r->trees.size()) throw ListIndexError(line);
  treeView = treeViewLines(r->trees[line].tree, resultTaxa());
}

std::string AnalysisPresenter::referenceTreeCopyText() const {
  const Tree* reference = session.referenceTree();
  const auto c = session.coefficient();
  if (!reference || !c) return {};
  const ResamplingResult* r = session.lastResult();
  const std::span<const int32_t> support = r ? std::span<const int32_t>(r->support) : std::span<const int32_t>();
  return (isDistance(*c) ? labelledText(*reference, resultTaxa(), support)
                         : lengthsText(*reference, resultTaxa(), support)) +
         ";";
}

std::string AnalysisPresenter::treeCopyText(int line) const {
  const ResamplingResult* r = session.lastResult();
  const auto c = session.coefficient();
  if (!c || r == nullptr || line < 0 || line >= r->trees.size()) return {};
  const Tree& t = r->trees[line].tree;
  return (isDistance(*c) ? plainText(t, resultTaxa()) : lengthsText(t, resultTaxa(), {})) + ";";
}

std::string AnalysisPresenter::unrootedCountText() const {
  const ResamplingResult* r = session.lastResult();
  if (r == nullptr) return {};
  return "Distinct unrooted topologies: " + std::to_string(r->unrooted.topologies.size());
}

}  // namespace ramovia::ui
