#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tree/builders.h"
#include "tree/vec4.h"

namespace ramovia {

void TreeWorkspace::reserve(int n) {
  if (n < 1) n = 1;
  sums.resize(static_cast<std::size_t>(n) + 1);
  C.reserve(n);
  const auto size = static_cast<std::size_t>(n) + 1;
  order.reserve(size);
  slotOf.reserve(size);
  mass.reserve(size);
  rowPartner.reserve(size);
  rowBest.reserve(size);
  r.reserve(size);
  multi.reserve(size);
  leaves.reserve(size);
  node.reserve(size);
  label.reserve(size);
  height.reserve(2 * size);
}

void LargeCells::resize(std::size_t count) {
  if (count <= size_) return;
  cells_.reset();
  size_ = 0;
  const std::size_t pages = (count * sizeof(double) + large_pages::kPage - 1) / large_pages::kPage;
  cells_.reset(static_cast<double*>(large_pages::allocatePages(pages * large_pages::kPage)));
  size_ = pages * large_pages::kPage / sizeof(double);
}

namespace tree_detail {

void checkBuildInput(const SquareMatrix& K, int n) {
  if (n <= 0) throw ListIndexError(0);
  if (K.capacity() < n)
    throw std::invalid_argument("The matrix holds " +
                                std::to_string(K.capacity() < 0 ? 0 : K.capacity()) +
                                " taxa, but the taxon list has " + std::to_string(n));
}

void startClusters(Tree& tree, int n, RowTaxa rows, int firstSlot, TreeWorkspace& ws) {
  throwIfStopped(ws.stop);
  tree.nodes.clear();
  tree.nodes.reserve(2 * static_cast<std::size_t>(n));
  const auto slots = static_cast<std::size_t>(n + firstSlot);
  ws.node.assign(slots, -1);
  ws.label.assign(slots, nullptr);
  for (int i = 1; i <= n; ++i) {
    const auto slot = static_cast<std::size_t>(firstSlot + i - 1);
    ws.node[slot] = tree.addLeaf(rows.taxa[static_cast<std::size_t>(i - 1)]);
    ws.label[slot] = rows.names[static_cast<std::size_t>(i - 1)];
  }
}

void joinClusters(Tree& tree, int p, int q, TreeWorkspace& ws) {
  throwIfStopped(ws.stop);
  const auto sp = static_cast<std::size_t>(p);
  const auto sq = static_cast<std::size_t>(q);
  const int massP = ws.mass[sp];
  const int massQ = ws.mass[sq];
  const bool pSmaller = *ws.label[sp] < *ws.label[sq];
  const bool pLeft = massP == massQ ? pSmaller : massP > massQ;
  const int32_t np = ws.node[sp];
  const int32_t nq = ws.node[sq];
  ws.node[sp] = pLeft ? tree.addInner(np, nq) : tree.addInner(nq, np);
  if (!pSmaller) ws.label[sp] = ws.label[sq];
}

}  // namespace tree_detail

Tree buildTree(TreeMethod method, const SquareMatrix& K, int n, RowTaxa rows, bool isDistance,
               TreeWorkspace& ws) {
  switch (method) {
    case TreeMethod::Upgma:
      return buildUpgma(K, n, rows, isDistance, ws);
    case TreeMethod::NeighborJoining:
      return buildNeighborJoining(K, n, rows, ws);
    case TreeMethod::None:
      break;
  }
  return {};
}

namespace {

using namespace vec4;

// Below this the all-pairs search is as fast.
constexpr int kUpgmaPrunedFrom = 256;

// sum[j] = sum of K(i, j) over the rows i in order, for every column j in [c, c + 4 NV).
template <int NV>
RAMOVIA_VEC_INLINE void ColumnBlock(const SquareMatrix& K, const int* rows, int count, int c,
                                    double* sum) {
  V4 acc[NV];
#pragma GCC unroll 8
  for (int v = 0; v < NV; ++v) acc[v] = V4{0.0, 0.0, 0.0, 0.0};
  for (int t = 0; t < count; ++t) {
    const double* row = K.row(rows[t]) + c;
#pragma GCC unroll 8
    for (int v = 0; v < NV; ++v) acc[v] += Load(row + 4 * v);
  }
#pragma GCC unroll 8
  for (int v = 0; v < NV; ++v) Store(sum + c + 4 * v, acc[v]);
}

// Columns 1..n; the last few, past a whole vector, one by one.
RAMOVIA_VEC_INLINE void ColumnSumsImpl(const SquareMatrix& K, const int* rows, int count, int n,
                                       double* sum) {
  int c = 1;
  for (; c + 16 <= n + 1; c += 16) ColumnBlock<4>(K, rows, count, c, sum);
  for (; c + 4 <= n + 1; c += 4) ColumnBlock<1>(K, rows, count, c, sum);
  for (; c <= n; ++c) {
    double acc = 0.0;
    for (int t = 0; t < count; ++t) acc += K(rows[t], c);
    sum[c] = acc;
  }
}

__attribute__((target("avx2"))) void ColumnSumsAvx2(const SquareMatrix& K, const int* rows,
                                                    int count, int n, double* sum) {
  ColumnSumsImpl(K, rows, count, n, sum);
}
void ColumnSumsGeneric(const SquareMatrix& K, const int* rows, int count, int n, double* sum) {
  ColumnSumsImpl(K, rows, count, n, sum);
}

// Each leaf's run of one taxon, its own.
void startRuns(TreeWorkspace& ws, int n, std::size_t& poolTop) {
  const auto z = [](int i) { return static_cast<std::size_t>(i); };
  // Three times the taxa: after a compaction twice the taxa are free, room for any merge.
  ws.pool.resize(3 * z(n));
  ws.poolSpare.resize(3 * z(n));
  ws.runStart.resize(z(n) + 1);
  for (int i = 1; i <= n; ++i) {
    ws.pool[z(i - 1)] = i;
    ws.runStart[z(i)] = i - 1;
  }
  poolTop = z(n);
}

// The taxa of each cluster as one ascending run in the workspace's pool; poolTop is its end.
// The run of P and Q merged becomes P's run; when the pool is full, the runs of the live
// clusters (the working list still holds P and Q) are moved to the front first.
void mergeRuns(TreeWorkspace& ws, std::size_t& poolTop, int p, int q) {
  const auto z = [](int i) { return static_cast<std::size_t>(i); };
  const auto run = [&](int s) -> const int* { return ws.pool.data() + ws.runStart[z(s)]; };
  const int mp = ws.mass[z(p)];
  const int mq = ws.mass[z(q)];
  if (poolTop + z(mp + mq) > ws.pool.size()) {
    std::size_t top = 0;
    for (const int s : ws.order) {
      std::copy(run(s), run(s) + ws.mass[z(s)],
                ws.poolSpare.begin() + static_cast<std::ptrdiff_t>(top));
      ws.runStart[z(s)] = static_cast<int>(top);
      top += z(ws.mass[z(s)]);
    }
    ws.pool.swap(ws.poolSpare);
    poolTop = top;
  }
  const int* rp = run(p);
  const int* rq = run(q);
  std::merge(rp, rp + mp, rq, rq + mq, ws.pool.begin() + static_cast<std::ptrdiff_t>(poolTop));
  ws.runStart[z(p)] = static_cast<int>(poolTop);
  poolTop += z(mp + mq);
}

// Clusters live in slots 1..n; a join puts the new cluster into P's slot and frees Q's, so a leaf
// always sits in the slot of its own taxon. For a pair the working list always reads C(earlier
// position, later position), and the earlier one is always the newer cluster (a new cluster goes
// to the front), so only the sum S(newer, older) is ever needed. It is the running sum of K(i, j)
// over i of the newer cluster ascending, j of the older ascending — the very additions of the
// full rebuild, so the same double. Sums against different clusters are independent, so they may
// be interleaved freely: against a leaf the sum is a column sum over the new cluster's rows,
// against a larger cluster it runs over the rows and, within a row, over that cluster's taxa.
// Only the means are kept; the sums of one new cluster are a row's scratch.
struct UpgmaRun {
  const SquareMatrix& K;
  int n;
  bool isDistance;
  TreeWorkspace& ws;
  Tree tree{};
  std::size_t poolTop = 0;
  bool avx2 = vec4::hasAvx2();

