// The replicate engine: every resampling method of every coefficient family, run by one loop.
// A replicate draws the order of the taxa, the taxa left out and the markers counted (on the run
// thread, in order), then the family's matrix source computes its matrix and the tree is built
// (on a worker), and the trees are taken in replicate order.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/plan.h"
#include "analysis/run_hooks.h"
#include "distance/coefficient.h"
#include "model/dataset.h"
#include "model/progress.h"
#include "model/random.h"
#include "tree/tree.h"
#include "tree/tree_method.h"

namespace ramovia {

// What a run changes and the next run goes on from.
struct DrawState {
  Random random;
  std::vector<int32_t> order;  // the taxa in their current order
  int32_t subsetSize = 0;      // the taxa the last taxon subset kept (a later shuffle may read it)
};

// Runs the plan (already checked) and returns its trees, sorted; `compareWith`, when given, is
// the tree the replicates are counted against. The draws leave `state` as the last replicate
// taken left it. A cancel request arrives through progress->processMessages(). With hooks the run
// goes on from a snapshot, saves its state as scheduled, and shares its replicates with other
// processes; the result is the same in every case.
ResamplingResult runResampling(const Dataset& data, Coefficient coefficient, TreeMethod method,
                               const ResamplingPlan& plan, const Tree* compareWith,
                               DrawState& state, ProgressSink* progress,
                               const RunHooks* hooks = nullptr);

}  // namespace ramovia
