#include "cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "input/text_codec.h"
#include "resampling/analysis.h"
#include "resampling/exports.h"
#include "resampling/random.h"
#include "resampling/replicate_runner.h"

namespace ramovia::cli {

namespace {

std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) { g_interrupted = true; }

const char* const kHelpFooter = R"(DESCRIPTION
  Reads a tab-separated table of taxa scored for restriction fragments, bands or allele
  frequencies (one block per enzyme or locus), computes the chosen similarity or distance
  coefficient, builds the reference tree by UPGMA or neighbor-joining and, with --resampling,
  runs that many replicates and reports how often each distinct tree recurs and the support of
  every clade of the reference tree. A call behaves like the desktop program just started with
  the given seed: the table opened, the coefficient and then the method chosen, then one press of
  "Run" with the settings of the chosen method.

COEFFICIENTS
  Presence/absence: A Nei and Li / Dice, B Jaccard, D Kulczynski 2, G Sokal and Sneath 1 /
  Anderberg, I Sokal and Sneath 3, J Ochiai, N nucleotide divergence (per block, uses the site
  length of each block header). Allele frequencies over all loci: R Nei's Ds, S Nei's Dm,
  T Latter Fst, U Reynolds, V Rogers, W Prevosti, X Cavalli-Sforza and Edwards, Y Nei Da,
  Z Sanghvi.

RESAMPLING METHODS
  bootstrap      all fragments drawn with replacement
  jackknife      --leave-out-fragments fragments fewer, drawn without replacement
  otu-jackknife  --leave-out-taxa taxa left out at random in every replicate
  rearrangement  only the order of the taxa changes
  users          any mix of the three options (not offered for allele-frequency data)

EXPORTS
  --newick writes the reference tree (with the support of each clade after a run) in Newick
  form: quoted names where needed, support as the inner node's label, branch lengths. --svg
  draws it. --matrix writes the matrix as shown, tab-separated (.tsv) or as a PHYLIP square
  distance matrix (.phy). --report writes the settings, the statistics, the tree list and the
  reference tree. Every file records the settings that produced it and is written completely
  or not at all.

OUTPUT
  The matrix, the reference tree, the list of distinct trees with their counts, the statistics
  and the reference tree with the support of each clade; with --json one JSON object with the
  keys frequency_data, coefficient, method, input_grid, taxa, matrix, reference_tree and, with
  --resampling, resampling {method, replicates, leave_out_taxa, leave_out_fragments, different,
  trees [{count, tree}], stats, reference_tree}.
  Ctrl+C during a run cancels it like the "Cancel" button: the trees built so far are reported.

EXIT STATUS
  0 success, 1 failure (message on standard error, nothing on standard output), 2 usage error.

EXAMPLE
  ramovia-cli -c A -m nj -r bootstrap -n 1000 examples/restriction.txt
)";

struct Options {
  std::string file;
  std::string coefficient;
  std::string method;
  std::string resampling;
  int replicates = 100;
  int leaveOutFragments = -1;  // -1: not given
  int leaveOutTaxa = -1;
  bool different = false;
  std::string decimalSeparator = ".";
  uint32_t seed = 0;
  bool json = false;
  int cancelAt = 0;
  int threads = 0;
  std::string newick, svg, matrix, report;  // export files; empty: none
};

class Failure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The resampling run's progress: a bar on a terminal, and the points where a cancel request
// (Ctrl+C, or --cancel-at for scripted use) reaches the run.
class RunProgress : public ProgressSink {
 public:
  RunProgress(TEnzym& enzym, std::ostream* bar, int cancelAt)
      : enzym_(enzym), bar_(bar), cancelAt_(cancelAt) {}
  void SetRange(int minimum, int maximum) override {
    min_ = minimum;
    max_ = maximum;
  }
  void SetPosition(int position) override {
    position_ = position;
    if (bar_ && max_ > min_) {
      const int width = 40;
      const int filled = std::clamp((position - min_) * width / (max_ - min_), 0, width);
      *bar_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(width - filled), ' ') << "] " << position
            << "/" << max_ << std::flush;
      drawn_ = true;
    }
  }
  void ProcessMessages() override {
    if (g_interrupted.exchange(false) || (cancelAt_ > 0 && position_ >= cancelAt_ && !sent_)) {
      sent_ = true;
      enzym_.BreakRandomTrees();
    }
  }
  ~RunProgress() override {
    if (bar_ && drawn_) *bar_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
  }

 private:
  TEnzym& enzym_;
  std::ostream* bar_;
  int cancelAt_;
  int min_ = 0, max_ = 0, position_ = 0;
  bool drawn_ = false, sent_ = false;
};

