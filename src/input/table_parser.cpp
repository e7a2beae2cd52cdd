#include "input/table_parser.h"

#include "model/memory.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "input/number_text.h"
#include "resampling/analysis.h"

namespace ramovia {

// --- lines and cells ---

LineCursor::LineCursor(std::string_view text) : rest_(text), done_(false) {
  const auto nul = rest_.find('\0');
  if (nul != std::string_view::npos) rest_ = rest_.substr(0, nul);
  done_ = rest_.empty();
}

bool LineCursor::Next(std::string_view& line) {
  if (done_) return false;
  // A plain scan: find_first_of tests every byte against the set by a call of its own.
  std::size_t brk = 0;
  const std::size_t n = rest_.size();
  while (brk < n && rest_[brk] != '\r' && rest_[brk] != '\n') ++brk;
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

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  LineCursor cursor(text);
  std::string_view line;
  while (cursor.Next(line)) lines.push_back(line);
  return lines;
}

void CutCells(std::string_view line, std::vector<std::string_view>& cells) {
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

std::vector<std::string_view> CutCells(std::string_view line) {
  std::vector<std::string_view> cells;
  CutCells(line, cells);
  return cells;
}

std::size_t CountNonEmpty(const std::vector<std::string_view>& cells) {
  std::size_t n = 0;
  for (auto c : cells)
    if (!c.empty()) ++n;
  return n;
}

LineKind ClassifyLine(const std::vector<std::string_view>& cells) {
  const std::size_t filled = CountNonEmpty(cells);
  if (filled == 0) return LineKind::Blank;
  if (!cells.front().empty() && filled <= 2) return LineKind::BlockHeader;
  return LineKind::Data;
}

std::vector<std::string> ReadTaxonNames(std::string_view nameLine) {
  std::vector<std::string_view> cells;
  CutCells(nameLine, cells);
  std::vector<std::string> names;
  for (std::size_t i = 1; i < cells.size(); ++i)
    if (!cells[i].empty()) names.emplace_back(cells[i]);
  return names;
}

std::vector<std::string> TaxonNameWarnings(const std::vector<std::string>& names) {
  std::vector<std::string> warnings;
  std::unordered_map<std::string, std::size_t> firstByStored;  // stored name -> first full name
  std::unordered_set<std::string> seen;
  std::unordered_set<std::string> reportedTwice;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const std::string stored = ItemName(name).str();
    const auto [first, isNew] = firstByStored.try_emplace(stored, i);
    if (isNew) {
      seen.insert(name);
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
                       "\" are the same in their first " + std::to_string(kItemNameLength) +
                       " characters and were merged into one taxon \"" + stored + "\".");
  }
  return warnings;
}

// --- the reading of a whole table ---

namespace {

constexpr double kNoSiteLength = -1.0;

// Fragment numbers and block ids are 32-bit; a text long enough to run past them is refused
// rather than numbered wrongly.
int32_t NextNumber(int64_t& counter, const char* what) {
  if (counter > std::numeric_limits<int32_t>::max())
    throw std::length_error(std::string("The table has more ") + what + " than can be numbered.");
  return static_cast<int32_t>(counter++);
}

class TableReader {
 public:
  TableReader(Analysis& analysis, bool freq, const std::vector<std::string>& names)
      : analysis_(analysis), freq_(freq), storedNames_(names.begin(), names.end()) {}

  void ReadLines(LineCursor& cursor) {
    NewBlockTaxa();
    std::string_view line;
    while (cursor.Next(line)) {
      CutCells(line, cells_);
      switch (ClassifyLine(cells_)) {
        case LineKind::Blank:
          break;
        case LineKind::Data:
          ReadDataLine();
          break;
        case LineKind::BlockHeader:
          ReadHeaderLine();
          break;
      }
    }
    if (!blockEmpty_) CloseBlock();
  }

 private:
  void NewBlockTaxa() {
    taxa_.clear();
    taxa_.reserve(storedNames_.size());
    for (const auto& name : storedNames_) {
      auto druh = std::make_unique<TDruh>();
      druh->Name = name;
      druh->Tag = -1;
      taxa_.push_back(std::move(druh));
    }
    pending_.resize(taxa_.size());
    for (auto& p : pending_) p.clear();
    lineNames_.clear();
    lineNums_.clear();
    blockEmpty_ = true;
  }

