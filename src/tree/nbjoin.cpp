#include <algorithm>
#include <cstring>
#include <utility>

#include "model/enzym.h"
#include "tree/builders.h"

namespace ramovia {

namespace {

// v[j] = w[j] - (ri + r[j]) / d for j in from..to. Two lanes at a time: each lane does the same
// correctly rounded operations as the scalar form, so the values are the same doubles.
void Criterion(const double* w, const double* r, double ri, double d, double* v, int from, int to) {
  int j = from;
#if defined(__GNUC__)
  using V2 = double __attribute__((vector_size(16)));
  const V2 riv = {ri, ri};
  const V2 dv = {d, d};
  for (; j + 1 <= to; j += 2) {
    V2 wv, rv;
    std::memcpy(&wv, w + j, sizeof wv);
    std::memcpy(&rv, r + j, sizeof rv);
    const V2 res = wv - (riv + rv) / dv;
    std::memcpy(v + j, &res, sizeof res);
  }
#endif
  for (; j <= to; ++j) v[j] = w[j] - (ri + r[j]) / d;
}

}  // namespace

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
  ws.rowBest.assign(size, 0.0);
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
      std::copy(w + 1, w + count + 1, C.Row(i) + 1);
    }
    // Each r(i) is one chain of additions in j order; four rows run side by side so that the
    // chains overlap. Adding -0.0 leaves every double as it is, so it stands for the skipped
    // diagonal.
    int row = 1;
    for (; row + 3 <= count; row += 4) {
      const double* w0 = W.Row(row);
      const double* w1 = W.Row(row + 1);
      const double* w2 = W.Row(row + 2);
      const double* w3 = W.Row(row + 3);
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int j = 1; j <= count; ++j) {
        s0 += j != row ? w0[j] : -0.0;
        s1 += j != row + 1 ? w1[j] : -0.0;
        s2 += j != row + 2 ? w2[j] : -0.0;
        s3 += j != row + 3 ? w3[j] : -0.0;
      }
      r[row] = s0;
      r[row + 1] = s1;
      r[row + 2] = s2;
      r[row + 3] = s3;
    }
    for (; row <= count; ++row) {
      const double* w = W.Row(row);
      double sum = 0.0;
      for (int j = 1; j < row; ++j) sum += w[j];
      for (int j = row + 1; j <= count; ++j) sum += w[j];
      r[row] = sum;
    }
    int p = 1;
    int q = 2;
    if (count > 2) {
      double best = 1e20;
      const double d = count - 2;
      double* v = ws.rowBest.data();  // the criterion of one row
      for (int i = 1; i < count; ++i) {
        const double* w = W.Row(i);
        const double ri = r[i];
        Criterion(w, r, ri, d, v, i + 1, count);
        for (int j = i + 1; j <= count; ++j) {
          if (v[j] < best) {
            best = v[j];
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
    // Row k of C moves to row new(k) without columns p and q, in three runs. The diagonal is
    // carried along too; it is never read.
    for (int k = 1; k <= count; ++k) {
      if (k == p || k == q) continue;
      const double* ck = C.Row(k);
      double* wk = W.Row(newPos(k));
      std::copy(ck + 1, ck + p, wk + 2);
      std::copy(ck + p + 1, ck + q, wk + p + 1);
      std::copy(ck + q + 1, ck + count + 1, wk + q);
    }
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
void TEnzym::GenTreeNbJoin() {
  AddTreeToList(tree_detail::BuildOnDataSet(*this, true));
}
}  // namespace ramovia
