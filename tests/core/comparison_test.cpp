// Principal coordinates, the cophenetic correlation, the Mantel test, tree distances and the
// files they read: results with known answers, and the faults each refuses.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/comparison_files.h"
#include "analysis/session_comparisons.h"
#include "core/sample_tables.h"

namespace ramovia {
namespace {

DistanceTable table(const std::vector<std::vector<double>>& points) {
  DistanceTable d;
  const std::size_t n = points.size();
  for (std::size_t i = 0; i < n; ++i) d.names.push_back("t" + std::to_string(i + 1));
  d.cells.resize(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double s = 0;
      for (std::size_t k = 0; k < points[i].size(); ++k)
        s += (points[i][k] - points[j][k]) * (points[i][k] - points[j][k]);
      d.cells[i * n + j] = std::sqrt(s);
    }
  return d;
}

std::string messageOf(auto f) {
  try {
    f();
  } catch (const ComparisonError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Pcoa, EuclideanPointsComeBackAtTheirDistances) {
  const DistanceTable d = table({{0, 0}, {4, 0}, {4, 3}, {1, 5}, {-2, 2}, {6, 6}});
  const PcoaResult r = principalCoordinates(d, PcoaCorrection::None, 0);
  ASSERT_EQ(r.axes, 2);
  EXPECT_EQ(r.negativeCount, 0);
  EXPECT_NEAR(r.explained[0] + r.explained[1], 1.0, 1e-12);
  EXPECT_GE(r.eigenvalues[0], r.eigenvalues[1]);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      const auto& a = r.coordinates[static_cast<std::size_t>(i)];
      const auto& b = r.coordinates[static_cast<std::size_t>(j)];
      EXPECT_NEAR(std::hypot(a[0] - b[0], a[1] - b[1]), d(i, j), 1e-12);
    }
  // The sign rule: the largest coordinate of each axis is positive.
  for (int k = 0; k < 2; ++k) {
    double top = 0;
    for (const auto& c : r.coordinates)
      if (std::fabs(c[static_cast<std::size_t>(k)]) > std::fabs(top)) top = c[static_cast<std::size_t>(k)];
    EXPECT_GT(top, 0);
  }
  EXPECT_EQ(principalCoordinates(d, PcoaCorrection::None, 1).axes, 1);
}

TEST(Pcoa, CorrectionsRemoveNegativeEigenvalues) {
  // A violation of the triangle inequality makes the matrix non-Euclidean.
  DistanceTable d = table({{0}, {1}, {2}, {3}});
  d.cells[0 * 4 + 3] = d.cells[3 * 4 + 0] = 9;
  EXPECT_GT(principalCoordinates(d, PcoaCorrection::None).negativeCount, 0);
  for (const auto c : {PcoaCorrection::Lingoes, PcoaCorrection::Cailliez}) {
    const PcoaResult r = principalCoordinates(d, c);
    EXPECT_GT(r.constant, 0);
    EXPECT_EQ(r.negativeCount, 0) << correctionKeyword(c);
  }
}

TEST(Pcoa, RefusesWhatItCannotPlace) {
  EXPECT_EQ(messageOf([] { principalCoordinates(table({{0}, {1}}), PcoaCorrection::None); }),
            "Principal coordinates need three taxa or more; the matrix has 2.");
  DistanceTable d = table({{0}, {1}, {2}});
  d.cells[1] = NAN;
  EXPECT_EQ(messageOf([&] { principalCoordinates(d, PcoaCorrection::None); }),
            "Principal coordinates: row 1, column 2 (t1 and t2) is not a finite number.");
  d.cells[1] = 5;
  EXPECT_NE(messageOf([&] { principalCoordinates(d, PcoaCorrection::None); }).find("symmetric"),
            std::string::npos);
}

TEST(Comparison, CopheneticCorrelationOfAnUltrametricMatrixIsOne) {
  // ((0,1),(2,3)) with heights 1 and 3: the matrix the tree stands for exactly.
  Tree t;
  const int32_t a = t.addInner(t.addLeaf(0, 1), t.addLeaf(1, 1), 2);
  const int32_t b = t.addInner(t.addLeaf(2, 1), t.addLeaf(3, 1), 2);
  t.addInner(a, b);
  DistanceTable d = table({{0}, {0}, {0}, {0}});
  const double cells[4][4] = {{0, 2, 6, 6}, {2, 0, 6, 6}, {6, 6, 0, 2}, {6, 6, 2, 0}};
  // Rows in another order than the taxa, as after a run.
  const std::vector<int32_t> rows = {3, 1, 0, 2};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) d.cells[static_cast<std::size_t>(i * 4 + j)] = cells[rows[i]][rows[j]];
  const Correlation c = copheneticCorrelation(t, d, rows);
  EXPECT_NEAR(c.r, 1.0, 1e-15);
  EXPECT_EQ(c.pairs, 6);
  d.cells[1] = d.cells[4] = 5;  // 3 and 1 drawn apart
  EXPECT_LT(copheneticCorrelation(t, d, rows).r, 0.99);
  for (double& v : d.cells) v = v > 0 ? 1 : 0;
  EXPECT_NE(messageOf([&] { copheneticCorrelation(t, d, rows); }).find("all distances are equal"),
            std::string::npos);
}

TEST(Comparison, MantelIsTheSameForAnyThreadCount) {
  std::vector<std::vector<double>> points;
  for (int i = 0; i < 30; ++i) points.push_back({std::sin(i * 1.3) * 5, std::cos(i * 0.7) * 3});
  const DistanceTable x = table(points);
  DistanceTable y = x;
  for (std::size_t k = 0; k < y.cells.size(); ++k) y.cells[k] = std::sqrt(y.cells[k]);
  const MantelResult one = mantelTest(x, y, 499, 7, 1);
  for (const int threads : {2, 3, 8}) {
    const MantelResult m = mantelTest(x, y, 499, 7, threads);
    EXPECT_EQ(m.r, one.r);
    EXPECT_EQ(m.p, one.p);
  }
  EXPECT_GT(one.r, 0.9);
  EXPECT_DOUBLE_EQ(one.p, 1.0 / 500);
  // Unrelated matrices: a p-value well above the smallest one.
  DistanceTable z = x;
  for (int i = 0; i < 30; ++i)
    for (int j = 0; j < 30; ++j)
      z.cells[static_cast<std::size_t>(i * 30 + j)] = i == j ? 0 : std::fmod((i + 1) * (j + 1) * 0.618, 1.0);
  const MantelResult u = mantelTest(x, z, 199, 7, 2);
  EXPECT_GT(u.p, 0.01);
  EXPECT_EQ(u.permutations, 199);
  EXPECT_EQ(u.pairs, 435);
}

TEST(Comparison, SecondMatrixMustHoldTheSameTaxa) {
  const DistanceTable x = table({{0}, {1}, {3}});
  DistanceTable y = x;
  y.names = {"t3", "t1", "t2"};
  const DistanceTable aligned = alignedTo(x, y, "other.tsv");
  EXPECT_EQ(aligned(0, 1), y(1, 2));
  y.names = {"t3", "t1", "t9"};
  EXPECT_EQ(messageOf([&] { alignedTo(x, y, "other.tsv"); }),
            "other.tsv does not hold the same taxa as the data: missing t2; not in the data t9.");
  EXPECT_EQ(messageOf([&] { mantelTest(table({{0}, {1}}), table({{0}, {1}}), 9, 0); }),
            "The Mantel test needs three taxa or more; there are 2.");
}

FlatTree newick(const std::string& text, int n) {
  std::vector<Taxon> taxa(static_cast<std::size_t>(n));
  for (int t = 0; t < n; ++t) taxa[static_cast<std::size_t>(t)].name = Name(std::string(1, char('A' + t)));
  return readNewickTree(text, taxa, "t.nwk");
}

TEST(Comparison, RobinsonFouldsRootedAndUnrooted) {
  const FlatTree a = newick("((A,B),(C,(D,E)));", 5);
  const FlatTree b = newick("(((A,B),C),(D,E));", 5);
  const FlatTree c = newick("((A,C),(B,(D,E)));", 5);
  // Unrooted the first two are one tree; rooted they differ by one cluster each way.
  EXPECT_EQ(robinsonFoulds(treeGroups(a, 5, false), treeGroups(b, 5, false), false).rf, 0);
  const TreeDistance rooted = robinsonFoulds(treeGroups(a, 5, true), treeGroups(b, 5, true), true);
  EXPECT_EQ(rooted.rf, 2);
  EXPECT_DOUBLE_EQ(rooted.rfNormalised, 2.0 / 6);
  const TreeDistance u = robinsonFoulds(treeGroups(a, 5, false), treeGroups(c, 5, false), false);
  EXPECT_EQ(u.rf, 2);
  EXPECT_DOUBLE_EQ(u.rfNormalised, 0.5);
  // A multifurcation has fewer groups.
  const FlatTree star = newick("(A,B,C,'D',E:0.5)[comment];", 5);
  EXPECT_EQ(robinsonFoulds(treeGroups(a, 5, false), treeGroups(star, 5, false), false).rf, 2);
}

TEST(Comparison, FilesWithFaultsAreNamedWhereTheyAreWrong) {
  EXPECT_EQ(messageOf([] { newick("((A,B),(C,X));", 4); }),
            "t.nwk: the tree's leaves are not the data's taxa: not in the data X; missing D.");
  EXPECT_EQ(messageOf([] { newick("((A,B),(C,D))", 4); }),
            "t.nwk, line 1, column 14: the tree does not end with ';'.");
  EXPECT_EQ(messageOf([] { newick("((A,B),(C,D);", 4); }),
            "t.nwk, line 1, column 13: the tree ends before every '(' is closed.");
  EXPECT_NE(messageOf([] { newick("(A,B);(C,D);", 4); }).find("more than one tree"), std::string::npos);

  const DistanceTable lower = readDistanceFile("# km\n3\na\nb 2\nc 3 4\n", '.', "g.phy");
  EXPECT_EQ(lower.names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(lower(0, 2), 3);
  EXPECT_EQ(lower(2, 1), 4);
  const DistanceTable tsv = readDistanceFile("\ta\tb\tc\r\na\t0\t1,5\t2\nb\t1,5\t0\t3\nc\t2\t3\t0\n", ',', "g.tsv");
  EXPECT_EQ(tsv(1, 0), 1.5);
  EXPECT_EQ(messageOf([] { readDistanceFile("\ta\tb\tc\na\t0\t1\t2\nb\t1\t0\tx\nc\t2\t3\t0\n", '.', "g.tsv"); }),
            "g.tsv, line 3: column 4 (c): 'x' is not a number.");
  EXPECT_EQ(messageOf([] { readDistanceFile("\ta\tb\tc\na\t0\t1\t2\nb\t1\t0\n", '.', "g.tsv"); }),
            "g.tsv: 3 taxa announced, 2 rows found.");
  EXPECT_EQ(messageOf([] { readDistanceFile("3\na 0 1 2\nb 1 0 3\nc 2 3\n", '.', "g.phy"); }),
            "g.phy, line 4: 3 values expected, 2 found.");
}

TEST(Comparison, SessionStatisticsUseDistances) {
  Session s(0);
  s.readTable(testing::sevenTaxaTable(), '.');
  s.chooseCoefficient(Coefficient::Jaccard);
  s.chooseMethod(TreeMethod::Upgma);
  const Correlation c = copheneticOf(s);
  EXPECT_GT(c.r, 0.5);  // 1 - S against path lengths: a positive correlation
  EXPECT_EQ(c.pairs, 21);
  const TreeDistance same = treeDistanceTo(s, flatten(*s.referenceTree()));
  EXPECT_TRUE(same.rooted);
  EXPECT_EQ(same.rf, 0);
  EXPECT_EQ(same.groupsA, 5);
}

}  // namespace
}  // namespace ramovia
