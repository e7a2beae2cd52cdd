#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "analysis/draws.h"
#include "model/names.h"

namespace ramovia {
namespace {

// The sample drawn as the rule reads: one draw per attempt, a search of the sample.
MarkerSample replaySample(Random& random, int32_t markers, int32_t count, bool distinct) {
  MarkerSample out;
  const int32_t k = std::min(count, markers);
  while (static_cast<int32_t>(out.size()) < k) {
    const auto p = static_cast<int32_t>(random.index(markers));
    if (distinct && std::find(out.begin(), out.end(), p) != out.end()) continue;
    out.push_back(p);
  }
  return out;
}

TEST(DrawMarkerSample, DrawsExactlyAsTheRuleReads) {
  MarkerSample drawn;  // buffers reused from draw to draw
  std::vector<uint8_t> seen;
  for (bool distinct : {true, false}) {
    for (int32_t count : {1, 7, 30, 35, 100}) {
      Random replay(4242);
      const MarkerSample expected = replaySample(replay, 30, count, distinct);
      Random random(4242);
      drawMarkerSample(random, 30, count, distinct, drawn, seen);
      EXPECT_EQ(drawn, expected) << count << distinct;
      EXPECT_EQ(random.seed(), replay.seed()) << "draw count differs";
    }
  }
}

TEST(DrawMarkerSample, SampleSizesAndRepetition) {
  MarkerSample drawn{5};
  std::vector<uint8_t> seen;
  Random random(99);
  drawMarkerSample(random, 40, 0, true, drawn, seen);
  EXPECT_TRUE(drawn.empty());
  drawMarkerSample(random, 40, -1, false, drawn, seen);
  EXPECT_TRUE(drawn.empty());
  drawMarkerSample(random, 0, 10, false, drawn, seen);  // no marker at all
  EXPECT_TRUE(drawn.empty());
  EXPECT_EQ(random.seed(), 99u);

  drawMarkerSample(random, 40, 45, true, drawn, seen);
  ASSERT_EQ(drawn.size(), 40u);
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(drawn, allPositions(40));

  random.setSeed(7);
  drawMarkerSample(random, 40, 40, false, drawn, seen);
  EXPECT_EQ(drawn.size(), 40u);
  EXPECT_LT(std::set<int32_t>(drawn.begin(), drawn.end()).size(), 40u) << "seed 7 repeats some";
}

TEST(LeaveOutTaxa, RemovesAtRandomPositions) {
  const std::vector<int32_t> order{5, 3, 0, 4, 1, 2};
  Random random(0);
  EXPECT_EQ(leaveOutTaxa(random, order, 0), order);
  EXPECT_EQ(random.seed(), 0u);

  Random replay(0);
  std::vector<int32_t> expected = order;
  for (int r = 0; r < 3; ++r)
    expected.erase(expected.begin() + replay.index(static_cast<int32_t>(expected.size())));
  EXPECT_EQ(leaveOutTaxa(random, order, 3), expected);
  EXPECT_EQ(random.seed(), replay.seed());
}

TEST(LeaveOutTaxa, TooManyEmptiesThenFails) {
  for (int32_t n : {3, 5}) {
    Random random(0);
    try {
      (void)leaveOutTaxa(random, {0, 1, 2}, n);
      FAIL() << "no error for " << n;
    } catch (const ListIndexError& ex) {
      EXPECT_EQ(ex.index(), 0);
      EXPECT_STREQ(ex.what(), "List index out of bounds (0)");
    }
    Random replay(0);
    for (int32_t left : {3, 2, 1, 0}) replay.index(left);  // the last finds the list empty
    EXPECT_EQ(random.seed(), replay.seed()) << n;
  }
}

TEST(ShuffleTaxa, MovesTheDrawnTaxonToTheEnd) {
  std::vector<int32_t> order{0, 1, 2, 3, 4};
  Random random(41);
  Random replay(41);
  shuffleTaxa(random, order, 3);  // only the first three take part
  std::vector<int32_t> expected{0, 1, 2, 3, 4};
  const auto k = static_cast<int32_t>(replay.index(3));
  expected.erase(expected.begin() + k);
  expected.push_back(k);
  EXPECT_EQ(order, expected);
  // A bound past the order can draw a position it lacks: from seed 0 the third draw of 100 is 86.
  random.setSeed(134775814u);
  EXPECT_THROW(shuffleTaxa(random, order, 100), ListIndexError);
  EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace ramovia
