// Everything that leaves the program as a file: trees (Newick, SVG), the matrix (tab-separated,
// PHYLIP), the report, each with the settings that produced it, and the writing of a file so that
// it is either complete or not there. The window and the command line both call these, so that
// the same analysis gives the same bytes from either.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/session.h"
#include "output/grids.h"
#include "output/tree_layout.h"
#include "tree/consensus.h"

namespace ramovia {

class ExportError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Which support the reference tree's drawing and files carry after a run.
enum class SupportKind {
  Clade,     // the share of replicates with each rooted clade
  Split,     // the share of replicates with each bipartition, for any root
  Transfer,  // the transfer bootstrap expectation
};
// Splits under neighbor-joining, whose root is only where the last join happened; clades under
// UPGMA.
SupportKind defaultSupport(TreeMethod method);
std::optional<SupportKind> supportForKeyword(std::string_view keyword);
const char* supportKeyword(SupportKind kind);

// What an export reads: the session, the matrix grid as shown (with the user's edits), where the
// table came from, the decimal separator of the cells and the support chosen.
struct AnalysisView {
  const Session& session;
  const MatrixGrid& matrix;
  std::string sourceName;  // the input file; empty for a pasted table
  char decimalSeparator = '.';
  std::optional<SupportKind> support = std::nullopt;  // none: the method's default
};

SupportKind supportOf(const AnalysisView& a);

enum class TreeFileFormat { Newick, Svg, Png, Pdf };
enum class MatrixFileFormat { Tsv, Phylip };
// By the file name's extension, case-insensitively: .nwk .newick .tre .tree, .svg, .png, .pdf;
// .tsv, .phy .phylip.
std::optional<TreeFileFormat> treeFormatForPath(std::string_view path);
std::optional<MatrixFileFormat> matrixFormatForPath(std::string_view path);

// Program version, input, coefficient, method and the last run's settings, one item a line.
std::vector<std::string> provenanceLines(const AnalysisView& a);

// The tree the page "Reference tree" shows: the reference tree, or the tree of the edited matrix
// after a double click on the grid; null when there is none.
const Tree* shownReferenceTree(const AnalysisView& a);
// The stored lengths under either method (UPGMA stores heights of a distance scale for
// similarities and distances alike).
BranchLengths referenceTreeLengths(const AnalysisView& a);
// The chosen support of each node of the reference tree (-1: none), when a run has ended since
// it was built; empty otherwise.
std::span<const int32_t> referenceTreeSupport(const AnalysisView& a);

// Drawings; empty (no lines, no texts) when there is no such tree. Listed trees are drawn as
// cladograms: a listed tree stands for every replicate of its topology, and its lengths are
// those of one of them.
TreeDrawing referenceTreeDrawing(const AnalysisView& a, const DrawingOptions& options = {});
TreeDrawing listedTreeDrawing(const AnalysisView& a, int line, const DrawingOptions& options = {});

// File contents, UTF-8. They throw ExportError when there is nothing to export.
std::string referenceTreeNewick(const AnalysisView& a);
std::string listedTreeNewick(const AnalysisView& a, int line);
std::string referenceTreeSvg(const AnalysisView& a);
std::string listedTreeSvg(const AnalysisView& a, int line);
// The matrix grid's cells as shown (user's edits included), tab-separated, after "#" comment lines;
// `full`: the values behind them with every digit.
std::string matrixTsv(const AnalysisView& a, bool full = false);
// PHYLIP square distance matrix in the relaxed form (a name of any length, then a blank), always
// distances: 1 - S for the similarities under UPGMA. The "#" comment lines follow the matrix,
// since readers expect the taxon count on the first line.
std::string matrixPhylip(const AnalysisView& a, bool full = false);
// For allele frequencies under the pairwise rule: which taxa lack loci (empty when none does).
std::string missingLociWarning(const Dataset& data);

// Shown: the cells as the grid shows them; full: every double so that it reads back exactly.
enum class MatrixPrecision { Shown, Full };
std::optional<MatrixPrecision> matrixPrecisionForKeyword(std::string_view keyword);
// Without a precision: shown for TSV (the grid's cells), full for PHYLIP (it feeds programs).
std::string matrixExport(const AnalysisView& a, MatrixFileFormat format,
                         std::optional<MatrixPrecision> precision = std::nullopt);
// Settings, statistics, the tree list with counts and the reference tree with support.
std::string reportText(const AnalysisView& a);

// The consensus of the last run's trees; ExportError when there is no run, or when the
// replicates did not all hold every taxon.
MultiTree consensusOf(const AnalysisView& a, ConsensusRule rule, double threshold);
std::string consensusNewick(const AnalysisView& a, ConsensusRule rule, double threshold);
TreeDrawing consensusDrawing(const AnalysisView& a, ConsensusRule rule, double threshold,
                             const DrawingOptions& options = {});
std::string consensusSvg(const AnalysisView& a, ConsensusRule rule, double threshold);
std::optional<ConsensusRule> consensusForKeyword(std::string_view keyword);
const char* consensusKeyword(ConsensusRule rule);
// Every replicate's tree with its lengths, one Newick line each, in replicate order.
std::string replicateTreesText(const AnalysisView& a);
// A topology as an unrooted Newick line, drawn from its smallest taxon, without lengths.
std::string unrootedNewick(const Tree& tree, std::span<const Taxon> taxa);

// One file as writeFilesTogether writes it (output/file_writing.h): a failure (an unwritable
// folder, a full disk) leaves no file behind and any earlier file at path untouched, and throws
// ExportError naming the file and the cause.
void writeFileAtomically(const std::string& path, std::string_view content);

}  // namespace ramovia
