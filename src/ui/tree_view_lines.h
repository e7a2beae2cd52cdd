// What a tree view shows: one caption per node, indented by its depth.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model/dataset.h"
#include "tree/tree.h"

namespace ramovia::ui {

// One view node: its caption and its depth below the node the tree is drawn under (0 = top).
struct TreeViewLine {
  int depth = 0;
  std::string caption;

  friend bool operator==(const TreeViewLine&, const TreeViewLine&) = default;
};

// The caption of an inner node drawn without support: a hyphen and the not sign in Windows-1252.
inline constexpr char kPlainNodeCaption[] = "-\xAC";

// The lines of the tree in pre-order, left above right, every inner node included. Leaves show
// their taxon's name; inner nodes "<support> %" when `support` holds a value per node, else
// kPlainNodeCaption.
std::vector<TreeViewLine> treeViewLines(const Tree& tree, std::span<const Taxon> taxa,
                                        std::span<const int32_t> support = {});

}  // namespace ramovia::ui
