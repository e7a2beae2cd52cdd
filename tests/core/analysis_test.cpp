// The analysis window's logic without widgets: runs, grids, statistics and the order of draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "model/memory.h"
#include "resampling/analysis.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

const char* const kDiceTable =
    "\ta\tb\tc\nE1\n1\t1\t1\t1\n2\t0\t1\t1\n3\t1\t0\t0\n4\t1\t0\t0\n5\t1\t0\t0\n6\t1\t0\t0\n"
    "7\t1\t0\t0\nE2\n8\t1\t1\t?\n9\t1\t1\t?\n";

// Seven taxa, two enzymes with site lengths, enough fragments that no two values tie.
std::string SevenTaxaTable() {
  std::mt19937 rng(2024);
  std::string t = "\tt1\tt2\tt3\tt4\tt5\tt6\tt7\n";
  for (const char* header : {"E1\t6\n", "E2\t4\n"}) {
    t += header;
    for (int f = 0; f < 120; ++f) {
      t += "f";
      for (int k = 0; k < 7; ++k) t += (rng() >> 31) ? "\t1" : "\t0";
      t += "\n";
    }
  }
  return t;
}
const std::string kSevenTaxa = SevenTaxaTable();

std::vector<std::string> Names(const TEnzym& e) {
  std::vector<std::string> out;
  for (const auto& d : e.Druhy) out.push_back(d->Name.str());
  return out;
}

struct Counting : ProgressSink {
  int messages = 0;
  void ProcessMessages() override { ++messages; }
};

TEST(MatrixRun, NeedsBothChoicesInEitherOrder) {
  for (bool coefficientFirst : {true, false}) {
    Analysis a;
    a.GetFromText(kDiceTable);
    if (coefficientFirst) {
      a.ChooseCoefficient("A - Nei and Li / Dice");
      EXPECT_FALSE(a.ResamplingVisible);
      EXPECT_EQ(a.Matrix.RowCount(), 5);
      a.ChooseMethod(ettUPGMA);
    } else {
      a.ChooseMethod(ettUPGMA);
      EXPECT_FALSE(a.ResamplingVisible);
      a.ChooseCoefficient("A - Nei and Li / Dice");
    }
    EXPECT_TRUE(a.ResamplingVisible);
    EXPECT_EQ(a.Matrix.CopyText(),
              "\ta\tb\tc\t\r\na\t\t0.50000\t0.25000\t\r\nb\t0.50000\t\t1.00000\t\r\n"
              "c\t0.25000\t1.00000\t\t\r\n");
    EXPECT_EQ(a.RefTreeLines, std::vector<std::string>{"((b,c),a);"});
    ASSERT_EQ(a.RefTreeView.size(), 5u);
    EXPECT_EQ(a.RefTreeView[0], (TreeCaption{0, "-\xAC"}));
    EXPECT_EQ(a.RefTreeView[2], (TreeCaption{2, "b"}));
    EXPECT_EQ(a.RefTreeView[4], (TreeCaption{1, "a"}));
  }
}

TEST(MatrixRun, CopyBeforeAnyComputationIsFiveEmptyRows) {
  Analysis a;
  std::string expected;
  for (int r = 0; r < 5; ++r) expected += "\t\t\t\t\t\r\n";
  EXPECT_EQ(a.Matrix.CopyText(), expected);
}

TEST(MatrixRun, SwitchingToNeighborJoiningStoresOneMinusS) {
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("J - Ochiai");
  a.ChooseMethod(ettUPGMA);
  std::vector<double> upgma;
  for (int i = 1; i <= 7; ++i)
    for (int j = i + 1; j <= 7; ++j) upgma.push_back(a.Enzym->GetDistance(i, j));
  a.ChooseMethod(ettNbJoin);
  std::size_t k = 0;
  for (int i = 1; i <= 7; ++i)
    for (int j = i + 1; j <= 7; ++j) EXPECT_EQ(a.Enzym->GetDistance(i, j), 1.0 - upgma[k++]);
  EXPECT_EQ(a.RefTreeLines[0], a.Enzym->RefTree->GetDescNbJoin() + ";");
}

