// Trees seen unrooted: topologies for any root, split and transfer support, consensus trees.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "analysis/unrooted.h"
#include "core/tree_test_util.h"
#include "output/tree_text.h"
#include "tree/consensus.h"
#include "tree/multi_tree.h"
#include "tree/transfer.h"

namespace ramovia {
namespace {

using testing::readTree;

struct Trees {
  std::vector<Taxon> taxa;
  Tree operator()(const char* text) { return readTree(text, taxa).tree; }
  int32_t node(const Tree& t, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    for (int32_t x = 0; x < static_cast<int32_t>(t.nodes.size()); ++x) {
      std::vector<std::string> below;
      for (const int32_t k : t.leafTaxa(x)) below.push_back(taxa[static_cast<std::size_t>(k)].name.str());
      std::sort(below.begin(), below.end());
      if (below == names) return x;
    }
    return -1;
  }
};

TEST(Unrooted, RootingsOfOneTreeAreOneTopology) {
  Trees t;
  TreeList list;
  const char* rootings[] = {"(((A,B),C),(D,E))", "((A,B),(C,(D,E)))", "(A,(B,(C,(D,E))))",
                            "((((A,B),C),D),E)"};
  for (const char* r : rootings) list.add(t(r));
  list.add(t("(((A,C),B),(D,E))"));
  const UnrootedSummary u = summarizeUnrooted(list, 5, nullptr, 2);
  ASSERT_EQ(u.topologies.size(), 2u);
  EXPECT_EQ(u.topologies[0].count, 4);
  EXPECT_EQ(u.topologies[1].count, 1);
  // The same unrooted text whatever the root.
  const std::string text = newickText(unrootedAtSmallestTaxon(t(rootings[0])), t.taxa, false);
  EXPECT_EQ(text, "(A,B,(C,(D,E)));\n");
  for (const char* r : rootings)
    EXPECT_EQ(newickText(unrootedAtSmallestTaxon(t(r)), t.taxa, false), text) << r;
}

TEST(Unrooted, SplitSupportCountsBipartitionsWhateverTheRoot) {
  Trees t;
  const Tree reference = t("((A,B),(C,(D,E)))");
  TreeList list;
  list.add(t("(((A,B),C),(D,E))"));
  list.add(t("(A,(B,(C,(D,E))))"));
  list.add(t("((((D,E),C),B),A)"));
  list.add(t("(((A,C),B),(D,E))"));
  const UnrootedSummary u = summarizeUnrooted(list, 5, &reference, 1);
  const int32_t ab = t.node(reference, {"A", "B"});
  const int32_t cde = t.node(reference, {"C", "D", "E"});
  const int32_t de = t.node(reference, {"D", "E"});
  // AB|CDE is one branch with the root on it: both nodes carry it.
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(ab)], 75);
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(cde)], 75);
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(de)], 100);
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(reference.root())], -1);
  // Every replicate holds DE: its transfer support is 100 too.
  EXPECT_EQ(u.transferSupport[static_cast<std::size_t>(de)], 100);
}

TEST(Unrooted, TransferDistanceMovesTheFewestTaxa) {
  Trees t;
  // ABC|DEFG, smaller side 3; the other tree's closest branch ABD|CEFG moves one taxon.
  const Tree reference = t("(((A,B),C),(D,(E,(F,G))))");
  const Tree other = t("(((A,B),D),(C,(E,(F,G))))");
  const SplitSet splits(reference, 7);
  TransferScratch scratch;
  std::vector<int32_t> distance, smallSide;
  transferDistances(reference, splits, other, 7, scratch, distance, smallSide);
  const int32_t k = splits.splitOfNode(t.node(reference, {"A", "B", "C"}));
  ASSERT_GE(k, 0);
  EXPECT_EQ(distance[static_cast<std::size_t>(k)], 1);
  EXPECT_EQ(smallSide[static_cast<std::size_t>(k)], 3);
  TreeList list;
  list.add(other);
  const UnrootedSummary u = summarizeUnrooted(list, 7, &reference, 1);
  // 1 - 1 / (3 - 1).
  EXPECT_EQ(u.transferSupport[static_cast<std::size_t>(t.node(reference, {"A", "B", "C"}))], 50);
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(t.node(reference, {"A", "B", "C"}))], 0);
}

// Random joins of the given taxa (children before parents, as the builders leave them).
Tree randomTree(std::vector<int32_t> taxa, std::mt19937& rng) {
  Tree t;
  std::vector<int32_t> open;
  for (const int32_t x : taxa) open.push_back(t.addLeaf(x));
  while (open.size() > 1) {
    std::swap(open[rng() % open.size()], open.back());
    const int32_t a = open.back();
    open.pop_back();
    std::swap(open[rng() % open.size()], open.back());
    const int32_t b = open.back();
    open.back() = t.addInner(a, b);
  }
  return t;
}

