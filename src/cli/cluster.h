// Runs that outlive one process: checkpoints, the processes of an MPI job, and the dry run.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "analysis/run_hooks.h"

namespace ramovia::cli {

struct ClusterOptions {
  std::string checkpoint;  // empty: none
  double checkpointSeconds = 60.0;
  int checkpointReplicates = 0;
  bool dryRun = false;
};

void addClusterOptions(CLI::App& app, ClusterOptions& options);

// The processes of this run: one, or the ranks of an MPI job (rank 0 writes every output).
class Processes {
 public:
  virtual ~Processes() = default;
  virtual int rank() const { return 0; }
  virtual int size() const { return 1; }
  virtual int sizeOnThisMachine() const { return 1; }
  // Rank 0 makes the bytes (or meets an error), every rank gets them (or throws the same error).
  virtual std::string share(const std::function<std::string()>& make) { return make(); }
  // Every rank passes its problem (empty: none); if any has one, every rank throws the first.
  virtual void agree(const std::string& problem);
  // The exchange of one resampling run; none for a single process.
  virtual std::unique_ptr<ReplicateExchange> exchange() { return nullptr; }
};

// The hooks of one run as the options set it up: the snapshot it goes on from (read by rank 0 and
// shared with every rank), its checkpoints, its exchange.
class RunSetup {
 public:
  RunSetup(const ClusterOptions& options, CheckpointIdentity identity, Processes& processes);
  const RunHooks* hooks() const { return &hooks_; }
  bool collects() const { return !hooks_.exchange || hooks_.exchange->collects(); }
  const std::optional<RunSnapshot>& resumed() const { return resumed_; }
  // A run that took every replicate needs its checkpoint no more.
  void complete();

 private:
  std::string path_;
  CheckpointIdentity identity_;
  std::optional<RunSnapshot> resumed_;
  std::unique_ptr<ReplicateExchange> exchange_;
  RunHooks hooks_;
};

// What the dry run tells.
struct DryRunFacts {
  int64_t taxa = 0, markers = 0, blocks = 0;
  int64_t replicates = 0;   // 0: no resampling
  int64_t alreadyTaken = 0; // by the checkpoint
  std::string resampling, method;
  int threads = 1, processes = 1, processesHere = 1;
  uint64_t tableBytes = 0, matrixBytes = 0, workerBytes = 0, checkpointBytes = 0;
  uint64_t available = 0;
  double seconds = 0;  // rough
};
std::string dryRunText(const DryRunFacts& facts);
// A rough time for one replicate on one core (matrix and tree), from measured rates.
double secondsPerReplicate(int64_t taxa, int64_t markers, bool presence, bool neighborJoining);

// The processes main() started with (one unless launched by an MPI launcher).
Processes& processes();

// Started by main(): joins the MPI job when the program was launched as one.
class ProcessScope {
 public:
  ProcessScope(int& argc, char**& argv);
  ~ProcessScope();
  ProcessScope(const ProcessScope&) = delete;
  ProcessScope& operator=(const ProcessScope&) = delete;
};

}  // namespace ramovia::cli
