#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/tree_test_util.h"
#include "output/tree_text.h"
#include "tree/clade_support.h"
#include "tree/tree_list.h"

namespace ramovia {
namespace {

using testing::readTree;

// Trees of a shared taxon list, read from text.
struct Trees {
  std::vector<Taxon> taxa;
  Tree operator()(const std::string& text) { return readTree(text, taxa).tree; }
  void add(TreeList& list, const std::string& text, int count = 1) {
    const Tree t = (*this)(text);
    for (int k = 0; k < count; ++k) list.add(t);
  }
  std::vector<std::string> order(const TreeList& list) const {
    std::vector<std::string> out;
    for (const TreeList::Entry& e : list.entries()) out.push_back(plainText(e.tree, taxa));
    return out;
  }
};

TEST(TreeList, MergesTreesOfTheSameClades) {
  Trees t;
  TreeList list;
  t.add(list, "((A,B),C)", 3);
  t.add(list, "((A,C),B)");
  t.add(list, "(C,(B,A))");  // the same clades drawn the other way round
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].count, 4);
  EXPECT_EQ(list[1].count, 1);
  EXPECT_EQ(t.order(list), (std::vector<std::string>{"((A,B),C)", "((A,C),B)"}));
  // Lengths are no part of a topology; a tree over other taxa is another tree.
  t.add(list, "((A:1,B:2):3,C:4)");
  t.add(list, "((A,B),D)");
  ASSERT_EQ(list.size(), 3);
  EXPECT_EQ(list[0].count, 5);
  EXPECT_EQ(list.total(), 7);
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.total(), 0);
  t.add(list, "((A,C),B)");
  EXPECT_EQ(list[0].count, 1);
}

TEST(TreeList, EqualHashesOfOtherTreesStaySeparate) {
  Trees t;
  TreeList list;
  const auto add = [&](const char* text) {
    Tree tree = t(text);
    std::vector<int32_t> order = canonicalOrder(tree);
    list.add(std::move(tree), 7, std::move(order));  // a collision: the hash alone decides nothing
  };
  add("((A,B),C)");
  add("((A,C),B)");
  add("(C,(A,B))");
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].count, 2);
  EXPECT_EQ(topologyHash(t("(C,(B,A))")), topologyHash(t("((A,B),C)")));
  EXPECT_TRUE(sameTopology(t("(((A,B),C),(D,E))"), t("((E,D),(C,(B,A)))")));
  EXPECT_FALSE(sameTopology(t("(((A,B),C),(D,E))"), t("(((A,C),B),(D,E))")));
  EXPECT_FALSE(sameTopology(t("((A,B),C)"), t("(A,B)")));
  EXPECT_FALSE(sameTopology(t("((A,B),C)"), t("((A,B),D)")));
}

TEST(TreeList, SortTieOrders) {
  Trees t;
  TreeList e;
  t.add(e, "(T1,x)", 3);
  t.add(e, "(T2,x)", 5);
  t.add(e, "(T3,x)", 5);
  e.sort();
  EXPECT_EQ(t.order(e), (std::vector<std::string>{"(T3,x)", "(T2,x)", "(T1,x)"}));
  e.sort();
  EXPECT_EQ(t.order(e), (std::vector<std::string>{"(T2,x)", "(T3,x)", "(T1,x)"}));

  TreeList f;
  for (const char* text : {"(T1,x)", "(T2,x)", "(T3,x)", "(T4,x)"}) t.add(f, text, 2);
  f.sort();
  EXPECT_EQ(t.order(f), (std::vector<std::string>{"(T3,x)", "(T4,x)", "(T1,x)", "(T2,x)"}));
  f.sort();
  EXPECT_EQ(t.order(f), (std::vector<std::string>{"(T1,x)", "(T2,x)", "(T3,x)", "(T4,x)"}));
  // The merge lookup survives the sort.
  t.add(f, "(T3,x)");
  EXPECT_EQ(f.size(), 4);
  EXPECT_EQ(f[2].count, 3);

  TreeList empty;
  empty.sort();
  EXPECT_EQ(empty.size(), 0);
}

