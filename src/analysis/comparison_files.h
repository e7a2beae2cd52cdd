// The second matrix and the second tree a comparison reads from a file.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "analysis/comparison.h"
#include "model/dataset.h"

namespace ramovia {

// A distance matrix with taxon names: a PHYLIP square or lower-triangular matrix (a first line
// with the taxon count), or tab-separated text with the names on a header line and at the start
// of each row, square or lower-triangular. "#" lines are skipped. Throws ComparisonError naming
// the file's line and column of the first fault.
DistanceTable readDistanceFile(std::string_view text, char decimalSeparator,
                               const std::string& source);

// One Newick tree whose leaves are named by the data's taxa, each once (an unquoted name's "_"
// may stand for a blank). Throws ComparisonError for a text that is no tree, for leaves the data
// lack and for taxa the tree lacks.
FlatTree readNewickTree(std::string_view text, std::span<const Taxon> taxa,
                        const std::string& source);

}  // namespace ramovia
