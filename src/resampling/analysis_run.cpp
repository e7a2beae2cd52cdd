// The analysis window's matrix page: the computation run by the route of the coefficient letter,
// the matrix grid, its read-back and the reference tree shown beside it.
#include <unordered_map>

#include "input/number_text.h"
#include "model/memory.h"
#include "resampling/analysis.h"

namespace ramovia {

const std::vector<std::string>& Analysis::CoefficientItems() {
  static const std::vector<std::string> items = {"A - Nei and Li / Dice",
                                                 "B - Jaccard",
                                                 "G - Sokal and Sneath 1 / Anderbeg",
                                                 "I - Sokal and Sneath 3",
                                                 "J - Ochiai",
                                                 "D - Kulczynski 2",
                                                 "N - Nucleotide divergence",
                                                 "R - Nei's standard distance Ds",
                                                 "S - Nei's minimal distance Dm",
                                                 "T - Latter Fst",
                                                 "U - Reynolds ",
                                                 "V - Rogers",
                                                 "W - Prevosti",
                                                 "X - Cavalli-Sforza, Edvards",
                                                 "Y - Nei Da",
                                                 "Z - Sanghvi"};
  return items;
}

void Analysis::DisplayList() {
  std::vector<const TEnzym*> loci;
  loci.reserve(Loci.size());
  for (const auto& l : Loci) loci.push_back(l.get());
  Input.Fill(loci, *Enzym, DecimalSeparator);
}

void Analysis::ChooseCoefficient(const std::string& item, ProgressSink* progress) {
  Coefficient = item;
  RunEnzym(progress);
}

void Analysis::ChooseMethod(TEnzymTreeType method, ProgressSink* progress) {
  Enzym->TreeType = method;
  RunEnzym(progress);
}

namespace {

// Everything the matrix run shows once the matrix is computed. treeBuilt: the reference tree was
// just built from this very matrix and taxon order, so building it again would give the same tree.
void ShowMatrixAndReferenceTree(Analysis& a, bool treeBuilt = false) {
  a.Matrix.Fill(*a.Enzym, a.DecimalSeparator);
  if (!treeBuilt || !a.Enzym->RefTree) a.Enzym->GenRefTree();
  a.RefTreeView = TreeViewLines(a.Enzym->RefTree.get());
  a.RefTreeLines = {a.Enzym->RefTreeText};
  a.ResamplingVisible = true;
  // The listed trees are gone with the new reference tree; lines that point at them would too.
  a.TreeLines.clear();
  a.TreeView.clear();
  a.LastRun.reset();
}

}  // namespace

namespace {

// The matrices a computation is about to grow, checked against what the machine has left.
void RequireMatrixMemory(const Analysis& a, char letter) {
  const int taxa = a.Enzym->DruhyCount();
  uint64_t need = a.Enzym->Koef.capacity() >= taxa ? 0 : MatrixBytes(static_cast<uint64_t>(taxa));
  if (letter == 'N')
    for (const auto& b : a.Loci)
      if (b->Koef.capacity() < b->DruhyCount())
        need += MatrixBytes(static_cast<uint64_t>(b->DruhyCount()));
  RequireMemory(need, "The matrix of " + std::to_string(taxa) + " taxa");
}

}  // namespace

void Analysis::RunEnzym(ProgressSink* progress) {
  Enzym->IsDistance = false;
  if (Coefficient.empty() || Enzym->TreeType == ettNone) return;
  const char letter = CoefficientLetter();
  RequireMatrixMemory(*this, letter);
  if (letter == 'N') {
    RunEnzymOld(progress);
    return;
  }
  Enzym->Progress = progress;
  if (letter > 'Q') {
    for (auto& e : Loci) {
      e->PrepareFragmentList();
      e->PrepareReducedFragList(e->FragmentCount(), true);
    }
    if (Enzym->TreeType == ettUPGMA) Enzym->IsDistance = true;
    MultiTest(letter, progress);
  } else {
    Enzym->KoefChar = letter;
    Enzym->PrepareKoef();
  }
  Enzym->Progress = nullptr;
  ShowMatrixAndReferenceTree(*this, letter <= 'Q');
}

void Analysis::RunEnzymOld(ProgressSink* progress) {
  Enzym->IsDistance = false;
  if (Coefficient.empty() || Enzym->TreeType == ettNone) return;
  const char letter = CoefficientLetter();
  if (progress) {
    progress->SetRange(0, static_cast<int>(Loci.size()));
    progress->SetPosition(0);
  }
  for (std::size_t k = 0; k < Loci.size(); ++k) {
    TEnzym& e = *Loci[k];
    try {
      e.KoefChar = letter;
      e.TreeType = Enzym->TreeType;
      e.PrepareFragmentList();
      e.PrepareReducedFragList(e.FragmentCount(), true);
      e.PrepareKoef();
      if (progress) {
        progress->SetPosition(static_cast<int>(k));
        progress->ProcessMessages();
      }
    } catch (const std::exception&) {
      // A failure in one block skips only the rest of that block.
    }
  }
  CompleteDistance();
  ShowMatrixAndReferenceTree(*this);
  if (progress) progress->SetPosition(0);
}

void Analysis::ReadKoef() {
  const int n = static_cast<int>(Enzym->Druhy.size());
  Enzym->ReserveMatrices(n);
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      if (i == j) {
        Enzym->SetDistance(i, i, 0.0);
      } else {
        Enzym->SetDistance(i, j, ReadMatrixCell(Matrix.Cell(i, j), DecimalSeparator));
        Enzym->SetDistance(j, i, ReadMatrixCell(Matrix.Cell(j, i), DecimalSeparator));
      }
    }
  }
}

void Analysis::MatrixDoubleClick() {
  // A resampling run rearranges Druhy while the grid keeps the order it was drawn in: put the taxa
  // back into the grid's order, so that every value is built into the tree with the names beside it.
  const auto& names = Matrix.Names();
  if (names.size() == Enzym->Druhy.size()) {
    std::unordered_map<std::string, std::size_t> at;
    for (std::size_t k = 0; k < Enzym->Druhy.size(); ++k)
      at.try_emplace(Enzym->Druhy[k]->Name.str(), k);
    std::vector<std::unique_ptr<TDruh>> ordered;
    ordered.reserve(names.size());
    std::vector<bool> taken(names.size(), false);
    for (const auto& name : names) {
      auto it = at.find(name);
      if (it == at.end() || taken[it->second]) break;
      taken[it->second] = true;
      ordered.push_back(nullptr);
    }
    if (ordered.size() == names.size()) {
      for (std::size_t k = 0; k < names.size(); ++k)
        ordered[k] = std::move(Enzym->Druhy[at.at(names[k])]);
      Enzym->Druhy = std::move(ordered);
    }
  }
  ReadKoef();
  Enzym->EmptyTreeList();
  Enzym->RefTree.reset();
  Enzym->GenTree();
  RefTreeView.clear();
  RefTreeLines = {Enzym->RefTreeText};
  TreeLines.clear();
  TreeView.clear();
  LastRun.reset();
  editedTree_ = Enzym->TreeCount() > 0 ? Enzym->GetTree(0) : nullptr;
}

const TKVTreeNodeItem* Analysis::EditedTree() const {
  if (editedTree_ && Enzym->TreeCount() > 0 && Enzym->GetTree(0) == editedTree_) return editedTree_;
  return nullptr;
}

}  // namespace ramovia
