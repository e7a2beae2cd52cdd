#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "tree/builders.h"
#include "tree/clade_support.h"
#include "tree/tree_list.h"

namespace ramovia {
namespace {

constexpr int kTaxa = 200;

struct Rows {
  std::vector<Name> names;
  std::vector<const Name*> pointers;
  std::vector<int32_t> taxa;
  explicit Rows(int n) {
    for (int i = 0; i < n; ++i) names.emplace_back("Taxon" + std::to_string(i));
    for (int i = 0; i < n; ++i) {
      pointers.push_back(&names[static_cast<std::size_t>(i)]);
      taxa.push_back(i);
    }
  }
  RowTaxa view() const { return {taxa, pointers}; }
};

// A symmetric matrix of similarities in [0, 1]; tied draws come from five values only.
SquareMatrix randomMatrix(int n, bool tied, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> real(0.0, 1.0);
  std::uniform_int_distribution<int> pick(1, 5);
  SquareMatrix K(n);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) K(i, j) = K(j, i) = tied ? pick(gen) / 5.0 : real(gen);
  return K;
}

void BM_UPGMA(benchmark::State& state) {
  const bool tied = state.range(0) != 0;
  const int n = static_cast<int>(state.range(1));
  const SquareMatrix K = randomMatrix(n, tied, 1);
  const Rows rows(n);
  TreeWorkspace ws;
  for (auto _ : state) benchmark::DoNotOptimize(buildUpgma(K, n, rows.view(), false, ws));
}
BENCHMARK(BM_UPGMA)
    ->ArgsProduct({{0, 1}, {kTaxa, 1000}})
    ->ArgNames({"tied", "taxa"})
    ->Unit(benchmark::kMicrosecond);

void BM_NbJoin(benchmark::State& state) {
  const bool tied = state.range(0) != 0;
  const int n = static_cast<int>(state.range(1));
  SquareMatrix K = randomMatrix(n, tied, 2);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) K(i, j) = 1 - K(i, j);
  const Rows rows(n);
  TreeWorkspace ws;
  for (auto _ : state) benchmark::DoNotOptimize(buildNeighborJoining(K, n, rows.view(), ws));
}
BENCHMARK(BM_NbJoin)
    ->ArgsProduct({{0, 1}, {kTaxa, 1000}})
    ->ArgNames({"tied", "taxa"})
    ->Unit(benchmark::kMicrosecond);

// Replicate-like trees: UPGMA over a structured matrix with noise and a shuffled taxon order,
// so that clades recur between trees as in a resampling run.
struct Replicates {
  Rows rows{kTaxa};
  SquareMatrix base = SquareMatrix(kTaxa);
  std::mt19937 gen{7};
  TreeWorkspace ws;

  Replicates() {
    for (int i = 1; i <= kTaxa; ++i)
      for (int j = 1; j <= kTaxa; ++j) {
        int shared = 0;  // taxa close in number share more of a hierarchy of groups
        for (int g = 2; g <= 128; g *= 2) shared += (i - 1) / g == (j - 1) / g;
        base(i, j) = shared / 7.0;
      }
  }

  Tree next() {
    std::vector<int32_t> perm(kTaxa);
    for (int i = 0; i < kTaxa; ++i) perm[static_cast<std::size_t>(i)] = i;
    std::shuffle(perm.begin(), perm.end(), gen);
    std::normal_distribution<double> noise(0.0, 0.08);
    SquareMatrix K(kTaxa);
    std::vector<const Name*> names(kTaxa);
    for (int a = 1; a <= kTaxa; ++a) {
      const int32_t i = perm[static_cast<std::size_t>(a - 1)];
      names[static_cast<std::size_t>(a - 1)] = &rows.names[static_cast<std::size_t>(i)];
      for (int b = a + 1; b <= kTaxa; ++b) {
        const int32_t j = perm[static_cast<std::size_t>(b - 1)];
        K(a, b) = K(b, a) = base(i + 1, j + 1) + noise(gen);
      }
    }
    return buildUpgma(K, kTaxa, RowTaxa{perm, names}, false, ws);
  }
};

Replicates& source() {
  static Replicates r;
  return r;
}

const std::vector<Tree>& pool() {
  static const std::vector<Tree> trees = [] {
    std::vector<Tree> p;
    for (int k = 0; k < 10000; ++k) p.push_back(source().next());
    return p;
  }();
  return trees;
}

void BM_AddTenThousandTrees(benchmark::State& state) {
  const auto& trees = pool();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Tree> copies = trees;
    TreeList list;
    state.ResumeTiming();
    for (auto& t : copies) list.add(std::move(t));
    benchmark::DoNotOptimize(list.size());
    state.counters["distinct"] = list.size();
  }
}
BENCHMARK(BM_AddTenThousandTrees)->Unit(benchmark::kMillisecond)->Iterations(3);

struct SupportSetup {
  TreeList list;
  Tree reference;
  SupportSetup() {
    for (const Tree& t : pool()) list.add(t);
    reference = source().next();
  }
};

SupportSetup& supportSetup() {
  static SupportSetup s;
  return s;
}

// The index built afresh, then every clade of the reference tree.
void BM_SupportOfAllClades(benchmark::State& state) {
  auto& s = supportSetup();
  for (auto _ : state) {
    CladeSupportIndex index(s.list, kTaxa);
    benchmark::DoNotOptimize(index.supportOf(s.reference));
  }
  state.counters["listed"] = s.list.size();
}
BENCHMARK(BM_SupportOfAllClades)->Unit(benchmark::kMillisecond);

// Every clade once the index exists.
void BM_SupportWarm(benchmark::State& state) {
  auto& s = supportSetup();
  const CladeSupportIndex index(s.list, kTaxa);
  for (auto _ : state) benchmark::DoNotOptimize(index.supportOf(s.reference));
}
BENCHMARK(BM_SupportWarm)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ramovia
