#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "core/distance_fixtures.h"
#include "core/distance_literal.h"
#include "distance/coefficients.h"
#include "distance/pair_table.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

using fixtures::AddTaxon;
using fixtures::Fragment;

PairCounts FastCount(const TEnzym& e, const TDruh* x, const TDruh* y,
                     const std::vector<std::unique_ptr<TFragment>>& sample) {
  const PairTableIndex index = PairTableIndex::Build(e);
  const std::vector<const TDruh*> taxa{x, y};
  SampleExpansion expansion;
  expansion.Assign(index, taxa, sample);
  return expansion.Count(0, 1);
}

PairCounts Counts(int a, int b, int c, int d) {
  return PairCounts{a, b, c, d, a + b + c + d};
}

// Taxa x and y over blocks 0 (nums 1-4) and 1 (nums 5-8); z has no data for block 1.
struct TwoBlocks {
  TEnzym e;
  TDruh* x;
  TDruh* y;
  TDruh* z;
  TwoBlocks() {
    x = AddTaxon(e, "x");
    y = AddTaxon(e, "y");
    z = AddTaxon(e, "z");
    for (int n : {1, 2, 5, 6}) x->AddFragment(Fragment(n, n <= 4 ? 0 : 1, 1, ""));
    for (int n : {2, 3, 6, 7}) y->AddFragment(Fragment(n, n <= 4 ? 0 : 1, 1, ""));
    for (int n : {1, 4}) z->AddFragment(Fragment(n, 0, 1, ""));
    z->AddForbiddenEnzym(1);
    // Numbers nobody carries still stand in the data set's list.
    e.PrepareFragmentList();
    e.AddFragment(Fragment(8, 1, 0, ""));
  }
};

TEST(PairTable, CountsOverTheWholeList) {
  TwoBlocks t;
  EXPECT_EQ(FastCount(t.e, t.x, t.y, t.e.Fragmenty), Counts(2, 2, 2, 2));
  EXPECT_EQ(literal::PairTable(*t.x, *t.y, t.e.Fragmenty), Counts(2, 2, 2, 2));
}

TEST(PairTable, ForbiddenBlockIsLeftOutForEveryPairWithThatTaxon) {
  TwoBlocks t;
  // x has 5 and 6 of block 1, but z has no data there: only block 0 counts.
  EXPECT_EQ(FastCount(t.e, t.x, t.z, t.e.Fragmenty), Counts(1, 1, 1, 1));
  EXPECT_EQ(FastCount(t.e, t.z, t.y, t.e.Fragmenty), Counts(0, 2, 2, 0));
  EXPECT_EQ(FastCount(t.e, t.x, t.y, t.e.Fragmenty), Counts(2, 2, 2, 2));
  // A taxon that holds fragments of a block it also has no data for (names merged by the cut).
  t.z->AddFragment(Fragment(5, 1, 1, ""));
  EXPECT_EQ(FastCount(t.e, t.x, t.z, t.e.Fragmenty), Counts(1, 1, 1, 1));
}

TEST(PairTable, EverythingLeftOutGivesAnEmptyTable) {
  TwoBlocks t;
  t.x->AddForbiddenEnzym(0);
  EXPECT_EQ(FastCount(t.e, t.x, t.z, t.e.Fragmenty), PairCounts{});
  EXPECT_EQ(SimilarityOf('A', PairCounts{}, false, 0), 0.0);
}

TEST(PairTable, RepeatedSampleEntriesCountEachTime) {
  TwoBlocks t;
  std::vector<std::unique_ptr<TFragment>> sample;
  for (int n : {2, 2, 2, 1, 8, 8}) sample.push_back(t.e.FragItemByNum(n)->ListCopy());
  EXPECT_EQ(FastCount(t.e, t.x, t.y, sample), Counts(3, 1, 0, 2));
  EXPECT_EQ(literal::PairTable(*t.x, *t.y, sample), Counts(3, 1, 0, 2));
}

TEST(PairTable, PresenceIsByNumOnly) {
  TwoBlocks t;
  t.x->AddFragment(Fragment(2, 0, 1, "other label"));  // the same number twice
  std::vector<std::unique_ptr<TFragment>> sample;
  sample.push_back(Fragment(99, 0, 0, ""));  // a number the data set does not list
  sample.push_back(t.e.FragItemByNum(2)->ListCopy());
  EXPECT_EQ(FastCount(t.e, t.x, t.y, sample), Counts(1, 0, 0, 1));
}

TEST(PairTable, ForbiddenTextsMatchOnlyTheExactDecimalText) {
  TwoBlocks t;
  t.x->ForbiddenEnzyms.push_back("00");
  t.x->ForbiddenEnzyms.push_back("+0");
  t.x->ForbiddenEnzyms.push_back(" 0");
  EXPECT_EQ(FastCount(t.e, t.x, t.y, t.e.Fragmenty), Counts(2, 2, 2, 2));
  t.y->ForbiddenEnzyms.push_back("0");
  EXPECT_EQ(FastCount(t.e, t.x, t.y, t.e.Fragmenty), Counts(1, 1, 1, 1));
}

