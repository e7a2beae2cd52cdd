#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/distance_fixtures.h"
#include "core/distance_literal.h"
#include "distance/coefficients.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

using fixtures::AddTaxon;
using fixtures::Fragment;

// Two taxa whose pair table over Fragmenty is exactly (a, b, c, d).
void PairWith(TEnzym& e, int a, int b, int c, int d) {
  e.Clear();
  TDruh* x = AddTaxon(e, "x");
  TDruh* y = AddTaxon(e, "y");
  TDruh* z = AddTaxon(e, "z");  // holds the d fragments neither of the pair has
  int num = 1;
  for (int k = 0; k < a; ++k, ++num) {
    x->AddFragment(Fragment(num, 0, 1, ""));
    y->AddFragment(Fragment(num, 0, 1, ""));
  }
  for (int k = 0; k < b; ++k, ++num) x->AddFragment(Fragment(num, 0, 1, ""));
  for (int k = 0; k < c; ++k, ++num) y->AddFragment(Fragment(num, 0, 1, ""));
  for (int k = 0; k < d; ++k, ++num) z->AddFragment(Fragment(num, 0, 1, ""));
  e.PrepareFragmentList();
}

double Koef12(TEnzym& e, char letter, TEnzymTreeType type = ettUPGMA, double r = 0.0) {
  e.KoefChar = letter;
  e.TreeType = type;
  e.SiteLength = r;
  e.PrepareKoef();
  EXPECT_EQ(e.GetDistance(1, 2), e.GetDistance(2, 1));
  return e.GetDistance(1, 2);
}

TEST(Coefficients, IdenticalTaxa) {
  TEnzym e;
  PairWith(e, 4, 0, 0, 3);
  for (char letter : {'A', 'B', 'D', 'G', 'I', 'J'}) EXPECT_EQ(Koef12(e, letter), 1.0) << letter;
  PairWith(e, 4, 0, 0, 0);
  for (char letter : {'A', 'B', 'D', 'G', 'J'}) EXPECT_EQ(Koef12(e, letter), 1.0) << letter;
  EXPECT_EQ(Koef12(e, 'I'), 0.0) << "zero marginal b + d";
}

TEST(Coefficients, NoCommonFragment) {
  TEnzym e;
  PairWith(e, 0, 3, 2, 1);
  for (char letter : {'A', 'B', 'D', 'G', 'I', 'J'}) EXPECT_EQ(Koef12(e, letter), 0.0) << letter;
  EXPECT_EQ(Koef12(e, 'N', ettUPGMA, 6), 0.0);
  EXPECT_EQ(Koef12(e, 'N', ettNbJoin, 6), 1.0);
}

TEST(Coefficients, FormulasOnOneTable) {
  TEnzym e;
  PairWith(e, 3, 1, 2, 4);  // n = 10
  EXPECT_DOUBLE_EQ(Koef12(e, 'A'), 6.0 / 9.0);
  EXPECT_DOUBLE_EQ(Koef12(e, 'B'), 3.0 / 6.0);
  EXPECT_DOUBLE_EQ(Koef12(e, 'D'), (3.0 / 4.0 + 3.0 / 5.0) * 0.5);
  EXPECT_DOUBLE_EQ(Koef12(e, 'G'), 3.0 / 9.0);
  EXPECT_DOUBLE_EQ(Koef12(e, 'I'), 12.0 / std::sqrt(4.0 * 5.0 * 5.0 * 6.0));
  EXPECT_DOUBLE_EQ(Koef12(e, 'J'), 3.0 / std::sqrt(20.0));
}

TEST(Coefficients, DiceUnderNeighborJoiningIsStoredAsDistance) {
  TEnzym e;
  PairWith(e, 3, 1, 1, 0);
  EXPECT_EQ(Koef12(e, 'A'), 0.75);
  EXPECT_EQ(Koef12(e, 'A', ettNbJoin), 0.25);
}

TEST(Coefficients, NucleotideDivergence) {
  TEnzym e;
  PairWith(e, 5, 0, 0, 2);
  EXPECT_EQ(Koef12(e, 'N', ettUPGMA, 6), 1.0) << "F = 1";
  EXPECT_EQ(Koef12(e, 'N', ettNbJoin, 6), 0.0);
  PairWith(e, 5, 2, 1, 0);
  EXPECT_EQ(Koef12(e, 'N', ettUPGMA, 0), 0.0) << "no site length";
  EXPECT_EQ(Koef12(e, 'N', ettNbJoin, 0), 1.0);
  // F = 10/13: the divergence is d = -(2/r) ln G with G^4 = F (3 - 2G).
  const double s = Koef12(e, 'N', ettUPGMA, 6);
  const double g = std::exp((s - 1.0) * 3.0);
  EXPECT_NEAR(g * g * g * g, 10.0 / 13.0 * (3.0 - 2.0 * g), 1e-5);
  EXPECT_EQ(Koef12(e, 'N', ettNbJoin, 6), 1.0 - s);
}

TEST(Coefficients, NucleotideTestsFiveOrSixDecimals) {
  // Some table settles differently under the two tests; both must follow their own rule.
  bool differs = false;
  for (int a = 1; a < 60 && !differs; ++a)
    for (int b = 0; b < 60 && !differs; ++b) {
      const PairCounts t{a, b, 1, 0, a + b + 1};
      const double five = SimilarityOf('N', t, false, 4);
      const double six = SimilarityOf('N', t, true, 4);
      ASSERT_EQ(five, literal::Similarity('N', t, false, 4));
      ASSERT_EQ(six, literal::Similarity('N', t, true, 4));
      differs = five != six;
    }
  EXPECT_TRUE(differs);
}

