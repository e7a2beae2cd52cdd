// Reading whole input tables: presence tables up to 2000 taxa x 20000 fragments.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "analysis/session.h"

namespace {

// A presence table of the given size in `blocks` blocks, about 40 % of the cells 1.
std::string presenceTable(int taxa, int fragments, int blocks) {
  std::string text;
  text.reserve(static_cast<std::size_t>(taxa) * fragments * 2 + 64);
  for (int t = 0; t < taxa; ++t) text += "\tTaxon" + std::to_string(t);
  text += "\r\n";
  uint32_t state = 12345;
  const int perBlock = (fragments + blocks - 1) / blocks;
  for (int f = 0; f < fragments; ++f) {
    if (f % perBlock == 0) text += "E" + std::to_string(f / perBlock) + "\t6\r\n";
    text += std::to_string(100 + f);
    for (int t = 0; t < taxa; ++t) {
      state = state * 1664525u + 1013904223u;
      text += (state >> 24) < 102 ? "\t1" : "\t0";
    }
    text += "\r\n";
  }
  return text;
}

void BM_ReadPresenceTable(benchmark::State& state) {
  const std::string text = presenceTable(static_cast<int>(state.range(0)),
                                         static_cast<int>(state.range(1)),
                                         static_cast<int>(state.range(2)));
  ramovia::Session s;
  for (auto _ : state) {
    s.readTable(text, '.');
    benchmark::DoNotOptimize(s.data().markers.size());
  }
  state.counters["cells"] = static_cast<double>(state.range(0) * state.range(1));
}
BENCHMARK(BM_ReadPresenceTable)->Args({200, 500, 5})->Args({2000, 2000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPresenceTable)
    ->Args({2000, 20000, 200})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Many blocks of few alleles: the merge looks every block's taxa up by name.
void BM_ReadFrequencyLoci(benchmark::State& state) {
  const int taxa = static_cast<int>(state.range(0));
  const int loci = static_cast<int>(state.range(1));
  std::string text;
  for (int t = 0; t < taxa; ++t) text += "\tPopulation" + std::to_string(t);
  text += "\n";
  for (int l = 0; l < loci; ++l) {
    text += "Locus" + std::to_string(l) + "\n";
    for (int a = 0; a < 3; ++a) {
      text += "a" + std::to_string(a);
      for (int t = 0; t < taxa; ++t) text += a == 2 ? "\t0.5" : "\t0.25";
      text += "\n";
    }
  }
  ramovia::Session s;
  for (auto _ : state) {
    s.readTable(text, '.');
    benchmark::DoNotOptimize(s.data().taxa.size());
  }
}
BENCHMARK(BM_ReadFrequencyLoci)->Args({2000, 1000})->Unit(benchmark::kMillisecond);

}  // namespace
