// The analysis window's page "Resampling methods": the method table, the run of the three
// coefficient families, and the statistics it shows.
#include <stdexcept>

#include "distance/coefficients.h"
#include "distance/complete_distance.h"
#include "distance/frequency.h"
#include "distance/pair_table.h"
#include "model/memory.h"
#include "resampling/analysis.h"
#include "resampling/random.h"
#include "resampling/replicate_runner.h"
#include "resampling/replicate_state.h"

namespace ramovia {

namespace {

// Clears the reduced-taxa state however a run ends, so that a failed run cannot leave a data set
// computing over a stale taxon sample.
struct RunGuard {
  Analysis& a;
  ~RunGuard() {
    a.Enzym->UseRedukovaneDruhy = false;
    for (auto& b : a.Loci) b->UseRedukovaneDruhy = false;
  }
};

}  // namespace

const Analysis::MethodControls& Analysis::MethodTable(int method) {
  static const MethodControls table[] = {
      {false, true, false, false, 0},   // Bootstrapping
      {false, true, true, false, 1},    // Jackknifing
      {true, false, false, false, 1},   // OTU based Jackknifing
      {false, true, false, false, 1},   // Rearangement of taxa
      {true, false, true, true, -1},    // Users
  };
  if (method < 0 || method > 4) throw ListIndexError(method);
  return table[method];
}

const Analysis::MethodControls& Analysis::ChooseResamplingMethod(int method) {
  const MethodControls& m = MethodTable(method);
  Method = method;
  if (m.taxonReset) TaxaLeftOut = 0;
  FragmentsLeftOut = 0;
  if (m.differentState >= 0) Different = m.differentState == 1;
  return m;
}

void Analysis::Run(ProgressSink* progress) {
  if (!ResamplingVisible || Enzym->TreeType == ettNone || Coefficient.empty())
    throw std::runtime_error("Choose a coefficient and a tree-construction method first.");
  const int32_t taxa = static_cast<int32_t>(Enzym->Druhy.size());
  if (TaxaLeftOut < 0 || (TaxaLeftOut != 0 && TaxaLeftOut >= taxa))
    throw std::runtime_error("Cannot leave out " + std::to_string(TaxaLeftOut) +
                             " taxa: the data set has " + std::to_string(taxa) +
                             (taxa == 1 ? " taxon" : " taxa") +
                             ", and at least one must stay in every replicate.");
  if (RepeatCount < 1 || RepeatCount > 10000)
    throw std::runtime_error("The repetition count must be between 1 and 10000.");
  // Every worker computes its replicates in matrices of its own.
  uint64_t perWorker = MatrixBytes(static_cast<uint64_t>(taxa));
  if (CoefficientLetter() == 'N')
    for (const auto& b : Loci) perWorker += MatrixBytes(static_cast<uint64_t>(b->DruhyCount())) / 3;
  RequireMemory(perWorker * static_cast<uint64_t>(ReplicateThreads()),
                "A resampling run over " + std::to_string(taxa) + " taxa");
  const int32_t fragCount = Enzym->FragmentCount() - FragmentsLeftOut;
  RandomTrees(fragCount, RepeatCount, TaxaLeftOut, Different, progress);
}

void Analysis::RandomTrees(int32_t fragCount, int32_t repeatCount, int32_t taxonCount,
                           bool different, ProgressSink* progress) {
  const char letter = CoefficientLetter();
  TEnzym& e = *Enzym;
  editedTree_ = nullptr;
  const uint32_t startSeed = GetRandomSeed();  // provenance of exports
  LastRun.reset();
  {
    RunGuard guard{*this};
    // A cancel request left over from a cancelled run must not stop this one after one replicate.
    e.BreakRequest = false;
    e.EmptyTreeList();
    e.RefTreeHits = 0;
    if (progress) progress->SetRange(0, repeatCount);
    if (letter != 'N' && letter >= 'A' && letter <= 'Q') {
      e.RandomTrees(fragCount, repeatCount, taxonCount, different, progress);
    } else if (letter == 'N') {
      NucleotideReplicates(repeatCount, taxonCount, different, progress);
    } else {
      FrequencyReplicates(letter, repeatCount, taxonCount, different, progress);
    }
    e.SortTreeList();
  }
  LastRun = RunRecord{Method, repeatCount, fragCount, taxonCount, FragmentsLeftOut, different,
                      startSeed};
  DispStat();
}

namespace {

struct FrequencyJob {
  std::vector<const TDruh*> taxa;
  std::string desc;
  std::vector<std::vector<int32_t>> positions;  // per locus
  DrawnState state;
};

struct FrequencyWorkspace {
  FrequencySample sample;
  TreeScratch scratch;
};

struct BlockJob {
  std::vector<const TDruh*> taxa;
  std::vector<int32_t> positions;
};

struct NucleotideJob {
  std::vector<const TDruh*> taxa;
  std::string desc;
  std::vector<BlockJob> blocks;
  DrawnState state;
};

struct NucleotideWorkspace {
  std::vector<SampleExpansion> samples;
  std::vector<SquareMatrix> koef;
  std::vector<BlockMatrix> inputs;
  MergeScratch merge;
  TreeScratch scratch;
};

// After each replicate of the window's loops: a cancel request stops the loop and is cleared;
// otherwise the progress moves and pending messages run (where a new request can arrive).
bool WindowCheckpoint(TEnzym& e, ProgressSink* progress, int i) {
  if (e.BreakRequest) {
    e.BreakRequest = false;
    return false;
  }
  if (progress) {
    progress->SetPosition(i);
    progress->ProcessMessages();
  }
  return true;
}

// The shuffle and the taxa left out, first in every replicate of the window's loops.
void DrawTaxa(TEnzym& e, int32_t taxonCount) {
  e.ShuffleDruhy();
  if (taxonCount != 0) {
    e.UseRedukovaneDruhy = true;
    e.ReduceList(taxonCount);
  } else {
    e.UseRedukovaneDruhy = false;
  }
}

}  // namespace

void Analysis::FrequencyReplicates(char letter, int32_t repeatCount, int32_t taxonCount,
                                   bool different, ProgressSink* progress) {
  TEnzym& e = *Enzym;
  std::vector<const TEnzym*> loci;
  for (const auto& b : Loci) loci.push_back(b.get());
  std::vector<const TDruh*> all;
  for (const auto& d : e.Druhy) all.push_back(d.get());
  const FrequencyIndex index = FrequencyIndex::Build(loci, all);
  std::vector<uint8_t> seen;
  const TEnzymTreeType type = e.TreeType;
  // GenTree runs after the replicate has set IsDistance under UPGMA.
  const bool isDistance = type == ettUPGMA || e.IsDistance;
  FrequencyJob last;
  ReplicateRunner<FrequencyJob, FrequencyWorkspace> runner;
  const int taken = runner.Run(
      repeatCount,
      [&](int, FrequencyJob& job) {
        DrawTaxa(e, taxonCount);
        if (type == ettUPGMA) e.IsDistance = true;
        job.positions.resize(Loci.size());
        for (std::size_t b = 0; b < Loci.size(); ++b) {
          const int32_t n = Loci[b]->FragmentCount();
          DrawSamplePositions(n, n, different, job.positions[b], seen);
        }
        job.taxa = ActiveTaxonList(e);
        job.state.Record(e);
      },
      [&](FrequencyJob& job, FrequencyWorkspace& ws) {
        ws.sample.Assign(index, job.positions, job.taxa);
        ComputeFrequencyDistances(ws.sample, letter, ws.scratch.K);
        auto tree = BuildReplicateTree(type, isDistance, job.taxa, ws.scratch);
        job.desc = tree ? tree->GetDesc() : std::string();
        return tree;
      },
      [&](int i, FrequencyJob& job, std::unique_ptr<TKVTreeNodeItem> tree) {
        if (tree) e.AddTreeToList(std::move(tree), std::move(job.desc));
        last.taxa = job.taxa;
        last.positions = job.positions;
        return WindowCheckpoint(e, progress, i);
      },
      [&](FrequencyJob& job) { job.state.Restore(e); });
  if (taken > 0) {
    // The samples and the matrix of the last replicate stay, as after a replicate computed here.
    for (std::size_t b = 0; b < Loci.size(); ++b) Loci[b]->SetReducedFragList(last.positions[b]);
    e.ReserveMatrices(static_cast<int>(last.taxa.size()));
    FrequencySample sample;
    sample.Assign(index, last.positions, last.taxa);
    ComputeFrequencyDistances(sample, letter, e.Koef);
  }
}

void Analysis::NucleotideReplicates(int32_t repeatCount, int32_t taxonCount, bool different,
                                    ProgressSink* progress) {
  TEnzym& e = *Enzym;
  const TEnzymTreeType type = e.TreeType;
  std::vector<const TEnzym*> blocks;
  std::vector<PairTableIndex> indexes;
  for (auto& b : Loci) {
    b->KoefChar = 'N';
    b->TreeType = type;
    blocks.push_back(b.get());
    indexes.push_back(PairTableIndex::Build(*b));
  }
  std::vector<const TDruh*> all;
  for (const auto& d : e.Druhy) all.push_back(d.get());
  MergeIndex merge;
  merge.Build(all, blocks);
  // Each block's first taxon of every merged name: the block leaves out the merged set's taxa.
  std::vector<std::vector<const TDruh*>> blockTaxonOf(Loci.size());
  for (std::size_t b = 0; b < Loci.size(); ++b) {
    blockTaxonOf[b].assign(static_cast<std::size_t>(merge.Count()), nullptr);
    for (const auto& d : Loci[b]->Druhy) {
      const int32_t id = merge.IdOfBlockTaxon(d.get());
      if (id >= 0 && !blockTaxonOf[b][static_cast<std::size_t>(id)])
        blockTaxonOf[b][static_cast<std::size_t>(id)] = d.get();
    }
  }
  const bool isDistance = e.IsDistance;
  const bool computeBlocks = !Coefficient.empty() && type != ettNone;
  std::vector<uint8_t> seen;
  NucleotideJob last;
  auto compute = [&](NucleotideJob& job, NucleotideWorkspace& ws) {
    if (computeBlocks) {
      ws.samples.resize(Loci.size());
      ws.koef.resize(Loci.size());
      ws.inputs.clear();
      for (std::size_t b = 0; b < Loci.size(); ++b) {
        ws.samples[b].Assign(indexes[b], job.blocks[b].taxa, job.blocks[b].positions);
        ComputeSimilarityMatrix(ws.samples[b], 'N', type, true, Loci[b]->SiteLength, ws.koef[b]);
        ws.inputs.push_back({&ws.koef[b], job.blocks[b].taxa, Loci[b]->FragmentCount()});
      }
      MergeBlockMatrices(merge, ws.inputs, job.taxa, type, ws.scratch.K, ws.merge);
    }
    auto tree = BuildReplicateTree(type, isDistance, job.taxa, ws.scratch);
    job.desc = tree ? tree->GetDesc() : std::string();
    return tree;
  };
  ReplicateRunner<NucleotideJob, NucleotideWorkspace> runner;
  const int taken = runner.Run(
      repeatCount,
      [&](int, NucleotideJob& job) {
        DrawTaxa(e, taxonCount);
        job.taxa = ActiveTaxonList(e);
        job.blocks.resize(Loci.size());
        if (computeBlocks) {
          for (std::size_t b = 0; b < Loci.size(); ++b) {
            BlockJob& bj = job.blocks[b];
            bj.taxa.clear();
            if (e.UseRedukovaneDruhy) {
              for (const TDruh* t : job.taxa) {
                const int32_t id = merge.IdOf(t);
                const TDruh* d = id >= 0 ? blockTaxonOf[b][static_cast<std::size_t>(id)] : nullptr;
                if (d) bj.taxa.push_back(d);
              }
            } else {
              for (const auto& d : Loci[b]->Druhy) bj.taxa.push_back(d.get());
            }
            const int32_t n = Loci[b]->FragmentCount();
            DrawSamplePositions(n, n, different, bj.positions, seen);
          }
        }
        job.state.Record(e);
      },
      compute,
      [&](int i, NucleotideJob& job, std::unique_ptr<TKVTreeNodeItem> tree) {
        if (tree) e.AddTreeToList(std::move(tree), std::move(job.desc));
        last.taxa = job.taxa;
        last.blocks = job.blocks;
        return WindowCheckpoint(e, progress, i);
      },
      [&](NucleotideJob& job) { job.state.Restore(e); });
  if (taken > 0 && computeBlocks) {
    // The samples and matrices of the last replicate stay, as after a replicate computed here.
    NucleotideWorkspace ws;
    compute(last, ws);
    const int n = static_cast<int>(last.taxa.size());
    e.ReserveMatrices(n);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) e.Koef(i, j) = ws.scratch.K(i, j);
    for (std::size_t b = 0; b < Loci.size(); ++b) {
      Loci[b]->SetReducedFragList(last.blocks[b].positions);
      const int m = static_cast<int>(last.blocks[b].taxa.size());
      Loci[b]->ReserveMatrices(m);
      for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= m; ++j) Loci[b]->Koef(i, j) = ws.koef[b](i, j);
    }
  }
}