TEST(MatrixRun, EditedCellIsReadIntoItsOwnHalf) {
  Analysis a;
  a.GetFromText(kDiceTable);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettUPGMA);
  a.Matrix.SetCell(2, 1, "0.9");
  a.MatrixDoubleClick();
  EXPECT_EQ(a.Enzym->GetDistance(2, 1), 0.9);
  EXPECT_EQ(a.Enzym->GetDistance(1, 2), 0.5);
  EXPECT_EQ(a.Enzym->RefTree, nullptr);
  EXPECT_EQ(a.Enzym->TreeCount(), 1);
  ASSERT_NE(a.EditedTree(), nullptr);
  a.Matrix.SetCell(3, 1, "x");
  try {
    a.MatrixDoubleClick();
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
  }
}

TEST(MatrixRun, DoubleClickAfterResamplingKeepsTheGridsNames) {
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettNbJoin);
  a.MatrixDoubleClick();
  const std::string fromGrid = a.EditedTree()->GetDescNbJoin();
  a.ChooseMethod(ettNbJoin);
  a.ChooseResamplingMethod(3);
  a.RepeatCount = 5;
  a.Run();
  EXPECT_NE(Names(*a.Enzym), a.Matrix.Names());
  // The same grid gives the same tree, whatever the run did to the order of the taxa.
  a.MatrixDoubleClick();
  EXPECT_EQ(Names(*a.Enzym), a.Matrix.Names());
  ASSERT_NE(a.EditedTree(), nullptr);
  EXPECT_EQ(a.EditedTree()->GetDescNbJoin(), fromGrid);
}

TEST(Resampling, MethodTableSetsTheControls) {
  Analysis a;
  a.TaxaLeftOut = 3;
  a.FragmentsLeftOut = 7;
  a.Different = false;
  EXPECT_TRUE(a.ChooseResamplingMethod(2).taxonEnabled);  // OTU jackknife keeps the taxa
  EXPECT_EQ(a.TaxaLeftOut, 3);
  EXPECT_EQ(a.FragmentsLeftOut, 0);
  EXPECT_TRUE(a.Different);
  a.Different = false;
  a.ChooseResamplingMethod(4);  // users keeps the box's state
  EXPECT_FALSE(a.Different);
  EXPECT_EQ(a.TaxaLeftOut, 3);
  a.ChooseResamplingMethod(1);
  EXPECT_EQ(a.TaxaLeftOut, 0);
  EXPECT_TRUE(a.Different);
  a.ChooseResamplingMethod(0);
  EXPECT_FALSE(a.Different);
  EXPECT_FALSE(Analysis::MethodTable(0).fragmentEnabled);
  EXPECT_TRUE(Analysis::MethodTable(1).fragmentEnabled);
}

TEST(Resampling, StatisticsOfARearrangementRun) {
  SetRandomSeed(0);
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettUPGMA);
  a.ChooseResamplingMethod(3);
  a.RepeatCount = 30;
  a.Run();
  // Without ties only the order of the taxa changes: every replicate gives the reference tree.
  ASSERT_EQ(a.TreeLines.size(), 1u);
  const std::string key = a.Enzym->RefTreeKey;
  EXPECT_EQ(a.TreeLines[0], "30: " + key);
  EXPECT_EQ(a.MemoLines, (std::vector<std::string>{"Different tree count : 1",
                                                   "Ref. tree in list : 30", "Ref. tree : ", key,
                                                   "Most freq. tree : 30", key}));
  for (const auto& c : a.RefTreeView)
    if (c.caption.find('%') != std::string::npos) {
      EXPECT_EQ(c.caption, "100 %");
    }
  EXPECT_NE(a.Enzym->RefTreeText.find("'100'"), std::string::npos);
  a.SelectTreeLine(0);
  EXPECT_EQ(a.TreeView.front().caption, "-\xAC");
  EXPECT_EQ(a.TreeCopyText(0), a.Enzym->GetTree(0)->GetDescNbJoin() + ";");
  EXPECT_EQ(a.RefTreeCopyText(), a.Enzym->RefTree->GetDescNbJoin() + ";");
  EXPECT_THROW(a.SelectTreeLine(1), ListIndexError);
}

