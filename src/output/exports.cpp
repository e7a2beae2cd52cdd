#include "output/exports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <vector>

#include "input/number_reading.h"
#include "output/display_text.h"
#include "output/file_writing.h"
#include "output/number_text.h"
#include "output/ordination_view.h"
#include "output/statistics.h"
#include "output/svg.h"
#include "output/tree_text.h"

namespace ramovia {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string extension(std::string_view path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return lower(path.substr(dot + 1));
}

const ResamplingResult* validRun(const AnalysisView& a) {
  const ResamplingResult* r = a.session.lastResult();
  return r != nullptr && !r->trees.empty() ? r : nullptr;
}

std::span<const Taxon> taxaOf(const AnalysisView& a) { return a.session.resultsData().taxa; }

std::string commentLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += "# " + l + "\n";
  return out;
}

const Tree* listedTree(const AnalysisView& a, int line) {
  const ResamplingResult* r = a.session.lastResult();
  if (r == nullptr || line < 0 || line >= r->trees.size()) return nullptr;
  return &r->trees[line].tree;
}

std::string fullText(double v, char decimalSeparator) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  std::string out(buffer, r.ptr);
  for (char& c : out)
    if (c == '.') c = decimalSeparator;
  return out;
}

bool holdsSimilarities(const AnalysisView& a) {
  const auto c = a.session.coefficient();
  return a.session.method() == TreeMethod::Upgma && c && !isDistance(*c);
}

std::string listedTitle(const AnalysisView& a, int line) {
  return "Tree " + std::to_string(line + 1) + " of the list, built " +
         std::to_string(a.session.lastResult()->trees[line].count) + " times";
}

[[noreturn]] void noTree() {
  throw ExportError("There is no tree to save: compute the matrix and the reference tree first.");
}

void requireMatrix(const AnalysisView& a) {
  if (a.matrix.names().empty())
    throw ExportError(
        "There is no matrix to save: choose a coefficient and a tree-construction method first.");
}

[[noreturn]] void noRun() {
  throw ExportError("There is no resampling run to take the trees from: press Run first.");
}

}  // namespace

SupportKind defaultSupport(TreeMethod method) {
  return method == TreeMethod::NeighborJoining ? SupportKind::Split : SupportKind::Clade;
}

std::optional<SupportKind> supportForKeyword(std::string_view keyword) {
  if (keyword == "clade") return SupportKind::Clade;
  if (keyword == "split") return SupportKind::Split;
  if (keyword == "transfer") return SupportKind::Transfer;
  return std::nullopt;
}

const char* supportKeyword(SupportKind kind) {
  switch (kind) {
    case SupportKind::Clade:
      return "clade";
    case SupportKind::Split:
      return "split";
    case SupportKind::Transfer:
      return "transfer";
  }
  return "clade";
}

SupportKind supportOf(const AnalysisView& a) {
  return a.support.value_or(defaultSupport(a.session.method()));
}

std::optional<ConsensusRule> consensusForKeyword(std::string_view keyword) {
  if (keyword == "extended") return ConsensusRule::Extended;
  if (keyword == "majority") return ConsensusRule::Majority;
  if (keyword == "strict") return ConsensusRule::Strict;
  return std::nullopt;
}

const char* consensusKeyword(ConsensusRule rule) {
  switch (rule) {
    case ConsensusRule::Extended:
      return "extended";
    case ConsensusRule::Majority:
      return "majority";
    case ConsensusRule::Strict:
      return "strict";
  }
  return "extended";
}

std::optional<TreeFileFormat> treeFormatForPath(std::string_view path) {
  const std::string e = extension(path);
  if (e == "nwk" || e == "newick" || e == "tre" || e == "tree") return TreeFileFormat::Newick;
  if (e == "svg") return TreeFileFormat::Svg;
  if (e == "png") return TreeFileFormat::Png;
  if (e == "pdf") return TreeFileFormat::Pdf;
  return std::nullopt;
}

std::optional<MatrixFileFormat> matrixFormatForPath(std::string_view path) {
  const std::string e = extension(path);
  if (e == "tsv") return MatrixFileFormat::Tsv;
  if (e == "phy" || e == "phylip") return MatrixFileFormat::Phylip;
  return std::nullopt;
}