TEST(TreeList, SortPutsCountsInDescendingOrder) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> count(1, 6);
  Trees t;
  TreeList e;
  for (int k = 0; k < 300; ++k) t.add(e, "(T" + std::to_string(k) + ",x)", count(gen));
  e.sort();
  ASSERT_EQ(e.size(), 300);
  for (int i = 1; i < e.size(); ++i) EXPECT_GE(e[i - 1].count, e[i].count);
}

// The support walked literally: every listed tree that holds all taxa of the clade covers it, a
// hit when one of its clades has exactly those taxa; each tree counted as often as it was built.
int32_t walkedSupport(const TreeList& list, const Tree& tree, int32_t node) {
  if (tree[node].isLeaf()) return 0;
  std::vector<int32_t> clade = tree.leafTaxa(node);
  std::sort(clade.begin(), clade.end());
  int64_t covered = 0, hits = 0;
  for (const TreeList::Entry& e : list.entries()) {
    std::vector<int32_t> held = e.tree.leafTaxa(e.tree.root());
    std::sort(held.begin(), held.end());
    if (!std::includes(held.begin(), held.end(), clade.begin(), clade.end())) continue;
    covered += e.count;
    for (int32_t x = 0; x <= e.tree.root(); ++x) {
      if (e.tree[x].isLeaf()) continue;
      std::vector<int32_t> other = e.tree.leafTaxa(x);
      std::sort(other.begin(), other.end());
      if (other == clade) {
        hits += e.count;
        break;
      }
    }
  }
  return roundSupport(hits, covered);
}

TEST(CladeSupport, WeightedByCountsRoundedHalfToEven) {
  Trees t;
  TreeList list;
  t.add(list, "((A,B),C)", 1);
  t.add(list, "((A,C),B)", 7);
  const CladeSupportIndex index(list, 3);
  const Tree ab = t("((A,B),C)");
  EXPECT_EQ(index.support(ab, ab[ab.root()].left), 12);
  EXPECT_EQ(walkedSupport(list, ab, ab[ab.root()].left), 12);
  const Tree ac = t("((A,C),B)");
  EXPECT_EQ(index.supportOf(ac), (std::vector<int32_t>{0, 0, 88, 0, 100}));
  EXPECT_EQ(index.support(ac, ac[ac.root()].right), 0);  // a single leaf
  EXPECT_EQ(roundSupport(1, 8), 12);
  EXPECT_EQ(roundSupport(7, 8), 88);
  EXPECT_EQ(roundSupport(3, 8), 38);  // 37.5
  EXPECT_EQ(roundSupport(5, 8), 62);  // 62.5
  EXPECT_EQ(roundSupport(1, 3), 33);
  EXPECT_EQ(roundSupport(0, 0), 0);
}

TEST(CladeSupport, FindsCladesByTheirTaxaInAnyOrder) {
  Trees t;
  TreeList list;
  t.add(list, "(((A,B),C),(D,E))");
  t("F");
  const CladeSupportIndex index(list, 6);
  const auto root = [&](const std::string& text) {
    const Tree x = t(text);
    return index.support(x, x.root());
  };
  for (const char* hit : {"((E,D),(C,(B,A)))", "(B,A)", "(C,(A,B))", "(E,D)"})
    EXPECT_EQ(root(hit), 100) << hit;
  for (const char* miss : {"(A,C)", "((A,B),D)"}) EXPECT_EQ(root(miss), 0) << miss;
  // Not covered: a taxon the tree lacks, or more taxa than it holds.
  EXPECT_EQ(root("(((A,B),C),(D,F))"), 0);
  EXPECT_EQ(root("((((A,B),C),(D,E)),F)"), 0);
  EXPECT_EQ(root("C"), 0);  // a single taxon is never a clade
}

