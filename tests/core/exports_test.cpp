// Drawn trees and the files that leave the program: Newick quoting and round trip, the layout,
// SVG text, the matrix and report exports with their settings, and the all-or-nothing writing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "capability_util.h"
#include "input/number_text.h"
#include "newick_reader.h"
#include "resampling/analysis.h"
#include "resampling/exports.h"
#include "resampling/random.h"
#include "tree/newick.h"
#include "tree/svg.h"
#include "tree/tree_layout.h"
#include "tree_test_util.h"

namespace ramovia {
namespace {

namespace fs = std::filesystem;
using testing::ReadNewick;

std::unique_ptr<TKVTreeNodeItem> Leaf(const std::string& name, double length) {
  auto l = std::make_unique<TKVTreeNodeItem>();
  l->Name = name;
  l->Distance = length;
  return l;
}
std::unique_ptr<TKVTreeNodeItem> Join(std::unique_ptr<TKVTreeNodeItem> a,
                                      std::unique_ptr<TKVTreeNodeItem> b, double length,
                                      int support) {
  auto n = std::make_unique<TKVTreeNode>();
  n->Name = std::min(a->Name.str(), b->Name.str());
  n->Left = std::move(a);
  n->Right = std::move(b);
  n->Distance = length;
  n->Support = support;
  return n;
}

// ((A:0.1,B:0.1)85:0.25,C:0.35)100
std::unique_ptr<TKVTreeNodeItem> ThreeTaxa() {
  return Join(Join(Leaf("A", 0.1), Leaf("B", 0.1), 0.25, 85), Leaf("C", 0.35), 0.0, 100);
}

TEST(Newick, QuotesNamesThatNewickReadsSpecially) {
  EXPECT_EQ(NewickLabel("Q.robur"), "Q.robur");
  EXPECT_EQ(NewickLabel("Homo_sapiens"), "Homo_sapiens");
  EXPECT_EQ(NewickLabel("Homo sapiens"), "'Homo sapiens'");
  for (const char* name : {"a(b", "a)b", "a:b", "a,b", "a;b", "a[b]", "a\"b", "a\tb"})
    EXPECT_EQ(NewickLabel(name), std::string("'") + name + "'") << name;
  EXPECT_EQ(NewickLabel("O'Brien"), "'O''Brien'");
  EXPECT_EQ(NewickLabel("''"), "''''''");
  EXPECT_EQ(NewickLabel(""), "''");
}

TEST(Newick, SupportAsInnerLabelLengthsAndTheEnd) {
  auto t = ThreeTaxa();
  EXPECT_EQ(ToNewick(*t, BranchLengths::Stored, true), "((A:0.1,B:0.1)85:0.25,C:0.35)100;\n");
  EXPECT_EQ(ToNewick(*t, BranchLengths::Stored, false), "((A:0.1,B:0.1):0.25,C:0.35);\n");
  EXPECT_EQ(ToNewick(*t, BranchLengths::None, false), "((A,B),C);\n");
  // A support of 0 after a run is a result, not a missing label.
  auto z = Join(Join(Leaf("A", 0), Leaf("B", 0), 0, 0), Leaf("C", 0), 0, 100);
  EXPECT_EQ(ToNewick(*z, BranchLengths::None, true), "((A,B)0,C)100;\n");
  // One taxon: a leaf and the end.
  EXPECT_EQ(ToNewick(*Leaf("A", 0), BranchLengths::Stored, true), "A;\n");
  auto neg = Join(Leaf("A", -0.05), Leaf("B", 1e-5), 0, 0);
  EXPECT_EQ(ToNewick(*neg, BranchLengths::Stored, false), "(A:-0.05,B:1E-5);\n");
}

// Every awkward name, support and length read back by an independent reader.
TEST(Newick, RoundTripThroughAReader) {
  const std::vector<std::string> names = {"plain",   "with space", "O'Brien", "a(b)c",
                                          "x:y,z;w", "[note]",     "under_score", "''"};
  std::mt19937 rng(7);
  std::vector<std::unique_ptr<TKVTreeNodeItem>> pool;
  for (const auto& n : names) pool.push_back(Leaf(n, std::uniform_real_distribution<>(-0.1, 1)(rng)));
  int support = 10;
  while (pool.size() > 1) {
    auto b = std::move(pool.back());
    pool.pop_back();
    auto a = std::move(pool.back());
    pool.pop_back();
    pool.insert(pool.begin(), Join(std::move(a), std::move(b), 1.0 / 3 + support, support));
    support += 11;
  }
  const TKVTreeNodeItem& root = *pool.front();
  const std::string text = ToNewick(root, BranchLengths::Stored, true);
  auto read = ReadNewick(text);
  std::function<void(const TKVTreeNodeItem&, const testing::NewickNode&, bool)> same =
      [&](const TKVTreeNodeItem& t, const testing::NewickNode& r, bool isRoot) {
        if (const TKVTreeNode* n = AsNode(&t)) {
          ASSERT_EQ(r.children.size(), 2u);
          EXPECT_EQ(r.label, std::to_string(n->Support));
          same(*n->Left, *r.children[0], false);
          same(*n->Right, *r.children[1], false);
        } else {
          EXPECT_TRUE(r.children.empty());
          EXPECT_EQ(r.label, t.Name.str());
        }
        if (isRoot) {
          EXPECT_FALSE(r.length.has_value());
        } else {
          ASSERT_TRUE(r.length.has_value());
          EXPECT_EQ(Len(std::strtod(r.length->c_str(), nullptr)), Len(t.Distance));
        }
      };
  same(root, *read, true);
}

TEST(TreeLayout, RowsHeightsAndBothKinds) {
  auto t = ThreeTaxa();
  const TreeLayout p = LayoutTree(*t, BranchLengths::Stored, true);
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

  const TreeLayout c = LayoutTree(*t, BranchLengths::None, false);
  EXPECT_FALSE(c.phylogram);
  EXPECT_EQ(c.nodes[1].support, -1);
  // Leaves line up on the right; C hangs off the root directly.
  EXPECT_DOUBLE_EQ(c.nodes[0].x, 0);
  EXPECT_DOUBLE_EQ(c.nodes[1].x, 1);
  for (int leaf : {2, 3, 4}) EXPECT_DOUBLE_EQ(c.nodes[static_cast<std::size_t>(leaf)].x, 2);

  // Negative lengths of neighbor-joining reach left of the root.
  auto neg = Join(Leaf("A", -0.05), Leaf("B", 0.2), 0, 0);
  const TreeLayout n = LayoutTree(*neg, BranchLengths::Stored, false);
  EXPECT_DOUBLE_EQ(n.minX, -0.05);
  const TreeDrawing d = DrawTree(n);
  for (const auto& l : d.lines) {
    EXPECT_GE(std::min(l.x1, l.x2), 0);
    EXPECT_LE(std::max(l.x1, l.x2), d.width);
  }
}

TEST(TreeLayout, ScaleBarIsARoundFifth) {
  EXPECT_DOUBLE_EQ(ScaleBarLength(0.5), 0.1);
  EXPECT_DOUBLE_EQ(ScaleBarLength(1.0), 0.2);
  EXPECT_DOUBLE_EQ(ScaleBarLength(0.03), 0.005);
  EXPECT_DOUBLE_EQ(ScaleBarLength(7), 1);
  EXPECT_DOUBLE_EQ(ScaleBarLength(0), 1);
  const TreeDrawing d = DrawTree(LayoutTree(*ThreeTaxa(), BranchLengths::Stored, false));
  int scale = 0;
  for (const auto& t : d.texts)
    if (t.role == DrawnText::Role::Scale) {
      ++scale;
      EXPECT_EQ(t.text, "0.05");
    }
  EXPECT_EQ(scale, 1);
  const TreeDrawing c = DrawTree(LayoutTree(*ThreeTaxa(), BranchLengths::None, false));
  for (const auto& t : c.texts) EXPECT_NE(t.role, DrawnText::Role::Scale);
}

TEST(Svg, EscapesNamesAndCarriesTheSettings) {
  auto t = Join(Leaf("a<b&c", 0.1), Leaf("\"q\" 'x'", 0.2), 0, 0);
  const std::string svg =
      TreeSvg(DrawTree(LayoutTree(*t, BranchLengths::Stored, false)), "T & U", {"Input: x<y"});
  EXPECT_NE(svg.find(">a&lt;b&amp;c</text>"), std::string::npos);
  EXPECT_NE(svg.find(">&quot;q&quot; &apos;x&apos;</text>"), std::string::npos);
  EXPECT_NE(svg.find("<title>T &amp; U</title>"), std::string::npos);
  EXPECT_NE(svg.find("Input: x&lt;y"), std::string::npos);
  EXPECT_EQ(svg.find("a<b"), std::string::npos);
  // Windows-1252 names become UTF-8; control bytes, which XML cannot hold, a replacement mark.
  auto w = Join(Leaf("caf\xE9", 0.1), Leaf("a\x01z", 0.2), 0, 0);
  const std::string s2 = TreeSvg(DrawTree(LayoutTree(*w, BranchLengths::Stored, false)), "", {});
  EXPECT_NE(s2.find("caf\xC3\xA9"), std::string::npos);
  EXPECT_NE(s2.find("a\xEF\xBF\xBDz"), std::string::npos);
}

// --- the exports of an analysis ---

const char* const kTable =
    "\tQ robur\tQ.petraea\tQ.cerris\tQ:ilex\nE1\t6\n1\t1\t1\t0\t0\n2\t1\t1\t1\t0\n3\t0\t1\t1\t1\n"
    "4\t1\t0\t0\t1\n5\t1\t1\t0\t0\n6\t0\t0\t1\t1\n7\t1\t1\t1\t0\nE2\t4\n8\t1\t0\t1\t1\n"
    "9\t1\t1\t0\t0\n10\t0\t1\t1\t1\n";

Analysis Analyzed(const std::string& coefficient, TEnzymTreeType method) {
  Analysis a;
  a.SourceName = "oaks.txt";
  a.GetFromText(kTable);
  for (const auto& item : Analysis::CoefficientItems())
    if (item[0] == coefficient[0]) a.ChooseCoefficient(item);
  a.ChooseMethod(method);
  return a;
}

std::vector<std::string> Lines(const std::string& s) {
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

TEST(Exports, PhylipHoldsDistancesUnderEitherMethod) {
  for (const TEnzymTreeType method : {ettUPGMA, ettNbJoin}) {
    Analysis a = Analyzed("A", method);
    const auto lines = Lines(MatrixPhylip(a));
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
        const double cell = ReadMatrixCell(a.Matrix.Cell(j, i), '.');
        EXPECT_DOUBLE_EQ(v, method == ettUPGMA ? 1.0 - cell : cell) << i << "," << j;
      }
    }
    // The settings follow the matrix as comments.
    EXPECT_EQ(lines[5], std::string("# Ramovia ") + RAMOVIA_VERSION);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "# Input: oaks.txt"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "# Coefficient: A - Nei and Li / Dice"),
              lines.end());
  }
}

