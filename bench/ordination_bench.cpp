#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "analysis/comparison.h"
#include "analysis/ordination.h"

namespace ramovia {
namespace {

// Distances between random points in 20 dimensions, bent a little so that some eigenvalues are
// negative, as in real matrices.
DistanceTable randomDistances(int n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<std::vector<double>> points(static_cast<std::size_t>(n), std::vector<double>(20));
  for (auto& p : points)
    for (double& v : p) v = normal(gen);
  DistanceTable d;
  d.names.resize(static_cast<std::size_t>(n));
  d.cells.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) {
      double s = 0;
      for (int k = 0; k < 20; ++k) {
        const double e = points[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] -
                         points[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
        s += e * e;
      }
      d.cells[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j)] =
          d.cells[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)] = std::pow(s, 0.6);
    }
  return d;
}

void BM_Pcoa(benchmark::State& state) {
  const DistanceTable d = randomDistances(static_cast<int>(state.range(0)), 1);
  for (auto _ : state) benchmark::DoNotOptimize(principalCoordinates(d, PcoaCorrection::None));
}
BENCHMARK(BM_Pcoa)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Mantel9999(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const DistanceTable x = randomDistances(n, 2), y = randomDistances(n, 3);
  for (auto _ : state) benchmark::DoNotOptimize(mantelTest(x, y, 9999, 0));
}
BENCHMARK(BM_Mantel9999)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace ramovia
