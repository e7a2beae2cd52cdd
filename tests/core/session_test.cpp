// A session from the table to a run: the matrix by the route of the coefficient, the reference
// tree, an edited matrix, runs and the state they leave for the next one.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "analysis/session.h"
#include "core/sample_tables.h"
#include "input/table_text.h"
#include "model/memory.h"
#include "output/grids.h"
#include "output/statistics.h"
#include "output/tree_text.h"

namespace ramovia {
namespace {

using testing::kDiceTable;
const std::string kSevenTaxa = testing::sevenTaxaTable();

std::vector<std::string> order(const Session& s) {
  std::vector<std::string> out;
  for (const int32_t t : s.taxonOrder()) out.push_back(s.data().taxa[static_cast<std::size_t>(t)].name.str());
  return out;
}

std::vector<std::string> gridNames(const Session& s) {
  std::vector<std::string> out;
  for (const int32_t t : s.matrix()->taxa) out.push_back(s.data().taxa[static_cast<std::size_t>(t)].name.str());
  return out;
}

ResamplingPlan plan(Resampling method, int32_t replicates, int32_t taxa = 0) {
  ResamplingPlan p;
  p.method = method;
  p.replicates = replicates;
  p.taxaLeftOut = taxa;
  p.different = rulesOf(method).different.value_or(false);
  return p;
}

std::string treeText(const Session& s, const Tree& t) { return plainText(t, s.data().taxa); }

TEST(MatrixRun, NeedsBothChoicesInEitherOrder) {
  for (bool coefficientFirst : {true, false}) {
    Session s;
    s.readTable(kDiceTable, '.');
    if (coefficientFirst) {
      s.chooseCoefficient(Coefficient::Dice);
      EXPECT_EQ(s.matrix(), nullptr);
      s.chooseMethod(TreeMethod::Upgma);
    } else {
      s.chooseMethod(TreeMethod::Upgma);
      EXPECT_FALSE(s.canResample());
      s.chooseCoefficient(Coefficient::Dice);
    }
    EXPECT_TRUE(s.canResample());
    MatrixGrid grid;
    grid.fill(*s.matrix(), s.resultsData(), '.');
    EXPECT_EQ(grid.copyText(),
              "\ta\tb\tc\t\r\na\t\t0.50000\t0.25000\t\r\nb\t0.50000\t\t1.00000\t\r\n"
              "c\t0.25000\t1.00000\t\t\r\n");
    EXPECT_EQ(referenceTreeText(*s.referenceTree(), s.method(), s.data().taxa), "((b,c),a);");
  }
}

TEST(MatrixRun, CopyBeforeAnyComputationIsFiveEmptyRows) {
  std::string expected;
  for (int r = 0; r < 5; ++r) expected += "\t\t\t\t\t\r\n";
  EXPECT_EQ(MatrixGrid().copyText(), expected);
  EXPECT_THROW(MatrixGrid().value(1, 2), std::exception);
}

// The grid shares the session's matrix: a later computation leaves what it shows alone.
TEST(MatrixRun, TheGridKeepsItsMatrixWhenTheSessionComputesAnother) {
  Session s;
  s.readTable(kDiceTable, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::Upgma);
  MatrixGrid grid;
  grid.fill(s.sharedMatrix(), s.resultsData(), '.');
  const std::string shown = grid.copyText();
  s.chooseCoefficient(Coefficient::Jaccard);
  EXPECT_EQ(grid.copyText(), shown);
  EXPECT_EQ(grid.value(2, 1), 0.5);
}

TEST(MatrixRun, SwitchingToNeighborJoiningStoresOneMinusS) {
  Session s;
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::Ochiai);
  s.chooseMethod(TreeMethod::Upgma);
  std::vector<double> upgma;
  for (int i = 1; i <= 7; ++i)
    for (int j = i + 1; j <= 7; ++j) upgma.push_back(s.matrix()->values(i, j));
  s.chooseMethod(TreeMethod::NeighborJoining);
  std::size_t k = 0;
  for (int i = 1; i <= 7; ++i)
    for (int j = i + 1; j <= 7; ++j) EXPECT_EQ(s.matrix()->values(i, j), 1.0 - upgma[k++]);
  EXPECT_EQ(referenceTreeText(*s.referenceTree(), s.method(), s.data().taxa),
            lengthsText(*s.referenceTree(), s.data().taxa, {}) + ";");
}

TEST(MatrixRun, EditedCellIsReadIntoItsOwnHalf) {
  Session s;
  s.readTable(kDiceTable, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::Upgma);
  MatrixGrid grid;
  grid.fill(*s.matrix(), s.resultsData(), '.');
  grid.setCell(2, 1, "0.9");
  const SquareMatrix values = grid.readBack(s.editedMatrixSize());
  EXPECT_EQ(values(2, 1), 0.9);
  EXPECT_EQ(values(1, 2), 0.5);
  s.buildFromMatrix(values);
  EXPECT_EQ(s.referenceTree(), nullptr);
  ASSERT_NE(s.editedTree(), nullptr);
  // Runs still count against the tree the edit replaced.
  ASSERT_NE(s.comparedTree(), nullptr);
  EXPECT_EQ(treeText(s, *s.comparedTree()), "((b,c),a)");
  grid.setCell(3, 1, "x");
  try {
    grid.readBack(s.editedMatrixSize());
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
  }
}

TEST(MatrixRun, EditAfterResamplingKeepsTheGridsNames) {
  Session s;
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::NeighborJoining);
  MatrixGrid grid;
  grid.fill(*s.matrix(), s.resultsData(), '.');
  s.buildFromMatrix(grid.readBack(s.editedMatrixSize()));
  const std::string fromGrid = lengthsText(*s.editedTree(), s.data().taxa, {});
  s.chooseMethod(TreeMethod::NeighborJoining);
  grid.fill(*s.matrix(), s.resultsData(), '.');
  s.resample(plan(Resampling::Rearrangement, 5));
  EXPECT_NE(order(s), gridNames(s));
  // The same grid gives the same tree, whatever the run did to the order of the taxa.
  s.restoreMatrixOrder();
  EXPECT_EQ(order(s), gridNames(s));
  s.buildFromMatrix(grid.readBack(s.editedMatrixSize()));
  ASSERT_NE(s.editedTree(), nullptr);
  EXPECT_EQ(lengthsText(*s.editedTree(), s.data().taxa, {}), fromGrid);
}

