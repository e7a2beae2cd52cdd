#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "core/distance_fixtures.h"
#include "distance/frequency.h"
#include "resampling/analysis.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

using fixtures::kNo;
using fixtures::TableBuilder;

// The distance as the rules read: lookups by name and number, one running double per quantity.
double Literal(const Analysis& an, char letter, const TDruh& tx, const TDruh& ty) {
  const double l = static_cast<double>(an.Loci.size());
  double sx = 0, sy = 0, sxy = 0, v = 0, w = 0, x = 0, y = 0, z = 0;
  for (const auto& locus : an.Loci) {
    const int px = locus->GetDruhStr(tx.Name.str());
    const int py = locus->GetDruhStr(ty.Name.str());
    const auto freq = [&locus](int p, const TFragment& f) {
      const TFragment* own = locus->GetDruh(p - 1)->ItemByNum(f.Num);
      return own == nullptr ? 0.0 : own->Value;
    };
    double se = 0, ce = 0;
    for (const auto& f : locus->RedukovaneFragmenty->Fragmenty) {
      if (px != -1) sx = sx + freq(px, *f) * freq(px, *f);
      if (py != -1) sy = sy + freq(py, *f) * freq(py, *f);
      if (px == -1 || py == -1) continue;
      const double a = freq(px, *f), b = freq(py, *f);
      sxy = sxy + a * b;
      se = se + (a - b) * (a - b);
      ce = ce + std::sqrt(a * b);
      w = w + std::fabs(a - b);
      y = y + std::sqrt(a * b);
      z = z + (a + b == 0 ? 0.0 : 2 * ((a - b) * (a - b)) / (a + b));
    }
    v = v + std::sqrt(se / 2);
    x = x + std::sqrt(2 * std::max(0.0, 1 - ce));
  }
  const double jx = (1 / l) * sx, jy = (1 / l) * sy, jxy = (1 / l) * sxy;
  double d = 0;
  switch (letter) {
    case 'R':
      d = std::sqrt(jx * jy) == 0 || jxy / std::sqrt(jx * jy) <= 0
              ? 0
              : -std::log(jxy / std::sqrt(jx * jy));
      break;
    case 'S':
      d = (jx + jy) / 2 - jxy;
      break;
    case 'T':
      d = 1 - jxy == 0 ? 0 : ((jx + jy) / 2 - jxy) / (1 - jxy);
      break;
    case 'U': {
      const double arg = 1 - ((jx + jy) / 2 - jxy) / (1 - jxy);
      d = 1 - jxy == 0 || arg <= 0 ? 0 : -std::log(arg);
      break;
    }
    case 'V':
      d = (1 / l) * v;
      break;
    case 'W':
      d = (1 / (2 * l)) * w;
      break;
    case 'X':
      d = (2 / (std::numbers::pi * l)) * x;
      break;
    case 'Y':
      d = 1 - (1 / l) * y;
      break;
    case 'Z':
      d = (1 / l) * z;
      break;
    default:
      break;
  }
  return std::isfinite(d) ? d : 0.0;
}

// Every allele once, in input order.
void InputOrderSamples(Analysis& an) {
  for (auto& locus : an.Loci) {
    locus->EmptyRedukovaneFragmenty();
    for (const auto& f : locus->Fragmenty) locus->RedukovaneFragmenty->AddFragment(f->ListCopy());
  }
}

void FullSamples(Analysis& an) {
  for (auto& locus : an.Loci) locus->PrepareReducedFragList(locus->FragmentCount(), true);
}

double Distance(Analysis& an, char letter, int i = 1, int j = 2) {
  an.MultiTest(letter);
  EXPECT_EQ(an.Enzym->GetDistance(i, j), an.Enzym->GetDistance(j, i));
  return an.Enzym->GetDistance(i, j);
}

constexpr char kLetters[] = {'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z'};

TEST(FrequencyDistances, IdenticalTaxaAreAtDistanceZero) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b"}, {{0.25, 0.75}, {0.25, 0.75}});
  t.AddBlock({"a", "b"}, {{0.5, 0.125, 0.375}, {0.5, 0.125, 0.375}});
  t.Merge();
  FullSamples(an);
  for (char letter : {'S', 'T', 'U', 'V', 'W', 'Y', 'Z'})
    EXPECT_EQ(Distance(an, letter), 0.0) << letter;
  EXPECT_NEAR(Distance(an, 'R'), 0.0, 1e-15);
}