void Analysis::DispStat() {
  TEnzym& e = *Enzym;
  TreeLines.clear();
  for (const auto& t : e.TreeList) TreeLines.push_back(std::to_string(t->Num) + ": " + t->GetDesc());
  MemoLines.clear();
  MemoLines.push_back("Different tree count : " + std::to_string(e.TreeCount()));
  MemoLines.push_back("Ref. tree in list : " + std::to_string(e.RefTreeHits));
  MemoLines.push_back("Ref. tree : ");
  // Without a reference tree (the matrix was edited) the hits were counted against its key.
  MemoLines.push_back(e.RefTree ? e.RefTree->GetDesc() : e.RefTreeKey);
  const TKVTreeNodeItem* first = e.GetTree(0);
  MemoLines.push_back("Most freq. tree : " + std::to_string(first->Num));
  MemoLines.push_back(first->GetDesc());
  RefTreeView.clear();
  if (e.RefTree) RefTreeView = TreeViewLines(e, e.RefTree.get(), true);
  if (e.RefTree) e.RefreshTree();
}

void Analysis::SelectTreeLine(int line) {
  TreeView.clear();
  TKVTreeNodeItem* t = Enzym->GetTree(line);
  TreeView = TreeViewLines(t);
}

std::string Analysis::RefTreeCopyText() const {
  const TKVTreeNodeItem* t = Enzym->RefTree.get();
  if (!t || Coefficient.empty()) return {};
  return ramovia::RefTreeCopyText(*t, CoefficientLetter());
}

std::string Analysis::TreeCopyText(int line) const {
  if (Coefficient.empty() || line < 0 || line >= Enzym->TreeCount()) return {};
  return ListedTreeCopyText(*Enzym->GetTree(line), CoefficientLetter());
}

}  // namespace ramovia