TEST(PairTable, IndexFollowsTaxaNotTheirOrder) {
  TwoBlocks t;
  const PairTableIndex index = PairTableIndex::Build(t.e);
  std::reverse(t.e.Druhy.begin(), t.e.Druhy.end());
  const std::vector<const TDruh*> taxa{t.z, t.x};
  SampleExpansion expansion;
  expansion.Assign(index, taxa, t.e.Fragmenty);
  EXPECT_EQ(expansion.Count(1, 0), Counts(1, 1, 1, 1));
  t.z->AddFragment(Fragment(3, 0, 1, ""));
  expansion.Assign(index, taxa, t.e.Fragmenty);  // stale index: the new fragment is not seen
  EXPECT_EQ(expansion.Count(1, 0), Counts(1, 1, 1, 1));
  const PairTableIndex rebuilt = PairTableIndex::Build(t.e);
  expansion.Assign(rebuilt, taxa, t.e.Fragmenty);
  EXPECT_EQ(expansion.Count(1, 0), Counts(1, 1, 2, 0));
  EXPECT_EQ(expansion.Count(0, 1), Counts(1, 2, 1, 0));
}

// Every pair of a random data set over random samples, with the active list reduced and reordered.
TEST(PairTable, FastEqualsLiteralOnRandomDataSets) {
  std::mt19937 rng(20240611);
  SampleExpansion expansion;  // reused across data sets, as a replicate loop does
  SampleExpansion fromPositions;
  for (int round = 0; round < 40; ++round) {
    TEnzym e;
    const int taxa = 2 + static_cast<int>(rng() % 14);
    const int blocks = 1 + static_cast<int>(rng() % 4);
    const int perBlock = static_cast<int>(rng() % 90);
    fixtures::RandomPresenceSet(e, rng, taxa, blocks, perBlock);
    const PairTableIndex index = PairTableIndex::Build(e);
    SetRandomSeed(static_cast<uint32_t>(round));
    std::shuffle(e.Druhy.begin(), e.Druhy.end(), rng);
    if (round % 3 == 0 && taxa > 2) {
      e.ReduceList(1);
      e.UseRedukovaneDruhy = true;
    }
    const int32_t count = static_cast<int32_t>(rng() % (e.FragmentCount() + 3));
    std::vector<int32_t> positions;
    std::vector<uint8_t> seen;
    const uint32_t seed = GetRandomSeed();
    e.PrepareReducedFragList(count, round % 2 == 0);
    SetRandomSeed(seed);
    DrawSamplePositions(e.FragmentCount(), count, round % 2 == 0, positions, seen);
    const std::vector<const TDruh*> active = ActiveTaxonList(e);
    for (const auto* sample : {&e.Fragmenty, &e.RedukovaneFragmenty->Fragmenty}) {
      expansion.Assign(index, active, *sample);
      for (int i = 0; i < e.DruhyCount(); ++i)
        for (int j = 0; j < e.DruhyCount(); ++j)
          ASSERT_EQ(expansion.Count(i, j), literal::PairTable(*active[i], *active[j], *sample))
              << "round " << round << " pair " << i << "," << j;
    }
    fromPositions.Assign(index, active, positions);
    for (int i = 0; i < e.DruhyCount(); ++i)
      for (int j = i + 1; j < e.DruhyCount(); ++j)
        ASSERT_EQ(fromPositions.Count(i, j), expansion.Count(i, j)) << "round " << round;
  }
}

TEST(PairTable, OneIndexServesSeveralThreads) {
  std::mt19937 rng(5);
  TEnzym e;
  fixtures::RandomPresenceSet(e, rng, 30, 3, 200);
  e.PrepareReducedFragList(e.FragmentCount(), false);
  const PairTableIndex index = PairTableIndex::Build(e);
  const std::vector<const TDruh*> taxa = ActiveTaxonList(e);
  SquareMatrix expected;
  SquareMatrix out[2];
  std::vector<std::thread> threads;
  for (auto& m : out) {
    threads.emplace_back([&, target = &m] {
      SampleExpansion s;
      for (char letter : {'A', 'J', 'N'}) {
        s.Assign(index, taxa, e.RedukovaneFragmenty->Fragmenty);
        ComputeSimilarityMatrix(s, letter, ettUPGMA, true, 6.0, *target);
      }
    });
  }
  for (auto& t : threads) t.join();
  e.KoefChar = 'N';
  e.SiteLength = 6.0;
  e.TreeType = ettUPGMA;
  literal::Koef(e, e.RedukovaneFragmenty->Fragmenty, true, expected);
  for (const auto& m : out)
    for (int i = 1; i <= 30; ++i)
      for (int j = 1; j <= 30; ++j)
        if (i != j) {
          ASSERT_EQ(m(i, j), expected(i, j));
        }
}

}  // namespace
}  // namespace ramovia
