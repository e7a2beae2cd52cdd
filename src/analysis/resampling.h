// The five resampling methods and what each of them lets the user set.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ramovia {

enum class Resampling : uint8_t { Bootstrap, Jackknife, TaxonJackknife, Rearrangement, Users };

// What choosing a method does to its settings (the window's controls follow it).
struct ResamplingRules {
  Resampling method;
  const char* label;    // as the window lists it
  const char* keyword;  // as the command line names it
  bool taxaLeftOut;     // the number of taxa to leave out applies
  bool taxaReset;       // choosing the method sets that number to 0 (otherwise it is kept)
  bool fragmentsLeftOut;     // the number of fragments to leave out applies (always reset to 0)
  bool differentFragments;   // the user decides whether fragments are drawn without replacement
  std::optional<bool> different;  // the value choosing the method sets; none: kept
};

// All five, in the order the window lists them.
std::span<const ResamplingRules> allResamplingMethods();
const ResamplingRules& rulesOf(Resampling method);
std::optional<Resampling> resamplingForKeyword(std::string_view keyword);
// Position in the window's list of five; the method at a position (ListIndexError outside 0..4).
int positionOf(Resampling method);
Resampling resamplingAt(int position);
// Users mixes the other methods freely; it is not offered for allele frequencies.
bool offeredFor(Resampling method, bool frequencies);

// The limits of a run's settings.
constexpr int32_t kMinReplicates = 1;
constexpr int32_t kMaxReplicates = 10000;
// The window's spin controls for the taxa and the fragments to leave out.
constexpr int32_t kMaxTaxaLeftOutControl = 5;
constexpr int32_t kMaxFragmentsLeftOutControl = 100;

// Empty when a run over `taxa` taxa may leave out `taxaLeftOut` of them (none, or fewer than all);
// otherwise the message that refuses it.
std::string taxaLeftOutProblem(int32_t taxaLeftOut, int32_t taxa);
// The same for the fragments: at least one must be left to draw.
std::string fragmentsLeftOutProblem(int32_t fragmentsLeftOut, int32_t fragments);
// Empty when the count of replicates is within the limits; otherwise the message.
std::string replicatesProblem(int32_t replicates);

}  // namespace ramovia
