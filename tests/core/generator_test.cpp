#include <gtest/gtest.h>

#include <vector>

#include "resampling/random.h"

namespace ramovia {
namespace {

std::vector<uint32_t> Draws(int32_t n, int count) {
  std::vector<uint32_t> out;
  for (int k = 0; k < count; ++k) out.push_back(RandomIndex(n));
  return out;
}

TEST(RandomIndex, SequencesFromProgramStart) {
  SetRandomSeed(0);
  EXPECT_EQ(Draws(100, 6), (std::vector<uint32_t>{0, 3, 86, 20, 27, 67}));
  SetRandomSeed(0);
  EXPECT_EQ(Draws(10, 6), (std::vector<uint32_t>{0, 0, 8, 2, 2, 6}));
}

TEST(RandomIndex, SeedAdvancesOnEveryDraw) {
  SetRandomSeed(0);
  EXPECT_EQ(RandomIndex(0), 0u);
  EXPECT_EQ(GetRandomSeed(), 1u);
  // The draw of 0 took the first step, so the 100-sequence continues from its second value.
  EXPECT_EQ(Draws(100, 5), (std::vector<uint32_t>{3, 86, 20, 27, 67}));
  SetRandomSeed(12345);
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(RandomIndex(1), 0u);
}

}  // namespace
}  // namespace ramovia
