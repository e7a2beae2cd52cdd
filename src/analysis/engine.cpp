#include "analysis/engine.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "analysis/draws.h"
#include "analysis/replicate_runner.h"
#include "distance/divergence.h"
#include "distance/frequency.h"
#include "distance/pair_table.h"
#include "distance/presence.h"
#include "tree/builders.h"

namespace ramovia {

namespace {

struct Job {
  int index = 0;                       // the replicate, counted over the whole run
  TaxonSubset taxa;                    // the taxa of the replicate, in order
  std::vector<int32_t> loci;           // the loci drawn, when whole loci are
  std::vector<MarkerSample> samples;   // one over all markers, or one per block or locus drawn
  std::vector<TaxonSubset> columns;    // per block, the columns taking part (divergence)
  // The state after this replicate's draws, put back when the run stops here.
  uint32_t seed = 0;
  std::vector<int32_t> order;
  int32_t subsetSize = 0;
  bool subsetUsed = false;
};

struct Built {
  Tree tree;
  uint64_t hash = 0;
  std::vector<int32_t> order;  // canonical
};

struct Workspace {
  SampleExpansion expansion;
  FrequencySample frequencies;
  std::vector<SampleExpansion> blockExpansions;
  std::vector<SquareMatrix> blockValues;
  std::vector<BlockMatrix> inputs;
  MergeScratch merge;
  SquareMatrix K;
  TreeWorkspace tree;
  std::vector<const Name*> names;
  StopWatch watch;  // ends the matrix when an interrupt asks for it
};

// The matrix of a replicate, by coefficient family: the samples it draws and how it computes.
class MatrixSource {
 public:
  MatrixSource(const Dataset& data, bool different) : data_(data), different_(different) {}
  virtual ~MatrixSource() = default;
  virtual void drawSamples(Random& random, Job& job, bool subsetUsed) = 0;
  virtual void matrix(const Job& job, Workspace& ws) const = 0;

 protected:
  void drawSample(Random& random, int32_t markers, int32_t count, MarkerSample& out) {
    drawMarkerSample(random, markers, count, different_, out, seen_);
  }
  // One sample per block, each as many draws as the block has markers.
  void drawBlockSamples(Random& random, Job& job) {
    job.samples.resize(data_.blocks.size());
    for (std::size_t b = 0; b < data_.blocks.size(); ++b) {
      const auto n = static_cast<int32_t>(data_.blocks[b].markers.size());
      drawSample(random, n, n, job.samples[b]);
    }
  }

  const Dataset& data_;

 private:
  const bool different_;
  std::vector<uint8_t> seen_;
};

// Pair tables over every marker of the data set; the sample has the markers drawn per replicate.
class PresenceSource : public MatrixSource {
 public:
  PresenceSource(const Dataset& data, Coefficient c, bool storeDistances, int32_t drawn,
                 bool different)
      : MatrixSource(data, different), c_(c), storeDistances_(storeDistances), drawn_(drawn),
        index_(PairTableIndex::build(data)) {}
  void drawSamples(Random& random, Job& job, bool) override {
    job.samples.resize(1);
    drawSample(random, data_.markerCount(), drawn_, job.samples[0]);
  }
  void matrix(const Job& job, Workspace& ws) const override {
    ws.expansion.assign(index_, job.taxa, job.samples[0]);
    computeSimilarityMatrix(ws.expansion, c_, storeDistances_, true, data_.siteLength, ws.K,
                            &ws.watch);
  }

 private:
  Coefficient c_;
  bool storeDistances_;
  int32_t drawn_;
  PairTableIndex index_;
};

// All loci at once. Either each locus draws its alleles, or whole loci are drawn, each with all
// its alleles in their order.
class FrequencySource : public MatrixSource {
 public:
  FrequencySource(const Dataset& data, Coefficient c, bool different, bool wholeLoci,
                  int32_t lociLeftOut)
      : MatrixSource(data, different), c_(c), wholeLoci_(wholeLoci), lociLeftOut_(lociLeftOut),
        index_(FrequencyIndex::build(data)) {
    for (const Block& b : data.blocks)
      alleles_.push_back(allPositions(static_cast<int32_t>(b.markers.size())));
  }
  void drawSamples(Random& random, Job& job, bool) override {
    if (!wholeLoci_) {
      drawBlockSamples(random, job);
      return;
    }
    const auto loci = static_cast<int32_t>(data_.blocks.size());
    drawSample(random, loci, loci - lociLeftOut_, job.loci);
    job.samples.resize(job.loci.size());
    for (std::size_t d = 0; d < job.loci.size(); ++d)
      job.samples[d] = alleles_[static_cast<std::size_t>(job.loci[d])];
  }
  void matrix(const Job& job, Workspace& ws) const override {
    if (wholeLoci_)
      ws.frequencies.assign(index_, job.loci, job.samples, job.taxa);
    else
      ws.frequencies.assign(index_, job.samples, job.taxa);
    computeFrequencyDistances(ws.frequencies, c_, ws.K, &ws.watch);
  }

