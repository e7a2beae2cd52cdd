// The two tree builders as free functions over explicit inputs and a caller-owned workspace, so
// that several builds can run side by side (one workspace each). They keep no state of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "model/matrix.h"
#include "model/names.h"
#include "model/progress.h"
#include "tree/tree.h"
#include "tree/tree_method.h"

namespace ramovia {

// The taxa of the matrix rows 1..n: row i is taxa[i - 1], named names[i - 1].
struct RowTaxa {
  std::span<const int32_t> taxa;
  std::span<const Name* const> names;
};

// A slot's list of partner slots for the pruned neighbor-joining search: [head, sorted) sorted by
// distance, [sorted, end) not yet, none of it below the sorted part. keys[e] is a lower bound of
// the sort key of the sorted entry e, kept beside it so that a scan reads the matrix only for the
// entries it cannot rule out.
struct SortedRow {
  uint16_t* data = nullptr;
  float* keys = nullptr;
  uint32_t head = 0, sorted = 0, end = 0;
};

// Doubles left unset, on large pages where the system grants them: the pruned UPGMA reads its
// triangle across rows as well, a page per row, and small pages would miss the address cache.
class LargeCells {
 public:
  double* data() { return cells_.get(); }
  // Room for at least count doubles; the contents are lost.
  void resize(std::size_t count);

 private:
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::unique_ptr<double[], Free> cells_;
  std::size_t size_ = 0;
};

// Scratch of one build. Grows to the largest taxon count seen and is reused, so a build allocates
// nothing but its tree once the workspace has grown.
struct TreeWorkspace {
  std::vector<double> sums;     // UPGMA: sums of K of one cluster against the others
  SquareMatrix C;               // UPGMA: the means
  std::vector<int> order;       // slot at each list position
  std::vector<int> slotOf;      // NJ: slot -> position
  std::vector<int> mass;        // leaf count per slot
  std::vector<int> rowPartner;  // UPGMA: best partner per slot, 0 = to be recomputed
  std::vector<double> rowBest;  // UPGMA: best value per slot; NJ: least filter value per slot
  std::vector<double> r;        // NJ: net divergences per slot
  std::vector<double> approx;   // NJ: net divergences kept up to date approximately
  std::vector<double> scaled;   // NJ: the same over n - 2
  std::vector<int> stamp;       // NJ: the step r was computed in, per slot
  std::vector<uint64_t> candidates;  // NJ: position pairs the filter lets through
  LargeVector<double> cells;    // NJ: the working matrix by slot, rows padded to 8 doubles
  std::vector<double> fresh;    // NJ: the new cluster's distances
  std::vector<int> pool;        // UPGMA: the taxa of each cluster, ascending, one run per slot
  std::vector<int> poolSpare;   // UPGMA: where the pool is compacted into
  std::vector<int> runStart;    // UPGMA: start of each slot's run in the pool
  std::vector<int> multi;       // UPGMA: the live slots of more than one taxon
  std::vector<int> leaves;      // UPGMA: the live one-taxon slots, when few
  std::vector<double> runSum;   // UPGMA: running sums against the slots of multi
  std::vector<int32_t> node;    // the tree node of the cluster in each slot
  std::vector<const Name*> label;  // the smallest leaf name of the cluster in each slot
  std::vector<double> height;   // UPGMA: per node, its left height once its branch is set
  LargeCells means;             // UPGMA, pruned: kept means per slot pair, one triangle
  std::vector<int> rank;        // UPGMA, pruned: each slot's place in the working list
  std::vector<double> rowSecond;  // UPGMA, pruned: per slot, a bound on its pairs but the best
  std::vector<double> candidateU;           // NJ: the filter value of each candidate
  std::vector<SortedRow> sortedRows;        // NJ, pruned: per slot
  LargeVector<uint16_t> leafRows;           // NJ, pruned: the leaf slots' lists, one run each
  std::vector<std::vector<uint16_t>> joinedRows;  // NJ, pruned: the joined clusters' lists
  LargeVector<float> leafKeys;              // NJ, pruned: the keys beside leafRows
  std::vector<std::vector<float>> joinedKeys;  // NJ, pruned: the keys beside joinedRows
  std::vector<uint64_t> sortScratch;        // NJ, pruned: a list's keys and slots while sorted
  std::vector<int> birth;                   // NJ, pruned: the step each slot's cluster was made
  std::vector<double> rowFloor;             // NJ, pruned: least key left in each list
  std::vector<double> baseX;                // NJ, pruned: each slot's x when its keys were set
  std::vector<int> exactDue;                // NJ: the slots whose exact sums a step still needs
  // Polled at the start and at every join: once set, the build ends with ComputationStopped.
  const std::atomic<bool>* stop = nullptr;

  void reserve(int n);
};

// UPGMA over rows 1..n of K. With isDistance the smallest mean is joined, otherwise the largest.
// n = 0 throws ListIndexError(0); a matrix with room for fewer than n taxa throws
// std::invalid_argument.
Tree buildUpgma(const SquareMatrix& K, int n, RowTaxa rows, bool isDistance, TreeWorkspace& ws);

// Neighbor-joining over the distances of rows 1..n of K, rooted at the last join. Same inputs and
// failures as buildUpgma.
Tree buildNeighborJoining(const SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws);

// The same tree, working in K's own rows 1..n (their contents are used up) rather than in a
// copy, so that a large matrix is held once.
Tree buildNeighborJoiningInPlace(SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws);

// The tree of the method (None: an empty tree).
Tree buildTree(TreeMethod method, const SquareMatrix& K, int n, RowTaxa rows, bool isDistance,
               TreeWorkspace& ws);

namespace tree_detail {
void checkBuildInput(const SquareMatrix& K, int n);
// The leaves of rows 1..n as nodes 0..n - 1, each cluster in the slot of its row.
void startClusters(Tree& tree, int n, RowTaxa rows, int firstSlot, TreeWorkspace& ws);
// Joins the clusters in slots p and q into a new node kept in slot p: Left has more leaves or, on
// equal counts, the smaller name (q's when the names are equal); its label is the smaller name.
void joinClusters(Tree& tree, int p, int q, TreeWorkspace& ws);
// Neighbor-joining with the pruned pair search from prunedFrom taxa on (tests try it small), and
// with the kernels of a vector width: 0 this processor's best, 1 portable, 4 AVX2, 8 AVX-512F at
// every size (each only where the processor runs it).
Tree buildNeighborJoiningWith(const SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws,
                              int prunedFrom, int lanes = 0);
// UPGMA with the pruned pair search from prunedFrom taxa on.
Tree buildUpgmaWith(const SquareMatrix& K, int n, RowTaxa rows, bool isDistance, TreeWorkspace& ws,
                    int prunedFrom);
}  // namespace tree_detail

}  // namespace ramovia
