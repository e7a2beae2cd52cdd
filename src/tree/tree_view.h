// What the tree views show, and the tree texts that "Copy" puts on the clipboard.
#pragma once

#include <string>
#include <vector>

#include "tree/tree_node.h"

namespace ramovia {

class TEnzym;

// One view node: its caption and its depth below the node the tree is drawn under (0 = top).
// A tree view is the list in pre-order, Left above Right, every inner node included.
struct TreeViewLine {
  int depth = 0;
  std::string caption;

  friend bool operator==(const TreeViewLine&, const TreeViewLine&) = default;
};

// The caption of an inner node drawn without support: a hyphen and the not sign in Windows-1252.
inline constexpr char kPlainNodeCaption[] = "-\xAC";

// The lines of subtree. With withSupport, every inner node gets the caption "<support> %", its
// support being enzym.EnumerateTree of that node, which is also stored into its Support;
// otherwise inner nodes read kPlainNodeCaption and Support is left alone. Leaves show their Name.
std::vector<TreeViewLine> TreeViewLines(const TEnzym& enzym, TKVTreeNodeItem* subtree,
                                        bool withSupport);
// The plain drawing of any tree (no support).
std::vector<TreeViewLine> TreeViewLines(const TKVTreeNodeItem* subtree);

// The letters of the similarity coefficients, whose copied trees carry branch lengths.
bool IsSimilarityLetter(char letter);

// The clipboard text of the reference tree and of a listed tree under the coefficient letter,
// each ending with ";".
std::string RefTreeCopyText(const TKVTreeNodeItem& refTree, char letter);
std::string ListedTreeCopyText(const TKVTreeNodeItem& tree, char letter);

}  // namespace ramovia
