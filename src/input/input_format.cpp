#include "input/input_format.h"

#include <charconv>
#include <stdexcept>
#include <unordered_set>

#include "input/input_error.h"
#include "model/memory.h"

namespace ramovia {

namespace {

struct FormatName {
  InputFormat format;
  const char* keyword;
  const char* description;
};

constexpr FormatName kFormats[] = {
    {InputFormat::Auto, "auto", "by content"},
    {InputFormat::Table, "table", "the native table"},
    {InputFormat::GenePop, "genepop", "a GenePop file"},
    {InputFormat::Genotypes, "genotypes", "a genotype table"},
    {InputFormat::Bands, "bands", "a band matrix"},
    {InputFormat::PhylipMatrix, "phylip-matrix", "a PHYLIP distance matrix"},
    {InputFormat::MatrixCsv, "matrix-csv", "a delimited distance matrix"},
};

const FormatName& nameOf(InputFormat f) {
  for (const FormatName& n : kFormats)
    if (n.format == f) return n;
  return kFormats[0];
}

bool firstLineNamesTaxon(std::string_view text) {
  LineCursor cursor(text);
  std::string_view line;
  return cursor.next(line) && !readTaxonNames(line).empty();
}

Dataset taxaOnly(const DistanceInput& m) {
  Dataset d;
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < m.names.size(); ++i) {
    const Name name(m.names[i]);
    if (!seen.insert(name.str()).second)
      throw std::runtime_error("The names '" + m.names[i] + "' and another agree in their first " +
                               std::to_string(kNameLength) +
                               " characters; taxon names must differ there.");
    d.taxa.push_back(Taxon{name, {}});
  }
  return d;
}

std::string number(double v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

}  // namespace

std::optional<InputFormat> inputFormatForKeyword(std::string_view keyword) {
  for (const FormatName& n : kFormats)
    if (keyword == n.keyword) return n.format;
  return std::nullopt;
}

const char* inputFormatKeyword(InputFormat f) { return nameOf(f).keyword; }

std::vector<std::string> inputFormatKeywords() {
  std::vector<std::string> out;
  for (const FormatName& n : kFormats) out.emplace_back(n.keyword);
  return out;
}

InputFormat detectInputFormat(std::string_view text) {
  if (firstLineNamesTaxon(text)) return InputFormat::Table;
  std::vector<InputFormat> fits;
  if (looksLikeGenePop(text)) fits.push_back(InputFormat::GenePop);
  if (looksLikePhylipMatrix(text)) fits.push_back(InputFormat::PhylipMatrix);
  if (looksLikeStructure(text) || looksLikeGenotypeTable(text))
    fits.push_back(InputFormat::Genotypes);
  if (looksLikeBandMatrix(text)) fits.push_back(InputFormat::Bands);
  if (looksLikeDelimitedMatrix(text)) fits.push_back(InputFormat::MatrixCsv);
  if (fits.empty()) return InputFormat::Table;
  if (fits.size() == 1) return fits.front();
  std::string list;
  for (std::size_t k = 0; k < fits.size(); ++k) {
    if (k > 0) list += k + 1 == fits.size() ? " or " : ", ";
    list += std::string(nameOf(fits[k]).description) + " (" + nameOf(fits[k]).keyword + ")";
  }
  throw std::runtime_error("The file could be " + list + "; choose its format.");
}

InputReading readInput(std::string_view text, const InputOptions& options) {
  InputReading out;
  out.format = options.format == InputFormat::Auto ? detectInputFormat(text) : options.format;
  if (out.format != InputFormat::Table) requireMemory(estimateReadingMemory(text) + 4 * text.size(), "Reading this file");
  switch (out.format) {
    case InputFormat::Auto:
    case InputFormat::Table:
      out.table = readTable(text, options.decimalSeparator);
      break;
    case InputFormat::GenePop:
    case InputFormat::Genotypes: {
      const GenotypeCounts counts =
          out.format == InputFormat::GenePop ? readGenePop(text, options.genotypes)
          : looksLikeGenotypeTable(text)      ? readGenotypeTable(text, options.genotypes)
                                              : readStructure(text, options.genotypes);
      out.table.data = genotypeDataset(counts);
      out.table.warnings = counts.warnings;
      break;
    }
    case InputFormat::Bands: {
      BandTable bands = readBandMatrix(text, options.bands);
      out.table = readTable(bands.table, '.');
      if (out.table.error) std::rethrow_exception(out.table.error);
      for (auto& w : bands.warnings) out.table.warnings.push_back(std::move(w));
      break;
    }
    case InputFormat::PhylipMatrix:
    case InputFormat::MatrixCsv: {
      DistanceInput m = out.format == InputFormat::PhylipMatrix ? readPhylipMatrix(text)
                                                                : readDelimitedMatrix(text);
      out.table.data = taxaOnly(m);
      out.matrix = std::move(m);
      break;
    }
  }
  return out;
}

std::string nativeTableText(const Dataset& data, std::vector<std::string>& warnings) {
  std::string t;
  for (const Taxon& taxon : data.taxa) t += "\t" + taxon.name.str();
  t += "\n";
  bool onlyMarks = true;
  std::size_t unlabeled = 0;
  for (const Block& block : data.blocks) {
    t += block.name.str().empty() ? std::string("Block") + std::to_string(block.id + 1) : block.name.str();
    if (block.siteLength != 0.0) t += "\t" + number(block.siteLength);
    t += "\n";
    std::vector<int32_t> columnOf(data.taxa.size(), -1);
    for (std::size_t k = 0; k < block.taxa.size(); ++k)
      columnOf[static_cast<std::size_t>(block.taxa[k].taxon)] = static_cast<int32_t>(k);
    for (const Marker& m : block.markers) {
      std::string cells;
      std::size_t filled = 1;
      for (std::size_t t2 = 0; t2 < data.taxa.size(); ++t2) {
        cells += '\t';
        const int32_t k = columnOf[t2];
        if (k < 0) continue;
        for (const Score& s : data.scoresOf(block.taxa[static_cast<std::size_t>(k)]))
          if (s.marker == m.number) {
            if (s.value != 0.0 && s.value != 1.0) onlyMarks = false;
            cells += number(s.value);
            ++filled;
            break;
          }
        // Presence data show absence as 0 where the taxon has data in the block.
        if (!data.frequencies && cells.back() == '\t') {
          cells += '0';
          ++filled;
        }
      }
      const bool asHeader = filled <= 2;
      if (asHeader) ++unlabeled;
      t += (asHeader ? std::string() : m.label.str()) + cells + "\n";
    }
  }
  if (data.frequencies && onlyMarks && !data.blocks.empty())
    warnings.push_back("Every frequency is 0 or 1, so the table reads back as presence marks.");
  if (unlabeled > 0)
    warnings.push_back(std::to_string(unlabeled) +
                       " lines with fewer than two values are written without their label (a "
                       "label would make them block headers).");
  return t;
}

}  // namespace ramovia
