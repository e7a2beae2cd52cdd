#include "cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <new>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/checkpoint.h"
#include "analysis/reference_matrix.h"
#include "analysis/replicate_runner.h"
#include "analysis/session.h"
#include "cluster.h"
#include "comparison_options.h"
#include "input/input_error.h"
#include "input/table_checks.h"
#include "input/table_reader.h"
#include "input/table_text.h"
#include "input_options.h"
#include "model/memory.h"
#include "output/display_text.h"
#include "output/exports.h"
#include "output/file_writing.h"
#include "output/grids.h"
#include "output/statistics.h"
#include "output/tree_text.h"
#include "tree/splits.h"

namespace ramovia::cli {

namespace {

std::atomic<bool> g_interrupted{false};
// Set by either signal and kept: the matrix or tree being built ends at its next row or join.
std::atomic<bool> g_stop{false};
extern "C" void onInterrupt(int) {
  g_interrupted = true;
  g_stop = true;
}
// SIGTERM cancels the run as Ctrl+C does; the call then ends with 143 once its outputs are out.
std::atomic<bool> g_terminated{false};
// With --checkpoint the next replicate taken saves before the run stops, so it can resume.
extern "C" void onTerminate(int) {
  g_terminated = true;
  g_stop = true;
  requestCheckpoint();
}
std::function<void()> g_terminationHook;

// Holds a signal's handler for as long as the object lives.
class SignalHandler {
 public:
  SignalHandler(int signal, void (*handler)(int)) : signal_(signal) {
    previous_ = std::signal(signal, handler);
  }
  ~SignalHandler() { std::signal(signal_, previous_); }
  SignalHandler(const SignalHandler&) = delete;
  SignalHandler& operator=(const SignalHandler&) = delete;

 private:
  int signal_;
  void (*previous_)(int);
};

const char* const kHelpFooter = R"(DESCRIPTION
  Reads a tab-separated table of taxa scored for restriction fragments, bands or allele
  frequencies (one block per enzyme or locus), computes the chosen similarity or distance
  coefficient, builds the reference tree by UPGMA or neighbor-joining and, with --resampling,
  runs that many replicates and reports how often each distinct tree recurs and the support of
  every clade of the reference tree. A call behaves like the desktop program just started with
  the given seed: the table opened, the coefficient and then the method chosen, then one press of
  "Run" with the settings of the chosen method.

INPUT
  FILE is read by content (--format auto): the native table, GenePop, STRUCTURE-style and CSV/TSV
  genotype tables, band matrices, PHYLIP or CSV distance matrices; errors say FILE:LINE:COLUMN.
  A distance matrix goes straight to the tree (no --coefficient, no resampling). "ramovia-cli
  convert IN OUT" writes what IN was read as: the native table, or the matrix as .phy or .tsv.

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
  draws it. --matrix writes the matrix, tab-separated as shown (.tsv) or as a PHYLIP square
  distance matrix with every digit (.phy); --matrix-precision shown|full chooses. --report writes the settings, the statistics, the tree list and the
  reference tree. Every file records the settings that produced it and is written completely
  or not at all.

OUTPUT
  The matrix, the reference tree, the list of distinct trees with their counts, the statistics
  and the reference tree with the support of each clade; with --json one JSON object with the
  keys frequency_data, coefficient, method, input_grid, taxa, matrix, reference_tree and, with
  --resampling, resampling {method, replicates, built, leave_out_taxa, leave_out_fragments,
  different, trees [{count, tree}], stats, reference_tree, unrooted {topologies [{count, tree}],
  topology_count, split_support, transfer_support, consensus {type, threshold, tree, splits}}}.
  Ctrl+C during a run cancels it like the "Cancel" button: the trees built so far are reported
  (resampling.built counts them). SIGTERM does the same, and the call then ends with 143.

LONG RUNS
  --checkpoint FILE saves the run's state as it goes; the same command started again after a
  kill goes on from it and ends with the output of an uninterrupted run (a checkpoint of other
  data or settings is refused). Started by mpirun or srun, the replicates are spread over the
  processes and rank 0 writes everything, the same as one process would. --dry-run prints the
  memory, the replicates and a rough time without running.

EXIT STATUS
  0 success, 1 failure (message on standard error, nothing on standard output), 2 usage error,
  143 ended by SIGTERM (after writing what the cancelled run gave).

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
  ComparisonOptions comparisons;
  InputCliOptions input;
  ClusterOptions cluster;
};

// A usage error found after parsing, worded as the parser words its own.
class UsageError : public std::runtime_error {
  using std::runtime_error::runtime_error;
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
    if (g_interrupted.exchange(false) || (g_terminated && !sent_) ||
        (cancelAt_ > 0 && position_ >= cancelAt_ && !sent_)) {
      sent_ = true;
      return true;
    }
    return false;
  }
  bool stopRequested() override { return g_interrupted || g_terminated; }
  const std::atomic<bool>* stopFlag() override { return &g_stop; }
  ~RunProgress() override {
    if (bar_ && drawn_) *bar_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
  }