TEST(FrequencyDistances, TaxaSharingNoLocus) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a"}, {{0.4, 0.6}});
  t.AddBlock({"b"}, {{0.3, 0.7}});
  t.Merge();
  FullSamples(an);
  for (char letter : {'V', 'W', 'Z'}) EXPECT_EQ(Distance(an, letter), 0.0) << letter;
  EXPECT_EQ(Distance(an, 'Y'), 1.0);
  EXPECT_NEAR(Distance(an, 'X'), 2 * std::sqrt(2.0) / std::numbers::pi, 1e-15);
  EXPECT_NEAR(Distance(an, 'X'), 0.9003163, 1e-7);
  EXPECT_EQ(Distance(an, 'R'), 0.0) << "Jxy = 0: no logarithm";
}

TEST(FrequencyDistances, PrevostiOverThreeLoci) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b"}, {{0.5, 0.5}, {0.8, 0.2}});  // Prevosti sum 0.6
  t.AddBlock({"a", "c"}, {{1.0}, {1.0}});
  t.AddBlock({"b", "c"}, {{0.1, 0.9}, {0.9, 0.1}});
  t.Merge();
  FullSamples(an);
  EXPECT_NEAR(Distance(an, 'W'), 0.1, 1e-16);
  EXPECT_EQ(Distance(an, 'W'), (1.0 / 6.0) * (0.30000000000000004 + 0.30000000000000004));
}

TEST(FrequencyDistances, AlleleOfFrequencyZeroChangesNothing) {
  Analysis with, without;
  TableBuilder tw(with), to(without);
  tw.AddBlock({"a", "b", "c"}, {{0.2, 0.0, 0.8}, {0.6, 0.0, 0.4}, {0.1, 0.0, 0.9}});
  to.AddBlock({"a", "b", "c"}, {{0.2, kNo, 0.8}, {0.6, kNo, 0.4}, {0.1, kNo, 0.9}});
  tw.AddBlock({"a", "b"}, {{0.5, 0.5, 0.0}, {0.3, 0.7, 0.0}});
  to.AddBlock({"a", "b"}, {{0.5, 0.5, kNo}, {0.3, 0.7, kNo}});
  tw.Merge();
  to.Merge();
  InputOrderSamples(with);
  InputOrderSamples(without);
  for (char letter : kLetters)
    for (auto [i, j] : {std::pair{1, 2}, {1, 3}, {2, 3}})
      EXPECT_EQ(Distance(with, letter, i, j), Distance(without, letter, i, j)) << letter;
}

TEST(FrequencyDistances, RepeatedAlleleCountsTwice) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b"}, {{0.5, 0.5}, {0.8, 0.2}});
  t.Merge();
  auto& sample = an.Loci[0]->RedukovaneFragmenty->Fragmenty;
  sample.clear();
  sample.push_back(an.Loci[0]->GetFragment(0)->ListCopy());
  sample.push_back(an.Loci[0]->GetFragment(0)->ListCopy());
  sample.push_back(an.Loci[0]->GetFragment(1)->ListCopy());
  EXPECT_NEAR(Distance(an, 'W'), 0.5 * (0.3 + 0.3 + 0.3), 1e-15);
  EXPECT_NEAR(Distance(an, 'S'), (0.75 + 1.32) / 2 - 0.9, 1e-15);
}

TEST(FrequencyDistances, CavalliSforzaLocusAboveOneAddsNothing) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b"}, {{0.8, 0.8}, {0.8, 0.8}});  // c = 1.6
  t.AddBlock({"a", "c"}, {{1.0}, {1.0}});
  t.Merge();
  FullSamples(an);
  EXPECT_NO_THROW(an.MultiTest('X'));
  // a-b: the first locus adds 0, the second (b absent) adds root 2.
  EXPECT_NEAR(Distance(an, 'X', 1, 2), (2 / (std::numbers::pi * 2)) * std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(Distance(an, 'X', 1, 3), (2 / (std::numbers::pi * 2)) * std::sqrt(2.0), 1e-15);
}

