// Arbitrary bytes as an input table: reading may refuse an empty text, never anything else, and
// what it builds must hang together. The first byte also picks one of the other readers for the
// rest: they may refuse with a message, never crash, and what they build must hang together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "input/input_error.h"
#include "input/input_format.h"
#include "input/table_reader.h"
#include "model/memory.h"

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
      check(column.first <= d.scores.size() && column.count <= d.scores.size() - column.first);
      for (const auto& s : d.scoresOf(column)) check(numbers.count(s.marker) == 1);
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

void readAs(ramovia::InputFormat format, std::string_view text, bool transpose) {
  ramovia::InputOptions options;
  options.format = format;
  options.bands.transpose = transpose;
  ramovia::InputReading r;
  try {
    r = ramovia::readInput(text, options);
  } catch (const ramovia::InputError& e) {
    check(e.line() >= 1 && e.column() >= 1);
    return;
  } catch (const ramovia::MemoryError&) {
    return;
  } catch (const std::runtime_error&) {  // ambiguous content, names that merge
    return;
  } catch (const std::out_of_range&) {  // the native reader's empty text
    return;
  }
  if (r.table.error) return;
  checkConsistent(r.table.data);
  if (r.matrix) {
    const std::size_t n = r.matrix->names.size();
    check(r.matrix->values.capacity() == static_cast<int>(n) && r.table.data.taxa.size() == n);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        check(r.matrix->at(i, j) == r.matrix->at(j, i) && r.matrix->at(i, j) >= 0.0);
  }
  for (const auto& taxon : r.table.data.alleleCopies)
    check(taxon.size() == r.table.data.blocks.size());
  std::vector<std::string> warnings;
  (void)ramovia::nativeTableText(r.table.data, warnings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  readWith(text, '.');
  readWith(text, ',');
  if (size > 0) {
    static const ramovia::InputFormat kFormats[] = {
        ramovia::InputFormat::Auto,         ramovia::InputFormat::GenePop,
        ramovia::InputFormat::Genotypes,    ramovia::InputFormat::Bands,
        ramovia::InputFormat::PhylipMatrix, ramovia::InputFormat::MatrixCsv};
    // RAMOVIA_FUZZ_FORMAT=1..5 keeps a run on one reader (the first byte still picks --transpose).
    static const int pinned = [] {
      const char* f = std::getenv("RAMOVIA_FUZZ_FORMAT");
      return f && *f >= '0' && *f <= '5' && f[1] == 0 ? *f - '0' : -1;
    }();
    const uint8_t pick = data[0];
    readAs(kFormats[pinned >= 0 ? pinned : pick % 6], text.substr(1), (pick & 0x80) != 0);
  }
  return 0;
}
