#include "tree/tree_node.h"

#include "input/number_text.h"

namespace ramovia {

namespace {
std::string Label(const TKVTreeNode& n) {
  return n.Support != 0 ? "'" + std::to_string(n.Support) + "'" : std::string();
}
}  // namespace

int32_t TKVTreeNodeItem::GetMass() const { return 1; }
std::string TKVTreeNodeItem::GetDesc() const { return Name.str(); }
std::string TKVTreeNodeItem::GetDescStd() const { return Name.str(); }
std::string TKVTreeNodeItem::GetDescNbJoin() const { return Name.str() + ":" + Len(Distance); }
bool TKVTreeNodeItem::HasSubTrees(const TKVTreeNodeItem*, const TKVTreeNodeItem*) const {
  return false;
}
bool TKVTreeNodeItem::HasSameFragment(const TKVTreeNodeItem* s) const {
  return s->ItemInTreeText(GetDesc());
}
bool TKVTreeNodeItem::ItemInTree(int32_t n) const { return Num == n; }
bool TKVTreeNodeItem::ItemInTreeText(const std::string& t) const { return GetDesc() == t; }
double TKVTreeNodeItem::GetDistance() const { return Distance; }

int32_t TKVTreeNode::GetMass() const {
  return (Left ? Left->GetMass() : 0) + (Right ? Right->GetMass() : 0);
}

std::string TKVTreeNode::GetDesc() const {
  std::string s = "(";
  if (Left) s += Left->GetDesc() + ",";
  if (Right) s += Right->GetDesc();
  return s + ")" + Label(*this);
}

std::string TKVTreeNode::GetDescStd() const {
  std::string s = "(";
  if (Left) s += Left->GetDescStd() + ",";
  if (Right) s += Right->GetDescStd();
  return s + ")";
}

std::string TKVTreeNode::GetDescNbJoin() const {
  std::string s = "(";
  if (Left) s += Left->GetDescNbJoin() + ",";
  if (Right) s += Right->GetDescNbJoin();
  return s + ")" + Label(*this) + ":" + Len(Distance);
}

bool TKVTreeNode::HasSubTrees(const TKVTreeNodeItem* s, const TKVTreeNodeItem* t) const {
  const int32_t mass = GetMass();
  const int32_t other = s->GetMass();
  if (mass == other) return HasSameFragment(s);
  if (mass > other) return Left->HasSubTrees(s, t) || Right->HasSubTrees(s, t);
  return false;
}

bool TKVTreeNode::HasSameFragment(const TKVTreeNodeItem* s) const {
  if (Left && !Left->HasSameFragment(s)) return false;
  if (Right && !Right->HasSameFragment(s)) return false;
  return true;
}

bool TKVTreeNode::ItemInTree(int32_t n) const {
  const bool l = Left && Left->ItemInTree(n);
  const bool r = Right && Right->ItemInTree(n);
  return l || r;
}

bool TKVTreeNode::ItemInTreeText(const std::string& t) const {
  const bool l = Left && Left->ItemInTreeText(t);
  const bool r = Right && Right->ItemInTreeText(t);
  return l || r;
}

double TKVTreeNode::GetDistance() const { return Left->GetDistance() + Distance; }

int CompareKVTreeNodes(const TKVTreeNodeItem* a, const TKVTreeNodeItem* b) {
  if (a->Num > b->Num) return -1;
  if (a->Num < b->Num) return 1;
  return 0;
}

}  // namespace ramovia