TEST(Resampling, FirstShuffleWithTaxaLeftOutHasBoundZero) {
  SetRandomSeed(12345);
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettNbJoin);
  std::vector<std::string> expected = Names(*a.Enzym);
  std::rotate(expected.begin(), expected.begin() + 1, expected.end());
  a.ChooseResamplingMethod(2);
  a.TaxaLeftOut = 2;
  a.RepeatCount = 1;
  a.Run();
  EXPECT_EQ(Names(*a.Enzym), expected);
  EXPECT_FALSE(a.Enzym->UseRedukovaneDruhy);
  EXPECT_TRUE(a.Enzym->RedukovaneDruhy.empty());
  // With the seed's next draw the full bound would have chosen another taxon.
  SetRandomSeed(12345);
  EXPECT_NE(RandomIndex(7), 0u);
}

TEST(Resampling, TwoRunsContinueTheGeneratorAndRepeatFromTheStart) {
  auto session = [] {
    SetRandomSeed(0);
    Analysis a;
    a.GetFromText(kSevenTaxa);
    a.ChooseCoefficient("B - Jaccard");
    a.ChooseMethod(ettNbJoin);
    a.ChooseResamplingMethod(0);
    a.RepeatCount = 40;
    a.Run();
    auto first = a.TreeLines;
    const uint32_t seed = GetRandomSeed();
    a.Run();
    EXPECT_NE(GetRandomSeed(), seed);
    return std::make_pair(first, a.TreeLines);
  };
  auto one = session();
  auto two = session();
  EXPECT_EQ(one, two);
  EXPECT_NE(one.first, one.second);
}

TEST(Resampling, TooManyTaxaToLeaveOutIsRefusedBeforeAnythingChanges) {
  Analysis a;
  a.GetFromText(kDiceTable);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettUPGMA);
  const uint32_t seed = GetRandomSeed();
  a.ChooseResamplingMethod(2);
  a.TaxaLeftOut = 3;
  EXPECT_THROW(a.Run(), std::runtime_error);
  EXPECT_EQ(GetRandomSeed(), seed);
  a.TaxaLeftOut = 2;
  a.RepeatCount = 3;
  a.Run();  // one taxon per replicate still gives a tree
  int total = 0;
  for (const auto& t : a.Enzym->TreeList) total += t->Num;
  EXPECT_EQ(total, 3);
}

TEST(Resampling, NucleotideDivergenceLeavesOutTheSameTaxaInEveryBlock) {
  SetRandomSeed(0);
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("N - Nucleotide divergence");
  a.ChooseMethod(ettNbJoin);
  a.ChooseResamplingMethod(2);
  a.TaxaLeftOut = 1;
  a.RepeatCount = 1;
  a.Run();
  // All fragments once: the replicate's matrix is the full one without the taxon left out.
  const TKVTreeNodeItem* tree = a.Enzym->GetTree(0);
  std::string left;
  for (const auto& d : a.Enzym->Druhy)
    if (!tree->ItemInTreeText(d->Name.str())) left = d->Name.str();
  ASSERT_FALSE(left.empty());
  std::string table = kSevenTaxa;
  // Drop the column of the taxon left out.
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find('\n', start);
    lines.push_back(table.substr(start, end - start));
    start = end + 1;
  }
  const int column = std::stoi(left.substr(1));
  std::string reduced;
  for (const auto& line : lines) {
    std::vector<std::string> cells;
    std::size_t s = 0;
    for (;;) {
      std::size_t t = line.find('\t', s);
      cells.push_back(line.substr(s, t == std::string::npos ? std::string::npos : t - s));
      if (t == std::string::npos) break;
      s = t + 1;
    }
    if (cells.size() > 2) cells.erase(cells.begin() + column);
    std::string joined;
    for (std::size_t k = 0; k < cells.size(); ++k) joined += (k ? "\t" : "") + cells[k];
    reduced += joined + "\n";
  }
  Analysis b;
  b.GetFromText(reduced);
  b.ChooseCoefficient("N - Nucleotide divergence");
  b.ChooseMethod(ettNbJoin);
  EXPECT_EQ(tree->GetDescStd(), b.Enzym->RefTreeKey);
}

