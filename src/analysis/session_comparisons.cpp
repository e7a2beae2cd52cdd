#include "analysis/session_comparisons.h"

#include "analysis/reference_matrix.h"
#include "tree/builders.h"

namespace ramovia {

DistanceTable matrixDistances(const Session& session) {
  const CoefficientMatrix* m = session.matrix();
  if (m == nullptr || !session.coefficient())
    throw ComparisonError("There is no matrix: choose a coefficient and a method first.");
  const bool similarities = session.method() == TreeMethod::Upgma && !isDistance(*session.coefficient());
  const Dataset& data = session.resultsData();
  DistanceTable d;
  const int32_t n = m->size();
  const auto un = static_cast<std::size_t>(n);
  for (const int32_t t : m->taxa) d.names.push_back(data.taxa[static_cast<std::size_t>(t)].name.str());
  d.cells.assign(un * un, 0.0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j)
      if (i != j) {
        const double v = m->values(i + 1, j + 1);
        d.cells[static_cast<std::size_t>(i) * un + static_cast<std::size_t>(j)] = similarities ? 1.0 - v : v;
      }
  return d;
}

Correlation copheneticOf(const Session& session) {
  const DistanceTable d = matrixDistances(session);
  const Tree* tree = session.referenceTree();
  if (tree == nullptr) throw ComparisonError("There is no reference tree.");
  return copheneticCorrelation(*tree, d, session.matrix()->taxa);
}

TreeDistance treeDistanceTo(const Session& session, const FlatTree& other) {
  const Tree* tree = session.referenceTree();
  if (tree == nullptr) throw ComparisonError("There is no reference tree.");
  const int32_t n = session.resultsData().taxonCount();
  if (tree->leafCount() != n)
    throw ComparisonError("The tree distance: the reference tree does not hold every taxon.");
  int32_t rootBranches = 0;
  const auto root = static_cast<int32_t>(other.parent.size()) - 1;
  for (const int32_t p : other.parent) rootBranches += p == root;
  const bool rooted = session.method() == TreeMethod::Upgma && rootBranches <= 2;
  return robinsonFoulds(treeGroups(flatten(*tree), n, rooted), treeGroups(other, n, rooted), rooted);
}

OtherAnalysis analyseWith(const Session& session, Coefficient c, uint32_t seed) {
  const CoefficientMatrix* m = session.matrix();
  if (m == nullptr) throw ComparisonError("There is no matrix: choose a coefficient and a method first.");
  const Dataset& data = session.resultsData();
  Random random(seed);
  SquareMatrix values;
  computeReferenceMatrix(data, c, session.method(), m->taxa, random, values);
  std::vector<const Name*> names;
  for (const int32_t t : m->taxa) names.push_back(&data.taxa[static_cast<std::size_t>(t)].name);
  TreeWorkspace ws;
  OtherAnalysis out;
  out.tree = buildTree(session.method(), values, m->size(), RowTaxa{m->taxa, names}, isDistance(c), ws);
  const bool similarities = session.method() == TreeMethod::Upgma && !isDistance(c);
  const auto n = static_cast<std::size_t>(m->size());
  for (const int32_t t : m->taxa) out.distances.names.push_back(data.taxa[static_cast<std::size_t>(t)].name.str());
  out.distances.cells.assign(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      if (i != j) {
        const double v = values(static_cast<int>(i) + 1, static_cast<int>(j) + 1);
        out.distances.cells[i * n + j] = similarities ? 1.0 - v : v;
      }
  return out;
}

}  // namespace ramovia