TEST(Exports, TsvIsTheGridWithEditsAfterTheSettings) {
  Analysis a = Analyzed("B", ettNbJoin);
  a.Matrix.SetCell(2, 1, "0.5");
  const auto lines = Lines(MatrixTsv(a));
  std::size_t first = 0;
  while (first < lines.size() && lines[first].rfind("# ", 0) == 0) ++first;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "# Matrix: edited by hand"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "# Method: Neighbor-joining"), lines.end());
  ASSERT_EQ(lines.size(), first + 5);
  EXPECT_EQ(lines[first], "\tQ robur\tQ.petraea\tQ.cerris\tQ:ilex");
  for (int r = 0; r < 5; ++r) {
    std::string expected;
    for (int c = 0; c < 5; ++c) expected += (c ? "\t" : "") + a.Matrix.Cell(c, r);
    EXPECT_EQ(lines[first + static_cast<std::size_t>(r)], expected);
  }
  EXPECT_NE(lines[first + 1].find("\t0.5\t"), std::string::npos);
}

TEST(Exports, UnreadableEditedCellStopsThePhylipExportWithItsPlace) {
  Analysis a = Analyzed("A", ettNbJoin);
  a.Matrix.SetCell(3, 2, "x1");
  try {
    MatrixPhylip(a);
    FAIL() << "no error";
  } catch (const ExportError& e) {
    EXPECT_NE(std::string(e.what()).find("row 2, column 3"), std::string::npos) << e.what();
  }
}