std::vector<std::string> provenanceLines(const AnalysisView& a) {
  std::vector<std::string> lines;
  lines.push_back(std::string("Ramovia ") + RAMOVIA_VERSION);
  lines.push_back("Input: " + (a.sourceName.empty() ? std::string("(pasted table)") : a.sourceName));
  const auto c = a.session.coefficient();
  lines.push_back("Coefficient: " + (a.session.hasGivenMatrix()
                                         ? std::string("(none: distances read from the input)")
                                     : c ? std::string(describe(*c).label)
                                         : std::string("(none)")));
  lines.push_back(std::string("Method: ") + methodLabel(a.session.method()));
  if (a.session.resultsData().frequencies)
    lines.push_back(a.session.resultsData().pairwiseMissingLoci
                        ? "Missing loci: pairwise (each pair over the loci typed in both)"
                        : "Missing loci: each coefficient's own rule");
  if (a.matrix.hasEdits()) lines.push_back("Matrix: edited by hand");
  if (const ResamplingResult* r = validRun(a)) {
    const ResamplingPlan& p = r->plan;
    lines.push_back(std::string("Resampling: ") + rulesOf(p.method).label);
    lines.push_back("Replicates: " + std::to_string(p.replicates) + " requested, " +
                    std::to_string(r->trees.total()) + " trees built");
    lines.push_back("Taxa left out: " + std::to_string(p.taxaLeftOut) +
                    "; fragments left out: " + std::to_string(p.fragmentsLeftOut) +
                    " (drawn: " + std::to_string(r->fragmentsDrawn) +
                    "); different fragments: " + (p.different ? "yes" : "no"));
    lines.push_back("Seed at the start of the run: " + std::to_string(r->startSeed));
    if (p.resampleLoci) lines.push_back("Resampled: whole loci");
    static const char* const kSupportText[] = {
        "clade (the share of replicates with each rooted clade)",
        "split (the share of replicates with each bipartition, for any root)",
        "transfer (the transfer bootstrap expectation, in percent)"};
    lines.push_back(std::string("Support labels: ") +
                    kSupportText[static_cast<int>(supportOf(a))]);
  } else {
    lines.push_back("Resampling: none");
  }
  return lines;
}

const Tree* shownReferenceTree(const AnalysisView& a) {
  if (const Tree* t = a.session.referenceTree()) return t;
  return a.session.editedTree();
}

BranchLengths referenceTreeLengths(const AnalysisView& a) {
  // UPGMA heights are (1 - S) / 2 under a similarity and d / 2 under a distance: meaningful too.
  return a.session.method() == TreeMethod::None ? BranchLengths::None : BranchLengths::Stored;
}

std::span<const int32_t> referenceTreeSupport(const AnalysisView& a) {
  const ResamplingResult* r = validRun(a);
  if (a.session.referenceTree() == nullptr || r == nullptr) return {};
  switch (supportOf(a)) {
    case SupportKind::Clade:
      return r->support;
    case SupportKind::Split:
      return r->unrooted.splitSupport;
    case SupportKind::Transfer:
      return r->unrooted.transferSupport;
  }
  return r->support;
}

TreeDrawing referenceTreeDrawing(const AnalysisView& a, const DrawingOptions& options) {
  const Tree* t = shownReferenceTree(a);
  if (!t) return {};
  return drawTree(layoutTree(*t, taxaOf(a), referenceTreeLengths(a), referenceTreeSupport(a)),
                  options);
}

TreeDrawing listedTreeDrawing(const AnalysisView& a, int line, const DrawingOptions& options) {
  const Tree* t = listedTree(a, line);
  if (!t) return {};
  return drawTree(layoutTree(*t, taxaOf(a), BranchLengths::None), options);
}

std::string referenceTreeNewick(const AnalysisView& a) {
  const Tree* t = shownReferenceTree(a);
  if (!t) noTree();
  return toUtf8(newickText(*t, taxaOf(a), referenceTreeLengths(a) != BranchLengths::None,
                           referenceTreeSupport(a)));
}

std::string listedTreeNewick(const AnalysisView& a, int line) {
  const Tree* t = listedTree(a, line);
  if (!t) throw ExportError("Select a tree of the list first.");
  return toUtf8(newickText(*t, taxaOf(a), false, {}));
}

