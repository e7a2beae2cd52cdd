// Matrix computations at the sizes of a large resampling run.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "distance/coefficients.h"
#include "distance/frequency.h"
#include "distance/pair_table.h"
#include "model/enzym.h"
#include "resampling/analysis.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

std::unique_ptr<TFragment> Frag(int32_t num, int32_t block, double value) {
  auto f = std::make_unique<TFragment>();
  f->Num = num;
  f->EnzymId = block;
  f->Value = value;
  f->Name = std::to_string(num);
  return f;
}

// 200 taxa over 2000 fragments in 10 blocks; a few taxa lack data for a block.
std::unique_ptr<TEnzym> PresenceSet() {
  auto e = std::make_unique<TEnzym>();
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int t = 0; t < 200; ++t) {
    auto d = std::make_unique<TDruh>();
    d->Name = "taxon" + std::to_string(t);
    for (int b = 0; b < 10; ++b) {
      if (u(rng) < 0.03) {
        d->AddForbiddenEnzym(b);
        continue;
      }
      for (int k = 0; k < 200; ++k)
        if (u(rng) < 0.4) d->AddFragment(Frag(b * 200 + k + 1, b, 1.0));
    }
    e->AddDruh(std::move(d));
  }
  e->PrepareFragmentList();
  SetRandomSeed(0);
  e->PrepareReducedFragList(e->FragmentCount(), false);
  return e;
}

void BM_PrepareSimilarityTbl(benchmark::State& state, char letter) {
  auto e = PresenceSet();
  e->KoefChar = letter;
  e->TreeType = ettUPGMA;
  e->SiteLength = 6.0;
  for (auto _ : state) {
    e->PrepareSimilarityTbl();
    benchmark::DoNotOptimize(e->GetDistance(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_PrepareSimilarityTbl, Dice_200x2000, 'A')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PrepareSimilarityTbl, Divergence_200x2000, 'N')->Unit(benchmark::kMillisecond);

void BM_PairTableIndexBuild(benchmark::State& state) {
  auto e = PresenceSet();
  for (auto _ : state) benchmark::DoNotOptimize(PairTableIndex::Build(*e));
}
BENCHMARK(BM_PairTableIndexBuild)->Unit(benchmark::kMillisecond);

void BM_SampleExpansion(benchmark::State& state) {
  auto e = PresenceSet();
  const PairTableIndex index = PairTableIndex::Build(*e);
  const auto taxa = ActiveTaxonList(*e);
  SampleExpansion s;
  for (auto _ : state) {
    s.Assign(index, taxa, e->RedukovaneFragmenty->Fragmenty);
    benchmark::DoNotOptimize(s.EntryCount());
  }
}
BENCHMARK(BM_SampleExpansion)->Unit(benchmark::kMillisecond);

// The kernel alone: every pair table of 200 taxa and the Dice matrix from them.
void BM_PairTableKernel(benchmark::State& state) {
  auto e = PresenceSet();
  const PairTableIndex index = PairTableIndex::Build(*e);
  const auto taxa = ActiveTaxonList(*e);
  SampleExpansion s;
  s.Assign(index, taxa, e->RedukovaneFragmenty->Fragmenty);
  SquareMatrix out(200);
  for (auto _ : state) {
    ComputeSimilarityMatrix(s, 'A', ettUPGMA, true, 0.0, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK(BM_PairTableKernel)->Unit(benchmark::kMillisecond);

// 200 taxa, 50 loci of about 8 alleles; a taxon misses a locus now and then.
std::unique_ptr<Analysis> FrequencySet() {
  auto an = std::make_unique<Analysis>();
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int32_t num = 1;
  for (int l = 0; l < 50; ++l) {
    auto locus = std::make_unique<TEnzym>();
    locus->EnzymId = l;
    const int alleles = 6 + static_cast<int>(rng() % 5);
    for (int t = 0; t < 200; ++t) {
      if (u(rng) < 0.05) continue;
      auto d = std::make_unique<TDruh>();
      d->Name = "taxon" + std::to_string(t);
      std::vector<double> v(static_cast<std::size_t>(alleles));
      double sum = 0;
      for (double& x : v) sum += (x = u(rng));
      for (int a = 0; a < alleles; ++a)
        d->AddFragment(Frag(num + a, l, v[static_cast<std::size_t>(a)] / sum));
      locus->AddDruh(std::move(d));
    }
    num += alleles;
    locus->PrepareFragmentList();
    locus->PrepareReducedFragList(locus->FragmentCount(), true);
    an->Loci.push_back(std::move(locus));
  }
  for (int t = 0; t < 200; ++t) {
    auto d = std::make_unique<TDruh>();
    d->Name = "taxon" + std::to_string(t);
    an->Enzym->AddDruh(std::move(d));
  }
  return an;
}

void BM_MultiTest(benchmark::State& state, char letter) {
  auto an = FrequencySet();
  for (auto _ : state) {
    an->MultiTest(letter);
    benchmark::DoNotOptimize(an->Enzym->GetDistance(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_MultiTest, Nei_200x50, 'R')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MultiTest, Cavalli_200x50, 'X')->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ramovia

namespace ramovia {
namespace {

// The frequency kernel alone, index and sample prepared.
void BM_FrequencyKernel(benchmark::State& state, char letter) {
  auto an = FrequencySet();
  std::vector<const TEnzym*> loci;
  for (const auto& e : an->Loci) loci.push_back(e.get());
  const auto taxa = ActiveTaxonList(*an->Enzym);
  const FrequencyIndex index = FrequencyIndex::Build(loci, taxa);
  FrequencySample sample;
  sample.Assign(index, loci, taxa);
  SquareMatrix out(200);
  for (auto _ : state) {
    ComputeFrequencyDistances(sample, letter, out);
    benchmark::DoNotOptimize(out(1, 2));
  }
}
BENCHMARK_CAPTURE(BM_FrequencyKernel, Nei_200x50, 'R')->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ramovia
