#include "input/distance_matrix.h"

#include <charconv>
#include <cmath>
#include <unordered_set>

#include "input/delimited.h"
#include "input/input_error.h"

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

// Checks and fills the matrix from the cells given; lower[i][j] for j < i, upper when known.
DistanceInput finish(std::vector<std::string> names, const std::vector<std::vector<Cell>>& rows,
                     bool square) {
  const std::size_t n = names.size();
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < n; ++i)
    if (!seen.insert(names[i]).second)
      throw InputError(rows[i].empty() ? 1 : rows[i][0].line, 1,
                       "the name '" + names[i] + "' stands twice");
  DistanceInput out;
  out.values.assign(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < rows[i].size(); ++j) {
      const Cell& c = rows[i][j];
      if (c.value < 0)
        throw InputError(c.line, c.column, "distance " + std::to_string(c.value) + " is negative");
      if (i == j && c.value != 0)
        throw InputError(c.line, c.column,
                         "the distance of '" + names[i] + "' to itself is not 0");
      if (square && j < i) {
        const Cell& mirror = rows[j][i];
        if (std::fabs(mirror.value - c.value) > kSymmetryTolerance)
          throw InputError(c.line, c.column,
                           "the matrix is not symmetric: '" + names[i] + "' to '" + names[j] +
                               "' differs from the other way round by more than 1e-9");
      }
      if (j < i) {
        out.values[i * n + j] = c.value;
        out.values[j * n + i] = c.value;
      }
    }
  }
  out.names = std::move(names);
  return out;
}

}  // namespace

DistanceInput readPhylipMatrix(std::string_view text) {
  // Comment lines (as Ramovia writes after the matrix) are passed over.
  const std::vector<Row> lines = splitRows(text, ' ', true);
  if (lines.empty()) throw InputError(1, 1, "the file is empty; a PHYLIP matrix starts with the number of taxa");
  int n = 0;
  if (lines[0].fields.size() != 1 || !readInteger(lines[0].fields[0].text, n) || n < 1)
    throw InputError(lines[0].line, 1, "the first line should hold the number of taxa alone");
  const std::size_t count = static_cast<std::size_t>(n);
  std::vector<std::string> names;
  std::vector<std::vector<Cell>> rows;
  bool square = true;
  std::size_t k = 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (k >= lines.size())
      throw InputError(lines.back().line + 1, 1,
                       "the matrix ends after " + std::to_string(i) + " of " +
                           std::to_string(count) + " taxa");
    const Row& start = lines[k++];
    names.emplace_back(start.fields[0].text);
    std::vector<Cell> cells;
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
    while (cells.size() < wanted && k < lines.size()) {
      double v = 0;
      if (!readDistance(lines[k].fields[0].text, v)) break;
      take(lines[k++], 0);
    }
    if (cells.size() != wanted) {
      const std::size_t line = cells.empty() ? start.line : cells.back().line;
      const std::size_t column = cells.size() > wanted ? cells[wanted].column : start.fields.back().column;
      throw InputError(cells.size() > wanted ? cells[wanted].line : line, column,
                       "the row of '" + names.back() + "' holds " + std::to_string(cells.size()) +
                           " distances, but a " + (square ? "square" : "lower-triangular") +
                           " matrix of " + std::to_string(count) + " taxa needs " +
                           std::to_string(wanted) + " there");
    }
    rows.push_back(std::move(cells));
  }
  if (k < lines.size())
    throw InputError(lines[k].line, 1,
                     "the matrix of " + std::to_string(count) + " taxa ends before this line");
  return finish(std::move(names), rows, square);
}

DistanceInput readDelimitedMatrix(std::string_view text) {
  char sep = guessSeparator(text);
  if (sep == 0) sep = ',';
  const std::vector<Row> lines = splitRows(text, sep, true);
  if (lines.empty()) throw InputError(1, 1, "the file is empty; the matrix starts with a row of names");
  const Row& header = lines[0];
  std::vector<std::string> names;
  for (std::size_t c = 1; c < header.fields.size(); ++c) names.emplace_back(header.fields[c].text);
  const std::size_t n = names.size();
  if (n == 0) throw InputError(header.line, 1, "the first row names no taxon");
  if (lines.size() - 1 != n)
    throw InputError(lines.back().line, 1,
                     "the matrix is not square: " + std::to_string(n) + " names in the first row, " +
                         std::to_string(lines.size() - 1) + " rows below it");
  std::vector<std::vector<Cell>> rows(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Row& r = lines[i + 1];
    if (r.fields[0].text != names[i])
      throw InputError(r.line, r.fields[0].column,
                       "row " + std::to_string(i + 1) + " is named '" + std::string(r.fields[0].text) +
                           "', but column " + std::to_string(i + 1) + " is '" + names[i] + "'");
    if (r.fields.size() != n + 1)
      throw InputError(r.line, r.fields.size() > n + 1 ? r.fields[n + 1].column : r.fields.back().column,
                       "the matrix is not square: this row holds " +
                           std::to_string(r.fields.size() - 1) + " cells, the first row names " +
                           std::to_string(n));
    for (std::size_t j = 0; j < n; ++j) {
      const Field& f = r.fields[j + 1];
      double v = 0;
      // Cells above the diagonal may be left empty: the lower triangle gives them.
      if (f.text.empty() && j >= i) {
        rows[i].push_back({j == i ? 0.0 : -1.0, r.line, f.column});
        continue;
      }
      if (!readDistance(f.text, v))
        throw InputError(r.line, f.column, "'" + std::string(f.text) + "' is not a distance");
      rows[i].push_back({v, r.line, f.column});
    }
  }
  // An upper triangle left empty takes the lower one's values.
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      if (rows[i][j].value == -1.0 && lines[i + 1].fields[j + 1].text.empty())
        rows[i][j].value = rows[j][i].value;
  return finish(std::move(names), rows, true);
}

bool looksLikePhylipMatrix(std::string_view text) {
  const std::vector<Row> lines =
      splitRows(text.substr(0, std::min<std::size_t>(text.size(), 1 << 16)), ' ', true);
  int n = 0;
  if (lines.size() < 2 || lines[0].fields.size() != 1 || !readInteger(lines[0].fields[0].text, n) || n < 1)
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
  const std::vector<Row> lines = splitRows(text, sep, true);
  if (lines.size() < 3) return false;
  const Row& header = lines[0];
  if (header.fields.size() != lines.size()) return false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].fields.empty() || lines[i].fields[0].text != header.fields[i].text) return false;
    for (std::size_t j = 1; j < lines[i].fields.size(); ++j) {
      double v = 0;
      if (!lines[i].fields[j].text.empty() && !readDistance(lines[i].fields[j].text, v)) return false;
    }
  }
  return true;
}

}  // namespace ramovia
