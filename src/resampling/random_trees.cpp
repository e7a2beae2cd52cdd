// The data set's own replicate loop (presence/absence coefficients) and the rearrangement of taxa.
#include "distance/coefficients.h"
#include "distance/pair_table.h"
#include "model/enzym.h"
#include "resampling/random.h"
#include "resampling/replicate_runner.h"
#include "resampling/replicate_state.h"

namespace ramovia {

void TEnzym::ShuffleDruhy() {
  const auto k = static_cast<std::size_t>(RandomIndex(DruhyCount()));
  if (k >= Druhy.size()) throw ListIndexError(static_cast<long long>(k));
  auto moved = std::move(Druhy[k]);
  Druhy.erase(Druhy.begin() + static_cast<std::ptrdiff_t>(k));
  Druhy.push_back(std::move(moved));
}

namespace {

struct PresenceJob {
  std::vector<const TDruh*> taxa;
  std::string desc;
  std::vector<int32_t> positions;
  DrawnState state;
};

struct PresenceWorkspace {
  SampleExpansion sample;
  TreeScratch scratch;
};

}  // namespace

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

  const PairTableIndex index = PairTableIndex::Build(*this);
  std::vector<uint8_t> seen;
  const char letter = KoefChar;
  const TEnzymTreeType type = TreeType;
  const bool isDistance = IsDistance;
  const double siteLength = SiteLength;
  ReplicateRunner<PresenceJob, PresenceWorkspace> runner;
  PresenceJob last;
  const int taken = runner.Run(
      repeatCount,
      [&](int, PresenceJob& job) {
        ShuffleDruhy();
        DrawSamplePositions(FragmentCount(), fragCount, different, job.positions, seen);
        if (UseRedukovaneDruhy) ReduceList(taxonCount);
        job.taxa = ActiveTaxonList(*this);
        job.state.Record(*this);
      },
      [&](PresenceJob& job, PresenceWorkspace& ws) {
        ws.sample.Assign(index, job.taxa, job.positions);
        ComputeSimilarityMatrix(ws.sample, letter, type, true, siteLength, ws.scratch.K);
        auto tree = BuildReplicateTree(type, isDistance, job.taxa, ws.scratch);
        job.desc = tree ? tree->GetDesc() : std::string();
        return tree;
      },
      [&](int i, PresenceJob& job, std::unique_ptr<TKVTreeNodeItem> tree) {
        if (tree) AddTreeToList(std::move(tree), std::move(job.desc));
        last.taxa = job.taxa;
        last.positions = job.positions;
        if (progress && i % step == 0) {
          progress->SetPosition(i);
          progress->ProcessMessages();
          if (BreakRequest) return false;
        }
        return true;
      },
      [&](PresenceJob& job) { job.state.Restore(*this); });
  if (taken > 0) {
    // The sample and the matrix of the last replicate stay, as after a replicate computed here.
    SetReducedFragList(last.positions);
    ReserveMatrices(static_cast<int>(last.taxa.size()));
    SampleExpansion expansion;
    expansion.Assign(index, last.taxa, last.positions);
    ComputeSimilarityMatrix(expansion, letter, type, true, siteLength, Koef);
  }
  SortTreeList();
}

}  // namespace ramovia
