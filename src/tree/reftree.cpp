#include <utility>

#include "model/enzym.h"

namespace ramovia {

void TEnzym::GenRefTree() {
  EmptyTreeList();
  RefTree.reset();
  GenTree();
  // No tree (method ettNone) fails like reading position 0 of an empty list.
  GetTree(0);
  std::unique_ptr<TKVTreeNodeItem> tree = std::move(TreeList.front());
  TreeList.erase(TreeList.begin());
  EmptyTreeList();
  RefTree = std::move(tree);
  RefreshTree();
}

}  // namespace ramovia
