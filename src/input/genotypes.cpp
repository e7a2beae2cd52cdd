#include "input/genotypes.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "input/delimited.h"
#include "input/input_error.h"
#include "input/table_reader.h"

namespace ramovia {

bool AlleleLess::operator()(const std::string& a, const std::string& b) const {
  int x = 0, y = 0;
  const bool xn = readInteger(a, x), yn = readInteger(b, y);
  if (xn && yn) return x != y ? x < y : a < b;
  if (xn != yn) return xn;
  return a < b;
}

namespace {

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool allZeros(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c != '0') return false;
  return true;
}

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// Collects copies population by population; names are made distinct where the cut merges them.
class Counter {
 public:
  explicit Counter(std::size_t loci) : loci_(loci) {}

  std::size_t population(const std::string& key) {
    const auto [at, isNew] = index_.try_emplace(key, out.populations.size());
    if (isNew) {
      out.populations.push_back(key);
      out.copies.emplace_back(loci_);
    }
    return at->second;
  }
  void add(std::size_t pop, std::size_t locus, std::string_view allele) {
    ++out.copies[pop][locus][std::string(allele)];
  }

  // Names cut to the taxon length, each once.
  void finish(const std::vector<std::string>& given) {
    if (!given.empty()) {
      if (given.size() != out.populations.size())
        throw std::runtime_error("--population-names gives " + std::to_string(given.size()) +
                                 " names for " + std::to_string(out.populations.size()) +
                                 " populations.");
      out.populations = given;
    }
    std::unordered_set<std::string> used;
    for (std::size_t p = 0; p < out.populations.size(); ++p) {
      std::string name = Name(out.populations[p]).str();
      if (name.empty()) name = "Pop" + std::to_string(p + 1);
      std::string unique = name;
      for (int k = 2; used.contains(unique); ++k) {
        const std::string suffix = "_" + std::to_string(k);
        unique = name.substr(0, std::min(name.size(), kNameLength - suffix.size())) + suffix;
      }
      if (unique != name)
        out.warnings.push_back("Population \"" + out.populations[p] + "\" is named \"" + unique +
                               "\" (taxon names are distinct and keep " +
                               std::to_string(kNameLength) + " characters).");
      used.insert(unique);
      out.populations[p] = unique;
    }
  }

  GenotypeCounts out;

 private:
  std::size_t loci_;
  std::unordered_map<std::string, std::size_t> index_;
};

bool isPopLine(std::string_view line) { return equalsIgnoringCase(trimmed(line), "pop"); }

}  // namespace

// --- GenePop ---

