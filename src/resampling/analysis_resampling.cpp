// The analysis window's page "Resampling methods": the method table, the run of the three
// coefficient families, and the statistics it shows.
#include <stdexcept>

#include "resampling/analysis.h"
#include "resampling/random.h"

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
    } else {
      for (int32_t i = 1; i <= repeatCount; ++i) {
        e.ShuffleDruhy();
        if (taxonCount != 0) {
          e.UseRedukovaneDruhy = true;
          e.ReduceList(taxonCount);
        } else {
          e.UseRedukovaneDruhy = false;
        }
        if (letter == 'N') {
          if (!Coefficient.empty() && e.TreeType != ettNone) {
            for (auto& b : Loci) {
              if (e.UseRedukovaneDruhy) {
                // Every block leaves out the same taxa, by name, as the merged data set.
                b->UseRedukovaneDruhy = false;
                b->RedukovaneDruhy.clear();
                for (int32_t k = 0; k < e.DruhyCount(); ++k) {
                  const int32_t p = b->GetDruhStr(e.GetDruh(k)->Name);
                  if (p > 0) b->RedukovaneDruhy.push_back(b->GetDruh(p - 1));
                }
                b->UseRedukovaneDruhy = true;
              }
              b->KoefChar = letter;
              b->TreeType = e.TreeType;
              b->PrepareReducedFragList(b->FragmentCount(), different);
              b->PrepareSimilarityTbl();
            }
            CompleteDistance();
            if (e.UseRedukovaneDruhy)
              for (auto& b : Loci) b->UseRedukovaneDruhy = false;
          }
        } else {
          if (e.TreeType == ettUPGMA) e.IsDistance = true;
          for (auto& b : Loci) b->PrepareReducedFragList(b->FragmentCount(), different);
          MultiTest(letter, nullptr);
        }
        e.GenTree();
        if (e.BreakRequest) {
          e.BreakRequest = false;
          break;
        }
        if (progress) {
          progress->SetPosition(i);
          progress->ProcessMessages();
        }
      }
    }
    e.SortTreeList();
  }
  LastRun = RunRecord{Method, repeatCount, fragCount, taxonCount, FragmentsLeftOut, different,
                      startSeed};
  DispStat();
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
