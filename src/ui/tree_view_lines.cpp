#include "tree_view_lines.h"

namespace ramovia::ui {

std::vector<TreeViewLine> treeViewLines(const Tree& tree, std::span<const Taxon> taxa,
                                        std::span<const int32_t> support) {
  std::vector<TreeViewLine> out;
  if (tree.empty()) return out;
  std::vector<std::pair<int32_t, int>> stack{{tree.root(), 0}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    const TreeNode& n = tree[node];
    if (n.isLeaf()) {
      out.push_back({depth, taxa[static_cast<std::size_t>(n.taxon)].name.str()});
      continue;
    }
    out.push_back({depth, support.empty()
                              ? std::string(kPlainNodeCaption)
                              : std::to_string(support[static_cast<std::size_t>(node)]) + " %"});
    stack.push_back({n.right, depth + 1});
    stack.push_back({n.left, depth + 1});
  }
  return out;
}

}  // namespace ramovia::ui
