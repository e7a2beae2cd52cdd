// Every text of a tree: the list's and the statistics' plain texts, the texts with support
// labels and branch lengths the window copies, and Newick files for other programs. One writer,
// its options saying which.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/dataset.h"
#include "tree/multi_tree.h"
#include "tree/tree.h"

namespace ramovia {

struct TreeTextOptions {
  enum class Names {
    Raw,     // the names as they are
    Newick,  // quoted where Newick readers would take them apart
  };
  enum class Support {
    None,
    Quoted,  // '86' after an inner node whose label is more than 0
    Plain,   // 86 after every inner node that has a label
  };
  enum class Lengths {
    None,
    All,        // ":length" after every node, the root's 0 too
    BelowRoot,  // after every node but the root
  };
  Names names = Names::Raw;
  Support support = Support::None;
  Lengths lengths = Lengths::None;
  std::string_view end;  // after the whole text: "", ";" or ";\n"
};

// The labels are the nodes' own (-1: none).
std::string treeText(const MultiTree& tree, std::span<const Taxon> taxa,
                     const TreeTextOptions& options);
// `support` holds a label per node (or nothing: no labels).
std::string treeText(const Tree& tree, std::span<const Taxon> taxa, const TreeTextOptions& options,
                     std::span<const int32_t> support = {});

// The tree's plain text, "((b,c),a)": what identifies it in the tree list and the statistics.
std::string plainText(const Tree& tree, std::span<const Taxon> taxa);
// With the support labels ('86'), and with them and every branch length ("a:0.25,...)'86':0").
std::string labelledText(const Tree& tree, std::span<const Taxon> taxa,
                         std::span<const int32_t> support);
std::string lengthsText(const Tree& tree, std::span<const Taxon> taxa,
                        std::span<const int32_t> support);

// A Newick file's line: every inner node that has a label carries it (with `support`, the root's
// too); lengths after every node but the root; ";" and a line break at the end.
std::string newickText(const Tree& tree, std::span<const Taxon> taxa, bool withLengths,
                       std::span<const int32_t> support);
std::string newickText(const MultiTree& tree, std::span<const Taxon> taxa, bool withLengths);

// The name as a Newick label: as it is when it holds nothing Newick reads specially, otherwise in
// single quotes with every quote doubled. Underscores stay unquoted (readers show them as blanks,
// which is how names are usually written for these programs).
std::string newickLabel(std::string_view name);

}  // namespace ramovia
