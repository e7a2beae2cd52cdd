// Principal coordinates of a distance matrix: Gower's centring of -d²/2, its eigenvalues, and
// the taxa placed on the axes of the largest positive ones.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ramovia {

class ComparisonError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A symmetric matrix of distances between n taxa, row-major n × n, with the taxa's names.
struct DistanceTable {
  std::vector<std::string> names;
  std::vector<double> cells;
  int32_t size() const { return static_cast<int32_t>(names.size()); }
  double operator()(int32_t i, int32_t j) const {
    return cells[static_cast<std::size_t>(i) * names.size() + static_cast<std::size_t>(j)];
  }
};

// Throws ComparisonError naming the first cell (row, column, both taxa) that is not a finite
// number, or that differs from its mirror image.
void checkDistances(const DistanceTable& d, const std::string& what);

enum class PcoaCorrection { None, Lingoes, Cailliez };
const char* correctionKeyword(PcoaCorrection c);

struct PcoaResult {
  PcoaCorrection correction = PcoaCorrection::None;
  double constant = 0.0;            // the correction's constant (0 without one)
  std::vector<double> eigenvalues;  // all n, largest first
  std::vector<double> explained;    // each eigenvalue's share of their sum (the trace)
  int32_t negativeCount = 0;        // eigenvalues below the rounding noise's bound
  // coordinates[t][k]: taxon t on axis k + 1, for the first `axes` positive eigenvalues. Each
  // axis is turned so that its coordinate of largest magnitude is positive (the first such taxon
  // in matrix order among equals).
  std::vector<std::vector<double>> coordinates;
  int32_t axes = 0;
};

// Needs three taxa or more. `maxAxes` limits the axes placed (0: every positive one).
PcoaResult principalCoordinates(const DistanceTable& d, PcoaCorrection correction,
                                int32_t maxAxes = 10);

}  // namespace ramovia
