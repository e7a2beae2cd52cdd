#include <utility>

#include "model/enzym.h"
#include "tree/builders.h"

namespace ramovia {

std::unique_ptr<TKVTreeNodeItem> BuildNbJoin(const SquareMatrix& K, int n,
                                             const ItemName* const* names, TreeWorkspace& ws) {
  tree_detail::CheckBuildInput(K, n);
  ws.Reserve(n);
  SquareMatrix& W = ws.W;
  SquareMatrix& C = ws.C;
  const auto size = static_cast<std::size_t>(n) + 1;
  ws.clusters.clear();
  ws.clusters.resize(size);
  ws.spare.clear();
  ws.spare.resize(size);
  ws.mass.assign(size, 1);
  ws.order.assign(size, 0);  // the masses after renumbering
  ws.r.assign(size, 0.0);
  for (int i = 1; i <= n; ++i) {
    ws.clusters[static_cast<std::size_t>(i)] = tree_detail::MakeLeaf(*names[i - 1], i);
    const double* k = K.Row(i);
    double* w = W.Row(i);
    for (int j = 1; j <= n; ++j) w[j] = k[j];
  }
  double* r = ws.r.data();
  for (int count = n; count > 1; --count) {
    for (int i = 1; i <= count; ++i) {
      const double* w = W.Row(i);
      double* c = C.Row(i);
      double sum = 0.0;
      for (int j = 1; j <= count; ++j) {
        c[j] = w[j];
        if (j != i) sum += w[j];
      }
      r[i] = sum;
    }
    int p = 1;
    int q = 2;
    if (count > 2) {
      double best = 1e20;
      const double d = count - 2;
      for (int i = 1; i < count; ++i) {
        const double* w = W.Row(i);
        const double ri = r[i];
        for (int j = i + 1; j <= count; ++j) {
          const double v = w[j] - (ri + r[j]) / d;
          if (v < best) {
            best = v;
            p = i;
            q = j;
          }
        }
      }
    }
    const double cpq = C(p, q);
    auto& cp = ws.clusters[static_cast<std::size_t>(p)];
    auto& cq = ws.clusters[static_cast<std::size_t>(q)];
    if (count == 2) {
      // The root sits on the last branch: each side gets half of it.
      cp->Distance = cpq / 2;
      cq->Distance = cpq / 2;
    } else {
      cp->Distance = (r[p] - r[q]) / (2 * (count - 2)) + cpq / 2;
      cq->Distance = cpq - cp->Distance;
    }
    // Renumber: the new cluster at 1, the rest keep their order at 2..count - 1.
    auto newPos = [p, q](int k) { return k < p ? k + 1 : (k < q ? k : k - 1); };
    const double* crowP = C.Row(p);
    const double* crowQ = C.Row(q);
    double* w1 = W.Row(1);
    for (int k = 1; k <= count; ++k) {
      if (k == p || k == q) continue;
      const int nk = newPos(k);
      const double v = (crowP[k] + crowQ[k] - cpq) / 2;
      w1[nk] = v;
      W(nk, 1) = v;
    }
    for (int k = 1; k <= count; ++k) {
      if (k == p || k == q) continue;
      const double* ck = C.Row(k);
      double* wk = W.Row(newPos(k));
      for (int m = 1; m <= count; ++m) {
        if (m == p || m == q || m == k) continue;
        wk[newPos(m)] = ck[m];
      }
    }
    const int mp = ws.mass[static_cast<std::size_t>(p)];
    const int mq = ws.mass[static_cast<std::size_t>(q)];
    for (int k = 1; k <= count; ++k) {
      if (k == p || k == q) continue;
      const auto nk = static_cast<std::size_t>(newPos(k));
      ws.spare[nk] = std::move(ws.clusters[static_cast<std::size_t>(k)]);
      ws.order[nk] = ws.mass[static_cast<std::size_t>(k)];
    }
    ws.spare[1] = JoinClusters(std::move(cp), mp, std::move(cq), mq);
    ws.order[1] = mp + mq;
    std::swap(ws.clusters, ws.spare);
    std::swap(ws.mass, ws.order);
    for (auto& c : ws.spare) c.reset();
  }
  auto root = std::move(ws.clusters[1]);
  ws.clusters.clear();
  ws.spare.clear();
  return root;
}

}  // namespace ramovia

namespace ramovia {
void TEnzym::GenTreeNbJoin() { AddTreeToList(tree_detail::BuildOnDataSet(*this, true)); }
}  // namespace ramovia
