#include "model/enzym.h"

#include <unordered_set>

namespace ramovia {

TEnzym::TEnzym() : RedukovaneFragmenty(std::make_unique<TDruh>()) {}

TEnzym::~TEnzym() {
  DropDruhy();
  RedukovaneDruhy.clear();
  EmptyOwnedList(Fragmenty);
  EmptyTreeList();
  RedukovaneFragmenty.reset();
  RefTree.reset();
}

int32_t TEnzym::AddDruh(std::unique_ptr<TDruh> druh) {
  Druhy.push_back(std::move(druh));
  return static_cast<int32_t>(Druhy.size()) - 1;
}

int32_t TEnzym::DruhyCount() const {
  return static_cast<int32_t>(UseRedukovaneDruhy ? RedukovaneDruhy.size() : Druhy.size());
}

TDruh* TEnzym::GetDruh(int32_t index) const {
  if (index < 0 || index >= DruhyCount()) throw ListIndexError(index);
  const auto i = static_cast<std::size_t>(index);
  return UseRedukovaneDruhy ? RedukovaneDruhy[i] : Druhy[i].get();
}

int32_t TEnzym::GetDruhStr(std::string_view name) const {
  const int32_t n = DruhyCount();
  for (int32_t i = 0; i < n; ++i)
    if (GetDruh(i)->Name == name) return i + 1;
  return -1;
}

int32_t TEnzym::AddFragment(std::unique_ptr<TFragment> fragment) {
  Fragmenty.push_back(std::move(fragment));
  return FragmentCount() - 1;
}

TFragment* TEnzym::GetFragment(int32_t index) const {
  if (index < 0 || index >= FragmentCount()) throw ListIndexError(index);
  return Fragmenty[static_cast<std::size_t>(index)].get();
}

TFragment* TEnzym::FragItemByNum(int32_t num) const {
  for (const auto& f : Fragmenty)
    if (f->Num == num) return f.get();
  return nullptr;
}

void TEnzym::Clear() {
  EmptyOwnedList(Fragmenty);
  RedukovaneFragmenty->EmptyFragmenty();
  // Reduced references must not outlive the taxa they point to.
  RedukovaneDruhy.clear();
  DropDruhy();
}

void TEnzym::DropDruhy() {
  RedukovaneDruhy.clear();
  EmptyOwnedList(Druhy);
}

void TEnzym::CompactDruhyList() {
  for (std::size_t k = Druhy.size(); k-- > 0;) {
    if (Druhy[k]->Tag == -1) {
      std::erase(RedukovaneDruhy, Druhy[k].get());
      Druhy.erase(Druhy.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
}

void TEnzym::EmptyRedukovaneFragmenty() { RedukovaneFragmenty->EmptyFragmenty(); }

void TEnzym::PrepareFragmentList() {
  // A set of the numbers already listed stands in for the linear FragItemByNum lookup.
  std::unordered_set<int32_t> listed;
  listed.reserve(Fragmenty.size() * 2);
  for (const auto& f : Fragmenty) listed.insert(f->Num);
  int32_t t = 0;
  for (const auto& druh : Druhy) {
    for (const auto& f : druh->Fragmenty) {
      if (listed.contains(f->Num)) continue;
      listed.insert(f->Num);
      auto entry = std::make_unique<TFragment>();
      entry->Num = f->Num;
      entry->Name = f->Name;
      entry->EnzymId = f->EnzymId;
      entry->Tag = t;
      auto sampleEntry = std::make_unique<TFragment>(*entry);
      Fragmenty.push_back(std::move(entry));
      RedukovaneFragmenty->Fragmenty.push_back(std::move(sampleEntry));
      f->Tag = t;
      ++t;
    }
  }
}

void TEnzym::ReserveMatrices(int n) {
  Koef.Reserve(n);
  WorkKoef.Reserve(n);
  StepKoef.Reserve(n);
}

}  // namespace ramovia
