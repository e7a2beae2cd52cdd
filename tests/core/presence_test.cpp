#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/draws.h"
#include "analysis/reference_matrix.h"
#include "core/distance_fixtures.h"
#include "core/distance_literal.h"
#include "distance/presence.h"

namespace ramovia {
namespace {

using enum Coefficient;
using fixtures::allTaxa;
using fixtures::kNo;
using fixtures::TableBuilder;

// Taxa x, y and z over one block, the pair table of x and y exactly (a, b, c, d).
Dataset pairWith(int a, int b, int c, int d) {
  const auto rows = static_cast<std::size_t>(a + b + c + d);
  std::vector<std::vector<double>> cells(3, std::vector<double>(rows, kNo));
  std::size_t r = 0;
  for (int k = 0; k < a; ++k, ++r) cells[0][r] = cells[1][r] = 1.0;
  for (int k = 0; k < b; ++k, ++r) cells[0][r] = 1.0;
  for (int k = 0; k < c; ++k, ++r) cells[1][r] = 1.0;
  for (int k = 0; k < d; ++k, ++r) cells[2][r] = 1.0;  // the d markers neither of the pair has
  TableBuilder t;
  t.addBlock({"x", "y", "z"}, cells);
  return t.build(false);
}

// The value stored for x and y over every marker.
double coefficient12(const Dataset& data, Coefficient c, bool storeDistances = false,
                     double siteLength = 0.0) {
  const PairTableIndex index = PairTableIndex::build(data);
  SampleExpansion sample;
  sample.assign(index, allTaxa(data), allPositions(data.markerCount()));
  SquareMatrix m;
  computeSimilarityMatrix(sample, c, storeDistances, false, siteLength, m);
  EXPECT_EQ(m(1, 2), m(2, 1));
  return m(1, 2);
}

constexpr Coefficient kSimilarities[] = {Dice,         Jaccard,      Kulczynski2,
                                         SokalSneath1, SokalSneath3, Ochiai};

TEST(Presence, IdenticalTaxa) {
  Dataset d = pairWith(4, 0, 0, 3);
  for (Coefficient c : kSimilarities) EXPECT_EQ(coefficient12(d, c), 1.0) << letterOf(c);
  d = pairWith(4, 0, 0, 0);
  for (Coefficient c : {Dice, Jaccard, Kulczynski2, SokalSneath1, Ochiai})
    EXPECT_EQ(coefficient12(d, c), 1.0) << letterOf(c);
  EXPECT_EQ(coefficient12(d, SokalSneath3), 0.0) << "zero marginal b + d";
}

TEST(Presence, NoCommonMarker) {
  const Dataset d = pairWith(0, 3, 2, 1);
  for (Coefficient c : kSimilarities) EXPECT_EQ(coefficient12(d, c), 0.0) << letterOf(c);
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, false, 6), 0.0);
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, true, 6), 1.0);
}

TEST(Presence, FormulasOnOneTable) {
  const Dataset d = pairWith(3, 1, 2, 4);  // n = 10
  EXPECT_DOUBLE_EQ(coefficient12(d, Dice), 6.0 / 9.0);
  EXPECT_DOUBLE_EQ(coefficient12(d, Jaccard), 3.0 / 6.0);
  EXPECT_DOUBLE_EQ(coefficient12(d, Kulczynski2), (3.0 / 4.0 + 3.0 / 5.0) * 0.5);
  EXPECT_DOUBLE_EQ(coefficient12(d, SokalSneath1), 3.0 / 9.0);
  EXPECT_DOUBLE_EQ(coefficient12(d, SokalSneath3), 12.0 / std::sqrt(4.0 * 5.0 * 5.0 * 6.0));
  EXPECT_DOUBLE_EQ(coefficient12(d, Ochiai), 3.0 / std::sqrt(20.0));
}

