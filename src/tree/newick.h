// Newick texts that other tree programs read: quoted names, support as the inner node's label,
// branch lengths where they mean something, ";" at the end.
#pragma once

#include <string>
#include <string_view>

#include "tree/tree_layout.h"
#include "tree/tree_node.h"

namespace ramovia {

// The name as a Newick label: as it is when it holds nothing Newick reads specially, otherwise in
// single quotes with every quote doubled. Underscores stay unquoted (readers show them as blanks,
// which is how names are usually written for these programs).
std::string NewickLabel(std::string_view name);

// withSupport: every inner node carries its Support as its label (the root's too). The root
// gets no length.
std::string ToNewick(const TKVTreeNodeItem& root, BranchLengths lengths, bool withSupport);

}  // namespace ramovia
