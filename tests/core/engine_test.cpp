// A resampling run gives the same trees, statistics and state for any number of worker threads,
// cancelled or not.
#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "analysis/engine.h"
#include "analysis/session.h"
#include "output/statistics.h"

namespace ramovia {
namespace {

std::string presenceTable(uint32_t seed, int taxa, int blocks, int perBlock, bool gaps) {
  std::mt19937 rng(seed);
  std::string t;
  for (int k = 0; k < taxa; ++k) t += "\ttaxon" + std::to_string(k + 1);
  t += "\n";
  for (int b = 0; b < blocks; ++b) {
    t += "E" + std::to_string(b) + "\t" + std::to_string(4 + b % 3) + "\n";
    const int missing = gaps ? static_cast<int>(rng() % static_cast<uint32_t>(taxa)) : -1;
    for (int f = 0; f < perBlock; ++f) {
      t += std::to_string(100 + f);
      // Few fragments per block: ties are common, so the order of the taxa matters.
      for (int k = 0; k < taxa; ++k) t += k == missing ? "\t?" : ((rng() % 3) ? "\t1" : "\t0");
      t += "\n";
    }
  }
  return t;
}

std::string frequencyTable(uint32_t seed, int taxa, int loci) {
  std::mt19937 rng(seed);
  std::string t;
  for (int k = 0; k < taxa; ++k) t += "\tp" + std::to_string(k + 1);
  t += "\n";
  for (int l = 0; l < loci; ++l) {
    t += "L" + std::to_string(l) + "\n";
    const int alleles = 2 + static_cast<int>(rng() % 4);
    std::vector<std::vector<int>> w(static_cast<std::size_t>(taxa));
    for (auto& v : w) {
      for (int a = 0; a < alleles; ++a) v.push_back(static_cast<int>(rng() % 10));
    }
    for (int a = 0; a < alleles; ++a) {
      t += "a" + std::to_string(a);
      for (int k = 0; k < taxa; ++k) {
        int sum = 0;
        for (int x : w[static_cast<std::size_t>(k)]) sum += x;
        t += "\t" + std::to_string(sum ? static_cast<double>(w[static_cast<std::size_t>(k)][static_cast<std::size_t>(a)]) / sum : 0.0);
      }
      t += "\n";
    }
  }
  return t;
}

struct Outcome {
  std::vector<std::string> trees, statistics, order;
  std::vector<int64_t> topologies, splitCounts;
  std::vector<int32_t> splitSupport, transferSupport;
  std::string reference;
  uint32_t seed = 0;
  std::string error;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

struct CancelAt : ProgressSink {
  int at = 0, position = 0;
  void setPosition(int p) override { position = p; }
  bool processMessages() override {
    if (at > 0 && position >= at) {
      at = 0;
      return true;
    }
    return false;
  }
};

struct Case {
  std::string name, table;
  Coefficient coefficient;
  TreeMethod method;
  Resampling resampling;
  int taxa, fragments, repeats, cancelAt;
  bool wholeLoci = false;
};

Outcome runOnce(const Case& c, int threads) {
  Session s(77);
  s.readTable(c.table, '.');
  s.chooseCoefficient(c.coefficient);
  s.chooseMethod(c.method);
  ResamplingPlan plan;
  plan.method = c.resampling;
  plan.taxaLeftOut = c.taxa;
  plan.fragmentsLeftOut = c.fragments;
  plan.replicates = c.repeats;
  plan.different = rulesOf(c.resampling).different.value_or(true);
  plan.threads = threads;
  plan.resampleLoci = c.wholeLoci;
  CancelAt cancel;
  cancel.at = c.cancelAt;
  Outcome o;
  try {
    s.resample(plan, &cancel);
    // A second run goes on from the state the first one left.
    s.resample(plan, nullptr);
  } catch (const std::exception& ex) {
    o.error = ex.what();
  }
  if (const ResamplingResult* r = s.lastResult()) {
    o.trees = treeListLines(*r, s.data().taxa);
    o.statistics = statisticsLines(*r, s.comparedTree(), s.data().taxa);
    o.reference = referenceTreeText(*s.referenceTree(), c.method, s.data().taxa, r->support);
    for (const auto& t : r->unrooted.topologies) o.topologies.push_back(t.count);
    for (int32_t k = 0; k < r->unrooted.splits.size(); ++k) o.splitCounts.push_back(r->unrooted.splits.count(k));
    o.splitSupport = r->unrooted.splitSupport;
    o.transferSupport = r->unrooted.transferSupport;
  }
  o.seed = s.seed();
  for (const int32_t t : s.taxonOrder()) o.order.push_back(s.data().taxa[static_cast<std::size_t>(t)].name.str());
  return o;
}

TEST(Replicates, SameResultsForOneTwoAndSevenThreads) {
  const std::string pa = presenceTable(5, 9, 3, 6, true);
  const std::string fr = frequencyTable(6, 8, 4);
  using C = Coefficient;
  using M = TreeMethod;
  using R = Resampling;
  const std::vector<Case> cases = {
      {"dice bootstrap", pa, C::Dice, M::NeighborJoining, R::Bootstrap, 0, 0, 60, 0},
      {"jaccard upgma jackknife", pa, C::Jaccard, M::Upgma, R::Jackknife, 0, 3, 45, 0},
      {"ochiai otu", pa, C::Ochiai, M::NeighborJoining, R::TaxonJackknife, 3, 0, 40, 0},
      {"sokal users", pa, C::SokalSneath3, M::Upgma, R::Users, 2, 2, 33, 0},
      {"dice cancelled", pa, C::Dice, M::Upgma, R::Bootstrap, 0, 0, 500, 7},
      {"nucleotide bootstrap", pa, C::NucleotideDivergence, M::NeighborJoining, R::Bootstrap, 0, 0, 30, 0},
      {"nucleotide otu upgma", pa, C::NucleotideDivergence, M::Upgma, R::TaxonJackknife, 2, 0, 30, 0},
      {"nucleotide cancelled", pa, C::NucleotideDivergence, M::NeighborJoining, R::TaxonJackknife, 1, 0, 40, 9},
      {"nei upgma", fr, C::NeiStandard, M::Upgma, R::Bootstrap, 0, 0, 40, 0},
      {"cavalli otu", fr, C::CavalliSforzaEdwards, M::NeighborJoining, R::TaxonJackknife, 2, 0, 40, 0},
      {"prevosti cancelled", fr, C::Prevosti, M::NeighborJoining, R::Rearrangement, 0, 0, 50, 4},
      {"rogers whole loci", fr, C::Rogers, M::NeighborJoining, R::Bootstrap, 0, 0, 40, 0, true},
      {"nei whole loci jackknife", fr, C::NeiStandard, M::Upgma, R::Jackknife, 0, 1, 30, 6, true},
  };
  for (const Case& c : cases) {
    const Outcome one = runOnce(c, 1);
    EXPECT_TRUE(one.error.empty()) << c.name << ": " << one.error;
    EXPECT_FALSE(one.trees.empty()) << c.name;
    for (int threads : {2, 7}) EXPECT_EQ(runOnce(c, threads), one) << c.name << " with " << threads << " threads";
  }
}

TEST(Replicates, CancelledRunCountsTheSameTreesAsWithOneThread) {
  const std::string pa = presenceTable(8, 7, 2, 5, false);
  for (int threads : {1, 2, 7}) {
    Session s;
    s.readTable(pa, '.');
    s.chooseCoefficient(Coefficient::NeiStandard);
    s.chooseMethod(TreeMethod::NeighborJoining);
    ResamplingPlan plan;
    plan.replicates = 100;
    plan.threads = threads;
    CancelAt cancel;
    cancel.at = 10;
    EXPECT_EQ(s.resample(plan, &cancel).trees.total(), 11) << threads;
  }
}

// Sets the stop flag once replicate `at` was taken, as a signal handler would.
struct StopAfter : ProgressSink {
  int at = 0;
  std::atomic<bool> flag{false};
  void setPosition(int p) override {
    if (p >= at) flag = true;
  }
  const std::atomic<bool>* stopFlag() override { return &flag; }
};

TEST(Replicates, AStopEndsTheReplicatesBeingBuiltAsARunOfTheOnesTaken) {
  const std::string pa = presenceTable(4, 9, 3, 6, false);
  const std::string fr = frequencyTable(6, 8, 4);
  for (const auto& [table, c] : {std::pair{pa, Coefficient::Dice}, std::pair{fr, Coefficient::Prevosti}}) {
    for (int threads : {1, 2}) {
      Session s(77), t(77);
      for (Session* x : {&s, &t}) {
        x->readTable(table, '.');
        x->chooseCoefficient(c);
        x->chooseMethod(TreeMethod::Upgma);
      }
      ResamplingPlan plan;
      plan.replicates = 50;
      plan.threads = threads;
      StopAfter stop;
      stop.at = 3;
      const ResamplingResult& r = s.resample(plan, &stop);
      EXPECT_TRUE(r.cancelled);
      if (threads == 1) {
        EXPECT_EQ(r.built, 3);
      }
      plan.replicates = r.built;
      const ResamplingResult& whole = t.resample(plan, nullptr);
      EXPECT_EQ(treeListLines(r, s.data().taxa), treeListLines(whole, t.data().taxa)) << threads;
      EXPECT_EQ(s.seed(), t.seed()) << threads;
      EXPECT_EQ(s.taxonOrder(), t.taxonOrder()) << threads;
    }
  }
}

TEST(Replicates, AFailingDrawStopsAfterTheEarlierReplicatesWithAnyThreads) {
  const std::string pa = presenceTable(9, 6, 2, 8, false);
  std::vector<int32_t> first;
  for (int threads : {1, 2, 7}) {
    Session s(3);
    s.readTable(pa, '.');
    // Leaving out every taxon fails in the first replicate's draws, as the loop meets it.
    ResamplingPlan plan;
    plan.replicates = 20;
    plan.taxaLeftOut = 6;
    plan.different = true;
    plan.threads = threads;
    DrawState state;
    state.random.setSeed(3);
    for (int32_t t = 0; t < 6; ++t) state.order.push_back(t);
    EXPECT_THROW(runResampling(s.data(), Coefficient::Dice, TreeMethod::NeighborJoining, plan,
                               nullptr, state, nullptr),
                 ListIndexError);
    std::vector<int32_t> after = state.order;
    after.push_back(static_cast<int32_t>(state.random.seed()));
    after.push_back(state.subsetSize);
    if (first.empty()) first = after;
    EXPECT_EQ(after, first) << threads;
  }
}

}  // namespace
}  // namespace ramovia
