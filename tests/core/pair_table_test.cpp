#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "analysis/draws.h"
#include "core/distance_fixtures.h"
#include "core/distance_literal.h"
#include "distance/presence.h"

namespace ramovia {
namespace {

using fixtures::allTaxa;
using fixtures::kNo;

PairCounts fastCount(const Dataset& d, int32_t x, int32_t y, const MarkerSample& sample) {
  const PairTableIndex index = PairTableIndex::build(d);
  const std::vector<int32_t> rows{x, y};
  SampleExpansion expansion;
  expansion.assign(index, rows, sample);
  return expansion.count(0, 1);
}

PairCounts literalCount(const Dataset& d, int32_t x, int32_t y, const MarkerSample& sample) {
  return literal::pairTable(d, x, y, sample);
}

PairCounts counts(int a, int b, int c, int d) {
  return PairCounts{a, b, c, d, a + b + c + d};
}

// Taxa x and y over blocks 0 (markers 1-4) and 1 (markers 5-8); z has no data in block 1.
struct TwoBlocks {
  static constexpr int32_t x = 0, y = 1, z = 2;
  Dataset data;
  TwoBlocks() {
    fixtures::TableBuilder t;
    t.addBlock({"x", "y", "z"}, {{1, 1, kNo, kNo}, {kNo, 1, 1, kNo}, {1, kNo, kNo, 1}});
    t.addBlock({"x", "y"}, {{1, 1, kNo, kNo}, {kNo, 1, 1, kNo}});
    data = t.build(false);
    // A marker nobody shows still stands in the data set's list.
    data.markers.push_back(Marker{8, "8", 1});
  }
  MarkerSample all() const { return allPositions(data.markerCount()); }
  MarkerSample sampleOf(std::initializer_list<int32_t> numbers) const {
    MarkerSample s;
    for (int32_t n : numbers) s.push_back(fixtures::positionOf(data, n));
    return s;
  }
};

TEST(PairTable, CountsOverTheWholeList) {
  TwoBlocks t;
  EXPECT_EQ(fastCount(t.data, t.x, t.y, t.all()), counts(2, 2, 2, 2));
  EXPECT_EQ(literalCount(t.data, t.x, t.y, t.all()), counts(2, 2, 2, 2));
}

TEST(PairTable, MissingBlockIsLeftOutForEveryPairWithThatTaxon) {
  TwoBlocks t;
  // x has 5 and 6 of block 1, but z has no data there: only block 0 counts.
  EXPECT_EQ(fastCount(t.data, t.x, t.z, t.all()), counts(1, 1, 1, 1));
  EXPECT_EQ(fastCount(t.data, t.z, t.y, t.all()), counts(0, 2, 2, 0));
  EXPECT_EQ(fastCount(t.data, t.x, t.y, t.all()), counts(2, 2, 2, 2));
  // A taxon that holds markers of a block it also has no data in (names merged by the cut).
  fixtures::appendScore(t.data, t.z, Score{5, 1.0});
  EXPECT_EQ(fastCount(t.data, t.x, t.z, t.all()), counts(1, 1, 1, 1));
}

TEST(PairTable, EverythingLeftOutGivesAnEmptyTable) {
  TwoBlocks t;
  t.data.taxa[t.x].missingBlocks.push_back(0);
  EXPECT_EQ(fastCount(t.data, t.x, t.z, t.all()), PairCounts{});
  EXPECT_EQ(similarityOf(Coefficient::Dice, PairCounts{}, false, 0), 0.0);
}

TEST(PairTable, RepeatedSampleEntriesCountEachTime) {
  TwoBlocks t;
  const MarkerSample sample = t.sampleOf({2, 2, 2, 1, 8, 8});
  EXPECT_EQ(fastCount(t.data, t.x, t.y, sample), counts(3, 1, 0, 2));
  EXPECT_EQ(literalCount(t.data, t.x, t.y, sample), counts(3, 1, 0, 2));
}

TEST(PairTable, PresenceIsByNumberOnly) {
  TwoBlocks t;
  fixtures::appendScore(t.data, t.x, Score{2, 0.5});  // the same number twice
  // A position past the list: a marker nobody holds.
  const MarkerSample sample{t.data.markerCount(), fixtures::positionOf(t.data, 2)};
  EXPECT_EQ(fastCount(t.data, t.x, t.y, sample), counts(1, 0, 0, 1));
}

TEST(PairTable, MissingIdsOfNoBlockChangeNothing) {
  TwoBlocks t;
  for (int32_t id : {7, -1, 2}) t.data.taxa[t.x].missingBlocks.push_back(id);
  EXPECT_EQ(fastCount(t.data, t.x, t.y, t.all()), counts(2, 2, 2, 2));
  t.data.taxa[t.y].missingBlocks = {0, 0};
  EXPECT_EQ(fastCount(t.data, t.x, t.y, t.all()), counts(1, 1, 1, 1));
}

TEST(PairTable, IndexIsReadThroughTheRowsGiven) {
  TwoBlocks t;
  const PairTableIndex index = PairTableIndex::build(t.data);
  const std::vector<int32_t> rows{t.z, t.x, 9};  // 9: a row the index lacks
  SampleExpansion expansion;
  expansion.assign(index, rows, t.all());
  EXPECT_EQ(expansion.count(1, 0), counts(1, 1, 1, 1));
  EXPECT_EQ(expansion.count(1, 2), counts(0, 4, 0, 4)) << "an unknown row holds nothing";
  fixtures::appendScore(t.data, t.z, Score{3, 1.0});
  expansion.assign(index, rows, t.all());  // stale index: the new score is not seen
  EXPECT_EQ(expansion.count(1, 0), counts(1, 1, 1, 1));
  const PairTableIndex rebuilt = PairTableIndex::build(t.data);
  expansion.assign(rebuilt, rows, t.all());
  EXPECT_EQ(expansion.count(1, 0), counts(1, 1, 2, 0));
  EXPECT_EQ(expansion.count(0, 1), counts(1, 2, 1, 0));
}

// Every pair of a random data set over random samples, with the taxa reordered and some left out.
TEST(PairTable, FastEqualsLiteralOnRandomDataSets) {
  std::mt19937 rng(20240611);
  SampleExpansion expansion;  // reused across data sets, as a replicate loop does
  MarkerSample drawn;
  std::vector<uint8_t> seen;
  for (int round = 0; round < 44; ++round) {
    // The last rounds span several 64-bit words of rows and of entries.
    const int taxa = round < 40 ? 2 + static_cast<int>(rng() % 14) : 60 + static_cast<int>(rng() % 90);
    const int blocks = 1 + static_cast<int>(rng() % (round < 40 ? 4 : 10));
    const int perBlock = static_cast<int>(rng() % 90);
    const Dataset data = fixtures::randomPresenceSet(rng, taxa, blocks, perBlock);
    const PairTableIndex index = PairTableIndex::build(data);
    Random random(static_cast<uint32_t>(round));
    TaxonSubset order = allTaxa(data);
    std::shuffle(order.begin(), order.end(), rng);
    if (round % 3 == 0 && taxa > 2) order = leaveOutTaxa(random, order, 1);
    const auto count = static_cast<int32_t>(rng() % static_cast<uint32_t>(data.markerCount() + 3));
    drawMarkerSample(random, data.markerCount(), count, round % 2 == 0, drawn, seen);
    if (round % 5 == 0) drawn.push_back(data.markerCount());
    for (const MarkerSample& sample : {allPositions(data.markerCount()), drawn}) {
      expansion.assign(index, order, sample);
      const auto n = static_cast<int32_t>(order.size());
      for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j)
          ASSERT_EQ(expansion.count(i, j), literalCount(data, order[static_cast<std::size_t>(i)],
                                                        order[static_cast<std::size_t>(j)], sample))
              << "round " << round << " pair " << i << "," << j;
      std::vector<PairCounts> row(static_cast<std::size_t>(n));
      for (int32_t i = 0; i < n; ++i) {
        expansion.countRow(i, 0, n, row.data());
        for (int32_t j = 0; j < n; ++j)
          ASSERT_EQ(row[static_cast<std::size_t>(j)], expansion.count(i, j)) << "row " << i;
      }
    }
  }
}

TEST(PairTable, OneIndexServesSeveralThreads) {
  std::mt19937 rng(5);
  const Dataset data = fixtures::randomPresenceSet(rng, 30, 3, 200);
  Random random;
  MarkerSample drawn;
  std::vector<uint8_t> seen;
  drawMarkerSample(random, data.markerCount(), data.markerCount(), false, drawn, seen);
  const PairTableIndex index = PairTableIndex::build(data);
  const TaxonSubset taxa = allTaxa(data);
  SquareMatrix out[2];
  std::vector<std::thread> threads;
  for (auto& m : out) {
    threads.emplace_back([&, target = &m] {
      SampleExpansion s;
      for (Coefficient c :
           {Coefficient::Dice, Coefficient::Ochiai, Coefficient::NucleotideDivergence}) {
        s.assign(index, taxa, drawn);
        computeSimilarityMatrix(s, c, false, true, 6.0, *target);
      }
    });
  }
  for (auto& t : threads) t.join();
  SquareMatrix expected;
  literal::similarityMatrix(data, taxa, drawn, Coefficient::NucleotideDivergence, false, true, 6.0,
                            expected);
  for (const auto& m : out)
    for (int i = 1; i <= 30; ++i)
      for (int j = 1; j <= 30; ++j)
        if (i != j) {
          ASSERT_EQ(m(i, j), expected(i, j));
        }
}

}  // namespace
}  // namespace ramovia
