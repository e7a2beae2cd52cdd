// Reading genotype files: a GenePop file of 5000 individuals x 20 loci x 30 populations (the goal
// is under 0.2 s for the whole reading, frequencies included).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "analysis/session.h"

namespace {

std::string genePopFile(int individuals, int loci, int populations) {
  std::string text = "Benchmark\n";
  for (int l = 0; l < loci; ++l) text += (l ? ", loc" : "loc") + std::to_string(l);
  text += "\n";
  uint32_t state = 2024;
  const auto code = [&state] {
    state = state * 1664525u + 1013904223u;
    const uint32_t v = 100 + (state >> 24) % 40;
    return (state >> 8) % 50 == 0 ? std::string("000") : std::to_string(v);
  };
  for (int i = 0; i < individuals; ++i) {
    if (i % (individuals / populations) == 0 && i / (individuals / populations) < populations)
      text += "Pop\n";
    text += "ind" + std::to_string(i) + " ,";
    for (int l = 0; l < loci; ++l) {
      std::string a = code(), b = code();
      if (a == "000" || b == "000") a = b = "000";
      text += " " + a + b;
    }
    text += "\n";
  }
  return text;
}

void BM_ReadGenePop(benchmark::State& state) {
  const std::string text = genePopFile(static_cast<int>(state.range(0)),
                                       static_cast<int>(state.range(1)),
                                       static_cast<int>(state.range(2)));
  ramovia::Session s;
  ramovia::InputOptions options;
  options.format = ramovia::InputFormat::Auto;
  for (auto _ : state) {
    s.readInput(text, options);
    benchmark::DoNotOptimize(s.data().markers.size());
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ReadGenePop)->Args({5000, 20, 30})->Unit(benchmark::kMillisecond);

}  // namespace