  void ReadDataLine() {
    const std::string_view label = cells_.front();
    const int32_t num = NextNumber(fragmentCounter_, "data lines");
    const auto line = static_cast<uint32_t>(lineNums_.size());
    lineNames_.push_back(label.empty() ? ItemName(std::to_string(num)) : ItemName(label));
    lineNums_.push_back(num);
    const char sep = analysis_.DecimalSeparator;
    for (std::size_t k = 0; k < taxa_.size(); ++k) {
      double value = 0.0;
      TDruh& taxon = *taxa_[k];
      if (k + 1 >= cells_.size() || !ReadValueCell(cells_[k + 1], sep, value)) {
        if (freq_) taxon.Tag = -1;
        continue;
      }
      if (freq_ || value != 0.0) {
        pending_[k].push_back({line, value});
        blockEmpty_ = false;
      }
      taxon.Tag = 0;
    }
  }

  // The fragments of the open block are made when it closes, taxon by taxon, so that each taxon's
  // fragments lie together in memory for everything that walks them later.
  void MakeFragments(int32_t enzymId) {
    for (std::size_t k = 0; k < taxa_.size(); ++k) {
      TDruh& taxon = *taxa_[k];
      taxon.Fragmenty.reserve(pending_[k].size());
      for (const Pending& p : pending_[k]) {
        auto f = std::make_unique<TFragment>();
        f->Name = lineNames_[p.line];
        f->Num = lineNums_[p.line];
        f->Reference = kTrue16;
        f->Value = p.value;
        f->EnzymId = enzymId;
        taxon.AddFragment(std::move(f));
      }
    }
  }

  // The SiteLength of a header line that has a value beside its name.
  double HeaderValue() const {
    const std::optional<double> v =
        ReadInputNumber(cells_.size() > 1 ? cells_[1] : std::string_view(),
                        analysis_.DecimalSeparator);
    return v ? *v : kNoSiteLength;
  }

  void ReadHeaderLine() {
    const bool withValue = CountNonEmpty(cells_) == 2;
    if (!headerSeen_) {
      headerSeen_ = true;
      blockName_ = std::string(cells_.front());
      siteLength_ = withValue ? HeaderValue() : kNoSiteLength;
      return;
    }
    CloseBlock();
    blockName_ = std::string(cells_.front());
    NewBlockTaxa();
    if (withValue) siteLength_ = HeaderValue();
  }

  void CloseBlock() {
    auto block = std::make_unique<TEnzym>();
    block->EnzymId = NextNumber(enzymIdCounter_, "blocks");
    MakeFragments(block->EnzymId);
    block->Name = blockName_;
    if (siteLength_ != kNoSiteLength) block->SiteLength = siteLength_;
    block->Druhy = std::move(taxa_);
    taxa_.clear();
    if (!block->Druhy.empty()) {
      block->PrepareFragmentList();
      analysis_.Loci.push_back(std::move(block));
    }
  }