TEST(FrequencyDistances, AlleleFoundByNumberNotByLabel) {
  Analysis an;
  TableBuilder t(an);
  // Two alleles share the label "x"; a lookup by label would give a's first value twice.
  t.AddBlock({"a", "b"}, {{0.3, 0.7}, {0.6, 0.6}}, 0.0, {"x", "x"});
  t.Merge();
  FullSamples(an);
  EXPECT_NEAR(Distance(an, 'W'), 0.5 * (0.3 + 0.1), 1e-15);
}

TEST(FrequencyDistances, FailingValuesGiveZero) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b", "c"}, {{1.0, kNo}, {1.0, kNo}, {kNo, 1.0}});
  t.Merge();
  FullSamples(an);
  EXPECT_EQ(Distance(an, 'T'), 0.0) << "Jxy = 1";
  EXPECT_EQ(Distance(an, 'U'), 0.0);
  EXPECT_EQ(Distance(an, 'R', 1, 3), 0.0);
  Analysis huge;
  TableBuilder th(huge);
  th.AddBlock({"a", "b"}, {{1e200, 1.0}, {1e200, 2.0}});
  th.Merge();
  FullSamples(huge);
  for (char letter : kLetters) EXPECT_TRUE(std::isfinite(Distance(huge, letter))) << letter;
  EXPECT_EQ(Distance(huge, 'R'), 0.0) << "Jx overflows";
}

TEST(FrequencyDistances, ProgressAndTinySets) {
  struct Recorder : ProgressSink {
    std::vector<int> events;
    void SetRange(int lo, int hi) override { events.insert(events.end(), {-100, lo, hi}); }
    void SetPosition(int p) override { events.push_back(p); }
  } progress;
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b", "c", "d"}, {{1.0}, {1.0}, {1.0}, {1.0}});
  t.Merge();
  FullSamples(an);
  an.MultiTest('S', &progress);
  EXPECT_EQ(progress.events, (std::vector<int>{-100, 0, 4, 0, 0, 1, 2}));
  Analysis one;
  TableBuilder t1(one);
  t1.AddBlock({"a"}, {{1.0}});
  t1.Merge();
  one.MultiTest('S');
  Analysis none;
  none.MultiTest('R');
}

// Random loci with taxa missing from some, duplicated allele numbers in a taxon, samples with
// repetition, and the merged list shuffled and reduced.
TEST(FrequencyDistances, FastEqualsLiteralOnRandomData) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int round = 0; round < 20; ++round) {
    Analysis an;
    TableBuilder t(an);
    const int taxa = 2 + static_cast<int>(rng() % 8);
    const int loci = 1 + static_cast<int>(rng() % 5);
    for (int l = 0; l < loci; ++l) {
      std::vector<std::string> names;
      std::vector<std::vector<double>> cells;
      const int alleles = static_cast<int>(rng() % 6);
      for (int k = 0; k < taxa; ++k) {
        if (u(rng) < 0.25) continue;
        names.push_back("t" + std::to_string(k));
        std::vector<double> row;
        for (int a = 0; a < alleles; ++a)
          row.push_back(u(rng) < 0.2 ? kNo : u(rng) * (round % 4 == 0 ? 1.5 : 0.6));
        cells.push_back(row);
      }
      t.AddBlock(names, cells);
      auto& block = *an.Loci.back();
      if (!block.Druhy.empty() && block.FragmentCount() > 0 && u(rng) < 0.5) {
        // a taxon carrying an allele number twice: the first one counts
        const TFragment* f = block.GetFragment(0);
        block.Druhy.back()->AddFragment(fixtures::Fragment(f->Num, f->EnzymId, 0.9, "dup"));
      }
    }
    t.Merge();
    SetRandomSeed(static_cast<uint32_t>(round));
    for (auto& locus : an.Loci)
      locus->PrepareReducedFragList(locus->FragmentCount(), round % 2 == 0);
    std::shuffle(an.Enzym->Druhy.begin(), an.Enzym->Druhy.end(), rng);
    if (round % 3 == 1 && an.Enzym->Druhy.size() > 2) {
      an.Enzym->ReduceList(1);
      an.Enzym->UseRedukovaneDruhy = true;
    }
    for (char letter : kLetters) {
      an.MultiTest(letter);
      const int n = an.Enzym->DruhyCount();
      for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
          ASSERT_EQ(an.Enzym->GetDistance(i + 1, j + 1),
                    Literal(an, letter, *an.Enzym->GetDruh(i), *an.Enzym->GetDruh(j)))
              << letter << " round " << round << " pair " << i << "," << j;
    }
  }
}

