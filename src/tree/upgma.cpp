#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model/enzym.h"
#include "tree/builders.h"

namespace ramovia {

void TreeWorkspace::Reserve(int n) {
  if (n < 1) n = 1;
  W.Reserve(n);
  C.Reserve(n);
  const auto size = static_cast<std::size_t>(n) + 1;
  order.reserve(size);
  slotOf.reserve(size);
  mass.reserve(size);
  rowPartner.reserve(size);
  rowBest.reserve(size);
  r.reserve(size);
  clusters.reserve(size);
}

namespace tree_detail {

void CheckBuildInput(const SquareMatrix& K, int n) {
  if (n <= 0) throw ListIndexError(0);
  if (K.capacity() < n)
    throw std::invalid_argument("The matrix holds " +
                                std::to_string(K.capacity() < 0 ? 0 : K.capacity()) +
                                " taxa, but the taxon list has " + std::to_string(n));
}

std::unique_ptr<TKVTreeNodeItem> MakeLeaf(const ItemName& name, int32_t num) {
  auto leaf = std::make_unique<TKVTreeNodeItem>();
  leaf->Name = name;
  leaf->Num = num;
  return leaf;
}

}  // namespace tree_detail

std::unique_ptr<TKVTreeNode> JoinClusters(std::unique_ptr<TKVTreeNodeItem> p, int massP,
                                          std::unique_ptr<TKVTreeNodeItem> q, int massQ) {
  auto u = std::make_unique<TKVTreeNode>();
  const bool pSmaller = p->Name < q->Name;
  u->Name = pSmaller ? p->Name : q->Name;
  bool pLeft;
  if (massP == massQ)
    pLeft = pSmaller;
  else
    pLeft = massP > massQ;
  if (pLeft) {
    u->Left = std::move(p);
    u->Right = std::move(q);
  } else {
    u->Left = std::move(q);
    u->Right = std::move(p);
  }
  return u;
}

namespace {

// Clusters live in slots 1..n; a join puts the new cluster into P's slot and frees Q's. For a
// pair the working list always reads W(earlier position, later position), and the earlier one is
// always the newer cluster (a new cluster goes to the front), so only the sum S(newer, older) is
// ever needed. It is the running sum of K(i, j) over i of the newer cluster ascending, j of the
// older ascending — the very additions of the full rebuild, so the same double.
struct UpgmaRun {
  const SquareMatrix& K;
  int n;
  bool isDistance;
  TreeWorkspace& ws;

  bool Better(double v, double best) const { return isDistance ? v < best : v > best; }

  // The first best partner of the cluster at position pos among the later positions.
  void ScanRow(int pos, int count) {
    const int a = ws.order[static_cast<std::size_t>(pos)];
    const double* mean = ws.C.Row(a);
    double best = 0.0;
    int partner = 0;
    for (int k = pos + 1; k < count; ++k) {
      const int b = ws.order[static_cast<std::size_t>(k)];
      const double v = mean[b];
      if (partner == 0 || Better(v, best)) {
        best = v;
        partner = b;
      }
    }
    ws.rowBest[static_cast<std::size_t>(a)] = best;
    ws.rowPartner[static_cast<std::size_t>(a)] = partner;
  }

  // Sums and means of the new cluster u against every other cluster.
  void FillNewRow(int u) {
    double* sum = ws.W.Row(u);
    double* mean = ws.C.Row(u);
    for (int s = 1; s <= n; ++s) sum[s] = 0.0;
    for (int i = 1; i <= n; ++i) {
      if (ws.slotOf[static_cast<std::size_t>(i)] != u) continue;
      const double* k = K.Row(i);
      for (int j = 1; j <= n; ++j) {
        const int m = ws.slotOf[static_cast<std::size_t>(j)];
        if (m != u) sum[m] += k[j];
      }
    }
    const int mu = ws.mass[static_cast<std::size_t>(u)];
    const int count = static_cast<int>(ws.order.size());
    for (int pos = 1; pos < count; ++pos) {
      const int m = ws.order[static_cast<std::size_t>(pos)];
      const double q = sum[m] / (mu * ws.mass[static_cast<std::size_t>(m)]);
      mean[m] = std::isfinite(q) ? q : 0.0;  // a faulting division gives 0
    }
  }

