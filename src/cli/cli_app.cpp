#include "cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/reference_matrix.h"
#include "analysis/replicate_runner.h"
#include "analysis/session.h"
#include "cluster.h"
#include "input/table_reader.h"
#include "model/memory.h"
#include "output/display_text.h"
#include "output/exports.h"
#include "output/grids.h"
#include "output/statistics.h"
#include "output/tree_text.h"
#include "tree/splits.h"

namespace ramovia::cli {

namespace {

std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int) { g_interrupted = true; }

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
  --newick writes the reference tree (after a run with the support --support chooses: split
  under nj, clade under upgma) in Newick form: quoted names where needed, support as the inner
  node's label, branch lengths. --consensus writes the consensus of the replicates' trees
  (--consensus-type extended, majority or strict; --consensus-threshold P for majority), each
  split labelled with its share of the replicates; --replicate-trees every replicate's tree. --svg
  draws it. --matrix writes the matrix as shown, tab-separated (.tsv) or as a PHYLIP square
  distance matrix (.phy). --report writes the settings, the statistics, the tree list and the
  reference tree. Every file records the settings that produced it and is written completely
  or not at all.

OUTPUT
  The matrix, the reference tree, the list of distinct trees with their counts, the statistics
  and the reference tree with the support of each clade; with --json one JSON object with the
  keys frequency_data, coefficient, method, input_grid, taxa, matrix, reference_tree and, with
  --resampling, resampling {method, replicates, leave_out_taxa, leave_out_fragments, different,
  trees [{count, tree}], stats, reference_tree, unrooted {topologies [{count, tree}],
  topology_count, split_support, transfer_support, consensus {type, threshold, tree, splits}}}.
  Ctrl+C during a run cancels it like the "Cancel" button: the trees built so far are reported.

LONG RUNS
  --checkpoint FILE saves the run's state as it goes; the same command started again after a
  kill goes on from it and ends with the output of an uninterrupted run (a checkpoint of other
  data or settings is refused). Started by mpirun or srun, the replicates are spread over the
  processes and rank 0 writes everything, the same as one process would. --dry-run prints the
  memory, the replicates and a rough time without running.

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
  std::string support;                      // empty: the method's default
  std::string consensus, consensusType = "extended";
  double consensusThreshold = 50.0;
  std::string replicateTrees;
  std::string resample = "alleles";
  ClusterOptions cluster;
};

