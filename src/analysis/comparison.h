// How a tree fits its matrix, and how two matrices or two trees agree: the cophenetic
// correlation, the Mantel test and the Robinson-Foulds distance.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/ordination.h"
#include "tree/tree.h"

namespace ramovia {

struct Correlation {
  double r = 0.0;
  int64_t pairs = 0;
};

// Pearson's r between the path lengths of `tree` and the distances, over every pair of the
// table's taxa; row i of the table is taxon rowTaxa[i] of the tree's leaves. Needs three taxa or
// more and distances and path lengths that are not all equal.
Correlation copheneticCorrelation(const Tree& tree, const DistanceTable& d,
                                  std::span<const int32_t> rowTaxa);

struct MantelResult {
  double r = 0.0;
  double p = 1.0;  // (permutations with r at least the observed one + 1) / (permutations + 1)
  int32_t permutations = 0;
  int64_t pairs = 0;
};

// Pearson's r between the lower triangles of two tables of the same taxa in the same order, and
// its permutation p-value: permutation k permutes the rows and columns of `y` by a shuffle drawn
// from a generator started at `seed` (each shuffle takes n - 1 draws, after those of the
// shuffles before it), so the result is the same for any number of threads.
MantelResult mantelTest(const DistanceTable& x, const DistanceTable& y, int32_t permutations,
                        uint32_t seed, int threads = 0);

// The second table over the first's taxa and in their order, matched by name. Throws
// ComparisonError listing the taxa that one of them lacks.
DistanceTable alignedTo(const DistanceTable& reference, const DistanceTable& other,
                        const std::string& what);

struct TreeDistance {
  int32_t rf = 0;             // groups in one tree and not in the other, both ways
  double rfNormalised = 0.0;  // rf over the groups of both trees (0 when they have none)
  bool rooted = false;        // clusters of the rooted trees rather than splits
  int32_t groupsA = 0, groupsB = 0;
};

// A tree of any degree, flat: every node after its children, the root last. A leaf has a taxon
// (0 .. taxonCount - 1), an inner node -1.
struct FlatTree {
  std::vector<int32_t> parent;  // -1 at the root
  std::vector<int32_t> taxon;
};
FlatTree flatten(const Tree& tree);

// The non-trivial groups of a tree over every taxon, as sorted, distinct bit sets: under
// `rooted` its clusters (two taxa or more, not all), otherwise its splits (by the side without
// taxon 0, both sides of two taxa or more).
struct TaxonGroups {
  int words = 1;
  std::vector<uint64_t> bits;
  int32_t size() const { return static_cast<int32_t>(bits.size() / static_cast<std::size_t>(words)); }
};
TaxonGroups treeGroups(const FlatTree& tree, int32_t taxonCount, bool rooted);
TreeDistance robinsonFoulds(const TaxonGroups& a, const TaxonGroups& b, bool rooted);

}  // namespace ramovia
