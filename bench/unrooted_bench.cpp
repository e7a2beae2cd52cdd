// 1000 bootstrap replicates of 200 taxa × 500 fragments (Dice, neighbor-joining), with and without
// the unrooted summary (splits, split and transfer support, the splits of the consensus).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "analysis/engine.h"
#include "analysis/session.h"

namespace ramovia {
namespace {

std::string table() {
  std::mt19937 rng(200);
  std::string t;
  for (int k = 0; k < 200; ++k) t += "\tT" + std::to_string(k + 1);
  t += '\n';
  // Taxa evolve along a caterpillar of groups, so that the trees have shape.
  std::vector<std::vector<int>> marks(200, std::vector<int>(500));
  std::vector<int> root(500);
  for (int& m : root) m = static_cast<int>(rng() & 1);
  for (int k = 0; k < 200; ++k)
    for (int f = 0; f < 500; ++f)
      marks[static_cast<std::size_t>(k)][static_cast<std::size_t>(f)] =
          root[static_cast<std::size_t>(f)] ^ (((k / 8) * 31 + f) % 17 == 0) ^ (rng() % 25 == 0);
  for (int b = 0; b < 5; ++b) {
    t += "E" + std::to_string(b + 1) + "\t6\n";
    for (int f = b * 100; f < (b + 1) * 100; ++f) {
      t += std::to_string(f + 1);
      for (int k = 0; k < 200; ++k)
        t += marks[static_cast<std::size_t>(k)][static_cast<std::size_t>(f)] ? "\t1" : "\t0";
      t += '\n';
    }
  }
  return t;
}

Session& prepared() {
  static Session s = [] {
    Session x;
    x.readTable(table(), '.');
    x.chooseCoefficient(Coefficient::Dice);
    x.chooseMethod(TreeMethod::NeighborJoining);
    return x;
  }();
  return s;
}

void BM_Bootstrap1000(benchmark::State& state) {
  Session& s = prepared();
  ResamplingPlan plan;
  plan.replicates = 1000;
  plan.seed = 1;
  for (auto _ : state) {
    DrawState draws;
    draws.random.setSeed(1);
    for (int32_t t = 0; t < s.data().taxonCount(); ++t) draws.order.push_back(t);
    benchmark::DoNotOptimize(runResampling(s.data(), Coefficient::Dice, TreeMethod::NeighborJoining,
                                           plan, s.comparedTree(), draws, nullptr));
  }
}
BENCHMARK(BM_Bootstrap1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Bootstrap1000WithUnrootedSummary(benchmark::State& state) {
  Session& s = prepared();
  ResamplingPlan plan;
  plan.replicates = 1000;
  plan.seed = 1;
  for (auto _ : state) benchmark::DoNotOptimize(s.resample(plan).unrooted.topologies.size());
}
BENCHMARK(BM_Bootstrap1000WithUnrootedSummary)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
}  // namespace ramovia
