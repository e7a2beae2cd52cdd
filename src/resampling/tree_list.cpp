#include <utility>

#include "model/enzym.h"
#include "resampling/tree_support.h"

namespace ramovia {

void TEnzym::RebuildTreeIndex() {
  treeIndex_.clear();
  for (const auto& t : TreeList) treeIndex_.try_emplace(t->GetDesc(), t.get());
}

void TEnzym::AddTreeToList(std::unique_ptr<TKVTreeNodeItem> root) {
  if (!root) throw std::invalid_argument("No tree to add to the tree list");
  std::string key = root->GetDesc();
  AddTreeToList(std::move(root), std::move(key));
}

void TEnzym::AddTreeToList(std::unique_ptr<TKVTreeNodeItem> root, std::string key) {
  if (!root) throw std::invalid_argument("No tree to add to the tree list");
  supportIndex_.reset();
  // TreeList is open to direct changes; an index that lost count of it is rebuilt.
  if (treeIndex_.size() != TreeList.size()) RebuildTreeIndex();
  const bool isRef = key == RefTreeKey;
  const auto found = treeIndex_.find(key);
  if (found != treeIndex_.end()) {
    ++found->second->Num;
    root.reset();
  } else {
    root->Num = 1;
    TKVTreeNodeItem* raw = root.get();
    TreeList.push_back(std::move(root));
    treeIndex_.emplace(std::move(key), raw);
  }
  if (isRef) ++RefTreeHits;
}

TKVTreeNodeItem* TEnzym::GetTree(int32_t index) const {
  if (index < 0 || index >= TreeCount()) throw ListIndexError(index);
  return TreeList[static_cast<std::size_t>(index)].get();
}

void TEnzym::EmptyTreeList() {
  supportIndex_.reset();
  treeIndex_.clear();
  EmptyOwnedList(TreeList);
}

namespace {

// The list's quicksort. P is the entry found in the middle when a pass starts and stays that
// entry wherever the swaps move it; the order it leaves among equal counts is what is reported.
void QuickSort(TreeListType& list, int l, int r) {
  int i;
  do {
    i = l;
    int j = r;
    const TKVTreeNodeItem* p = list[static_cast<std::size_t>((l + r) / 2)].get();
    do {
      while (CompareKVTreeNodes(list[static_cast<std::size_t>(i)].get(), p) < 0) ++i;
      while (CompareKVTreeNodes(list[static_cast<std::size_t>(j)].get(), p) > 0) --j;
      if (i <= j) {
        std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) QuickSort(list, l, j);
    l = i;
  } while (i < r);
}

}  // namespace

void TEnzym::SortTreeList() {
  if (TreeList.empty()) return;
  QuickSort(TreeList, 0, TreeCount() - 1);
}

const CladeSupportIndex& TEnzym::SupportIndex() const {
  if (!supportIndex_ || !supportIndex_->Describes(TreeList))
    supportIndex_ = std::make_shared<const CladeSupportIndex>(TreeList);
  return *supportIndex_;
}

int32_t TEnzym::EnumerateTree(const TKVTreeNodeItem* clade) const {
  if (clade == nullptr || clade->GetMass() < 2) return 0;
  return SupportIndex().Support(clade);
}

int32_t TEnzym::EnumerateTreePlain(const TKVTreeNodeItem* clade) const {
  return WalkedSupport(TreeList, clade);
}

void TEnzym::HasAllFragments(const TKVTreeNodeItem* tree, const TKVTreeNodeItem* clade,
                             bool& ok) const {
  HasAllFragmentsOf(tree, clade, ok);
}

void TEnzym::RefreshTree() {
  // Without a reference tree the stored texts stay as they are.
  if (!RefTree) return;
  RefTreeText = (TreeType == ettNbJoin ? RefTree->GetDescNbJoin() : RefTree->GetDesc()) + ";";
  RefTreeKey = RefTree->GetDescStd();
}

}  // namespace ramovia