GenotypeCounts readGenePop(std::string_view text, const GenotypeOptions& options) {
  LineCursor cursor(text);
  std::string_view line;
  std::size_t number = 0;
  if (!cursor.next(line)) throw InputError(1, 1, "the file is empty; a GenePop file starts with a title line");
  ++number;
  std::vector<std::string> loci;
  bool popSeen = false;
  while (cursor.next(line)) {
    ++number;
    if (isPopLine(line)) {
      popSeen = true;
      break;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i)
      if (i == line.size() || line[i] == ',') {
        const std::string_view name = trimmed(line.substr(start, i - start));
        if (!name.empty()) loci.emplace_back(name);
        start = i + 1;
      }
  }
  if (!popSeen) throw InputError(number, 1, "no 'Pop' line: a GenePop file lists its loci, then 'Pop' before each population");
  if (loci.empty()) throw InputError(number, 1, "no locus is named before the first 'Pop' line");

  Counter counter(loci.size());
  std::vector<std::string> firstNames;
  std::size_t popLine = number;
  std::size_t individuals = 0;
  std::size_t current = 0;
  std::size_t width = 0, ploidy = 0;  // digits per allele and alleles per genotype, from the first
  std::vector<std::string_view> tokens;
  std::vector<std::size_t> columns;
  const auto closePopulation = [&] {
    if (individuals == 0) throw InputError(popLine, 1, "this population has no individuals");
  };
  while (cursor.next(line)) {
    ++number;
    if (trimmed(line).empty()) continue;
    if (isPopLine(line)) {
      closePopulation();
      popLine = number;
      individuals = 0;
      continue;
    }
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos)
      throw InputError(number, 1, "an individual's line needs a comma between its name and its genotypes");
    const std::string name(trimmed(line.substr(0, comma)));
    if (individuals == 0) {
      current = counter.population("#" + std::to_string(firstNames.size()));
      firstNames.push_back(name);
    }
    ++individuals;
    tokens.clear();
    columns.clear();
    for (std::size_t i = comma + 1; i < line.size();) {
      while (i < line.size() && (isBlank(line[i]) || line[i] == ',')) ++i;
      if (i == line.size()) break;
      const std::size_t start = i;
      while (i < line.size() && !isBlank(line[i]) && line[i] != ',') ++i;
      tokens.push_back(line.substr(start, i - start));
      columns.push_back(start + 1);
    }
    if (tokens.size() != loci.size())
      throw InputError(number, tokens.size() > loci.size() ? columns[loci.size()] : line.size() + 1,
                       std::to_string(tokens.size()) + " genotypes, but the file names " +
                           std::to_string(loci.size()) + " loci");
    for (std::size_t l = 0; l < tokens.size(); ++l) {
      const std::string_view g = tokens[l];
      if (!allDigits(g))
        throw InputError(number, columns[l], "genotype " + quoted(g) + " is not made of digits");
      if (allZeros(g)) continue;
      if (width == 0) {
        if (g.size() == 2 || g.size() == 3) {
          width = g.size();
          ploidy = 1;
        } else if (g.size() == 4 || g.size() == 6) {
          width = g.size() / 2;
          ploidy = 2;
        } else {
          throw InputError(number, columns[l],
                           "genotype " + quoted(g) + " has " + std::to_string(g.size()) +
                               " digits; a genotype has 2 or 3 digits per allele (4 or 6 for "
                               "two alleles)");
        }
      }
      if (g.size() != width * ploidy)
        throw InputError(number, columns[l],
                         "genotype " + quoted(g) + " has " + std::to_string(g.size()) +
                             " digits, but this file's genotypes have " +
                             std::to_string(width * ploidy) + " (" + std::to_string(ploidy) +
                             (ploidy == 1 ? " allele" : " alleles") + " of " +
                             std::to_string(width) + " digits)");
      for (std::size_t k = 0; k < ploidy; ++k) {
        std::string_view code = g.substr(k * width, width);
        if (allZeros(code)) continue;
        while (code.size() > 1 && code.front() == '0') code.remove_prefix(1);
        counter.add(current, l, code);
      }
    }
  }
  closePopulation();
  counter.out.loci = std::move(loci);
  counter.out.populations = firstNames;
  counter.finish(options.populationNames);
  return std::move(counter.out);
}

bool looksLikeGenePop(std::string_view text) {
  LineCursor cursor(text);
  std::string_view line;
  if (!cursor.next(line)) return false;
  bool pop = false;
  while (cursor.next(line)) {
    if (isPopLine(line)) {
      pop = true;
    } else if (pop && !trimmed(line).empty()) {
      return line.find(',') != std::string_view::npos;
    }
  }
  return false;
}

// --- STRUCTURE ---

namespace {

bool isStructureMissing(std::string_view v) { return v == "-9"; }

bool isWholeNumber(std::string_view v) {
  int x = 0;
  return readInteger(v, x);
}

struct StructureShape {
  bool header = false;
  bool twoRows = false;
  std::size_t columns = 0;
};

StructureShape structureShape(const std::vector<Row>& rows) {
  StructureShape s;
  if (rows.size() < 2) return s;
  const Row& first = rows[0];
  const Row& second = rows[1];
  if (first.fields.size() < second.fields.size()) {
    s.header = true;
  } else {
    for (std::size_t i = 2; i < first.fields.size() && i < second.fields.size(); ++i)
      if (!isWholeNumber(first.fields[i].text) && isWholeNumber(second.fields[i].text)) {
        s.header = true;
        break;
      }
  }
  const std::size_t begin = s.header ? 1 : 0;
  s.columns = rows[begin].fields.size();
  const std::size_t n = rows.size() - begin;
  s.twoRows = n % 2 == 0 && n > 0;
  for (std::size_t r = begin; s.twoRows && r + 1 < rows.size(); r += 2)
    s.twoRows = rows[r].fields[0].text == rows[r + 1].fields[0].text;
  return s;
}

}  // namespace

