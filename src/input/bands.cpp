#include "input/bands.h"

#include <algorithm>
#include <unordered_map>

#include "input/delimited.h"
#include "input/input_error.h"

namespace ramovia {

namespace {

enum class Mark { Absent, Present, Missing, Bad };

Mark markOf(std::string_view v) {
  if (v == "1") return Mark::Present;
  if (v == "0") return Mark::Absent;
  if (v.empty() || v == "?" || v == "9" || v == "-" || v == "NA") return Mark::Missing;
  return Mark::Bad;
}

bool isBlockRow(std::string_view first) {
  for (const char* w : {"block", "primer", "locus", "enzyme"})
    if (equalsIgnoringCase(first, w)) return true;
  return false;
}

// The grid with individuals in rows, each cell with its place in the file.
std::vector<Row> oriented(std::vector<Row> rows, bool transpose) {
  if (!transpose) return rows;
  std::size_t width = 0;
  for (const Row& r : rows) width = std::max(width, r.fields.size());
  std::vector<Row> out(width);
  for (std::size_t c = 0; c < width; ++c) {
    out[c].line = rows.empty() ? 1 : rows[0].line;
    for (const Row& r : rows)
      out[c].fields.push_back(c < r.fields.size() ? r.fields[c] : Field{std::string_view(), 0});
  }
  // Messages still name the file's line: each cell keeps it in its column field's place.
  return out;
}

std::string cellText(std::string_view s) {
  std::string out(s);
  std::replace(out.begin(), out.end(), '\t', ' ');
  return out;
}

}  // namespace

BandTable readBandMatrix(std::string_view text, const BandOptions& options) {
  char sep = guessSeparator(text);
  if (sep == 0) sep = ',';
  const std::vector<Row> fileRows = splitRows(text, sep);
  if (fileRows.empty()) throw InputError(1, 1, "the file is empty; a band matrix starts with a header of marker names");
  // Where each cell stands in the file, for messages after a transpose.
  std::vector<std::vector<std::size_t>> lineOf;
  std::vector<Row> rows = oriented(fileRows, options.transpose);
  if (options.transpose) {
    for (std::size_t c = 0; c < rows.size(); ++c) {
      std::vector<std::size_t> lines;
      for (const Row& r : fileRows) lines.push_back(r.line);
      lineOf.push_back(std::move(lines));
    }
  }
  const auto place = [&](std::size_t r, std::size_t c) -> std::pair<std::size_t, std::size_t> {
    const Field& f = rows[r].fields[c];
    if (!options.transpose) return {rows[r].line, f.column};
    return {lineOf[r][c], f.column == 0 ? 1 : f.column};
  };
  const Row& header = rows[0];
  const std::size_t width = header.fields.size();
  if (width < 2) throw InputError(fileRows[0].line, 1, "the header names no marker");
  std::size_t first = 1;
  std::vector<std::string> blockOf(width);
  bool blocksGiven = false;
  if (rows.size() > 1 && isBlockRow(rows[1].fields[0].text)) {
    blocksGiven = true;
    first = 2;
    for (std::size_t c = 1; c < width; ++c)
      blockOf[c] = c < rows[1].fields.size() ? std::string(rows[1].fields[c].text) : std::string();
  }
  std::vector<std::string> labels(width);
  bool prefixes = !blocksGiven;
  for (std::size_t c = 1; c < width; ++c) {
    const std::string_view name = header.fields[c].text;
    if (name.empty()) {
      const auto [line, column] = place(0, c);
      throw InputError(line, column, "marker " + std::to_string(c) + " has no name in the header");
    }
    const std::size_t cut = name.rfind('_');
    if (cut == std::string_view::npos || cut == 0 || cut + 1 == name.size()) prefixes = false;
    labels[c] = std::string(name);
  }
  if (prefixes)
    for (std::size_t c = 1; c < width; ++c) {
      const std::size_t cut = labels[c].rfind('_');
      blockOf[c] = labels[c].substr(0, cut);
      labels[c] = labels[c].substr(cut + 1);
    }

  std::vector<std::string> names;
  std::vector<std::vector<char>> marks;  // [individual][marker column]
  for (std::size_t r = first; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (row.fields.size() > width) {
      const auto [line, column] = place(r, width);
      bool extra = false;
      for (std::size_t c = width; c < row.fields.size(); ++c) extra |= !row.fields[c].text.empty();
      if (extra)
        throw InputError(line, column, std::to_string(row.fields.size()) +
                                           " cells, but the header has " + std::to_string(width));
    }
    if (row.fields.size() < width) {
      const auto [line, column] = place(r, row.fields.size() - 1);
      throw InputError(line, column,
                       std::to_string(row.fields.size()) + " cells, but the header has " +
                           std::to_string(width));
    }
    if (row.fields[0].text.empty()) {
      const auto [line, column] = place(r, 0);
      throw InputError(line, column, "the individual has no name");
    }
    names.push_back(cellText(row.fields[0].text));
    std::vector<char> m(width, ' ');
    for (std::size_t c = 1; c < width; ++c) {
      switch (markOf(row.fields[c].text)) {
        case Mark::Present: m[c] = '1'; break;
        case Mark::Absent: m[c] = '0'; break;
        case Mark::Missing: m[c] = ' '; break;
        case Mark::Bad: {
          const auto [line, column] = place(r, c);
          throw InputError(line, column,
                           "band mark '" + std::string(row.fields[c].text) +
                               "' is not 1, 0 or a missing mark (?, 9, -, NA or empty)");
        }
      }
    }
    marks.push_back(std::move(m));
  }
  if (names.empty()) throw InputError(fileRows.back().line, 1, "the matrix holds no individual");

  // Blocks in the order they first appear; their markers in column order.
  std::vector<std::string> blockNames;
  std::unordered_map<std::string, std::size_t> blockIndex;
  std::vector<std::vector<std::size_t>> columnsOf;
  for (std::size_t c = 1; c < width; ++c) {
    const auto [at, isNew] = blockIndex.try_emplace(blockOf[c], blockNames.size());
    if (isNew) {
      blockNames.push_back(blockOf[c]);
      columnsOf.emplace_back();
    }
    columnsOf[at->second].push_back(c);
  }
  BandTable out;
  std::string& t = out.table;
  for (const std::string& n : names) t += "\t" + n;
  t += "\n";
  std::size_t unlabeled = 0;
  for (std::size_t b = 0; b < blockNames.size(); ++b) {
    // A block header holds its name alone; an unnamed single block needs none.
    if (!(blockNames.size() == 1 && blockNames[b].empty()))
      t += (blockNames[b].empty() ? std::string("Block") + std::to_string(b + 1)
                                  : cellText(blockNames[b])) +
           "\n";
    for (const std::size_t c : columnsOf[b]) {
      std::size_t filled = 1;
      for (const auto& m : marks) filled += m[c] != ' ';
      // A label with one or two marks would read as a block header: the line goes unlabeled.
      std::string line = filled <= 2 ? (++unlabeled, std::string()) : cellText(labels[c]);
      for (const auto& m : marks) {
        line += '\t';
        if (m[c] != ' ') line += m[c];
      }
      t += line + "\n";
    }
  }
  if (unlabeled > 0)
    out.warnings.push_back(std::to_string(unlabeled) +
                           " markers scored in fewer than two individuals are named by their "
                           "number, not their label.");
  return out;
}

bool looksLikeBandMatrix(std::string_view text) {
  const char sep = guessSeparator(text);
  if (sep == 0) return false;
  const std::vector<Row> rows = splitRows(text, sep);
  if (rows.size() < 2) return false;
  std::size_t marks = 0;
  for (std::size_t r = 1; r < rows.size() && r < 200; ++r) {
    if (r == 1 && isBlockRow(rows[1].fields[0].text)) continue;
    for (std::size_t c = 1; c < rows[r].fields.size(); ++c) {
      const Mark m = markOf(rows[r].fields[c].text);
      if (m == Mark::Bad) return false;
      marks += m != Mark::Missing;
    }
  }
  return marks > 0;
}

}  // namespace ramovia