TEST(Coefficients, SokalSneath3UsesTheExactProduct) {
  // The product of the margins exceeds 2^53 before its last factor: a double product would
  // round twice.
  const PairCounts t{4000000, 3, 5, 700, 4000708};
  const uint64_t exact = 4000003ull * 4000005ull * 703ull * 705ull;
  const double expected = 2800000000.0 / std::sqrt(static_cast<double>(exact));
  EXPECT_EQ(SimilarityOf('I', t, false, 0), expected);
  // Margins whose product needs more than 64 bits still give a value.
  const PairCounts big{100000, 100000, 100000, 100000, 400000};
  EXPECT_EQ(SimilarityOf('I', big, false, 0), 0.25);
}

TEST(Coefficients, DiagonalAndProgress) {
  struct Recorder : ProgressSink {
    std::vector<int> events;
    void SetRange(int lo, int hi) override { events.insert(events.end(), {-100, lo, hi}); }
    void SetPosition(int p) override { events.push_back(p); }
  } progress;
  std::mt19937 rng(3);
  TEnzym e;
  fixtures::RandomPresenceSet(e, rng, 4, 2, 10);
  e.ReserveMatrices(4);
  e.SetDistance(4, 4, 7.0);
  e.Progress = &progress;
  e.KoefChar = 'B';
  e.TreeType = ettUPGMA;
  e.PrepareKoef();
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(e.GetDistance(i, i), -1.0);
  EXPECT_EQ(e.GetDistance(4, 4), 7.0);
  EXPECT_EQ(progress.events, (std::vector<int>{-100, 0, 4, 0, 1, 2, 3}));
  progress.events.clear();
  e.PrepareSimilarityTbl();
  EXPECT_TRUE(progress.events.empty());
}

TEST(Coefficients, TinyAndLargeDataSets) {
  TEnzym e;
  e.KoefChar = 'A';
  e.TreeType = ettUPGMA;
  EXPECT_THROW(e.PrepareKoef(), ListIndexError);  // no taxon: no tree can be built
  AddTaxon(e, "one")->AddFragment(Fragment(1, 0, 1, ""));
  e.PrepareFragmentList();
  e.PrepareKoef();
  std::mt19937 rng(11);
  fixtures::RandomPresenceSet(e, rng, 230, 2, 20);
  e.PrepareKoef();
  SquareMatrix expected;
  literal::Koef(e, e.Fragmenty, false, expected);
  for (int i = 1; i <= 230; ++i)
    for (int j = 1; j <= 230; ++j)
      if (i != j) {
        ASSERT_EQ(e.GetDistance(i, j), expected(i, j));
      }
}

TEST(Coefficients, UnknownPairValueGoesOnWithTheOthers) {
  TEnzym e;
  TDruh* x = AddTaxon(e, "x");
  TDruh* y = AddTaxon(e, "y");
  TDruh* z = AddTaxon(e, "z");
  x->AddFragment(Fragment(1, 0, 1, ""));
  y->AddFragment(Fragment(1, 0, 1, ""));
  z->AddFragment(Fragment(2, 1, 1, ""));
  x->AddForbiddenEnzym(1);
  z->AddForbiddenEnzym(0);
  e.PrepareFragmentList();
  e.KoefChar = 'J';
  e.TreeType = ettNbJoin;
  e.PrepareKoef();
  EXPECT_EQ(e.GetDistance(1, 2), 0.0);
  EXPECT_EQ(e.GetDistance(1, 3), 1.0) << "nothing counted for x, z";
  EXPECT_EQ(e.GetDistance(2, 3), 1.0);
}

// PrepareKoef and PrepareSimilarityTbl against the literal loops, every letter and method, with
// forbidden blocks, repeated numbers and samples with repetition.
TEST(Coefficients, FastEqualsLiteralOnRandomDataSets) {
  std::mt19937 rng(777);
  for (int round = 0; round < 24; ++round) {
    TEnzym e;
    const int taxa = 2 + static_cast<int>(rng() % 12);
    fixtures::RandomPresenceSet(e, rng, taxa, 1 + static_cast<int>(rng() % 3),
                                static_cast<int>(rng() % 60));
    std::shuffle(e.Druhy.begin(), e.Druhy.end(), rng);
    e.SiteLength = (round % 5 == 0) ? 0.0 : 4.0 + round % 3;
    SetRandomSeed(static_cast<uint32_t>(round * 17));
    e.PrepareReducedFragList(e.FragmentCount() + round % 4 - 2, round % 3 == 0);
    for (char letter : {'A', 'B', 'D', 'G', 'I', 'J', 'N'}) {
      for (TEnzymTreeType type : {ettUPGMA, ettNbJoin}) {
        e.KoefChar = letter;
        e.TreeType = type;
        SquareMatrix expected;
        e.PrepareKoef();
        literal::Koef(e, e.Fragmenty, false, expected);
        for (int i = 1; i <= taxa; ++i)
          for (int j = 1; j <= taxa; ++j)
            ASSERT_EQ(e.GetDistance(i, j), expected(i, j)) << letter << " round " << round;
        e.PrepareSimilarityTbl();
        literal::Koef(e, e.RedukovaneFragmenty->Fragmenty, true, expected);
        for (int i = 1; i <= taxa; ++i)
          for (int j = 1; j <= taxa; ++j)
            ASSERT_EQ(e.GetDistance(i, j), expected(i, j)) << letter << " replicate " << round;
      }
    }
  }
}

}  // namespace
}  // namespace ramovia
