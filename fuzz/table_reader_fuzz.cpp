// Arbitrary bytes as an input table: reading may refuse an empty text, never anything else, and
// what it builds must hang together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "input/table_reader.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void checkConsistent(const ramovia::Dataset& d) {
  std::unordered_set<std::string> names;
  for (const auto& t : d.taxa) check(names.insert(t.name.str()).second);
  std::unordered_set<int32_t> numbers;
  for (const auto& m : d.markers) check(m.number >= 1 && numbers.insert(m.number).second);
  std::unordered_set<int32_t> ids;
  int32_t lastId = -1;
  for (const auto& block : d.blocks) {
    check(block.id > lastId);
    lastId = block.id;
    ids.insert(block.id);
    for (const auto& column : block.taxa) {
      check(column.taxon >= 0 && column.taxon < d.taxonCount());
      check(d.taxa[static_cast<std::size_t>(column.taxon)].name == column.name);
      for (const auto& s : column.scores) check(numbers.count(s.marker) == 1);
    }
  }
  for (const auto& t : d.taxa)
    for (const int32_t b : t.missingBlocks) check(ids.count(b) == 1);
}

void readWith(std::string_view text, char separator) {
  (void)ramovia::isFrequencyTable(text, separator);
  const ramovia::TableReading r = ramovia::readTable(text, separator);
  if (r.error) {
    check(r.data.taxa.empty() && r.data.blocks.empty() && r.data.markers.empty());
    return;
  }
  checkConsistent(r.data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  readWith(text, '.');
  readWith(text, ',');
  return 0;
}
