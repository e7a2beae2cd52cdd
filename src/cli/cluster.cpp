#include "cluster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unistd.h>

#include "model/memory.h"
#include <stdexcept>
#include <vector>

#ifdef RAMOVIA_MPI
#include <mpi.h>
#endif

namespace ramovia::cli {

void addClusterOptions(CLI::App& app, ClusterOptions& o) {
  app.add_option("--checkpoint", o.checkpoint,
                 "Save the run's state to FILE as it goes; the same command started again goes "
                 "on from there and ends as an uninterrupted run would");
  app.add_option("--checkpoint-seconds", o.checkpointSeconds,
                 "Seconds between checkpoints (default 60; 0: not by time)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--checkpoint-replicates", o.checkpointReplicates,
                 "Replicates between checkpoints (default 0: not by count)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--dry-run", o.dryRun,
               "Print what the command would need (memory, replicates, rough time) and stop");
}

void Processes::agree(const std::string& problem) {
  if (!problem.empty()) throw std::runtime_error(problem);
}

namespace {

Processes g_single;
Processes* g_processes = &g_single;

#ifdef RAMOVIA_MPI

constexpr int kTagTree = 1;
constexpr int kTagStop = 2;
constexpr int kTagDone = 3;

void check(int code, const char* what, int other) {
  if (code == MPI_SUCCESS) return;
  char text[MPI_MAX_ERROR_STRING];
  int length = 0;
  MPI_Error_string(code, text, &length);
  throw std::runtime_error("The MPI job failed while " + std::string(what) + " process " +
                           std::to_string(other) + ": " + std::string(text, static_cast<std::size_t>(length)));
}

class MpiExchange : public ReplicateExchange {
 public:
  MpiExchange(int rank, int size) : rank_(rank), size_(size) {}
  bool collects() const override { return rank_ == 0; }
  bool computesHere(int replicate) const override { return replicate % size_ == rank_; }

  Tree receive(int replicate) override {
    const int from = replicate % size_;
    const std::string bytes = receiveFrom(from);
    std::size_t pos = 0;
    int32_t index = 0;
    uint8_t status = 0;
    if (bytes.size() < 5) throw std::runtime_error("Process " + std::to_string(from) + " sent nothing usable.");
    std::memcpy(&index, bytes.data(), 4);
    status = static_cast<uint8_t>(bytes[4]);
    pos = 5;
    if (status != 0) throw std::runtime_error(bytes.substr(pos));
    if (index != replicate)
      throw std::runtime_error("Process " + std::to_string(from) + " sent replicate " +
                               std::to_string(index) + " where " + std::to_string(replicate) +
                               " was due.");
    Tree tree = readTree(bytes, pos);
    return tree;
  }

  bool send(int replicate, const Tree& tree) override {
    if (stopSeen()) return false;
    std::string bytes = header(replicate, 0);
    appendTree(bytes, tree);
    check(MPI_Ssend(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, kTagTree,
                    MPI_COMM_WORLD),
          "sending to", 0);
    return true;
  }

  void fail(int replicate, const std::string& message) override {
    if (stopSeen()) return;
    const std::string bytes = header(replicate, 1) + message;
    MPI_Ssend(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, kTagTree, MPI_COMM_WORLD);
  }

