// The data set's own replicate loop (presence/absence coefficients) and the rearrangement of taxa.
#include "model/enzym.h"
#include "resampling/random.h"

namespace ramovia {

void TEnzym::ShuffleDruhy() {
  const auto k = static_cast<std::size_t>(RandomIndex(DruhyCount()));
  if (k >= Druhy.size()) throw ListIndexError(static_cast<long long>(k));
  auto moved = std::move(Druhy[k]);
  Druhy.erase(Druhy.begin() + static_cast<std::ptrdiff_t>(k));
  Druhy.push_back(std::move(moved));
}

void TEnzym::RandomTrees(int32_t fragCount, int32_t repeatCount, int32_t taxonCount,
                         bool different, ProgressSink* progress) {
  struct Guard {
    TEnzym& e;
    ~Guard() {
      if (e.UseRedukovaneDruhy) {
        e.RedukovaneDruhy.clear();
        e.UseRedukovaneDruhy = false;
      }
    }
  } guard{*this};

  BreakRequest = false;
  EmptyTreeList();
  RefTreeHits = 0;
  int32_t step = 1;
  if (progress) {
    progress->SetRange(1, repeatCount);
    progress->SetPosition(1);
    step = repeatCount / 200;
    if (step == 0) step = 1;
  }
  if (taxonCount != 0) UseRedukovaneDruhy = true;
  for (int32_t i = 1; i <= repeatCount; ++i) {
    ShuffleDruhy();
    PrepareReducedFragList(fragCount, different);
    if (UseRedukovaneDruhy) ReduceList(taxonCount);
    PrepareSimilarityTbl();
    GenTree();
    if (progress && i % step == 0) {
      progress->SetPosition(i);
      progress->ProcessMessages();
      if (BreakRequest) break;
    }
  }
  SortTreeList();
}

}  // namespace ramovia
