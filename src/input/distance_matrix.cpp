#include "input/distance_matrix.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "input/delimited.h"
#include "input/input_error.h"
#include "input/table_reader.h"

namespace ramovia {

namespace {

constexpr double kSymmetryTolerance = 1e-9;

bool readDistance(std::string_view s, double& v) {
  if (s.empty()) return false;
  const char* first = s.data();
  if (*first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
}

struct Cell {
  double value;
  std::size_t line, column;
};

// The non-blank rows of the text (comments passed over) and the line of the last.
std::pair<std::size_t, std::size_t> countRows(std::string_view text) {
  LineCursor cursor(text);
  std::string_view line;
  std::size_t rows = 0, number = 0, last = 0;
  while (cursor.next(line)) {
    ++number;
    if (trimmed(line).empty() || line.front() == '#') continue;
    ++rows;
    last = number;
  }
  return {rows, last};
}

// Whether the text can hold a matrix of n taxa: each taxon starts a row, and each cell of a
// triangle takes a character and a separator at least. A file that cannot is refused where it
// ends too early or a row falls short, and is not given the room first.
bool fits(std::size_t n, std::string_view text) {
  return static_cast<uint64_t>(n) * (n - 1) <= text.size();
}

// Fills row i (0-based) of the matrix from its cells, checking each where it stands. Cells of
// an upper triangle are held until their lower twin arrives; kEmpty (no distance can be
// negative) marks one left blank for it to fill.
constexpr double kEmpty = -1.0;

class MatrixFill {
 public:
  MatrixFill(DistanceInput& out, bool store) : out_(out), store_(store) {}

  void name(std::string_view text, std::size_t line) {
    if (!seen_.insert(std::string(text)).second)
      throw InputError(line, 1, "the name '" + std::string(text) + "' stands twice");
    out_.names.emplace_back(text);
  }
  // `empty`: an upper cell left blank, for its lower twin to fill.
  void cell(std::size_t i, std::size_t j, const Cell& c, bool square, bool empty = false) {
    if (c.value < 0 && !empty)
      throw InputError(c.line, c.column, "distance " + std::to_string(c.value) + " is negative");
    if (i == j && c.value != 0)
      throw InputError(c.line, c.column,
                       "the distance of '" + out_.names[i] + "' to itself is not 0");
    if (!store_) return;
    SquareMatrix& m = out_.values;
    const int r = static_cast<int>(i) + 1, k = static_cast<int>(j) + 1;
    if (j > i) {
      m(r, k) = c.value;
      return;
    }
    if (j == i) return;
    if (square && m(k, r) != kEmpty && std::fabs(m(k, r) - c.value) > kSymmetryTolerance)
      throw InputError(c.line, c.column,
                       "the matrix is not symmetric: '" + out_.names[i] + "' to '" + out_.names[j] +
                           "' differs from the other way round by more than 1e-9");
    m(r, k) = m(k, r) = c.value;
  }

 private:
  DistanceInput& out_;
  bool store_;
  std::unordered_set<std::string> seen_;
};

}  // namespace

DistanceInput readPhylipMatrix(std::string_view text) {
  // Comment lines (as Ramovia writes after the matrix) are passed over.
  const auto [rowCount, lastLine] = countRows(text);
  RowCursor rows(text, ' ', true);
  Row first;
  if (!rows.next(first))
    throw InputError(1, 1, "the file is empty; a PHYLIP matrix starts with the number of taxa");
  int n = 0;
  if (first.fields.size() != 1 || !readInteger(first.fields[0].text, n) || n < 1)
    throw InputError(first.line, 1, "the first line should hold the number of taxa alone");
  const std::size_t count = static_cast<std::size_t>(n);
  DistanceInput out;
  const bool store = count < rowCount && fits(count, text);
  if (store) out.values.reserve(n);
  MatrixFill fill(out, store);
  Row start, next;
  bool ahead = rows.next(next);
  bool square = true;
  std::vector<Cell> cells;
  for (std::size_t i = 0; i < count; ++i) {
    if (!ahead)
      throw InputError(
          lastLine + 1, 1,
          "the matrix ends after " + std::to_string(i) + " of " + std::to_string(count) + " taxa");
    std::swap(start, next);
    ahead = rows.next(next);
    cells.clear();
    const auto take = [&](const Row& r, std::size_t from) {
      for (std::size_t f = from; f < r.fields.size(); ++f) {
        double v = 0;
        if (!readDistance(r.fields[f].text, v))
          throw InputError(r.line, r.fields[f].column,
                           "'" + std::string(r.fields[f].text) + "' is not a distance");
        cells.push_back({v, r.line, r.fields[f].column});
      }
    };
    take(start, 1);
    if (i == 0) square = !cells.empty();
    const std::size_t wanted = square ? count : i;
    // Long rows may go on over the following lines.
    while (cells.size() < wanted && ahead) {
      double v = 0;
      if (!readDistance(next.fields[0].text, v)) break;
      take(next, 0);
      ahead = rows.next(next);
    }
    const std::string_view name = start.fields[0].text;
    if (cells.size() != wanted) {
      const std::size_t line = cells.empty() ? start.line : cells.back().line;
      const std::size_t column =
          cells.size() > wanted ? cells[wanted].column : start.fields.back().column;
      throw InputError(
          cells.size() > wanted ? cells[wanted].line : line, column,
          "the row of '" + std::string(name) + "' holds " + std::to_string(cells.size()) +
              " distances, but a " + (square ? "square" : "lower-triangular") + " matrix of " +
              std::to_string(count) + " taxa needs " + std::to_string(wanted) + " there");
    }
    fill.name(name, start.line);
    for (std::size_t j = 0; j < cells.size(); ++j) fill.cell(i, j, cells[j], square);
  }
  if (ahead)
    throw InputError(next.line, 1,
                     "the matrix of " + std::to_string(count) + " taxa ends before this line");
  return out;
}

DistanceInput readDelimitedMatrix(std::string_view text) {
  char sep = guessSeparator(text);
  if (sep == 0) sep = ',';
  const auto [rowCount, lastLine] = countRows(text);
  RowCursor rows(text, sep, true);
  Row header;
  if (!rows.next(header))
    throw InputError(1, 1, "the file is empty; the matrix starts with a row of names");
  std::vector<std::string_view> names;
  for (std::size_t c = 1; c < header.fields.size(); ++c) names.push_back(header.fields[c].text);
  const std::size_t n = names.size();
  if (n == 0) throw InputError(header.line, 1, "the first row names no taxon");
  if (rowCount - 1 != n)
    throw InputError(lastLine, 1,
                     "the matrix is not square: " + std::to_string(n) +
                         " names in the first row, " + std::to_string(rowCount - 1) +
                         " rows below it");
  DistanceInput out;
  const bool store = fits(n, text);
  if (store) out.values.reserve(static_cast<int>(n));
  MatrixFill fill(out, store);
  for (const std::string_view name : names) fill.name(name, header.line);
  Row r;
  for (std::size_t i = 0; i < n; ++i) {
    rows.next(r);
    if (r.fields[0].text != names[i])
      throw InputError(r.line, r.fields[0].column,
                       "row " + std::to_string(i + 1) + " is named '" +
                           std::string(r.fields[0].text) + "', but column " +
                           std::to_string(i + 1) + " is '" + std::string(names[i]) + "'");
    if (r.fields.size() != n + 1)
      throw InputError(
          r.line, r.fields.size() > n + 1 ? r.fields[n + 1].column : r.fields.back().column,
          "the matrix is not square: this row holds " + std::to_string(r.fields.size() - 1) +
              " cells, the first row names " + std::to_string(n));
    for (std::size_t j = 0; j < n; ++j) {
      const Field& f = r.fields[j + 1];
      double v = 0;
      // Cells above the diagonal may be left empty: the lower triangle gives them.
      if (f.text.empty() && j >= i) {
        fill.cell(i, j, {j == i ? 0.0 : kEmpty, r.line, f.column}, true, j != i);
        continue;
      }
      if (!readDistance(f.text, v))
        throw InputError(r.line, f.column, "'" + std::string(f.text) + "' is not a distance");
      fill.cell(i, j, {v, r.line, f.column}, true);
    }
  }
  return out;
}

bool looksLikePhylipMatrix(std::string_view text) {
  const std::vector<Row> lines =
      splitRows(text.substr(0, std::min<std::size_t>(text.size(), 1 << 16)), ' ', true);
  int n = 0;
  if (lines.size() < 2 || lines[0].fields.size() != 1 || !readInteger(lines[0].fields[0].text, n) ||
      n < 1)
    return false;
  for (std::size_t f = 1; f < lines[1].fields.size(); ++f) {
    double v = 0;
    if (!readDistance(lines[1].fields[f].text, v)) return false;
  }
  return true;
}

bool looksLikeDelimitedMatrix(std::string_view text) {
  const char sep = guessSeparator(text);
  if (sep == 0) return false;
  RowCursor rows(text, sep, true);
  Row header, r;
  if (!rows.next(header)) return false;
  std::vector<std::string> names;
  for (const Field& f : header.fields) names.emplace_back(f.text);
  std::size_t i = 1;
  for (; rows.next(r); ++i) {
    if (i >= names.size() || r.fields.empty() || r.fields[0].text != names[i]) return false;
    for (std::size_t j = 1; j < r.fields.size(); ++j) {
      double v = 0;
      if (!r.fields[j].text.empty() && !readDistance(r.fields[j].text, v)) return false;
    }
  }
  return i >= 3 && i == names.size();
}

}  // namespace ramovia
