// The two tree builders as free functions over explicit inputs and a caller-owned workspace, so
// that several builds can run side by side (one workspace each). They keep no state of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/list_item.h"
#include "model/matrix.h"
#include "tree/tree_node.h"

namespace ramovia {

// Scratch of one build. Grows to the largest taxon count seen and is reused, so a build allocates
// nothing but its tree nodes once the workspace has grown.
struct TreeWorkspace {
  SquareMatrix W;               // UPGMA: sums of K per cluster pair
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
  std::vector<double> cells;    // NJ: the working matrix by slot, rows padded to 4 doubles
  std::vector<double> fresh;    // NJ: the new cluster's distances
  std::vector<int> pool;        // UPGMA: the taxa of each cluster, ascending, one run per slot
  std::vector<int> poolSpare;   // UPGMA: where the pool is compacted into
  std::vector<int> runStart;    // UPGMA: start of each slot's run in the pool
  std::vector<int> multi;       // UPGMA: the live slots of more than one taxon
  std::vector<int> leaves;      // UPGMA: the live one-taxon slots, when few
  std::vector<double> runSum;   // UPGMA: running sums against the slots of multi
  std::vector<std::unique_ptr<TKVTreeNodeItem>> clusters;  // by slot

  void Reserve(int n);
};

// UPGMA over taxa 1..n of K. names[i - 1] is the Name of taxon i; leaf i gets Num = i. With
// isDistance the smallest mean is joined, otherwise the largest. n = 0 throws ListIndexError(0);
// a matrix with room for fewer than n taxa throws std::invalid_argument.
std::unique_ptr<TKVTreeNodeItem> BuildUPGMA(const SquareMatrix& K, int n,
                                            const ItemName* const* names, bool isDistance,
                                            TreeWorkspace& ws);

// Neighbor-joining over the distances of taxa 1..n of K, rooted at the last join. Same inputs
// and failures as BuildUPGMA.
std::unique_ptr<TKVTreeNodeItem> BuildNbJoin(const SquareMatrix& K, int n,
                                             const ItemName* const* names, TreeWorkspace& ws);

// The joined node of P and Q in canonical order: Left has more leaves or, on equal counts, the
// smaller Name (Q when the names are equal); Name is the smaller of the two.
std::unique_ptr<TKVTreeNode> JoinClusters(std::unique_ptr<TKVTreeNodeItem> p, int massP,
                                          std::unique_ptr<TKVTreeNodeItem> q, int massQ);

namespace tree_detail {
void CheckBuildInput(const SquareMatrix& K, int n);
std::unique_ptr<TKVTreeNodeItem> MakeLeaf(const ItemName& name, int32_t num);
}  // namespace tree_detail

class TEnzym;
namespace tree_detail {
// A build over a data set's active taxa and Koef.
std::unique_ptr<TKVTreeNodeItem> BuildOnDataSet(TEnzym& e, bool nbJoin);
}  // namespace tree_detail

}  // namespace ramovia
