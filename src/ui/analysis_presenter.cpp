#include "analysis_presenter.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "input/table_checks.h"
#include "model/memory.h"
#include "output/display_text.h"
#include "output/svg.h"
#include "output/statistics.h"
#include "output/tree_text.h"

namespace ramovia::ui {

AnalysisPresenter::AnalysisPresenter(char separator, uint32_t seed)
    : session(seed), decimalSeparator(separator) {
  for (const ResamplingRules& r : allResamplingMethods()) offeredMethods.push_back(r.method);
}

std::vector<std::string> AnalysisPresenter::readTable(std::string_view text, InputFormat format) {
  const auto afterReading = [this] {
    session.setPairwiseMissingLoci(pairwiseMissingLoci);
    if (session.data().frequencies) {
      caption = "Frequence analyze: " + caption;
      if (offeredMethods.size() == allResamplingMethods().size()) offeredMethods.pop_back();
    }
    input.fill(session.data(), decimalSeparator);
  };
  std::vector<std::string> warnings;
  if (format == InputFormat::Auto) format = detectInputFormat(text);
  if (format != InputFormat::Table) {
    InputOptions options;
    options.format = format;
    options.decimalSeparator = decimalSeparator;
    warnings = session.readInput(text, options);
    afterReading();
    return warnings;
  }
  try {
    warnings = session.readTable(text, decimalSeparator);
  } catch (const MemoryError&) {
    throw;  // refused before anything changed
  } catch (...) {
    afterReading();
    throw;
  }
  afterReading();
  if (const std::string hint = unreadableTextHint(text); !hint.empty())
    warnings.insert(warnings.begin(), hint);
  if (const std::string w = missingLociWarning(); !w.empty()) warnings.push_back(w);
  return warnings;
}

std::string AnalysisPresenter::readingFailureHint(std::string_view text) {
  return unreadableTextHint(text);
}

std::string AnalysisPresenter::coefficientWarning(int position) const {
  const Coefficient c = allCoefficients()[static_cast<std::size_t>(position)].id;
  return session.hasGivenMatrix() ? std::string()
                                  : coefficientKindWarning(c, session.data().frequencies);
}

std::string AnalysisPresenter::missingLociWarning() const {
  return pairwiseMissingLoci ? ramovia::missingLociWarning(session.data()) : std::string();
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
      p.matrix.fill(p.session.sharedMatrix(), p.session.resultsData(), p.decimalSeparator);
    throw;
  }
  if ((p.session.coefficient() || p.session.hasGivenMatrix()) &&
      p.session.method() != TreeMethod::None)
    shown();
}

}  // namespace

