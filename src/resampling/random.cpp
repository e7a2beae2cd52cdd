#include "resampling/random.h"

namespace ramovia {

namespace {
uint32_t g_seed = 0;
}

uint32_t RandomIndex(int32_t n) {
  g_seed = g_seed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(static_cast<uint32_t>(n)) * g_seed) >> 32);
}

uint32_t GetRandomSeed() { return g_seed; }
void SetRandomSeed(uint32_t seed) { g_seed = seed; }

}  // namespace ramovia
