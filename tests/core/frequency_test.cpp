#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "analysis/draws.h"
#include "analysis/reference_matrix.h"
#include "core/distance_fixtures.h"
#include "distance/divergence.h"
#include "distance/frequency.h"

namespace ramovia {
namespace {

using enum Coefficient;
using fixtures::allTaxa;
using fixtures::kNo;
using fixtures::TableBuilder;

const BlockTaxon* columnNamed(const Block& block, const Name& name) {
  for (const BlockTaxon& column : block.taxa)
    if (column.name == name) return &column;
  return nullptr;
}

// The distance as the rules read: columns found by name, alleles by number, one running double
// per quantity.
double literalDistance(const Dataset& data, const std::vector<MarkerSample>& samples, Coefficient c,
                       const Taxon& tx, const Taxon& ty) {
  const double l = static_cast<double>(data.blocks.size());
  double sx = 0, sy = 0, sxy = 0, v = 0, w = 0, x = 0, y = 0, z = 0;
  for (std::size_t b = 0; b < data.blocks.size(); ++b) {
    const Block& locus = data.blocks[b];
    const BlockTaxon* cx = columnNamed(locus, tx.name);
    const BlockTaxon* cy = columnNamed(locus, ty.name);
    const auto freq = [&locus, &data](const BlockTaxon* column, int32_t p) {
      if (p < 0 || static_cast<std::size_t>(p) >= locus.markers.size()) return 0.0;
      for (const Score& s : data.scoresOf(*column))
        if (s.marker == locus.markers[static_cast<std::size_t>(p)].number) return s.value;
      return 0.0;
    };
    double se = 0, ce = 0;
    for (const int32_t p : samples[b]) {
      if (cx != nullptr) sx = sx + freq(cx, p) * freq(cx, p);
      if (cy != nullptr) sy = sy + freq(cy, p) * freq(cy, p);
      if (cx == nullptr || cy == nullptr) continue;
      const double fa = freq(cx, p), fb = freq(cy, p);
      sxy = sxy + fa * fb;
      se = se + (fa - fb) * (fa - fb);
      ce = ce + std::sqrt(fa * fb);
      w = w + std::fabs(fa - fb);
      y = y + std::sqrt(fa * fb);
      z = z + (fa + fb == 0 ? 0.0 : 2 * ((fa - fb) * (fa - fb)) / (fa + fb));
    }
    v = v + std::sqrt(se / 2);
    x = x + std::sqrt(2 * std::max(0.0, 1 - ce));
  }
  const double jx = (1 / l) * sx, jy = (1 / l) * sy, jxy = (1 / l) * sxy;
  double d = 0;
  switch (c) {
    case NeiStandard:
      d = std::sqrt(jx * jy) == 0 || jxy / std::sqrt(jx * jy) <= 0
              ? 0
              : -std::log(jxy / std::sqrt(jx * jy));
      break;
    case NeiMinimal:
      d = (jx + jy) / 2 - jxy;
      break;
    case LatterFst:
      d = 1 - jxy == 0 ? 0 : ((jx + jy) / 2 - jxy) / (1 - jxy);
      break;
    case Reynolds: {
      const double arg = 1 - ((jx + jy) / 2 - jxy) / (1 - jxy);
      d = 1 - jxy == 0 || arg <= 0 ? 0 : -std::log(arg);
      break;
    }
    case Rogers:
      d = (1 / l) * v;
      break;
    case Prevosti:
      d = (1 / (2 * l)) * w;
      break;
    case CavalliSforzaEdwards:
      d = (2 / (std::numbers::pi * l)) * x;
      break;
    case NeiDa:
      d = 1 - (1 / l) * y;
      break;
    case Sanghvi:
      d = (1 / l) * z;
      break;
    default:
      break;
  }
  return std::isfinite(d) ? d : 0.0;
}

// Every allele once, in input order.
std::vector<MarkerSample> inputOrder(const Dataset& d) {
  std::vector<MarkerSample> samples;
  for (const Block& b : d.blocks)
    samples.push_back(allPositions(static_cast<int32_t>(b.markers.size())));
  return samples;
}

SquareMatrix distances(const Dataset& d, const std::vector<MarkerSample>& samples, Coefficient c,
                       const TaxonSubset& taxa) {
  const FrequencyIndex index = FrequencyIndex::build(d);
  FrequencySample sample;
  sample.assign(index, samples, taxa);
  SquareMatrix m;
  computeFrequencyDistances(sample, c, m);
  return m;
}

double distance(const Dataset& d, const std::vector<MarkerSample>& samples, Coefficient c,
                int i = 1, int j = 2) {
  const SquareMatrix m = distances(d, samples, c, allTaxa(d));
  EXPECT_EQ(m(i, j), m(j, i));
  return m(i, j);
}

// The matrix page's value: each locus' alleles summed in an order drawn afresh.
double referenceDistance(const Dataset& d, Coefficient c, int i = 1, int j = 2) {
  Random random(17);
  SquareMatrix m;
  computeReferenceMatrix(d, c, TreeMethod::Upgma, allTaxa(d), random, m);
  EXPECT_EQ(m(i, j), m(j, i));
  return m(i, j);
}

constexpr Coefficient kDistances[] = {
    NeiStandard, NeiMinimal,           LatterFst, Reynolds, Rogers,
    Prevosti,    CavalliSforzaEdwards, NeiDa,     Sanghvi};

TEST(FrequencyDistances, IdenticalTaxaAreAtDistanceZero) {
  TableBuilder t;
  t.addBlock({"a", "b"}, {{0.25, 0.75}, {0.25, 0.75}});
  t.addBlock({"a", "b"}, {{0.5, 0.125, 0.375}, {0.5, 0.125, 0.375}});
  const Dataset d = t.build(true);
  for (Coefficient c : {NeiMinimal, LatterFst, Reynolds, Rogers, Prevosti, NeiDa, Sanghvi})
    EXPECT_EQ(referenceDistance(d, c), 0.0) << letterOf(c);
  EXPECT_NEAR(referenceDistance(d, NeiStandard), 0.0, 1e-15);
}

TEST(FrequencyDistances, TaxaSharingNoLocus) {
  TableBuilder t;
  t.addBlock({"a"}, {{0.4, 0.6}});
  t.addBlock({"b"}, {{0.3, 0.7}});
  const Dataset d = t.build(true);
  for (Coefficient c : {Rogers, Prevosti, Sanghvi})
    EXPECT_EQ(referenceDistance(d, c), 0.0) << letterOf(c);
  EXPECT_EQ(referenceDistance(d, NeiDa), 1.0);
  EXPECT_NEAR(referenceDistance(d, CavalliSforzaEdwards), 2 * std::sqrt(2.0) / std::numbers::pi,
              1e-15);
  EXPECT_NEAR(referenceDistance(d, CavalliSforzaEdwards), 0.9003163, 1e-7);
  EXPECT_EQ(referenceDistance(d, NeiStandard), 0.0) << "Jxy = 0: no logarithm";
}

TEST(FrequencyDistances, PrevostiOverThreeLoci) {
  TableBuilder t;
  t.addBlock({"a", "b"}, {{0.5, 0.5}, {0.8, 0.2}});  // Prevosti sum 0.6
  t.addBlock({"a", "c"}, {{1.0}, {1.0}});
  t.addBlock({"b", "c"}, {{0.1, 0.9}, {0.9, 0.1}});
  const Dataset d = t.build(true);
  EXPECT_NEAR(referenceDistance(d, Prevosti), 0.1, 1e-16);
  EXPECT_EQ(referenceDistance(d, Prevosti),
            (1.0 / 6.0) * (0.30000000000000004 + 0.30000000000000004));
}

TEST(FrequencyDistances, AlleleOfFrequencyZeroChangesNothing) {
  TableBuilder tw, to;
  tw.addBlock({"a", "b", "c"}, {{0.2, 0.0, 0.8}, {0.6, 0.0, 0.4}, {0.1, 0.0, 0.9}});
  to.addBlock({"a", "b", "c"}, {{0.2, kNo, 0.8}, {0.6, kNo, 0.4}, {0.1, kNo, 0.9}});
  tw.addBlock({"a", "b"}, {{0.5, 0.5, 0.0}, {0.3, 0.7, 0.0}});
  to.addBlock({"a", "b"}, {{0.5, 0.5, kNo}, {0.3, 0.7, kNo}});
  const Dataset with = tw.build(true), without = to.build(true);
  for (Coefficient c : kDistances)
    for (auto [i, j] : {std::pair{1, 2}, {1, 3}, {2, 3}})
      EXPECT_EQ(distance(with, inputOrder(with), c, i, j),
                distance(without, inputOrder(without), c, i, j))
          << letterOf(c);
}

TEST(FrequencyDistances, RepeatedAlleleCountsTwice) {
  TableBuilder t;
  t.addBlock({"a", "b"}, {{0.5, 0.5}, {0.8, 0.2}});
  const Dataset d = t.build(true);
  const std::vector<MarkerSample> sample{{0, 0, 1}};
  EXPECT_NEAR(distance(d, sample, Prevosti), 0.5 * (0.3 + 0.3 + 0.3), 1e-15);
  EXPECT_NEAR(distance(d, sample, NeiMinimal), (0.75 + 1.32) / 2 - 0.9, 1e-15);
}

TEST(FrequencyDistances, CavalliSforzaLocusAboveOneAddsNothing) {
  TableBuilder t;
  t.addBlock({"a", "b"}, {{0.8, 0.8}, {0.8, 0.8}});  // c = 1.6
  t.addBlock({"a", "c"}, {{1.0}, {1.0}});
  const Dataset d = t.build(true);
  // a-b: the first locus adds 0, the second (b absent) adds root 2.
  EXPECT_NEAR(referenceDistance(d, CavalliSforzaEdwards, 1, 2),
              (2 / (std::numbers::pi * 2)) * std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(referenceDistance(d, CavalliSforzaEdwards, 1, 3),
              (2 / (std::numbers::pi * 2)) * std::sqrt(2.0), 1e-15);
}

TEST(FrequencyDistances, AlleleFoundByNumberNotByLabel) {
  TableBuilder t;
  // Two alleles share the label "x"; a lookup by label would give a's first value twice.
  t.addBlock({"a", "b"}, {{0.3, 0.7}, {0.6, 0.6}}, 0.0, {"x", "x"});
  EXPECT_NEAR(referenceDistance(t.build(true), Prevosti), 0.5 * (0.3 + 0.1), 1e-15);
}

TEST(FrequencyDistances, FailingValuesGiveZero) {
  TableBuilder t;
  t.addBlock({"a", "b", "c"}, {{1.0, kNo}, {1.0, kNo}, {kNo, 1.0}});
  const Dataset d = t.build(true);
  EXPECT_EQ(referenceDistance(d, LatterFst), 0.0) << "Jxy = 1";
  EXPECT_EQ(referenceDistance(d, Reynolds), 0.0);
  EXPECT_EQ(referenceDistance(d, NeiStandard, 1, 3), 0.0);
  TableBuilder th;
  th.addBlock({"a", "b"}, {{1e200, 1.0}, {1e200, 2.0}});
  const Dataset huge = th.build(true);
  for (Coefficient c : kDistances)
    EXPECT_TRUE(std::isfinite(referenceDistance(huge, c))) << letterOf(c);
  EXPECT_EQ(referenceDistance(huge, NeiStandard), 0.0) << "Jx overflows";
}

TEST(FrequencyDistances, ProgressAndTinySets) {
  struct Recorder : ProgressSink {
    std::vector<int> events;
    void setRange(int lo, int hi) override { events.insert(events.end(), {-100, lo, hi}); }
    void setPosition(int p) override { events.push_back(p); }
  } progress;
  TableBuilder t;
  t.addBlock({"a", "b", "c", "d"}, {{1.0}, {1.0}, {1.0}, {1.0}});
  const Dataset d = t.build(true);
  Random random;
  SquareMatrix m;
  computeReferenceMatrix(d, NeiMinimal, TreeMethod::Upgma, allTaxa(d), random, m, &progress);
  EXPECT_EQ(progress.events, (std::vector<int>{-100, 0, 4, 0, 0, 1, 2}));
  TableBuilder t1;
  t1.addBlock({"a"}, {{1.0}});
  computeReferenceMatrix(t1.build(true), NeiMinimal, TreeMethod::Upgma, {0}, random, m);
  computeReferenceMatrix(Dataset{}, NeiStandard, TreeMethod::Upgma, {}, random, m);
}

// Random loci with taxa missing from some, an allele number repeated in a column, samples with
// repetition, and the taxa reordered and reduced.
TEST(FrequencyDistances, FastEqualsLiteralOnRandomData) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<uint8_t> seen;
  for (int round = 0; round < 20; ++round) {
    TableBuilder t;
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
      t.addBlock(names, cells);
    }
    Dataset d = t.build(true);
    for (std::size_t b = 0; b < d.blocks.size(); ++b) {
      const Block& block = d.blocks[b];
      if (block.taxa.empty() || block.markers.empty() || u(rng) >= 0.5) continue;
      // a column carrying an allele number twice: the first one counts
      const Score repeated{block.markers.front().number, 0.9};
      fixtures::appendScore(d, b, block.taxa.size() - 1, repeated);
    }
    Random random(static_cast<uint32_t>(round));
    std::vector<MarkerSample> samples(d.blocks.size());
    for (std::size_t b = 0; b < d.blocks.size(); ++b) {
      const auto n = static_cast<int32_t>(d.blocks[b].markers.size());
      drawMarkerSample(random, n, n, round % 2 == 0, samples[b], seen);
    }
    TaxonSubset order = allTaxa(d);
    std::shuffle(order.begin(), order.end(), rng);
    if (round % 3 == 1 && order.size() > 2) order = leaveOutTaxa(random, order, 1);
    for (Coefficient c : kDistances) {
      const SquareMatrix m = distances(d, samples, c, order);
      const auto n = static_cast<int>(order.size());
      for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
          ASSERT_EQ(m(i + 1, j + 1),
                    literalDistance(d, samples, c, d.taxa[static_cast<std::size_t>(order[i])],
                                    d.taxa[static_cast<std::size_t>(order[j])]))
              << letterOf(c) << " round " << round << " pair " << i << "," << j;
    }
  }
}

// The blocks' matrices over all their columns, merged over `taxa`.
void merge(const Dataset& d, const std::vector<const SquareMatrix*>& values,
           const TaxonSubset& taxa, bool storeDistances, SquareMatrix& out) {
  std::vector<TaxonSubset> columns;
  for (std::size_t b = 0; b < values.size(); ++b)
    columns.push_back(allPositions(static_cast<int32_t>(d.blocks[b].taxa.size())));
  std::vector<BlockMatrix> blocks;
  for (std::size_t b = 0; b < values.size(); ++b)
    blocks.push_back({&d.blocks[b], values[b], columns[b]});
  MergeScratch scratch;
  mergeBlockMatrices(d.taxonCount(), blocks, taxa, storeDistances, out, scratch);
}

TEST(MergeBlockMatrices, WeightsBlocksByTheirMarkerCounts) {
  TableBuilder t;
  t.addBlock({"a", "b"}, std::vector<std::vector<double>>(2, std::vector<double>(10, 1.0)));
  t.addBlock({"a", "b"}, std::vector<std::vector<double>>(2, std::vector<double>(30, 1.0)));
  t.addBlock({"a", "b", "c", "d", "e"}, std::vector<std::vector<double>>(5, {1.0}));
  Dataset d = t.build(false);
  SquareMatrix ten(2), thirty(2), one(5);
  ten(1, 2) = 0.2;
  thirty(1, 2) = 0.6;
  const TaxonSubset ab{0, 1};
  SquareMatrix m;
  merge(d, {&ten, &thirty}, ab, false, m);
  EXPECT_NEAR(m(1, 2), 0.5, 1e-15);
  EXPECT_EQ(m(2, 1), m(1, 2));
  d.blocks[0].taxa[1].count = 0;  // b shows nothing in the first block
  merge(d, {&ten, &thirty}, ab, false, m);
  EXPECT_EQ(m(1, 2), 0.6);
  merge(d, {&ten, &thirty, &one}, ab, false, m);
  EXPECT_EQ(m(1, 2), 0.6 * 30 / 31);
}

TEST(MergeBlockMatrices, PairWithoutCommonBlockHasNoCoefficient) {
  TableBuilder t;
  t.addBlock({"a", "c"}, {{1.0}, {1.0}});
  t.addBlock({"b", "c"}, {{1.0}, {1.0}});
  const Dataset d = t.build(false);  // taxa a, c, b
  SquareMatrix first(2), second(2);
  first(1, 2) = second(1, 2) = 0.3;
  SquareMatrix m;
  merge(d, {&first, &second}, allTaxa(d), false, m);
  EXPECT_EQ(m(1, 2), 0.3);
  EXPECT_EQ(m(1, 3), 0.0);
  merge(d, {&first, &second}, allTaxa(d), true, m);
  EXPECT_EQ(m(1, 3), 1.0);
  EXPECT_EQ(m(3, 1), 1.0);
  EXPECT_EQ(m(2, 3), 0.3);
}

TEST(MergeBlockMatrices, FollowsTheTaxonSubset) {
  TableBuilder t;
  t.addBlock({"a", "b", "c"}, {{1.0}, {1.0}, {1.0}});
  const Dataset d = t.build(false);
  SquareMatrix block(3);
  block(1, 2) = 0.1;
  block(1, 3) = 0.2;
  block(2, 3) = 0.3;
  SquareMatrix m(3);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) m(i, j) = 9.0;
  merge(d, {&block}, {2, 0}, false, m);  // c, a; b is left out and must not be written anywhere
  EXPECT_EQ(m(1, 2), 0.2);
  EXPECT_EQ(m(2, 1), 0.2);
  for (int k = 1; k <= 3; ++k) EXPECT_TRUE(m(3, k) == 9.0 && m(k, 3) == 9.0) << k;
}

}  // namespace
}  // namespace ramovia
