#include <gtest/gtest.h>

#include "core/tree_test_util.h"
#include "tree/tree_node.h"

namespace ramovia {
namespace {

using testing::Tree;

TEST(TreeModel, MassCountsLeaves) {
  EXPECT_EQ(Tree("A")->GetMass(), 1);
  EXPECT_EQ(Tree("(A,B)")->GetMass(), 2);
  EXPECT_EQ(Tree("(((A,B),C),(D,E))")->GetMass(), 5);
  TKVTreeNode lonely;  // a node without children holds no leaves
  EXPECT_EQ(lonely.GetMass(), 0);
  lonely.Right = Tree("X");
  EXPECT_EQ(lonely.GetMass(), 1);
}

TEST(TreeModel, LookupsByNumberAndName) {
  auto t = Tree("((A,B),(C,A))");  // leaves 1..4, two of them named A
  for (int n = 1; n <= 4; ++n) EXPECT_TRUE(t->ItemInTree(n)) << n;
  EXPECT_FALSE(t->ItemInTree(5));
  EXPECT_FALSE(t->ItemInTree(0));
  EXPECT_TRUE(t->ItemInTreeText("C"));
  EXPECT_FALSE(t->ItemInTreeText("(A,B)"));  // only leaves answer by text
  EXPECT_FALSE(t->ItemInTreeText("c"));
  EXPECT_FALSE(t->ItemInTreeText("A "));
  // Same names cannot be told apart by name: (A,C) matches the leaf set of (C,A) and of (A,C).
  EXPECT_TRUE(t->HasSubTrees(Tree("(A,C)").get(), nullptr));
}

TEST(TreeModel, HasSubTreesFindsCladesByLeafNames) {
  auto x = Tree("(((A,B),C),(D,E))");
  EXPECT_TRUE(x->HasSubTrees(x.get(), x.get()));
  EXPECT_TRUE(x->HasSubTrees(Tree("((E,D),(C,(B,A)))").get(), nullptr));
  EXPECT_TRUE(x->HasSubTrees(Tree("(B,A)").get(), nullptr));
  EXPECT_TRUE(x->HasSubTrees(Tree("(C,(A,B))").get(), nullptr));
  EXPECT_TRUE(x->HasSubTrees(Tree("(E,D)").get(), nullptr));
  EXPECT_FALSE(x->HasSubTrees(Tree("(A,C)").get(), nullptr));
  EXPECT_FALSE(x->HasSubTrees(Tree("((A,B),D)").get(), nullptr));
  // Same size as the whole tree, one different name.
  EXPECT_FALSE(x->HasSubTrees(Tree("(((A,B),C),(D,F))").get(), nullptr));
  // A single taxon is never reported, not even a direct child.
  EXPECT_FALSE(x->HasSubTrees(Tree("C").get(), nullptr));
  EXPECT_FALSE(Tree("(A,B)")->HasSubTrees(Tree("A").get(), nullptr));
  // A leaf answers false about anything, itself included.
  auto leaf = Tree("A");
  EXPECT_FALSE(leaf->HasSubTrees(leaf.get(), leaf.get()));
  // Bigger than the tree.
  EXPECT_FALSE(Tree("(A,B)")->HasSubTrees(Tree("((A,B),C)").get(), nullptr));
}

TEST(TreeModel, HasSameFragmentAsksEveryLeaf) {
  auto s = Tree("((A,B),C)");
  EXPECT_TRUE(Tree("(C,A)")->HasSameFragment(s.get()));
  EXPECT_FALSE(Tree("(C,D)")->HasSameFragment(s.get()));
  EXPECT_TRUE(Tree("B")->HasSameFragment(s.get()));
  TKVTreeNode empty;
  EXPECT_TRUE(empty.HasSameFragment(s.get()));
}

TEST(TreeModel, MissingChildrenAreTolerated) {
  TKVTreeNode n;
  n.Distance = 0.5;
  EXPECT_EQ(n.GetDistance(), 0.5);
  EXPECT_FALSE(n.HasSubTrees(Tree("(A,B)").get(), nullptr));
  EXPECT_FALSE(n.ItemInTree(0));
  EXPECT_EQ(n.GetDesc(), "()");
  n.Right = Tree("B");
  EXPECT_EQ(n.GetDesc(), "(B)");
  n.Left = Tree("A");
  n.Right.reset();
  EXPECT_EQ(n.GetDescStd(), "(A,)");
  EXPECT_FALSE(n.HasSubTrees(Tree("(A,B)").get(), nullptr));
}

TEST(TreeModel, GetDistanceFollowsTheLeftPath) {
  auto t = Tree("((A,B),C)");
  auto* root = AsNode(t.get());
  auto* ab = AsNode(root->Left.get());
  ab->Left->Distance = 0.1;
  ab->Right->Distance = 7;
  ab->Distance = 0.25;
  root->Right->Distance = 0.35;
  EXPECT_EQ(ab->Left->GetDistance(), 0.1);
  EXPECT_EQ(ab->GetDistance(), 0.1 + 0.25);
  EXPECT_EQ(root->GetDistance(), (0.1 + 0.25) + 0.0);
}

TEST(TreeModel, CompareOrdersByCountDescending) {
  TKVTreeNodeItem a, b;
  a.Num = 5;
  b.Num = 3;
  EXPECT_EQ(CompareKVTreeNodes(&a, &b), -1);
  EXPECT_EQ(CompareKVTreeNodes(&b, &a), 1);
  b.Num = 5;
  EXPECT_EQ(CompareKVTreeNodes(&a, &b), 0);
  EXPECT_EQ(CompareKVTreeNodes(&a, nullptr), 0);
}

TEST(TreeText, ThreeVariantsOfOneTree) {
  auto t = Tree("((A,B)'85',C)'100'");
  auto* root = AsNode(t.get());
  auto* ab = AsNode(root->Left.get());
  ab->Left->Distance = 0.1;
  ab->Right->Distance = 0.1;
  ab->Distance = 0.25;
  root->Right->Distance = 0.35;
  EXPECT_EQ(t->GetDesc(), "((A,B)'85',C)'100'");
  EXPECT_EQ(t->GetDescStd(), "((A,B),C)");
  EXPECT_EQ(t->GetDescNbJoin(), "((A:0.1,B:0.1)'85':0.25,C:0.35)'100':0");
  root->Support = 0;
  EXPECT_EQ(t->GetDesc(), "((A,B)'85',C)");
  ab->Support = -3;  // any non-zero value is a label
  EXPECT_EQ(t->GetDesc(), "((A,B)'-3',C)");
}

TEST(TreeText, LeavesAndOddNames) {
  auto a = Tree("A");
  EXPECT_EQ(a->GetDesc(), "A");
  EXPECT_EQ(a->GetDescStd(), "A");
  EXPECT_EQ(a->GetDescNbJoin(), "A:0");
  // Names are written as they are, even when they hold the text's own punctuation.
  TKVTreeNode n;
  n.Left = Tree("x");
  n.Left->Name = "a:b c";
  n.Right = Tree("y");
  n.Right->Name = "'q'";
  n.Right->Distance = -0.5;
  n.Left->Distance = 2;
  EXPECT_EQ(n.GetDesc(), "(a:b c,'q')");
  EXPECT_EQ(n.GetDescNbJoin(), "(a:b c:2,'q':-0.5):0");
}

TEST(TreeText, DeepTreeIsWrittenWhole) {
  // A chain of 2000 taxa: the text is built in one buffer and ends as expected.
  std::unique_ptr<TKVTreeNodeItem> t = Tree("T0");
  std::string expect = "T0";
  for (int i = 1; i < 2000; ++i) {
    auto n = std::make_unique<TKVTreeNode>();
    n->Left = std::move(t);
    n->Right = Tree("T" + std::to_string(i));
    t = std::move(n);
    expect = "(" + expect + ",T" + std::to_string(i) + ")";
  }
  EXPECT_EQ(t->GetDescStd(), expect);
  EXPECT_EQ(t->GetMass(), 2000);
}

}  // namespace
}  // namespace ramovia
