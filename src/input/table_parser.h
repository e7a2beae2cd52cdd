// The pieces of the input table reader that stand on their own: lines, cells, the kind of a line
// and the reading of a value cell. Analysis::GetFromText (input/table_parser.cpp) is built on them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/number_text.h"

namespace ramovia {

// Memory that reading this text into data sets may take, at most about.
uint64_t EstimateReadingMemory(std::string_view text);


// Walks the lines of a text without copying it. Lines end at CR LF, at a lone CR and at a lone
// LF; a break at the very end opens no further line; a NUL ends the text.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text);
  // The next line, or false when the text is used up.
  bool Next(std::string_view& line);

 private:
  std::string_view rest_;
  bool done_;
};

std::vector<std::string_view> SplitLines(std::string_view text);

// Cuts a line into cells at every TAB into `cells` (reused, so a long table allocates once).
// k TABs give k + 1 cells; cells are not trimmed.
void CutCells(std::string_view line, std::vector<std::string_view>& cells);
std::vector<std::string_view> CutCells(std::string_view line);

std::size_t CountNonEmpty(const std::vector<std::string_view>& cells);

enum class LineKind { Blank, BlockHeader, Data };
LineKind ClassifyLine(const std::vector<std::string_view>& cells);

// The taxon names of the first line, uncut: every non-empty cell after the corner cell.
std::vector<std::string> ReadTaxonNames(std::string_view nameLine);

// A value cell as ReadInputNumber reads it, with the presence marks 0 to 9 taken without a parse
// (unless the separator itself is a digit, when "1" may be a lone separator). False when the cell
// does not convert. (No optional here: this runs for every cell of tables of millions.)
inline bool ReadValueCell(std::string_view cell, char decimalSeparator, double& value) {
  if (cell.empty()) return false;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (cell.size() == 1 && isDigit(cell[0]) && !isDigit(decimalSeparator)) {
    value = static_cast<double>(cell[0] - '0');
    return true;
  }
  const std::optional<double> v = ReadInputNumber(cell, decimalSeparator);
  if (v) value = *v;
  return v.has_value();
}

// What the user should hear about the names of the first line: distinct names that the
// 20-character cut makes one, and names that stand twice. One text per merged name.
std::vector<std::string> TaxonNameWarnings(const std::vector<std::string>& names);

}  // namespace ramovia
