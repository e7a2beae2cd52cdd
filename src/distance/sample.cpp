// Fragment sample and taxon sample of a data set.
#include <exception>

#include "distance/pair_table.h"
#include "model/enzym.h"
#include "resampling/random.h"

namespace ramovia {

void DrawSamplePositions(int32_t fragmentCount, int32_t count, bool distinct,
                         std::vector<int32_t>& out, std::vector<uint8_t>& seen) {
  out.clear();
  const int32_t k = count < fragmentCount ? count : fragmentCount;
  if (k <= 0) return;
  out.reserve(static_cast<std::size_t>(k));
  // Fragmenty holds each Num once, so "the sample already holds that Num" is "that position was
  // drawn before": a table replaces the search of the sample.
  if (distinct) seen.assign(static_cast<std::size_t>(fragmentCount), 0);
  while (static_cast<int32_t>(out.size()) < k) {
    const auto j = static_cast<int32_t>(RandomIndex(fragmentCount));
    if (distinct) {
      if (seen[static_cast<std::size_t>(j)] != 0) continue;
      seen[static_cast<std::size_t>(j)] = 1;
    }
    out.push_back(j);
  }
}

void TEnzym::SetReducedFragList(std::span<const int32_t> positions) {
  RedukovaneFragmenty->EmptyFragmenty();
  auto& sample = RedukovaneFragmenty->Fragmenty;
  sample.reserve(positions.size());
  for (const int32_t j : positions) {
    auto copy = Fragmenty[static_cast<std::size_t>(j)]->ListCopy();
    copy->Tag = j;  // its position in Fragmenty, as PrepareFragmentList tags its copies
    sample.push_back(std::move(copy));
  }
}

void TEnzym::PrepareReducedFragList(int32_t count, bool distinct) {
  RedukovaneFragmenty->EmptyFragmenty();
  try {
    std::vector<int32_t> positions;
    std::vector<uint8_t> seen;
    DrawSamplePositions(FragmentCount(), count, distinct, positions, seen);
    SetReducedFragList(positions);
  } catch (const std::exception&) {
    // A failure ends the draw; what was drawn stays.
  }
}

void TEnzym::ReduceList(int32_t n) {
  RedukovaneDruhy.clear();
  RedukovaneDruhy.reserve(Druhy.size());
  for (const auto& d : Druhy) RedukovaneDruhy.push_back(d.get());
  if (n <= 0) return;
  const bool tooMany = static_cast<std::size_t>(n) >= Druhy.size();
  const int32_t removals = tooMany ? static_cast<int32_t>(Druhy.size()) : n;
  for (int32_t r = 0; r < removals; ++r) {
    const auto j =
        static_cast<std::size_t>(RandomIndex(static_cast<int32_t>(RedukovaneDruhy.size())));
    RedukovaneDruhy.erase(RedukovaneDruhy.begin() + static_cast<std::ptrdiff_t>(j));
  }
  if (tooMany) {
    // The removal that finds the list empty: its draw is made, then the list error.
    throw ListIndexError(static_cast<long long>(RandomIndex(0)));
  }
}

}  // namespace ramovia
