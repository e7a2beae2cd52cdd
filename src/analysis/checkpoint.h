// The state of a resampling run taken part-way, so that a run killed at any moment can be
// started again and end exactly as if it had never stopped; and the bytes that carry trees
// between processes.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tree/tree.h"
#include "tree/tree_list.h"

namespace ramovia {

// Everything a run needs to go on after replicate `taken`, and everything it has gathered.
struct RunSnapshot {
  int32_t taken = 0;
  uint32_t startSeed = 0;
  // What the draws of replicate `taken` left.
  uint32_t seed = 0;
  std::vector<int32_t> order;
  int32_t subsetSize = 0;
  bool subsetUsed = false;
  bool cancelPending = false;  // a cancel seen, the run ends at the next replicate taken
  int32_t referenceHits = 0;
  std::vector<TreeList::Entry> trees;  // in the order of first appearance
  std::vector<Tree> replicates;        // when the plan keeps them
};

// What a checkpoint belongs to: a digest of the input and the settings, as named pairs.
struct CheckpointIdentity {
  uint64_t inputDigest = 0;
  uint64_t inputBytes = 0;
  std::vector<std::pair<std::string, std::string>> settings;
};

class CheckpointError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

uint64_t digestOf(std::string_view bytes);

std::string encodeCheckpoint(const CheckpointIdentity& identity, const RunSnapshot& snapshot);
// Throws CheckpointError naming `path` when the bytes are damaged, or were written for other
// data or other settings (saying which).
RunSnapshot decodeCheckpoint(std::string_view bytes, const CheckpointIdentity& expected,
                             const std::string& path);

// At most the bytes of a checkpoint of a run over `taxa` taxa: every replicate a tree of its own.
uint64_t checkpointBytes(int64_t taxa, int64_t replicates, bool keepReplicateTrees);

// Written beside `path` and renamed into it: a kill leaves the old file or the new one.
void writeCheckpointFile(const std::string& path, std::string_view bytes);
// Empty when there is no file; CheckpointError when it cannot be read.
std::string readCheckpointFile(const std::string& path);

// When a run saves: every `seconds` (0: never by time) and every `replicates` (0: never by count),
// and at once after requestCheckpoint().
struct CheckpointSchedule {
  double seconds = 60.0;
  int32_t replicates = 0;
};

// Safe from a signal handler: the next replicate taken writes the checkpoint.
void requestCheckpoint();
bool takeCheckpointRequest();

// A tree as bytes, the same on every process of a run (lengths bit for bit).
void appendTree(std::string& out, const Tree& tree);
// Reads a tree at `pos` and moves past it; CheckpointError on bytes that are no tree.
Tree readTree(std::string_view bytes, std::size_t& pos);

}  // namespace ramovia
