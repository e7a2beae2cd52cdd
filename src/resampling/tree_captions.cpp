#include "resampling/tree_captions.h"

namespace ramovia {

namespace {
void Add(TKVTreeNodeItem* t, const TEnzym* supportFrom, int depth, std::vector<TreeCaption>& out) {
  if (!t->IsNode()) {
    out.push_back({depth, t->Name.str()});
    return;
  }
  auto* node = static_cast<TKVTreeNode*>(t);
  if (supportFrom) {
    node->Support = supportFrom->EnumerateTree(node);
    out.push_back({depth, std::to_string(node->Support) + " %"});
  } else {
    out.push_back({depth, "-\xAC"});
  }
  if (node->Left) Add(node->Left.get(), supportFrom, depth + 1, out);
  if (node->Right) Add(node->Right.get(), supportFrom, depth + 1, out);
}
}  // namespace

std::vector<TreeCaption> TreeCaptions(TKVTreeNodeItem* tree, const TEnzym* supportFrom) {
  std::vector<TreeCaption> out;
  if (tree) Add(tree, supportFrom, 0, out);
  return out;
}

}  // namespace ramovia
