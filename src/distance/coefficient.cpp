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

}  // namespace ramovia