TEST(Exports, NothingToExportIsAClearError) {
  Analysis a;
  a.GetFromText(kTable);
  EXPECT_THROW(ReferenceTreeNewick(a), ExportError);
  EXPECT_THROW(ReferenceTreeSvg(a), ExportError);
  EXPECT_THROW(MatrixTsv(a), ExportError);
  EXPECT_THROW(ListedTreeNewick(a, 0), ExportError);
  EXPECT_TRUE(ReferenceTreeDrawing(a).lines.empty());
  EXPECT_NE(ReportText(a).find("Resampling: none"), std::string::npos);
}

TEST(Exports, ARunAddsSupportAndItsSettingsUntilTheNextReferenceTree) {
  Analysis a = Analyzed("A", ettNbJoin);
  EXPECT_FALSE(ReferenceTreeHasSupport(a));
  const std::string before = ReferenceTreeNewick(a);
  EXPECT_EQ(before.find(")100"), std::string::npos);
  EXPECT_NE(before.find("'Q robur':"), std::string::npos);
  EXPECT_NE(before.find("'Q:ilex':"), std::string::npos);

  SetRandomSeed(4242);
  a.ChooseResamplingMethod(0);
  a.RepeatCount = 30;
  a.Run();
  ASSERT_TRUE(ReferenceTreeHasSupport(a));
  const auto prov = ProvenanceLines(a);
  EXPECT_NE(std::find(prov.begin(), prov.end(), "Resampling: Bootstrapping"), prov.end());
  EXPECT_NE(std::find(prov.begin(), prov.end(), "Replicates: 30 requested, 30 trees built"),
            prov.end());
  EXPECT_NE(std::find(prov.begin(), prov.end(), "Seed at the start of the run: 4242"), prov.end());

  // Every inner node of the reference tree carries its support, read back as labels.
  const auto read = ReadNewick(ReferenceTreeNewick(a));
  std::function<void(const TKVTreeNodeItem&, const testing::NewickNode&)> check =
      [&](const TKVTreeNodeItem& t, const testing::NewickNode& r) {
        if (const TKVTreeNode* n = AsNode(&t)) {
          EXPECT_EQ(r.label, std::to_string(n->Support));
          check(*n->Left, *r.children.at(0));
          check(*n->Right, *r.children.at(1));
        }
      };
  check(*a.Enzym->RefTree, *read);

  const std::string report = ReportText(a);
  for (const auto& l : a.MemoLines) EXPECT_NE(report.find(l), std::string::npos) << l;
  for (const auto& l : a.TreeLines) EXPECT_NE(report.find(l), std::string::npos) << l;
  EXPECT_NE(report.find("Reference tree with support (Newick)\n" + ReferenceTreeNewick(a)),
            std::string::npos);
  const std::string svg = ReferenceTreeSvg(a);
  EXPECT_NE(svg.find("Seed at the start of the run: 4242"), std::string::npos);
  EXPECT_NE(svg.find("class=\"support\""), std::string::npos);

  // A listed tree: topology only.
  const std::string listed = ListedTreeNewick(a, 0);
  EXPECT_EQ(listed.find(':', listed.find("'Q:ilex'") + 8), std::string::npos) << listed;

  // A new reference tree has no run behind it.
  a.ChooseMethod(ettUPGMA);
  EXPECT_FALSE(ReferenceTreeHasSupport(a));
  const auto after = ProvenanceLines(a);
  EXPECT_NE(std::find(after.begin(), after.end(), "Resampling: none"), after.end());
}