GenotypeCounts readStructure(std::string_view text, const GenotypeOptions& options) {
  const std::vector<Row> rows = splitRows(text, ' ');
  if (rows.empty()) throw InputError(1, 1, "the file holds no individual");
  const StructureShape shape = structureShape(rows);
  const std::size_t begin = shape.header ? 1 : 0;
  if (begin >= rows.size()) throw InputError(rows[0].line, 1, "the file holds no individual");
  const std::size_t columns = shape.columns;
  for (std::size_t r = begin; r < rows.size(); ++r)
    if (rows[r].fields.size() != columns)
      throw InputError(rows[r].line,
                       rows[r].fields.size() > columns ? rows[r].fields[columns].column
                                                       : rows[r].fields.back().column,
                       std::to_string(rows[r].fields.size()) + " columns, but line " +
                           std::to_string(rows[begin].line) + " has " + std::to_string(columns));
  if (columns < 3)
    throw InputError(rows[begin].line, 1, "a line holds the individual, the population and then the genotypes");
  const std::size_t perLocus = shape.twoRows ? 1 : 2;
  std::size_t extra = 0;
  std::vector<std::string> locusNames;
  if (options.extraColumns >= 0) {
    extra = static_cast<std::size_t>(options.extraColumns);
  } else if (shape.header) {
    const std::size_t named = rows[0].fields.size();
    const std::size_t loci = std::min(named, (columns - 2) / perLocus);
    extra = columns - 2 - loci * perLocus;
  } else if (shape.twoRows) {
    // A column that agrees on both rows of every individual, before the first that does not.
    for (std::size_t c = 2; c + 1 < columns; ++c) {
      bool same = true;
      for (std::size_t r = begin; same && r + 1 < rows.size(); r += 2)
        same = rows[r].fields[c].text == rows[r + 1].fields[c].text;
      if (!same) break;
      ++extra;
    }
  } else {
    extra = (columns - 2) % 2;
  }
  if (extra + 2 >= columns || (columns - 2 - extra) % perLocus != 0)
    throw InputError(rows[begin].line, 1,
                     std::to_string(columns) + " columns do not split into individual, population, " +
                         std::to_string(extra) + " extra columns and " +
                         (perLocus == 2 ? "two columns per locus" : "one column per locus"));
  const std::size_t loci = (columns - 2 - extra) / perLocus;
  if (shape.header) {
    // The row names each locus once, or each of its columns.
    const Row& h = rows[0];
    const std::size_t step = !shape.twoRows && h.fields.size() >= 2 * loci ? 2 : 1;
    const std::size_t skip = h.fields.size() > step * loci ? h.fields.size() - step * loci : 0;
    for (std::size_t l = 0; l < loci; ++l)
      locusNames.emplace_back(skip + step * l < h.fields.size() ? h.fields[skip + step * l].text
                                                                : std::string_view());
  }
  for (std::size_t l = 0; l < loci; ++l) {
    if (l >= locusNames.size()) locusNames.push_back("");
    if (locusNames[l].empty()) locusNames[l] = "Locus" + std::to_string(l + 1);
  }

  Counter counter(loci);
  for (std::size_t r = begin; r < rows.size(); ++r) {
    const Row& row = rows[r];
    const std::string pop(row.fields[1].text);
    if (shape.twoRows && (r - begin) % 2 == 1 && pop != rows[r - 1].fields[1].text)
      throw InputError(row.line, row.fields[1].column,
                       "the second row of individual " + quoted(row.fields[0].text) +
                           " names another population");
    const std::size_t p = counter.population(pop);
    for (std::size_t c = 2 + extra; c < columns; ++c) {
      const Field& f = row.fields[c];
      if (isStructureMissing(f.text)) continue;
      int code = 0;
      if (!readInteger(f.text, code) || code < 0)
        throw InputError(row.line, f.column,
                         "allele " + quoted(f.text) + " is not a whole number (-9 marks a missing one)");
      counter.add(p, (c - 2 - extra) / perLocus, f.text);
    }
  }
  if (extra > 0 && options.extraColumns < 0)
    counter.out.warnings.push_back(
        std::to_string(extra) + (extra == 1 ? " column" : " columns") +
        " after the population were taken for extra columns, not loci; --extra-columns says "
        "otherwise.");
  counter.out.loci = std::move(locusNames);
  counter.finish(options.populationNames);
  return std::move(counter.out);
}