  bool Better(double v, double best) const { return isDistance ? v < best : v > best; }
  static std::size_t Z(int i) { return static_cast<std::size_t>(i); }
  const int* Run(int s) const { return ws.pool.data() + ws.runStart[Z(s)]; }

  // The first best partner of the cluster at position pos among the later positions. The means
  // are finite, so two halves can be searched side by side and joined: the better value wins,
  // of equal ones the earlier position.
  template <bool kDistance>
  void ScanRowBy(int pos, int count) {
    const int a = ws.order[Z(pos)];
    const double* mean = ws.C.row(a);
    const int* ord = ws.order.data();
    const auto better = [](double v, double best) { return kDistance ? v < best : v > best; };
    int k0 = pos + 1;
    if (k0 >= count) {
      ws.rowBest[Z(a)] = 0.0;
      ws.rowPartner[Z(a)] = 0;
      return;
    }
    const int half = k0 + (count - k0 + 1) / 2;  // lane 0: [k0, half), lane 1: [half, count)
    double b0 = mean[ord[k0]];
    int p0 = k0;
    double b1 = b0;
    int p1 = count;
    int k1 = half;
    if (k1 < count) {
      b1 = mean[ord[k1]];
      p1 = k1;
    }
    for (++k0, ++k1; k1 < count; ++k0, ++k1) {
      const double v0 = mean[ord[k0]];
      const double v1 = mean[ord[k1]];
      if (better(v0, b0)) b0 = v0, p0 = k0;
      if (better(v1, b1)) b1 = v1, p1 = k1;
    }
    for (; k0 < half; ++k0) {
      const double v0 = mean[ord[k0]];
      if (better(v0, b0)) b0 = v0, p0 = k0;
    }
    if (p1 < count && better(b1, b0)) b0 = b1, p0 = p1;
    ws.rowBest[Z(a)] = b0;
    ws.rowPartner[Z(a)] = ord[p0];
  }
  void ScanRow(int pos, int count) {
    if (isDistance)
      ScanRowBy<true>(pos, count);
    else
      ScanRowBy<false>(pos, count);
  }

