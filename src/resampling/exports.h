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

#include "resampling/analysis.h"
#include "tree/tree_layout.h"

namespace ramovia {

class ExportError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class TreeFileFormat { Newick, Svg, Png, Pdf };
enum class MatrixFileFormat { Tsv, Phylip };
// By the file name's extension, case-insensitively: .nwk .newick .tre .tree, .svg, .png, .pdf;
// .tsv, .phy .phylip.
std::optional<TreeFileFormat> TreeFormatForPath(std::string_view path);
std::optional<MatrixFileFormat> MatrixFormatForPath(std::string_view path);

// Program version, input, coefficient, method and the last run's settings, one item a line.
std::vector<std::string> ProvenanceLines(const Analysis& a);

// The tree the page "Reference tree" shows: the reference tree, or the tree of the edited matrix
// after a double click on the grid; null when there is none.
const TKVTreeNodeItem* ShownReferenceTree(const Analysis& a);
// The stored lengths under either method (UPGMA stores heights of a distance scale for
// similarities and distances alike).
BranchLengths ReferenceTreeLengths(const Analysis& a);
// The reference tree carries the support of a run that has ended since it was built.
bool ReferenceTreeHasSupport(const Analysis& a);

// Drawings; empty (no lines, no texts) when there is no such tree. Listed trees are drawn as
// cladograms: a listed tree stands for every replicate of its topology, and its lengths are
// those of one of them.
TreeDrawing ReferenceTreeDrawing(const Analysis& a);
TreeDrawing ListedTreeDrawing(const Analysis& a, int line);

// File contents, UTF-8. They throw ExportError when there is nothing to export.
std::string ReferenceTreeNewick(const Analysis& a);
std::string ListedTreeNewick(const Analysis& a, int line);
std::string ReferenceTreeSvg(const Analysis& a);
std::string ListedTreeSvg(const Analysis& a, int line);
// The matrix grid's cells as shown (user's edits included), tab-separated, after "#" comment lines.
std::string MatrixTsv(const Analysis& a);
// PHYLIP square distance matrix in the relaxed form (a name of any length, then a blank), always
// distances: 1 - S for the similarities under UPGMA. The "#" comment lines follow the matrix,
// since readers expect the taxon count on the first line.
std::string MatrixPhylip(const Analysis& a);
std::string MatrixExport(const Analysis& a, MatrixFileFormat format);
// Settings, statistics, the tree list with counts and the reference tree with support.
std::string ReportText(const Analysis& a);

// Writes a temporary file beside path and renames it into place: a failure (an unwritable
// folder, a full disk) leaves no file behind and any earlier file at path untouched, and throws
// ExportError naming the file and the cause.
void WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace ramovia
