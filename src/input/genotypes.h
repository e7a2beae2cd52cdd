// Individual genotypes (GenePop, STRUCTURE-style and spreadsheet tables) counted into
// population allele frequencies: populations become taxa, loci blocks, alleles markers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/dataset.h"

namespace ramovia {

struct GenotypeOptions {
  std::vector<std::string> populationNames;  // in place of the names the file gives
  std::string individualColumn;              // tables: header of the individual column
  std::string populationColumn;              // tables: header of the population column
  int extraColumns = -1;  // STRUCTURE: columns between the population and the loci; -1 guess
};

// Alleles sort by number when both are whole numbers, else as text.
struct AlleleLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct GenotypeCounts {
  std::vector<std::string> loci;
  std::vector<std::string> populations;  // distinct after the 20-byte cut
  // copies[p][l]: allele -> typed copies of it in population p at locus l
  std::vector<std::vector<std::map<std::string, int64_t, AlleleLess>>> copies;
  std::vector<std::string> warnings;
};

// Each throws InputError at the first place that is wrong; nothing is returned then.
GenotypeCounts readGenePop(std::string_view text, const GenotypeOptions& options = {});
GenotypeCounts readStructure(std::string_view text, const GenotypeOptions& options = {});
GenotypeCounts readGenotypeTable(std::string_view text, const GenotypeOptions& options = {});

// Frequencies over the typed copies; a population with none at a locus has no data there.
Dataset genotypeDataset(const GenotypeCounts& counts);

// Whether the text has the shape of each (for telling formats apart; the readers judge it).
bool looksLikeGenePop(std::string_view text);
bool looksLikeStructure(std::string_view text);
bool looksLikeGenotypeTable(std::string_view text);

}  // namespace ramovia