  void MergeRuns(int p, int q) { mergeRuns(ws, poolTop, p, q); }

  // Adds one row of the new cluster to the running sums against the larger clusters. Each sum
  // is a chain of dependent additions, so four clusters are summed side by side; multi is sorted
  // by falling size, which keeps the four lengths close.
  void SumAgainstMulti(const double* k, int groups, double* acc) const {
    const int* multi = ws.multi.data();
    const int* mass = ws.mass.data();
    const int* start = ws.runStart.data();
    const int* pool = ws.pool.data();
    int g = 0;
    for (; g + 4 <= groups; g += 4) {
      const int* r0 = pool + start[multi[g]];
      const int* r1 = pool + start[multi[g + 1]];
      const int* r2 = pool + start[multi[g + 2]];
      const int* r3 = pool + start[multi[g + 3]];
      const int l0 = mass[multi[g]], l1 = mass[multi[g + 1]];
      const int l2 = mass[multi[g + 2]], l3 = mass[multi[g + 3]];
      double a0 = acc[g], a1 = acc[g + 1], a2 = acc[g + 2], a3 = acc[g + 3];
      int x = 0;
      for (; x < l3; ++x) {
        a0 += k[r0[x]];
        a1 += k[r1[x]];
        a2 += k[r2[x]];
        a3 += k[r3[x]];
      }
      for (; x < l2; ++x) {
        a0 += k[r0[x]];
        a1 += k[r1[x]];
        a2 += k[r2[x]];
      }
      for (; x < l1; ++x) {
        a0 += k[r0[x]];
        a1 += k[r1[x]];
      }
      for (; x < l0; ++x) a0 += k[r0[x]];
      acc[g] = a0;
      acc[g + 1] = a1;
      acc[g + 2] = a2;
      acc[g + 3] = a3;
    }
    for (; g + 2 <= groups; g += 2) {
      const int* r0 = pool + start[multi[g]];
      const int* r1 = pool + start[multi[g + 1]];
      const int l0 = mass[multi[g]], l1 = mass[multi[g + 1]];
      double a0 = acc[g], a1 = acc[g + 1];
      int x = 0;
      for (; x < l1; ++x) {
        a0 += k[r0[x]];
        a1 += k[r1[x]];
      }
      for (; x < l0; ++x) a0 += k[r0[x]];
      acc[g] = a0;
      acc[g + 1] = a1;
    }
    for (; g < groups; ++g) {
      const int* r0 = pool + start[multi[g]];
      const int l0 = mass[multi[g]];
      double a0 = acc[g];
      for (int x = 0; x < l0; ++x) a0 += k[r0[x]];
      acc[g] = a0;
    }
  }

