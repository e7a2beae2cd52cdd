// The native input table: a taxon-name line, block header lines and data lines, cut at TABs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/number_reading.h"
#include "model/dataset.h"

namespace ramovia {

struct TableReading {
  Dataset data;                       // what was read (all of it, or up to a failure)
  std::vector<std::string> warnings;  // names that the 20-byte cut merged, names given twice, ...
  std::exception_ptr error;           // why the reading stopped early; null when it did not
};

// Reads a whole table. A text without any line reads as no data with ListIndexError(0). A text
// too large for the memory left throws MemoryError before anything is read.
TableReading readTable(std::string_view text, char decimalSeparator);

// Whether the table holds allele frequencies: the first value cell of a line with three or more
// filled cells that reads as a number other than 0 and 1 decides.
bool isFrequencyTable(std::string_view text, char decimalSeparator);

// Memory that reading this text may take, at most about.
uint64_t estimateReadingMemory(std::string_view text);
// The same for a text of `bytes` bytes holding `tabs` TABs (before any NUL), `names` of them in
// the first line.
uint64_t readingMemoryFor(uint64_t tabs, uint64_t bytes, uint64_t names);

// --- the pieces the reader is made of ---

// Walks the lines of a text without copying it. Lines end at CR LF, at a lone CR and at a lone
// LF; a break at the very end opens no further line; a NUL ends the text.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text);
  // The next line, or false when the text is used up.
  bool next(std::string_view& line);

 private:
  std::string_view rest_;
  bool done_;
};

std::vector<std::string_view> splitLines(std::string_view text);

// Cuts a line into cells at every TAB into `cells` (reused, so a long table allocates once).
// k TABs give k + 1 cells; cells are not trimmed.
void cutCells(std::string_view line, std::vector<std::string_view>& cells);
std::vector<std::string_view> cutCells(std::string_view line);

std::size_t countNonEmpty(const std::vector<std::string_view>& cells);

enum class LineKind { Blank, BlockHeader, Data };
LineKind classifyLine(const std::vector<std::string_view>& cells);

// The taxon names of the first line, uncut: every non-empty cell after the corner cell.
std::vector<std::string> readTaxonNames(std::string_view nameLine);

// A value cell as readInputNumber reads it, with the presence marks 0 to 9 taken without a parse
// (unless the separator itself is a digit, when "1" may be a lone separator). False when the cell
// does not convert. (No optional here: this runs for every cell of tables of millions.)
inline bool readValueCell(std::string_view cell, char decimalSeparator, double& value) {
  if (cell.empty()) return false;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (cell.size() == 1 && isDigit(cell[0]) && !isDigit(decimalSeparator)) {
    value = static_cast<double>(cell[0] - '0');
    return true;
  }
  const std::optional<double> v = readInputNumber(cell, decimalSeparator);
  if (v) value = *v;
  return v.has_value();
}

// What the user should hear about the names of the first line: distinct names that the
// 20-character cut makes one, and names that stand twice. One text per merged name.
std::vector<std::string> taxonNameWarnings(const std::vector<std::string>& names);

}  // namespace ramovia