 private:
  std::ostream* bar_;
  int cancelAt_;
  int min_ = 0, max_ = 0, position_ = 0;
  bool drawn_ = false, sent_ = false;
};


void warn(std::ostream& err, const std::string& text) {
  err << "warning: " << replaceControls(toUtf8(text), '?', false) << "\n";
}

std::string readInput(const std::string& file, std::istream& in, std::ostream& err) {
  if (file == "-") return readTableText(in);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    warn(err, file + " is a folder, not a table file.");
    throw Failure("Cannot open file " + file);
  }
  std::ifstream f(file, std::ios::binary);
  if (!f) throw Failure("Cannot open file " + file);
  const auto size = std::filesystem::is_regular_file(file, ec) ? std::filesystem::file_size(file, ec) : 0;
  std::string text = readTableText(f, ec ? 0 : size);
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
  if (!plan.resampleLoci)
    if (auto problem = fragmentsLeftOutProblem(plan.fragmentsLeftOut, data.markerCount());
        !problem.empty())
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

// The step a call is at and the memory it was estimated to need, for the message when memory
// still runs out.
struct Step {
  std::string what;
  uint64_t need = 0;
};

// The peak memory of a call on one process, the one model the dry run prints and the checks
// before the matrix and the run refuse by. Fitted to the resident peaks scripts/bench-memory
// measures (1000 to 8000 taxa), with 10 % of margin:
//   program = 1.1 × (14 MB, + 8 MB with a run), mostly held already when the checks are made
//   results = 1.1 × (cells × (43, or 111 with --json) + with --json 80 per input grid cell)
//             + other block matrices
//   run     = 1.1 × cells × (4 per worker thread, + 52 with --json) + replicate trees
//   reading = the table reader's own estimate; checkpoint = snapshot and its bytes
// where cells = (taxa + 1)²: the reference matrix, its grid of texts, the report composed and,
// with --json, the document and its dump; a run's workers hold their replicate matrices beside
// them, and the texts of a run's summaries are composed while the document is.
struct MemoryEstimate {
  uint64_t program = 0, reading = 0, results = 0, run = 0, checkpoint = 0;
  uint64_t total(int processesHere = 1) const {
    return (program + reading + results + run) * static_cast<uint64_t>(processesHere) + checkpoint;
  }
};

uint64_t withMargin(double bytes) { return static_cast<uint64_t>(bytes * 1.1); }

uint64_t checkpointBytesOf(const Options& o, int64_t taxa);

