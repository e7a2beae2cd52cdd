#include "analysis/comparison_files.h"

#include <unordered_map>
#include <vector>

#include "input/number_reading.h"

namespace ramovia {

namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool blank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

std::vector<std::string_view> split(std::string_view line, bool onTabs) {
  std::vector<std::string_view> cells;
  if (onTabs) {
    std::size_t from = 0;
    while (true) {
      const auto tab = line.find('\t', from);
      cells.push_back(line.substr(from, tab - from));
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
  } else {
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      const std::size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (i > start) cells.push_back(line.substr(start, i - start));
    }
  }
  return cells;
}

std::string trimmed(std::string_view s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

}  // namespace

DistanceTable readDistanceFile(std::string_view text, char separator, const std::string& source) {
  struct Line {
    std::size_t number;
    std::string_view text;
  };
  std::vector<Line> lines;
  const auto all = splitLines(text);
  for (std::size_t k = 0; k < all.size(); ++k)
    if (!blank(all[k]) && all[k].front() != '#') lines.push_back({k + 1, all[k]});
  const auto fail = [&](std::size_t line, const std::string& what) -> DistanceTable {
    throw ComparisonError(source + ", line " + std::to_string(line) + ": " + what);
  };
  if (lines.empty()) throw ComparisonError(source + ": holds no matrix.");

  DistanceTable d;
  const auto first = split(lines[0].text, false);
  const bool phylip = first.size() == 1 && first[0].find_first_not_of("0123456789") == std::string_view::npos;
  std::size_t n = 0;
  if (phylip) {
    n = std::stoul(std::string(first[0].substr(0, 9)));
    lines.erase(lines.begin());
  } else {
    const auto header = split(lines[0].text, true);
    for (std::size_t c = 1; c < header.size(); ++c) d.names.push_back(trimmed(header[c]));
    while (!d.names.empty() && d.names.back().empty()) d.names.pop_back();
    n = d.names.size();
    for (std::size_t c = 0; c < n; ++c)
      if (d.names[c].empty()) fail(lines[0].number, "column " + std::to_string(c + 2) + " has no taxon name.");
    lines.erase(lines.begin());
  }
  if (n == 0) fail(lines.empty() ? all.size() : lines[0].number, "the matrix has no taxa.");
  if (lines.size() != n)
    throw ComparisonError(source + ": " + std::to_string(n) + " taxa announced, " +
                          std::to_string(lines.size()) + " rows found.");
  d.cells.assign(n * n, 0.0);
  bool lower = false;
  for (std::size_t i = 0; i < n; ++i) {
    const auto cells = split(lines[i].text, !phylip);
    const std::string name = trimmed(cells[0]);
    if (name.empty()) fail(lines[i].number, "the row has no taxon name.");
    if (phylip) {
      d.names.push_back(name);
    } else if (name != d.names[i]) {
      fail(lines[i].number, "the row is named " + name + ", the column " + d.names[i] + ".");
    }
    std::size_t values = cells.size() - 1;
    if (!phylip)
      while (values > 0 && blank(cells[values])) --values;
    if (i == 0) lower = values == 0 && n > 1;
    const std::size_t wanted = lower ? i : n;
    if (values != wanted && !(lower && values == i + 1))
      fail(lines[i].number, std::to_string(wanted) + " values expected, " + std::to_string(values) + " found.");
    for (std::size_t j = 0; j < values; ++j) {
      const auto value = readMatrixNumber(trimmed(cells[j + 1]), phylip ? '.' : separator);
      if (!value)
        fail(lines[i].number, "column " + std::to_string(j + 2) + " (" +
                                  (j < d.names.size() ? d.names[j] : std::string("?")) + "): '" +
                                  std::string(cells[j + 1]) + "' is not a number.");
      d.cells[i * n + j] = *value;
      if (lower) d.cells[j * n + i] = *value;
    }
  }
  checkDistances(d, source);
  return d;
}

FlatTree readNewickTree(std::string_view text, std::span<const Taxon> taxa, const std::string& source) {
  std::size_t pos = 0, line = 1, column = 1;
  const auto fail = [&](const std::string& what) -> FlatTree {
    throw ComparisonError(source + ", line " + std::to_string(line) + ", column " +
                          std::to_string(column) + ": " + what);
  };
  const auto next = [&] {
    if (text[pos] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    ++pos;
  };
  const auto skipBlanks = [&] {
    while (pos < text.size()) {
      const char c = text[pos];
      if (c == '[') {
        while (pos < text.size() && text[pos] != ']') next();
        if (pos == text.size()) fail("a comment is not closed.");
        next();
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        next();
      } else {
        break;
      }
    }
  };
  // A label: quoted (with '' for a quote) or up to the next character Newick reads specially.
  const auto label = [&](bool& quoted) {
    std::string out;
    quoted = pos < text.size() && text[pos] == '\'';
    if (quoted) {
      next();
      while (true) {
        if (pos == text.size()) fail("a quoted name is not closed.");
        if (text[pos] == '\'') {
          next();
          if (pos < text.size() && text[pos] == '\'') {
            out += '\'';
            next();
            continue;
          }
          break;
        }
        out += text[pos];
        next();
      }
    } else {
      while (pos < text.size() && std::string_view("()[]':;, \t\r\n").find(text[pos]) == std::string_view::npos) {
        out += text[pos];
        next();
      }
    }
    return out;
  };
  const auto skipLength = [&] {
    skipBlanks();
    if (pos < text.size() && text[pos] == ':') {
      next();
      skipBlanks();
      const std::size_t start = pos;
      while (pos < text.size() && std::string_view("+-.0123456789eE").find(text[pos]) != std::string_view::npos) next();
      if (pos == start || !readMatrixNumber(text.substr(start, pos - start), '.')) fail("a branch length is not a number.");
    }
  };

  std::unordered_map<std::string, int32_t> taxonOf;
  for (std::size_t t = 0; t < taxa.size(); ++t) taxonOf.emplace(taxa[t].name.str(), static_cast<int32_t>(t));
  FlatTree tree;
  std::vector<std::vector<int32_t>> open;
  std::vector<int32_t> seen(taxa.size(), 0);
  std::vector<std::string> unknown, twice;
  const auto add = [&](int32_t taxon) {
    tree.parent.push_back(-1);
    tree.taxon.push_back(taxon);
    return static_cast<int32_t>(tree.parent.size()) - 1;
  };
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  skipBlanks();
  int32_t root = -1;
  bool expectNode = true;
  while (root < 0) {
    skipBlanks();
    if (pos == text.size()) fail("the tree ends before its ';'.");
    const char c = text[pos];
    if (expectNode && c == '(') {
      open.emplace_back();
      next();
      continue;
    }
    if (expectNode) {
      bool quoted = false;
      std::string name = label(quoted);
      if (name.empty()) fail(std::string("a leaf without a name, at '") + c + "'.");
      auto found = taxonOf.find(name);
      if (found == taxonOf.end() && !quoted) {
        for (char& ch : name)
          if (ch == '_') ch = ' ';
        found = taxonOf.find(name);
      }
      int32_t taxon = -1;
      if (found == taxonOf.end()) {
        unknown.push_back(name);
      } else {
        taxon = found->second;
        if (seen[static_cast<std::size_t>(taxon)]++ == 1) twice.push_back(name);
      }
      const int32_t leaf = add(taxon < 0 ? -2 : taxon);
      skipLength();
      if (open.empty()) {
        root = leaf;
        break;
      }
      open.back().push_back(leaf);
      expectNode = false;
      continue;
    }
    if (c == ',') {
      if (open.empty()) fail("a ',' outside the parentheses.");
      next();
      expectNode = true;
      continue;
    }
    if (c == ')') {
      if (open.empty()) fail("a ')' without its '('.");
      next();
      const std::vector<int32_t> children = std::move(open.back());
      open.pop_back();
      const int32_t node = add(-1);
      for (const int32_t child : children) tree.parent[static_cast<std::size_t>(child)] = node;
      skipBlanks();
      bool quoted = false;
      label(quoted);  // an inner node's label (support) plays no part
      skipLength();
      if (open.empty()) {
        root = node;
      } else {
        open.back().push_back(node);
      }
      continue;
    }
    if (c == ';') fail("the tree ends before every '(' is closed.");
    fail(std::string("'") + c + "' where a ',' or a ')' belongs.");
  }
  skipBlanks();
  if (pos == text.size() || text[pos] != ';') fail("the tree does not end with ';'.");
  next();
  skipBlanks();
  if (pos != text.size()) fail("the file holds more than one tree; give it one.");

  std::vector<std::string> missing;
  for (std::size_t t = 0; t < taxa.size(); ++t)
    if (seen[t] == 0) missing.push_back(taxa[t].name.str());
  if (!unknown.empty() || !twice.empty() || !missing.empty()) {
    const auto list = [](const std::vector<std::string>& names) {
      std::string out;
      for (std::size_t i = 0; i < names.size() && i < 10; ++i) out += (i ? ", " : "") + names[i];
      if (names.size() > 10) out += " and " + std::to_string(names.size() - 10) + " more";
      return out;
    };
    std::string message = source + ": the tree's leaves are not the data's taxa:";
    if (!unknown.empty()) message += " not in the data " + list(unknown) + ";";
    if (!twice.empty()) message += " more than once " + list(twice) + ";";
    if (!missing.empty()) message += " missing " + list(missing) + ";";
    message.back() = '.';
    throw ComparisonError(message);
  }
  return tree;
}

}  // namespace ramovia
