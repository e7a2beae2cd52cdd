#include "input/delimited.h"

#include <charconv>

#include "input/table_reader.h"

namespace ramovia {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool readInteger(std::string_view s, int& value) {
  if (s.empty()) return false;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') return false;
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

namespace {

Field fieldOf(std::string_view line, std::size_t start, std::size_t end) {
  std::string_view s = line.substr(start, end - start);
  std::size_t column = start + 1;
  while (!s.empty() && isBlank(s.front())) {
    s.remove_prefix(1);
    ++column;
  }
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
    s = s.substr(1, s.size() - 2);
    ++column;
  }
  return Field{s, column};
}

void splitFields(std::string_view line, char separator, std::vector<Field>& fields) {
  fields.clear();
  if (separator == ' ') {
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && isBlank(line[i])) ++i;
      if (i == line.size()) break;
      const std::size_t start = i;
      while (i < line.size() && !isBlank(line[i])) ++i;
      fields.push_back(fieldOf(line, start, i));
    }
    return;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == separator) {
      fields.push_back(fieldOf(line, start, i));
      start = i + 1;
    }
  }
}

}  // namespace

RowCursor::RowCursor(std::string_view text, char separator, bool comments)
    : lines_(text), separator_(separator), comments_(comments) {}

bool RowCursor::next(Row& row) {
  std::string_view line;
  while (lines_.next(line)) {
    ++line_;
    if (trimmed(line).empty() || (comments_ && line.front() == '#')) continue;
    row.line = line_;
    splitFields(line, separator_, row.fields);
    return true;
  }
  return false;
}

std::vector<Row> splitRows(std::string_view text, char separator, bool comments) {
  std::vector<Row> rows;
  RowCursor cursor(text, separator, comments);
  Row row;
  while (cursor.next(row)) rows.push_back(row);
  return rows;
}

char guessSeparator(std::string_view text) {
  LineCursor cursor(text);
  std::string_view line;
  do {
    if (!cursor.next(line)) return 0;
  } while (!line.empty() && line.front() == '#');
  std::size_t tabs = 0, semicolons = 0, commas = 0;
  for (char c : line) {
    tabs += c == '\t';
    semicolons += c == ';';
    commas += c == ',';
  }
  if (tabs == 0 && semicolons == 0 && commas == 0) return 0;
  if (tabs >= semicolons && tabs >= commas) return '\t';
  return semicolons >= commas ? ';' : ',';
}

}  // namespace ramovia
