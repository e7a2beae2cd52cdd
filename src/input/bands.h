// Band matrices from scoring software or a spreadsheet: individuals in rows (or in columns),
// markers in columns with a header, 1/0 with missing marks. They are written out as the native
// table, which then reads them, so both give the same data set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ramovia {

struct BandOptions {
  bool transpose = false;  // individuals in columns, markers in rows
};

struct BandTable {
  std::string table;  // the native table of the same data
  std::vector<std::string> warnings;
};

// Blocks come from a row whose first cell is "block", "primer", "locus" or "enzyme" right after
// the header, else from marker-name prefixes (OPA02_1200: block OPA02, label 1200) when every
// marker has one, else one block for all. Throws InputError where the matrix is wrong.
BandTable readBandMatrix(std::string_view text, const BandOptions& options = {});

// A delimited table whose cells after the first row and column are all band marks.
bool looksLikeBandMatrix(std::string_view text);

}  // namespace ramovia