  std::unique_ptr<TKVTreeNodeItem> Build(const ItemName* const* names) {
    ws.Reserve(n);
    ws.order.clear();
    ws.slotOf.assign(static_cast<std::size_t>(n) + 1, 0);
    ws.mass.assign(static_cast<std::size_t>(n) + 1, 1);
    ws.rowPartner.assign(static_cast<std::size_t>(n) + 1, 0);
    ws.rowBest.assign(static_cast<std::size_t>(n) + 1, 0.0);
    ws.clusters.clear();
    ws.clusters.resize(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i <= n; ++i) {
      ws.clusters[static_cast<std::size_t>(i)] = tree_detail::MakeLeaf(*names[i - 1], i);
      ws.slotOf[static_cast<std::size_t>(i)] = i;
      ws.order.push_back(i);
    }
    // Initial sums: single pairs, S(a, b) = 0 + K(a, b); a later position reads W(a, b).
    for (int a = 1; a <= n; ++a) {
      const double* k = K.Row(a);
      double* sum = ws.W.Row(a);
      double* mean = ws.C.Row(a);
      for (int b = a + 1; b <= n; ++b) {
        sum[b] = 0.0 + k[b];
        const double q = sum[b] / (1 * 1);
        mean[b] = std::isfinite(q) ? q : 0.0;
      }
    }
    while (ws.order.size() > 1) {
      const int count = static_cast<int>(ws.order.size());
      for (int pos = 0; pos + 1 < count; ++pos)
        if (ws.rowPartner[static_cast<std::size_t>(ws.order[static_cast<std::size_t>(pos)])] == 0)
          ScanRow(pos, count);
      double best = isDistance ? 1e20 : -1e20;
      int p = ws.order[0];
      int q = ws.order[1];
      for (int pos = 0; pos + 1 < count; ++pos) {
        const int a = ws.order[static_cast<std::size_t>(pos)];
        const double v = ws.rowBest[static_cast<std::size_t>(a)];
        if (Better(v, best)) {
          best = v;
          p = a;
          q = ws.rowPartner[static_cast<std::size_t>(a)];
        }
      }
      Join(p, q, best);
    }
    auto root = std::move(ws.clusters[static_cast<std::size_t>(ws.order[0])]);
    ws.order.clear();
    ws.clusters.clear();
    return root;
  }

  void Join(int p, int q, double best) {
    const double h = isDistance ? best / 2 : (1 - best) / 2;
    auto& cp = ws.clusters[static_cast<std::size_t>(p)];
    auto& cq = ws.clusters[static_cast<std::size_t>(q)];
    const int mp = ws.mass[static_cast<std::size_t>(p)];
    const int mq = ws.mass[static_cast<std::size_t>(q)];
    cp->Distance = h;
    cq->Distance = h;
    if (mp > 1) cp->Distance -= AsNode(cp.get())->Left->GetDistance();
    if (mq > 1) cq->Distance -= AsNode(cq.get())->Left->GetDistance();
    auto u = JoinClusters(std::move(cp), mp, std::move(cq), mq);
    cp = std::move(u);  // the new cluster takes P's slot
    ws.mass[static_cast<std::size_t>(p)] = mp + mq;
    for (int i = 1; i <= n; ++i)
      if (ws.slotOf[static_cast<std::size_t>(i)] == q) ws.slotOf[static_cast<std::size_t>(i)] = p;
    // Working list: drop P and Q, keep the order of the rest, the new cluster in front. Rows
    // whose best partner was P or Q must be searched again; the others keep theirs.
    std::size_t kept = 0;
    for (std::size_t k = 0; k < ws.order.size(); ++k) {
      const int s = ws.order[k];
      if (s != p && s != q) ws.order[kept++] = s;
    }
    ws.order.resize(kept);
    ws.order.insert(ws.order.begin(), p);  // within capacity: no allocation
    ws.rowPartner[static_cast<std::size_t>(p)] = 0;
    for (std::size_t k = 1; k < ws.order.size(); ++k) {
      const int s = ws.order[k];
      const int bp = ws.rowPartner[static_cast<std::size_t>(s)];
      if (bp == p || bp == q) ws.rowPartner[static_cast<std::size_t>(s)] = 0;
    }
    FillNewRow(p);
  }
};

}  // namespace

std::unique_ptr<TKVTreeNodeItem> BuildUPGMA(const SquareMatrix& K, int n,
                                            const ItemName* const* names, bool isDistance,
                                            TreeWorkspace& ws) {
  tree_detail::CheckBuildInput(K, n);
  UpgmaRun run{K, n, isDistance, ws};
  return run.Build(names);
}

}  // namespace ramovia

namespace ramovia {

namespace tree_detail {

// One workspace per thread, kept between builds, so that a replicate loop allocates nothing but
// the trees.
std::unique_ptr<TKVTreeNodeItem> BuildOnDataSet(TEnzym& e, bool nbJoin) {
  const int n = e.DruhyCount();
  thread_local std::vector<const ItemName*> names;
  names.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) names[static_cast<std::size_t>(i)] = &e.GetDruh(i)->Name;
  thread_local TreeWorkspace ws;
  return nbJoin ? BuildNbJoin(e.Koef, n, names.data(), ws)
                : BuildUPGMA(e.Koef, n, names.data(), e.IsDistance, ws);
}

}  // namespace tree_detail

void TEnzym::GenTree() {
  switch (TreeType) {
    case ettUPGMA:
      GenTreeUPGMA();
      break;
    case ettNbJoin:
      GenTreeNbJoin();
      break;
    case ettNone:
      break;
  }
}

void TEnzym::GenTreeUPGMA() {
  AddTreeToList(tree_detail::BuildOnDataSet(*this, false));
}

}  // namespace ramovia