 private:
  Coefficient c_;
  bool wholeLoci_;
  int32_t lociLeftOut_;
  FrequencyIndex index_;
  std::vector<MarkerSample> alleles_;  // every allele of each locus, in order
};

// A matrix per block over its own markers, merged. Each block takes part with its first column
// of every taxon of the subset, or with all its columns when no taxon is left out.
class DivergenceSource : public MatrixSource {
 public:
  DivergenceSource(const Dataset& data, bool storeDistances, bool different)
      : MatrixSource(data, different), storeDistances_(storeDistances) {
    for (const Block& b : data.blocks) {
      indexes_.push_back(PairTableIndex::build(data, b));
      first_.push_back(firstColumns(b, data.taxonCount()));
    }
  }
  void drawSamples(Random& random, Job& job, bool subsetUsed) override {
    job.columns.resize(data_.blocks.size());
    for (std::size_t b = 0; b < data_.blocks.size(); ++b) {
      TaxonSubset& columns = job.columns[b];
      columns.clear();
      if (subsetUsed) {
        for (const int32_t t : job.taxa) {
          const int32_t c = first_[b][static_cast<std::size_t>(t)];
          if (c >= 0) columns.push_back(c);
        }
      } else {
        columns = allPositions(static_cast<int32_t>(data_.blocks[b].taxa.size()));
      }
    }
    drawBlockSamples(random, job);
  }
  void matrix(const Job& job, Workspace& ws) const override {
    const std::size_t blocks = data_.blocks.size();
    ws.blockExpansions.resize(blocks);
    ws.blockValues.resize(blocks);
    ws.inputs.clear();
    for (std::size_t b = 0; b < blocks; ++b) {
      ws.blockExpansions[b].assign(indexes_[b], job.columns[b], job.samples[b]);
      computeSimilarityMatrix(ws.blockExpansions[b], Coefficient::NucleotideDivergence,
                              storeDistances_, true, data_.blocks[b].siteLength, ws.blockValues[b],
                              &ws.watch);
      ws.inputs.push_back({&data_.blocks[b], &ws.blockValues[b], job.columns[b]});
    }
    mergeBlockMatrices(data_.taxonCount(), ws.inputs, job.taxa, storeDistances_, ws.K, ws.merge);
  }