TEST(Presence, DiceForNeighborJoiningIsStoredAsDistance) {
  const Dataset d = pairWith(3, 1, 1, 0);
  EXPECT_EQ(coefficient12(d, Dice), 0.75);
  EXPECT_EQ(coefficient12(d, Dice, true), 0.25);
}

TEST(Presence, NucleotideDivergence) {
  Dataset d = pairWith(5, 0, 0, 2);
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, false, 6), 1.0) << "F = 1";
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, true, 6), 0.0);
  d = pairWith(5, 2, 1, 0);
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, false, 0), 0.0) << "no site length";
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, true, 0), 1.0);
  // F = 10/13: the divergence is d = -(2/r) ln G with G^4 = F (3 - 2G).
  const double s = coefficient12(d, NucleotideDivergence, false, 6);
  const double g = std::exp((s - 1.0) * 3.0);
  EXPECT_NEAR(g * g * g * g, 10.0 / 13.0 * (3.0 - 2.0 * g), 1e-5);
  EXPECT_EQ(coefficient12(d, NucleotideDivergence, true, 6), 1.0 - s);
}

TEST(Presence, NucleotideTestsFiveOrSixDecimals) {
  // Some table settles differently under the two tests; both must follow their own rule.
  bool differs = false;
  for (int a = 1; a < 60 && !differs; ++a)
    for (int b = 0; b < 60 && !differs; ++b) {
      const PairCounts t{a, b, 1, 0, a + b + 1};
      const double five = similarityOf(NucleotideDivergence, t, false, 4);
      const double six = similarityOf(NucleotideDivergence, t, true, 4);
      ASSERT_EQ(five, literal::similarity(NucleotideDivergence, t, false, 4));
      ASSERT_EQ(six, literal::similarity(NucleotideDivergence, t, true, 4));
      differs = five != six;
    }
  EXPECT_TRUE(differs);
}

TEST(Presence, SokalSneath3UsesTheExactProduct) {
  // The product of the margins exceeds 2^53 before its last factor: a double product would
  // round twice.
  const PairCounts t{4000000, 3, 5, 700, 4000708};
  const uint64_t exact = 4000003ull * 4000005ull * 703ull * 705ull;
  const double expected = 2800000000.0 / std::sqrt(static_cast<double>(exact));
  EXPECT_EQ(similarityOf(SokalSneath3, t, false, 0), expected);
  // Margins whose product needs more than 64 bits still give a value.
  const PairCounts big{100000, 100000, 100000, 100000, 400000};
  EXPECT_EQ(similarityOf(SokalSneath3, big, false, 0), 0.25);
}

TEST(Presence, DiagonalAndProgress) {
  struct Recorder : ProgressSink {
    std::vector<int> events;
    void setRange(int lo, int hi) override { events.insert(events.end(), {-100, lo, hi}); }
    void setPosition(int p) override { events.push_back(p); }
  } progress;
  std::mt19937 rng(3);
  const Dataset data = fixtures::randomPresenceSet(rng, 4, 2, 10);
  SquareMatrix m(4);
  m(4, 4) = 7.0;
  Random random;
  computeReferenceMatrix(data, Jaccard, TreeMethod::Upgma, allTaxa(data), random, m, &progress);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(m(i, i), -1.0);
  EXPECT_EQ(m(4, 4), 7.0);
  EXPECT_EQ(progress.events, (std::vector<int>{-100, 0, 4, 0, 1, 2, 3}));
  EXPECT_EQ(random.seed(), 0u) << "presence draws nothing";
}

