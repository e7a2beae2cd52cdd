// Tables of thousands of taxa: reading, the matrix and the reference tree, each timed once.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>

#include "analysis/session.h"

namespace ramovia {
namespace {

std::string largeTable(int taxa, int fragments, int blocks, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string t;
  t.reserve(static_cast<std::size_t>(taxa) * static_cast<std::size_t>(fragments) * 2 + 1024);
  for (int k = 0; k < taxa; ++k) t += "\tT" + std::to_string(k + 1);
  t += '\n';
  const int perBlock = fragments / blocks;
  for (int b = 0; b < blocks; ++b) {
    t += "E" + std::to_string(b + 1) + "\t6\n";
    for (int f = 0; f < perBlock; ++f) {
      t += std::to_string(100 + f);
      for (int k = 0; k < taxa; ++k) t += (rng() & 1) ? "\t1" : "\t0";
      t += '\n';
    }
  }
  return t;
}

void phases(benchmark::State& state, TreeMethod method) {
  const int taxa = static_cast<int>(state.range(0));
  const int fragments = static_cast<int>(state.range(1));
  const std::string table = largeTable(taxa, fragments, fragments / 100, 7);
  for (auto _ : state) {
    Session s;
    auto t0 = std::chrono::steady_clock::now();
    s.readTable(table, '.');
    auto t1 = std::chrono::steady_clock::now();
    s.chooseCoefficient(Coefficient::Dice);
    s.chooseMethod(method);
    auto t2 = std::chrono::steady_clock::now();
    state.counters["read_s"] = std::chrono::duration<double>(t1 - t0).count();
    state.counters["matrix_and_tree_s"] = std::chrono::duration<double>(t2 - t1).count();
    benchmark::DoNotOptimize(s.referenceTree());
  }
}

void BM_ScaleNbJoin(benchmark::State& state) { phases(state, TreeMethod::NeighborJoining); }
void BM_ScaleUPGMA(benchmark::State& state) { phases(state, TreeMethod::Upgma); }
BENCHMARK(BM_ScaleNbJoin)->Args({1000, 2000})->Args({2000, 20000})->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScaleUPGMA)->Args({1000, 2000})->Args({2000, 20000})->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace ramovia