bool looksLikeStructure(std::string_view text) {
  const std::vector<Row> rows = splitRows(text, ' ');
  if (rows.size() < 2) return false;
  const StructureShape shape = structureShape(rows);
  const std::size_t begin = shape.header ? 1 : 0;
  if (shape.columns < 3) return false;
  // A count alone on the first line starts a PHYLIP matrix, not a row of locus names.
  if (shape.header && rows[0].fields.size() == 1 && isWholeNumber(rows[0].fields[0].text))
    return false;
  for (std::size_t r = begin; r < rows.size() && r < begin + 50; ++r) {
    if (rows[r].fields.size() != shape.columns) return false;
    for (std::size_t c = 2; c < shape.columns; ++c)
      if (!isWholeNumber(rows[r].fields[c].text)) return false;
  }
  return true;
}

// --- spreadsheet genotype tables ---

namespace {

bool isTableMissing(std::string_view v) {
  return v.empty() || v == "0" || v == "-9" || v == "NA" || v == "?";
}

int findColumn(const Row& header, const std::string& wanted, std::initializer_list<const char*> guesses) {
  for (std::size_t c = 0; c < header.fields.size(); ++c) {
    if (!wanted.empty()) {
      if (header.fields[c].text == wanted) return static_cast<int>(c);
      continue;
    }
    for (const char* g : guesses)
      if (equalsIgnoringCase(header.fields[c].text, g)) return static_cast<int>(c);
  }
  return -1;
}

// The locus a pair of columns names ("loc1_a" and "loc1_b"), or empty.
std::string pairStem(std::string_view a, std::string_view b) {
  if (a == b) return std::string(a);
  static const char* const kPairs[][2] = {{"_a", "_b"}, {"_1", "_2"}, {".a", ".b"},
                                           {".1", ".2"}, {"-a", "-b"}, {"-1", "-2"}};
  for (const auto& p : kPairs) {
    const std::string_view sa = p[0], sb = p[1];
    if (a.size() > sa.size() && b.size() == a.size() && a.ends_with(sa) && b.ends_with(sb) &&
        a.substr(0, a.size() - 2) == b.substr(0, b.size() - 2))
      return std::string(a.substr(0, a.size() - 2));
  }
  return {};
}

struct LocusColumns {
  std::string name;
  std::size_t first;
  bool pair;
};

}  // namespace

GenotypeCounts readGenotypeTable(std::string_view text, const GenotypeOptions& options) {
  char sep = guessSeparator(text);
  if (sep == 0) sep = ',';
  const std::vector<Row> rows = splitRows(text, sep);
  if (rows.empty()) throw InputError(1, 1, "the file is empty; a genotype table starts with a header row");
  const Row& header = rows[0];
  int ind = findColumn(header, options.individualColumn,
                       {"individual", "ind", "indiv", "id", "sample", "name"});
  int pop = findColumn(header, options.populationColumn,
                       {"population", "pop", "site", "group", "colony", "locality"});
  if (ind < 0 && !options.individualColumn.empty())
    throw InputError(header.line, 1, "no column is headed " + quoted(options.individualColumn));
  if (pop < 0 && !options.populationColumn.empty())
    throw InputError(header.line, 1, "no column is headed " + quoted(options.populationColumn));
  if (ind < 0) ind = pop == 0 ? 1 : 0;
  if (pop < 0) pop = ind == 1 ? 0 : (ind == 0 ? 1 : 0);
  if (ind == pop || static_cast<std::size_t>(std::max(ind, pop)) >= header.fields.size())
    throw InputError(header.line, 1,
                     "the header needs an individual column and a population column "
                     "(--individual-column, --population-column)");
  std::vector<LocusColumns> loci;
  std::vector<std::size_t> rest;
  for (std::size_t c = 0; c < header.fields.size(); ++c)
    if (c != static_cast<std::size_t>(ind) && c != static_cast<std::size_t>(pop)) rest.push_back(c);
  for (std::size_t k = 0; k < rest.size(); ++k) {
    const std::string_view a = header.fields[rest[k]].text;
    if (k + 1 < rest.size() && rest[k + 1] == rest[k] + 1) {
      const std::string stem = pairStem(a, header.fields[rest[k + 1]].text);
      if (!stem.empty()) {
        loci.push_back({stem, rest[k], true});
        ++k;
        continue;
      }
    }
    loci.push_back({std::string(a), rest[k], false});
  }
  if (loci.empty()) throw InputError(header.line, 1, "the header names no locus column");

  Counter counter(loci.size());
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (row.fields.size() != header.fields.size())
      throw InputError(row.line,
                       row.fields.size() > header.fields.size()
                           ? row.fields[header.fields.size()].column
                           : row.fields.back().column,
                       std::to_string(row.fields.size()) + " cells, but the header has " +
                           std::to_string(header.fields.size()));
    const std::string p(row.fields[static_cast<std::size_t>(pop)].text);
    if (p.empty())
      throw InputError(row.line, row.fields[static_cast<std::size_t>(pop)].column,
                       "the individual has no population");
    const std::size_t at = counter.population(p);
    for (std::size_t l = 0; l < loci.size(); ++l) {
      const auto addCopy = [&](std::string_view v, const Field& f) {
        if (isTableMissing(v)) return;
        for (char ch : v)
          if (ch == '/' || isBlank(ch) || ch == '|')
            throw InputError(row.line, f.column, "allele " + quoted(v) + " is not one code");
        counter.add(at, l, v);
      };
      if (loci[l].pair) {
        addCopy(row.fields[loci[l].first].text, row.fields[loci[l].first]);
        addCopy(row.fields[loci[l].first + 1].text, row.fields[loci[l].first + 1]);
        continue;
      }
      const Field& f = row.fields[loci[l].first];
      if (isTableMissing(f.text)) continue;
      const std::size_t slash = f.text.find('/');
      if (slash == std::string_view::npos)
        throw InputError(row.line, f.column,
                         "genotype " + quoted(f.text) + " of locus " + quoted(loci[l].name) +
                             " is not two alleles written like 120/124");
      addCopy(trimmed(f.text.substr(0, slash)), f);
      addCopy(trimmed(f.text.substr(slash + 1)), f);
    }
  }
  if (counter.out.populations.empty())
    throw InputError(header.line, 1, "the table holds no individual");
  for (const LocusColumns& l : loci) counter.out.loci.push_back(l.name);
  counter.finish(options.populationNames);
  return std::move(counter.out);
}