TEST(Resampling, StatisticsOfARearrangementRun) {
  Session s;
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::Upgma);
  const ResamplingResult& r = s.resample(plan(Resampling::Rearrangement, 30));
  // Without ties only the order of the taxa changes: every replicate gives the reference tree.
  const std::string key = treeText(s, *s.referenceTree());
  EXPECT_EQ(treeListLines(r, s.data().taxa), std::vector<std::string>{"30: " + key});
  EXPECT_EQ(statisticsLines(r, s.comparedTree(), s.data().taxa),
            (std::vector<std::string>{"Different tree count : 1", "Ref. tree in list : 30",
                                      "Ref. tree : ", key, "Most freq. tree : 30", key}));
  for (std::size_t i = 0; i < r.support.size(); ++i) {
    if (!(*s.referenceTree())[static_cast<int32_t>(i)].isLeaf()) {
      EXPECT_EQ(r.support[i], 100);
    }
  }
  EXPECT_NE(referenceTreeText(*s.referenceTree(), s.method(), s.data().taxa, r.support)
                .find("'100'"),
            std::string::npos);
}

TEST(Resampling, FirstShuffleWithTaxaLeftOutHasBoundZero) {
  Session s(12345);
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::NeighborJoining);
  std::vector<std::string> expected = order(s);
  std::rotate(expected.begin(), expected.begin() + 1, expected.end());
  s.resample(plan(Resampling::TaxonJackknife, 1, 2));
  EXPECT_EQ(order(s), expected);
  // With the seed's next draw the full bound would have chosen another taxon.
  Random r(12345);
  EXPECT_NE(r.index(7), 0u);
}