TEST(CladeSupport, OnlyTreesWithAllTaxaOfTheCladeCount) {
  Trees t;
  TreeList list;
  t.add(list, "((A,B),C)", 2);
  t.add(list, "(A,C)", 5);      // lacks B: not covered for (A,B)
  t.add(list, "((A,C),D)", 3);  // has no clade (A,B), lacks B as well
  t.add(list, "((A,D),B)", 4);  // covered, no hit
  const Tree ab = t("(A,B)");
  EXPECT_EQ(CladeSupportIndex(list, 4).support(ab, ab.root()), 33);  // 2 of 6
  EXPECT_EQ(walkedSupport(list, ab, ab.root()), 33);
  // A taxon no tree holds, within the index's taxa or past them.
  const Tree az = t("(A,Z)");
  EXPECT_EQ(CladeSupportIndex(list, 5).support(az, az.root()), 0);
  EXPECT_EQ(CladeSupportIndex(list, 4).support(az, az.root()), 0);
  EXPECT_EQ(walkedSupport(list, az, az.root()), 0);
  // The index is of the list as it stood.
  t.add(list, "((A,B),D)", 4);
  EXPECT_EQ(CladeSupportIndex(list, 5).support(ab, ab.root()), 60);
  EXPECT_EQ(CladeSupportIndex(TreeList{}, 5).support(ab, ab.root()), 0);
}

// A random tree over a random subset of the taxa 0 .. taxa - 1.
Tree randomTree(std::mt19937& gen, int taxa, int minTaxa) {
  std::vector<int32_t> chosen(static_cast<std::size_t>(taxa));
  for (int k = 0; k < taxa; ++k) chosen[static_cast<std::size_t>(k)] = k;
  std::shuffle(chosen.begin(), chosen.end(), gen);
  std::uniform_int_distribution<int> size(minTaxa, taxa);
  chosen.resize(static_cast<std::size_t>(size(gen)));
  Tree tree;
  std::vector<int32_t> parts;
  for (const int32_t taxon : chosen) parts.push_back(tree.addLeaf(taxon));
  // Mostly joins among the first few parts, so that clades recur between trees.
  while (parts.size() > 1) {
    std::uniform_int_distribution<std::size_t> pick(0, std::min<std::size_t>(parts.size() - 1, 3));
    std::size_t a = pick(gen), b = pick(gen);
    if (a == b) b = (a + 1) % parts.size();
    if (a > b) std::swap(a, b);
    parts[a] = tree.addInner(parts[a], parts[b]);
    parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(b));
  }
  return tree;
}

void expectAllCladesAgree(const CladeSupportIndex& index, const TreeList& list, const Tree& tree,
                          int& partial) {
  const std::vector<int32_t> fast = index.supportOf(tree);
  for (int32_t x = 0; x <= tree.root(); ++x) {
    ASSERT_EQ(fast[static_cast<std::size_t>(x)], walkedSupport(list, tree, x)) << "node " << x;
    if (fast[static_cast<std::size_t>(x)] > 0 && fast[static_cast<std::size_t>(x)] < 100) ++partial;
  }
}

TEST(CladeSupport, IndexMatchesTheWalkOnRandomTrees) {
  std::mt19937 gen(99);
  int partial = 0;
  int round = 0;
  // Past 64 taxa the bit sets take several words.
  for (const int taxa : {4, 12, 20, 28, 36, 44, 52, 63, 64, 65, 68, 129}) {
    TreeList list;
    std::uniform_int_distribution<int> count(1, 3);
    const int minTaxa = round++ % 2 == 0 ? taxa : 2;  // all taxa, or a jackknife
    for (int k = 0; k < 40; ++k) {
      const Tree tree = randomTree(gen, taxa, minTaxa);
      for (int c = count(gen); c > 0; --c) list.add(tree);
    }
    const CladeSupportIndex index(list, taxa);
    for (int q = 0; q < 2; ++q) {
      expectAllCladesAgree(index, list, randomTree(gen, taxa, taxa), partial);
      // Clades taken from listed trees are hits by construction.
      expectAllCladesAgree(index, list, list[q].tree, partial);
    }
  }
  EXPECT_GT(partial, 30);
}

}  // namespace
}  // namespace ramovia