  // Sums and means of the new cluster u against every other cluster.
  void FillNewRow(int u) {
    double* sum = ws.sums.data();
    double* mean = ws.C.row(u);
    const int mu = ws.mass[Z(u)];
    const int* rows = Run(u);
    const int count = static_cast<int>(ws.order.size());
    const int others = count - 1 - static_cast<int>(ws.multi.size());
    if (others * 8 >= n) {
      // Many leaves: every column at once, the ones that are no leaf's included and unused.
      if (avx2)
        ColumnSumsAvx2(K, rows, mu, n, sum);
      else
        ColumnSumsGeneric(K, rows, mu, n, sum);
    } else if (others > 0) {
      ws.leaves.clear();
      for (int pos = 1; pos < count; ++pos) {
        const int m = ws.order[Z(pos)];
        if (ws.mass[Z(m)] == 1) ws.leaves.push_back(m);
      }
      for (const int j : ws.leaves) sum[j] = 0.0;
      for (int t = 0; t < mu; ++t) {
        const double* k = K.row(rows[t]);
        for (const int j : ws.leaves) sum[j] += k[j];
      }
    }
    const int groups = static_cast<int>(ws.multi.size());
    if (groups > 0) {
      double* acc = ws.runSum.data();
      for (int g = 0; g < groups; ++g) acc[g] = 0.0;
      for (int t = 0; t < mu; ++t) SumAgainstMulti(K.row(rows[t]), groups, acc);
      for (int g = 0; g < groups; ++g) sum[ws.multi[Z(g)]] = acc[g];
    }
    for (int pos = 1; pos < count; ++pos) {
      const int m = ws.order[Z(pos)];
      const double q = sum[m] / (mu * ws.mass[Z(m)]);
      mean[m] = std::isfinite(q) ? q : 0.0;  // a faulting division gives 0
    }
  }

  Tree Build(RowTaxa rows) {
    ws.reserve(n);
    const std::size_t size = Z(n) + 1;
    ws.order.clear();
    ws.mass.assign(size, 1);
    ws.rowPartner.assign(size, 0);
    ws.rowBest.assign(size, 0.0);
    ws.multi.clear();
    ws.runSum.resize(size);
    ws.height.resize(2 * Z(n));
    tree_detail::startClusters(tree, n, rows, 1, ws);
    for (int i = 1; i <= n; ++i) ws.order.push_back(i);
    startRuns(ws, n, poolTop);
    // Initial sums: single pairs, S(a, b) = 0 + K(a, b); a later position reads C(a, b).
    for (int a = 1; a <= n; ++a) {
      const double* k = K.row(a);
      double* sum = ws.sums.data();
      double* mean = ws.C.row(a);
      for (int b = a + 1; b <= n; ++b) {
        sum[b] = 0.0 + k[b];
        const double q = sum[b] / (1 * 1);
        mean[b] = std::isfinite(q) ? q : 0.0;
      }
    }
    while (ws.order.size() > 1) {
      const int count = static_cast<int>(ws.order.size());
      for (int pos = 0; pos + 1 < count; ++pos)
        if (ws.rowPartner[Z(ws.order[Z(pos)])] == 0) ScanRow(pos, count);
      double best = isDistance ? 1e20 : -1e20;
      int p = ws.order[0];
      int q = ws.order[1];
      for (int pos = 0; pos + 1 < count; ++pos) {
        const int a = ws.order[Z(pos)];
        const double v = ws.rowBest[Z(a)];
        if (Better(v, best)) {
          best = v;
          p = a;
          q = ws.rowPartner[Z(a)];
        }
      }
      Join(p, q, best);
    }
    ws.order.clear();
    return std::move(tree);
  }