std::string referenceTreeSvg(const AnalysisView& a) {
  if (!shownReferenceTree(a)) noTree();
  std::string title =
      referenceTreeSupport(a).empty() ? "Reference tree" : "Reference tree with support";
  return treeSvg(referenceTreeDrawing(a), title, provenanceLines(a));
}

std::string listedTreeSvg(const AnalysisView& a, int line) {
  if (!listedTree(a, line)) throw ExportError("Select a tree of the list first.");
  return treeSvg(listedTreeDrawing(a, line), listedTitle(a, line), provenanceLines(a));
}

std::string matrixTsv(const AnalysisView& a, bool full) {
  requireMatrix(a);
  std::vector<std::string> head = provenanceLines(a);
  head.push_back(std::string(full ? "Every value in full, decimal separator \""
                                  : "Cells as the matrix grid shows them, decimal separator \"") +
                 a.decimalSeparator + "\"");
  std::string out = commentLines(head);
  const MatrixGrid& m = a.matrix;
  for (int r = 0; r < m.rowCount(); ++r) {
    for (int c = 0; c < m.colCount(); ++c) {
      if (c > 0) out += '\t';
      if (full && r > 0 && c > 0 && r != c) {
        try {
          out += fullText(m.value(c, r), a.decimalSeparator);
        } catch (const std::exception& e) {
          throw ExportError("Cannot save the matrix: row " + std::to_string(r) + ", column " +
                            std::to_string(c) + ": " + e.what());
        }
      } else {
        out += r == 0 || c == 0 ? replaceControls(m.cell(c, r), '_', false) : m.cell(c, r);
      }
    }
    out += '\n';
  }
  return toUtf8(out);
}

std::string matrixPhylip(const AnalysisView& a, bool full) {
  requireMatrix(a);
  const MatrixGrid& m = a.matrix;
  const int n = static_cast<int>(m.names().size());
  const bool similarities = holdsSimilarities(a);
  std::string out = "    " + std::to_string(n) + "\n";
  for (int i = 1; i <= n; ++i) {
    // Relaxed PHYLIP: blanks end a name, so they become underscores.
    std::string name = replaceControls(m.cell(0, i), '_', false);
    for (char& c : name)
      if (c == ' ' || c == '\t') c = '_';
    if (name.empty()) name = "_";
    if (name.size() < 10) name.resize(10, ' ');
    out += name;
    for (int j = 1; j <= n; ++j) {
      double v = 0.0;
      if (i != j) {
        try {
          v = full ? m.value(j, i) : readMatrixCell(m.cell(j, i), a.decimalSeparator);
        } catch (const std::exception& e) {
          throw ExportError("Cannot save the matrix: row " + std::to_string(i) + ", column " +
                            std::to_string(j) + ": " + e.what());
        }
        if (similarities) v = 1.0 - v;
      }
      out += ' ';
      out += full ? fullText(v, '.') : lengthText(v);
    }
    out += '\n';
  }
  std::vector<std::string> tail = provenanceLines(a);
  tail.push_back(similarities
                     ? "Distances: 1 - S of the grid's similarities; relaxed PHYLIP names"
                     : "Distances: the grid's values; relaxed PHYLIP names");
  tail.push_back(full ? "Precision: every double in full" : "Precision: as the grid shows them");
  out += commentLines(tail);
  return toUtf8(out);
}

std::string missingLociWarning(const Dataset& data) {
  if (!data.frequencies) return {};
  std::string names;
  std::size_t count = 0;
  for (const Taxon& t : data.taxa) {
    if (t.missingBlocks.empty()) continue;
    names += (count++ == 0 ? "" : ", ") + t.name.str();
  }
  if (count == 0) return {};
  return "Taxa with missing loci, compared over the loci typed in both of each pair: " + names + ".";
}

std::optional<MatrixPrecision> matrixPrecisionForKeyword(std::string_view keyword) {
  if (keyword == "shown") return MatrixPrecision::Shown;
  if (keyword == "full") return MatrixPrecision::Full;
  return std::nullopt;
}

std::string matrixExport(const AnalysisView& a, MatrixFileFormat format,
                         std::optional<MatrixPrecision> precision) {
  if (format == MatrixFileFormat::Tsv)
    return matrixTsv(a, precision.value_or(MatrixPrecision::Shown) == MatrixPrecision::Full);
  return matrixPhylip(a, precision.value_or(MatrixPrecision::Full) == MatrixPrecision::Full);
}

