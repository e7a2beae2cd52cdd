#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <random>

#include "model/enzym.h"
#include "resampling/tree_support.h"
#include "tree/builders.h"
#include "tree/tree_view.h"

namespace ramovia {
namespace {

constexpr int kTaxa = 200;

std::vector<ItemName> Names(int n) {
  std::vector<ItemName> names;
  for (int i = 0; i < n; ++i) names.emplace_back("Taxon" + std::to_string(i));
  return names;
}

std::vector<const ItemName*> Pointers(const std::vector<ItemName>& names) {
  std::vector<const ItemName*> p;
  for (const auto& n : names) p.push_back(&n);
  return p;
}

// A symmetric matrix of similarities in [0, 1]; tied draws come from five values only.
SquareMatrix Matrix(int n, bool tied, uint32_t seed) {
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
  const SquareMatrix K = Matrix(n, tied, 1);
  const auto names = Names(n);
  const auto ptrs = Pointers(names);
  TreeWorkspace ws;
  for (auto _ : state) benchmark::DoNotOptimize(BuildUPGMA(K, n, ptrs.data(), false, ws));
}
BENCHMARK(BM_UPGMA)
    ->ArgsProduct({{0, 1}, {kTaxa, 1000}})
    ->ArgNames({"tied", "taxa"})
    ->Unit(benchmark::kMicrosecond);

void BM_NbJoin(benchmark::State& state) {
  const bool tied = state.range(0) != 0;
  const int n = static_cast<int>(state.range(1));
  SquareMatrix K = Matrix(n, tied, 2);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) K(i, j) = 1 - K(i, j);
  const auto names = Names(n);
  const auto ptrs = Pointers(names);
  TreeWorkspace ws;
  for (auto _ : state) benchmark::DoNotOptimize(BuildNbJoin(K, n, ptrs.data(), ws));
}
BENCHMARK(BM_NbJoin)
    ->ArgsProduct({{0, 1}, {kTaxa, 1000}})
    ->ArgNames({"tied", "taxa"})
    ->Unit(benchmark::kMicrosecond);

// Replicate-like trees: UPGMA over a structured matrix with noise and a shuffled taxon order,
// so that clades recur between trees as in a resampling run.
struct Replicates {
  std::vector<ItemName> names = Names(kTaxa);
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

  std::unique_ptr<TKVTreeNodeItem> Next() {
    std::vector<int> perm(kTaxa);
    for (int i = 0; i < kTaxa; ++i) perm[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(perm.begin(), perm.end(), gen);
    std::normal_distribution<double> noise(0.0, 0.08);
    SquareMatrix K(kTaxa);
    std::vector<const ItemName*> ptrs(kTaxa);
    for (int a = 1; a <= kTaxa; ++a) {
      const int i = perm[static_cast<std::size_t>(a - 1)];
      ptrs[static_cast<std::size_t>(a - 1)] = &names[static_cast<std::size_t>(i - 1)];
      for (int b = a + 1; b <= kTaxa; ++b) {
        const int j = perm[static_cast<std::size_t>(b - 1)];
        K(a, b) = K(b, a) = base(i, j) + noise(gen);
      }
    }
    return BuildUPGMA(K, kTaxa, ptrs.data(), false, ws);
  }
};

Replicates& Source() {
  static Replicates r;
  return r;
}

std::vector<std::unique_ptr<TKVTreeNodeItem>>& Pool() {
  static std::vector<std::unique_ptr<TKVTreeNodeItem>> pool = [] {
    std::vector<std::unique_ptr<TKVTreeNodeItem>> p;
    for (int k = 0; k < 10000; ++k) p.push_back(Source().Next());
    return p;
  }();
  return pool;
}

std::unique_ptr<TKVTreeNodeItem> Copy(const TKVTreeNodeItem* x) {
  if (const TKVTreeNode* n = AsNode(x)) {
    auto c = std::make_unique<TKVTreeNode>();
    c->Name = n->Name;
    c->Distance = n->Distance;
    c->Left = Copy(n->Left.get());
    c->Right = Copy(n->Right.get());
    return c;
  }
  auto leaf = std::make_unique<TKVTreeNodeItem>();
  leaf->Name = x->Name;
  leaf->Num = x->Num;
  leaf->Distance = x->Distance;
  return leaf;
}

void BM_AddTenThousandTrees(benchmark::State& state) {
  const auto& pool = Pool();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::unique_ptr<TKVTreeNodeItem>> trees;
    for (const auto& t : pool) trees.push_back(Copy(t.get()));
    auto e = std::make_unique<TEnzym>();
    state.ResumeTiming();
    for (auto& t : trees) e->AddTreeToList(std::move(t));
    benchmark::DoNotOptimize(e->TreeCount());
    state.PauseTiming();
    state.counters["distinct"] = e->TreeCount();
    e.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddTenThousandTrees)->Unit(benchmark::kMillisecond)->Iterations(3);

struct SupportSetup {
  TEnzym e;
  std::unique_ptr<TKVTreeNodeItem> ref;
  SupportSetup() {
    for (const auto& t : Pool()) e.AddTreeToList(Copy(t.get()));
    ref = Source().Next();
  }
};

SupportSetup& Support() {
  static SupportSetup s;
  return s;
}

// Index built afresh, then every clade of the reference tree.
void BM_SupportOfAllClades(benchmark::State& state) {
  auto& s = Support();
  for (auto _ : state) {
    CladeSupportIndex index(s.e.TreeList);
    int64_t sum = 0;
    std::function<void(const TKVTreeNodeItem*)> walk = [&](const TKVTreeNodeItem* x) {
      if (const TKVTreeNode* n = AsNode(x)) {
        sum += index.Support(n);
        walk(n->Left.get());
        walk(n->Right.get());
      }
    };
    walk(s.ref.get());
    benchmark::DoNotOptimize(sum);
  }
  state.counters["listed"] = s.e.TreeCount();
}
BENCHMARK(BM_SupportOfAllClades)->Unit(benchmark::kMillisecond);

// The reference-tree view with support, as the statistics display draws it (index kept warm).
void BM_SupportViewWarm(benchmark::State& state) {
  auto& s = Support();
  for (auto _ : state) benchmark::DoNotOptimize(TreeViewLines(s.e, s.ref.get(), true));
}
BENCHMARK(BM_SupportViewWarm)->Unit(benchmark::kMillisecond);

// One clade by the tree walk, for comparison.
void BM_SupportOneCladeWalked(benchmark::State& state) {
  auto& s = Support();
  const TKVTreeNodeItem* clade = AsNode(s.ref.get())->Left.get();
  for (auto _ : state) benchmark::DoNotOptimize(s.e.EnumerateTreePlain(clade));
}
BENCHMARK(BM_SupportOneCladeWalked)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ramovia
