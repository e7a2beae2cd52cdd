#include "tree/tree_node.h"

#include "input/number_text.h"

namespace ramovia {

namespace {
void AppendLabel(std::string& out, int32_t support) {
  if (support == 0) return;
  out += '\'';
  out += std::to_string(support);
  out += '\'';
}
}  // namespace

int32_t TKVTreeNodeItem::GetMass() const {
  return 1;
}

std::string TKVTreeNodeItem::GetDesc() const {
  std::string s;
  AppendDesc(s);
  return s;
}
std::string TKVTreeNodeItem::GetDescStd() const {
  std::string s;
  AppendDescStd(s);
  return s;
}
std::string TKVTreeNodeItem::GetDescNbJoin() const {
  std::string s;
  AppendDescNbJoin(s);
  return s;
}

void TKVTreeNodeItem::AppendDesc(std::string& out) const {
  out += Name.str();
}
void TKVTreeNodeItem::AppendDescStd(std::string& out) const {
  out += Name.str();
}
void TKVTreeNodeItem::AppendDescNbJoin(std::string& out) const {
  out += Name.str();
  out += ':';
  out += Len(Distance);
}

bool TKVTreeNodeItem::HasSubTrees(const TKVTreeNodeItem*, const TKVTreeNodeItem*) const {
  return false;
}
bool TKVTreeNodeItem::HasSameFragment(const TKVTreeNodeItem* s) const {
  return s != nullptr && s->ItemInTreeText(Name.str());
}
bool TKVTreeNodeItem::ItemInTree(int32_t n) const {
  return Num == n;
}
bool TKVTreeNodeItem::ItemInTreeText(const std::string& t) const {
  return Name.str() == t;
}
double TKVTreeNodeItem::GetDistance() const {
  return Distance;
}

int32_t TKVTreeNode::GetMass() const {
  return (Left ? Left->GetMass() : 0) + (Right ? Right->GetMass() : 0);
}

void TKVTreeNode::AppendDesc(std::string& out) const {
  out += '(';
  if (Left) {
    Left->AppendDesc(out);
    out += ',';
  }
  if (Right) Right->AppendDesc(out);
  out += ')';
  AppendLabel(out, Support);
}

void TKVTreeNode::AppendDescStd(std::string& out) const {
  out += '(';
  if (Left) {
    Left->AppendDescStd(out);
    out += ',';
  }
  if (Right) Right->AppendDescStd(out);
  out += ')';
}

void TKVTreeNode::AppendDescNbJoin(std::string& out) const {
  out += '(';
  if (Left) {
    Left->AppendDescNbJoin(out);
    out += ',';
  }
  if (Right) Right->AppendDescNbJoin(out);
  out += ')';
  AppendLabel(out, Support);
  out += ':';
  out += Len(Distance);
}

bool TKVTreeNode::HasSubTrees(const TKVTreeNodeItem* s, const TKVTreeNodeItem* t) const {
  if (s == nullptr) return false;
  const int32_t mass = GetMass();
  const int32_t other = s->GetMass();
  if (mass == other) return HasSameFragment(s);
  // A missing child holds no clade.
  if (mass > other) return (Left && Left->HasSubTrees(s, t)) || (Right && Right->HasSubTrees(s, t));
  return false;
}

bool TKVTreeNode::HasSameFragment(const TKVTreeNodeItem* s) const {
  if (Left && !Left->HasSameFragment(s)) return false;
  if (Right && !Right->HasSameFragment(s)) return false;
  return true;
}

// The lookups have no side effects, so stopping at the first hit answers the same.
bool TKVTreeNode::ItemInTree(int32_t n) const {
  return (Left && Left->ItemInTree(n)) || (Right && Right->ItemInTree(n));
}

bool TKVTreeNode::ItemInTreeText(const std::string& t) const {
  return (Left && Left->ItemInTreeText(t)) || (Right && Right->ItemInTreeText(t));
}

// A missing Left counts as height 0.
double TKVTreeNode::GetDistance() const {
  return (Left ? Left->GetDistance() : 0.0) + Distance;
}

int CompareKVTreeNodes(const TKVTreeNodeItem* a, const TKVTreeNodeItem* b) {
  if (a == nullptr || b == nullptr) return 0;
  if (a->Num > b->Num) return -1;
  if (a->Num < b->Num) return 1;
  return 0;
}

}  // namespace ramovia