TEST(Presence, TinyAndLargeDataSets) {
  Random random;
  SquareMatrix m;
  computeReferenceMatrix(Dataset{}, Dice, TreeMethod::Upgma, {}, random, m);
  TableBuilder one;
  one.addBlock({"one"}, {{1.0}});
  computeReferenceMatrix(one.build(false), Dice, TreeMethod::Upgma, {0}, random, m);
  std::mt19937 rng(11);
  const Dataset data = fixtures::randomPresenceSet(rng, 230, 2, 20);
  computeReferenceMatrix(data, Dice, TreeMethod::Upgma, allTaxa(data), random, m);
  SquareMatrix expected;
  literal::similarityMatrix(data, allTaxa(data), allPositions(data.markerCount()), Dice, false, false,
                            0.0, expected);
  for (int i = 1; i <= 230; ++i)
    for (int j = 1; j <= 230; ++j)
      if (i != j) {
        ASSERT_EQ(m(i, j), expected(i, j));
      }
}

TEST(Presence, UnknownPairValueGoesOnWithTheOthers) {
  TableBuilder t;
  t.addBlock({"x", "y"}, {{1.0}, {1.0}});
  t.addBlock({"y", "z"}, {{kNo}, {1.0}});  // x has no data here, z none in the first
  const Dataset d = t.build(false);
  const PairTableIndex index = PairTableIndex::build(d);
  SampleExpansion sample;
  sample.assign(index, allTaxa(d), allPositions(d.markerCount()));
  SquareMatrix m;
  computeSimilarityMatrix(sample, Ochiai, true, false, 0.0, m);
  EXPECT_EQ(m(1, 2), 0.0);
  EXPECT_EQ(m(1, 3), 1.0) << "nothing counted for x, z";
  EXPECT_EQ(m(2, 3), 1.0);
}

// Every coefficient of pair tables, for both builders, over every marker and over a drawn sample
// (with repetition), against the literal loops; missing blocks, repeated numbers, taxa reordered.
TEST(Presence, FastEqualsLiteralOnRandomDataSets) {
  std::mt19937 rng(777);
  MarkerSample drawn;
  std::vector<uint8_t> seen;
  for (int round = 0; round < 24; ++round) {
    const int taxa = 2 + static_cast<int>(rng() % 12);
    const int blocks = 1 + static_cast<int>(rng() % 3);
    const int perBlock = static_cast<int>(rng() % 60);
    const Dataset data = fixtures::randomPresenceSet(rng, taxa, blocks, perBlock);
    TaxonSubset order = allTaxa(data);
    std::shuffle(order.begin(), order.end(), rng);
    const double siteLength = (round % 5 == 0) ? 0.0 : 4.0 + round % 3;
    Random random(static_cast<uint32_t>(round * 17));
    drawMarkerSample(random, data.markerCount(), data.markerCount() + round % 4 - 2, round % 3 == 0,
                     drawn, seen);
    const MarkerSample whole = allPositions(data.markerCount());
    const PairTableIndex index = PairTableIndex::build(data);
    SampleExpansion wholeSample;
    SampleExpansion drawnSample;
    wholeSample.assign(index, order, whole);
    drawnSample.assign(index, order, drawn);
    for (const CoefficientInfo& info : allCoefficients()) {
      if (info.family == CoefficientFamily::AlleleFrequency) continue;
      for (bool storeDistances : {false, true}) {
        SquareMatrix fast;
        SquareMatrix expected;
        computeSimilarityMatrix(wholeSample, info.id, storeDistances, false, siteLength, fast);
        literal::similarityMatrix(data, order, whole, info.id, storeDistances, false, siteLength,
                                  expected);
        for (int i = 1; i <= taxa; ++i)
          for (int j = 1; j <= taxa; ++j)
            ASSERT_EQ(fast(i, j), expected(i, j)) << info.letter << " round " << round;
        computeSimilarityMatrix(drawnSample, info.id, storeDistances, true, siteLength, fast);
        literal::similarityMatrix(data, order, drawn, info.id, storeDistances, true, siteLength,
                                  expected);
        for (int i = 1; i <= taxa; ++i)
          for (int j = 1; j <= taxa; ++j)
            ASSERT_EQ(fast(i, j), expected(i, j)) << info.letter << " replicate " << round;
      }
    }
  }
}

}  // namespace
}  // namespace ramovia