TEST(Resampling, TwoRunsContinueTheGeneratorAndRepeatFromTheStart) {
  auto session = [] {
    Session s;
    s.readTable(kSevenTaxa, '.');
    s.chooseCoefficient(Coefficient::Jaccard);
    s.chooseMethod(TreeMethod::NeighborJoining);
    auto first = treeListLines(s.resample(plan(Resampling::Bootstrap, 40)), s.data().taxa);
    const uint32_t seed = s.seed();
    auto second = treeListLines(s.resample(plan(Resampling::Bootstrap, 40)), s.data().taxa);
    EXPECT_NE(s.seed(), seed);
    return std::make_pair(first, second);
  };
  auto one = session();
  auto two = session();
  EXPECT_EQ(one, two);
  EXPECT_NE(one.first, one.second);
}

TEST(Resampling, ImpossibleSettingsAreRefusedBeforeAnythingChanges) {
  Session s;
  s.readTable(kDiceTable, '.');
  EXPECT_THROW(s.resample(plan(Resampling::Bootstrap, 3)), std::runtime_error);
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::Upgma);
  const uint32_t seed = s.seed();
  try {
    s.resample(plan(Resampling::TaxonJackknife, 3, 3));
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Cannot leave out 3 taxa: the table has 3 taxa");
  }
  EXPECT_THROW(s.resample(plan(Resampling::Bootstrap, 10001)), std::runtime_error);
  EXPECT_EQ(s.seed(), seed);
  // One taxon per replicate still gives a tree.
  EXPECT_EQ(s.resample(plan(Resampling::TaxonJackknife, 3, 2)).trees.total(), 3);
  // A table read since: the matrix belongs to the earlier data, and runs wait for a new one.
  s.readTable(kDiceTable, '.');
  EXPECT_FALSE(s.resultsAreCurrent());
  EXPECT_THROW(s.resample(plan(Resampling::Bootstrap, 3)), std::runtime_error);
}

TEST(Resampling, ReadingAgainStartsTheTaxaAfresh) {
  Session s;
  s.readTable("\tp\tq\tr\ts\nL1\n1\t0.2\t0.5\t0.1\t0.6\n2\t0.8\t0.5\t0.9\t0.4\n", '.');
  s.chooseCoefficient(Coefficient::Rogers);
  s.chooseMethod(TreeMethod::NeighborJoining);
  s.resample(plan(Resampling::TaxonJackknife, 5, 2));
  s.readTable("\tX\tT1\r\nf\t1\t1\r\n", '.');
  EXPECT_EQ(order(s), (std::vector<std::string>{"X", "T1"}));
  EXPECT_EQ(s.data().markerCount(), 1);
  EXPECT_EQ(s.data().blocks.size(), 1u);
}

TEST(Resampling, NucleotideDivergenceLeavesOutTheSameTaxaInEveryBlock) {
  Session s;
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::NucleotideDivergence);
  s.chooseMethod(TreeMethod::NeighborJoining);
  const ResamplingResult& r = s.resample(plan(Resampling::TaxonJackknife, 1, 1));
  // All fragments once: the replicate's matrix is the full one without the taxon left out.
  const Tree& tree = r.trees[0].tree;
  const std::vector<int32_t> kept = tree.leafTaxa(tree.root());
  int32_t left = -1;
  for (int32_t t = 0; t < 7; ++t)
    if (std::find(kept.begin(), kept.end(), t) == kept.end()) left = t;
  ASSERT_GE(left, 0);
  // The same table without the column of the taxon left out.
  std::string reduced;
  std::size_t start = 0;
  while (start < kSevenTaxa.size()) {
    const std::size_t end = kSevenTaxa.find('\n', start);
    std::string line = kSevenTaxa.substr(start, end - start);
    std::vector<std::string> cells;
    for (std::size_t s0 = 0;;) {
      const std::size_t t = line.find('\t', s0);
      cells.push_back(line.substr(s0, t == std::string::npos ? std::string::npos : t - s0));
      if (t == std::string::npos) break;
      s0 = t + 1;
    }
    if (cells.size() > 2) cells.erase(cells.begin() + left + 1);
    std::string joined;
    for (std::size_t k = 0; k < cells.size(); ++k) joined += (k ? "\t" : "") + cells[k];
    reduced += joined + "\n";
    start = end + 1;
  }
  Session b;
  b.readTable(reduced, '.');
  b.chooseCoefficient(Coefficient::NucleotideDivergence);
  b.chooseMethod(TreeMethod::NeighborJoining);
  EXPECT_EQ(treeText(s, tree), treeText(b, *b.referenceTree()));
}

