#include "input_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include "input/input_error.h"
#include "output/display_text.h"
#include "output/exports.h"
#include "output/file_writing.h"

namespace ramovia::cli {

void addInputOptions(CLI::App& app, InputCliOptions& o) {
  app.add_option("--format", o.format,
                 "What FILE holds: auto (by content, the default), table, genepop, genotypes "
                 "(STRUCTURE-style or a CSV/TSV table), bands, phylip-matrix or matrix-csv")
      ->check(CLI::IsMember(inputFormatKeywords()));
  app.add_option("--population-names", o.populationNames,
                 "Genotypes: the populations' names, comma-separated, in file order (GenePop "
                 "names each by its first individual)");
  app.add_option("--individual-column", o.individualColumn,
                 "Genotype tables: the header of the individual column");
  app.add_option("--population-column", o.populationColumn,
                 "Genotype tables: the header of the population column");
  app.add_option("--extra-columns", o.extraColumns,
                 "STRUCTURE-style files: columns between the population and the first locus")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--transpose", o.transpose, "Band matrices: individuals in columns, markers in rows");
  app.add_option("--matrix-precision", o.matrixPrecision,
                 "--matrix values: shown (as the grid shows them; the default for .tsv) or full "
                 "(every double, reads back exactly; the default for .phy)")
      ->check(CLI::IsMember({"shown", "full"}));
  app.add_option("--missing-loci", o.missingLoci,
                 "Allele frequencies, a locus missing in one taxon of a pair: blocks (each "
                 "coefficient's own rule, the default) or pairwise (only the loci typed in both, "
                 "averaged over those)")
      ->check(CLI::IsMember({"blocks", "pairwise"}));
}

InputOptions inputOptionsFrom(const InputCliOptions& o, char decimalSeparator) {
  InputOptions options;
  options.format = *inputFormatForKeyword(o.format);
  options.decimalSeparator = decimalSeparator;
  if (!o.populationNames.empty()) {
    std::string name;
    std::istringstream s(o.populationNames);
    while (std::getline(s, name, ',')) options.genotypes.populationNames.push_back(name);
  }
  options.genotypes.individualColumn = o.individualColumn;
  options.genotypes.populationColumn = o.populationColumn;
  options.genotypes.extraColumns = o.extraColumns;
  options.bands.transpose = o.transpose;
  return options;
}

std::string placedMessage(const std::string& file, const std::string& message) {
  return (file == "-" ? std::string("(standard input)") : file) + ":" + message;
}

namespace {

std::string fullNumber(double v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

std::string extensionOf(const std::string& path) {
  const auto dot = path.rfind('.');
  const auto slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

std::string matrixFile(const DistanceInput& m, bool phylip) {
  const std::size_t n = m.names.size();
  std::string out;
  if (phylip) {
    out = "    " + std::to_string(n) + "\n";
  } else {
    for (const std::string& name : m.names) out += "\t" + name;
    out += "\n";
  }
  for (std::size_t i = 0; i < n; ++i) {
    std::string name = m.names[i];
    if (phylip) {
      for (char& c : name)
        if (c == ' ' || c == '\t') c = '_';
      if (name.size() < 10) name.resize(10, ' ');
    }
    out += name;
    for (std::size_t j = 0; j < n; ++j) out += (phylip ? " " : "\t") + fullNumber(m.at(i, j));
    out += "\n";
  }
  return out;
}

}  // namespace

int runConvert(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err) {
  CLI::App app{"ramovia-cli convert - writes what a file was read as: the native table, or a "
               "distance matrix as .phy or .tsv",
               "ramovia-cli convert"};
  std::string input, output;
  InputCliOptions o;
  std::string decimalSeparator = ".";
  app.add_option("IN", input, "Input file; \"-\" reads standard input")->required();
  app.add_option("OUT", output, "Output file")->required();
  app.add_option("--decimal-separator", decimalSeparator,
                 "Decimal separator of a native table (default \".\")")
      ->check(CLI::Validator(
          [](std::string& v) {
            return v.size() == 1 ? std::string() : std::string("must be exactly one byte");
          },
          "BYTE"));
  addInputOptions(app, o);
  std::vector<std::string> rest(args.rbegin(), args.rend() - 2);
  if (const std::optional<int> code = parseArguments(app, rest, out, err)) return *code;
  try {
    const std::string outputs[] = {output};
    if (input != "-") checkOutputPaths(input, outputs);
  } catch (const ExportError& e) {
    err << e.what() << "\n";
    return 2;
  }
  try {
    std::string text;
    if (input == "-") {
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      std::ifstream f(input, std::ios::binary);
      if (!f) throw std::runtime_error("Cannot open file " + input);
      text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    InputReading reading;
    try {
      reading = readInput(text, inputOptionsFrom(o, decimalSeparator[0]));
    } catch (const InputError& e) {
      throw std::runtime_error(placedMessage(input, e.what()));
    }
    if (reading.table.error) std::rethrow_exception(reading.table.error);
    std::vector<std::string> warnings = reading.table.warnings;
    std::string content;
    const std::string ext = extensionOf(output);
    if (reading.matrix) {
      if (ext != "phy" && ext != "phylip" && ext != "tsv")
        throw std::runtime_error("A distance matrix is written as .phy, .phylip or .tsv, not " +
                                 output);
      content = matrixFile(*reading.matrix, ext != "tsv");
    } else {
      if (ext == "phy" || ext == "phylip")
        throw std::runtime_error("A data set is written as the native table; .phy takes a "
                                 "distance matrix (ramovia-cli --matrix FILE.phy computes one)");
      content = nativeTableText(reading.table.data, warnings);
    }
    for (const auto& w : warnings) err << "warning: " << toUtf8(w) << "\n";
    writeFileAtomically(output, content);
    out << "Read " << input << " as " << inputFormatKeyword(reading.format) << ": "
        << reading.table.data.taxonCount() << " taxa, " << reading.table.data.blocks.size()
        << " blocks; wrote " << output << "\n";
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 1;
  }
}

std::optional<int> parseArguments(CLI::App& app, std::vector<std::string>& reversedArgs,
                                  std::ostream& out, std::ostream& err) {
  try {
    app.parse(reversedArgs);
  } catch (const CLI::ParseError& e) {
    std::ostringstream o1, o2;
    const int code = app.exit(e, o1, o2);
    if (e.get_exit_code() == 0) {
      out << o1.str();
      return 0;
    }
    err << o2.str();
    return code == 0 ? 0 : 2;
  }
  return std::nullopt;
}

}  // namespace ramovia::cli
