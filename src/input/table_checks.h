// What the user should hear about a table that reads but may not mean what it seems, and plain
// words for a text that is no table at all. Warnings never change what is read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/dataset.h"

namespace ramovia {

// For a table whose first line names taxa: the cell that made a presence-looking table allele
// frequencies, cells that read only with the other decimal separator, a table without
// fragments, taxa without data and pairs of taxa with no block in common.
std::vector<std::string> tableContentWarnings(std::string_view text, char decimalSeparator,
                                              const Dataset& data);

// Why a text cannot be a table (empty, UTF-16, a leading NUL); empty when it may be one.
std::string unreadableTextHint(std::string_view text);

}  // namespace ramovia
