// Rooted binary trees: leaves stand for taxa, inner nodes join two owned subtrees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/list_item.h"

namespace ramovia {

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

  virtual bool IsNode() const { return false; }
};

class TKVTreeNode : public TKVTreeNodeItem {
 public:
  std::unique_ptr<TKVTreeNodeItem> Left;
  std::unique_ptr<TKVTreeNodeItem> Right;
  int32_t Support = 0;  // percentage shown for the clade; 0 shows none

  int32_t GetMass() const override;
  std::string GetDesc() const override;
  std::string GetDescStd() const override;
  std::string GetDescNbJoin() const override;
  bool HasSubTrees(const TKVTreeNodeItem* s, const TKVTreeNodeItem* t) const override;
  bool HasSameFragment(const TKVTreeNodeItem* s) const override;
  bool ItemInTree(int32_t n) const override;
  bool ItemInTreeText(const std::string& t) const override;
  double GetDistance() const override;

  bool IsNode() const override { return true; }
};

// Sort order of a tree list: -1 when a was produced more often than b, 1 when less, 0 when equal.
int CompareKVTreeNodes(const TKVTreeNodeItem* a, const TKVTreeNodeItem* b);

}  // namespace ramovia
