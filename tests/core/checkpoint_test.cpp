// A run resumed from the state saved after any replicate ends exactly as the uninterrupted run;
// a checkpoint of other data or settings, or damaged in any byte, is refused and never crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "analysis/checkpoint.h"
#include "analysis/session.h"
#include "output/statistics.h"

namespace ramovia {
namespace {

std::string table(uint32_t seed, int taxa, int markers, bool frequencies) {
  std::mt19937 rng(seed);
  std::string t;
  for (int k = 0; k < taxa; ++k) t += "\tt" + std::to_string(k + 1);
  t += "\n";
  for (int b = 0; b < 3; ++b) {
    t += "E" + std::to_string(b) + (frequencies ? "\n" : "\t6\n");
    for (int f = 0; f < markers; ++f) {
      t += std::to_string(100 + f);
      for (int k = 0; k < taxa; ++k)
        t += frequencies ? "\t0." + std::to_string(rng() % 1000) : ((rng() % 3) ? "\t1" : "\t0");
      t += "\n";
    }
  }
  return t;
}

struct Case {
  std::string table;
  Coefficient coefficient;
  TreeMethod method;
  Resampling resampling;
  int taxaLeftOut, replicates, cancelAt;
  bool keepTrees;
};

struct CancelAt : ProgressSink {
  int at = 0, position = 0;
  void setPosition(int p) override { position = p; }
  bool processMessages() override { return at > 0 && position >= at; }
};

struct Outcome {
  std::vector<std::string> trees, statistics;
  std::vector<int32_t> support;
  int32_t built = 0;
  std::size_t kept = 0;
  uint32_t seed = 0;
  std::vector<int32_t> order;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

// One run; `saved` collects the bytes of a checkpoint after every replicate.
Outcome run(const Case& c, int threads, const RunSnapshot* from, std::vector<std::string>* saved) {
  Session s(11);
  s.readTable(c.table, '.');
  s.chooseCoefficient(c.coefficient);
  s.chooseMethod(c.method);
  ResamplingPlan plan;
  plan.method = c.resampling;
  plan.replicates = c.replicates;
  plan.taxaLeftOut = c.taxaLeftOut;
  plan.threads = threads;
  plan.keepReplicateTrees = c.keepTrees;
  CancelAt cancel;
  cancel.at = c.cancelAt;
  RunHooks hooks;
  hooks.resumeFrom = from;
  hooks.schedule = {0, 1};
  if (saved)
    hooks.save = [saved](const RunSnapshot& snap) { saved->push_back(encodeCheckpoint({}, snap)); };
  const ResamplingResult& r = s.resample(plan, &cancel, &hooks);
  Outcome o;
  o.trees = treeListLines(r, s.data().taxa);
  o.statistics = statisticsLines(r, s.comparedTree(), s.data().taxa);
  o.support = r.unrooted.splitSupport;
  o.built = r.built;
  o.kept = r.replicates.size();
  o.seed = s.seed();
  o.order = s.taxonOrder();
  return o;
}

TEST(Checkpoint, ResumingAfterAnyReplicateEndsAsTheWholeRun) {
  using C = Coefficient;
  using M = TreeMethod;
  using R = Resampling;
  const std::string pa = table(3, 9, 5, false), fr = table(4, 8, 3, true);
  const std::vector<Case> cases = {
      {pa, C::Dice, M::NeighborJoining, R::Bootstrap, 0, 30, 0, true},
      {pa, C::Jaccard, M::Upgma, R::TaxonJackknife, 2, 25, 0, false},
      {pa, C::Dice, M::NeighborJoining, R::Users, 1, 40, 17, false},
      {pa, C::NucleotideDivergence, M::NeighborJoining, R::TaxonJackknife, 2, 20, 0, false},
      {fr, C::NeiStandard, M::Upgma, R::TaxonJackknife, 1, 30, 0, true},
      {fr, C::Rogers, M::NeighborJoining, R::Rearrangement, 0, 30, 12, false},
  };
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    std::vector<std::string> saved;
    const Outcome whole = run(c, 1, nullptr, &saved);
    ASSERT_EQ(saved.size(), static_cast<std::size_t>(whole.built)) << k;
    for (const std::size_t at : {std::size_t{0}, saved.size() / 2, saved.size() - 1}) {
      const RunSnapshot snap = decodeCheckpoint(saved[at], {}, "ck");
      EXPECT_EQ(snap.taken, static_cast<int32_t>(at + 1));
      for (const int threads : {1, 3})
        EXPECT_EQ(run(c, threads, &snap, nullptr), whole) << "case " << k << " from " << at + 1;
    }
  }
}

TEST(Checkpoint, ForeignOrDamagedCheckpointsAreRefused) {
  const Case c{table(5, 6, 4, false), Coefficient::Dice, TreeMethod::NeighborJoining,
               Resampling::Bootstrap, 0, 4, 0, true};
  std::vector<std::string> saved;
  run(c, 1, nullptr, &saved);
  RunSnapshot snap = decodeCheckpoint(saved.back(), {}, "ck");
  const CheckpointIdentity mine{digestOf("table"), 5, {{"--seed", "0"}, {"--replicates", "4"}}};
  const std::string bytes = encodeCheckpoint(mine, snap);

  auto message = [&](std::string_view b, const CheckpointIdentity& id) {
    try {
      decodeCheckpoint(b, id, "run.ck");
    } catch (const CheckpointError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(message(bytes, mine), "");
  CheckpointIdentity other = mine;
  other.settings[1].second = "9";
  EXPECT_EQ(message(bytes, other),
            "The checkpoint run.ck was made with other settings: --replicates 4 there, 9 here.");
  other = mine;
  other.inputDigest ^= 1;
  EXPECT_NE(message(bytes, other).find("was made from other data"), std::string::npos);
  EXPECT_NE(message(bytes.substr(0, bytes.size() - 3), mine).find("is damaged"), std::string::npos);
  EXPECT_NE(message("nonsense", mine).find("is not a checkpoint"), std::string::npos);

  // Any byte changed, the digest made to fit: refused or read, never a crash.
  int refused = 0;
  for (std::size_t at = 21; at + 8 < bytes.size(); ++at) {
    std::string bad = bytes.substr(0, bytes.size() - 8);
    bad[at] = static_cast<char>(bad[at] ^ 0x41);
    const uint64_t d = digestOf(bad);
    bad.append(reinterpret_cast<const char*>(&d), sizeof d);
    const std::string m = message(bad, mine);
    if (!m.empty()) ++refused;
    bad[at + 1] = static_cast<char>(bad[at + 1] ^ 0xff);
    EXPECT_NE(message(bad, mine), "") << "digest not checked at " << at;
  }
  EXPECT_GT(refused, static_cast<int>(bytes.size() / 3));
}

}  // namespace
}  // namespace ramovia
