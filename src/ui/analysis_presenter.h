// What an analysis window shows of its session, and the rules its controls follow, without
// widgets: the window builds its pages from these values and calls these commands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/resampling.h"
#include "analysis/session.h"
#include "output/exports.h"
#include "output/grids.h"
#include "tree_view_lines.h"

namespace ramovia::ui {

// The choices "Remember my choices" carries from one window to the next.
struct Choices {
  std::optional<int> coefficient;  // position in the window's list
  TreeMethod method = TreeMethod::None;
  std::optional<int> resampling;  // position in the list of five
  int32_t replicates = 1;
  int32_t taxaLeftOut = 0;
  int32_t fragmentsLeftOut = 0;
  bool different = false;

  friend bool operator==(const Choices&, const Choices&) = default;
};

// The remembered choices after a window's: each part the window has chosen replaces the
// remembered one (the settings go with the resampling method).
Choices updatedChoices(Choices remembered, const Choices& window);

class AnalysisPresenter {
 public:
  explicit AnalysisPresenter(char decimalSeparator = '.', uint32_t seed = 0);

  Session session;
  const char decimalSeparator;

  // --- the window ---
  std::string caption = "Multiple analyses";
  std::string sourceName;  // the file the table came from; empty for a pasted table
  // The methods the page offers: all five, until a frequency table takes "Users" away.
  std::vector<Resampling> offeredMethods;

  // --- what the pages show ---
  InputGrid input;
  MatrixGrid matrix;
  std::vector<std::string> referenceTreeLines;
  std::vector<TreeViewLine> referenceTreeView;
  bool resamplingPageShown = false;
  std::vector<std::string> treeLines;
  std::vector<TreeViewLine> treeView;
  std::vector<std::string> statistics;

  // --- the controls of the page "Resampling methods" ---
  std::optional<Resampling> method;
  int32_t replicates = 1;
  int32_t taxaLeftOut = 0;
  int32_t fragmentsLeftOut = 0;
  bool different = false;
  bool resampleLoci = false;  // allele frequencies: whole loci rather than alleles

  // --- what the drawings show after a run ---
  std::optional<SupportKind> support;  // none: the method's default
  ConsensusRule consensusRule = ConsensusRule::Extended;

  // --- commands ---
  // Reads a table in place of the data, and returns the warnings about its names. The caption
  // and the methods follow the data kind; the input grid shows what was read even when the
  // reading failed (the failure is passed on).
  // Reads any input (the format by content unless given); a reading in another format than the
  // native table that fails leaves everything as it was.
  std::vector<std::string> readTable(std::string_view text, InputFormat format = InputFormat::Auto);
  // Plain words for a text that fails to read as a table (empty, UTF-16 ...); empty when none.
  static std::string readingFailureHint(std::string_view text);
  // What the user should hear before the coefficient at this position is used on this data.
  std::string coefficientWarning(int position) const;
  // Pairs of taxa left with no locus in common when each pair is compared over its own loci.
  std::string missingLociWarning() const;
  // Each pair of taxa over the loci typed in both; kept for every table read into the window.
  void setPairwiseMissingLoci(bool pairwise, ProgressSink* progress = nullptr);
  bool pairwiseMissingLoci = false;
  // The coefficient at this position of the window's list, or a method; each computes the
  // matrix and the reference tree once both are chosen.
  void chooseCoefficient(int position, ProgressSink* progress = nullptr);
  void chooseMethod(TreeMethod m, ProgressSink* progress = nullptr);
  // The matrix grid, with the user's edits, back into a tree in place of the reference tree.
  void rebuildFromMatrix();
  // A method of the page: its settings as the rules set them.
  const ResamplingRules& chooseResampling(int position);
  // "Run": the settings of the page as a plan, then the statistics of its result.
  void run(ProgressSink* progress = nullptr);
  // The listed tree of this line into the tree view of the page "Trees".
  void selectTree(int line);

  // The clipboard texts of the reference tree and of a listed tree ("" when there is none):
  // with branch lengths under a similarity coefficient, ending with ";".
  std::string referenceTreeCopyText() const;
  std::string treeCopyText(int line) const;

  // The matrix grid as an HTML table (UTF-8), for word processors and spreadsheets beside the
  // tab-separated text.
  std::string matrixCopyHtml() const;

  // What the window shows in the status bar while no computation runs.
  std::string statusText() const;

  // The choices of this window as it stands.
  Choices choices() const;
  // Of remembered choices, those that fit this window's data: a coefficient of the data's kind, a
  // method it offers, counts within the controls' ranges.
  Choices fittingChoices(const Choices& remembered) const;

  AnalysisView view() const { return {session, matrix, sourceName, decimalSeparator, support}; }
  // "Distinct unrooted topologies: N" after a run; empty before.
  std::string unrootedCountText() const;

 private:
  void showMatrixAndReferenceTree();
  void showStatistics();
  std::span<const Taxon> resultTaxa() const { return session.resultsData().taxa; }

  // The reference tree's text as it stood after the last matrix or run.
  std::string referenceText_;
};

}  // namespace ramovia::ui
