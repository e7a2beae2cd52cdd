// The comparisons of a session's matrix and reference tree with a second matrix or tree.
#pragma once

#include "analysis/comparison.h"
#include "analysis/session.h"

namespace ramovia {

// The session's matrix as distances (1 - S of similarities), named by the taxa, in matrix order.
// Throws ComparisonError when there is no matrix.
DistanceTable matrixDistances(const Session& session);

// The reference tree against its matrix.
Correlation copheneticOf(const Session& session);

// Robinson-Foulds between the session's reference tree and another over the same taxa: clusters
// under UPGMA, splits otherwise or when the other tree's root has more than two branches.
TreeDistance treeDistanceTo(const Session& session, const FlatTree& other);

// The matrix (as distances) and the tree of another coefficient on the session's data, by the
// session's method, over the matrix's taxa, with its own generator started at `seed`.
struct OtherAnalysis {
  DistanceTable distances;
  Tree tree;
};
OtherAnalysis analyseWith(const Session& session, Coefficient c, uint32_t seed);

}  // namespace ramovia