TEST(CompleteDistance, WeightsBlocksByTheirFragmentCounts) {
  Analysis an;
  TableBuilder t(an);
  const std::vector<std::vector<double>> ten(2, std::vector<double>(10, 1.0));
  const std::vector<std::vector<double>> thirty(2, std::vector<double>(30, 1.0));
  t.AddBlock({"a", "b"}, ten);
  t.AddBlock({"a", "b"}, thirty);
  t.Merge();
  an.Loci[0]->ReserveMatrices(2);
  an.Loci[1]->ReserveMatrices(2);
  an.Loci[0]->SetDistance(1, 2, 0.2);
  an.Loci[1]->SetDistance(1, 2, 0.6);
  an.CompleteDistance();
  EXPECT_NEAR(an.Enzym->GetDistance(1, 2), 0.5, 1e-15);
  EXPECT_EQ(an.Enzym->GetDistance(2, 1), an.Enzym->GetDistance(1, 2));
  an.Loci[0]->GetDruh(1)->EmptyFragmenty();
  an.CompleteDistance();
  EXPECT_EQ(an.Enzym->GetDistance(1, 2), 0.6);
  // A block whose matrix was never computed reads as zeros instead of past its storage.
  TableBuilder(an).AddBlock({"a", "b", "c", "d", "e"}, std::vector<std::vector<double>>(5, {1.0}));
  an.CompleteDistance();
  EXPECT_EQ(an.Enzym->GetDistance(1, 2), 0.6 * 30 / 31);
}

TEST(CompleteDistance, PairWithoutCommonBlockHasNoCoefficient) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "c"}, {{1.0}, {1.0}});
  t.AddBlock({"b", "c"}, {{1.0}, {1.0}});
  t.Merge();
  for (auto& locus : an.Loci) {
    locus->ReserveMatrices(2);
    locus->SetDistance(1, 2, 0.3);
  }
  // merged order: a, c, b
  an.Enzym->TreeType = ettUPGMA;
  an.CompleteDistance();
  EXPECT_EQ(an.Enzym->GetDistance(1, 2), 0.3);
  EXPECT_EQ(an.Enzym->GetDistance(1, 3), 0.0);
  an.Enzym->TreeType = ettNbJoin;
  an.CompleteDistance();
  EXPECT_EQ(an.Enzym->GetDistance(1, 3), 1.0);
  EXPECT_EQ(an.Enzym->GetDistance(3, 1), 1.0);
  EXPECT_EQ(an.Enzym->GetDistance(2, 3), 0.3);
}

TEST(CompleteDistance, FollowsTheActiveListByName) {
  Analysis an;
  TableBuilder t(an);
  t.AddBlock({"a", "b", "c"}, {{1.0}, {1.0}, {1.0}});
  t.Merge();
  TEnzym& block = *an.Loci[0];
  block.ReserveMatrices(3);
  block.SetDistance(1, 2, 0.1);
  block.SetDistance(1, 3, 0.2);
  block.SetDistance(2, 3, 0.3);
  std::swap(an.Enzym->Druhy[0], an.Enzym->Druhy[2]);  // merged order c, b, a
  an.Enzym->RedukovaneDruhy = {an.Enzym->Druhy[0].get(), an.Enzym->Druhy[2].get()};
  an.Enzym->UseRedukovaneDruhy = true;  // c, a; b is left out and must not be written anywhere
  an.CompleteDistance();
  EXPECT_EQ(an.Enzym->GetDistance(1, 2), 0.2);
  EXPECT_EQ(an.Enzym->GetDistance(2, 1), 0.2);
}

}  // namespace
}  // namespace ramovia