std::string ReadAll(std::istream& s) {
  return std::string(std::istreambuf_iterator<char>(s), std::istreambuf_iterator<char>());
}

std::string ReadInput(const std::string& file, std::istream& in) {
  if (file == "-") return ReadAll(in);
  std::ifstream f(file, std::ios::binary);
  if (!f) throw Failure("Cannot open file " + file);
  std::string text = ReadAll(f);
  if (f.bad()) throw Failure("Cannot open file " + file);
  return text;
}

int MethodIndex(const std::string& name) {
  static const char* const names[] = {"bootstrap", "jackknife", "otu-jackknife", "rearrangement",
                                      "users"};
  for (int i = 0; i < 5; ++i)
    if (name == names[i]) return i;
  return -1;
}

// Sets the controls of the page as the chosen method leaves them, then the values given.
void ApplyResamplingOptions(Analysis& a, const Options& o, int method) {
  const bool takesFragments = method == 1 || method == 4;
  const bool takesTaxa = method == 2 || method == 4;
  if (o.leaveOutFragments >= 0 && !takesFragments)
    throw Failure("--leave-out-fragments is taken only by the methods jackknife and users");
  if (o.leaveOutTaxa >= 0 && !takesTaxa)
    throw Failure("--leave-out-taxa is taken only by the methods otu-jackknife and users");
  if (o.different && method != 4) throw Failure("--different is taken only by the method users");
  if (method == 4 && a.Methods.size() < 5)
    throw Failure("The method users is not offered for allele-frequency data");
  a.ChooseResamplingMethod(method);
  a.RepeatCount = o.replicates;
  if (takesFragments && o.leaveOutFragments >= 0) a.FragmentsLeftOut = o.leaveOutFragments;
  if (takesTaxa && o.leaveOutTaxa >= 0) a.TaxaLeftOut = o.leaveOutTaxa;
  if (method == 4) a.Different = o.different;
  const int taxa = static_cast<int>(a.Enzym->Druhy.size());
  if (a.TaxaLeftOut != 0 && a.TaxaLeftOut >= taxa)
    throw Failure("Cannot leave out " + std::to_string(a.TaxaLeftOut) + " taxa: the table has " +
                  std::to_string(taxa) + (taxa == 1 ? " taxon" : " taxa"));
}

nlohmann::ordered_json GridRows(int cols, int rows, auto cell) {
  auto out = nlohmann::ordered_json::array();
  for (int r = 0; r < rows; ++r) {
    auto row = nlohmann::ordered_json::array();
    for (int c = 0; c < cols; ++c) row.push_back(ToUtf8(cell(c, r)));
    out.push_back(std::move(row));
  }
  return out;
}

// Display width of a UTF-8 text: one column per code point.
std::size_t Width(const std::string& s) {
  std::size_t w = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++w;
  return w;
}

