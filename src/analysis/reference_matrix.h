// The matrix of a coefficient over all taxa and markers, as the matrix page shows it.
#pragma once

#include <cstdint>
#include <vector>

#include "distance/coefficient.h"
#include "model/dataset.h"
#include "model/matrix.h"
#include "model/progress.h"
#include "model/random.h"
#include "tree/tree_method.h"

namespace ramovia {

// The matrix over `taxa` (in that order), into `out`. Allele frequencies are summed over each
// locus' alleles in an order drawn afresh; the nucleotide divergence draws that order per block
// too, though it counts the markers in their own order.
void computeReferenceMatrix(const Dataset& data, Coefficient c, TreeMethod method,
                            const std::vector<int32_t>& taxa, Random& random, SquareMatrix& out,
                            ProgressSink* progress = nullptr);

// Bytes the matrices of that computation need.
uint64_t referenceMatrixBytes(const Dataset& data, Coefficient c);

}  // namespace ramovia
