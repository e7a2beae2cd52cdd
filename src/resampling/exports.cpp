#include "resampling/exports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "input/number_text.h"
#include "input/text_codec.h"
#include "model/enzym.h"
#include "tree/newick.h"
#include "tree/svg.h"
#include "tree/tree_view.h"

namespace ramovia {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Extension(std::string_view path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return Lower(path.substr(dot + 1));
}

const char* const kMethodNames[] = {"Bootstrapping", "Jackknifing", "OTU based Jackknifing",
                                    "Rearangement of taxa", "Users"};

bool RunValid(const Analysis& a) { return a.LastRun.has_value() && a.Enzym->TreeCount() > 0; }

long long TreesBuilt(const Analysis& a) {
  long long total = 0;
  for (const auto& t : a.Enzym->TreeList) total += t->Num;
  return total;
}

std::string MethodName(const Analysis& a) {
  switch (a.Enzym->TreeType) {
    case ettUPGMA:
      return "UPGMA";
    case ettNbJoin:
      return "Neighbor-joining";
    case ettNone:
      break;
  }
  return "(none)";
}

std::string CommentLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += "# " + l + "\n";
  return out;
}

const TKVTreeNodeItem* ListedTree(const Analysis& a, int line) {
  if (line < 0 || line >= a.Enzym->TreeCount()) return nullptr;
  return a.Enzym->GetTree(line);
}

bool HoldsSimilarities(const Analysis& a) {
  return a.Enzym->TreeType == ettUPGMA && IsSimilarityLetter(a.CoefficientLetter());
}

std::string ListedTitle(const Analysis& a, int line) {
  return "Tree " + std::to_string(line + 1) + " of the list, built " +
         std::to_string(a.Enzym->GetTree(line)->Num) + " times";
}

[[noreturn]] void NoTree() {
  throw ExportError("There is no tree to save: compute the matrix and the reference tree first.");
}

}  // namespace

std::optional<TreeFileFormat> TreeFormatForPath(std::string_view path) {
  const std::string e = Extension(path);
  if (e == "nwk" || e == "newick" || e == "tre" || e == "tree") return TreeFileFormat::Newick;
  if (e == "svg") return TreeFileFormat::Svg;
  if (e == "png") return TreeFileFormat::Png;
  if (e == "pdf") return TreeFileFormat::Pdf;
  return std::nullopt;
}

std::optional<MatrixFileFormat> MatrixFormatForPath(std::string_view path) {
  const std::string e = Extension(path);
  if (e == "tsv") return MatrixFileFormat::Tsv;
  if (e == "phy" || e == "phylip") return MatrixFileFormat::Phylip;
  return std::nullopt;
}

std::vector<std::string> ProvenanceLines(const Analysis& a) {
  std::vector<std::string> lines;
  lines.push_back(std::string("Ramovia ") + RAMOVIA_VERSION);
  lines.push_back("Input: " + (a.SourceName.empty() ? std::string("(pasted table)") : a.SourceName));
  lines.push_back("Coefficient: " + (a.Coefficient.empty() ? std::string("(none)") : a.Coefficient));
  lines.push_back("Method: " + MethodName(a));
  if (a.Matrix.HasEdits()) lines.push_back("Matrix: edited by hand");
  if (RunValid(a)) {
    const Analysis::RunRecord& r = *a.LastRun;
    const std::string name =
        r.method >= 0 && r.method < 5 ? kMethodNames[r.method] : std::string("(none)");
    lines.push_back("Resampling: " + name);
    lines.push_back("Replicates: " + std::to_string(r.repeatCount) + " requested, " +
                    std::to_string(TreesBuilt(a)) + " trees built");
    lines.push_back("Taxa left out: " + std::to_string(r.taxonCount) +
                    "; fragments left out: " + std::to_string(r.fragmentsLeftOut) +
                    " (drawn: " + std::to_string(r.fragCount) +
                    "); different fragments: " + (r.different ? "yes" : "no"));
    lines.push_back("Seed at the start of the run: " + std::to_string(r.seed));
  } else {
    lines.push_back("Resampling: none");
  }
  return lines;
}

const TKVTreeNodeItem* ShownReferenceTree(const Analysis& a) {
  if (a.Enzym->RefTree) return a.Enzym->RefTree.get();
  return a.EditedTree();
}

BranchLengths ReferenceTreeLengths(const Analysis& a) {
  // UPGMA heights are (1 - S) / 2 under a similarity and d / 2 under a distance: meaningful too.
  return a.Enzym->TreeType == ettNone ? BranchLengths::None : BranchLengths::Stored;
}

bool ReferenceTreeHasSupport(const Analysis& a) {
  return a.Enzym->RefTree != nullptr && RunValid(a);
}

TreeDrawing ReferenceTreeDrawing(const Analysis& a) {
  const TKVTreeNodeItem* t = ShownReferenceTree(a);
  if (!t) return {};
  return DrawTree(LayoutTree(*t, ReferenceTreeLengths(a), ReferenceTreeHasSupport(a)));
}

TreeDrawing ListedTreeDrawing(const Analysis& a, int line) {
  const TKVTreeNodeItem* t = ListedTree(a, line);
  if (!t) return {};
  return DrawTree(LayoutTree(*t, BranchLengths::None, false));
}

