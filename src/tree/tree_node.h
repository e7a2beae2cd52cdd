// Rooted binary trees: leaves stand for taxa, inner nodes join two owned subtrees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/list_item.h"

namespace ramovia {

// A leaf, and the base of every tree object. Name is the taxon name on a leaf and the smallest
// leaf name of the clade on an inner node; Num is the taxon number on a leaf and the occurrence
// count on a listed root. Nothing derived from the shape is cached: only Support and Num change
// once a tree is built.
class TKVTreeNodeItem : public TKVListItem {
 public:
  double Distance = 0.0;  // length of the branch up to the parent; a root keeps 0

  virtual int32_t GetMass() const;
  virtual std::string GetDesc() const;
  virtual std::string GetDescStd() const;
  virtual std::string GetDescNbJoin() const;
  virtual bool HasSubTrees(const TKVTreeNodeItem* s, const TKVTreeNodeItem* t) const;
  virtual bool HasSameFragment(const TKVTreeNodeItem* s) const;
  virtual bool ItemInTree(int32_t n) const;
  virtual bool ItemInTreeText(const std::string& t) const;
  virtual double GetDistance() const;

  // The texts appended to out, so that a whole tree is written into one buffer.
  virtual void AppendDesc(std::string& out) const;
  virtual void AppendDescStd(std::string& out) const;
  virtual void AppendDescNbJoin(std::string& out) const;

  virtual bool IsNode() const { return false; }
};

class TKVTreeNode : public TKVTreeNodeItem {
 public:
  std::unique_ptr<TKVTreeNodeItem> Left;
  std::unique_ptr<TKVTreeNodeItem> Right;
  int32_t Support = 0;  // percentage shown for the clade; 0 shows none

  int32_t GetMass() const override;
  bool HasSubTrees(const TKVTreeNodeItem* s, const TKVTreeNodeItem* t) const override;
  bool HasSameFragment(const TKVTreeNodeItem* s) const override;
  bool ItemInTree(int32_t n) const override;
  bool ItemInTreeText(const std::string& t) const override;
  double GetDistance() const override;

  void AppendDesc(std::string& out) const override;
  void AppendDescStd(std::string& out) const override;
  void AppendDescNbJoin(std::string& out) const override;

  bool IsNode() const override { return true; }
};

// The node as an inner node, or null for a leaf (or null).
inline const TKVTreeNode* AsNode(const TKVTreeNodeItem* item) {
  return item != nullptr && item->IsNode() ? static_cast<const TKVTreeNode*>(item) : nullptr;
}
inline TKVTreeNode* AsNode(TKVTreeNodeItem* item) {
  return item != nullptr && item->IsNode() ? static_cast<TKVTreeNode*>(item) : nullptr;
}

// Sort order of a tree list: -1 when a was produced more often than b, 1 when less, 0 when equal
// (also when either is missing).
int CompareKVTreeNodes(const TKVTreeNodeItem* a, const TKVTreeNodeItem* b);

}  // namespace ramovia
