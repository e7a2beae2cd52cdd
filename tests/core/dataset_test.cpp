#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "dataset_util.h"
#include "model/dataset.h"
#include "model/matrix.h"
#include "model/names.h"

namespace ramovia {
namespace {

using V = std::vector<int>;

std::vector<Score> scores(std::initializer_list<int> numbers) {
  std::vector<Score> s;
  for (int n : numbers) s.push_back(Score{n, 1.0});
  return s;
}
std::vector<Marker> markers(std::initializer_list<int> numbers) {
  std::vector<Marker> m;
  for (int n : numbers) m.push_back(Marker{n, Name(std::to_string(n * 100)), n / 10});
  return m;
}
V numbers(std::span<const Score> s) {
  V n;
  for (const auto& x : s) n.push_back(x.marker);
  return n;
}
V numbers(const std::vector<Marker>& m) {
  V n;
  for (const auto& x : m) n.push_back(x.number);
  return n;
}

TEST(Names, CutWhenStoredAndIndexErrorsNameThePosition) {
  Name a = std::string(25, 'x');
  EXPECT_EQ(a.size(), 20u);
  BlockName e = std::string(60, 'y');
  EXPECT_EQ(e.size(), 50u);
  Taxon t;
  t.name = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(t.name.str(), "abcdefghijklmnopqrst");
  // Bytes, not characters: a two-byte character across the limit is split.
  EXPECT_EQ(Name(std::string(19, 'a') + "\xC3\xA9").str(), std::string(19, 'a') + "\xC3");

  const ListIndexError err(0);
  EXPECT_STREQ(err.what(), "List index out of bounds (0)");
  EXPECT_EQ(ListIndexError(-3).index(), -3);
}

TEST(Dataset, TaxonIndexByExactName) {
  Dataset d;
  for (const char* n : {"A", "B", "C"}) d.taxa.push_back(Taxon{n, {}});
  EXPECT_EQ(d.taxonIndex("A"), 0);
  EXPECT_EQ(d.taxonIndex("C"), 2);
  EXPECT_EQ(d.taxonIndex("Z"), -1);
}

TEST(DistinctMarkers, FirstCarrierFirstAndTheFirstKnownDescription) {
  const std::vector<Score> a = scores({2, 1}), b = scores({1, 3}), c = scores({});
  std::vector<Marker> first = markers({1, 2});
  const std::vector<Marker> second = {Marker{1, "other", 5}, Marker{3, "300", 0}};
  const auto out = distinctMarkers({a, b, c}, {&first, &second});
  ASSERT_EQ(numbers(out), (V{2, 1, 3}));
  EXPECT_EQ(out[1].label.str(), "100");  // the first list's, not the second's
  EXPECT_EQ(out[1].block, 0);
  EXPECT_EQ(out[2].label.str(), "300");
  // A number no list knows is labelled by itself.
  const std::vector<Score> d = scores({9});
  const auto unknown = distinctMarkers({d}, {&first});
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].label.str(), "9");
  EXPECT_EQ(unknown[0].block, -1);
  // A caller's promise that the lists know every number changes nothing, kept or broken.
  EXPECT_EQ(numbers(distinctMarkers({a, b, c}, {&first, &second}, true)), numbers(out));
  EXPECT_EQ(distinctMarkers({d}, {&first}, true)[0].label.str(), "9");
  // Numbers far apart (no table by number) give the same answer.
  const std::vector<Score> far = scores({2000000000, 1, 2000000000, -5});
  const std::vector<Marker> farKnown = {Marker{-5, "minus", 2}, Marker{2000000000, "big", 1}};
  const auto spread = distinctMarkers({far}, {&farKnown});
  ASSERT_EQ(numbers(spread), (V{2000000000, 1, -5}));
  EXPECT_EQ(spread[0].label.str(), "big");
  EXPECT_EQ(spread[1].label.str(), "1");
  EXPECT_EQ(spread[2].block, 2);
}

