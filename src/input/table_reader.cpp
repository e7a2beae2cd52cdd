#include "input/table_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "input/table_checks.h"
#include "model/memory.h"

namespace ramovia {

// --- lines and cells ---

LineCursor::LineCursor(std::string_view text) : rest_(text), done_(false) {
  const auto nul = rest_.find('\0');
  if (nul != std::string_view::npos) rest_ = rest_.substr(0, nul);
  done_ = rest_.empty();
}

bool LineCursor::next(std::string_view& line) {
  if (done_) return false;
  // The LF first, then a CR only before it, so that a text without one is not searched to its
  // end for every line.
  const std::size_t n = rest_.size();
  const void* lf = std::memchr(rest_.data(), '\n', n);
  std::size_t brk = lf == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(lf) - rest_.data());
  const void* cr = brk == 0 ? nullptr : std::memchr(rest_.data(), '\r', brk);
  if (cr != nullptr) brk = static_cast<std::size_t>(static_cast<const char*>(cr) - rest_.data());
  if (brk == n) {
    line = rest_;
    done_ = true;
    return true;
  }
  line = rest_.substr(0, brk);
  std::size_t next = brk + 1;
  if (rest_[brk] == '\r' && next < rest_.size() && rest_[next] == '\n') ++next;
  rest_ = rest_.substr(next);
  done_ = rest_.empty();  // a break at the very end opens no line
  return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  LineCursor cursor(text);
  std::string_view line;
  while (cursor.next(line)) lines.push_back(line);
  return lines;
}

void cutCells(std::string_view line, std::vector<std::string_view>& cells) {
  cells.clear();
  // Cells are mostly one or two bytes: a plain scan beats a search call per cell.
  const char* const data = line.data();
  const std::size_t n = line.size();
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (data[i] == '\t') {
      cells.emplace_back(data + start, i - start);
      start = i + 1;
    }
  }
  cells.emplace_back(data + start, n - start);
}

std::vector<std::string_view> cutCells(std::string_view line) {
  std::vector<std::string_view> cells;
  cutCells(line, cells);
  return cells;
}

std::size_t countNonEmpty(const std::vector<std::string_view>& cells) {
  std::size_t n = 0;
  for (auto c : cells)
    if (!c.empty()) ++n;
  return n;
}

LineKind classifyLine(const std::vector<std::string_view>& cells) {
  const std::size_t filled = countNonEmpty(cells);
  if (filled == 0) return LineKind::Blank;
  if (!cells.front().empty() && filled <= 2) return LineKind::BlockHeader;
  return LineKind::Data;
}

std::vector<std::string> readTaxonNames(std::string_view nameLine) {
  std::vector<std::string_view> cells;
  cutCells(nameLine, cells);
  std::vector<std::string> names;
  for (std::size_t i = 1; i < cells.size(); ++i)
    if (!cells[i].empty()) names.emplace_back(cells[i]);
  return names;
}

std::vector<std::string> taxonNameWarnings(const std::vector<std::string>& names) {
  std::vector<std::string> warnings;
  std::unordered_map<std::string, std::size_t> firstByStored;  // stored name -> first full name
  std::unordered_set<std::string> seen;
  std::unordered_set<std::string> reportedTwice;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const std::string stored = cutName(name).str();
    const auto [first, isNew] = firstByStored.try_emplace(stored, i);
    if (isNew) {
      seen.insert(name);
      if (stored.size() < kNameLength && name.size() > kNameLength)
        warnings.push_back("Taxon name \"" + name + "\" is cut inside a character at " +
                           std::to_string(kNameLength) + " bytes; it keeps the " +
                           std::to_string(stored.size()) + " bytes before it: \"" + stored +
                           "\".");
      continue;
    }
    if (seen.contains(name)) {
      if (reportedTwice.insert(name).second)
        warnings.push_back("Taxon name \"" + name +
                           "\" stands more than once in the taxon-name line; its columns were "
                           "merged into one taxon \"" +
                           stored + "\".");
      continue;
    }
    seen.insert(name);
    warnings.push_back("Taxon names \"" + names[first->second] + "\" and \"" + name +
                       "\" are the same in their first " + std::to_string(kNameLength) +
                       " characters and were merged into one taxon \"" + stored + "\".");
  }
  return warnings;
}

// --- the reading of a whole table ---

namespace {

constexpr double kNoSiteLength = -1.0;

// Marker numbers and block ids are 32-bit; a text long enough to run past them is refused
// rather than numbered wrongly.
int32_t nextNumber(int64_t& counter, const char* what) {
  if (counter > std::numeric_limits<int32_t>::max())
    throw std::length_error(std::string("The table has more ") + what + " than can be numbered.");
  return static_cast<int32_t>(counter++);
}

class TableReader {
 public:
  TableReader(char separator, bool frequencies, const std::vector<Name>& names)
      : separator_(separator), frequencies_(frequencies), names_(names) {}