void AnalysisPresenter::setPairwiseMissingLoci(bool pairwise, ProgressSink* progress) {
  pairwiseMissingLoci = pairwise;
  computing(*this, [&] { session.setPairwiseMissingLoci(pairwise, progress); },
            [this] { showMatrixAndReferenceTree(); });
}

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
  matrix.fill(session.sharedMatrix(), session.resultsData(), decimalSeparator);
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
  if (!reference || (!c && !session.hasGivenMatrix())) return {};
  const ResamplingResult* r = session.lastResult();
  const std::span<const int32_t> support = r ? std::span<const int32_t>(r->support) : std::span<const int32_t>();
  return (session.hasGivenMatrix() || isDistance(*c) ? labelledText(*reference, resultTaxa(), support)
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

namespace {

std::string counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::string AnalysisPresenter::matrixCopyHtml() const {
  std::string html = "<html><head><meta charset=\"utf-8\"></head><body><table border=\"1\">\n";
  for (int r = 0; r < matrix.rowCount(); ++r) {
    html += "<tr>";
    for (int c = 0; c < matrix.colCount(); ++c) {
      const char* tag = r == 0 || c == 0 ? "th" : "td";
      html += std::string("<") + tag + ">";
      html += xmlEscape(toUtf8(matrix.cell(c, r)));
      html += std::string("</") + tag + ">";
    }
    html += "</tr>\n";
  }
  return html + "</table></body></html>\n";
}

std::string AnalysisPresenter::statusText() const {
  const Dataset& d = session.data();
  if (d.taxonCount() == 0)
    return "Open a table (Ctrl+O), drop files on the window or paste a table (Ctrl+V).";
  std::string text =
      counted(d.taxonCount(), "taxon", "taxa") + ", " +
      (d.frequencies ? counted(d.markerCount(), "allele", "alleles") + " at " +
                           counted(static_cast<int>(d.blocks.size()), "locus", "loci")
                     : counted(d.markerCount(), "marker", "markers") + " in " +
                           counted(static_cast<int>(d.blocks.size()), "block", "blocks"));
  const auto c = session.coefficient();
  if (session.hasGivenMatrix()) {
    if (session.method() == TreeMethod::None || !session.matrix())
      return text + ". A distance matrix: choose a tree-construction method.";
    return text + ". Distances read from the file, " + methodLabel(session.method()) +
           " (no resampling: the matrix has no data behind it).";
  }
  if (!c || session.method() == TreeMethod::None || !session.matrix())
    return text + ". Choose a coefficient and a tree-construction method.";
  text += ". " + trimmed(describe(*c).label) + ", " + methodLabel(session.method());
  if (const ResamplingResult* r = session.lastResult()) {
    return text + "; " + rulesOf(r->plan.method).label + ": " + std::to_string(r->built) + " of " +
           counted(r->plan.replicates, "replicate", "replicates") +
           (r->cancelled ? " (cancelled)" : "") + ", " +
           counted(r->trees.size(), "different tree", "different trees") + ".";
  }
  if (method) return text + ". " + rulesOf(*method).label + ": press Run (F5).";
  return text + ". Choose a resampling method to test the tree.";
}

Choices updatedChoices(Choices remembered, const Choices& window) {
  if (window.coefficient) remembered.coefficient = window.coefficient;
  if (window.method != TreeMethod::None) remembered.method = window.method;
  if (window.resampling) {
    remembered.resampling = window.resampling;
    remembered.replicates = window.replicates;
    remembered.taxaLeftOut = window.taxaLeftOut;
    remembered.fragmentsLeftOut = window.fragmentsLeftOut;
    remembered.different = window.different;
  }
  return remembered;
}

Choices AnalysisPresenter::choices() const {
  Choices c;
  if (const auto coefficient = session.coefficient()) {
    const auto all = allCoefficients();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i].id == *coefficient) c.coefficient = static_cast<int>(i);
  }
  c.method = session.method();
  if (method) c.resampling = positionOf(*method);
  c.replicates = replicates;
  c.taxaLeftOut = taxaLeftOut;
  c.fragmentsLeftOut = fragmentsLeftOut;
  c.different = different;
  return c;
}

Choices AnalysisPresenter::fittingChoices(const Choices& remembered) const {
  Choices c = remembered;
  const auto all = allCoefficients();
  if (c.coefficient) {
    const bool inList = *c.coefficient >= 0 && *c.coefficient < static_cast<int>(all.size());
    const bool frequencyCoefficient =
        inList &&
        all[static_cast<std::size_t>(*c.coefficient)].family == CoefficientFamily::AlleleFrequency;
    if (!inList || frequencyCoefficient != session.data().frequencies) c.coefficient.reset();
  }
  if (c.method != TreeMethod::Upgma && c.method != TreeMethod::NeighborJoining)
    c.method = TreeMethod::None;
  if (c.resampling) {
    const int p = *c.resampling;
    const bool offered = p >= 0 && p < static_cast<int>(allResamplingMethods().size()) &&
                         std::find(offeredMethods.begin(), offeredMethods.end(), resamplingAt(p)) !=
                             offeredMethods.end();
    if (!offered) c.resampling.reset();
  }
  c.replicates = std::clamp(c.replicates, kMinReplicates, kMaxReplicates);
  c.taxaLeftOut = std::clamp(c.taxaLeftOut, 0, kMaxTaxaLeftOutControl);
  c.fragmentsLeftOut = std::clamp(c.fragmentsLeftOut, 0, kMaxFragmentsLeftOutControl);
  return c;
}

}  // namespace ramovia::ui