class Failure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The resampling run's progress: a bar on a terminal, and the points where a cancel request
// (Ctrl+C, or --cancel-at for scripted use) reaches the run.
class RunProgress : public ProgressSink {
 public:
  RunProgress(std::ostream* bar, int cancelAt) : bar_(bar), cancelAt_(cancelAt) {}
  void setRange(int minimum, int maximum) override {
    min_ = minimum;
    max_ = maximum;
  }
  void setPosition(int position) override {
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
  bool processMessages() override {
    if (g_interrupted.exchange(false) || (cancelAt_ > 0 && position_ >= cancelAt_ && !sent_)) {
      sent_ = true;
      return true;
    }
    return false;
  }
  ~RunProgress() override {
    if (bar_ && drawn_) *bar_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
  }

 private:
  std::ostream* bar_;
  int cancelAt_;
  int min_ = 0, max_ = 0, position_ = 0;
  bool drawn_ = false, sent_ = false;
};

std::string readAll(std::istream& s) {
  return std::string(std::istreambuf_iterator<char>(s), std::istreambuf_iterator<char>());
}

std::string readInput(const std::string& file, std::istream& in) {
  if (file == "-") return readAll(in);
  std::ifstream f(file, std::ios::binary);
  if (!f) throw Failure("Cannot open file " + file);
  std::string text = readAll(f);
  if (f.bad()) throw Failure("Cannot open file " + file);
  return text;
}

// The plan the options describe: the settings the chosen method leaves, then the values given.
ResamplingPlan planFor(const Options& o, Resampling method, const Dataset& data) {
  const ResamplingRules& rules = rulesOf(method);
  if (o.leaveOutFragments >= 0 && !rules.fragmentsLeftOut)
    throw Failure("--leave-out-fragments is taken only by the methods jackknife and users");
  if (o.leaveOutTaxa >= 0 && !rules.taxaLeftOut)
    throw Failure("--leave-out-taxa is taken only by the methods otu-jackknife and users");
  if (o.different && !rules.differentFragments)
    throw Failure("--different is taken only by the method users");
  if (!offeredFor(method, data.frequencies))
    throw Failure("The method users is not offered for allele-frequency data");
  ResamplingPlan plan;
  plan.method = method;
  plan.replicates = o.replicates;
  if (rules.fragmentsLeftOut && o.leaveOutFragments >= 0) plan.fragmentsLeftOut = o.leaveOutFragments;
  if (rules.taxaLeftOut && o.leaveOutTaxa >= 0) plan.taxaLeftOut = o.leaveOutTaxa;
  plan.different = rules.different.value_or(o.different);
  plan.threads = o.threads;
  plan.resampleLoci = o.resample == "loci";
  plan.keepReplicateTrees = !o.replicateTrees.empty();
  if (auto problem = taxaLeftOutProblem(plan.taxaLeftOut, data.taxonCount()); !problem.empty())
    throw Failure(problem);
  return plan;
}

nlohmann::ordered_json gridRows(int cols, int rows, auto cell) {
  auto out = nlohmann::ordered_json::array();
  for (int r = 0; r < rows; ++r) {
    auto row = nlohmann::ordered_json::array();
    for (int c = 0; c < cols; ++c) row.push_back(toUtf8(cell(c, r)));
    out.push_back(std::move(row));
  }
  return out;
}

// Display width of a UTF-8 text: one column per code point.
std::size_t width(const std::string& s) {
  std::size_t w = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++w;
  return w;
}

void printMatrix(std::ostream& out, const MatrixGrid& m) {
  std::vector<std::size_t> widths(static_cast<std::size_t>(m.colCount()), 0);
  for (int r = 0; r < m.rowCount(); ++r)
    for (int c = 0; c < m.colCount(); ++c)
      widths[static_cast<std::size_t>(c)] =
          std::max(widths[static_cast<std::size_t>(c)], width(toUtf8(m.cell(c, r))));
  for (int r = 0; r < m.rowCount(); ++r) {
    std::string line;
    for (int c = 0; c < m.colCount(); ++c) {
      const std::string cell = toUtf8(m.cell(c, r));
      const std::size_t pad = widths[static_cast<std::size_t>(c)] - width(cell);
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

std::string withoutLineBreak(std::string s) {
  while (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

// The run's trees seen unrooted: topologies, split and transfer support, the consensus.
nlohmann::ordered_json unrootedJson(const AnalysisView& view, ConsensusRule rule, double threshold) {
  const ResamplingResult& r = *view.session.lastResult();
  const Dataset& data = view.session.resultsData();
  nlohmann::ordered_json u;
  auto topologies = nlohmann::ordered_json::array();
  for (const UnrootedTopology& t : r.unrooted.topologies)
    topologies.push_back(
        {{"count", t.count},
         {"tree", toUtf8(withoutLineBreak(unrootedNewick(r.trees[t.entry].tree, data.taxa)))}});
  u["topologies"] = std::move(topologies);
  u["topology_count"] = r.unrooted.topologies.size();
  if (const Tree* reference = view.session.referenceTree()) {
    u["split_support"] = toUtf8(withoutLineBreak(
        newickText(*reference, data.taxa, true, r.unrooted.splitSupport)));
    u["transfer_support"] = toUtf8(withoutLineBreak(
        newickText(*reference, data.taxa, true, r.unrooted.transferSupport)));
  }
  if (r.unrooted.everyTaxon) {
    const SplitCounts& counts = r.unrooted.splits;
    const std::vector<int32_t> chosen = consensusSplits(counts, rule, threshold);
    nlohmann::ordered_json c;
    c["type"] = consensusKeyword(rule);
    c["threshold"] = threshold;
    c["tree"] = toUtf8(withoutLineBreak(newickText(consensusTree(counts, chosen, true), data.taxa, true)));
    auto splits = nlohmann::ordered_json::array();
    for (const int32_t k : chosen) {
      auto taxa = nlohmann::ordered_json::array();
      for (int32_t t = 0; t < counts.taxonCount(); ++t)
        if (bits::test(counts.bits(k), t)) taxa.push_back(toUtf8(data.taxa[static_cast<std::size_t>(t)].name.str()));
      splits.push_back({{"count", counts.count(k)}, {"taxa", std::move(taxa)}});
    }
    c["splits"] = std::move(splits);
    u["consensus"] = std::move(c);
  } else {
    u["consensus"] = nullptr;
  }
  return u;
}

// What a checkpoint must have been made from to be taken: the table and every setting that
// changes the replicates.
CheckpointIdentity identityOf(const Options& o, const std::string& text) {
  CheckpointIdentity id;
  id.inputDigest = digestOf(text);
  id.inputBytes = text.size();
  id.settings = {{"--coefficient", o.coefficient},
                 {"--method", o.method},
                 {"--resampling", o.resampling},
                 {"--replicates", std::to_string(o.replicates)},
                 {"--leave-out-fragments", std::to_string(o.leaveOutFragments)},
                 {"--leave-out-taxa", std::to_string(o.leaveOutTaxa)},
                 {"--different", o.different ? "on" : "off"},
                 {"--resample", o.resample},
                 {"--seed", std::to_string(o.seed)},
                 {"--decimal-separator", o.decimalSeparator},
                 {"--replicate-trees", o.replicateTrees.empty() ? "off" : "on"}};
  return id;
}

uint64_t checkpointBytesOf(const Options& o, int64_t taxa) {
  // The snapshot and its bytes, beside the list the run holds anyway.
  if (o.cluster.checkpoint.empty()) return 0;
  return 2 * checkpointBytes(taxa, o.replicates, !o.replicateTrees.empty());
}

uint64_t runBytes(const Options& o, const ResamplingPlan& plan, const Session& session, int here) {
  const Dataset& data = session.data();
  const uint64_t perProcess = resamplingBytes(data, *session.coefficient(), plan.threads);
  // The other processes of this machine hold the data and the reference matrix as well.
  const uint64_t others = referenceMatrixBytes(data, *session.coefficient()) + data.markerCount() *
      static_cast<uint64_t>(data.taxonCount()) / 8 + 4096;
  return perProcess * static_cast<uint64_t>(here) + others * static_cast<uint64_t>(here - 1) +
         checkpointBytesOf(o, data.taxonCount());
}

std::string dryRun(const Options& o, const Dataset& data, const std::string& text, Processes& procs) {
  DryRunFacts f;
  f.taxa = data.taxonCount();
  f.markers = data.markerCount();
  f.blocks = static_cast<int64_t>(data.blocks.size());
  const Coefficient c = *coefficientForLetter(o.coefficient[0]);
  const bool nj = o.method != "upgma";
  f.method = nj ? "nj" : "upgma";
  f.threads = workerThreads(o.threads);
  f.processes = procs.size();
  f.processesHere = procs.sizeOnThisMachine();
  f.tableBytes = estimateReadingMemory(text);
  f.matrixBytes = referenceMatrixBytes(data, c);
  f.available = availableMemory();
  const bool presence = familyOf(c) == CoefficientFamily::Presence;
  const double one = secondsPerReplicate(f.taxa, f.markers, presence, nj);
  // Reading (about 5 MB/s for large tables), the reference matrix and tree.
  f.seconds = static_cast<double>(text.size()) * 2e-7 + one;
  if (!o.resampling.empty()) {
    const ResamplingPlan plan = planFor(o, *resamplingForKeyword(o.resampling), data);
    f.replicates = plan.replicates;
    f.resampling = o.resampling;
    f.workerBytes = resamplingBytes(data, c, plan.threads);
    f.checkpointBytes = checkpointBytesOf(o, f.taxa);
    if (!o.cluster.checkpoint.empty()) {
      const std::string bytes = procs.share([&] { return readCheckpointFile(o.cluster.checkpoint); });
      if (!bytes.empty())
        f.alreadyTaken = decodeCheckpoint(bytes, identityOf(o, text), o.cluster.checkpoint).taken;
    }
    f.seconds += one * static_cast<double>(f.replicates - f.alreadyTaken) /
                 static_cast<double>(f.threads * f.processes);
  }
  return procs.rank() == 0 ? dryRunText(f) : std::string();
}

int execute(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
            bool progressOnTerminal) {
  const char separator = o.decimalSeparator[0];
  Session session(o.seed);
  Processes& procs = processes();
  const std::string text = procs.share([&] { return readInput(o.file, in); });
  const std::vector<std::string> warnings = session.readTable(text, separator);
  if (procs.rank() == 0)
    for (const auto& w : warnings) err << "warning: " << toUtf8(w) << "\n";
  const Dataset& data = session.data();
  if (o.cluster.dryRun) {
    out << dryRun(o, data, text, procs);
    return 0;
  }
  InputGrid input;
  input.fill(data, separator);

  const Coefficient coefficient = *coefficientForLetter(o.coefficient[0]);
  const TreeMethod method = o.method == "upgma" ? TreeMethod::Upgma : TreeMethod::NeighborJoining;
  session.chooseCoefficient(coefficient);
  session.chooseMethod(method);
  MatrixGrid matrix;
  matrix.fill(*session.matrix(), data, separator);
  const std::string matrixRunTree = referenceTreeText(*session.referenceTree(), method, data.taxa);

  std::optional<ResamplingPlan> plan;
  std::optional<RunSetup> setup;
  std::function<void()> completeRun;
  if (!o.resampling.empty()) {
    plan = planFor(o, *resamplingForKeyword(o.resampling), data);
    setup.emplace(o.cluster, identityOf(o, text), procs);
    {
      // Every process of this machine holds the data and its workers; rank 0 the checkpoint.
      std::string problem;
      try {
        requireMemory(runBytes(o, *plan, session, procs.sizeOnThisMachine()),
                      "A resampling run of " + std::to_string(procs.sizeOnThisMachine()) +
                          (procs.sizeOnThisMachine() == 1 ? " process" : " processes") +
                          " over " + std::to_string(data.taxonCount()) + " taxa");
      } catch (const std::exception& e) {
        problem = e.what();
      }
      procs.agree(problem);
    }
    RunProgress progress(progressOnTerminal && !o.json && procs.rank() == 0 ? &err : nullptr,
                         o.cancelAt);
    auto previous = std::signal(SIGINT, onInterrupt);
    g_interrupted = false;
    try {
      session.resample(*plan, &progress, setup->hooks());
    } catch (...) {
      std::signal(SIGINT, previous);
      throw;
    }
    std::signal(SIGINT, previous);
    if (!setup->collects()) return 0;
    if (!session.lastResult()->cancelled) completeRun = [&setup] { setup->complete(); };
  }
  const ResamplingResult* result = session.lastResult();

  const AnalysisView view{session, matrix,
                          o.file == "-" ? std::string("(standard input)") : o.file, separator,
                          o.support.empty() ? std::nullopt : supportForKeyword(o.support)};
  const ConsensusRule rule = *consensusForKeyword(o.consensusType);
  // Every export is composed before any is written, so a failure leaves no file of this call
  // half-done; each file is written beside its place and renamed into it.
  std::vector<std::pair<std::string, std::string>> exports;
  if (!o.newick.empty()) exports.emplace_back(o.newick, referenceTreeNewick(view));
  if (!o.svg.empty()) exports.emplace_back(o.svg, referenceTreeSvg(view));
  if (!o.matrix.empty())
    exports.emplace_back(o.matrix, matrixExport(view, *matrixFormatForPath(o.matrix)));
  if (!o.report.empty()) exports.emplace_back(o.report, reportText(view));
  if (!o.consensus.empty())
    exports.emplace_back(o.consensus, consensusNewick(view, rule, o.consensusThreshold));
  if (!o.replicateTrees.empty()) exports.emplace_back(o.replicateTrees, replicateTreesText(view));
  for (const auto& [path, content] : exports) writeFileAtomically(path, content);

  std::vector<std::string> statistics;
  std::string supportTree;
  if (result) {
    statistics = statisticsLines(*result, session.comparedTree(), data.taxa);
    supportTree = referenceTreeText(*session.referenceTree(), method, data.taxa, result->support);
  }

  if (o.json) {
    nlohmann::ordered_json j;
    j["frequency_data"] = data.frequencies;
    j["coefficient"] = o.coefficient;
    j["method"] = o.method;
    j["input_grid"] = gridRows(input.colCount(), input.rowCount(),
                               [&](int c, int r) { return input.cell(c, r); });
    auto names = nlohmann::ordered_json::array();
    for (const auto& n : matrix.names()) names.push_back(toUtf8(n));
    j["taxa"] = std::move(names);
    j["matrix"] = gridRows(matrix.colCount(), matrix.rowCount(),
                           [&](int c, int r) { return matrix.cell(c, r); });
    j["reference_tree"] = toUtf8(matrixRunTree);
    if (result) {
      nlohmann::ordered_json r;
      r["method"] = o.resampling;
      r["replicates"] = plan->replicates;
      r["leave_out_taxa"] = plan->taxaLeftOut;
      r["leave_out_fragments"] = plan->fragmentsLeftOut;
      r["different"] = plan->different;
      auto trees = nlohmann::ordered_json::array();
      for (const auto& t : result->trees.entries())
        trees.push_back({{"count", t.count}, {"tree", toUtf8(plainText(t.tree, data.taxa))}});
      r["trees"] = std::move(trees);
      auto stats = nlohmann::ordered_json::array();
      for (const auto& l : statistics) stats.push_back(toUtf8(l));
      r["stats"] = std::move(stats);
      r["reference_tree"] = toUtf8(supportTree);
      r["unrooted"] = unrootedJson(view, rule, o.consensusThreshold);
      j["resampling"] = std::move(r);
    }
    out << j.dump() << "\n";
    if (completeRun) completeRun();
    return 0;
  }

  std::ostringstream o2;
  o2 << "Matrix (" << describe(coefficient).label << ", " << methodLabel(method) << ")\n";
  printMatrix(o2, matrix);
  o2 << "\nReference tree\n" << toUtf8(matrixRunTree) << "\n";
  if (result) {
    const long long total = result->trees.total();
    o2 << "\nTrees (" << o.resampling << ", " << total << " of " << plan->replicates
       << " replicates)\n";
    for (const auto& t : result->trees.entries()) {
      const double pct = total > 0 ? 100.0 * t.count / static_cast<double>(total) : 0.0;
      o2 << std::setw(7) << t.count << "  " << std::fixed << std::setprecision(1) << std::setw(5)
         << pct << " %  " << toUtf8(plainText(t.tree, data.taxa)) << "\n";
    }
    o2 << "\nStatistics\n";
    for (const auto& l : statistics) o2 << toUtf8(l) << "\n";
    o2 << "Distinct unrooted topologies : " << result->unrooted.topologies.size() << "\n";
    o2 << "\nReference tree with support\n" << toUtf8(supportTree) << "\n";
  }
  out << o2.str();
  if (completeRun) completeRun();
  return 0;
}

// The letters in alphabetical order, as the usage message lists them.
std::vector<std::string> coefficientLetters() {
  std::vector<std::string> letters;
  for (const CoefficientInfo& c : allCoefficients()) letters.emplace_back(1, c.letter);
  std::sort(letters.begin(), letters.end());
  return letters;
}

std::vector<std::string> resamplingKeywords() {
  std::vector<std::string> keywords;
  for (const ResamplingRules& r : allResamplingMethods()) keywords.emplace_back(r.keyword);
  return keywords;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool progressOnTerminal) {
  CLI::App app{"ramovia-cli - similarity and distance trees with resampling support",
               "ramovia-cli"};
  app.footer(kHelpFooter);
  Options o;
  app.add_option("FILE", o.file, "Input table; \"-\" reads standard input")->required();
  app.add_option("-c,--coefficient", o.coefficient, "Coefficient letter")
      ->required()
      ->check(CLI::IsMember(coefficientLetters()));
  app.add_option("-m,--method", o.method, "Tree-construction method")
      ->required()
      ->check(CLI::IsMember({"upgma", "nj"}));
  CLI::Option* resampling = app.add_option("-r,--resampling", o.resampling, "Resampling method")
      ->check(CLI::IsMember(resamplingKeywords()));
  app.add_option("-n,--replicates", o.replicates,
                 "Replicates, " + std::to_string(kMinReplicates) + ".." +
                     std::to_string(kMaxReplicates) + " (default 100)")
      ->check(CLI::Range(kMinReplicates, kMaxReplicates));
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
            return matrixFormatForPath(v) ? std::string()
                                          : std::string("must end in .tsv, .phy or .phylip");
          },
          "FILE"));
  app.add_option("--report", o.report, "Write a text report of the analysis to FILE");
  app.add_option("--cancel-at", o.cancelAt,
                 "Press \"Cancel\" once replicate N is done (as Ctrl+C would)")
      ->check(CLI::PositiveNumber);
  app.add_option("--support", o.support,
                 "Support labels of --newick, --svg and --report: clade, split or transfer "
                 "(default: split under nj, clade under upgma)")
      ->check(CLI::IsMember({"clade", "split", "transfer"}))
      ->needs(resampling);
  app.add_option("--consensus", o.consensus, "Write the consensus of the replicates' trees (Newick)")
      ->needs(resampling);
  app.add_option("--consensus-type", o.consensusType,
                 "extended (majority rule, then compatible splits; the default), majority or strict")
      ->check(CLI::IsMember({"extended", "majority", "strict"}))
      ->needs(resampling);
  app.add_option("--consensus-threshold", o.consensusThreshold,
                 "Majority rule: the splits in more than P percent of the replicates (default 50)")
      ->check(CLI::Range(50.0, 100.0))
      ->needs(resampling);
  app.add_option("--replicate-trees", o.replicateTrees,
                 "Write every replicate's tree, one Newick line each, in replicate order")
      ->needs(resampling);
  addClusterOptions(app, o.cluster);
  app.add_option("--resample", o.resample,
                 "Allele frequencies: resample the alleles inside each locus (the default) or "
                 "whole loci")
      ->check(CLI::IsMember({"alleles", "loci"}))
      ->needs(resampling);

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
    const int code = execute(o, in, buffer, err, progressOnTerminal);
    out << buffer.str();
    return code;
  } catch (const std::exception& e) {
    // The other processes of a job met the same; rank 0 tells it.
    if (processes().rank() != 0) return 0;
    err << e.what() << "\n";
    return 1;
  }
}

}  // namespace ramovia::cli