  // multi stays sorted by falling size.
  void DropMulti(int s) { ws.multi.erase(std::find(ws.multi.begin(), ws.multi.end(), s)); }
  void AddMulti(int s) {
    const int size = ws.mass[Z(s)];
    auto at =
        std::find_if(ws.multi.begin(), ws.multi.end(), [&](int m) { return ws.mass[Z(m)] < size; });
    ws.multi.insert(at, s);  // within capacity: no allocation
  }

  // A cluster's branch goes from its height up to h; its left height is then known.
  void SetBranch(int32_t node, double h, bool inner) {
    TreeNode& x = tree[node];
    x.length = h;
    if (inner) x.length -= ws.height[Z(x.left)];
    ws.height[Z(node)] = inner ? ws.height[Z(x.left)] + x.length : x.length;
  }

  void Join(int p, int q, double best) {
    const double h = isDistance ? best / 2 : (1 - best) / 2;
    const int mp = ws.mass[Z(p)];
    const int mq = ws.mass[Z(q)];
    SetBranch(ws.node[Z(p)], h, mp > 1);
    SetBranch(ws.node[Z(q)], h, mq > 1);
    tree_detail::joinClusters(tree, p, q, ws);  // the new cluster takes P's slot
    MergeRuns(p, q);
    ws.mass[Z(p)] = mp + mq;
    if (mp > 1) DropMulti(p);
    if (mq > 1) DropMulti(q);
    // Working list: drop P and Q, keep the order of the rest, the new cluster in front. Rows
    // whose best partner was P or Q must be searched again; the others keep theirs.
    // One pass, without branches: whatever it writes for P and Q themselves is overwritten or
    // never read again.
    int* ord = ws.order.data();
    int* partner = ws.rowPartner.data();
    const std::size_t size = ws.order.size();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < size; ++k) {
      const int s = ord[k];
      const int bp = partner[s];
      partner[s] = bp == p || bp == q ? 0 : bp;
      ord[kept] = s;
      kept += static_cast<std::size_t>(s != p && s != q);
    }
    ws.order.resize(kept);
    ws.order.insert(ws.order.begin(), p);  // within capacity: no allocation
    ws.rowPartner[Z(p)] = 0;
    FillNewRow(p);
    AddMulti(p);
  }
};

// The same joins from approximate means: a pair's mean is kept as the weighted mean of its
// parts' (updated per join in O(n)) with a bound on how far that and the builder's exact sum may
// lie apart, and exact sums are formed only for pairs the bounds cannot tell from the best. Keys
// are the means, negated for similarities, so that the smallest key is always joined; ties go to
// the pair whose earlier member stands first in the working list, then its later member. A
// cluster's place there never changes while it lives: joined clusters stand before the leaves,
// the newest first, and the leaves keep their order, so a static rank per slot orders them.
struct UpgmaPrunedRun {
  static constexpr double kNone = std::numeric_limits<double>::infinity();
  const SquareMatrix& K;
  int n;
  bool isDistance;
  TreeWorkspace& ws;
  Tree tree{};
  double sign = 1.0;
  bool relative = true;  // every value of one sign: bounds relative to the mean itself
  double largest = 0.0;
  std::size_t poolTop = 0;
  int step = 0;

  static std::size_t Z(int i) { return static_cast<std::size_t>(i); }
  static std::size_t Base(int b) { return Z(b - 1) * Z(b - 2) / 2; }  // cells (a, b), a < b
  static std::size_t Cell(int a, int b) { return a < b ? Base(b) + Z(a - 1) : Base(a) + Z(b - 1); }
  const int* Run(int s) const { return ws.pool.data() + ws.runStart[Z(s)]; }

  // The bounds hold for finite symmetric values of moderate size; anything else is left to the
  // all-pairs search.
  bool Prepare() {
    double lo = 0.0, hi = 0.0, big = 0.0;
    bool bad = false;
    constexpr int kBlock = 64;
    for (int ib = 1; ib <= n; ib += kBlock)
      for (int jb = ib; jb <= n; jb += kBlock) {
        const int ie = std::min(ib + kBlock, n + 1), je = std::min(jb + kBlock, n + 1);
        for (int i = ib; i < ie; ++i) {
          const double* k = K.row(i);
          for (int j = std::max(jb, i + 1); j < je; ++j) {
            const double v = k[j];
            const double a = std::abs(v);
            bad |= !(v == K(j, i)) || !(a < 1e19) || (a != 0.0 && a < 1e-290);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            big = std::max(big, a);
          }
        }
        if (bad) return false;
      }
    relative = lo >= 0.0 || hi <= 0.0;
    largest = big;
    sign = isDistance ? 1.0 : -1.0;
    return true;
  }

