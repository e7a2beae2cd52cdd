// Drawn trees and the files that leave the program: Newick quoting and round trip, the layout,
// SVG text, the matrix and report exports with their settings, and the all-or-nothing writing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "analysis/session.h"
#include "capability_util.h"
#include "input/number_reading.h"
#include "newick_reader.h"
#include "output/exports.h"
#include "output/file_writing.h"
#include "output/grids.h"
#include "output/number_text.h"
#include "output/statistics.h"
#include "output/svg.h"
#include "output/tree_layout.h"
#include "output/tree_text.h"
#include "tree_test_util.h"

namespace ramovia {
namespace {

namespace fs = std::filesystem;
using testing::ReadNewick;
using testing::readTree;
using testing::TestTree;

TestTree threeTaxa(std::vector<Taxon>& taxa) {
  return readTree("((A:0.1,B:0.1)'85':0.25,C:0.35)'100'", taxa);
}

// Two leaves of any names, which the test tree reader could not take apart.
Tree cherry(std::vector<Taxon>& taxa, const std::string& a, double la, const std::string& b,
            double lb) {
  taxa = {Taxon{Name(a), {}}, Taxon{Name(b), {}}};
  Tree t;
  const int32_t x = t.addLeaf(0, la);
  const int32_t y = t.addLeaf(1, lb);
  t.addInner(x, y);
  return t;
}

TEST(Newick, QuotesNamesThatNewickWouldTakeApart) {
  EXPECT_EQ(newickLabel("Q.robur"), "Q.robur");
  EXPECT_EQ(newickLabel("Homo_sapiens"), "Homo_sapiens");
  EXPECT_EQ(newickLabel("Homo sapiens"), "'Homo sapiens'");
  for (const char* name : {"a(b", "a)b", "a:b", "a,b", "a;b", "a[b]", "a\"b", "a\tb"})
    EXPECT_EQ(newickLabel(name), std::string("'") + name + "'") << name;
  EXPECT_EQ(newickLabel("O'Brien"), "'O''Brien'");
  EXPECT_EQ(newickLabel("''"), "''''''");
  EXPECT_EQ(newickLabel(""), "''");
}

TEST(Newick, SupportAsInnerLabelLengthsAndTheEnd) {
  std::vector<Taxon> taxa;
  const TestTree t = threeTaxa(taxa);
  EXPECT_EQ(newickText(t.tree, taxa, true, t.support), "((A:0.1,B:0.1)85:0.25,C:0.35)100;\n");
  EXPECT_EQ(newickText(t.tree, taxa, true, {}), "((A:0.1,B:0.1):0.25,C:0.35);\n");
  EXPECT_EQ(newickText(t.tree, taxa, false, {}), "((A,B),C);\n");
  // A support of 0 after a run is a result, not a missing label.
  const TestTree z = readTree("((A,B),C)'100'", taxa);
  EXPECT_EQ(newickText(z.tree, taxa, false, z.support), "((A,B)0,C)100;\n");
  // One taxon: a leaf and the end.
  const TestTree one = readTree("A", taxa);
  EXPECT_EQ(newickText(one.tree, taxa, true, one.support), "A;\n");
  const TestTree neg = readTree("(A:-0.05,B:1e-5)", taxa);
  EXPECT_EQ(newickText(neg.tree, taxa, true, {}), "(A:-0.05,B:1E-5);\n");
}

// Every awkward name, support and length read back by an independent reader.
TEST(Newick, RoundTripThroughAReader) {
  const std::vector<std::string> names = {"plain",   "with space", "O'Brien", "a(b)c",
                                          "x:y,z;w", "[note]",     "under_score", "''"};
  std::mt19937 rng(7);
  std::vector<Taxon> taxa;
  Tree tree;
  std::vector<int32_t> support;
  std::vector<int32_t> pool;
  for (const auto& n : names) {
    taxa.push_back(Taxon{Name(n), {}});
    pool.push_back(tree.addLeaf(static_cast<int32_t>(taxa.size()) - 1,
                                std::uniform_real_distribution<>(-0.1, 1)(rng)));
  }
  support.resize(tree.nodes.size(), 0);
  int s = 10;
  while (pool.size() > 1) {
    const int32_t b = pool.back();
    pool.pop_back();
    const int32_t a = pool.back();
    pool.pop_back();
    pool.insert(pool.begin(), tree.addInner(a, b, 1.0 / 3 + s));
    support.push_back(s);
    s += 11;
  }
  const std::string text = newickText(tree, taxa, true, support);
  auto read = ReadNewick(text);
  std::function<void(int32_t, const testing::NewickNode&, bool)> same =
      [&](int32_t x, const testing::NewickNode& r, bool isRoot) {
        const TreeNode& n = tree[x];
        if (!n.isLeaf()) {
          ASSERT_EQ(r.children.size(), 2u);
          EXPECT_EQ(r.label, std::to_string(support[static_cast<std::size_t>(x)]));
          same(n.left, *r.children[0], false);
          same(n.right, *r.children[1], false);
        } else {
          EXPECT_TRUE(r.children.empty());
          EXPECT_EQ(r.label, taxa[static_cast<std::size_t>(n.taxon)].name.str());
        }
        if (isRoot) {
          EXPECT_FALSE(r.length.has_value());
        } else {
          ASSERT_TRUE(r.length.has_value());
          EXPECT_EQ(lengthText(std::strtod(r.length->c_str(), nullptr)), lengthText(n.length));
        }
      };
  same(tree.root(), *read, true);
}

TEST(TreeLayout, RowsHeightsAndBothKinds) {
  std::vector<Taxon> taxa;
  const TestTree t = threeTaxa(taxa);
  const TreeLayout p = layoutTree(t.tree, taxa, BranchLengths::Stored, t.support);
  ASSERT_EQ(p.nodes.size(), 5u);  // pre-order: root, (A,B), A, B, C
  EXPECT_EQ(p.leafCount, 3);
  EXPECT_TRUE(p.phylogram);
  EXPECT_DOUBLE_EQ(p.nodes[2].y, 0);
  EXPECT_DOUBLE_EQ(p.nodes[3].y, 1);
  EXPECT_DOUBLE_EQ(p.nodes[4].y, 2);
  EXPECT_DOUBLE_EQ(p.nodes[1].y, 0.5);
  EXPECT_DOUBLE_EQ(p.nodes[0].y, 1.25);
  EXPECT_DOUBLE_EQ(p.nodes[2].x, 0.35);
  EXPECT_DOUBLE_EQ(p.nodes[4].x, 0.35);
  EXPECT_EQ(p.nodes[1].support, 85);
  EXPECT_EQ(p.nodes[2].support, -1);
  EXPECT_DOUBLE_EQ(p.maxX, 0.35);

  const TreeLayout c = layoutTree(t.tree, taxa, BranchLengths::None);
  EXPECT_FALSE(c.phylogram);
  EXPECT_EQ(c.nodes[1].support, -1);
  // Leaves line up on the right; C hangs off the root directly.
  EXPECT_DOUBLE_EQ(c.nodes[0].x, 0);
  EXPECT_DOUBLE_EQ(c.nodes[1].x, 1);
  for (int leaf : {2, 3, 4}) EXPECT_DOUBLE_EQ(c.nodes[static_cast<std::size_t>(leaf)].x, 2);

  // Negative lengths of neighbor-joining reach left of the root.
  const TestTree neg = readTree("(A:-0.05,B:0.2)", taxa);
  const TreeLayout n = layoutTree(neg.tree, taxa, BranchLengths::Stored);
  EXPECT_DOUBLE_EQ(n.minX, -0.05);
  const TreeDrawing d = drawTree(n);
  for (const auto& l : d.lines) {
    EXPECT_GE(std::min(l.x1, l.x2), 0);
    EXPECT_LE(std::max(l.x1, l.x2), d.width);
  }
}

TEST(TreeLayout, ScaleBarIsARoundFifth) {
  EXPECT_DOUBLE_EQ(scaleBarLength(0.5), 0.1);
  EXPECT_DOUBLE_EQ(scaleBarLength(1.0), 0.2);
  EXPECT_DOUBLE_EQ(scaleBarLength(0.03), 0.005);
  EXPECT_DOUBLE_EQ(scaleBarLength(7), 1);
  EXPECT_DOUBLE_EQ(scaleBarLength(0), 1);
  std::vector<Taxon> taxa;
  const TestTree t = threeTaxa(taxa);
  const TreeDrawing d = drawTree(layoutTree(t.tree, taxa, BranchLengths::Stored));
  int scale = 0;
  for (const auto& text : d.texts)
    if (text.role == DrawnText::Role::Scale) {
      ++scale;
      EXPECT_EQ(text.text, "0.05");
    }
  EXPECT_EQ(scale, 1);
  const TreeDrawing c = drawTree(layoutTree(t.tree, taxa, BranchLengths::None));
  for (const auto& text : c.texts) EXPECT_NE(text.role, DrawnText::Role::Scale);
}

// Random trees of 5 to 200 taxa with short, long and negative branches: the window's drawing
// lets no support label cover another or a leaf name, where the plain placement does.
TEST(TreeLayout, SeparatedSupportLabelsCoverNoLabelOrName) {
  std::mt19937 rng(11);
  int plainOverlaps = 0;
  for (const int n : {5, 8, 13, 21, 34, 55, 89, 144, 200}) {
    for (int round = 0; round < 4; ++round) {
      std::vector<Taxon> taxa;
      Tree tree;
      std::vector<int32_t> pool;
      std::exponential_distribution<> length(round % 2 ? 40.0 : 8.0);
      for (int i = 0; i < n; ++i) {
        taxa.push_back(Taxon{Name("T" + std::to_string(i)), {}});
        pool.push_back(tree.addLeaf(i, length(rng)));
      }
      while (pool.size() > 1) {
        std::shuffle(pool.begin(), pool.end(), rng);
        const int32_t a = pool.back();
        pool.pop_back();
        const int32_t b = pool.back();
        pool.pop_back();
        const double l = round == 3 ? length(rng) - 0.02 : length(rng);
        pool.push_back(tree.addInner(a, b, pool.empty() ? 0.0 : l));
      }
      std::vector<int32_t> support(tree.nodes.size());
      for (auto& s : support) s = std::uniform_int_distribution<>(0, 100)(rng);
      const TreeLayout layout = layoutTree(tree, taxa, BranchLengths::Stored, support);
      auto overlaps = [](const TreeDrawing& d) {
        int count = 0;
        for (std::size_t i = 0; i < d.texts.size(); ++i)
          for (std::size_t j = 0; j < d.texts.size(); ++j)
            if (i != j && d.texts[i].role == DrawnText::Role::Support &&
                (j > i || d.texts[j].role != DrawnText::Role::Support) &&
                textBox(d.texts[i]).overlaps(textBox(d.texts[j])))
              ++count;
        return count;
      };
      const TreeDrawing plain = drawTree(layout);
      const TreeDrawing separated = drawTree(layout, {.separateSupport = true});
      plainOverlaps += overlaps(plain);
      EXPECT_EQ(overlaps(separated), 0) << n << " taxa, round " << round;
      // Only support labels move.
      ASSERT_EQ(separated.texts.size(), plain.texts.size());
      EXPECT_EQ(separated.lines.size(), plain.lines.size());
      EXPECT_EQ(separated.width, plain.width);
      for (std::size_t i = 0; i < plain.texts.size(); ++i) {
        if (plain.texts[i].role != DrawnText::Role::Support) {
          EXPECT_EQ(separated.texts[i].x, plain.texts[i].x);
        }
      }
    }
  }
  EXPECT_GT(plainOverlaps, 0);
}

TEST(Svg, EscapesNamesAndCarriesTheSettings) {
  std::vector<Taxon> taxa;
  const Tree t = cherry(taxa, "a<b&c", 0.1, "\"q\" 'x'", 0.2);
  const std::string svg =
      treeSvg(drawTree(layoutTree(t, taxa, BranchLengths::Stored)), "T & U", {"Input: x<y"});
  EXPECT_NE(svg.find(">a&lt;b&amp;c</text>"), std::string::npos);
  EXPECT_NE(svg.find(">&quot;q&quot; &apos;x&apos;</text>"), std::string::npos);
  EXPECT_NE(svg.find("<title>T &amp; U</title>"), std::string::npos);
  EXPECT_NE(svg.find("Input: x&lt;y"), std::string::npos);
  EXPECT_EQ(svg.find("a<b"), std::string::npos);
  // Windows-1252 names become UTF-8; control bytes, which XML cannot hold, a replacement mark.
  const Tree w = cherry(taxa, "caf\xE9", 0.1, "a\x01z", 0.2);
  const std::string s2 = treeSvg(drawTree(layoutTree(w, taxa, BranchLengths::Stored)), "", {});
  EXPECT_NE(s2.find("caf\xC3\xA9"), std::string::npos);
  EXPECT_NE(s2.find("a\xEF\xBF\xBDz"), std::string::npos);
}

// --- the exports of an analysis ---

const char* const kTable =
    "\tQ robur\tQ.petraea\tQ.cerris\tQ:ilex\nE1\t6\n1\t1\t1\t0\t0\n2\t1\t1\t1\t0\n3\t0\t1\t1\t1\n"
    "4\t1\t0\t0\t1\n5\t1\t1\t0\t0\n6\t0\t0\t1\t1\n7\t1\t1\t1\t0\nE2\t4\n8\t1\t0\t1\t1\n"
    "9\t1\t1\t0\t0\n10\t0\t1\t1\t1\n";

// The table read, and, given a coefficient, its matrix and reference tree with the grid filled
// as the window and the command line fill it.
struct Oaks {
  Session session;
  MatrixGrid grid;
  explicit Oaks(std::optional<char> letter, TreeMethod method = TreeMethod::None) {
    session.readTable(kTable, '.');
    if (!letter) return;
    session.chooseCoefficient(*coefficientForLetter(*letter));
    choose(method);
  }
  void choose(TreeMethod method) {
    session.chooseMethod(method);
    grid = MatrixGrid();
    grid.fill(*session.matrix(), session.resultsData(), '.');
  }
  AnalysisView view() const { return AnalysisView{session, grid, "oaks.txt", '.'}; }
};

std::vector<std::string> linesOf(const std::string& s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < s.size()) {
    const auto end = s.find('\n', start);
    out.push_back(s.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

bool holds(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Exports, PhylipHoldsDistancesUnderEitherMethod) {
  for (const TreeMethod method : {TreeMethod::Upgma, TreeMethod::NeighborJoining}) {
    Oaks a('A', method);
    const auto lines = linesOf(matrixPhylip(a.view()));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "    4");
    // Relaxed names: blanks become underscores, short names padded to ten.
    EXPECT_EQ(lines[1].substr(0, 11), "Q_robur    ");
    EXPECT_EQ(lines[2].substr(0, 11), "Q.petraea  ");
    for (int i = 1; i <= 4; ++i) {
      std::istringstream row(lines[static_cast<std::size_t>(i)]);
      std::string name;
      row >> name;
      for (int j = 1; j <= 4; ++j) {
        double v = -1;
        row >> v;
        if (i == j) {
          EXPECT_EQ(v, 0);
          continue;
        }
        const double cell = readMatrixCell(a.grid.cell(j, i), '.');
        EXPECT_DOUBLE_EQ(v, method == TreeMethod::Upgma ? 1.0 - cell : cell) << i << "," << j;
      }
    }
    // The settings follow the matrix as comments.
    EXPECT_EQ(lines[5], std::string("# Ramovia ") + RAMOVIA_VERSION);
    EXPECT_TRUE(holds(lines, "# Input: oaks.txt"));
    EXPECT_TRUE(holds(lines, "# Coefficient: A - Nei and Li / Dice"));
  }
}

TEST(Exports, TsvIsTheGridWithEditsAfterTheSettings) {
  Oaks a('B', TreeMethod::NeighborJoining);
  a.grid.setCell(2, 1, "0.5");
  const auto lines = linesOf(matrixTsv(a.view()));
  std::size_t first = 0;
  while (first < lines.size() && lines[first].rfind("# ", 0) == 0) ++first;
  EXPECT_TRUE(holds(lines, "# Matrix: edited by hand"));
  EXPECT_TRUE(holds(lines, "# Method: Neighbor-joining"));
  ASSERT_EQ(lines.size(), first + 5);
  EXPECT_EQ(lines[first], "\tQ robur\tQ.petraea\tQ.cerris\tQ:ilex");
  for (int r = 0; r < 5; ++r) {
    std::string expected;
    for (int c = 0; c < 5; ++c) expected += (c ? "\t" : "") + a.grid.cell(c, r);
    EXPECT_EQ(lines[first + static_cast<std::size_t>(r)], expected);
  }
  EXPECT_NE(lines[first + 1].find("\t0.5\t"), std::string::npos);
}

TEST(Exports, UnreadableEditedCellStopsThePhylipExportWithItsPlace) {
  Oaks a('A', TreeMethod::NeighborJoining);
  a.grid.setCell(3, 2, "x1");
  try {
    matrixPhylip(a.view());
    FAIL() << "no error";
  } catch (const ExportError& e) {
    EXPECT_NE(std::string(e.what()).find("row 2, column 3"), std::string::npos) << e.what();
  }
}

TEST(Exports, NothingToExportIsAClearError) {
  Oaks a(std::nullopt);
  const AnalysisView v = a.view();
  EXPECT_THROW(referenceTreeNewick(v), ExportError);
  EXPECT_THROW(referenceTreeSvg(v), ExportError);
  EXPECT_THROW(matrixTsv(v), ExportError);
  EXPECT_THROW(listedTreeNewick(v, 0), ExportError);
  EXPECT_TRUE(referenceTreeDrawing(v).lines.empty());
  EXPECT_NE(reportText(v).find("Resampling: none"), std::string::npos);
}

TEST(Exports, ARunAddsSupportAndItsSettingsUntilTheNextReferenceTree) {
  Oaks a('A', TreeMethod::NeighborJoining);
  const AnalysisView v = a.view();
  EXPECT_TRUE(referenceTreeSupport(v).empty());
  const std::string before = referenceTreeNewick(v);
  EXPECT_EQ(before.find(")100"), std::string::npos);
  EXPECT_NE(before.find("'Q robur':"), std::string::npos);
  EXPECT_NE(before.find("'Q:ilex':"), std::string::npos);

  a.session.setSeed(4242);
  ResamplingPlan plan;
  plan.method = Resampling::Bootstrap;
  plan.replicates = 30;
  const ResamplingResult& run = a.session.resample(plan);
  ASSERT_FALSE(referenceTreeSupport(v).empty());
  const auto prov = provenanceLines(v);
  EXPECT_TRUE(holds(prov, "Resampling: Bootstrapping"));
  EXPECT_TRUE(holds(prov, "Replicates: 30 requested, 30 trees built"));
  EXPECT_TRUE(holds(prov, "Seed at the start of the run: 4242"));

  // Under neighbor-joining the labels are splits' support by default; asked for, the clades'.
  EXPECT_EQ(supportOf(v), SupportKind::Split);
  EXPECT_TRUE(holds(prov, "Support labels: split (the share of replicates with each bipartition, "
                          "for any root)"));
  AnalysisView clades = v;
  clades.support = SupportKind::Clade;
  // Every inner node of the reference tree carries its support, read back as labels.
  const Tree& reference = *a.session.referenceTree();
  const auto read = ReadNewick(referenceTreeNewick(clades));
  std::function<void(int32_t, const testing::NewickNode&)> check =
      [&](int32_t x, const testing::NewickNode& r) {
        const TreeNode& n = reference[x];
        if (!n.isLeaf()) {
          EXPECT_EQ(r.label, std::to_string(run.support[static_cast<std::size_t>(x)]));
          check(n.left, *r.children.at(0));
          check(n.right, *r.children.at(1));
        }
      };
  check(reference.root(), *read);

  const std::string report = reportText(v);
  const auto& taxa = a.session.resultsData().taxa;
  for (const auto& l : statisticsLines(run, a.session.comparedTree(), taxa))
    EXPECT_NE(report.find(l), std::string::npos) << l;
  for (const auto& l : treeListLines(run, taxa)) EXPECT_NE(report.find(l), std::string::npos) << l;
  EXPECT_NE(report.find("Reference tree with support (Newick)\n" + referenceTreeNewick(v)),
            std::string::npos);
  const std::string svg = referenceTreeSvg(v);
  EXPECT_NE(svg.find("Seed at the start of the run: 4242"), std::string::npos);
  EXPECT_NE(svg.find("class=\"support\""), std::string::npos);

  // A listed tree: topology only.
  const std::string listed = listedTreeNewick(v, 0);
  EXPECT_EQ(listed.find(':', listed.find("'Q:ilex'") + 8), std::string::npos) << listed;

  // A new reference tree has no run behind it.
  a.choose(TreeMethod::Upgma);
  EXPECT_TRUE(referenceTreeSupport(v).empty());
  EXPECT_TRUE(holds(provenanceLines(v), "Resampling: none"));
}

// The tree of an edited matrix takes the reference tree's place in every export, without the
// support that belonged to the reference tree.
TEST(Exports, TheEditedMatrixTreeIsExportedWithoutTheRunsSupport) {
  Oaks a('A', TreeMethod::Upgma);
  const AnalysisView v = a.view();
  ResamplingPlan plan;
  plan.replicates = 10;
  a.session.resample(plan);
  // Q robur and Q:ilex, not a pair of the reference tree, made the most similar one.
  const auto pairsRoburAndIlex = [](const Tree& t) {
    for (int32_t x = 0; x <= t.root(); ++x) {
      auto leaves = t.leafTaxa(x);
      std::sort(leaves.begin(), leaves.end());
      if (leaves == std::vector<int32_t>{0, 3}) return true;
    }
    return false;
  };
  ASSERT_FALSE(pairsRoburAndIlex(*a.session.referenceTree()));
  a.grid.setCell(4, 1, "0.99");
  a.grid.setCell(1, 4, "0.99");
  a.session.restoreMatrixOrder();
  a.session.buildFromMatrix(a.grid.readBack(a.session.editedMatrixSize()));
  ASSERT_EQ(a.session.referenceTree(), nullptr);
  const Tree& edited = *a.session.editedTree();
  EXPECT_TRUE(pairsRoburAndIlex(edited));
  EXPECT_EQ(shownReferenceTree(v), &edited);
  EXPECT_TRUE(referenceTreeSupport(v).empty());
  const auto& taxa = a.session.resultsData().taxa;
  EXPECT_EQ(referenceTreeNewick(v), newickText(edited, taxa, true, {}));
  const std::string report = reportText(v);
  EXPECT_NE(report.find("Matrix: edited by hand"), std::string::npos);
  EXPECT_NE(report.find("Reference tree (Newick)\n" + referenceTreeNewick(v)), std::string::npos);
}

TEST(Exports, FormatsByExtension) {
  EXPECT_EQ(treeFormatForPath("a/b.NWK"), TreeFileFormat::Newick);
  EXPECT_EQ(treeFormatForPath("b.tre"), TreeFileFormat::Newick);
  EXPECT_EQ(treeFormatForPath("b.svg"), TreeFileFormat::Svg);
  EXPECT_EQ(treeFormatForPath("b.pdf"), TreeFileFormat::Pdf);
  EXPECT_EQ(treeFormatForPath("dir.svg/b"), std::nullopt);
  EXPECT_EQ(matrixFormatForPath("m.tsv"), MatrixFileFormat::Tsv);
  EXPECT_EQ(matrixFormatForPath("m.phy"), MatrixFileFormat::Phylip);
  EXPECT_EQ(matrixFormatForPath("m.csv"), std::nullopt);
}

// --- writing ---

struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "ramovia-exports-XXXXXX").string();
    path = ::mkdtemp(t.data());
  }
  ~TempDir() {
    fs::permissions(path, fs::perms::owner_all);
    fs::remove_all(path);
  }
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(AtomicWrite, WritesAndReplacesLeavingNoTemporary) {
  TempDir d;
  const fs::path file = d.path / "tree.nwk";
  writeFileAtomically(file.string(), "one;\n");
  EXPECT_EQ(slurp(file), "one;\n");
  writeFileAtomically(file.string(), std::string(100000, 'x'));
  EXPECT_EQ(slurp(file), std::string(100000, 'x'));
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, ReadOnlyFolderFailsClearlyAndLeavesNothing) {
  TempDir d;
  const fs::path kept = d.path / "kept.nwk";
  writeFileAtomically(kept.string(), "old;\n");
  ::chmod(d.path.c_str(), 0555);
  testing::WithoutDacOverride asUser;
  if (testing::CanCreateIn(d.path.string())) GTEST_SKIP() << "this process can write anywhere";
  for (const fs::path& target : {d.path / "new.nwk", kept}) {
    try {
      writeFileAtomically(target.string(), "new;\n");
      FAIL() << "no error for " << target;
    } catch (const ExportError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write " + target.string() + ": Permission denied");
    }
  }
  EXPECT_EQ(slurp(kept), "old;\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, MissingFolderAndFolderAsTarget) {
  TempDir d;
  EXPECT_THROW(writeFileAtomically((d.path / "no" / "x.tsv").string(), "x"), ExportError);
  fs::create_directory(d.path / "sub");
  EXPECT_THROW(writeFileAtomically((d.path / "sub").string(), "x"), ExportError);
  EXPECT_THROW(writeFileAtomically("", "x"), ExportError);
  // Only the folder made above is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(WriteTogether, LinksModesDevicesAndPipesAreRespected) {
  TempDir d;
  // A link is followed: the target gets the content, the link stays a link.
  const fs::path target = d.path / "target.nwk", link = d.path / "link.nwk";
  writeFileAtomically(target.string(), "old;\n");
  fs::create_symlink("target.nwk", link);
  writeFileAtomically(link.string(), "new;\n");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(target), "new;\n");
  // An existing file keeps its mode; a new one is 0644.
  ::chmod(target.c_str(), 0600);
  writeFileAtomically(target.string(), "x;\n");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  writeFileAtomically((d.path / "fresh.nwk").string(), "x;\n");
  ASSERT_EQ(::stat((d.path / "fresh.nwk").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  // A device is written, not replaced; a full one fails with its cause.
  writeFileAtomically("/dev/null", "x;\n");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  if (fs::exists("/dev/full")) {
    EXPECT_THROW(writeFileAtomically("/dev/full", "x;\n"), ExportError);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  // A pipe is written to its reader.
  const fs::path fifo = d.path / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = slurp(fifo); });
  writeFileAtomically(fifo.string(), "piped;\n");
  reader.join();
  EXPECT_EQ(received, "piped;\n");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(WriteTogether, OneFailureReplacesNothing) {
  TempDir d;
  const fs::path first = d.path / "a.nwk", readOnly = d.path / "b.nwk";
  writeFileAtomically(first.string(), "old a;\n");
  writeFileAtomically(readOnly.string(), "old b;\n");
  ::chmod(readOnly.c_str(), 0444);
  const std::vector<FileToWrite> files{{first.string(), "new a;\n"}, {readOnly.string(), "new b;\n"}};
  {
    testing::WithoutDacOverride asUser;
    EXPECT_THROW(writeFilesTogether(files), ExportError);
  }
  EXPECT_EQ(slurp(first), "old a;\n");
  EXPECT_EQ(slurp(readOnly), "old b;\n");
  // A full device after a regular file: the regular file is not replaced either.
  if (fs::exists("/dev/full")) {
    const std::vector<FileToWrite> withDevice{{first.string(), "new a;\n"}, {"/dev/full", "x"}};
    EXPECT_THROW(writeFilesTogether(withDevice), ExportError);
    EXPECT_EQ(slurp(first), "old a;\n");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 2);
}

TEST(WriteTogether, OutputsThatAreTheInputOrEachOther) {
  TempDir d;
  const fs::path input = d.path / "table.txt", link = d.path / "alias.txt";
  writeFileAtomically(input.string(), "\ta\n");
  fs::create_symlink(input, link);
  const auto refused = [&](std::vector<std::string> outputs) {
    try {
      checkOutputPaths(input.string(), outputs);
      return false;
    } catch (const ExportError&) {
      return true;
    }
  };
  EXPECT_TRUE(refused({input.string()}));
  EXPECT_TRUE(refused({link.string()}));
  EXPECT_TRUE(refused({(d.path / "new.nwk").string(), (d.path / "." / "new.nwk").string()}));
  EXPECT_FALSE(refused({(d.path / "a.nwk").string(), (d.path / "b.svg").string()}));
  EXPECT_FALSE(refused({"/dev/null", "/dev/null"}));
  EXPECT_NO_THROW(checkOutputPaths("-", std::vector<std::string>{input.string()}));
}

}  // namespace
}  // namespace ramovia
