// Lines of a text cut into trimmed fields at one separator, or at runs of blanks, each field
// with its place in the text for messages.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "input/table_reader.h"

namespace ramovia {

struct Field {
  std::string_view text;  // without surrounding blanks and double quotes
  std::size_t column;     // 1-based byte column of its first character in the line
};

struct Row {
  std::size_t line = 0;  // 1-based
  std::vector<Field> fields;
};

// Separator ' ' cuts at runs of blanks and TABs; any other byte cuts at each occurrence, so two
// separators in a row give an empty field. Lines holding nothing but blanks are left out, and with
// `comments` the lines that start with '#' too.
std::vector<Row> splitRows(std::string_view text, char separator, bool comments = false);

// The same rows one at a time, into one reused row: a large file is not held cut up whole.
class RowCursor {
 public:
  RowCursor(std::string_view text, char separator, bool comments = false);
  // The next row, or false when the text is used up. `row` is overwritten.
  bool next(Row& row);

 private:
  LineCursor lines_;
  std::size_t line_ = 0;
  char separator_;
  bool comments_;
};

// The separator of a spreadsheet export: TAB, ';' or ',', whichever its first line holds most
// often (TAB on a tie); 0 when it holds none. Lines that start with '#' are passed over.
char guessSeparator(std::string_view text);

bool isBlank(char c);
std::string_view trimmed(std::string_view s);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// A whole field of decimal digits, optionally after a '-'; false when it overflows 32 bits.
bool readInteger(std::string_view s, int& value);

}  // namespace ramovia
