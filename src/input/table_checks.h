// What the user should hear about a table that reads but may not mean what it seems, and plain
// words for a text that is no table at all. Warnings never change what is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/dataset.h"

namespace ramovia {

// The value cells of the lines that decide the data type (three or more filled cells), counted
// while the reader reads them.
struct ValueCellCounts {
  uint64_t numbers = 0;      // value cells read as numbers
  uint64_t otherValues = 0;  // of them, neither 0 nor 1
  std::size_t line = 0, column = 0;  // of the first of those, both 1-based
  std::string firstOther;
  uint64_t withSeparator = 0;  // cells holding the separator that read
  uint64_t onlyWithOther = 0;  // cells that read only with the other separator

  // One cell; `read` tells whether it read as `value` with the separator.
  void add(std::string_view cell, bool read, double value, char separator, std::size_t lineNumber,
           std::size_t columnNumber) {
    if (!read) {
      if (!cell.empty()) addUnread(cell, separator);
      return;
    }
    ++numbers;
    if (cell.size() > 1 || cell.front() == separator) addSeparator(cell, separator);
    // value (value - 1) is 0 exactly for 0 and 1: one test that presence marks always pass the
    // same way, where two would branch on each mark.
    if (value * (value - 1.0) != 0.0 && otherValues++ == 0) first(cell, lineNumber, columnNumber);
  }

 private:
  void addUnread(std::string_view cell, char separator);
  void addSeparator(std::string_view cell, char separator);
  void first(std::string_view cell, std::size_t lineNumber, std::size_t columnNumber);
};

// For a table whose first line names taxa: the cell that made a presence-looking table allele
// frequencies, cells that read only with the other decimal separator, a table without
// fragments, taxa without data and pairs of taxa with no block in common.
std::vector<std::string> tableContentWarnings(const ValueCellCounts& counts, char decimalSeparator,
                                              const Dataset& data);

// Why a text cannot be a table (empty, UTF-16, a leading NUL); empty when it may be one.
std::string unreadableTextHint(std::string_view text);

}  // namespace ramovia