  // Reads the lines after the first. A table read as presence marks stops at the first value
  // that makes it allele frequencies (frequencyFound), to be read again as such.
  void readLines(LineCursor& cursor) {
    openBlock();
    std::string_view line;
    std::size_t lineNumber = 1;
    while (cursor.next(line)) {
      ++lineNumber;
      cutCells(line, cells_);
      const std::size_t filled = countNonEmpty(cells_);
      if (filled == 0) continue;
      if (!cells_.front().empty() && filled <= 2) {
        readHeaderLine(filled);
      } else {
        readDataLine(filled >= 3, lineNumber);
        if (frequencyFound) return;
      }
    }
    if (!blockEmpty_) closeBlock();
  }

  bool frequencies() const { return frequencies_; }

  std::vector<Block> blocks;
  ScoreStore scores;  // the blocks' columns' runs, block after block
  std::vector<std::vector<uint8_t>> hasData;
  ValueCellCounts counts;
  bool frequencyFound = false;

 private:
  // A score of the open block, with the column it belongs to.
  struct PendingScore {
    int32_t column;
    int32_t marker;
    double value;
  };

  void openBlock() {
    columnHasData_.assign(names_.size(), 0);
    columnScores_.assign(names_.size(), 0);
    pendingCount_ = 0;
    lines_.clear();
    blockEmpty_ = true;
  }

  // `deciding`: the line's cells decide the data type and are counted for the warnings.
  void readDataLine(bool deciding, std::size_t lineNumber) {
    const std::string_view label = cells_.front();
    const int32_t number = nextNumber(markerCounter_, "data lines");
    lines_.push_back(Marker{number, label.empty() ? Name(std::to_string(number)) : cutName(label), 0});
    const std::size_t values = cells_.size() - 1;
    const std::size_t columns = names_.size();
    const std::size_t given = std::min(values, columns);
    // Every read cell is written at the end of the buffer and kept by moving the end, without a
    // branch: whether a mark is 0 is as good as random.
    if (pending_.size() < pendingCount_ + given) pending_.resize(2 * (pendingCount_ + given));
    PendingScore* const out = pending_.data();
    std::size_t kept = pendingCount_;
    for (std::size_t k = 0; k < given; ++k) {
      double value = 0.0;
      const bool read = readValueCell(cells_[k + 1], separator_, value);
      if (deciding && !count(k + 1, read, value, lineNumber)) break;
      if (!read) {
        if (frequencies_) columnHasData_[k] = 0;
        continue;
      }
      out[kept] = PendingScore{static_cast<int32_t>(k), number, value};
      const auto keep = static_cast<uint32_t>(frequencies_) | static_cast<uint32_t>(value != 0.0);
      kept += keep;
      columnScores_[k] += keep;
      columnHasData_[k] = 1;
    }
    if (kept != pendingCount_) blockEmpty_ = false;
    pendingCount_ = kept;
    if (frequencyFound) return;
    if (frequencies_)
      for (std::size_t k = given; k < columns; ++k) columnHasData_[k] = 0;
    if (!deciding) return;
    for (std::size_t i = columns + 1; i < cells_.size(); ++i) {
      double value = 0.0;
      const bool read = readValueCell(cells_[i], separator_, value);
      if (!count(i, read, value, lineNumber)) return;
    }
  }

  // Counts cell i of a deciding line; false when it shows that a table read as presence marks
  // holds allele frequencies.
  bool count(std::size_t i, bool read, double value, std::size_t lineNumber) {
    counts.add(cells_[i], read, value, separator_, lineNumber, i + 1);
    // 0 exactly for 0 and 1 (see ValueCellCounts::add).
    if (frequencies_ || !read || value * (value - 1.0) == 0.0) return true;
    frequencyFound = true;
    return false;
  }

  // The site length of a header line that has a value beside its name.
  double headerValue() const {
    const std::optional<double> v =
        readInputNumber(cells_.size() > 1 ? cells_[1] : std::string_view(), separator_);
    return v ? *v : kNoSiteLength;
  }

  void readHeaderLine(std::size_t filled) {
    const bool withValue = filled == 2;
    if (!headerSeen_) {
      headerSeen_ = true;
      blockName_ = std::string(cells_.front());
      siteLength_ = withValue ? headerValue() : kNoSiteLength;
      return;
    }
    closeBlock();
    blockName_ = std::string(cells_.front());
    openBlock();
    if (withValue) siteLength_ = headerValue();
  }

  void closeBlock() {
    Block block;
    block.id = nextNumber(blockCounter_, "blocks");
    block.name = blockName_;
    if (siteLength_ != kNoSiteLength) block.siteLength = siteLength_;
    for (Marker& m : lines_) m.block = block.id;
    // The block's columns take their runs of the store one after the other, sized from the
    // scores counted per column.
    block.taxa.resize(names_.size());
    next_.resize(names_.size());
    uint64_t at = scores.size();
    for (std::size_t k = 0; k < names_.size(); ++k) {
      block.taxa[k].name = names_[k];
      block.taxa[k].first = at;
      block.taxa[k].count = columnScores_[k];
      next_[k] = at;
      at += columnScores_[k];
    }
    scores.resize(at);
    for (std::size_t i = 0; i < pendingCount_; ++i) {
      const PendingScore& p = pending_[i];
      scores[next_[static_cast<std::size_t>(p.column)]++] = Score{p.marker, p.value};
    }
    runs_.clear();
    for (const BlockTaxon& c : block.taxa)
      runs_.emplace_back(scores.data() + c.first, static_cast<std::size_t>(c.count));
    block.markers = distinctMarkers(runs_, {&lines_}, true);
    if (!block.taxa.empty()) {
      blocks.push_back(std::move(block));
      hasData.push_back(std::move(columnHasData_));
    }
    columnHasData_.clear();
  }

