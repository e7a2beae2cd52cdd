#include "model/list_item.h"

#include <string>

namespace ramovia {

ListIndexError::ListIndexError(long long index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

std::unique_ptr<TFragment> TFragment::ListCopy() const {
  auto copy = std::make_unique<TFragment>();
  copy->Num = Num;
  copy->Name = Name;
  copy->EnzymId = EnzymId;
  return copy;
}

TDruh::~TDruh() { EmptyFragmenty(); }

void TDruh::EmptyFragmenty() { EmptyOwnedList(Fragmenty); }

int32_t TDruh::AddFragment(std::unique_ptr<TFragment> fragment) {
  Fragmenty.push_back(std::move(fragment));
  return static_cast<int32_t>(Fragmenty.size()) - 1;
}

TFragment* TDruh::GetFragment(int32_t index) const {
  if (index < 0 || index >= GetFragmentCount()) throw ListIndexError(index);
  return Fragmenty[static_cast<std::size_t>(index)].get();
}

TFragment* TDruh::ItemByNum(int32_t num) const {
  for (const auto& f : Fragmenty)
    if (f->Num == num) return f.get();
  return nullptr;
}

TFragment* TDruh::ItemByText(std::string_view text) const {
  for (const auto& f : Fragmenty)
    if (f->Name == text) return f.get();
  return nullptr;
}

void TDruh::AddForbiddenEnzym(int32_t id) { ForbiddenEnzyms.push_back(std::to_string(id)); }

bool TDruh::IsForbiddenEnzym(int32_t id) const {
  const std::string text = std::to_string(id);
  for (const auto& e : ForbiddenEnzyms)
    if (e == text) return true;
  return false;
}

bool TDruh::HasItemInRange(int32_t low, int32_t high) const {
  for (const auto& f : Fragmenty)
    if (f->Num >= low && f->Num <= high) return true;
  return false;
}

bool TDruh::HasReferenceItemInRange(int32_t low, int32_t high) const {
  for (const auto& f : Fragmenty)
    if (f->Reference != kFalse16 && f->Num >= low && f->Num <= high) return true;
  return false;
}

}  // namespace ramovia
