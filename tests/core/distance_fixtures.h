// Data sets for the distance tests, built directly through the model: per-block data sets in an
// Analysis' Loci and the merged data set in Enzym, as the table reader leaves them.
#pragma once

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "distance/pair_table.h"
#include "model/enzym.h"
#include "resampling/analysis.h"

namespace ramovia::fixtures {

// A cell without a fragment.
inline constexpr double kNo = std::numeric_limits<double>::quiet_NaN();

inline std::unique_ptr<TFragment> Fragment(int32_t num, int32_t enzymId, double value,
                                           const std::string& name) {
  auto f = std::make_unique<TFragment>();
  f->Num = num;
  f->EnzymId = enzymId;
  f->Value = value;
  f->Name = name;
  f->Reference = kTrue16;
  return f;
}

inline TDruh* AddTaxon(TEnzym& e, const std::string& name) {
  auto d = std::make_unique<TDruh>();
  d->Name = name;
  TDruh* raw = d.get();
  e.AddDruh(std::move(d));
  return raw;
}

inline TDruh* FindTaxon(const TEnzym& e, const std::string& name) {
  for (const auto& d : e.Druhy)
    if (d->Name == std::string_view(name)) return d.get();
  return nullptr;
}

// Builds blocks one by one; each data line of the whole table gets the next number.
class TableBuilder {
 public:
  explicit TableBuilder(Analysis& analysis) : an_(analysis) {}

  // cells[t][row]: the value of taxon names[t] on the block's row `row`, kNo for none. A taxon
  // listed here takes part in the block (has data); `labels` name the rows (default: their Num).
  int32_t AddBlock(const std::vector<std::string>& names,
                   const std::vector<std::vector<double>>& cells, double siteLength = 0.0,
                   std::vector<std::string> labels = {}) {
    auto block = std::make_unique<TEnzym>();
    const auto id = static_cast<int32_t>(an_.Loci.size());
    block->EnzymId = id;
    block->SiteLength = siteLength;
    const std::size_t rows = cells.empty() ? 0 : cells.front().size();
    const int32_t first = nextNum_;
    nextNum_ += static_cast<int32_t>(rows);
    for (std::size_t t = 0; t < names.size(); ++t) {
      TDruh* d = AddTaxon(*block, names[t]);
      for (std::size_t r = 0; r < rows; ++r) {
        if (std::isnan(cells[t][r])) continue;
        const int32_t num = first + static_cast<int32_t>(r);
        const std::string label = r < labels.size() ? labels[r] : std::to_string(num);
        d->AddFragment(Fragment(num, id, cells[t][r], label));
      }
    }
    block->PrepareFragmentList();
    an_.Loci.push_back(std::move(block));
    return id;
  }

  // The merged data set: taxa in order of first appearance, their fragments copied, and the id
  // of every block they take no part in recorded as forbidden.
  void Merge() {
    TEnzym& m = *an_.Enzym;
    m.Clear();
    m.SiteLength = 0.0;
    for (const auto& block : an_.Loci) {
      m.SiteLength += block->SiteLength;
      for (const auto& d : block->Druhy)
        if (FindTaxon(m, d->Name.str()) == nullptr) AddTaxon(m, d->Name.str());
    }
    for (const auto& taxon : m.Druhy) {
      for (const auto& block : an_.Loci) {
        const TDruh* d = FindTaxon(*block, taxon->Name.str());
        if (d == nullptr) {
          taxon->AddForbiddenEnzym(block->EnzymId);
          continue;
        }
        for (const auto& f : d->Fragmenty)
          taxon->AddFragment(Fragment(f->Num, f->EnzymId, f->Value, f->Name.str()));
      }
    }
    m.PrepareFragmentList();
  }

 private:
  Analysis& an_;
  int32_t nextNum_ = 1;
};

// Presence/absence data set made at random, with the awkward cases the reader can produce:
// blocks a taxon has no data for (sometimes while still holding fragments of them, as two names
// merged by the 20-character cut do), repeated numbers, forbidden texts that name no block, and
// sparse numbers.
inline void RandomPresenceSet(TEnzym& e, std::mt19937& rng, int taxa, int blocks, int perBlock) {
  e.Clear();
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const bool sparse = u(rng) < 0.3;
  const double density = 0.15 + 0.7 * u(rng);
  std::vector<std::vector<int32_t>> nums(static_cast<std::size_t>(blocks));
  int32_t next = 1;
  for (auto& list : nums) {
    for (int k = 0; k < perBlock; ++k) {
      list.push_back(next);
      next += sparse ? 1 + static_cast<int32_t>(u(rng) * 100000) : 1;
    }
  }
  for (int t = 0; t < taxa; ++t) {
    TDruh* d = AddTaxon(e, "T" + std::to_string(t));
    for (int b = 0; b < blocks; ++b) {
      const bool forbidden = u(rng) < 0.2;
      if (forbidden) d->AddForbiddenEnzym(b);
      if (forbidden && u(rng) < 0.6) continue;  // merged names keep some of it
      for (int32_t num : nums[static_cast<std::size_t>(b)]) {
        if (u(rng) >= density) continue;
        d->AddFragment(Fragment(num, b, 1.0, std::to_string(num)));
        if (u(rng) < 0.05) d->AddFragment(Fragment(num, b, 1.0, std::to_string(num)));
      }
    }
    if (u(rng) < 0.1) d->ForbiddenEnzyms.push_back("0" + std::to_string(blocks - 1));
    if (u(rng) < 0.1) d->AddForbiddenEnzym(blocks + 7);
    if (u(rng) < 0.1 && blocks > 0) d->AddForbiddenEnzym(0);  // twice
  }
  e.PrepareFragmentList();
}

}  // namespace ramovia::fixtures
