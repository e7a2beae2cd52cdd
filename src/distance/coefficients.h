// The presence/absence similarities A, B, D, G, I, J and the nucleotide divergence N, computed
// from pair tables into a coefficient matrix.
//
// TEnzym::PrepareKoef and TEnzym::PrepareSimilarityTbl are the data-set methods; the free
// functions below are the same computation with explicit inputs, safe to run on any thread as
// long as each thread writes its own matrix and uses its own SampleExpansion.
#pragma once

#include <cstdint>
#include <vector>

#include "distance/pair_table.h"
#include "model/enzym.h"
#include "model/matrix.h"
#include "model/progress.h"

namespace ramovia {

// S of `letter` for one pair table; 0 for a value that cannot be computed (zero denominator,
// logarithm of zero, SiteLength 0, any non-finite result) and for a letter that is none of
// A B D G I J N. `replicatePrecision` selects the convergence test of N: six decimals
// (resampling replicate) instead of five (reference matrix).
double SimilarityOf(char letter, const PairCounts& t, bool replicatePrecision, double siteLength);

// What the matrix holds for similarity s: s under UPGMA, the distance 1 - s under neighbor-joining.
inline double StoredSimilarity(double s, TEnzymTreeType type) {
  return type == ettNbJoin ? 1.0 - s : s;
}

// Fills out(i, j) and out(j, i) for 1 <= i < j <= TaxonCount() of the expansion (taxa in the
// order given to its Assign) and writes -1.0 into out(i, i) for i = 1 .. TaxonCount() - 1. Grows
// `out` when it is too small; otherwise allocates nothing. A non-null `progress` gets
// SetRange(0, N), SetPosition(0), then SetPosition(i) after each finished row i.
void ComputeSimilarityMatrix(const SampleExpansion& sample, char letter, TEnzymTreeType type,
                             bool replicatePrecision, double siteLength, SquareMatrix& out,
                             ProgressSink* progress = nullptr);

// The active taxon list of a data set, in order.
std::vector<const TDruh*> ActiveTaxonList(const TEnzym& enzym);

}  // namespace ramovia
