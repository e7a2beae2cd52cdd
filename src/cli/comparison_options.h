// The command line's ordination and comparisons: their options, what they compute from the
// session, and what that adds to the output.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "output/exports.h"

namespace ramovia::cli {

struct ComparisonOptions {
  std::string pcoa, pcoaPlot, distances, correction = "none";
  int pcoaAxes = 10;
  std::string compareMatrix, compareCoefficient, compareTree;
  int permutations = 999;
};

void addComparisonOptions(CLI::App& app, ComparisonOptions& o);

struct ComparisonOutput {
  std::vector<std::pair<std::string, std::string>> files;  // path, content
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  std::string text;  // a section for the plain output; empty when nothing was asked for
};

// Everything the options ask for, before anything is written; throws with a clear message when a
// requested comparison cannot be made. `table` is the input's text, read again for another
// coefficient.
ComparisonOutput runComparisons(const ComparisonOptions& o, const AnalysisView& view,
                                const std::string& table, char separator, uint32_t seed,
                                int threads);

}  // namespace ramovia::cli
