#include "tree/tree_view.h"

#include <type_traits>

#include "model/enzym.h"

namespace ramovia {

namespace {

// Item is TKVTreeNodeItem when support is written, const TKVTreeNodeItem for the plain drawing.
template <class Item>
void Draw(Item* x, int depth, const TEnzym* enzym, std::vector<TreeViewLine>& out) {
  if (x == nullptr) return;
  auto* node = AsNode(x);
  if (node == nullptr) {
    out.push_back({depth, x->Name.str()});
    return;
  }
  if constexpr (!std::is_const_v<Item>) {
    if (enzym != nullptr) {
      node->Support = enzym->EnumerateTree(node);
      out.push_back({depth, std::to_string(node->Support) + " %"});
    } else {
      out.push_back({depth, kPlainNodeCaption});
    }
  } else {
    out.push_back({depth, kPlainNodeCaption});
  }
  Draw<Item>(node->Left.get(), depth + 1, enzym, out);
  Draw<Item>(node->Right.get(), depth + 1, enzym, out);
}

}  // namespace

std::vector<TreeViewLine> TreeViewLines(const TEnzym& enzym, TKVTreeNodeItem* subtree,
                                        bool withSupport) {
  std::vector<TreeViewLine> out;
  Draw<TKVTreeNodeItem>(subtree, 0, withSupport ? &enzym : nullptr, out);
  return out;
}

std::vector<TreeViewLine> TreeViewLines(const TKVTreeNodeItem* subtree) {
  std::vector<TreeViewLine> out;
  Draw<const TKVTreeNodeItem>(subtree, 0, nullptr, out);
  return out;
}

bool IsSimilarityLetter(char letter) {
  switch (letter) {
    case 'A':
    case 'B':
    case 'D':
    case 'G':
    case 'I':
    case 'J':
    case 'N':
      return true;
    default:
      return false;
  }
}

std::string RefTreeCopyText(const TKVTreeNodeItem& refTree, char letter) {
  return (IsSimilarityLetter(letter) ? refTree.GetDescNbJoin() : refTree.GetDesc()) + ";";
}

std::string ListedTreeCopyText(const TKVTreeNodeItem& tree, char letter) {
  return (IsSimilarityLetter(letter) ? tree.GetDescNbJoin() : tree.GetDescStd()) + ";";
}

}  // namespace ramovia
