#include "comparison_options.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "analysis/comparison_files.h"
#include "analysis/session_comparisons.h"
#include "output/display_text.h"
#include "output/ordination_view.h"

namespace ramovia::cli {

namespace {

const char* const kComparisonHelp = R"(
ORDINATION AND COMPARISONS
  The matrix is taken as distances (1 - S of similarities). --pcoa writes its principal
  coordinates (Gower centring; each axis turned so that its largest coordinate is positive),
  --pcoa-plot draws axes 1 and 2. The cophenetic correlation of the reference tree with the
  matrix is in the report and the JSON (key cophenetic_correlation {r, pairs}). --compare-matrix
  (a PHYLIP or tab-separated matrix of the same taxa, taken as it stands) or --compare-coefficient
  (the matrix of another coefficient on the same data) gives a Mantel test with --permutations
  shuffles drawn from a generator started at --seed; --compare-tree (Newick) or
  --compare-coefficient (its tree by the same method) gives the Robinson-Foulds distance, over
  clusters under upgma and splits under nj. JSON keys pcoa {eigenvalues, explained, coordinates},
  mantel {r, p, permutations}, tree_distance {rf, rf_normalised}.
)";

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw ComparisonError("Cannot open file " + path);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) throw ComparisonError("Cannot open file " + path);
  return text;
}

nlohmann::ordered_json number(double v) {
  return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr);
}

}  // namespace

void addComparisonOptions(CLI::App& app, ComparisonOptions& o) {
  app.footer(app.get_footer() + kComparisonHelp);
  std::vector<std::string> letters;
  for (const CoefficientInfo& c : allCoefficients()) letters.emplace_back(1, c.letter);
  std::sort(letters.begin(), letters.end());
  app.add_option("--pcoa", o.pcoa, "Write the principal coordinates of the matrix to FILE (.tsv)");
  app.add_option("--pcoa-plot", o.pcoaPlot, "Draw axes 1 and 2 of the principal coordinates as SVG to FILE");
  app.add_option("--distances", o.distances,
                 "Write the distances these analyse (1 - S of similarities) to FILE, PHYLIP "
                 "square form, full precision");
  app.add_option("--pcoa-axes", o.pcoaAxes, "Axes to place (default 10; 0: every positive one)")
      ->check(CLI::Range(0, 100000));
  app.add_option("--pcoa-correction", o.correction,
                 "For negative eigenvalues: none (the default), lingoes or cailliez")
      ->check(CLI::IsMember({"none", "lingoes", "cailliez"}));
  CLI::Option* matrix = app.add_option("--compare-matrix", o.compareMatrix,
                                       "Mantel test against the matrix in FILE (same taxa)");
  app.add_option("--compare-coefficient", o.compareCoefficient,
                 "Mantel test and tree distance against another coefficient on the same data")
      ->check(CLI::IsMember(letters))
      ->excludes(matrix);
  app.add_option("--compare-tree", o.compareTree, "Tree distance to the Newick tree in FILE");
  app.add_option("--permutations", o.permutations, "Mantel test permutations (default 999)")
      ->check(CLI::Range(0, 10000000));
}

ComparisonOutput runComparisons(const ComparisonOptions& o, const AnalysisView& view,
                                const std::string& table, char separator, uint32_t seed,
                                int threads) {
  const Session& session = view.session;
  ComparisonOutput out;
  std::string& text = out.text;
  {
    nlohmann::ordered_json c;
    try {
      const Correlation r = copheneticOf(session);
      c["r"] = number(r.r);
      c["pairs"] = r.pairs;
    } catch (const ComparisonError& e) {
      c["r"] = nullptr;
      const int64_t n = session.matrix() ? session.matrix()->size() : 0;
      c["pairs"] = n * (n - 1) / 2;
      c["message"] = toUtf8(e.what());
    }
    out.json["cophenetic_correlation"] = std::move(c);
  }
  const bool any = !o.distances.empty() || !o.pcoa.empty() || !o.pcoaPlot.empty() || !o.compareMatrix.empty() ||
                   !o.compareCoefficient.empty() || !o.compareTree.empty();
  if (!any) return out;
  text += "\nComparisons\nCophenetic correlation : " + toUtf8(copheneticText(view)) + "\n";
  const DistanceTable distances = matrixDistances(session);
  if (!o.distances.empty()) out.files.emplace_back(o.distances, distancesPhylip(view, distances));

  if (!o.pcoa.empty() || !o.pcoaPlot.empty()) {
    const PcoaCorrection correction = o.correction == "lingoes"    ? PcoaCorrection::Lingoes
                                      : o.correction == "cailliez" ? PcoaCorrection::Cailliez
                                                                   : PcoaCorrection::None;
    const PcoaResult r = principalCoordinates(distances, correction, o.pcoaAxes);
    if (!o.pcoa.empty()) out.files.emplace_back(o.pcoa, pcoaTsv(view, r, distances.names));
    if (!o.pcoaPlot.empty()) out.files.emplace_back(o.pcoaPlot, pcoaSvg(view, r, distances.names));
    nlohmann::ordered_json p;
    p["eigenvalues"] = r.eigenvalues;
    p["explained"] = r.explained;
    auto rows = nlohmann::ordered_json::array();
    for (const auto& row : r.coordinates) rows.push_back(row);
    p["coordinates"] = std::move(rows);
    p["correction"] = correctionKeyword(r.correction);
    p["negative_eigenvalues"] = r.negativeCount;
    out.json["pcoa"] = std::move(p);
    text += "Principal coordinates  : " + pcoaSummary(r) + "\n";
  }

  std::optional<Session> other;
  if (!o.compareCoefficient.empty()) {
    other.emplace(seed);
    other->readTable(table, separator);
    other->chooseCoefficient(*coefficientForLetter(o.compareCoefficient[0]));
    other->chooseMethod(session.method());
  }
  std::optional<DistanceTable> second;
  std::string secondName;
  if (other) {
    second = alignedTo(distances, matrixDistances(*other), "The matrix of coefficient " + o.compareCoefficient);
    secondName = "coefficient " + o.compareCoefficient;
  } else if (!o.compareMatrix.empty()) {
    second = alignedTo(distances, readDistanceFile(readFile(o.compareMatrix), separator, o.compareMatrix),
                       o.compareMatrix);
    secondName = o.compareMatrix;
  }
  if (second) {
    const MantelResult m = mantelTest(distances, *second, o.permutations, seed, threads);
    out.json["mantel"] = {{"r", number(m.r)},
                          {"p", m.permutations > 0 ? number(m.p) : nlohmann::ordered_json(nullptr)},
                          {"permutations", m.permutations},
                          {"with", toUtf8(secondName)}};
    text += "Mantel test            : " + toUtf8(secondName) + ": " + mantelText(m) + "\n";
  }

  std::optional<TreeDistance> d;
  std::string treeName;
  if (!o.compareTree.empty()) {
    d = treeDistanceTo(session, readNewickTree(readFile(o.compareTree), session.resultsData().taxa, o.compareTree));
    treeName = o.compareTree;
  } else if (other) {
    d = treeDistanceTo(session, flatten(*other->referenceTree()));
    treeName = "coefficient " + o.compareCoefficient;
  }
  if (d) {
    out.json["tree_distance"] = {{"rf", d->rf},
                                 {"rf_normalised", d->rfNormalised},
                                 {"rooted", d->rooted},
                                 {"with", toUtf8(treeName)}};
    text += "Tree distance          : " + toUtf8(treeName) + ": " + treeDistanceText(*d) + "\n";
  }
  return out;
}

}  // namespace ramovia::cli
