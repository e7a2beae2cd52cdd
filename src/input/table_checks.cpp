#include "input/table_checks.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "input/table_reader.h"

namespace ramovia {

namespace {

char otherSeparator(char separator) { return separator == ',' ? '.' : ','; }
std::string quoted(char c) { return std::string("\"") + c + "\""; }

}  // namespace

void ValueCellCounts::addUnread(std::string_view cell, char separator) {
  const char other = otherSeparator(separator);
  double v = 0.0;
  if (cell.find(other) != std::string_view::npos && readValueCell(cell, other, v)) ++onlyWithOther;
}

void ValueCellCounts::addSeparator(std::string_view cell, char separator) {
  if (cell.find(separator) != std::string_view::npos) ++withSeparator;
}

void ValueCellCounts::first(std::string_view cell, std::size_t lineNumber,
                            std::size_t columnNumber) {
  line = lineNumber;
  column = columnNumber;
  firstOther = std::string(cell.substr(0, 40));
}

std::vector<std::string> tableContentWarnings(const ValueCellCounts& c, char decimalSeparator,
                                              const Dataset& data) {
  std::vector<std::string> out;
  const char other = otherSeparator(decimalSeparator);
  // Real allele frequencies are mostly fractions; a few odd cells in 0/1 data are likely slips.
  if (data.frequencies && c.otherValues <= std::max<uint64_t>(1, c.numbers / 20))
    out.push_back("Line " + std::to_string(c.line) + ", column " + std::to_string(c.column) +
                  " holds \"" + c.firstOther +
                  "\", neither 0 nor 1, so the whole table is read as allele frequencies (" +
                  std::to_string(c.otherValues) + " of " + std::to_string(c.numbers) +
                  " values are neither 0 nor 1).");
  if (c.onlyWithOther > 0 && c.withSeparator == 0)
    out.push_back("No cell with a fraction reads as a number with the decimal separator " +
                  quoted(decimalSeparator) + "; " + std::to_string(c.onlyWithOther) +
                  " cells would with " + quoted(other) + ". They were read as missing data.");
  if (data.markerCount() == 0)
    out.push_back("The table has no fragments: no data line holds a value for any taxon.");

  // Blocks each taxon has data in, as bits.
  const std::size_t blocks = data.blocks.size();
  const std::size_t words = (blocks + 63) / 64;
  const auto n = static_cast<std::size_t>(data.taxonCount());
  std::vector<uint64_t> present(n * words, ~uint64_t{0});
  std::vector<uint8_t> complete(n, 1);
  std::vector<std::size_t> blockIndex;
  for (std::size_t b = 0; b < blocks; ++b) {
    const auto id = static_cast<std::size_t>(data.blocks[b].id);
    if (blockIndex.size() <= id) blockIndex.resize(id + 1, 0);
    blockIndex[id] = b;
  }
  for (std::size_t t = 0; t < n; ++t) {
    uint64_t* bits = &present[t * words];
    if (blocks % 64 != 0) bits[words - 1] = (uint64_t{1} << (blocks % 64)) - 1;
    for (const int32_t id : data.taxa[t].missingBlocks) {
      const std::size_t b = blockIndex[static_cast<std::size_t>(id)];
      bits[b / 64] &= ~(uint64_t{1} << (b % 64));
      complete[t] = 0;
    }
  }
  const auto none = [&](std::size_t t) {
    for (std::size_t w = 0; w < words; ++w)
      if (present[t * words + w] != 0) return false;
    return true;
  };
  std::vector<std::size_t> empty, partial;
  for (std::size_t t = 0; t < n; ++t) {
    if (blocks == 0 || complete[t]) continue;
    (none(t) ? empty : partial).push_back(t);
  }
  if (!empty.empty()) {
    std::string names;
    for (std::size_t k = 0; k < empty.size() && k < 5; ++k)
      names += (k ? ", \"" : "\"") + data.taxa[empty[k]].name.str() + "\"";
    if (empty.size() > 5) names += ", ...";
    out.push_back(std::to_string(empty.size()) + (empty.size() == 1 ? " taxon has" : " taxa have") +
                  " no data in any block: " + names +
                  ". They are compared as if they showed no marker.");
  }
  // A pair shares nothing only when one of them misses a block.
  uint64_t pairs = 0;
  std::optional<std::pair<std::size_t, std::size_t>> example;
  for (const std::size_t a : partial) {
    for (std::size_t b = 0; b < n; ++b) {
      if (b == a || none(b) || (!complete[b] && b < a)) continue;
      bool shared = false;
      for (std::size_t w = 0; w < words && !shared; ++w)
        shared = (present[a * words + w] & present[b * words + w]) != 0;
      if (shared) continue;
      ++pairs;
      if (!example) example = std::minmax(a, b);
    }
  }
  if (pairs > 0)
    out.push_back(std::to_string(pairs) + (pairs == 1 ? " pair" : " pairs") +
                  " of taxa have no block with data in common, such as \"" +
                  data.taxa[example->first].name.str() + "\" and \"" +
                  data.taxa[example->second].name.str() + "\": their coefficient compares nothing.");
  return out;
}

std::string unreadableTextHint(std::string_view text) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
    return "The table is empty: there is no line with text in it.";
  const bool bom = text.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) ||
                                        (byte(0) == 0xFE && byte(1) == 0xFF));
  // Without a mark: the high bytes of ASCII text, zero in every other byte.
  std::size_t zeros[2] = {0, 0};
  const std::size_t head = std::min<std::size_t>(text.size() & ~std::size_t{1}, 64);
  for (std::size_t k = 0; k < head; ++k) zeros[k % 2] += byte(k) == 0;
  const bool zeroHalf = head >= 2 && ((zeros[0] == head / 2 && zeros[1] == 0) ||
                                      (zeros[1] == head / 2 && zeros[0] == 0));
  if (bom || zeroHalf)
    return "The table is UTF-16 text: save it as UTF-8 (or plain text) and open it again.";
  if (byte(0) == 0) return "The table starts with a NUL byte: it is not a text file.";
  return {};
}

}  // namespace ramovia
