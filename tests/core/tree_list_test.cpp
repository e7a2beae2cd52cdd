#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/tree_test_util.h"
#include "model/enzym.h"
#include "resampling/tree_support.h"
#include "tree/builders.h"
#include "tree/tree_view.h"

namespace ramovia {
namespace {

using testing::Tree;

// Adds the tree count times.
void Add(TEnzym& e, const std::string& text, int count = 1) {
  for (int k = 0; k < count; ++k) e.AddTreeToList(Tree(text));
}

std::vector<std::string> Order(const TEnzym& e) {
  std::vector<std::string> out;
  for (int i = 0; i < e.TreeCount(); ++i) out.push_back(e.GetTree(i)->GetDesc());
  return out;
}

TEST(TreeList, MergesIdenticalTextsAndCountsReferenceHits) {
  TEnzym e;
  e.RefTreeKey = "((A,B),C)";
  Add(e, "((A,B),C)", 3);
  Add(e, "((A,C),B)");
  Add(e, "(C,(A,B))");  // another text, so another tree
  ASSERT_EQ(e.TreeCount(), 3);
  EXPECT_EQ(e.GetTree(0)->Num, 3);
  EXPECT_EQ(e.GetTree(1)->Num, 1);
  EXPECT_EQ(e.RefTreeHits, 3);
  // Identity is the GetDesc text: a labelled tree is not the reference key, yet is listed.
  Add(e, "((A,B)'50',C)");
  EXPECT_EQ(e.TreeCount(), 4);
  EXPECT_EQ(e.RefTreeHits, 3);
  EXPECT_THROW(e.AddTreeToList(nullptr), std::invalid_argument);
  e.EmptyTreeList();
  EXPECT_EQ(e.TreeCount(), 0);
  Add(e, "((A,B),C)");
  EXPECT_EQ(e.GetTree(0)->Num, 1);
  EXPECT_EQ(e.RefTreeHits, 4);  // only a run resets it
}

TEST(TreeList, StaysConsistentAfterDirectChanges) {
  TEnzym e;
  Add(e, "(A,B)");
  Add(e, "(A,C)");
  e.TreeList.pop_back();  // a change made behind the list's back
  Add(e, "(A,C)");
  Add(e, "(A,B)");
  ASSERT_EQ(e.TreeCount(), 2);
  EXPECT_EQ(e.GetTree(0)->Num, 2);
  EXPECT_EQ(e.GetTree(1)->Num, 1);
}

TEST(TreeList, GetTreeOutsideTheList) {
  TEnzym e;
  Add(e, "(A,B)");
  EXPECT_EQ(e.GetTree(0)->GetDesc(), "(A,B)");
  try {
    e.GetTree(3);
    FAIL();
  } catch (const ListIndexError& ex) {
    EXPECT_STREQ(ex.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(e.GetTree(-1), ListIndexError);
}

TEST(TreeList, SortTieOrders) {
  TEnzym e;
  Add(e, "(T1,x)", 3);
  Add(e, "(T2,x)", 5);
  Add(e, "(T3,x)", 5);
  e.SortTreeList();
  EXPECT_EQ(Order(e), (std::vector<std::string>{"(T3,x)", "(T2,x)", "(T1,x)"}));
  e.SortTreeList();
  EXPECT_EQ(Order(e), (std::vector<std::string>{"(T2,x)", "(T3,x)", "(T1,x)"}));

  TEnzym f;
  for (const char* t : {"(T1,x)", "(T2,x)", "(T3,x)", "(T4,x)"}) Add(f, t, 2);
  f.SortTreeList();
  EXPECT_EQ(Order(f), (std::vector<std::string>{"(T3,x)", "(T4,x)", "(T1,x)", "(T2,x)"}));
  f.SortTreeList();
  EXPECT_EQ(Order(f), (std::vector<std::string>{"(T1,x)", "(T2,x)", "(T3,x)", "(T4,x)"}));
  // The merge lookup survives the sort.
  Add(f, "(T3,x)");
  EXPECT_EQ(f.TreeCount(), 4);
  EXPECT_EQ(f.GetTree(2)->Num, 3);

  TEnzym empty;
  empty.SortTreeList();
  EXPECT_EQ(empty.TreeCount(), 0);
}

TEST(TreeList, SortPutsCountsInDescendingOrder) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> count(1, 6);
  TEnzym e;
  for (int t = 0; t < 300; ++t) Add(e, "(T" + std::to_string(t) + ",x)", count(gen));
  e.SortTreeList();
  ASSERT_EQ(e.TreeCount(), 300);
  for (int i = 1; i < e.TreeCount(); ++i) EXPECT_GE(e.GetTree(i - 1)->Num, e.GetTree(i)->Num);
}

TEST(TreeSupport, WeightedByCountsRoundedHalfToEven) {
  TEnzym e;
  Add(e, "((A,B),C)", 1);
  Add(e, "((A,C),B)", 7);
  auto ab = Tree("((A,B),C)");
  const auto* abNode = AsNode(ab.get())->Left.get();
  EXPECT_EQ(e.EnumerateTree(abNode), 12);
  EXPECT_EQ(e.EnumerateTreePlain(abNode), 12);
  auto ac = Tree("((A,C),B)");
  EXPECT_EQ(e.EnumerateTree(AsNode(ac.get())->Left.get()), 88);
  EXPECT_EQ(e.EnumerateTree(ac.get()), 100);
  EXPECT_EQ(e.EnumerateTree(AsNode(ac.get())->Right.get()), 0);  // a single leaf
  EXPECT_EQ(e.EnumerateTree(nullptr), 0);
  EXPECT_EQ(RoundSupport(1, 8), 12);
  EXPECT_EQ(RoundSupport(7, 8), 88);
  EXPECT_EQ(RoundSupport(3, 8), 38);  // 37.5
  EXPECT_EQ(RoundSupport(1, 3), 33);
  EXPECT_EQ(RoundSupport(0, 0), 0);
}

TEST(TreeSupport, OnlyTreesWithAllTaxaOfTheCladeCount) {
  TEnzym e;
  Add(e, "((A,B),C)", 2);
  Add(e, "(A,C)", 5);      // lacks B: not covered for (A,B)
  Add(e, "((A,C),D)", 3);  // has no clade (A,B), lacks B as well
  Add(e, "((A,D),B)", 4);  // covered, no hit
  auto ab = Tree("(A,B)");
  EXPECT_EQ(e.EnumerateTree(ab.get()), 33);  // 2 of 6
  EXPECT_EQ(e.EnumerateTreePlain(ab.get()), 33);
  // A clade that names A twice has three leaves over two names: no listed clade matches it.
  auto aba = Tree("((A,B),A)");
  EXPECT_EQ(e.EnumerateTreePlain(aba.get()), 0);
  EXPECT_EQ(e.EnumerateTree(aba.get()), 0);
  auto az = Tree("(A,Z)");  // a taxon no tree holds
  EXPECT_EQ(e.EnumerateTree(az.get()), 0);
  EXPECT_EQ(e.EnumerateTreePlain(az.get()), 0);
  // The answer follows the list as it changes.
  Add(e, "((A,B),D)", 4);
  EXPECT_EQ(e.EnumerateTree(ab.get()), 60);
  e.GetTree(0)->Num = 12;  // a count changed directly
  EXPECT_EQ(e.EnumerateTree(ab.get()), e.EnumerateTreePlain(ab.get()));
  e.EmptyTreeList();
  EXPECT_EQ(e.EnumerateTree(ab.get()), 0);
}

// A random tree over a random subset of the pool, children in canonical order.
std::unique_ptr<TKVTreeNodeItem> RandomTree(std::mt19937& gen, const std::vector<std::string>& pool,
                                            int minTaxa) {
  std::vector<std::string> names = pool;
  std::shuffle(names.begin(), names.end(), gen);
  std::uniform_int_distribution<int> size(minTaxa, static_cast<int>(pool.size()));
  names.resize(static_cast<std::size_t>(size(gen)));
  std::vector<std::unique_ptr<TKVTreeNodeItem>> parts;
  std::vector<int> masses;
  for (const auto& n : names) {
    auto leaf = std::make_unique<TKVTreeNodeItem>();
    leaf->Name = n;
    parts.push_back(std::move(leaf));
    masses.push_back(1);
  }
  // Mostly joins among the first few parts, so that clades recur between trees.
  while (parts.size() > 1) {
    std::uniform_int_distribution<std::size_t> pick(0, std::min<std::size_t>(parts.size() - 1, 3));
    std::size_t a = pick(gen), b = pick(gen);
    if (a == b) b = (a + 1) % parts.size();
    if (a > b) std::swap(a, b);
    auto p = std::move(parts[a]);
    auto q = std::move(parts[b]);
    const int mp = masses[a], mq = masses[b];
    parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(b));
    masses.erase(masses.begin() + static_cast<std::ptrdiff_t>(b));
    parts[a] = JoinClusters(std::move(p), mp, std::move(q), mq);
    masses[a] = mp + mq;
  }
  return std::move(parts.front());
}

void ExpectAllCladesAgree(const TEnzym& e, const TKVTreeNodeItem* x, int& partial) {
  const TKVTreeNode* node = AsNode(x);
  if (node == nullptr) return;
  const int32_t fast = e.EnumerateTree(node);
  ASSERT_EQ(fast, e.EnumerateTreePlain(node)) << node->GetDesc();
  if (fast > 0 && fast < 100) ++partial;
  ExpectAllCladesAgree(e, node->Left.get(), partial);
  ExpectAllCladesAgree(e, node->Right.get(), partial);
}

TEST(TreeSupport, FastIndexMatchesTreeWalkOnRandomTrees) {
  std::mt19937 gen(99);
  int partial = 0;
  for (int round = 0; round < 9; ++round) {
    std::vector<std::string> pool;
    const int taxa = 4 + round * 8;  // past 64 names the bit sets take several words
    for (int i = 0; i < taxa; ++i) pool.push_back("n" + std::to_string(i));
    if (round % 3 == 2) pool.push_back("n0");  // a repeated name
    TEnzym e;
    std::uniform_int_distribution<int> count(1, 3);
    const int minTaxa =
        round % 2 == 0 ? static_cast<int>(pool.size()) : 2;  // all taxa, or a jackknife
    for (int t = 0; t < 40; ++t) {
      auto tree = RandomTree(gen, pool, minTaxa);
      const std::string text = tree->GetDesc();
      e.AddTreeToList(std::move(tree));
      for (int extra = count(gen) - 1; extra > 0; --extra) e.AddTreeToList(Tree(text));
    }
    for (int q = 0; q < 2; ++q) {
      auto ref = RandomTree(gen, pool, static_cast<int>(pool.size()));
      ExpectAllCladesAgree(e, ref.get(), partial);
      // Clades taken from listed trees are hits by construction.
      ExpectAllCladesAgree(e, e.GetTree(q), partial);
    }
  }
  EXPECT_GT(partial, 30);
}

// A data set with taxa A, B, C and the similarities of the worked UPGMA example.
std::unique_ptr<TEnzym> ThreeTaxa() {
  auto e = std::make_unique<TEnzym>();
  for (const char* name : {"A", "B", "C"}) {
    auto d = std::make_unique<TDruh>();
    d->Name = name;
    e->AddDruh(std::move(d));
  }
  e->ReserveMatrices(200);
  const double k[3][3] = {{1, 0.8, 0.4}, {0.8, 1, 0.2}, {0.4, 0.2, 1}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) e->SetDistance(i, j, k[i - 1][j - 1]);
  return e;
}

TEST(RefTree, BuiltOutsideTheListWithItsTexts) {
  auto e = ThreeTaxa();
  e->TreeType = ettUPGMA;
  Add(*e, "(X,Y)");
  e->GenRefTree();
  ASSERT_TRUE(e->RefTree);
  EXPECT_EQ(e->TreeCount(), 0);
  EXPECT_EQ(e->RefTreeText, "((A,B),C);");
  EXPECT_EQ(e->RefTreeKey, "((A,B),C)");
  // A later tree equal to the reference is counted as a hit.
  e->GenTree();
  EXPECT_EQ(e->RefTreeHits, 1);
  e->TreeType = ettNbJoin;
  e->GenRefTree();
  EXPECT_EQ(e->RefTreeText, e->RefTree->GetDescNbJoin() + ";");
  EXPECT_EQ(e->RefTreeKey, e->RefTree->GetDescStd());
}

TEST(RefTree, OneTaxon) {
  auto e = std::make_unique<TEnzym>();
  auto d = std::make_unique<TDruh>();
  d->Name = "A";
  e->AddDruh(std::move(d));
  e->ReserveMatrices(200);
  e->TreeType = ettUPGMA;
  e->GenRefTree();
  EXPECT_EQ(e->RefTreeText, "A;");
  e->TreeType = ettNbJoin;
  e->GenRefTree();
  EXPECT_EQ(e->RefTreeText, "A:0;");
  EXPECT_EQ(e->RefTreeKey, "A");
}

TEST(RefTree, FailureLeavesNoTreeAndKeepsTheTexts) {
  auto e = ThreeTaxa();
  e->TreeType = ettUPGMA;
  e->GenRefTree();
  e->TreeType = ettNone;
  EXPECT_THROW(e->GenRefTree(), ListIndexError);
  EXPECT_FALSE(e->RefTree);
  EXPECT_EQ(e->RefTreeText, "((A,B),C);");
  e->RefreshTree();  // nothing to refresh from
  EXPECT_EQ(e->RefTreeKey, "((A,B),C)");
  TEnzym none;
  none.ReserveMatrices(10);
  none.TreeType = ettNbJoin;
  EXPECT_THROW(none.GenRefTree(), ListIndexError);  // no taxa
}

TEST(TreeView, PlainCaptionsInPreOrder) {
  auto t = Tree("((A,B),C)");
  const auto lines = TreeViewLines(t.get());
  const std::vector<TreeViewLine> expect = {
      {0, "-\xAC"}, {1, "-\xAC"}, {2, "A"}, {2, "B"}, {1, "C"}};
  EXPECT_EQ(lines, expect);
  EXPECT_EQ(std::string(kPlainNodeCaption), std::string("-\xAC"));
  EXPECT_EQ(TreeViewLines(Tree("A").get()), (std::vector<TreeViewLine>{{0, "A"}}));
  EXPECT_TRUE(TreeViewLines(nullptr).empty());
}

TEST(TreeView, SupportIsShownAndStored) {
  auto e = ThreeTaxa();
  e->TreeType = ettUPGMA;
  e->GenRefTree();
  Add(*e, "((A,B),C)", 1);
  Add(*e, "((A,C),B)", 7);
  const auto lines = TreeViewLines(*e, e->RefTree.get(), true);
  const std::vector<TreeViewLine> expect = {
      {0, "100 %"}, {1, "12 %"}, {2, "A"}, {2, "B"}, {1, "C"}};
  EXPECT_EQ(lines, expect);
  EXPECT_EQ(e->RefTree->GetDesc(), "((A,B)'12',C)'100'");
  e->RefreshTree();
  EXPECT_EQ(e->RefTreeText, "((A,B)'12',C)'100';");
  EXPECT_EQ(e->RefTreeKey, "((A,B),C)");
  // Without support the labels stay as they are.
  EXPECT_EQ(TreeViewLines(*e, e->RefTree.get(), false)[1].caption, "-\xAC");
  EXPECT_EQ(e->RefTree->GetDesc(), "((A,B)'12',C)'100'");
  // A clade no tree holds shows 0 % and loses its label.
  e->EmptyTreeList();
  Add(*e, "((A,C),B)", 3);
  EXPECT_EQ(TreeViewLines(*e, e->RefTree.get(), true)[1].caption, "0 %");
  EXPECT_EQ(e->RefTree->GetDesc(), "((A,B),C)'100'");
}

TEST(TreeCopy, TextByCoefficientLetter) {
  auto e = ThreeTaxa();
  e->TreeType = ettUPGMA;
  e->GenRefTree();
  auto* root = AsNode(e->RefTree.get());
  root->Support = 90;
  for (char c : std::string("ABDGIJN")) {
    EXPECT_TRUE(IsSimilarityLetter(c)) << c;
    EXPECT_EQ(RefTreeCopyText(*e->RefTree, c), "((A:0.1,B:0.1):0.25,C:0.35)'90':0;");
  }
  for (char c : std::string("RSTUVWXYZ")) {
    EXPECT_FALSE(IsSimilarityLetter(c)) << c;
    EXPECT_EQ(RefTreeCopyText(*e->RefTree, c), "((A,B),C)'90';");
  }
  EXPECT_FALSE(IsSimilarityLetter('a'));
  EXPECT_FALSE(IsSimilarityLetter('\0'));
  e->GenTree();
  EXPECT_EQ(ListedTreeCopyText(*e->GetTree(0), 'R'), "((A,B),C);");
  EXPECT_EQ(ListedTreeCopyText(*e->GetTree(0), 'A'), "((A:0.1,B:0.1):0.25,C:0.35):0;");
}

}  // namespace
}  // namespace ramovia