bool looksLikeGenotypeTable(std::string_view text) {
  const char sep = guessSeparator(text);
  if (sep == 0) return false;
  const std::vector<Row> rows = splitRows(text, sep);
  if (rows.size() < 2) return false;
  if (findColumn(rows[0], "", {"population", "pop", "site", "group", "colony", "locality"}) >= 0)
    return true;
  // A value like 120/124 in the first data row.
  for (const Field& f : rows[1].fields)
    if (f.text.find('/') != std::string_view::npos) return true;
  return false;
}

// --- frequencies ---

Dataset genotypeDataset(const GenotypeCounts& counts) {
  std::vector<Block> blocks;
  ScoreStore scores;
  std::vector<std::vector<uint8_t>> hasData;
  std::vector<std::vector<int64_t>> copies(counts.populations.size(),
                                           std::vector<int64_t>(counts.loci.size(), 0));
  int32_t number = 1;
  for (std::size_t l = 0; l < counts.loci.size(); ++l) {
    Block block;
    block.id = static_cast<int32_t>(l);
    block.name = counts.loci[l];
    std::map<std::string, int32_t, AlleleLess> alleles;
    for (const auto& pop : counts.copies)
      for (const auto& entry : pop[l]) alleles.emplace(entry.first, 0);
    for (auto& [allele, n] : alleles) {
      n = number++;
      block.markers.push_back(Marker{n, Name(allele), block.id});
    }
    std::vector<uint8_t> typed(counts.populations.size(), 0);
    for (std::size_t p = 0; p < counts.populations.size(); ++p) {
      BlockTaxon column;
      column.name = counts.populations[p];
      column.first = scores.size();
      int64_t total = 0;
      for (const auto& entry : counts.copies[p][l]) total += entry.second;
      copies[p][l] = total;
      if (total > 0) {
        typed[p] = 1;
        const auto& own = counts.copies[p][l];
        for (const auto& [allele, n] : alleles) {
          const auto it = own.find(allele);
          const int64_t k = it == own.end() ? 0 : it->second;
          scores.push_back(Score{n, static_cast<double>(k) / static_cast<double>(total)});
        }
        column.count = scores.size() - column.first;
      }
      block.taxa.push_back(std::move(column));
    }
    blocks.push_back(std::move(block));
    hasData.push_back(std::move(typed));
  }
  Dataset d = mergeBlocks(std::move(blocks), std::move(scores), hasData, true);
  d.alleleCopies = std::move(copies);
  return d;
}

}  // namespace ramovia