  const char separator_;
  const bool frequencies_;
  const std::vector<Name>& names_;  // the names of the first line, cut
  std::vector<uint8_t> columnHasData_;
  std::vector<uint32_t> columnScores_;  // the open block's scores per column
  std::vector<PendingScore> pending_;   // the open block's scores in line order: the first
  std::size_t pendingCount_ = 0;        // pendingCount_ of it
  std::vector<Marker> lines_;  // the open block's data lines
  std::vector<uint64_t> next_;  // where each column's next score goes in the store
  std::vector<std::span<const Score>> runs_;
  std::vector<std::string_view> cells_;
  std::string blockName_;
  bool blockEmpty_ = true;
  bool headerSeen_ = false;
  double siteLength_ = kNoSiteLength;
  int64_t markerCounter_ = 1;
  int64_t blockCounter_ = 0;
};

}  // namespace

bool isFrequencyTable(std::string_view text, char decimalSeparator) {
  LineCursor cursor(text);
  std::string_view line;
  if (!cursor.next(line)) return false;
  std::vector<std::string_view> cells;
  while (cursor.next(line)) {
    cutCells(line, cells);
    if (countNonEmpty(cells) < 3) continue;
    for (std::size_t i = 1; i < cells.size(); ++i) {
      double v = 0.0;
      if (readValueCell(cells[i], decimalSeparator, v) && v != 0.0 && v != 1.0) return true;
    }
  }
  return false;
}

uint64_t readingMemoryFor(uint64_t tabs, uint64_t bytes, uint64_t names) {
  // Every value cell may become a score, with room for the reading's buffers; each name of the first line a taxon with its texts, lists and checks.
  const uint64_t perScore = 2 * (sizeof(Score) + 16);
  return tabs * perScore + 2 * bytes + names * 512;
}

namespace {
struct TextCounts {
  uint64_t tabs = 0;
  uint64_t bytes = 0;
  uint64_t names = 0;
};

TextCounts countText(std::string_view text) {
  TextCounts c;
  const std::size_t end = std::min(text.find('\0'), text.size());
  const std::size_t firstLine = std::min(text.find('\n'), end);
  c.tabs = static_cast<uint64_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\t'));
  c.names = static_cast<uint64_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(firstLine), '\t'));
  c.bytes = end;
  return c;
}
}  // namespace

uint64_t estimateReadingMemory(std::string_view text) {
  const TextCounts c = countText(text);
  return readingMemoryFor(c.tabs, c.bytes, c.names);
}

TableReading readTable(std::string_view text, char decimalSeparator) {
  const TextCounts counted = countText(text);
  requireMemory(readingMemoryFor(counted.tabs, counted.bytes, counted.names),
                "Reading this table");
  TableReading out;
  LineCursor cursor(text);
  std::string_view nameLine;
  if (!cursor.next(nameLine)) {
    out.error = std::make_exception_ptr(ListIndexError(0));
    return out;
  }
  const LineCursor body = cursor;
  const std::vector<std::string> names = readTaxonNames(nameLine);
  if (names.empty())
    out.warnings.emplace_back("The first line names no taxon, so no data were read from the table.");
  for (auto& w : taxonNameWarnings(names)) out.warnings.push_back(std::move(w));
  std::vector<Name> cutNames;
  cutNames.reserve(names.size());
  for (const std::string& n : names) cutNames.push_back(cutName(n));
  // Most tables show what they hold in their first lines: read as presence marks, and again as
  // allele frequencies only from a value that says so.
  auto read = [&](bool frequencies) {
    auto reader = std::make_unique<TableReader>(decimalSeparator, frequencies, cutNames);
    // No value cell without a TAB before it: the store is reserved once, before it is touched,
    // so that it is not copied as it grows and lies on large pages.
    reader->scores.reserve(static_cast<std::size_t>(counted.tabs));
    LineCursor lines = body;
    try {
      reader->readLines(lines);
    } catch (const std::length_error&) {
      // What was read up to here is kept, as the reading shows it.
      out.error = std::current_exception();
    }
    return reader;
  };
  std::unique_ptr<TableReader> reader = read(false);
  if (reader->frequencyFound || (out.error && isFrequencyTable(text, decimalSeparator))) {
    reader.reset();
    out.error = nullptr;
    reader = read(true);
  }
  out.data = mergeBlocks(std::move(reader->blocks), std::move(reader->scores), reader->hasData,
                         reader->frequencies());
  if (!out.error && !names.empty())
    for (auto& w : tableContentWarnings(reader->counts, decimalSeparator, out.data))
      out.warnings.push_back(std::move(w));
  return out;
}

}  // namespace ramovia
