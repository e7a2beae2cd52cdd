// A resampling run gives the same trees, statistics and state for any number of worker threads,
// cancelled or not.
#include <gtest/gtest.h>

#include <random>

#include "resampling/analysis.h"
#include "resampling/random.h"
#include "resampling/replicate_runner.h"

namespace ramovia {
namespace {

std::string PresenceTable(uint32_t seed, int taxa, int blocks, int perBlock, bool gaps) {
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

std::string FrequencyTable(uint32_t seed, int taxa, int loci) {
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
  std::vector<std::string> trees, memo, druhy;
  std::string refText;
  uint32_t seed = 0;
  std::vector<double> koef;
  std::string error;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

struct CancelAt : ProgressSink {
  TEnzym* e = nullptr;
  int at = 0, position = 0;
  void SetPosition(int p) override { position = p; }
  void ProcessMessages() override {
    if (at > 0 && position >= at) {
      e->BreakRandomTrees();
      at = 0;
    }
  }
};

Outcome RunOnce(const std::string& table, const std::string& coefficient, TEnzymTreeType type,
                int method, int taxa, int fragments, int repeats, int threads, int cancelAt) {
  SetReplicateThreads(threads);
  SetRandomSeed(77);
  Analysis a;
  a.GetFromText(table);
  a.ChooseCoefficient(coefficient);
  a.ChooseMethod(type);
  a.ChooseResamplingMethod(method);
  a.TaxaLeftOut = taxa;
  a.FragmentsLeftOut = fragments;
  a.RepeatCount = repeats;
  CancelAt cancel;
  cancel.e = a.Enzym.get();
  cancel.at = cancelAt;
  Outcome o;
  try {
    a.Run(&cancel);
    // A second run continues from the state the first one left.
    a.Run(nullptr);
  } catch (const std::exception& ex) {
    o.error = ex.what();
  }
  o.trees = a.TreeLines;
  o.memo = a.MemoLines;
  o.refText = a.Enzym->RefTreeText;
  o.seed = GetRandomSeed();
  for (const auto& d : a.Enzym->Druhy) o.druhy.push_back(d->Name.str());
  const int n = static_cast<int>(a.Enzym->Druhy.size());
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i != j) o.koef.push_back(a.Enzym->GetDistance(i, j));
  SetReplicateThreads(0);
  return o;
}

struct Case {
  std::string name, table, coefficient;
  TEnzymTreeType type;
  int method, taxa, fragments, repeats, cancelAt;
};

TEST(Replicates, SameResultsForOneTwoAndSevenThreads) {
  const std::string pa = PresenceTable(5, 9, 3, 6, true);
  const std::string fr = FrequencyTable(6, 8, 4);
  const std::vector<Case> cases = {
      {"dice bootstrap", pa, "A - Nei and Li / Dice", ettNbJoin, 0, 0, 0, 60, 0},
      {"jaccard upgma jackknife", pa, "B - Jaccard", ettUPGMA, 1, 0, 3, 45, 0},
      {"ochiai otu", pa, "J - Ochiai", ettNbJoin, 2, 3, 0, 40, 0},
      {"sokal users", pa, "I - Sokal and Sneath 3", ettUPGMA, 4, 2, 2, 33, 0},
      {"dice cancelled", pa, "A - Nei and Li / Dice", ettUPGMA, 0, 0, 0, 500, 7},
      {"nucleotide bootstrap", pa, "N - Nucleotide divergence", ettNbJoin, 0, 0, 0, 30, 0},
      {"nucleotide otu upgma", pa, "N - Nucleotide divergence", ettUPGMA, 2, 2, 0, 30, 0},
      {"nucleotide cancelled", pa, "N - Nucleotide divergence", ettNbJoin, 2, 1, 0, 40, 9},
      {"nei upgma", fr, "R - Nei's standard distance Ds", ettUPGMA, 0, 0, 0, 40, 0},
      {"cavalli otu", fr, "X - Cavalli-Sforza, Edvards", ettNbJoin, 2, 2, 0, 40, 0},
      {"prevosti cancelled", fr, "W - Prevosti", ettNbJoin, 3, 0, 0, 50, 4},
  };
  for (const Case& c : cases) {
    const Outcome one = RunOnce(c.table, c.coefficient, c.type, c.method, c.taxa, c.fragments,
                                c.repeats, 1, c.cancelAt);
    EXPECT_TRUE(one.error.empty()) << c.name << ": " << one.error;
    EXPECT_FALSE(one.trees.empty()) << c.name;
    for (int threads : {2, 7}) {
      const Outcome many = RunOnce(c.table, c.coefficient, c.type, c.method, c.taxa, c.fragments,
                                   c.repeats, threads, c.cancelAt);
      EXPECT_EQ(many, one) << c.name << " with " << threads << " threads";
    }
  }
}

TEST(Replicates, CancelledRunCountsTheSameTreesAsWithOneThread) {
  const std::string pa = PresenceTable(8, 7, 2, 5, false);
  for (int threads : {1, 2, 7}) {
    SetReplicateThreads(threads);
    SetRandomSeed(0);
    Analysis a;
    a.GetFromText(pa);
    a.ChooseCoefficient("R - Nei's standard distance Ds");
    a.ChooseMethod(ettNbJoin);
    a.ChooseResamplingMethod(0);
    a.RepeatCount = 100;
    CancelAt cancel;
    cancel.e = a.Enzym.get();
    cancel.at = 10;
    a.Run(&cancel);
    int total = 0;
    for (const auto& t : a.Enzym->TreeList) total += t->Num;
    EXPECT_EQ(total, 11) << threads;
  }
  SetReplicateThreads(0);
}

TEST(Replicates, AFailingDrawStopsAfterTheEarlierReplicatesWithAnyThreads) {
  const std::string pa = PresenceTable(9, 6, 2, 8, false);
  std::vector<std::string> first;
  for (int threads : {1, 2, 7}) {
    SetReplicateThreads(threads);
    SetRandomSeed(3);
    Analysis a;
    a.GetFromText(pa);
    a.ChooseCoefficient("A - Nei and Li / Dice");
    a.ChooseMethod(ettNbJoin);
    // Leaving out every taxon fails in the first replicate's draws, as the run loop meets it.
    EXPECT_THROW(a.RandomTrees(a.Enzym->FragmentCount(), 20, 6, true, nullptr), ListIndexError);
    EXPECT_EQ(a.Enzym->TreeCount(), 0);
    EXPECT_FALSE(a.Enzym->UseRedukovaneDruhy);
    std::vector<std::string> order;
    for (const auto& d : a.Enzym->Druhy) order.push_back(d->Name.str());
    order.push_back(std::to_string(GetRandomSeed()));
    if (first.empty()) first = order;
    EXPECT_EQ(order, first) << threads;
  }
  SetReplicateThreads(0);
}

}  // namespace
}  // namespace ramovia