  void finish() override {
    if (finished_) return;
    finished_ = true;
    if (rank_ == 0) {
      // Every other process is told to stop, then heard out until it says it has.
      std::vector<MPI_Request> stops(static_cast<std::size_t>(size_ - 1));
      char none = 0;
      for (int r = 1; r < size_; ++r)
        MPI_Isend(&none, 0, MPI_BYTE, r, kTagStop, MPI_COMM_WORLD, &stops[static_cast<std::size_t>(r - 1)]);
      for (int r = 1; r < size_; ++r) {
        for (;;) {
          MPI_Status st;
          check(MPI_Probe(r, MPI_ANY_TAG, MPI_COMM_WORLD, &st), "waiting for", r);
          if (st.MPI_TAG == kTagDone) {
            MPI_Recv(&none, 0, MPI_BYTE, r, kTagDone, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            break;
          }
          receiveFrom(r);
        }
      }
      MPI_Waitall(size_ - 1, stops.data(), MPI_STATUSES_IGNORE);
    } else {
      char none = 0;
      if (!stopped_) MPI_Recv(&none, 0, MPI_BYTE, 0, kTagStop, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      MPI_Send(&none, 0, MPI_BYTE, 0, kTagDone, MPI_COMM_WORLD);
    }
  }

 private:
  static std::string header(int replicate, uint8_t status) {
    std::string bytes(5, '\0');
    const auto index = static_cast<int32_t>(replicate);
    std::memcpy(bytes.data(), &index, 4);
    bytes[4] = static_cast<char>(status);
    return bytes;
  }

  std::string receiveFrom(int from) {
    MPI_Status st;
    check(MPI_Probe(from, kTagTree, MPI_COMM_WORLD, &st), "waiting for", from);
    int count = 0;
    MPI_Get_count(&st, MPI_BYTE, &count);
    std::string bytes(static_cast<std::size_t>(count), '\0');
    check(MPI_Recv(bytes.data(), count, MPI_BYTE, from, kTagTree, MPI_COMM_WORLD, MPI_STATUS_IGNORE),
          "receiving from", from);
    return bytes;
  }

  bool stopSeen() {
    if (stopped_) return true;
    int flag = 0;
    MPI_Iprobe(0, kTagStop, MPI_COMM_WORLD, &flag, MPI_STATUS_IGNORE);
    if (flag) {
      char none = 0;
      MPI_Recv(&none, 0, MPI_BYTE, 0, kTagStop, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      stopped_ = true;
    }
    return stopped_;
  }

  int rank_, size_;
  bool stopped_ = false;
  bool finished_ = false;
};

class MpiProcesses : public Processes {
 public:
  MpiProcesses() {
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    MPI_Comm local;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank_, MPI_INFO_NULL, &local);
    MPI_Comm_size(local, &local_);
    MPI_Comm_free(&local);
  }
  int rank() const override { return rank_; }
  int size() const override { return size_; }
  int sizeOnThisMachine() const override { return local_; }

  std::string share(const std::function<std::string()>& make) override {
    std::string bytes, problem;
    if (rank_ == 0) {
      try {
        bytes = make();
      } catch (const std::exception& e) {
        problem = e.what();
      }
    }
    agree(problem);
    uint64_t n = bytes.size();
    MPI_Bcast(&n, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
    bytes.resize(static_cast<std::size_t>(n));
    // Broadcast in pieces that an int can count.
    constexpr uint64_t kPiece = 1u << 30;
    for (uint64_t at = 0; at < n; at += kPiece)
      MPI_Bcast(bytes.data() + at, static_cast<int>(std::min(kPiece, n - at)), MPI_BYTE, 0,
                MPI_COMM_WORLD);
    return bytes;
  }

  void agree(const std::string& problem) override {
    // The lowest rank with a problem tells it to all.
    int mine = problem.empty() ? size_ : rank_;
    int first = size_;
    MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    if (first == size_) return;
    std::string text = rank_ == first ? problem : std::string();
    uint64_t n = text.size();
    MPI_Bcast(&n, 1, MPI_UINT64_T, first, MPI_COMM_WORLD);
    text.resize(static_cast<std::size_t>(n));
    MPI_Bcast(text.data(), static_cast<int>(n), MPI_BYTE, first, MPI_COMM_WORLD);
    if (first != 0 && rank_ == 0) text = "Process " + std::to_string(first) + ": " + text;
    throw std::runtime_error(text);
  }

  std::unique_ptr<ReplicateExchange> exchange() override {
    if (size_ == 1) return nullptr;
    return std::make_unique<MpiExchange>(rank_, size_);
  }

 private:
  int rank_ = 0, size_ = 1, local_ = 1;
};

// Launched by mpirun or srun: the launchers set one of these.
bool launchedAsJob() {
  for (const char* v : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(v)) return true;
  return false;
}

bool g_mpi = false;
std::unique_ptr<MpiProcesses> g_job;

#endif

}  // namespace

Processes& processes() { return *g_processes; }

RunSetup::RunSetup(const ClusterOptions& o, CheckpointIdentity identity, Processes& p)
    : path_(o.checkpoint), identity_(std::move(identity)) {
  std::string problem;
  if (!path_.empty()) {
    const std::string bytes = p.share([&] { return readCheckpointFile(path_); });
    try {
      if (!bytes.empty()) resumed_ = decodeCheckpoint(bytes, identity_, path_);
    } catch (const std::exception& e) {
      problem = e.what();
    }
  }
  p.agree(problem);
  hooks_.resumeFrom = resumed_ ? &*resumed_ : nullptr;
  hooks_.schedule.seconds = o.checkpointSeconds;
  hooks_.schedule.replicates = o.checkpointReplicates;
  if (!path_.empty() && p.rank() == 0)
    hooks_.save = [this](const RunSnapshot& s) {
      writeCheckpointFile(path_, encodeCheckpoint(identity_, s));
    };
  exchange_ = p.exchange();
  hooks_.exchange = exchange_.get();
}

void RunSetup::complete() {
  if (!path_.empty() && collects()) ::unlink(path_.c_str());
}

double secondsPerReplicate(int64_t taxa, int64_t markers, bool presence, bool neighborJoining) {
  const auto n = static_cast<double>(taxa);
  // Rates measured on the 2-core development machine (one thread, user time of whole runs of 200
  // and 2000 taxa: 5000 markers, 2000 taxa took 0.06 s a matrix) ...
  const double matrix = presence ? 2.0e-10 * n * n * static_cast<double>(markers) / 64.0
                                 : 4.0e-9 * n * n * std::max<double>(1.0, static_cast<double>(markers) / 16.0);
  // ... the all-pairs builders grow about as n^3, and slower per step once the matrix leaves the
  // cache; the pruned searches (from 1024 taxa for neighbor-joining, 256 for UPGMA) fit
  // a n^2 + b n^3 on 2000 to 20,000 taxa.
  double tree = 0;
  if (neighborJoining && n >= 1024)
    tree = 3.6e-8 * n * n + 8.3e-13 * n * n * n;
  else if (!neighborJoining && n >= 256)
    tree = 1.4e-8 * n * n + 1.8e-12 * n * n * n;
  else
    tree = (neighborJoining ? 1.3e-11 : 4.0e-12) * (1 + n / 1000) * n * n * n +
           (neighborJoining ? 1.5e-8 : 6e-9) * n * n;
  return matrix + tree + 2e-6 * n;
}

std::string dryRunText(const DryRunFacts& f) {
  std::ostringstream out;
  out << "Dry run: nothing was computed.\n";
  out << "Table: " << f.taxa << " taxa, " << f.markers << " markers in " << f.blocks
      << (f.blocks == 1 ? " block" : " blocks") << "\n";
  if (f.replicates > 0) {
    out << "Replicates: " << f.replicates << " (" << f.resampling << ", " << f.method << ")";
    if (f.alreadyTaken > 0) out << ", " << f.alreadyTaken << " already taken by the checkpoint";
    out << "\n";
  } else {
    out << "Replicates: none (no --resampling)\n";
  }
  out << "Processes: " << f.processes << " (" << f.processesHere << " on this machine), "
      << f.threads << (f.threads == 1 ? " thread" : " threads") << " each\n";
  const uint64_t perProcess = f.tableBytes + f.matrixBytes + f.workerBytes;
  const uint64_t total = perProcess * static_cast<uint64_t>(f.processesHere) + f.checkpointBytes;
  out << "Memory: about " << formatBytes(total) << " on this machine (per process: reading "
      << formatBytes(f.tableBytes) << ", matrices and texts " << formatBytes(f.matrixBytes) << ", workers "
      << formatBytes(f.workerBytes) << ")";
  if (f.checkpointBytes > 0) out << ", checkpoint up to " << formatBytes(f.checkpointBytes);
  out << "; " << formatBytes(f.available) << " available\n";
  if (total > f.available) out << "The run would be refused: it needs more memory than is available.\n";
  char time[64];
  if (f.seconds < 1)
    std::snprintf(time, sizeof time, "under a second");
  else if (f.seconds < 120)
    std::snprintf(time, sizeof time, "%.0f s", f.seconds);
  else if (f.seconds < 7200)
    std::snprintf(time, sizeof time, "%.0f min", f.seconds / 60);
  else
    std::snprintf(time, sizeof time, "%.1f h", f.seconds / 3600);
  out << "Time: roughly " << time << "\n";
  return out.str();
}

ProcessScope::ProcessScope([[maybe_unused]] int& argc, [[maybe_unused]] char**& argv) {
#ifdef RAMOVIA_MPI
  if (!launchedAsJob()) return;
  int provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) return;
  g_mpi = true;
  MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
  g_job = std::make_unique<MpiProcesses>();
  g_processes = g_job.get();
#endif
}

ProcessScope::~ProcessScope() {
#ifdef RAMOVIA_MPI
  if (!g_mpi) return;
  g_processes = &g_single;
  g_job.reset();
  MPI_Finalize();
#endif
}

}  // namespace ramovia::cli