TEST(Exports, FormatsByExtension) {
  EXPECT_EQ(TreeFormatForPath("a/b.NWK"), TreeFileFormat::Newick);
  EXPECT_EQ(TreeFormatForPath("b.tre"), TreeFileFormat::Newick);
  EXPECT_EQ(TreeFormatForPath("b.svg"), TreeFileFormat::Svg);
  EXPECT_EQ(TreeFormatForPath("b.pdf"), TreeFileFormat::Pdf);
  EXPECT_EQ(TreeFormatForPath("dir.svg/b"), std::nullopt);
  EXPECT_EQ(MatrixFormatForPath("m.tsv"), MatrixFileFormat::Tsv);
  EXPECT_EQ(MatrixFormatForPath("m.phy"), MatrixFileFormat::Phylip);
  EXPECT_EQ(MatrixFormatForPath("m.csv"), std::nullopt);
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

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(AtomicWrite, WritesAndReplacesLeavingNoTemporary) {
  TempDir d;
  const fs::path file = d.path / "tree.nwk";
  WriteFileAtomically(file.string(), "one;\n");
  EXPECT_EQ(Slurp(file), "one;\n");
  WriteFileAtomically(file.string(), std::string(100000, 'x'));
  EXPECT_EQ(Slurp(file), std::string(100000, 'x'));
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, ReadOnlyFolderFailsClearlyAndLeavesNothing) {
  TempDir d;
  const fs::path kept = d.path / "kept.nwk";
  WriteFileAtomically(kept.string(), "old;\n");
  ::chmod(d.path.c_str(), 0555);
  testing::WithoutDacOverride asUser;
  if (testing::CanCreateIn(d.path.string())) GTEST_SKIP() << "this process can write anywhere";
  for (const fs::path& target : {d.path / "new.nwk", kept}) {
    try {
      WriteFileAtomically(target.string(), "new;\n");
      FAIL() << "no error for " << target;
    } catch (const ExportError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write " + target.string() + ": Permission denied");
    }
  }
  EXPECT_EQ(Slurp(kept), "old;\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, MissingFolderAndFolderAsTarget) {
  TempDir d;
  EXPECT_THROW(WriteFileAtomically((d.path / "no" / "x.tsv").string(), "x"), ExportError);
  fs::create_directory(d.path / "sub");
  EXPECT_THROW(WriteFileAtomically((d.path / "sub").string(), "x"), ExportError);
  EXPECT_THROW(WriteFileAtomically("", "x"), ExportError);
  // Only the folder made above is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace ramovia
