#include "distance/coefficient.h"

namespace ramovia {

namespace {

using enum Coefficient;
using enum CoefficientFamily;

constexpr CoefficientInfo kCoefficients[] = {
    {Dice, 'A', "A - Nei and Li / Dice", Presence, false},
    {Jaccard, 'B', "B - Jaccard", Presence, false},
    {SokalSneath1, 'G', "G - Sokal and Sneath 1 / Anderbeg", Presence, false},
    {SokalSneath3, 'I', "I - Sokal and Sneath 3", Presence, false},
    {Ochiai, 'J', "J - Ochiai", Presence, false},
    {Kulczynski2, 'D', "D - Kulczynski 2", Presence, false},
    {NucleotideDivergence, 'N', "N - Nucleotide divergence", Divergence, false},
    {NeiStandard, 'R', "R - Nei's standard distance Ds", AlleleFrequency, true},
    {NeiMinimal, 'S', "S - Nei's minimal distance Dm", AlleleFrequency, true},
    {LatterFst, 'T', "T - Latter Fst", AlleleFrequency, true},
    {Reynolds, 'U', "U - Reynolds ", AlleleFrequency, true},
    {Rogers, 'V', "V - Rogers", AlleleFrequency, true},
    {Prevosti, 'W', "W - Prevosti", AlleleFrequency, true},
    {CavalliSforzaEdwards, 'X', "X - Cavalli-Sforza, Edvards", AlleleFrequency, true},
    {NeiDa, 'Y', "Y - Nei Da", AlleleFrequency, true},
    {Sanghvi, 'Z', "Z - Sanghvi", AlleleFrequency, true},
};

}  // namespace

std::span<const CoefficientInfo> allCoefficients() { return kCoefficients; }

const CoefficientInfo& describe(Coefficient c) {
  for (const CoefficientInfo& info : kCoefficients)
    if (info.id == c) return info;
  return kCoefficients[0];
}

std::optional<Coefficient> coefficientForLetter(char letter) {
  for (const CoefficientInfo& info : kCoefficients)
    if (info.letter == letter) return info.id;
  return std::nullopt;
}

std::string coefficientKindWarning(Coefficient c, bool frequencies) {
  const bool forFrequencies = familyOf(c) == CoefficientFamily::AlleleFrequency;
  if (forFrequencies == frequencies) return {};
  const std::string letter(1, describe(c).letter);
  if (frequencies)
    return "The coefficient " + letter +
           " is made for presence/absence data, but the table holds allele frequencies (R to Z "
           "are made for them).";
  return "The coefficient " + letter +
         " is made for allele frequencies, but the table holds presence/absence data (A to N are "
         "made for it).";
}

}  // namespace ramovia
