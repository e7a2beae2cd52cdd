// What a run can be given besides its plan: a snapshot to go on from, a place to save its state,
// and the other processes that share its replicates.
#pragma once

#include <functional>
#include <string>

#include "analysis/checkpoint.h"
#include "tree/tree.h"

namespace ramovia {

// The replicates of one run spread over several processes. Every process draws every replicate
// (the draws are cheap and keep the generator in step) and computes those it is given; the
// collecting process takes all trees in replicate order and alone keeps the result.
class ReplicateExchange {
 public:
  virtual ~ReplicateExchange() = default;
  virtual bool collects() const = 0;
  virtual bool computesHere(int replicate) const = 0;
  // Collector: the tree another process built for the replicate. Throws what that process met
  // when it failed there.
  virtual Tree receive(int replicate) = 0;
  // The others: hands a tree over; false once the collector has stopped the run.
  virtual bool send(int replicate, const Tree& tree) = 0;
  virtual void fail(int replicate, const std::string& message) = 0;
  // Every process, once, however the run ended: the collector stops the others.
  virtual void finish() = 0;
};

struct RunHooks {
  const RunSnapshot* resumeFrom = nullptr;  // replicates already taken
  CheckpointSchedule schedule;
  std::function<void(const RunSnapshot&)> save;  // none: no checkpoints
  ReplicateExchange* exchange = nullptr;         // none: this process computes everything
};

}  // namespace ramovia