  // How far a kept key may lie from the exact one: the weighted means round at most a few units
  // per join of either side, the builder's running sum at most one per addition. A pair of
  // leaves is kept exactly.
  double Lower(double key, int ma, int mb) const {
    if ((ma | mb) == 1) return key;
    const double scale = relative ? std::abs(key) : largest;
    return key - scale * 0x1p-51 * (double(ma) * mb + 4.0 * (ma + mb) + 8.0);
  }

  // The builder's mean of the pair: K summed over the earlier cluster's taxa ascending, within
  // each over the later one's ascending.
  double ExactMean(int a, int b) const {
    if (ws.rank[Z(b)] < ws.rank[Z(a)]) std::swap(a, b);
    const int* ra = Run(a);
    const int* rb = Run(b);
    const int ma = ws.mass[Z(a)], mb = ws.mass[Z(b)];
    double acc = 0.0;
    for (int t = 0; t < ma; ++t) {
      const double* k = K.row(ra[t]);
      for (int x = 0; x < mb; ++x) acc += k[rb[x]];
    }
    const double q = acc / (ma * mb);
    return std::isfinite(q) ? q : 0.0;
  }

  // f(m, cell) for every live slot m but x, m ascending.
  template <class F>
  void ForPartners(int x, F&& f) {
    const int* live = ws.order.data();
    const std::size_t count = ws.order.size();
    const std::size_t at = Z(std::lower_bound(live, live + count, x) - live);
    double* row = ws.means.data() + Base(x);
    for (std::size_t k = 0; k < at; ++k) f(live[k], row[live[k] - 1]);
    const double* cells = ws.means.data();
    constexpr std::size_t kAhead = 64;  // the cells across rows miss the cache: fetch ahead
    for (std::size_t k = at + 1; k < count; ++k) {
      if (k + kAhead < count) __builtin_prefetch(cells + Base(live[k + kAhead]) + Z(x - 1));
      f(live[k], cells[Base(live[k]) + Z(x - 1)]);
    }
  }

  void ScanRow(int x) {
    const int mx = ws.mass[Z(x)];
    const int* mass = ws.mass.data();
    const int* rank = ws.rank.data();
    double best = 0.0, second = kNone;
    int partner = 0, partnerRank = 0;
    ForPartners(x, [&](int m, double key) {
      const double lb = Lower(key, mx, mass[m]);
      if (partner == 0 || lb < best || (lb == best && rank[m] < partnerRank)) {
        second = partner == 0 ? kNone : best;
        best = lb, partner = m, partnerRank = rank[m];
      } else {
        second = std::min(second, lb);
      }
    });
    ws.rowSecond[Z(x)] = second;
    ws.rowBest[Z(x)] = best;
    ws.rowPartner[Z(x)] = partner;
  }

  // Pair a before pair b: the smaller key, then the earlier first member, then the second.
  bool Before(double ka, int a1, int a2, double kb, int b1, int b2) const {
    if (ka != kb) return ka < kb;
    const int ra1 = std::min(ws.rank[Z(a1)], ws.rank[Z(a2)]);
    const int rb1 = std::min(ws.rank[Z(b1)], ws.rank[Z(b2)]);
    if (ra1 != rb1) return ra1 < rb1;
    return std::max(ws.rank[Z(a1)], ws.rank[Z(a2)]) < std::max(ws.rank[Z(b1)], ws.rank[Z(b2)]);
  }

  void MergeRuns(int p, int q) { mergeRuns(ws, poolTop, p, q); }

  void SetBranch(int32_t node, double h, bool inner) {
    TreeNode& x = tree[node];
    x.length = h;
    if (inner) x.length -= ws.height[Z(x.left)];
    ws.height[Z(node)] = inner ? ws.height[Z(x.left)] + x.length : x.length;
  }

