// Every input the program reads, told apart by content: the native table, genotype files, band
// matrices and distance matrices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/bands.h"
#include "input/distance_matrix.h"
#include "input/genotypes.h"
#include "input/table_reader.h"

namespace ramovia {

enum class InputFormat { Auto, Table, GenePop, Genotypes, Bands, PhylipMatrix, MatrixCsv };

std::optional<InputFormat> inputFormatForKeyword(std::string_view keyword);
const char* inputFormatKeyword(InputFormat f);
std::vector<std::string> inputFormatKeywords();

struct InputOptions {
  InputFormat format = InputFormat::Auto;
  char decimalSeparator = '.';
  GenotypeOptions genotypes;
  BandOptions bands;
};

// The format the content shows. A text whose first line names a taxon, and a text that fits no
// other format, is the native table: everything the native reader took before is still its.
// Throws std::runtime_error listing the formats when more than one other fits.
InputFormat detectInputFormat(std::string_view text);

struct InputReading {
  InputFormat format = InputFormat::Table;  // what was read
  TableReading table;                       // the data set (taxa only for a distance matrix)
  std::optional<DistanceInput> matrix;      // a distance matrix read as such
};

// Reads the text as the options say. The native table behaves exactly as readTable; the other
// readers throw (InputError: "LINE:COLUMN: ...") and then return nothing.
InputReading readInput(std::string_view text, const InputOptions& options);

// The native table of a data set (frequencies or presence marks), written so that it reads
// back as the same data: values with every digit, and `warnings` says what it cannot keep.
std::string nativeTableText(const Dataset& data, std::vector<std::string>& warnings);

}  // namespace ramovia