struct CancelAt : ProgressSink {
  int at = 0, position = 0, messages = 0;
  void setPosition(int p) override { position = p; }
  bool processMessages() override {
    ++messages;
    return at > 0 && position == at;
  }
};

TEST(Resampling, FrequenciesCheckForACancelAfterTheNextTree) {
  Session s;
  s.readTable("\tp\tq\tr\ts\nL1\n1\t0.2\t0.5\t0.1\t0.6\n2\t0.8\t0.5\t0.9\t0.4\n"
              "L2\n1\t0.3\t0.3\t0.7\t0.1\n2\t0.7\t0.7\t0.3\t0.9\n",
              '.');
  s.chooseCoefficient(Coefficient::NeiMinimal);
  s.chooseMethod(TreeMethod::Upgma);
  CancelAt cancel;
  cancel.at = 3;
  const ResamplingResult& r = s.resample(plan(Resampling::Bootstrap, 20), &cancel);
  EXPECT_EQ(r.trees.total(), 4);
  EXPECT_EQ(r.built, 4);
  EXPECT_TRUE(r.cancelled);
}

TEST(Resampling, PresenceDataLetMessagesRun200TimesARun) {
  Session s;
  s.readTable(kSevenTaxa, '.');
  s.chooseCoefficient(Coefficient::Dice);
  s.chooseMethod(TreeMethod::Upgma);
  CancelAt counting;
  s.resample(plan(Resampling::Bootstrap, 1000), &counting);
  EXPECT_EQ(counting.messages, 200);
}

TEST(Memory, TooLargeATableIsRefusedAndTheDataStay) {
  Session s;
  s.readTable(kDiceTable, '.');
  std::string big = "\tx\ty\n";
  for (int i = 0; i < 20000; ++i) big += "f\t1\t0\n";
  setMemoryLimit(200 * 1024);
  try {
    s.readTable(big, '.');
    setMemoryLimit(0);
    FAIL();
  } catch (const MemoryError& e) {
    setMemoryLimit(0);
    EXPECT_NE(std::string(e.what()).find("Reading this table needs about"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(s.data().taxonCount(), 3);
  EXPECT_EQ(s.data().blocks.size(), 2u);
  // A matrix too large for what is left is refused before it is computed.
  setMemoryLimit(100);
  s.chooseCoefficient(Coefficient::Dice);
  EXPECT_THROW(s.chooseMethod(TreeMethod::Upgma), MemoryError);
  setMemoryLimit(0);
  s.chooseMethod(TreeMethod::Upgma);
  EXPECT_TRUE(s.canResample());
  EXPECT_EQ(formatBytes(1536), "1.5 KB");
  EXPECT_EQ(formatBytes(3ull << 30), "3.0 GB");
}

TEST(SessionMemory, AStreamTooLargeIsRefusedAfterAPartAndTheProcessLimitCounts) {
  // 64 MB of cells: refused within the first pieces under a 10 MB limit.
  std::string cells;
  for (int i = 0; i < (32 << 20); ++i) cells += "1\t";
  std::istringstream in(cells);
  setMemoryLimit(10 << 20);
  EXPECT_THROW(readTableText(in, cells.size()), MemoryError);
  setMemoryLimit(0);
  EXPECT_LT(in.tellg(), static_cast<std::streamoff>(16 << 20));
  std::istringstream small("\ta\tb\n1\t1\t0\n");
  EXPECT_EQ(readTableText(small), "\ta\tb\n1\t1\t0\n");
  // The room under the address-space limit bounds what is available.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  std::ifstream status("/proc/self/status");
  std::string line;
  uint64_t used = 0;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) used = std::stoull(line.substr(7)) * 1024;
  struct rlimit tight = saved;
  tight.rlim_cur = used + (uint64_t{300} << 20);
  if (saved.rlim_max != RLIM_INFINITY && tight.rlim_cur > saved.rlim_max) GTEST_SKIP();
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  const uint64_t available = availableMemory();
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_LE(available, uint64_t{300} << 20);
  EXPECT_GT(available, uint64_t{200} << 20);
}

}  // namespace
}  // namespace ramovia