TEST(Resampling, FrequencyFamilyKeepsIsDistanceAndChecksCancelAfterTheNextTree) {
  SetRandomSeed(0);
  Analysis a;
  a.GetFromText("\tp\tq\tr\ts\nL1\n1\t0.2\t0.5\t0.1\t0.6\n2\t0.8\t0.5\t0.9\t0.4\n"
                "L2\n1\t0.3\t0.3\t0.7\t0.1\n2\t0.7\t0.7\t0.3\t0.9\n");
  EXPECT_EQ(a.Methods.size(), 4u);
  a.ChooseCoefficient("S - Nei's minimal distance Dm");
  a.ChooseMethod(ettUPGMA);
  EXPECT_TRUE(a.Enzym->IsDistance);
  a.ChooseResamplingMethod(0);
  a.RepeatCount = 20;
  struct CancelAtThree : ProgressSink {
    TEnzym* e;
    int position = 0;
    void SetPosition(int p) override { position = p; }
    void ProcessMessages() override {
      if (position == 3) e->BreakRandomTrees();
    }
  } cancel;
  cancel.e = a.Enzym.get();
  a.Run(&cancel);
  int total = 0;
  for (const auto& t : a.Enzym->TreeList) total += t->Num;
  EXPECT_EQ(total, 4);
  EXPECT_FALSE(a.Enzym->BreakRequest);
  EXPECT_TRUE(a.Enzym->IsDistance);
}

TEST(Resampling, PresenceFamilyProcessesMessagesEveryStep) {
  Analysis a;
  a.GetFromText(kSevenTaxa);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  a.ChooseMethod(ettUPGMA);
  a.ChooseResamplingMethod(0);
  a.RepeatCount = 1000;
  Counting c;
  a.Run(&c);
  EXPECT_EQ(c.messages, 200);
}

}  // namespace
}  // namespace ramovia

namespace ramovia {
namespace {

TEST(Memory, TooLargeATableIsRefusedAndTheDataStay) {
  Analysis a;
  a.GetFromText(kDiceTable);
  std::string big = "\tx\ty\n";
  for (int i = 0; i < 20000; ++i) big += "f\t1\t0\n";
  SetMemoryLimit(200 * 1024);
  try {
    a.GetFromText(big);
    SetMemoryLimit(0);
    FAIL();
  } catch (const MemoryError& e) {
    SetMemoryLimit(0);
    EXPECT_NE(std::string(e.what()).find("Reading this table needs about"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(a.Enzym->Druhy.size(), 3u);
  EXPECT_EQ(a.Loci.size(), 2u);
  // A matrix too large for what is left is refused before it is grown.
  SetMemoryLimit(100);
  a.ChooseCoefficient("A - Nei and Li / Dice");
  EXPECT_THROW(a.ChooseMethod(ettUPGMA), MemoryError);
  SetMemoryLimit(0);
  a.ChooseMethod(ettUPGMA);
  EXPECT_TRUE(a.ResamplingVisible);
  EXPECT_EQ(FormatBytes(1536), "1.5 KB");
  EXPECT_EQ(FormatBytes(3ull << 30), "3.0 GB");
}

}  // namespace
}  // namespace ramovia