std::string ReferenceTreeNewick(const Analysis& a) {
  const TKVTreeNodeItem* t = ShownReferenceTree(a);
  if (!t) NoTree();
  return ToUtf8(ToNewick(*t, ReferenceTreeLengths(a), ReferenceTreeHasSupport(a)));
}

std::string ListedTreeNewick(const Analysis& a, int line) {
  const TKVTreeNodeItem* t = ListedTree(a, line);
  if (!t) throw ExportError("Select a tree of the list first.");
  return ToUtf8(ToNewick(*t, BranchLengths::None, false));
}

std::string ReferenceTreeSvg(const Analysis& a) {
  if (!ShownReferenceTree(a)) NoTree();
  std::string title = ReferenceTreeHasSupport(a) ? "Reference tree with support" : "Reference tree";
  return TreeSvg(ReferenceTreeDrawing(a), title, ProvenanceLines(a));
}

std::string ListedTreeSvg(const Analysis& a, int line) {
  if (!ListedTree(a, line)) throw ExportError("Select a tree of the list first.");
  return TreeSvg(ListedTreeDrawing(a, line), ListedTitle(a, line), ProvenanceLines(a));
}

namespace {

void RequireMatrix(const Analysis& a) {
  if (a.Matrix.Names().empty())
    throw ExportError(
        "There is no matrix to save: choose a coefficient and a tree-construction method first.");
}

}  // namespace

std::string MatrixTsv(const Analysis& a) {
  RequireMatrix(a);
  std::vector<std::string> head = ProvenanceLines(a);
  head.push_back(std::string("Cells as the matrix grid shows them, decimal separator \"") +
                 a.DecimalSeparator + "\"");
  std::string out = CommentLines(head);
  const MatrixGrid& m = a.Matrix;
  for (int r = 0; r < m.RowCount(); ++r) {
    for (int c = 0; c < m.ColCount(); ++c) {
      if (c > 0) out += '\t';
      out += m.Cell(c, r);
    }
    out += '\n';
  }
  return ToUtf8(out);
}

std::string MatrixPhylip(const Analysis& a) {
  RequireMatrix(a);
  const MatrixGrid& m = a.Matrix;
  const int n = static_cast<int>(m.Names().size());
  const bool similarities = HoldsSimilarities(a);
  std::string out = "    " + std::to_string(n) + "\n";
  for (int i = 1; i <= n; ++i) {
    // Relaxed PHYLIP: blanks end a name, so they become underscores.
    std::string name = m.Cell(0, i);
    for (char& c : name)
      if (c == ' ' || c == '\t') c = '_';
    if (name.empty()) name = "_";
    if (name.size() < 10) name.resize(10, ' ');
    out += name;
    for (int j = 1; j <= n; ++j) {
      double v = 0.0;
      if (i != j) {
        try {
          v = ReadMatrixCell(m.Cell(j, i), a.DecimalSeparator);
        } catch (const std::exception& e) {
          throw ExportError("Cannot save the matrix: row " + std::to_string(i) + ", column " +
                            std::to_string(j) + ": " + e.what());
        }
        if (similarities) v = 1.0 - v;
      }
      out += ' ';
      out += Len(v);
    }
    out += '\n';
  }
  std::vector<std::string> tail = ProvenanceLines(a);
  tail.push_back(similarities
                     ? "Distances: 1 - S of the grid's similarities; relaxed PHYLIP names"
                     : "Distances: the grid's values; relaxed PHYLIP names");
  out += CommentLines(tail);
  return ToUtf8(out);
}

std::string MatrixExport(const Analysis& a, MatrixFileFormat format) {
  return format == MatrixFileFormat::Tsv ? MatrixTsv(a) : MatrixPhylip(a);
}

std::string ReportText(const Analysis& a) {
  std::string out = "Ramovia report\n\nSettings\n";
  for (const auto& l : ProvenanceLines(a)) out += "  " + l + "\n";
  if (RunValid(a)) {
    out += "\nStatistics\n";
    for (const auto& l : a.MemoLines) out += "  " + l + "\n";
    out += "\nTrees (count: tree)\n";
    for (const auto& l : a.TreeLines) out += "  " + l + "\n";
  } else {
    out += "\nNo resampling run since the reference tree was built.\n";
  }
  if (const TKVTreeNodeItem* t = ShownReferenceTree(a)) {
    out += ReferenceTreeHasSupport(a) ? "\nReference tree with support (Newick)\n"
                                      : "\nReference tree (Newick)\n";
    out += ToNewick(*t, ReferenceTreeLengths(a), ReferenceTreeHasSupport(a));
  }
  return ToUtf8(out);
}

void WriteFileAtomically(const std::string& path, std::string_view content) {
  const auto fail = [&](int error) {
    throw ExportError("Cannot write " + path + ": " + std::strerror(error));
  };
  if (path.empty()) throw ExportError("No file name given.");
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) fail(EISDIR);
  std::string temp = (slash == std::string::npos ? std::string() : dir) + "." + base + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) fail(errno);
  temp.assign(name.data());
  int error = 0;
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0 && error == 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  if (error == 0 && ::fchmod(fd, 0644) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    fail(error);
  }
}

}  // namespace ramovia