  // The pair with the least bound first; while its key is not known exactly, every pair whose
  // bound does not exceed its exact key is summed exactly and the first of the least wins. A row
  // without a partner holds only a bound on its pairs and is searched once it could come first.
  void Choose(int& p, int& q, double& mean) {
    int a = 0;
    const auto take = [&](int s) {
      if (a == 0 || Before(ws.rowBest[Z(s)], s, ws.rowPartner[Z(s)], ws.rowBest[Z(a)], a,
                           ws.rowPartner[Z(a)]))
        a = s;
    };
    for (const int s : ws.order)
      if (ws.rowPartner[Z(s)] != 0) take(s);
    for (const int s : ws.order)
      if (ws.rowPartner[Z(s)] == 0 && (a == 0 || ws.rowBest[Z(s)] <= ws.rowBest[Z(a)])) {
        ScanRow(s);
        take(s);
      }
    int b = ws.rowPartner[Z(a)];
    const int first = std::min(a, b), second = std::max(a, b);
    mean = ExactMean(a, b);
    if ((ws.mass[Z(a)] | ws.mass[Z(b)]) != 1) {
      double best = sign * mean;
      const double bound = best;
      const auto weigh = [&](int s, int m) {
        if (std::min(s, m) == first && std::max(s, m) == second) return;
        const double exact = ExactMean(s, m);
        if (Before(sign * exact, s, m, best, a, b)) {
          best = sign * exact;
          mean = exact;
          a = s;
          b = m;
        }
      };
      for (const int s : ws.order) {
        if (ws.rowBest[Z(s)] > bound) continue;
        const int ms = ws.mass[Z(s)];
        // Only the partner can qualify when every other pair's bound lies above.
        if (ws.rowPartner[Z(s)] != 0 && ws.rowSecond[Z(s)] > bound) {
          weigh(s, ws.rowPartner[Z(s)]);
          continue;
        }
        ForPartners(s, [&](int m, double key) {
          if (m > s && Lower(key, ms, ws.mass[Z(m)]) <= bound) weigh(s, m);
        });
      }
    }
    p = ws.rank[Z(a)] < ws.rank[Z(b)] ? a : b;
    q = p == a ? b : a;
  }

  // The new cluster takes the higher of the two slots: its cells against lower slots lie in one
  // run, and joined clusters, which are read most, gather there.
  void Join(int p, int q, double mean) {
    const double h = isDistance ? mean / 2 : (1 - mean) / 2;
    const int mp = ws.mass[Z(p)];
    const int mq = ws.mass[Z(q)];
    const int mu = mp + mq;
    SetBranch(ws.node[Z(p)], h, mp > 1);
    SetBranch(ws.node[Z(q)], h, mq > 1);
    tree_detail::joinClusters(tree, p, q, ws);  // into P's slot
    MergeRuns(p, q);
    const int keep = std::max(p, q);
    const int gone = std::min(p, q);
    ws.node[Z(keep)] = ws.node[Z(p)];
    ws.label[Z(keep)] = ws.label[Z(p)];
    ws.runStart[Z(keep)] = ws.runStart[Z(p)];
    ws.order.erase(std::lower_bound(ws.order.begin(), ws.order.end(), gone));
    ++step;
    ws.rank[Z(keep)] = n - step;
    ws.mass[Z(keep)] = mu;
    // One pass: the new means, the other rows weighed against the new cluster, and its own row.
    // Each row keeps a bound on its pairs but the best; a row whose partner was P or Q takes
    // the new cluster when that bound allows, else keeps only the bound.
    const double wp = mp, wq = mq, wu = mu;
    double* cells = ws.means.data();
    int* partner = ws.rowPartner.data();
    double* rowBest = ws.rowBest.data();
    double* rowSecond = ws.rowSecond.data();
    const int* mass = ws.mass.data();
    const int* rank = ws.rank.data();
    double best = 0.0, second = kNone;
    int bestPartner = 0, bestRank = 0;
    const int* live = ws.order.data();
    const std::size_t count = ws.order.size();
    for (std::size_t k = 0; k < count; ++k) {
      if (k + 64 < count) {
        __builtin_prefetch(cells + Cell(p, live[k + 64]));
        __builtin_prefetch(cells + Cell(q, live[k + 64]));
      }
      const int m = live[k];
      if (m == keep) continue;
      const std::size_t cp = Cell(p, m), cq = Cell(q, m);
      const double v = (wp * cells[cp] + wq * cells[cq]) / wu;
      cells[keep == p ? cp : cq] = v;
      const double lb = Lower(v, mu, mass[m]);
      // Of equal bounds the new cluster stands first.
      const int was = partner[m];
      if (was == 0) {
        if (lb <= rowBest[m]) rowSecond[m] = rowBest[m], rowBest[m] = lb, partner[m] = keep;
      } else if (was == p || was == q) {
        if (lb <= rowSecond[m])
          rowBest[m] = lb, partner[m] = keep;
        else
          rowBest[m] = rowSecond[m], partner[m] = 0;
      } else if (lb <= rowBest[m]) {
        rowSecond[m] = rowBest[m], rowBest[m] = lb, partner[m] = keep;
      } else {
        rowSecond[m] = std::min(rowSecond[m], lb);
      }
      if (bestPartner == 0 || lb < best || (lb == best && rank[m] < bestRank)) {
        second = bestPartner == 0 ? kNone : best;
        best = lb, bestPartner = m, bestRank = rank[m];
      } else {
        second = std::min(second, lb);
      }
    }
    rowBest[keep] = best;
    rowSecond[keep] = second;
    partner[keep] = bestPartner;
  }