  Analysis& analysis_;
  const bool freq_;
  const std::vector<ItemName> storedNames_;  // the names of the first line, cut
  std::vector<std::unique_ptr<TDruh>> taxa_;  // the open block's taxa
  // The open block's fragments until it closes: per taxon, its data lines and values.
  struct Pending {
    uint32_t line;  // into lineNames_ and lineNums_
    double value;
  };
  std::vector<std::vector<Pending>> pending_;
  std::vector<ItemName> lineNames_;
  std::vector<int32_t> lineNums_;
  std::vector<std::string_view> cells_;
  std::string blockName_;
  bool blockEmpty_ = true;
  bool headerSeen_ = false;
  double siteLength_ = kNoSiteLength;
  int64_t fragmentCounter_ = 1;
  int64_t enzymIdCounter_ = 0;
};

}  // namespace

Bool16 Analysis::IsFreq(std::string_view text, char decimalSeparator) {
  LineCursor cursor(text);
  std::string_view line;
  if (!cursor.Next(line)) return kFalse16;
  std::vector<std::string_view> cells;
  while (cursor.Next(line)) {
    CutCells(line, cells);
    if (CountNonEmpty(cells) < 3) continue;
    for (std::size_t i = 1; i < cells.size(); ++i) {
      double v = 0.0;
      if (ReadValueCell(cells[i], decimalSeparator, v) && v != 0.0 && v != 1.0) return kTrue16;
    }
  }
  return kFalse16;
}

uint64_t EstimateReadingMemory(std::string_view text) {
  // Every value cell may become a fragment, held once by its block and once by the merged set.
  const std::size_t end = std::min(text.find('\0'), text.size());
  uint64_t cells = 0;
  for (std::size_t i = 0; i < end; ++i) cells += text[i] == '\t';
  const uint64_t perFragment = 2 * (sizeof(TFragment) + 2 * sizeof(void*) + 16);
  return cells * perFragment + 2 * static_cast<uint64_t>(end);
}

void Analysis::GetFromText(std::string_view text) {
  // Refused before anything is freed, so the data the window holds stay.
  RequireMemory(EstimateReadingMemory(text), "Reading this table");
  Warnings.clear();
  EmptyOwnedList(Loci);
  try {
    LineCursor cursor(text);
    std::string_view nameLine;
    if (!cursor.Next(nameLine)) throw ListIndexError(0);

    const bool freq = IsFreq(text, DecimalSeparator) != kFalse16;
    if (freq) {
      Caption = "Frequence analyze: " + Caption;
      if (Methods.size() == 5) Methods.erase(Methods.begin() + 4);
    }

    const std::vector<std::string> names = ReadTaxonNames(nameLine);
    if (names.empty())
      Warnings.emplace_back("The first line names no taxon, so no data were read from the table.");
    for (auto& w : TaxonNameWarnings(names)) Warnings.push_back(std::move(w));

    TableReader reader(*this, freq, names);
    reader.ReadLines(cursor);
  } catch (...) {
    // The merge and the grid follow a failed reading too: they show what was read.
    GetDruhyList();
    DisplayList();
    throw;
  }
  GetDruhyList();
  DisplayList();
}

void Analysis::GetDruhyList() {
  TEnzym& all = *Enzym;
  all.Clear();
  // Clear has emptied the reduced list; leaving it active would hide every taxon from the
  // name lookup below and split each taxon into one copy per block.
  all.UseRedukovaneDruhy = false;
  all.SiteLength = 0;

  // Position in Druhy of the first taxon of each name: the answer of GetDruhStr without a scan.
  std::unordered_map<std::string, std::size_t> byName;
  const auto positionOf = [&](const TDruh& blockTaxon) {
    const auto [at, isNew] = byName.try_emplace(blockTaxon.Name.str(), all.Druhy.size());
    if (isNew) {
      auto taxon = std::make_unique<TDruh>();
      taxon->Name = blockTaxon.Name;
      all.AddDruh(std::move(taxon));
    }
    return at->second;
  };

  // Each taxon's list is sized once for all blocks; growing it block by block would copy long
  // lists over and over.
  std::vector<std::size_t> totals;
  for (const auto& block : Loci)
    for (const auto& blockTaxon : block->Druhy) {
      const std::size_t at = positionOf(*blockTaxon);
      totals.resize(all.Druhy.size());
      if (blockTaxon->Tag != -1) totals[at] += blockTaxon->Fragmenty.size();
    }
  for (std::size_t i = 0; i < totals.size(); ++i) all.Druhy[i]->Fragmenty.reserve(totals[i]);

  for (const auto& block : Loci) {
    all.SiteLength += block->SiteLength;
    for (const auto& blockTaxon : block->Druhy) {
      TDruh& taxon = *all.Druhy[positionOf(*blockTaxon)];
      if (blockTaxon->Tag == -1) {
        taxon.AddForbiddenEnzym(block->EnzymId);
        continue;
      }
      for (const auto& f : blockTaxon->Fragmenty)
        taxon.AddFragment(std::make_unique<TFragment>(*f));
    }
    block->CompactDruhyList();
  }
  all.PrepareFragmentList();
}

}  // namespace ramovia
