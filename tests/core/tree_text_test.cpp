#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tree_test_util.h"
#include "distance/coefficient.h"
#include "output/statistics.h"
#include "output/tree_text.h"
#include "tree/clade_support.h"
#include "tree/tree_list.h"

namespace ramovia {
namespace {

using testing::readTree;
using testing::TestTree;

TEST(Tree, LeavesCountedAndListedLeftToRight) {
  std::vector<Taxon> taxa;
  const Tree t = readTree("(((A,B),C),(D,E))", taxa).tree;
  EXPECT_EQ(t.leafCount(), 5);
  EXPECT_EQ(t[t[t.root()].left].leaves, 3);
  EXPECT_EQ(t.leafTaxa(t.root()), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(t.leafTaxa(t[t.root()].right), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(readTree("A", taxa).tree.leafCount(), 1);
  EXPECT_EQ(Tree{}.leafCount(), 0);
}

TEST(Tree, LeftHeightSumsTheLeftPathFromTheLeafUp) {
  std::vector<Taxon> taxa;
  const Tree t = readTree("(((A:0.1,B:7):0.2,C):0.3,D:0.35)", taxa).tree;
  const int32_t abc = t[t.root()].left;
  const int32_t ab = t[abc].left;
  EXPECT_EQ(leftHeight(t, t[ab].left), 0.1);
  EXPECT_EQ(leftHeight(t, ab), 0.1 + 0.2);
  // ((0.1 + 0.2) + 0.3) is not 0.1 + (0.2 + 0.3): the order of the additions shows.
  EXPECT_EQ(leftHeight(t, abc), (0.1 + 0.2) + 0.3);
  EXPECT_NE(leftHeight(t, abc), 0.1 + (0.2 + 0.3));
  EXPECT_EQ(leftHeight(t, t.root()), ((0.1 + 0.2) + 0.3) + 0.0);
}

TEST(TreeText, ThreeVariantsOfOneTree) {
  std::vector<Taxon> taxa;
  TestTree t = readTree("((A:0.1,B:0.1)'85':0.25,C:0.35)'100'", taxa);
  EXPECT_EQ(labelledText(t.tree, taxa, t.support), "((A,B)'85',C)'100'");
  EXPECT_EQ(plainText(t.tree, taxa), "((A,B),C)");
  EXPECT_EQ(lengthsText(t.tree, taxa, t.support), "((A:0.1,B:0.1)'85':0.25,C:0.35)'100':0");
  EXPECT_EQ(lengthsText(t.tree, taxa, {}), "((A:0.1,B:0.1):0.25,C:0.35):0");
  t.support.back() = 0;
  EXPECT_EQ(labelledText(t.tree, taxa, t.support), "((A,B)'85',C)");
  t.support[2] = -1;  // no label
  EXPECT_EQ(labelledText(t.tree, taxa, t.support), "((A,B),C)");
}

TEST(TreeText, LeavesAndOddNames) {
  std::vector<Taxon> taxa;
  const TestTree a = readTree("A", taxa);
  EXPECT_EQ(plainText(a.tree, taxa), "A");
  EXPECT_EQ(labelledText(a.tree, taxa, a.support), "A");
  EXPECT_EQ(lengthsText(a.tree, taxa, a.support), "A:0");
  // Names are written as they are, even when they hold the text's own punctuation; Newick
  // quotes them.
  const std::vector<Taxon> odd = {Taxon{Name("a:b c"), {}}, Taxon{Name("'q'"), {}}};
  Tree n;
  n.addInner(n.addLeaf(0, 2), n.addLeaf(1, -0.5));
  EXPECT_EQ(plainText(n, odd), "(a:b c,'q')");
  EXPECT_EQ(lengthsText(n, odd, {}), "(a:b c:2,'q':-0.5):0");
  EXPECT_EQ(newickText(n, odd, true, {}), "('a:b c':2,'''q''':-0.5);\n");
  const std::vector<int32_t> support = {0, 0, 77};
  EXPECT_EQ(newickText(n, odd, false, support), "('a:b c','''q''')77;\n");
  EXPECT_EQ(newickLabel("a_b"), "a_b");
  EXPECT_EQ(newickLabel(""), "''");
}

TEST(TreeText, DeepTreeIsWrittenWhole) {
  // A chain of 2000 taxa: written without recursion, it ends as expected.
  std::vector<Taxon> taxa;
  Tree t;
  int32_t top = t.addLeaf(0);
  taxa.push_back(Taxon{Name("T0"), {}});
  std::string expect = "T0";
  for (int i = 1; i < 2000; ++i) {
    taxa.push_back(Taxon{Name("T" + std::to_string(i)), {}});
    top = t.addInner(top, t.addLeaf(i));
    expect = "(" + expect + ",T" + std::to_string(i) + ")";
  }
  EXPECT_EQ(plainText(t, taxa), expect);
  EXPECT_EQ(t.leafCount(), 2000);
}

// The reference tree of the worked UPGMA example.
const char* const kReference = "((A:0.1,B:0.1):0.25,C:0.35)";

TEST(TreeText, ReferenceTreeByMethod) {
  std::vector<Taxon> taxa;
  const Tree ref = readTree(kReference, taxa).tree;
  EXPECT_EQ(referenceTreeText(ref, TreeMethod::Upgma, taxa), "((A,B),C);");
  EXPECT_EQ(referenceTreeText(ref, TreeMethod::NeighborJoining, taxa),
            lengthsText(ref, taxa, {}) + ";");
  const Tree one = readTree("A", taxa).tree;
  EXPECT_EQ(referenceTreeText(one, TreeMethod::Upgma, taxa), "A;");
  EXPECT_EQ(referenceTreeText(one, TreeMethod::NeighborJoining, taxa), "A:0;");
}

TEST(TreeText, ReferenceTreeWithTheSupportOfARun) {
  std::vector<Taxon> taxa;
  const Tree ref = readTree(kReference, taxa).tree;
  TreeList list;
  list.add(readTree("((A,B),C)", taxa).tree);
  for (int k = 0; k < 7; ++k) list.add(readTree("((A,C),B)", taxa).tree);
  const std::vector<int32_t> support = CladeSupportIndex(list, 3).supportOf(ref);
  EXPECT_EQ(labelledText(ref, taxa, support), "((A,B)'12',C)'100'");
  EXPECT_EQ(referenceTreeText(ref, TreeMethod::Upgma, taxa, support), "((A,B)'12',C)'100';");
  EXPECT_EQ(plainText(ref, taxa), "((A,B),C)");
  // A clade no tree holds has support 0 and loses its label.
  TreeList other;
  for (int k = 0; k < 3; ++k) other.add(readTree("((A,C),B)", taxa).tree);
  EXPECT_EQ(labelledText(ref, taxa, CladeSupportIndex(other, 3).supportOf(ref)),
            "((A,B),C)'100'");
}

// What is copied of a tree: with branch lengths under a similarity coefficient, without under a
// distance.
TEST(TreeText, CopiedTextsAndTheCoefficientsThatChooseThem) {
  std::vector<Taxon> taxa;
  const Tree ref = readTree(kReference, taxa).tree;
  const std::vector<int32_t> support = {0, 0, 0, 0, 90};
  for (char c : std::string("ABDGIJN")) {
    ASSERT_TRUE(coefficientForLetter(c)) << c;
    EXPECT_FALSE(isDistance(*coefficientForLetter(c))) << c;
  }
  for (char c : std::string("RSTUVWXYZ")) {
    ASSERT_TRUE(coefficientForLetter(c)) << c;
    EXPECT_TRUE(isDistance(*coefficientForLetter(c))) << c;
  }
  EXPECT_FALSE(coefficientForLetter('a'));
  EXPECT_FALSE(coefficientForLetter('\0'));
  EXPECT_EQ(lengthsText(ref, taxa, support) + ";", "((A:0.1,B:0.1):0.25,C:0.35)'90':0;");
  EXPECT_EQ(labelledText(ref, taxa, support) + ";", "((A,B),C)'90';");
  EXPECT_EQ(plainText(ref, taxa) + ";", "((A,B),C);");
  EXPECT_EQ(lengthsText(ref, taxa, {}) + ";", "((A:0.1,B:0.1):0.25,C:0.35):0;");
}

}  // namespace
}  // namespace ramovia
