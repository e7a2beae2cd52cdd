// The texts of a resampling run's result: the tree list's lines and the statistics, as the window
// shows them and the command line prints them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/plan.h"
#include "model/dataset.h"
#include "tree/tree.h"
#include "tree/tree_method.h"

namespace ramovia {

// "count: tree" for every listed tree, in the list's order.
std::vector<std::string> treeListLines(const ResamplingResult& result, std::span<const Taxon> taxa);

// The six lines of the statistics: the count of distinct trees, how often the compared tree was
// built, that tree, and the most frequent tree with its count.
std::vector<std::string> statisticsLines(const ResamplingResult& result, const Tree* compared,
                                         std::span<const Taxon> taxa);

// The reference tree's text as the reference tree page lists it, ending with ";": with branch
// lengths under neighbor-joining, with the support labels of a run when `support` holds them.
std::string referenceTreeText(const Tree& reference, TreeMethod method, std::span<const Taxon> taxa,
                              std::span<const int32_t> support = {});

}  // namespace ramovia