std::string reportText(const AnalysisView& a) {
  std::string out = "Ramovia report\n\nSettings\n";
  for (const auto& l : provenanceLines(a)) out += "  " + l + "\n";
  if (a.session.referenceTree() != nullptr)
    out += "\nFit of the reference tree\n  Cophenetic correlation : " + copheneticText(a) + "\n";
  if (const ResamplingResult* r = validRun(a)) {
    out += "\nStatistics\n";
    for (const auto& l : statisticsLines(*r, a.session.comparedTree(), taxaOf(a)))
      out += "  " + l + "\n";
    out += "  Distinct unrooted topologies : " + std::to_string(r->unrooted.topologies.size()) +
           "\n";
    out += "\nTrees (count: tree)\n";
    for (const auto& l : treeListLines(*r, taxaOf(a))) out += "  " + l + "\n";
  } else {
    out += "\nNo resampling run since the reference tree was built.\n";
  }
  const Dataset& data = a.session.resultsData();
  if (!data.alleleCopies.empty()) {
    out += "\nSample sizes (allele copies typed per taxon and locus)\n  taxon";
    for (const Block& b : data.blocks) out += "\t" + b.name.str();
    out += "\n";
    for (std::size_t t = 0; t < data.taxa.size() && t < data.alleleCopies.size(); ++t) {
      out += "  " + data.taxa[t].name.str();
      for (const int64_t n : data.alleleCopies[t]) out += "\t" + std::to_string(n);
      out += "\n";
    }
  }
  if (const Tree* t = shownReferenceTree(a)) {
    const auto support = referenceTreeSupport(a);
    out += !support.empty() ? "\nReference tree with support (Newick)\n"
                            : "\nReference tree (Newick)\n";
    const bool lengths = referenceTreeLengths(a) != BranchLengths::None;
    out += newickText(*t, taxaOf(a), lengths, support);
    // The other supports beside the chosen one, so that one report holds them all.
    if (!support.empty()) {
      for (const SupportKind kind : {SupportKind::Clade, SupportKind::Split, SupportKind::Transfer}) {
        if (kind == supportOf(a)) continue;
        AnalysisView other = a;
        other.support = kind;
        out += std::string("\nReference tree with ") + supportKeyword(kind) + " support (Newick)\n";
        out += newickText(*t, taxaOf(a), lengths, referenceTreeSupport(other));
      }
    }
  }
  return toUtf8(out);
}

MultiTree consensusOf(const AnalysisView& a, ConsensusRule rule, double threshold) {
  const ResamplingResult* r = validRun(a);
  if (r == nullptr) noRun();
  if (!r->unrooted.everyTaxon)
    throw ExportError(
        "No consensus: taxa were left out of the replicates, so their trees hold different taxa.");
  const SplitCounts& counts = r->unrooted.splits;
  return consensusTree(counts, consensusSplits(counts, rule, threshold), true);
}

std::string consensusNewick(const AnalysisView& a, ConsensusRule rule, double threshold) {
  return toUtf8(newickText(consensusOf(a, rule, threshold), taxaOf(a), true));
}

TreeDrawing consensusDrawing(const AnalysisView& a, ConsensusRule rule, double threshold,
                             const DrawingOptions& options) {
  return drawTree(layoutTree(consensusOf(a, rule, threshold), taxaOf(a), BranchLengths::Stored),
                  options);
}

std::string consensusSvg(const AnalysisView& a, ConsensusRule rule, double threshold) {
  const std::string title = std::string("Consensus (") + consensusKeyword(rule) + ")";
  return treeSvg(consensusDrawing(a, rule, threshold), title, provenanceLines(a));
}

std::string replicateTreesText(const AnalysisView& a) {
  const ResamplingResult* r = validRun(a);
  if (r == nullptr) noRun();
  std::string out;
  for (const Tree& t : r->replicates) out += newickText(t, taxaOf(a), true, {});
  return toUtf8(out);
}

std::string unrootedNewick(const Tree& tree, std::span<const Taxon> taxa) {
  return newickText(unrootedAtSmallestTaxon(tree), taxa, false);
}

void writeFileAtomically(const std::string& path, std::string_view content) {
  const FileToWrite file{path, std::string(content)};
  writeFilesTogether(std::span<const FileToWrite>(&file, 1));
}

}  // namespace ramovia
