#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "input/number_reading.h"
#include "output/number_text.h"

namespace {

std::vector<double> randomValues(double scale, std::size_t n) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> v(n);
  for (auto& x : v) x = unit(gen) * scale;
  return v;
}

// One 2000 × 2000 matrix grid worth of cells per iteration.
void BM_FormatMatrixGrid(benchmark::State& state) {
  const auto values = randomValues(static_cast<double>(state.range(0)), 2000 * 2000);
  for (auto _ : state) {
    std::size_t total = 0;
    for (double x : values) total += ramovia::formatMatrixCell(x, '.').size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_FormatMatrixGrid)->Arg(1)->Arg(100000)->Arg(1000000000)->Unit(benchmark::kMillisecond);

void BM_ReadMatrixGrid(benchmark::State& state) {
  const auto values = randomValues(1.0, 2000 * 2000);
  std::vector<std::string> cells;
  cells.reserve(values.size());
  for (double x : values) cells.push_back(ramovia::formatMatrixCell(x, '.'));
  for (auto _ : state) {
    double sum = 0;
    for (const auto& c : cells) sum += ramovia::readMatrixCell(c, '.');
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadMatrixGrid)->Unit(benchmark::kMillisecond);

void BM_LengthText(benchmark::State& state) {
  const auto values = randomValues(1.0, 100000);
  for (auto _ : state) {
    std::size_t total = 0;
    for (double x : values) total += ramovia::lengthText(x).size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_LengthText)->Unit(benchmark::kMillisecond);

}  // namespace
