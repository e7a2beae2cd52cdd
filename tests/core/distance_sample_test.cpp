#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/distance_fixtures.h"
#include "resampling/random.h"

namespace ramovia {
namespace {

using fixtures::AddTaxon;
using fixtures::Fragment;

// A data set with `count` distinct fragments over two blocks.
void FillFragments(TEnzym& e, int count) {
  TDruh* d = AddTaxon(e, "a");
  for (int k = 1; k <= count; ++k)
    d->AddFragment(Fragment(k * 3, k % 2, 1.0, "L" + std::to_string(k)));
  e.PrepareFragmentList();
}

// The sample drawn as the rule reads: one draw per attempt, a linear search of the sample.
std::vector<int32_t> ReplayNums(const TEnzym& e, int32_t count, bool distinct) {
  std::vector<int32_t> nums;
  const int32_t k = std::min(count, e.FragmentCount());
  while (static_cast<int32_t>(nums.size()) < k) {
    const int32_t num = e.GetFragment(static_cast<int32_t>(RandomIndex(e.FragmentCount())))->Num;
    if (distinct && std::find(nums.begin(), nums.end(), num) != nums.end()) continue;
    nums.push_back(num);
  }
  return nums;
}

std::vector<int32_t> SampleNums(const TEnzym& e) {
  std::vector<int32_t> nums;
  for (const auto& f : e.RedukovaneFragmenty->Fragmenty) nums.push_back(f->Num);
  return nums;
}

TEST(PrepareReducedFragList, DrawsExactlyAsTheRuleReads) {
  for (bool distinct : {true, false}) {
    for (int32_t count : {1, 7, 30, 35, 100}) {
      TEnzym e;
      FillFragments(e, 30);
      SetRandomSeed(4242);
      const std::vector<int32_t> expected = ReplayNums(e, count, distinct);
      const uint32_t seedAfter = GetRandomSeed();
      SetRandomSeed(4242);
      e.PrepareReducedFragList(count, distinct);
      EXPECT_EQ(SampleNums(e), expected) << count << distinct;
      EXPECT_EQ(GetRandomSeed(), seedAfter) << "draw count differs";
    }
  }
}

TEST(PrepareReducedFragList, SampleSizesAndRepetition) {
  TEnzym e;
  FillFragments(e, 40);
  const uint32_t seed = GetRandomSeed();
  e.PrepareReducedFragList(0, true);
  EXPECT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 0);
  e.PrepareReducedFragList(-1, false);
  EXPECT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 0);
  EXPECT_EQ(GetRandomSeed(), seed);

  e.PrepareReducedFragList(e.FragmentCount() + 5, true);
  std::vector<int32_t> nums = SampleNums(e);
  ASSERT_EQ(nums.size(), 40u);
  std::sort(nums.begin(), nums.end());
  for (int k = 0; k < 40; ++k) EXPECT_EQ(nums[static_cast<std::size_t>(k)], (k + 1) * 3);

  SetRandomSeed(7);
  e.PrepareReducedFragList(e.FragmentCount(), false);
  nums = SampleNums(e);
  EXPECT_EQ(nums.size(), 40u);
  EXPECT_LT(std::set<int32_t>(nums.begin(), nums.end()).size(), 40u) << "seed 7 repeats some";
}

TEST(PrepareReducedFragList, CopiesCarryNumNameAndBlockOnly) {
  TEnzym e;
  FillFragments(e, 5);
  e.GetDruh(0)->GetFragment(2)->Value = 0.7;
  e.PrepareReducedFragList(5, true);
  for (const auto& f : e.RedukovaneFragmenty->Fragmenty) {
    const TFragment* src = e.FragItemByNum(f->Num);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(f->Name, src->Name);
    EXPECT_EQ(f->EnzymId, src->EnzymId);
    EXPECT_EQ(f->Value, 0.0);
    EXPECT_EQ(f->Reference, kFalse16);
  }
}

TEST(PrepareReducedFragList, EmptyDataSetDrawsNothing) {
  TEnzym e;
  AddTaxon(e, "lonely");
  e.PrepareFragmentList();
  const uint32_t seed = GetRandomSeed();
  e.PrepareReducedFragList(10, false);
  EXPECT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 0);
  EXPECT_EQ(GetRandomSeed(), seed);
}

TEST(ReduceList, RemovesAtRandomPositions) {
  TEnzym e;
  for (int k = 0; k < 6; ++k) AddTaxon(e, "t" + std::to_string(k));
  e.ReduceList(0);
  ASSERT_EQ(e.RedukovaneDruhy.size(), 6u);
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(e.RedukovaneDruhy[k], e.Druhy[k].get());
  EXPECT_FALSE(e.UseRedukovaneDruhy);

  SetRandomSeed(0);
  std::vector<TDruh*> expected;
  for (const auto& d : e.Druhy) expected.push_back(d.get());
  for (int r = 0; r < 3; ++r)
    expected.erase(expected.begin() + RandomIndex(static_cast<int32_t>(expected.size())));
  const uint32_t seedAfter = GetRandomSeed();
  SetRandomSeed(0);
  e.ReduceList(3);
  EXPECT_EQ(e.RedukovaneDruhy, expected);
  EXPECT_EQ(GetRandomSeed(), seedAfter);
}

TEST(ReduceList, TooManyEmptiesThenFails) {
  for (int32_t n : {3, 5}) {
    TEnzym e;
    for (int k = 0; k < 3; ++k) AddTaxon(e, "t" + std::to_string(k));
    try {
      e.ReduceList(n);
      FAIL() << "no error for " << n;
    } catch (const ListIndexError& ex) {
      EXPECT_EQ(ex.index(), 0);
      EXPECT_STREQ(ex.what(), "List index out of bounds (0)");
    }
    EXPECT_TRUE(e.RedukovaneDruhy.empty());
    EXPECT_EQ(e.Druhy.size(), 3u);
  }
}

TEST(DrawSamplePositions, MatchesTheDataSetDraw) {
  TEnzym e;
  FillFragments(e, 25);
  std::vector<int32_t> positions;
  std::vector<uint8_t> seen;
  for (bool distinct : {true, false}) {
    SetRandomSeed(31);
    DrawSamplePositions(e.FragmentCount(), 20, distinct, positions, seen);
    const uint32_t seedAfter = GetRandomSeed();
    SetRandomSeed(31);
    e.PrepareReducedFragList(20, distinct);
    ASSERT_EQ(positions.size(), 20u);
    for (std::size_t k = 0; k < positions.size(); ++k)
      EXPECT_EQ(e.GetFragment(positions[k])->Num,
                e.RedukovaneFragmenty->GetFragment(static_cast<int32_t>(k))->Num);
    EXPECT_EQ(GetRandomSeed(), seedAfter);
  }
}

}  // namespace
}  // namespace ramovia
