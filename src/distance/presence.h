// The presence/absence similarities A, B, D, G, I, J and the nucleotide divergence N, computed
// from pair tables into a matrix. Safe to run on any thread as long as each thread writes its own
// matrix and uses its own SampleExpansion.
#pragma once

#include "distance/coefficient.h"
#include "distance/pair_table.h"
#include "model/matrix.h"
#include "model/progress.h"

namespace ramovia {

// S of the coefficient for one pair table; 0 for a value that cannot be computed (zero
// denominator, logarithm of zero, site length 0, any non-finite result) and for a coefficient of
// another family. `replicatePrecision` selects the convergence test of N: six decimals (resampling
// replicate) instead of five (reference matrix).
double similarityOf(Coefficient c, const PairCounts& t, bool replicatePrecision,
                    double siteLength);

// What a matrix holds for similarity s: s itself, or the distance 1 - s for a builder that wants
// distances (neighbor-joining).
inline double storedSimilarity(double s, bool storeDistances) {
  return storeDistances ? 1.0 - s : s;
}

// Fills out(i, j) and out(j, i) for 1 <= i < j <= rowCount() of the expansion (rows in the order
// given to its assign) and writes -1.0 into out(i, i) for i = 1 .. rowCount() - 1. Grows `out`
// when it is too small; otherwise allocates nothing. A non-null `progress` gets setRange(0, N),
// setPosition(0), then setPosition(i) after each finished row i.
void computeSimilarityMatrix(const SampleExpansion& sample, Coefficient c, bool storeDistances,
                             bool replicatePrecision, double siteLength, SquareMatrix& out,
                             ProgressSink* progress = nullptr);

}  // namespace ramovia
