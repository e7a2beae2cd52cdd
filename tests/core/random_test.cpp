#include <gtest/gtest.h>

#include <vector>

#include "model/random.h"

namespace ramovia {
namespace {

std::vector<uint32_t> draws(Random& random, int32_t n, int count) {
  std::vector<uint32_t> out;
  for (int k = 0; k < count; ++k) out.push_back(random.index(n));
  return out;
}

TEST(Random, SequencesFromSeedZero) {
  Random hundred;
  EXPECT_EQ(draws(hundred, 100, 6), (std::vector<uint32_t>{0, 3, 86, 20, 27, 67}));
  Random ten(0);
  EXPECT_EQ(draws(ten, 10, 6), (std::vector<uint32_t>{0, 0, 8, 2, 2, 6}));
}

TEST(Random, SeedAdvancesOnEveryDraw) {
  Random random(0);
  EXPECT_EQ(random.index(0), 0u);
  EXPECT_EQ(random.seed(), 1u);
  // The draw of 0 took the first step, so the 100-sequence continues from its second value.
  EXPECT_EQ(draws(random, 100, 5), (std::vector<uint32_t>{3, 86, 20, 27, 67}));
  random.setSeed(12345);
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(random.index(1), 0u);
}

}  // namespace
}  // namespace ramovia