  Tree Build(RowTaxa rows) {
    const std::size_t size = Z(n) + 1;
    ws.order.clear();
    ws.order.reserve(size);
    ws.mass.assign(size, 1);
    ws.rank.resize(size);
    ws.rowPartner.assign(size, 0);
    ws.rowBest.assign(size, 0.0);
    ws.rowSecond.assign(size, kNone);
    ws.height.resize(2 * Z(n));
    tree_detail::startClusters(tree, n, rows, 1, ws);
    for (int i = 1; i <= n; ++i) {
      ws.order.push_back(i);
      ws.rank[Z(i)] = n + i;
    }
    startRuns(ws, n, poolTop);
    ws.means.resize(std::max<std::size_t>(Z(n) * Z(n - 1) / 2, 1));
    for (int b = 2; b <= n; ++b) {
      const double* k = K.row(b);
      double* row = ws.means.data() + Base(b);
      for (int a = 1; a < b; ++a) row[a - 1] = sign * k[a];
    }
    // Every row's first least partner, the triangle read in its own order.
    double* rowBest = ws.rowBest.data();
    double* rowSecond = ws.rowSecond.data();
    int* partner = ws.rowPartner.data();
    for (int b = 2; b <= n; ++b) {
      const double* row = ws.means.data() + Base(b);
      double best = row[0], second = kNone;
      int at = 1;
      for (int a = 1; a < b; ++a) {
        const double v = row[a - 1];
        if (v < best)
          second = best, best = v, at = a;
        else if (a > 1)
          second = std::min(second, v);
        if (partner[a] == 0)
          rowBest[a] = v, partner[a] = b;
        else if (v < rowBest[a])
          rowSecond[a] = rowBest[a], rowBest[a] = v, partner[a] = b;
        else
          rowSecond[a] = std::min(rowSecond[a], v);
      }
      rowBest[b] = best;
      rowSecond[b] = second;
      partner[b] = at;
    }
    while (ws.order.size() > 1) {
      int p = 0, q = 0;
      double mean = 0.0;
      Choose(p, q, mean);
      Join(p, q, mean);
    }
    ws.order.clear();
    return std::move(tree);
  }
};

}  // namespace

Tree buildUpgma(const SquareMatrix& K, int n, RowTaxa rows, bool isDistance, TreeWorkspace& ws) {
  return tree_detail::buildUpgmaWith(K, n, rows, isDistance, ws, kUpgmaPrunedFrom);
}

Tree tree_detail::buildUpgmaWith(const SquareMatrix& K, int n, RowTaxa rows, bool isDistance,
                                 TreeWorkspace& ws, int prunedFrom) {
  checkBuildInput(K, n);
  if (n >= prunedFrom && n >= 2) {
    UpgmaPrunedRun run{K, n, isDistance, ws};
    if (run.Prepare()) return run.Build(rows);
  }
  UpgmaRun run{K, n, isDistance, ws};
  return run.Build(rows);
}

}  // namespace ramovia