 private:
  bool storeDistances_;
  std::vector<PairTableIndex> indexes_;
  std::vector<std::vector<int32_t>> first_;
};

std::unique_ptr<MatrixSource> sourceFor(const Dataset& data, Coefficient c, bool storeDistances,
                                        int32_t drawn, const ResamplingPlan& plan) {
  const bool different = plan.different;
  switch (familyOf(c)) {
    case CoefficientFamily::Presence:
      return std::make_unique<PresenceSource>(data, c, storeDistances, drawn, different);
    case CoefficientFamily::Divergence:
      return std::make_unique<DivergenceSource>(data, storeDistances, different);
    case CoefficientFamily::AlleleFrequency:
      break;
  }
  return std::make_unique<FrequencySource>(data, c, different, plan.resampleLoci,
                                           plan.fragmentsLeftOut);
}

}  // namespace

ResamplingResult runResampling(const Dataset& data, Coefficient coefficient, TreeMethod method,
                               const ResamplingPlan& plan, const Tree* compareWith,
                               DrawState& state, ProgressSink* progress, const RunHooks* hooks) {
  ResamplingResult result;
  result.plan = plan;
  result.fragmentsDrawn = data.markerCount() - plan.fragmentsLeftOut;
  if (plan.seed) state.random.setSeed(*plan.seed);
  result.startSeed = state.random.seed();

  const int32_t taxa = data.taxonCount();
  const int32_t leftOut = plan.taxaLeftOut;
  // Presence data draw their markers between the shuffle and the taxa left out, and check for a
  // cancel request at most 200 times a run; the other families draw the taxa first and check
  // after every replicate.
  const bool presence = familyOf(coefficient) == CoefficientFamily::Presence;
  const bool storeDistances = method == TreeMethod::NeighborJoining;
  const bool joinSmallest = isDistance(coefficient);
  std::unique_ptr<MatrixSource> source =
      sourceFor(data, coefficient, storeDistances, result.fragmentsDrawn, plan);
  ReplicateExchange* exchange = hooks ? hooks->exchange : nullptr;
  const bool collects = !exchange || exchange->collects();
  const RunSnapshot* resume = hooks ? hooks->resumeFrom : nullptr;
  if (resume && (resume->order.size() != state.order.size() || resume->taken > plan.replicates))
    throw std::runtime_error("The checkpoint does not fit this run.");

  bool subsetUsed = presence && leftOut != 0;
  int32_t subsetSize = state.subsetSize;
  bool cancelPending = false;
  int32_t first = 0;  // replicates taken before this run went on
  if (resume) {
    first = resume->taken;
    result.startSeed = resume->startSeed;
    state.random.setSeed(resume->seed);
    state.order = resume->order;
    subsetSize = resume->subsetSize;
    subsetUsed = resume->subsetUsed;
    cancelPending = resume->cancelPending;
    if (collects) {
      result.referenceHits = resume->referenceHits;
      result.trees.restore(resume->trees);
      result.replicates = resume->replicates;
    }
  }
  // However the run ends: presence data drop their subset, the others keep the last one drawn.
  struct SubsetGuard {
    DrawState& state;
    const bool presence;
    const int32_t leftOut;
    const int32_t& subsetSize;
    ~SubsetGuard() {
      if (leftOut != 0) state.subsetSize = presence ? 0 : subsetSize;
    }
  } guard{state, presence, leftOut, subsetSize};

  const int32_t replicates = plan.replicates;
  int32_t step = 1;
  if (progress && collects) {
    progress->setRange(0, replicates);
    if (presence) {
      progress->setRange(1, replicates);
      progress->setPosition(1);
      step = replicates / 200;
      if (step == 0) step = 1;
    }
  }
  const std::vector<int32_t> compareOrder =
      compareWith ? canonicalOrder(*compareWith) : std::vector<int32_t>();
  const uint64_t compareHash = compareWith ? topologyHash(*compareWith, compareOrder) : 0;

  // The cancel checks after replicate i was taken: false ends the run there.
  auto goOn = [&](int i) {
    if (presence) {
      if (progress && i % step == 0) {
        progress->setPosition(i);
        if (progress->processMessages()) return false;
      }
      return true;
    }
    if (cancelPending) return false;
    if (progress) {
      progress->setPosition(i);
      cancelPending = progress->processMessages();
    }
    return true;
  };

  const bool saving = collects && hooks && hooks->save;
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastSave = Clock::now();
  int32_t lastSaved = first;
  auto saveDue = [&](int i) {
    if (takeCheckpointRequest()) return true;
    const CheckpointSchedule& when = hooks->schedule;
    if (when.replicates > 0 && i - lastSaved >= when.replicates) return true;
    return when.seconds > 0 &&
           std::chrono::duration<double>(Clock::now() - lastSave).count() >= when.seconds;
  };
  auto save = [&](int i, const Job& job) {
    RunSnapshot snapshot;
    snapshot.taken = i;
    snapshot.startSeed = result.startSeed;
    snapshot.seed = job.seed;
    snapshot.order = job.order;
    snapshot.subsetSize = job.subsetSize;
    snapshot.subsetUsed = job.subsetUsed;
    snapshot.cancelPending = cancelPending;
    snapshot.referenceHits = result.referenceHits;
    snapshot.trees = result.trees.entries();
    snapshot.replicates = result.replicates;
    hooks->save(snapshot);
    lastSave = Clock::now();
    lastSaved = i;
  };

  int lastTaken = first;
  // Workers end the replicates they build when an interrupt sets the flag; the run then ends at
  // the last replicate taken, with the state its draws left. Where another process collects,
  // this one builds on until told to stop.
  const std::atomic<bool>* stop = progress && collects ? progress->stopFlag() : nullptr;
  Job lastState;
  lastState.seed = state.random.seed();
  lastState.order = state.order;
  lastState.subsetSize = subsetSize;
  lastState.subsetUsed = subsetUsed;
  // A run resumed where its checks had ended it ends there again.
  const bool ended = first > 0 && collects && !goOn(first);
  int taken = 0;
  ReplicateRunner<Job, Workspace, Built> runner(workerThreads(plan.threads));
  try {
    if (!ended)
      taken = runner.run(
          replicates - first,
          [&](int i, Job& job) {
            job.index = first + i;
            shuffleTaxa(state.random, state.order, subsetUsed ? subsetSize : taxa);
            if (presence) {
              source->drawSamples(state.random, job, subsetUsed);
              if (subsetUsed) {
                job.taxa = leaveOutTaxa(state.random, state.order, leftOut);
                subsetSize = static_cast<int32_t>(job.taxa.size());
              } else {
                job.taxa = state.order;
              }
            } else {
              subsetUsed = leftOut != 0;
              if (subsetUsed) {
                job.taxa = leaveOutTaxa(state.random, state.order, leftOut);
                subsetSize = static_cast<int32_t>(job.taxa.size());
              } else {
                job.taxa = state.order;
              }
              source->drawSamples(state.random, job, subsetUsed);
            }
            job.seed = state.random.seed();
            job.order = state.order;
            job.subsetSize = subsetSize;
            job.subsetUsed = subsetUsed;
          },
          [&](Job& job, Workspace& ws) {
            if (exchange && !exchange->computesHere(job.index)) return Built{};
            ws.watch.watch(stop);
            ws.tree.stop = stop;
            source->matrix(job, ws);
            ws.names.resize(job.taxa.size());
            for (std::size_t k = 0; k < job.taxa.size(); ++k)
              ws.names[k] = &data.taxa[static_cast<std::size_t>(job.taxa[k])].name;
            Built built;
            built.tree = buildTree(method, ws.K, static_cast<int>(job.taxa.size()),
                                   RowTaxa{job.taxa, ws.names}, joinSmallest, ws.tree);
            built.order = canonicalOrder(built.tree);
            built.hash = topologyHash(built.tree, built.order);
            return built;
          },
          [&](int, Job& job, Built built) {
            const int i = job.index;
            lastTaken = i;
            if (!collects) return !exchange->computesHere(i) || exchange->send(i, built.tree);
            if (exchange && !exchange->computesHere(i)) {
              built.tree = exchange->receive(i);
              built.order = canonicalOrder(built.tree);
              built.hash = topologyHash(built.tree, built.order);
            }
            if (compareWith && built.hash == compareHash &&
                sameTopology(built.tree, built.order, *compareWith, compareOrder))
              ++result.referenceHits;
            if (plan.keepReplicateTrees) result.replicates.push_back(built.tree);
            result.trees.add(std::move(built.tree), built.hash, std::move(built.order));
            if (saving && saveDue(i)) save(i, job);
            if (stop) {
              lastState.seed = job.seed;
              lastState.order = job.order;
              lastState.subsetSize = job.subsetSize;
              lastState.subsetUsed = job.subsetUsed;
            }
            if (progress && progress->stopRequested()) return false;
            return goOn(i);
          },
          [&](Job& job) {
            state.random.setSeed(job.seed);
            state.order = job.order;
            subsetSize = job.subsetSize;
            subsetUsed = job.subsetUsed;
          });
  } catch (const ComputationStopped&) {
    state.random.setSeed(lastState.seed);
    state.order = lastState.order;
    subsetSize = lastState.subsetSize;
    subsetUsed = lastState.subsetUsed;
    if (saving && lastTaken > lastSaved && takeCheckpointRequest()) save(lastTaken, lastState);
    taken = lastTaken - first;
  } catch (...) {
    if (exchange) {
      std::string message = "A replicate failed.";
      try {
        throw;
      } catch (const std::exception& e) {
        message = e.what();
      } catch (...) {
      }
      if (!collects) exchange->fail(lastTaken + 1, message);
      exchange->finish();
    }
    throw;
  }
  if (exchange) exchange->finish();
  taken += first;
  result.built = taken;
  result.cancelled = taken < replicates;
  result.trees.sort();
  // The presence family's own loop sorts its list, and the run sorts it once more.
  if (presence) result.trees.sort();
  return result;
}

}  // namespace ramovia