// Two blocks over columns A, B, A: B has no data in block 1, A's second column none in block 0.
TEST(MergeBlocks, TaxaByNameMissingBlocksAndScoresBlockAfterBlock) {
  ScoreStore store;
  const auto column = [&store](const char* name, std::initializer_list<int> numbers) {
    BlockTaxon c{name, -1, store.size(), numbers.size()};
    for (int n : numbers) store.push_back(Score{n, 1.0});
    return c;
  };
  std::vector<Block> blocks(2);
  blocks[0].id = 0;
  blocks[0].siteLength = 4;
  blocks[0].markers = markers({1, 2});
  blocks[0].taxa = {column("A", {1}), column("B", {2}), column("A", {7})};
  blocks[1].id = 1;
  blocks[1].siteLength = 2.5;
  blocks[1].markers = markers({3});
  blocks[1].taxa = {column("A", {3}), column("B", {}), column("A", {3})};
  const Dataset d = mergeBlocks(blocks, store, {{1, 1, 0}, {1, 0, 1}}, true);
  EXPECT_TRUE(d.frequencies);
  ASSERT_EQ(d.taxa.size(), 2u);
  EXPECT_EQ(d.taxa[0].name.str(), "A");
  // A column without data leaves its scores (7) behind.
  EXPECT_EQ(numbers(taxonScores(d, 0)), (V{1, 3, 3}));
  EXPECT_EQ(d.taxa[0].missingBlocks, (V{0}));
  EXPECT_EQ(numbers(taxonScores(d, 1)), (V{2}));
  EXPECT_EQ(d.scores.size(), 4u);
  EXPECT_EQ(d.taxa[1].missingBlocks, (V{1}));
  EXPECT_EQ(d.siteLength, 6.5);
  EXPECT_EQ(numbers(d.markers), (V{1, 3, 2}));
  EXPECT_EQ(d.markers[1].label.str(), "300");
  // Columns without data leave their block; the others point at their taxon.
  ASSERT_EQ(d.blocks[0].taxa.size(), 2u);
  EXPECT_EQ(d.blocks[0].taxa[1].taxon, 1);
  ASSERT_EQ(d.blocks[1].taxa.size(), 2u);
  EXPECT_EQ(d.blocks[1].taxa[1].taxon, 0);
  EXPECT_EQ(firstColumns(d.blocks[1], 2), (V{0, -1}));
  // Runs given out of block order are gathered in order; a copy reads the same.
  std::vector<Block> swapped = blocks;
  std::swap(swapped[0].taxa, swapped[1].taxa);
  std::swap(swapped[0].markers, swapped[1].markers);
  const Dataset e = mergeBlocks(swapped, store, {{1, 0, 1}, {1, 1, 0}}, true);
  const Dataset copy = e;
  EXPECT_EQ(numbers(taxonScores(copy, 0)), (V{3, 3, 1}));
  EXPECT_EQ(numbers(copy.scoresOf(copy.blocks[1].taxa[1])), (V{2}));
  blocks[0].taxa[0].count = 99;
  EXPECT_THROW(mergeBlocks(blocks, store, {{1, 1, 0}, {1, 0, 1}}, true), std::out_of_range);
}

TEST(FirstColumns, FirstColumnOfEachTaxonAndNoneForOthers) {
  Block b;
  b.taxa = {BlockTaxon{"B", 1, {}}, BlockTaxon{"A", 0, {}}, BlockTaxon{"B", 1, {}},
            BlockTaxon{"?", -1, {}}, BlockTaxon{"X", 7, {}}};
  EXPECT_EQ(firstColumns(b, 3), (V{1, 0, -1}));
  EXPECT_TRUE(firstColumns(b, 0).empty());
}

TEST(SquareMatrix, GrowsOnDemandKeepingItsValues) {
  SquareMatrix m;
  m.reserve(3);
  m(3, 2) = 0.5;
  m.reserve(250);
  EXPECT_EQ(m(3, 2), 0.5);
  EXPECT_EQ(m(250, 250), 0.0);
  m.reserve(10);  // never shrinks
  EXPECT_EQ(m.capacity(), 250);
  EXPECT_EQ(m(3, 2), 0.5);
}

}  // namespace
}  // namespace ramovia