MemoryEstimate estimateMemory(const Options& o, const Dataset& data, Coefficient c,
                              const std::string& text, const ResamplingPlan* plan) {
  const auto n = static_cast<double>(data.taxonCount());
  const double cells = (n + 1) * (n + 1);
  MemoryEstimate e;
  e.reading = estimateReadingMemory(text);
  // The divergence family's block matrices come beside the merged one.
  const uint64_t blocks =
      referenceMatrixBytes(data, c) - matrixBytes(static_cast<uint64_t>(data.taxonCount()));
  e.program = withMargin((plan ? 22.0 : 14.0) * 1024 * 1024);
  const double grid = n * static_cast<double>(data.markerCount() + static_cast<int64_t>(data.blocks.size()));
  e.results = withMargin(cells * (o.json ? 111 : 43) + (o.json ? 80 * grid : 0)) + blocks;
  if (plan) {
    const double perCell = 4.0 * workerThreads(plan->threads) + (o.json ? 52 : 0);
    const uint64_t trees = static_cast<uint64_t>(plan->replicates) * (plan->keepReplicateTrees ? 2 : 1);
    e.run = withMargin(cells * perCell) + trees * 2 * (static_cast<uint64_t>(n) + 1) * 48;
    e.checkpoint = checkpointBytesOf(o, data.taxonCount());
  }
  return e;
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
  std::optional<ResamplingPlan> plan;
  if (!o.resampling.empty()) plan = planFor(o, *resamplingForKeyword(o.resampling), data);
  const MemoryEstimate memory = estimateMemory(o, data, c, text, plan ? &*plan : nullptr);
  f.tableBytes = memory.program + memory.reading;
  f.matrixBytes = memory.results;
  f.workerBytes = memory.run;
  f.checkpointBytes = memory.checkpoint;
  f.available = availableMemory();
  const bool presence = familyOf(c) == CoefficientFamily::Presence;
  const double one = secondsPerReplicate(f.taxa, f.markers, presence, nj);
  // Reading (about 40 MB/s for large tables), the reference matrix and tree.
  f.seconds = static_cast<double>(text.size()) * 2.5e-8 + one;
  if (plan) {
    f.replicates = plan->replicates;
    f.resampling = o.resampling;
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

int execute(const Options& o, std::istream& in, std::ostream& out, std::ostream& errAll,
            bool progressOnTerminal, Step& step) {
  const char separator = o.decimalSeparator[0];
  Session session(o.seed);
  Processes& procs = processes();
  // The other processes of a job read and meet the same: rank 0 alone tells it.
  std::ostream nowhere(nullptr);
  std::ostream& err = procs.rank() == 0 ? errAll : nowhere;
  step = {"read the table", 0};
  const std::string text = procs.share([&] { return readInput(o.file, in, err); });
  step.need = estimateReadingMemory(text);
  if (const std::string hint = unreadableTextHint(text); !hint.empty()) warn(err, hint);
  std::vector<std::string> warnings;
  try {
    warnings = session.readInput(text, inputOptionsFrom(o.input, separator));
  } catch (const InputError& e) {
    throw Failure(placedMessage(o.file, e.what()));
  }
  if (o.coefficient.empty() && !session.hasGivenMatrix())
    throw UsageError("--coefficient is required");
  if (!o.coefficient.empty() && session.hasGivenMatrix())
    warnings.emplace_back("--coefficient is not used: the distances were read from the file.");
  if (o.input.missingLoci == "pairwise") {
    session.setPairwiseMissingLoci(true);
    if (const std::string w = missingLociWarning(session.data()); !w.empty()) warnings.push_back(w);
  }
  for (const auto& w : warnings) warn(err, w);
  const Dataset& data = session.data();
  if (o.cluster.dryRun) {
    if (session.hasGivenMatrix())
      throw Failure("--dry-run estimates the runs of a data table; this file holds distances.");
    out << dryRun(o, data, text, procs);
    return 0;
  }
  InputGrid input;
  input.fill(data, separator);

  const TreeMethod method = o.method == "upgma" ? TreeMethod::Upgma : TreeMethod::NeighborJoining;
  const auto taxa = static_cast<uint64_t>(data.taxonCount());
  const int here = procs.sizeOnThisMachine();
  std::optional<ResamplingPlan> plan;
  MemoryEstimate memory;
  if (!session.hasGivenMatrix()) {
    const Coefficient coefficient = *coefficientForLetter(o.coefficient[0]);
    if (const std::string w = coefficientKindWarning(coefficient, data.frequencies); !w.empty())
      warn(err, w);
    if (!o.resampling.empty()) plan = planFor(o, *resamplingForKeyword(o.resampling), data);
    memory = estimateMemory(o, data, coefficient, text, plan ? &*plan : nullptr);
    // The table is read already; everything else of the call is still to come.
    step = {"compute the matrix of " + std::to_string(taxa) + " taxa", memory.total(here) - memory.program - memory.reading};
    requireMemory(step.need, "The matrix of " + std::to_string(taxa) + " taxa and its texts" +
                                 (plan ? " with the run" : ""));
    session.chooseCoefficient(coefficient);
  }
  StopWatch watch(&g_stop);
  session.chooseMethod(method, &watch);
  MatrixGrid matrix;
  matrix.fill(session.sharedMatrix(), data, separator);
  const std::string matrixRunTree = referenceTreeText(*session.referenceTree(), method, data.taxa);

  std::optional<RunSetup> setup;
  std::function<void()> completeRun;
  if (!o.resampling.empty()) {
    if (!plan) plan = planFor(o, *resamplingForKeyword(o.resampling), data);
    setup.emplace(o.cluster, identityOf(o, text), procs);
    {
      // Every process of this machine holds the data and its workers; rank 0 the checkpoint.
      std::string problem;
      try {
        requireMemory(memory.run * static_cast<uint64_t>(here) +
                          memory.results * static_cast<uint64_t>(here - 1) + memory.checkpoint,
                      "A resampling run of " + std::to_string(here) +
                          (here == 1 ? " process" : " processes") +
                          " over " + std::to_string(data.taxonCount()) + " taxa");
      } catch (const std::exception& e) {
        problem = e.what();
      }
      procs.agree(problem);
    }
    step = {"run " + std::to_string(plan->replicates) + " replicates", step.need};
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
  if (g_terminated && g_terminationHook) g_terminationHook();
  const ResamplingResult* result = session.lastResult();
  step.what = "write the results";

  const AnalysisView view{session, matrix,
                          o.file == "-" ? std::string("(standard input)") : o.file, separator,
                          o.support.empty() ? std::nullopt : supportForKeyword(o.support)};
  const ConsensusRule rule = *consensusForKeyword(o.consensusType);
  // Every export is composed before any is written, and all are written together: a failure
  // leaves no file of this call half-done or replaced.
  std::vector<FileToWrite> exports;
  if (!o.newick.empty()) exports.push_back({o.newick, referenceTreeNewick(view)});
  if (!o.svg.empty()) exports.push_back({o.svg, referenceTreeSvg(view)});
  if (!o.matrix.empty())
    exports.push_back({o.matrix, matrixExport(view, *matrixFormatForPath(o.matrix),
                                  matrixPrecisionForKeyword(o.input.matrixPrecision))});
  if (!o.report.empty()) exports.push_back({o.report, reportText(view)});
  if (!o.consensus.empty())
    exports.push_back({o.consensus, consensusNewick(view, rule, o.consensusThreshold)});
  if (!o.replicateTrees.empty()) exports.push_back({o.replicateTrees, replicateTreesText(view)});
  ComparisonOutput compared =
      runComparisons(o.comparisons, view, text, separator, o.seed, o.threads);
  for (auto& [path, content] : compared.files) exports.push_back({path, std::move(content)});
  writeFilesTogether(exports);

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
      r["built"] = result->built;
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
    for (auto& [key, value] : compared.json.items()) j[key] = std::move(value);
    out << j.dump() << "\n";
    if (completeRun) completeRun();
    return 0;
  }

  std::ostringstream o2;
  o2 << "Matrix ("
     << (session.hasGivenMatrix() ? std::string("distances read from the file")
                                  : std::string(describe(*session.coefficient()).label))
     << ", " << methodLabel(method) << ")\n";
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
  o2 << compared.text;
  out << replaceControls(std::move(o2).str(), '?');
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

void setTerminationHook(std::function<void()> hook) { g_terminationHook = std::move(hook); }

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize FdOutputBuffer::xsputn(const char* s, std::streamsize n) {
  if (error_ != 0) return 0;
  std::streamsize done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd_, s + done, static_cast<std::size_t>(n - done));
    if (w < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    done += w;
  }
  return done;
}

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool progressOnTerminal) {
  CLI::App app{"ramovia-cli - similarity and distance trees with resampling support",
               "ramovia-cli"};
  app.footer(kHelpFooter);
  Options o;
  app.add_option("FILE", o.file, "Input table; \"-\" reads standard input")->required();
  app.add_option("-c,--coefficient", o.coefficient,
                 "Coefficient letter (required unless FILE is a distance matrix)")
      ->check(CLI::IsMember(coefficientLetters()));
  app.add_option("-m,--method", o.method, "Tree-construction method")
      ->required()
      ->check(CLI::IsMember({"upgma", "nj"}));
  CLI::Option* resampling = app.add_option("-r,--resampling", o.resampling, "Resampling method")
      ->check(CLI::IsMember(resamplingKeywords()));
  app.add_option("-n,--replicates", o.replicates,
                 "Replicates, " + std::to_string(kMinReplicates) + ".." +
                     std::to_string(kMaxReplicates) + " (default 100)")
      ->check(CLI::Range(kMinReplicates, kMaxReplicates))
      ->needs(resampling);
  app.add_option("--leave-out-fragments", o.leaveOutFragments,
                 "Fragments to leave out (jackknife, users)")
      ->check(CLI::Range(0, std::numeric_limits<int>::max()))
      ->needs(resampling);
  app.add_option("--leave-out-taxa", o.leaveOutTaxa, "Taxa to leave out (otu-jackknife, users)")
      ->check(CLI::Range(0, std::numeric_limits<int>::max()))
      ->needs(resampling);
  app.add_flag("--different", o.different, "Draw fragments without replacement (users)")
      ->needs(resampling);
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
      ->check(CLI::Range(1, std::numeric_limits<int>::max()))
      ->needs(resampling);
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

  addComparisonOptions(app, o.comparisons);
  addInputOptions(app, o.input);

  if (args.size() >= 2 && args[1] == "convert") return runConvert(args, in, out, err);
  std::vector<std::string> rest(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
  if (const std::optional<int> code = parseArguments(app, rest, out, err)) return *code;
  try {
    std::vector<std::string> outputs;
    for (const std::string* p : {&o.newick, &o.svg, &o.matrix, &o.report, &o.consensus,
                                 &o.replicateTrees, &o.comparisons.pcoa, &o.comparisons.pcoaPlot,
                                 &o.comparisons.distances})
      if (!p->empty()) outputs.push_back(*p);
    checkOutputPaths(o.file, outputs);
  } catch (const ExportError& e) {
    err << e.what() << "\n";
    return 2;
  }
  Step step;
  try {
    std::ostringstream buffer;
    g_terminated = false;
    g_stop = false;
    const SignalHandler terminate(SIGTERM, onTerminate);
    int code = execute(o, in, buffer, err, progressOnTerminal, step);
    if (g_terminated && code == 0) code = 143;
    out << buffer.view() << std::flush;
    if (!out) {
      const auto* fd = dynamic_cast<const FdOutputBuffer*>(out.rdbuf());
      err << "Cannot write standard output: "
          << (fd && fd->error() != 0 ? std::strerror(fd->error()) : "the stream failed") << "\n";
      return 1;
    }
    return code;
  } catch (const UsageError& e) {
    err << e.what() << "\nRun with --help for more information.\n";
    return 2;
  } catch (const ComputationStopped&) {
    err << "Stopped before the tree was built: nothing was written.\n";
    return g_terminated ? 143 : 130;
  } catch (const std::bad_alloc&) {
    err << "Not enough memory to " << step.what << " (needed about " << formatBytes(step.need)
        << ")\n";
    return 1;
  } catch (const std::exception& e) {
    // The other processes of a job met the same; rank 0 tells it.
    if (processes().rank() != 0) return 0;
    err << replaceControls(e.what(), '?', false) << "\n";
    return 1;
  }
}

}  // namespace ramovia::cli
