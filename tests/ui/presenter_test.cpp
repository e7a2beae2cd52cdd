// What the analysis window shows and how its controls follow the methods, without widgets.
#include <gtest/gtest.h>


#include "../core/sample_tables.h"
#include "analysis_presenter.h"
#include "hints.h"
#include "output/tree_text.h"

namespace ramovia::ui {
namespace {

using Lines = std::vector<std::string>;

using ramovia::testing::kDiceTable;
using ramovia::testing::sevenTaxaTable;

std::vector<std::string> methodLabels(const AnalysisPresenter& p) {
  std::vector<std::string> out;
  for (const Resampling m : p.offeredMethods) out.emplace_back(rulesOf(m).label);
  return out;
}

TEST(Presenter, OtherFormatsReadByContentAndAFailedOneKeepsTheAnalysis) {
  AnalysisPresenter p;
  p.caption = "cats";
  p.readTable("cats\nfca8, fca23\nPop\nP1, 0102 0303\nPop\nP2, 0101 0000\nPop\nP3, 0303 0404\n");
  EXPECT_EQ(p.caption, "Frequence analyze: cats");
  p.pairwiseMissingLoci = true;
  p.chooseCoefficient(7);  // R
  p.chooseMethod(TreeMethod::NeighborJoining);
  const std::string shown = p.matrix.copyText();
  EXPECT_THROW(p.readTable("t\nl1\nPop\na, 01011\n"), std::runtime_error);
  EXPECT_EQ(p.caption, "Frequence analyze: cats");
  EXPECT_EQ(p.session.data().taxonCount(), 3);
  EXPECT_EQ(p.matrix.copyText(), shown);
  // The window's rule holds for the next table read into it.
  p.readTable("t\nl1, l2\nPop\na, 0101 0202\nPop\nb, 0102 0000\n");
  EXPECT_TRUE(p.session.data().pairwiseMissingLoci);
  // A distance matrix shows its tree without a coefficient.
  AnalysisPresenter m;
  m.readTable("3\nA 0 1 2\nB 1 0 2\nC 2 2 0\n");
  m.chooseMethod(TreeMethod::Upgma);
  EXPECT_EQ(m.matrix.cell(2, 1), "1.00000");
  EXPECT_NE(m.statusText().find("Distances read from the file"), std::string::npos);
}

TEST(Presenter, FrequencyPrefixesTheCaptionEachTimeAndDropsUsersOnce) {
  AnalysisPresenter p;
  p.readTable(kDiceTable);
  EXPECT_EQ(p.caption, "Multiple analyses");
  EXPECT_EQ(p.offeredMethods.size(), 5u);
  // A 2 in a presence table makes it frequency data.
  AnalysisPresenter two;
  two.readTable("\tA\r\nf\t1\t\t5\r\n");
  EXPECT_EQ(two.caption, "Frequence analyze: Multiple analyses");

  p.caption = "data.txt";
  const std::string frequencies = "\tA\tB\r\na\t0.3\t0.7\r\n";
  p.readTable(frequencies);
  EXPECT_EQ(p.caption, "Frequence analyze: data.txt");
  EXPECT_EQ(methodLabels(p), (Lines{"Bootstrapping", "Jackknifing", "OTU based Jackknifing",
                                    "Rearangement of taxa"}));
  p.readTable(frequencies);
  EXPECT_EQ(p.caption, "Frequence analyze: Frequence analyze: data.txt");
  EXPECT_EQ(p.offeredMethods.size(), 4u);
  p.readTable(kDiceTable);
  EXPECT_EQ(p.caption, "Frequence analyze: Frequence analyze: data.txt");
  EXPECT_EQ(p.offeredMethods.size(), 4u);
}

TEST(Presenter, AnEmptyTextFailsAfterEmptyingEverything) {
  AnalysisPresenter p;
  p.readTable(kDiceTable);
  try {
    p.readTable("");
    FAIL();
  } catch (const ListIndexError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (0)");
  }
  EXPECT_EQ(p.caption, "Multiple analyses");
  EXPECT_EQ(p.session.data().taxonCount(), 0);
  EXPECT_EQ(p.input.colCount(), 1);
}

TEST(Presenter, TheMatrixRunShowsTheReferenceTreePlainAndClearsTheList) {
  for (bool coefficientFirst : {true, false}) {
    AnalysisPresenter p;
    p.readTable(kDiceTable);
    if (coefficientFirst) {
      p.chooseCoefficient(0);
      EXPECT_FALSE(p.resamplingPageShown);
      EXPECT_EQ(p.matrix.rowCount(), 5);
      p.chooseMethod(TreeMethod::Upgma);
    } else {
      p.chooseMethod(TreeMethod::Upgma);
      EXPECT_FALSE(p.resamplingPageShown);
      p.chooseCoefficient(0);
    }
    EXPECT_TRUE(p.resamplingPageShown);
    EXPECT_EQ(p.referenceTreeLines, Lines{"((b,c),a);"});
    ASSERT_EQ(p.referenceTreeView.size(), 5u);
    EXPECT_EQ(p.referenceTreeView[0], (TreeViewLine{0, "-\xAC"}));
    EXPECT_EQ(p.referenceTreeView[2], (TreeViewLine{2, "b"}));
    EXPECT_EQ(p.referenceTreeView[4], (TreeViewLine{1, "a"}));
  }
}

TEST(Presenter, MethodRulesSetTheControls) {
  AnalysisPresenter p;
  p.taxaLeftOut = 3;
  p.fragmentsLeftOut = 7;
  p.different = false;
  EXPECT_TRUE(p.chooseResampling(2).taxaLeftOut);  // OTU jackknife keeps the taxa
  EXPECT_EQ(p.taxaLeftOut, 3);
  EXPECT_EQ(p.fragmentsLeftOut, 0);
  EXPECT_TRUE(p.different);
  p.different = false;
  p.chooseResampling(4);  // users keeps the box's state
  EXPECT_FALSE(p.different);
  EXPECT_EQ(p.taxaLeftOut, 3);
  p.chooseResampling(1);
  EXPECT_EQ(p.taxaLeftOut, 0);
  EXPECT_TRUE(p.different);
  p.chooseResampling(0);
  EXPECT_FALSE(p.different);
  EXPECT_FALSE(rulesOf(Resampling::Bootstrap).fragmentsLeftOut);
  EXPECT_TRUE(rulesOf(Resampling::Jackknife).fragmentsLeftOut);
  EXPECT_THROW(p.chooseResampling(5), ListIndexError);
}

TEST(Presenter, ARunShowsSupportOnTheViewAndCopiesWithLengths) {
  AnalysisPresenter p;
  p.readTable(sevenTaxaTable());
  p.chooseCoefficient(0);
  p.chooseMethod(TreeMethod::Upgma);
  const Lines linesBefore = p.referenceTreeLines;
  p.chooseResampling(3);
  p.replicates = 30;
  p.run();
  // Without ties every replicate gives the reference tree.
  const auto& taxa = p.session.data().taxa;
  const std::string key = plainText(*p.session.referenceTree(), taxa);
  EXPECT_EQ(p.treeLines, Lines{"30: " + key});
  EXPECT_EQ(p.statistics[3], key);
  for (const auto& c : p.referenceTreeView) {
    if (c.caption.find('%') != std::string::npos) {
      EXPECT_EQ(c.caption, "100 %");
    }
  }
  // The list of the reference tree page keeps the text of the matrix run.
  EXPECT_EQ(p.referenceTreeLines, linesBefore);
  p.selectTree(0);
  EXPECT_EQ(p.treeView.front().caption, "-\xAC");
  const auto& support = p.session.lastResult()->support;
  EXPECT_EQ(p.referenceTreeCopyText(), lengthsText(*p.session.referenceTree(), taxa, support) + ";");
  EXPECT_NE(p.referenceTreeCopyText().find("'100'"), std::string::npos);
  EXPECT_EQ(p.treeCopyText(0), lengthsText(p.session.lastResult()->trees[0].tree, taxa, {}) + ";");
  EXPECT_EQ(p.treeCopyText(1), "");
  EXPECT_THROW(p.selectTree(1), ListIndexError);
  // Under a distance the copied trees carry no lengths.
  p.chooseCoefficient(7);
  p.run();
  EXPECT_EQ(p.treeCopyText(0), plainText(p.session.lastResult()->trees[0].tree, taxa) + ";");
}

TEST(Presenter, TreeViewsCaptionLeavesAndInnerNodes) {
  std::vector<Taxon> taxa{{Name("A"), {}}, {Name("B"), {}}, {Name("C"), {}}};
  Tree t;
  const int32_t a = t.addLeaf(0), b = t.addLeaf(1), c = t.addLeaf(2);
  const int32_t ab = t.addInner(a, b);
  t.addInner(ab, c);
  EXPECT_EQ(treeViewLines(t, taxa), (std::vector<TreeViewLine>{
                                        {0, "-\xAC"}, {1, "-\xAC"}, {2, "A"}, {2, "B"}, {1, "C"}}));
  const std::vector<int32_t> support{0, 0, 0, 85, 100};
  EXPECT_EQ(treeViewLines(t, taxa, support)[1].caption, "85 %");
  // After a run 0 % is a result too.
  EXPECT_EQ(treeViewLines(t, taxa, std::vector<int32_t>(5, 0))[0].caption, "0 %");
  Tree leaf;
  leaf.addLeaf(0);
  EXPECT_EQ(treeViewLines(leaf, taxa), (std::vector<TreeViewLine>{{0, "A"}}));
}

TEST(Presenter, StatusProgressAndTheCopiedTable) {
  AnalysisPresenter p;
  EXPECT_EQ(p.statusText().rfind("Open a table", 0), 0u);
  p.readTable("\tx<y\tb&c\nE1\n1\t1\t0\n2\t1\t1\n3\t0\t1\n");
  EXPECT_EQ(p.statusText(),
            "2 taxa, 3 markers in 1 block. Choose a coefficient and a "
            "tree-construction method.");
  p.chooseCoefficient(10);  // "U - Reynolds ", a frequency distance on presence data
  p.chooseMethod(TreeMethod::Upgma);
  EXPECT_EQ(p.statusText(),
            "2 taxa, 3 markers in 1 block. U - Reynolds, UPGMA. Choose a "
            "resampling method to test the tree.");
  p.chooseResampling(0);
  p.replicates = 3;
  p.run();
  EXPECT_EQ(p.statusText(),
            "2 taxa, 3 markers in 1 block. U - Reynolds, UPGMA; Bootstrapping: 3 "
            "of 3 replicates, 1 different tree.");
  const std::string html = p.matrixCopyHtml();
  EXPECT_NE(html.find("<tr><th></th><th>x&lt;y</th><th>b&amp;c</th></tr>"), std::string::npos)
      << html;

  RunRate rate;
  EXPECT_FALSE(rate.perSecond());
  rate.report(1, 0.0);
  rate.report(201, 0.5);
  EXPECT_DOUBLE_EQ(*rate.perSecond(), 400.0);
  EXPECT_EQ(runProgressText(201, 1000, rate.perSecond()),
            "Replicate 201 of 1000, 400 replicates/s, about 2 s left");
  EXPECT_EQ(runProgressText(3, 10000, 2.5),
            "Replicate 3 of 10000, 2.5 replicates/s, about 1 h 06 min left");
  EXPECT_EQ(runProgressText(7, 10, std::nullopt), "Replicate 7 of 10");
  EXPECT_EQ(durationText(185), "3 min 05 s");
}

TEST(Presenter, RememberedChoicesFitTheData) {
  Choices remembered;
  remembered.coefficient = 0;  // Dice
  remembered.method = TreeMethod::NeighborJoining;
  remembered.resampling = 4;  // Users
  remembered.replicates = 20000;
  remembered.taxaLeftOut = 9;
  AnalysisPresenter presence;
  presence.readTable(kDiceTable);
  const Choices kept = presence.fittingChoices(remembered);
  EXPECT_EQ(kept.coefficient, 0);
  EXPECT_EQ(kept.resampling, 4);
  EXPECT_EQ(kept.replicates, kMaxReplicates);
  EXPECT_EQ(kept.taxaLeftOut, kMaxTaxaLeftOutControl);
  AnalysisPresenter frequencies;
  frequencies.readTable("\tA\tB\r\na\t0.3\t0.7\r\n");
  const Choices fitting = frequencies.fittingChoices(remembered);
  EXPECT_FALSE(fitting.coefficient);  // a presence coefficient
  EXPECT_FALSE(fitting.resampling);   // "Users" is not offered
  EXPECT_EQ(fitting.method, TreeMethod::NeighborJoining);
  // A window's choices replace the remembered ones part by part.
  Choices window;
  window.coefficient = 7;
  const Choices updated = updatedChoices(remembered, window);
  EXPECT_EQ(updated.coefficient, 7);
  EXPECT_EQ(updated.method, TreeMethod::NeighborJoining);
  EXPECT_EQ(updated.resampling, 4);
}

}  // namespace
}  // namespace ramovia::ui
