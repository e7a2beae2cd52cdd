#include "analysis/resampling.h"

#include "model/names.h"

namespace ramovia {

namespace {

using enum Resampling;

constexpr ResamplingRules kMethods[] = {
    {Bootstrap, "Bootstrapping", "bootstrap", false, true, false, false, false},
    {Jackknife, "Jackknifing", "jackknife", false, true, true, false, true},
    {TaxonJackknife, "OTU based Jackknifing", "otu-jackknife", true, false, false, false, true},
    {Rearrangement, "Rearangement of taxa", "rearrangement", false, true, false, false, true},
    {Users, "Users", "users", true, false, true, true, std::nullopt},
};

}  // namespace

std::span<const ResamplingRules> allResamplingMethods() { return kMethods; }

const ResamplingRules& rulesOf(Resampling method) {
  return kMethods[static_cast<std::size_t>(positionOf(method))];
}

std::optional<Resampling> resamplingForKeyword(std::string_view keyword) {
  for (const ResamplingRules& r : kMethods)
    if (keyword == r.keyword) return r.method;
  return std::nullopt;
}

int positionOf(Resampling method) { return static_cast<int>(method); }

Resampling resamplingAt(int position) {
  if (position < 0 || position > 4) throw ListIndexError(position);
  return kMethods[position].method;
}

bool offeredFor(Resampling method, bool frequencies) { return !(frequencies && method == Users); }

std::string taxaLeftOutProblem(int32_t taxaLeftOut, int32_t taxa) {
  if (taxaLeftOut >= 0 && (taxaLeftOut == 0 || taxaLeftOut < taxa)) return {};
  return "Cannot leave out " + std::to_string(taxaLeftOut) + " taxa: the table has " +
         std::to_string(taxa) + (taxa == 1 ? " taxon" : " taxa");
}

std::string fragmentsLeftOutProblem(int32_t fragmentsLeftOut, int32_t fragments) {
  if (fragmentsLeftOut >= 0 && (fragmentsLeftOut == 0 || fragmentsLeftOut < fragments)) return {};
  return "Cannot leave out " + std::to_string(fragmentsLeftOut) + " fragments: the table has " +
         std::to_string(fragments) + (fragments == 1 ? " fragment" : " fragments");
}

std::string replicatesProblem(int32_t replicates) {
  if (replicates >= kMinReplicates && replicates <= kMaxReplicates) return {};
  return "The repetition count must be between " + std::to_string(kMinReplicates) + " and " +
         std::to_string(kMaxReplicates) + ".";
}

}  // namespace ramovia