void PrintMatrix(std::ostream& out, const MatrixGrid& m) {
  std::vector<std::size_t> widths(static_cast<std::size_t>(m.ColCount()), 0);
  for (int r = 0; r < m.RowCount(); ++r)
    for (int c = 0; c < m.ColCount(); ++c)
      widths[static_cast<std::size_t>(c)] =
          std::max(widths[static_cast<std::size_t>(c)], Width(ToUtf8(m.Cell(c, r))));
  for (int r = 0; r < m.RowCount(); ++r) {
    std::string line;
    for (int c = 0; c < m.ColCount(); ++c) {
      const std::string cell = ToUtf8(m.Cell(c, r));
      const std::size_t pad = widths[static_cast<std::size_t>(c)] - Width(cell);
      if (c == 0) {
        line += cell + std::string(pad, ' ');
      } else {
        line += "  " + std::string(pad, ' ') + cell;
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
}

int Execute(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
            bool progressOnTerminal) {
  SetRandomSeed(o.seed);
  SetReplicateThreads(o.threads);
  const std::string text = ReadInput(o.file, in);
  Analysis a(o.decimalSeparator[0]);
  a.Caption = o.file;
  a.SourceName = o.file == "-" ? std::string("(standard input)") : o.file;
  const bool frequency = Analysis::IsFreq(text, a.DecimalSeparator) != 0;
  a.GetFromText(text);
  for (const auto& w : a.Warnings) err << "warning: " << ToUtf8(w) << "\n";

  std::string item;
  for (const auto& i : Analysis::CoefficientItems())
    if (i[0] == o.coefficient[0]) item = i;
  a.ChooseCoefficient(item);
  a.ChooseMethod(o.method == "upgma" ? ettUPGMA : ettNbJoin);
  const std::string matrixRunTree = a.Enzym->RefTreeText;
  const std::vector<std::string> taxa = a.Matrix.Names();

  int method = -1;
  if (!o.resampling.empty()) {
    method = MethodIndex(o.resampling);
    ApplyResamplingOptions(a, o, method);
    RunProgress progress(*a.Enzym, progressOnTerminal && !o.json ? &err : nullptr, o.cancelAt);
    auto previous = std::signal(SIGINT, OnInterrupt);
    g_interrupted = false;
    try {
      a.Run(&progress);
    } catch (...) {
      std::signal(SIGINT, previous);
      throw;
    }
    std::signal(SIGINT, previous);
  }

  // Every export is composed before any is written, so a failure leaves no file of this call
  // half-done; each file is written beside its place and renamed into it.
  std::vector<std::pair<std::string, std::string>> exports;
  if (!o.newick.empty()) exports.emplace_back(o.newick, ReferenceTreeNewick(a));
  if (!o.svg.empty()) exports.emplace_back(o.svg, ReferenceTreeSvg(a));
  if (!o.matrix.empty())
    exports.emplace_back(o.matrix, MatrixExport(a, *MatrixFormatForPath(o.matrix)));
  if (!o.report.empty()) exports.emplace_back(o.report, ReportText(a));
  for (const auto& [path, content] : exports) WriteFileAtomically(path, content);

  if (o.json) {
    nlohmann::ordered_json j;
    j["frequency_data"] = frequency;
    j["coefficient"] = o.coefficient;
    j["method"] = o.method;
    j["input_grid"] = GridRows(a.Input.ColCount(), a.Input.RowCount(),
                               [&](int c, int r) { return a.Input.Cell(c, r); });
    auto names = nlohmann::ordered_json::array();
    for (const auto& n : taxa) names.push_back(ToUtf8(n));
    j["taxa"] = std::move(names);
    j["matrix"] = GridRows(a.Matrix.ColCount(), a.Matrix.RowCount(),
                           [&](int c, int r) { return a.Matrix.Cell(c, r); });
    j["reference_tree"] = ToUtf8(matrixRunTree);
    if (method >= 0) {
      nlohmann::ordered_json r;
      r["method"] = o.resampling;
      r["replicates"] = a.RepeatCount;
      r["leave_out_taxa"] = a.TaxaLeftOut;
      r["leave_out_fragments"] = a.FragmentsLeftOut;
      r["different"] = a.Different;
      auto trees = nlohmann::ordered_json::array();
      for (const auto& t : a.Enzym->TreeList)
        trees.push_back({{"count", t->Num}, {"tree", ToUtf8(t->GetDesc())}});
      r["trees"] = std::move(trees);
      auto stats = nlohmann::ordered_json::array();
      for (const auto& l : a.MemoLines) stats.push_back(ToUtf8(l));
      r["stats"] = std::move(stats);
      r["reference_tree"] = ToUtf8(a.Enzym->RefTreeText);
      j["resampling"] = std::move(r);
    }
    out << j.dump() << "\n";
    return 0;
  }

  std::ostringstream o2;
  o2 << "Matrix (" << item << ", " << (o.method == "upgma" ? "UPGMA" : "Neighbor-joining")
     << ")\n";
  PrintMatrix(o2, a.Matrix);
  o2 << "\nReference tree\n" << ToUtf8(matrixRunTree) << "\n";
  if (method >= 0) {
    long long total = 0;
    for (const auto& t : a.Enzym->TreeList) total += t->Num;
    o2 << "\nTrees (" << o.resampling << ", " << total << " of " << a.RepeatCount
       << " replicates)\n";
    for (const auto& t : a.Enzym->TreeList) {
      const double pct = total > 0 ? 100.0 * t->Num / static_cast<double>(total) : 0.0;
      o2 << std::setw(7) << t->Num << "  " << std::fixed << std::setprecision(1) << std::setw(5)
         << pct << " %  " << ToUtf8(t->GetDesc()) << "\n";
    }
    o2 << "\nStatistics\n";
    for (const auto& l : a.MemoLines) o2 << ToUtf8(l) << "\n";
    o2 << "\nReference tree with support\n" << ToUtf8(a.Enzym->RefTreeText) << "\n";
  }
  out << o2.str();
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool progressOnTerminal) {
  CLI::App app{"ramovia-cli - similarity and distance trees with resampling support",
               "ramovia-cli"};
  app.footer(kHelpFooter);
  Options o;
  app.add_option("FILE", o.file, "Input table; \"-\" reads standard input")->required();
  app.add_option("-c,--coefficient", o.coefficient, "Coefficient letter")
      ->required()
      ->check(CLI::IsMember({"A", "B", "D", "G", "I", "J", "N", "R", "S", "T", "U", "V", "W", "X",
                             "Y", "Z"}));
  app.add_option("-m,--method", o.method, "Tree-construction method")
      ->required()
      ->check(CLI::IsMember({"upgma", "nj"}));
  app.add_option("-r,--resampling", o.resampling, "Resampling method")
      ->check(CLI::IsMember({"bootstrap", "jackknife", "otu-jackknife", "rearrangement", "users"}));
  app.add_option("-n,--replicates", o.replicates, "Replicates, 1..10000 (default 100)")
      ->check(CLI::Range(1, 10000));
  app.add_option("--leave-out-fragments", o.leaveOutFragments,
                 "Fragments to leave out (jackknife, users)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--leave-out-taxa", o.leaveOutTaxa, "Taxa to leave out (otu-jackknife, users)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--different", o.different, "Draw fragments without replacement (users)");
  app.add_option("--decimal-separator", o.decimalSeparator,
                 "Decimal separator of the table and the matrix (default \".\")")
      ->check(CLI::Validator(
          [](std::string& v) {
            return v.size() == 1 ? std::string() : std::string("must be exactly one byte");
          },
          "BYTE"));
  app.add_option("--seed", o.seed, "Starting seed of the generator (default 0)");
  app.add_flag("--json", o.json, "Machine-readable output");
  app.add_option("--threads", o.threads,
                 "Worker threads for the replicates (default: all cores); results do not depend "
                 "on it")
      ->check(CLI::Range(1, 256));
  app.add_option("--newick", o.newick, "Write the reference tree as Newick to FILE");
  app.add_option("--svg", o.svg, "Write the drawn reference tree as SVG to FILE");
  app.add_option("--matrix", o.matrix, "Write the matrix to FILE (.tsv or .phy)")
      ->check(CLI::Validator(
          [](std::string& v) {
            return MatrixFormatForPath(v) ? std::string()
                                          : std::string("must end in .tsv, .phy or .phylip");
          },
          "FILE"));
  app.add_option("--report", o.report, "Write a text report of the analysis to FILE");
  app.add_option("--cancel-at", o.cancelAt,
                 "Press \"Cancel\" once replicate N is done (as Ctrl+C would)")
      ->check(CLI::PositiveNumber);

  std::vector<std::string> rest(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
  try {
    app.parse(rest);
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
  try {
    std::ostringstream buffer;
    const int code = Execute(o, in, buffer, err, progressOnTerminal);
    out << buffer.str();
    return code;
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 1;
  }
}

}  // namespace ramovia::cli
