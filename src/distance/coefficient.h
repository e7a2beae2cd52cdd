// The sixteen coefficients: six presence/absence similarities, the nucleotide divergence and nine
// distances between allele frequencies.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ramovia {

enum class Coefficient : uint8_t {
  Dice,                  // A
  Jaccard,               // B
  SokalSneath1,          // G
  SokalSneath3,          // I
  Ochiai,                // J
  Kulczynski2,           // D
  NucleotideDivergence,  // N
  NeiStandard,           // R
  NeiMinimal,            // S
  LatterFst,             // T
  Reynolds,              // U
  Rogers,                // V
  Prevosti,              // W
  CavalliSforzaEdwards,  // X
  NeiDa,                 // Y
  Sanghvi,               // Z
};

// How a coefficient is computed: from pair tables over all blocks at once, per block from pair
// tables and then merged, or from the allele frequencies over all loci.
enum class CoefficientFamily : uint8_t { Presence, Divergence, AlleleFrequency };

struct CoefficientInfo {
  Coefficient id;
  char letter;
  const char* label;  // as the window lists it
  CoefficientFamily family;
  bool distance;  // a distance, where the others are similarities
};

// All sixteen, in the order the window lists them.
std::span<const CoefficientInfo> allCoefficients();
const CoefficientInfo& describe(Coefficient c);
std::optional<Coefficient> coefficientForLetter(char letter);
inline char letterOf(Coefficient c) { return describe(c).letter; }
inline CoefficientFamily familyOf(Coefficient c) { return describe(c).family; }
inline bool isDistance(Coefficient c) { return describe(c).distance; }

// Empty when the coefficient is made for the table's kind of data; otherwise what the user should
// hear (the result stands as computed).
std::string coefficientKindWarning(Coefficient c, bool frequencies);

}  // namespace ramovia
