// Matrix computations at the sizes of a large resampling run.
#include <benchmark/benchmark.h>

#include <random>

#include "analysis/draws.h"
#include "distance/frequency.h"
#include "distance/pair_table.h"
#include "distance/presence.h"
#include "model/dataset.h"

namespace ramovia {
namespace {

// 200 taxa over 2000 markers in 10 blocks; a few taxa lack data for a block.
Dataset presenceSet() {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<Block> blocks(10);
  std::vector<std::vector<uint8_t>> hasData(10, std::vector<uint8_t>(200, 1));
  ScoreStore scores;
  for (int b = 0; b < 10; ++b) {
    blocks[static_cast<std::size_t>(b)].id = b;
    for (int k = 0; k < 200; ++k)
      blocks[static_cast<std::size_t>(b)].markers.push_back(
          Marker{b * 200 + k + 1, Name(std::to_string(b * 200 + k + 1)), b});
  }
  for (int t = 0; t < 200; ++t)
    for (int b = 0; b < 10; ++b) {
      BlockTaxon column{Name("taxon" + std::to_string(t)), -1, scores.size(), 0};
      if (u(rng) < 0.03) {
        hasData[static_cast<std::size_t>(b)][static_cast<std::size_t>(t)] = 0;
      } else {
        for (int k = 0; k < 200; ++k)
          if (u(rng) < 0.4) scores.push_back(Score{b * 200 + k + 1, 1.0});
      }
      column.count = scores.size() - column.first;
      blocks[static_cast<std::size_t>(b)].taxa.push_back(std::move(column));
    }
  return mergeBlocks(std::move(blocks), std::move(scores), hasData, false);
}

struct Presence {
  Dataset data = presenceSet();
  PairTableIndex index = PairTableIndex::build(data);
  std::vector<int32_t> taxa = allPositions(data.taxonCount());
  MarkerSample sample;
  Presence() {
    Random random;
    std::vector<uint8_t> seen;
    drawMarkerSample(random, data.markerCount(), data.markerCount(), false, sample, seen);
  }
};

// A bootstrap sample's expansion and its matrix, as one replicate computes them.
void BM_ReplicateMatrix(benchmark::State& state, Coefficient c) {
  Presence p;
  SampleExpansion expansion;
  SquareMatrix out(200);
  for (auto _ : state) {
    expansion.assign(p.index, p.taxa, p.sample);
    computeSimilarityMatrix(expansion, c, false, true, 6.0, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_ReplicateMatrix, Dice_200x2000, Coefficient::Dice)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplicateMatrix, Divergence_200x2000, Coefficient::NucleotideDivergence)
    ->Unit(benchmark::kMillisecond);

void BM_PairTableIndexBuild(benchmark::State& state) {
  const Dataset d = presenceSet();
  for (auto _ : state) benchmark::DoNotOptimize(PairTableIndex::build(d));
}
BENCHMARK(BM_PairTableIndexBuild)->Unit(benchmark::kMillisecond);

void BM_SampleExpansion(benchmark::State& state) {
  Presence p;
  SampleExpansion s;
  for (auto _ : state) {
    s.assign(p.index, p.taxa, p.sample);
    benchmark::DoNotOptimize(s.entryCount());
  }
}
BENCHMARK(BM_SampleExpansion)->Unit(benchmark::kMillisecond);

// The kernel alone: every pair table of 200 taxa and the Dice matrix from them.
void BM_PairTableKernel(benchmark::State& state) {
  Presence p;
  SampleExpansion s;
  s.assign(p.index, p.taxa, p.sample);
  SquareMatrix out(200);
  for (auto _ : state) {
    computeSimilarityMatrix(s, Coefficient::Dice, false, true, 0.0, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK(BM_PairTableKernel)->Unit(benchmark::kMillisecond);

// 200 taxa, 50 loci of about 8 alleles; a taxon misses a locus now and then.
Dataset frequencySet() {
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<Block> blocks(50);
  std::vector<std::vector<uint8_t>> hasData(50);
  ScoreStore scores;
  int32_t num = 1;
  for (int l = 0; l < 50; ++l) {
    Block& locus = blocks[static_cast<std::size_t>(l)];
    locus.id = l;
    const int alleles = 6 + static_cast<int>(rng() % 5);
    for (int a = 0; a < alleles; ++a) locus.markers.push_back(Marker{num + a, Name(std::to_string(num + a)), l});
    for (int t = 0; t < 200; ++t) {
      BlockTaxon column{Name("taxon" + std::to_string(t)), -1, scores.size(), 0};
      const bool present = !(u(rng) < 0.05);
      if (present) {
        std::vector<double> v(static_cast<std::size_t>(alleles));
        double sum = 0;
        for (double& x : v) sum += (x = u(rng));
        for (int a = 0; a < alleles; ++a)
          scores.push_back(Score{num + a, v[static_cast<std::size_t>(a)] / sum});
      }
      column.count = scores.size() - column.first;
      locus.taxa.push_back(std::move(column));
      hasData[static_cast<std::size_t>(l)].push_back(present ? 1 : 0);
    }
    num += alleles;
  }
  return mergeBlocks(std::move(blocks), std::move(scores), hasData, true);
}

struct Frequencies {
  Dataset data = frequencySet();
  FrequencyIndex index = FrequencyIndex::build(data);
  std::vector<int32_t> taxa = allPositions(data.taxonCount());
  std::vector<MarkerSample> samples;
  Frequencies() {
    Random random;
    std::vector<uint8_t> seen;
    for (const Block& b : data.blocks) {
      samples.emplace_back();
      const auto n = static_cast<int32_t>(b.markers.size());
      drawMarkerSample(random, n, n, true, samples.back(), seen);
    }
  }
};

// Index, sample and matrix, as the matrix page computes them.
void BM_FrequencyMatrix(benchmark::State& state, Coefficient c) {
  Frequencies f;
  for (auto _ : state) {
    const FrequencyIndex index = FrequencyIndex::build(f.data);
    FrequencySample sample;
    sample.assign(index, f.samples, f.taxa);
    SquareMatrix out;
    computeFrequencyDistances(sample, c, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_FrequencyMatrix, Nei_200x50, Coefficient::NeiStandard)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrequencyMatrix, Cavalli_200x50, Coefficient::CavalliSforzaEdwards)
    ->Unit(benchmark::kMillisecond);

// The frequency kernel alone, index and sample prepared.
void BM_FrequencyKernel(benchmark::State& state, Coefficient c) {
  Frequencies f;
  FrequencySample sample;
  sample.assign(f.index, f.samples, f.taxa);
  SquareMatrix out(200);
  for (auto _ : state) {
    computeFrequencyDistances(sample, c, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_FrequencyKernel, Nei_200x50, Coefficient::NeiStandard)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ramovia