TEST(Unrooted, TransferDistancesEqualTheDefinitionOnRandomTrees) {
  std::mt19937 rng(14);
  for (int round = 0; round < 60; ++round) {
    const int32_t taxa = 4 + static_cast<int32_t>(rng() % 40);
    std::vector<int32_t> all(static_cast<std::size_t>(taxa)), some;
    std::iota(all.begin(), all.end(), 0);
    for (const int32_t x : all)
      if (round % 3 == 0 || rng() % 4 != 0) some.push_back(x);
    if (some.empty()) some.push_back(0);
    const Tree reference = randomTree(all, rng);
    const Tree other = randomTree(some, rng);
    const SplitSet splits(reference, taxa);
    const SplitSet held(other, taxa);
    TransferScratch scratch;
    std::vector<int32_t> distance, smallSide;
    transferDistances(reference, splits, other, taxa, scratch, distance, smallSide);
    const auto m = static_cast<int32_t>(some.size());
    for (int32_t k = 0; k < splits.size(); ++k) {
      std::vector<bool> side(static_cast<std::size_t>(taxa));
      int32_t inside = 0;
      for (const int32_t x : some)
        if (bits::test(splits.bits(k), x)) side[static_cast<std::size_t>(x)] = true, ++inside;
      const int32_t p = std::min(inside, m - inside);
      int32_t best = p;
      for (int32_t v = 0; v < static_cast<int32_t>(other.nodes.size()); ++v) {
        int32_t x = inside;
        for (const int32_t leaf : other.leafTaxa(v))
          x += side[static_cast<std::size_t>(leaf)] ? -1 : 1;
        best = std::min({best, x, m - x});
      }
      SCOPED_TRACE(::testing::Message() << "round " << round << ", split " << k);
      EXPECT_EQ(smallSide[static_cast<std::size_t>(k)], p < 2 ? 0 : p);
      EXPECT_EQ(distance[static_cast<std::size_t>(k)], p < 2 ? 0 : best);
    }
  }
}

TEST(Unrooted, TaxaLeftOutAreComparedOnTheTaxaBothTreesHold) {
  Trees t;
  const Tree reference = t("(((A,B),C),(D,E))");
  TreeList list;
  list.add(t("((A,B),(D,E))"));  // no C: AB|DE is the reference's ABC|DE restricted
  list.add(t("((A,B),C)"));      // no D, E: ABC|DE says nothing here
  const UnrootedSummary u = summarizeUnrooted(list, 5, &reference, 1);
  EXPECT_FALSE(u.everyTaxon);
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(t.node(reference, {"A", "B", "C"}))], 100);
  // AB|CDE: the first tree has AB|DE; the second, three taxa, has no split of two and two.
  EXPECT_EQ(u.splitSupport[static_cast<std::size_t>(t.node(reference, {"A", "B"}))], 100);
}

TEST(Consensus, MajorityStrictAndExtendedWithItsTieOrder) {
  Trees t;
  TreeList list;
  // AB in all four; CD in two, CE in two (incompatible, equal counts: the first seen wins).
  list.add(t("(((A,B),F),((C,D),E))"));
  list.add(t("(((A,B),F),((C,E),D))"));
  list.add(t("(((A,B),F),((C,D),E))"));
  list.add(t("(((A,B),F),((C,E),D))"));
  const UnrootedSummary u = summarizeUnrooted(list, 6, nullptr, 1);
  const SplitCounts& c = u.splits;
  ASSERT_TRUE(u.everyTaxon);
  EXPECT_EQ(c.trees(), 4);
  const auto text = [&](ConsensusRule rule) {
    return newickText(consensusTree(c, consensusSplits(c, rule, 50.0), false), t.taxa, false);
  };
  // Drawn from A (taxa in order of first appearance: A B F C D E).
  EXPECT_EQ(text(ConsensusRule::Strict), "(A,B,(F,(C,D,E)100)100);\n");
  EXPECT_EQ(text(ConsensusRule::Majority), "(A,B,(F,(C,D,E)100)100);\n");
  EXPECT_EQ(text(ConsensusRule::Extended), "(A,B,(F,((C,D)50,E)100)100);\n");
}

TEST(Consensus, MeanLengthsOfTheReplicatesBranches) {
  Trees t;
  TreeList list;
  list.add(t("((A:1,B:1):2,(C:1,D:1):2)"));
  list.add(t("((A:3,B:1):4,(C:1,D:1):0)"));
  const UnrootedSummary u = summarizeUnrooted(list, 4, nullptr, 1);
  const SplitCounts& c = u.splits;
  ASSERT_EQ(c.size(), 1);
  // The branch at the root is one: 2 + 2 and 4 + 0.
  EXPECT_EQ(c.meanLength(0), 4.0);
  EXPECT_EQ(c.meanLeafLength(0), 2.0);
  EXPECT_EQ(newickText(consensusTree(c, consensusSplits(c, ConsensusRule::Extended, 50), true),
                       t.taxa, true),
            "(A:2,B:1,(C:1,D:1)100:4);\n");
}

}  // namespace
}  // namespace ramovia
