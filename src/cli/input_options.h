// The command line's options for what it reads: the format and the readers' choices; and the
// `convert` subcommand, which writes what was read as the native table or a matrix file.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "input/input_format.h"

namespace CLI {
class App;
}

namespace ramovia::cli {

struct InputCliOptions {
  std::string format = "auto";
  std::string populationNames;  // comma-separated
  std::string individualColumn, populationColumn;
  int extraColumns = -1;
  bool transpose = false;
  // What is written and computed from it (kept here to keep the shared option block short).
  std::string matrixPrecision;  // empty: the format's default
  std::string missingLoci = "blocks";
};

void addInputOptions(CLI::App& app, InputCliOptions& o);
InputOptions inputOptionsFrom(const InputCliOptions& o, char decimalSeparator);

// "FILE:" in front of a reader's "LINE:COLUMN: ..." message.
std::string placedMessage(const std::string& file, const std::string& message);

// `ramovia-cli convert IN OUT [options]`; args[0] is the program, args[1] "convert".
// Parses the arguments (last first, as CLI11 takes them); on --help or a usage error writes
// CLI11's text and gives the exit code.
std::optional<int> parseArguments(CLI::App& app, std::vector<std::string>& reversedArgs,
                                  std::ostream& out, std::ostream& err);

int runConvert(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace ramovia::cli
