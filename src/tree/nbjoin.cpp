#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "tree/builders.h"
#include "tree/vec4.h"

namespace ramovia {

namespace {

// Clusters live in slots 0..n-1 of a padded matrix, and a join moves nothing but the new
// cluster's row and column (and the last slot into the freed one, so that the live slots stay
// dense; the pruned search moves nothing and writes the row only). The working list's order is
// kept apart, as the slot at each position. Every entry W(k, m) the working list would hold sits
// at (slot of k, slot of m), so each value is read from where the renumbered matrix would have it.
//
// r(i) and the criterion are computed in exactly the working list's order and form. Two shortcuts
// keep that exact:
// - When the matrix is symmetric bit for bit (the update keeps it so), r of 4 slots side by side
//   reads row s contiguously, since W(s, i) is W(i, s). The diagonal is kept at +0.0: a running
//   sum that starts at +0.0 never becomes -0.0, so adding it for j = i leaves the sum as it is.
// - The pair search first computes u = (W - r'(j) / (n - 2)) - r'(i) / (n - 2) for all pairs, from
//   sums r' kept up to date from step to step (subtract the two old terms, add the new one) with a
//   bound on how far they can be from the exact r. u is within tol of the exact
//   v = W - (r(i) + r(j)) / (n - 2), so the winner has u <= min u + 2 tol; v, and the exact r it
//   needs, is evaluated in the working list's order only for the pairs that pass that test.

using namespace vec4;

// r[c .. c + 4 NV) = sum of W(ord[t], lane) over t in order, for a symmetric W.
template <int NV>
inline __attribute__((always_inline)) void SumBlock(const double* w, std::size_t stride,
                                                    const int* ord, int n, int c, double* r) {
  V4 acc[NV];
#pragma GCC unroll 8
  for (int v = 0; v < NV; ++v) acc[v] = Splat(0.0);
  for (int t = 0; t < n; ++t) {
    const double* row = w + static_cast<std::size_t>(ord[t]) * stride + static_cast<std::size_t>(c);
#pragma GCC unroll 8
    for (int v = 0; v < NV; ++v) acc[v] += Load(row + 4 * v);
  }
#pragma GCC unroll 8
  for (int v = 0; v < NV; ++v) Store(r + c + 4 * v, acc[v]);
}

inline __attribute__((always_inline)) void RowSumsImpl(const double* w, std::size_t stride,
                                                       const int* ord, int n, double* r) {
  const int lanes = (n + 3) / 4 * 4;
  int c = 0;
  for (; c + 32 <= lanes; c += 32) SumBlock<8>(w, stride, ord, n, c, r);
  for (; c + 16 <= lanes; c += 16) SumBlock<4>(w, stride, ord, n, c, r);
  for (; c < lanes; c += 4) SumBlock<1>(w, stride, ord, n, c, r);
}

RAMOVIA_VEC_INLINE V4 Min4(V4 u, V4 m) { return u < m ? u : m; }
// A vector's lanes folded to four by min.
RAMOVIA_VEC_INLINE V4 Half(V4 m) { return m; }
RAMOVIA_VEC_INLINE V4 Half(V8 m) {
  return Min4(__builtin_shufflevector(m, m, 0, 1, 2, 3), __builtin_shufflevector(m, m, 4, 5, 6, 7));
}
// The least lane of each of four vectors, as the lanes of one.
RAMOVIA_VEC_INLINE V4 Fold4(V4 q0, V4 q1, V4 q2, V4 q3) {
  const V4 t0 = Min4(__builtin_shufflevector(q0, q1, 0, 4, 2, 6),
                     __builtin_shufflevector(q0, q1, 1, 5, 3, 7));
  const V4 t1 = Min4(__builtin_shufflevector(q2, q3, 0, 4, 2, 6),
                     __builtin_shufflevector(q2, q3, 1, 5, 3, 7));
  return Min4(__builtin_shufflevector(t0, t1, 0, 1, 4, 5),
              __builtin_shufflevector(t0, t1, 2, 3, 6, 7));
}

// rowMin[a] = min over b > a of u(a, b) = (W(a, b) - x(b)) - x(a), x = r * inv; returns the least
// of them. The final subtraction is monotone, so it is applied to the row's least W(a, b) - x(b).
// Lanes whose x is NaN (past the live slots) never win a comparison; rows are read from
// boundaries of L doubles, with the lanes up to a itself pushed out by adding +inf. Rows go four
// at a time, sharing the loads of x. Min is exact, so neither changes a value.
template <class V, int L>
inline __attribute__((always_inline)) double FilterImpl(const double* w, std::size_t stride,
                                                        const double* x, int n, double* rowMin) {
  const double inf = std::numeric_limits<double>::infinity();
  double head[L + 1][L] = {};  // head[k]: the first k lanes pushed out
  for (int k = 1; k <= L; ++k)
    for (int l = 0; l < k; ++l) head[k][l] = inf;
  const auto load = [](const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  const V none = V{} + inf;
  const auto least = [](V u, V m) { return u < m ? u : m; };
  V4 all = Splat(inf);
  int a = 0;
  // Rows a..a + 3 (the last may be row n - 1, which has no pair left and stays at +inf); from
  // column c + L on every pair is past all four.
  for (; a + 3 < n; a += 4) {
    const int c = a & ~(L - 1);
    const double* r0 = w + static_cast<std::size_t>(a) * stride;
    const double* r1 = r0 + stride;
    const double* r2 = r1 + stride;
    const double* r3 = r2 + stride;
    const V xc = load(x + c);
    V m0 = least(load(r0 + c) - xc + load(head[a - c + 1]), none);
    V m1 = least(load(r1 + c) - xc + load(head[a - c + 2]), none);
    V m2 = least(load(r2 + c) - xc + load(head[a - c + 3]), none);
    V m3 = least(load(r3 + c) - xc + load(head[a - c + 4]), none);
    for (int b = c + L; b < n; b += L) {
      const V xb = load(x + b);
      m0 = least(load(r0 + b) - xb, m0);
      m1 = least(load(r1 + b) - xb, m1);
      m2 = least(load(r2 + b) - xb, m2);
      m3 = least(load(r3 + b) - xb, m3);
    }
    const V4 u = Fold4(Half(m0), Half(m1), Half(m2), Half(m3)) - Load(x + a);
    Store(rowMin + a, u);
    all = Min4(u, all);
  }
  double best = all[0];
  for (int l = 1; l < 4; ++l) best = all[l] < best ? all[l] : best;
  for (; a + 1 < n; ++a) {
    const double* row = w + static_cast<std::size_t>(a) * stride;
    const int c = (a + 1) & ~(L - 1);
    V m = least(load(row + c) - load(x + c) + load(head[a + 1 - c]), none);
    for (int b = c + L; b < n; b += L) m = least(load(row + b) - load(x + b), m);
    double r = m[0];
    for (int l = 1; l < L; ++l) r = m[l] < r ? m[l] : r;
    rowMin[a] = r - x[a];
    best = rowMin[a] < best ? rowMin[a] : best;
  }
  return best;
}

using I4 = long long __attribute__((vector_size(32)));

// The max of |v| over count values, infinite once one is not finite.
inline __attribute__((always_inline)) double MaxAbsImpl(const double* v, int count) {
  V4 hi = Splat(0.0), lo = Splat(0.0);
  I4 bad = {0, 0, 0, 0};
  int i = 0;
  for (; i + 3 < count; i += 4) {
    const V4 a = Load(v + i);
    const V4 z = a - a;  // +0 for a finite value, NaN otherwise
    hi = a > hi ? a : hi;
    lo = a < lo ? a : lo;
    bad |= z != z;
  }
  double m = 0.0;
  bool nonFinite = false;
  for (int l = 0; l < 4; ++l) {
    m = hi[l] > m ? hi[l] : m;
    m = -lo[l] > m ? -lo[l] : m;
    nonFinite = nonFinite || bad[l] != 0;
  }
  for (; i < count; ++i) {
    const double a = std::fabs(v[i]);
    m = a > m ? a : m;
    nonFinite = nonFinite || !std::isfinite(v[i]);
  }
  return nonFinite ? std::numeric_limits<double>::infinity() : m;
}

// x = r * inv over the live slots; returns the max of |r| as MaxAbs does.
inline __attribute__((always_inline)) double ScaleImpl(const double* r, double inv, int n,
                                                       double* x) {
  int i = 0;
  for (; i + 3 < n; i += 4) Store(x + i, Load(r + i) * inv);
  for (; i < n; ++i) x[i] = r[i] * inv;
  return MaxAbsImpl(r, n);
}

// fresh = (P's row + Q's row - cpq) / 2 over the live slots; when ra is given, each of its sums
// loses the old terms and gains the new one.
inline __attribute__((always_inline)) void FreshImpl(const double* rowP, const double* rowQ,
                                                     double cpq, int n, double* fresh, double* ra) {
  int k = 0;
  for (; k + 3 < n; k += 4) {
    const V4 p = Load(rowP + k), q = Load(rowQ + k);
    const V4 f = (p + q - cpq) / 2;
    Store(fresh + k, f);
    if (ra != nullptr) Store(ra + k, ((Load(ra + k) - p) - q) + f);
  }
  for (; k < n; ++k) {
    fresh[k] = (rowP[k] + rowQ[k] - cpq) / 2;
    if (ra != nullptr) ra[k] = ((ra[k] - rowP[k]) - rowQ[k]) + fresh[k];
  }
}

// The sum of v over count values, four lanes apart and then the rest in order: each term goes
// through no more roundings than in a sum in order, so the error bound of one holds. Returns the
// max of |v| as MaxAbs does in maxAbs.
inline __attribute__((always_inline)) double SumImpl(const double* v, int count, double& maxAbs) {
  V4 acc = Splat(0.0);
  int i = 0;
  for (; i + 3 < count; i += 4) acc += Load(v + i);
  double sum = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  for (; i < count; ++i) sum += v[i];
  maxAbs = MaxAbsImpl(v, count);
  return sum;
}

// The kernels, built for each instruction set; Build picks one set per run.
struct Kernels {
  double (*filter)(const double*, std::size_t, const double*, int, double*);
  void (*rowSums)(const double*, std::size_t, const int*, int, double*);
  double (*maxAbs)(const double*, int);
  double (*scale)(const double*, double, int, double*);
  void (*fresh)(const double*, const double*, double, int, double*, double*);
  double (*sum)(const double*, int, double&);
};

#define RAMOVIA_NJ_KERNELS(Name, Target, Impl)                                                   \
  Target double Filter##Name(const double* w, std::size_t stride, const double* x, int n,      \
                             double* rowMin) {                                                 \
    return Impl(w, stride, x, n, rowMin);                                                      \
  }                                                                                            \
  Target void RowSums##Name(const double* w, std::size_t stride, const int* ord, int n,        \
                            double* r) {                                                       \
    RowSumsImpl(w, stride, ord, n, r);                                                         \
  }                                                                                            \
  Target double MaxAbs##Name(const double* v, int count) { return MaxAbsImpl(v, count); }       \
  Target double Scale##Name(const double* r, double inv, int n, double* x) {                   \
    return ScaleImpl(r, inv, n, x);                                                            \
  }                                                                                            \
  Target void Fresh##Name(const double* rowP, const double* rowQ, double cpq, int n,           \
                          double* fresh, double* ra) {                                         \
    FreshImpl(rowP, rowQ, cpq, n, fresh, ra);                                                  \
  }                                                                                            \
  Target double Sum##Name(const double* v, int count, double& maxAbs) {                        \
    return SumImpl(v, count, maxAbs);                                                          \
  }                                                                                            \
  constexpr Kernels k##Name{Filter##Name, RowSums##Name, MaxAbs##Name,                         \
                            Scale##Name,  Fresh##Name,   Sum##Name};

#define RAMOVIA_NO_TARGET
RAMOVIA_NJ_KERNELS(Generic, RAMOVIA_NO_TARGET, (FilterImpl<V4, 4>))
RAMOVIA_NJ_KERNELS(Avx2, __attribute__((target("avx2"))), (FilterImpl<V4, 4>))
RAMOVIA_NJ_KERNELS(Avx512, __attribute__((target("avx512f"))), (FilterImpl<V8, 8>))
#undef RAMOVIA_NO_TARGET
#undef RAMOVIA_NJ_KERNELS

// Below this many live clusters the rows are too short for the eight-lane filter to gain.
constexpr int kWideFilterFrom = 256;

// The kernels for a choice of lanes (0: this processor's best), and the ones for the filter of
// the wide steps.
const Kernels& KernelsFor(int lanes) {
  if (lanes == 0 || lanes >= 4) {
    if (lanes >= 8 && hasAvx512()) return kAvx512;
    if (hasAvx2()) return kAvx2;
  }
  return kGeneric;
}
const Kernels& WideKernelsFor(int lanes) {
  return lanes == 0 && hasAvx512() ? kAvx512 : KernelsFor(lanes);
}

bool SameBits(double a, double b) {
  uint64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// An upper bound of |x| over the values seen; a NaN makes it infinite for good.
void Widen(double& bound, double x) {
  const double m = std::fabs(x);
  if (!(m <= bound)) bound = m == m ? m : std::numeric_limits<double>::infinity();
}

constexpr double kEps = 0x1p-53;
// From this many taxa on, the pair search prunes with sorted rows rather than filtering all pairs.
constexpr int kPrunedSearchFrom = 1024;
// Past this the error bounds themselves could overflow; the pairs are then scanned in full.
constexpr double kFilterLimit = 0x1p900;

struct NbJoinRun {
  TreeWorkspace& ws;
  Tree tree{};
  int total = 0;              // taxa
  int n = 0;                  // live clusters
  int step = 0;
  std::size_t stride = 0;
  double* w = nullptr;        // slot matrix, row s at w + s * stride
  int* ord = nullptr;         // slot at each working-list position
  int* pos = nullptr;         // working-list position of each slot
  double* rx = nullptr;       // exact net divergence per slot, valid where stamp == step
  int* stamp = nullptr;
  double* ra = nullptr;       // approximate net divergence per slot; NaN past the live slots
  bool symmetric = false;
  const Kernels* kern = &kGeneric;
  const Kernels* wide = &kGeneric;  // the filter's from kWideFilterFrom live clusters on
  int width = 0;                    // 0: the kernels this processor runs best; else as chosen
  bool pruned = false;        // slots stay put; the pair search walks each row's sorted list
  int kPrunedFrom = kPrunedSearchFrom;
  double maxW = 0.0;          // bound of |W| over the live entries
  double drift = 0.0;         // bound of what the updates of ra have added to its error

  double& At(int a, int b) {
    return w[static_cast<std::size_t>(a) * stride + static_cast<std::size_t>(b)];
  }

  // In the pruned search a joined cluster writes its row only: the value of a pair sits in the
  // row of its younger cluster (either row for two leaves). Writing the column as well would
  // touch one cache line per live row at every join. The joined clusters lead the working list,
  // youngest first, so the pairs of slot a read from other rows are those with the first
  // Younger(a) positions.
  bool ownedRows = false;
  int joined = 0;  // live joined clusters
  double Value(int a, int b) {
    return ownedRows && birth[b] > birth[a] ? At(b, a) : At(a, b);
  }
  int Younger(int a) const { return birth[a] == 0 ? joined : pos[a]; }

  // r(i) as the working list adds it: W(i, j) over the positions in order, +0.0 for j = i.
  void ExactSums(const int* slots, int count) {
    if (ownedRows) return OwnedExactSums(slots, count);
    int k = 0;
    for (; k + 3 < count; k += 4) {
      const double* w0 = &At(slots[k], 0);
      const double* w1 = &At(slots[k + 1], 0);
      const double* w2 = &At(slots[k + 2], 0);
      const double* w3 = &At(slots[k + 3], 0);
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int t = 0; t < n; ++t) {
        const int b = ord[t];
        s0 += w0[b];
        s1 += w1[b];
        s2 += w2[b];
        s3 += w3[b];
      }
      rx[slots[k]] = s0;
      rx[slots[k + 1]] = s1;
      rx[slots[k + 2]] = s2;
      rx[slots[k + 3]] = s3;
    }
    for (; k < count; ++k) {
      const double* w0 = &At(slots[k], 0);
      double s0 = 0.0;
      for (int t = 0; t < n; ++t) s0 += w0[ord[t]];
      rx[slots[k]] = s0;
    }
    for (int j = 0; j < count; ++j) stamp[slots[j]] = step;
  }

  // The same sums where the first positions of each are read down the column.
  void OwnedExactSums(const int* slots, int count) {
    int k = 0;
    for (; k + 1 < count; k += 2) {
      const int a0 = slots[k], a1 = slots[k + 1];
      const double* w0 = &At(a0, 0);
      const double* w1 = &At(a1, 0);
      const int h0 = Younger(a0), h1 = Younger(a1);
      const int lo = std::min(h0, h1), hi = std::max(h0, h1);
      double s0 = 0.0, s1 = 0.0;
      int t = 0;
      for (; t < lo; ++t) {
        const int b = ord[t];
        s0 += At(b, a0);
        s1 += At(b, a1);
      }
      for (; t < hi; ++t) {
        const int b = ord[t];
        s0 += t < h0 ? At(b, a0) : w0[b];
        s1 += t < h1 ? At(b, a1) : w1[b];
      }
      for (; t < n; ++t) {
        const int b = ord[t];
        s0 += w0[b];
        s1 += w1[b];
      }
      rx[a0] = s0;
      rx[a1] = s1;
    }
    for (; k < count; ++k) {
      const int a0 = slots[k];
      const double* w0 = &At(a0, 0);
      const int h0 = Younger(a0);
      double s0 = 0.0;
      int t = 0;
      for (; t < h0; ++t) s0 += At(ord[t], a0);
      for (; t < n; ++t) s0 += w0[ord[t]];
      rx[a0] = s0;
    }
    for (int j = 0; j < count; ++j) stamp[slots[j]] = step;
  }

  void AllExactSums() {
    if (symmetric && !pruned) {
      kern->rowSums(w, stride, ord, n, rx);
      for (int a = 0; a < n; ++a) stamp[a] = step;
    } else {
      ExactSums(ord, n);  // every slot once, in any order
    }
  }

  void NeedExact(int a) {
    if (stamp[a] != step) ExactSums(&a, 1);
  }

  // The exact sums of all slots of the candidates, four rows to a pass.
  void NeedExact(const std::vector<uint64_t>& pairs) {
    auto& due = ws.exactDue;
    due.clear();
    for (const uint64_t c : pairs)
      for (const int i : {static_cast<int>(c >> 32), static_cast<int>(c & 0xffffffffU)}) {
        const int a = ord[i];
        if (stamp[a] == step) continue;
        stamp[a] = step;
        due.push_back(a);
      }
    ExactSums(due.data(), static_cast<int>(due.size()));
  }

  // The scan over positions as described, every pair evaluated exactly.
  void FullScan(int& p, int& q, double d) {
    AllExactSums();
    double best = 1e20;
    for (int i = 0; i + 1 < n; ++i) {
      const int a = ord[i];
      const double* row = &At(a, 0);
      const double r0 = rx[a];
      for (int j = i + 1; j < n; ++j) {
        const int b = ord[j];
        const double v = (ownedRows ? Value(a, b) : row[b]) - (r0 + rx[b]) / d;
        if (v < best) {
          best = v;
          p = i;
          q = j;
        }
      }
    }
  }

  // The exact v of the pair at positions (i, j).
  double Exact(int i, int j, double d) {
    const int a = ord[i], b = ord[j];
    NeedExact(a);
    NeedExact(b);
    return Value(a, b) - (rx[a] + rx[b]) / d;
  }

  void ChoosePair(int& p, int& q) {
    p = 0;
    q = 1;
    if (n == 2) return;
    const double d = n - 2;
    if (!symmetric) return FullScan(p, q, d);
    const double inv = 1 / d;
    // |ra - R| and |rx - R| are each within 1.01 eps N^2 maxW of the real sum R (and ra also
    // within its drift), so |ra - rx| <= err.
    const double err = 2.02 * kEps * total * static_cast<double>(total) * maxW + drift;
    double maxR = 0.0;
    double* x = ws.scaled.data();
    if (pruned)
      for (int t = 0; t < n; ++t) Widen(maxR, ra[ord[t]]);
    else
      maxR = kern->scale(ra, inv, n, x);  // the live slots are 0..n-1
    maxR += err;
    const double bound = maxW + 2.1 * maxR * inv;
    if (!(bound <= kFilterLimit)) return FullScan(p, q, d);
    // |u - v| <= 3 eps |W| + 13.1 eps max |r| / (n - 2) + 2 (1 + 3 eps) err / (n - 2), plus
    // what underflow loses.
    const double tol = 0x1p-49 * bound + 3 * err * inv + 0x1p-1000;
    if (pruned) return PrunedChoose(p, q, d, inv, tol, bound);
    std::fill(x + n, x + stride + 8, std::numeric_limits<double>::quiet_NaN());
    double* rowMin = ws.rowBest.data();
    const Kernels& f = n >= kWideFilterFrom ? *wide : *kern;
    const double minU = f.filter(w, stride, x, n, rowMin);
    // The winner's u is within 2 tol of the least u: only such pairs can win.
    const double limit = minU + 2 * tol;
    if (!std::isfinite(limit)) return FullScan(p, q, d);
    auto& cand = ws.candidates;
    cand.clear();
    const std::size_t cap = 4 * static_cast<std::size_t>(n) + 64;
    for (int a = 0; a + 1 < n && cand.size() <= cap; ++a) {
      if (rowMin[a] > limit) continue;
      const double* row = &At(a, 0);
      const double xa = x[a];
      for (int b = a + 1; b < n; ++b) {
        if ((row[b] - x[b]) - xa > limit) continue;
        const auto i = static_cast<uint64_t>(std::min(pos[a], pos[b]));
        const auto j = static_cast<uint64_t>(std::max(pos[a], pos[b]));
        cand.push_back(i << 32 | j);
      }
    }
    if (cand.size() > cap) return TieScan(p, q, d, limit);
    double best = 1e20;
    std::sort(cand.begin(), cand.end());
    NeedExact(cand);
    for (const uint64_t c : cand) {
      const int i = static_cast<int>(c >> 32);
      const int j = static_cast<int>(c & 0xffffffffU);
      const double v = Exact(i, j, d);
      if (v < best) {
        best = v;
        p = i;
        q = j;
      }
    }
  }

  // ---- The pruned pair search (large n) ----
  // Each live slot a keeps a list of slots b whose pair (a, b) it owns: a leaf row the later
  // leaves, a joined cluster's row every slot live when it was made. Each live pair sits in
  // exactly one list. A list is sorted by the key W(a, b) - x0(b), x0(b) being b's x when it
  // first met the search, lazily, a growing chunk at a time. Since u(a, b) = key - (x(b) - x0(b))
  // - x(a), with drift = max (x - x0) over the live slots a row scan stops at the first key that
  // rules the rest of the row out, and a row whose least key does is not read at all.
  static constexpr int kDead = std::numeric_limits<int>::max();
  int* birth = nullptr;       // 0: a leaf; else the step that made the slot's cluster
  double* floorKey = nullptr; // a lower bound of the keys of the valid entries of each list
  double* x0 = nullptr;
  double xDrift = 0.0;
  double margin = 0.0;        // covers the roundings of the keys and of the bound
  int baseCount = 0;          // live clusters when the bases were last set

  bool Valid(int a, int b) const {
    return birth[a] == 0 ? birth[b] == 0 : birth[b] < birth[a];
  }

  // The key rounded down to a float, as 32 bits that order as the floats do, above the slot.
  static uint64_t SortWord(double key, uint16_t slot) {
    const float f = static_cast<float>(key);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits = (bits & 0x80000000U) != 0 ? ~bits : bits | 0x80000000U;
    // One step down in that order is the next float below (a key that rounded up is never +0).
    bits -= static_cast<uint32_t>(static_cast<double>(f) > key);
    return static_cast<uint64_t>(bits) << 32 | slot;
  }
  static float WordKey(uint64_t word) {
    uint32_t bits = static_cast<uint32_t>(word >> 32);
    bits = (bits & 0x80000000U) != 0 ? bits & 0x7fffffffU : ~bits;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

  // Sorts the next chunk of a's list; false when nothing valid is left unsorted.
  bool Extend(int a) {
    SortedRow& L = ws.sortedRows[static_cast<std::size_t>(a)];
    const double* row = &At(a, 0);
    auto& words = ws.sortScratch;
    words.clear();
    for (uint32_t e = L.sorted; e < L.end; ++e) {
      const uint16_t b = L.data[e];
      if (Valid(a, b)) words.push_back(SortWord(row[b] - x0[b], b));
    }
    L.end = L.sorted + static_cast<uint32_t>(words.size());
    if (L.sorted == L.end) return false;
    // Each chunk costs a pass over the rest: few passes, chunks much shorter than the rest.
    const uint32_t chunk = std::max({16U, L.sorted - L.head, (L.end - L.sorted) / 32});
    const auto count = std::min<std::size_t>(chunk, words.size());
    if (count < words.size())
      std::nth_element(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(count), words.end());
    std::sort(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(count));
    for (std::size_t k = 0; k < words.size(); ++k) L.data[L.sorted + k] = static_cast<uint16_t>(words[k]);
    for (std::size_t k = 0; k < count; ++k) L.keys[L.sorted + k] = WordKey(words[k]);
    L.sorted += static_cast<uint32_t>(count);
    return true;
  }

  double Bound(double key, double xa) const { return ((key - xDrift) - xa) - margin; }

  // Collects the pairs of a's list with u <= best + twoTol (best falling as it goes); false when
  // there are too many to be worth keeping.
  bool ScanRow(int a, double& best, double twoTol, std::size_t cap) {
    SortedRow& L = ws.sortedRows[static_cast<std::size_t>(a)];
    const double* row = &At(a, 0);
    const double* x = ws.scaled.data();
    const double xa = x[a];
    bool first = true;
    for (uint32_t e = L.head;; ++e) {
      if (e == L.sorted && !Extend(a)) break;
      const int b = L.data[e];
      if (!Valid(a, b)) {
        if (e == L.head) ++L.head;
        continue;
      }
      const double key = L.keys[e];
      if (first) floorKey[a] = key;
      first = false;
      if (Bound(key, xa) > best + twoTol) return true;
      // The same bound with b's own drift: most entries the row's bound lets through end here,
      // before the matrix is read.
      if (((key - (x[b] - x0[b])) - xa) - margin > best + twoTol) continue;
      const double wab = row[b];
      const double u = (wab - x[b]) - xa;
      if (u <= best + twoTol) {
        const auto i = static_cast<uint64_t>(std::min(pos[a], pos[b]));
        const auto j = static_cast<uint64_t>(std::max(pos[a], pos[b]));
        ws.candidates.push_back(i << 32 | j);
        ws.candidateU.push_back(u);
        if (u < best) best = u;
        if (ws.candidates.size() > 2 * cap) {
          Keep(best + twoTol);
          if (ws.candidates.size() > cap) return false;
        }
      }
    }
    if (first) floorKey[a] = std::numeric_limits<double>::infinity();
    return true;
  }

  void Keep(double limit) {
    std::size_t k = 0;
    for (std::size_t c = 0; c < ws.candidates.size(); ++c)
      if (ws.candidateU[c] <= limit) {
        ws.candidates[k] = ws.candidates[c];
        ws.candidateU[k++] = ws.candidateU[c];
      }
    ws.candidates.resize(k);
    ws.candidateU.resize(k);
  }

  // Every pair whose u is within 2 tol of the least u is evaluated exactly, as in the dense
  // search; the rows are visited least bound first and skipped once their bound is past it.
  void PrunedChoose(int& p, int& q, double d, double inv, double tol, double bound) {
    double* x = ws.scaled.data();
    xDrift = -std::numeric_limits<double>::infinity();
    double maxAbs = 0.0;
    // As the x drift apart from their bases the bounds loosen: new bases now and then, each
    // list to be sorted again (as it is read) by its new keys.
    for (int t = 0; t < n; ++t) {
      const int a = ord[t];
      x[a] = ra[a] * inv;
      if (x0[a] != x0[a]) x0[a] = x[a];
      xDrift = std::max(xDrift, x[a] - x0[a]);
      Widen(maxAbs, x0[a]);
      Widen(maxAbs, x[a]);
    }
    // Each of the keys, the drift and the bound is a few roundings of values below this.
    margin = 0x1p-48 * (bound + 4 * maxAbs);
    if (!(margin <= kFilterLimit)) return FullScan(p, q, d);
    if (8 * n <= 7 * baseCount) {
      // A list is sorted again by its new keys only when it is read; until then its floor, less
      // the drift, still bounds the new keys from below.
      baseCount = n;
      for (int t = 0; t < n; ++t) {
        const int a = ord[t];
        x0[a] = x[a];
        ws.sortedRows[static_cast<std::size_t>(a)].sorted = ws.sortedRows[static_cast<std::size_t>(a)].head;
        floorKey[a] = (floorKey[a] - xDrift) - margin;
      }
      xDrift = 0.0;
    }
    const double twoTol = 2 * tol;
    int start = ord[0];
    double least = std::numeric_limits<double>::infinity();
    for (int t = 0; t < n; ++t) {
      const int a = ord[t];
      const double lb = Bound(floorKey[a], x[a]);
      if (lb < least) least = lb, start = a;
    }
    ws.candidates.clear();
    ws.candidateU.clear();
    const std::size_t cap = 4 * static_cast<std::size_t>(n) + 64;
    double best = std::numeric_limits<double>::infinity();
    bool kept = ScanRow(start, best, twoTol, cap);
    for (int t = 0; t < n && kept; ++t) {
      const int a = ord[t];
      if (a == start || Bound(floorKey[a], x[a]) > best + twoTol) continue;
      kept = ScanRow(a, best, twoTol, cap);
    }
    const double limit = best + 2 * tol;
    if (!std::isfinite(limit)) return FullScan(p, q, d);
    if (!kept) return TieScan(p, q, d, limit);
    Keep(limit);
    std::sort(ws.candidates.begin(), ws.candidates.end());
    NeedExact(ws.candidates);
    double v0 = 1e20;
    for (const uint64_t c : ws.candidates) {
      const int i = static_cast<int>(c >> 32);
      const int j = static_cast<int>(c & 0xffffffffU);
      const double v = Exact(i, j, d);
      if (v < v0) {
        v0 = v;
        p = i;
        q = j;
      }
    }
  }

  // Ties everywhere: the scan in full, exact only where the filter lets a pair through.
  void TieScan(int& p, int& q, double d, double limit) {
    const double* x = ws.scaled.data();
    double best = 1e20;
    for (int i = 0; i + 1 < n; ++i) {
      const int a = ord[i];
      const double* row = &At(a, 0);
      const double xa = x[a];
      for (int j = i + 1; j < n; ++j) {
        const int b = ord[j];
        if (((ownedRows ? Value(a, b) : row[b]) - x[b]) - xa > limit) continue;
        const double v = Exact(i, j, d);
        if (v < best) {
          best = v;
          p = i;
          q = j;
        }
      }
    }
  }

  void StartLists() {
    const auto N = static_cast<std::size_t>(total);
    ws.birth.assign(N, 0);
    ws.rowFloor.assign(N, -std::numeric_limits<double>::infinity());
    ws.baseX.assign(N, std::numeric_limits<double>::quiet_NaN());
    baseCount = total;
    birth = ws.birth.data();
    floorKey = ws.rowFloor.data();
    x0 = ws.baseX.data();
    ws.sortedRows.assign(N, SortedRow{});
    if (ws.joinedRows.size() < N) ws.joinedRows.resize(N);
    if (ws.joinedKeys.size() < N) ws.joinedKeys.resize(N);
    ws.leafRows.resize(N * (N - 1) / 2);
    ws.leafKeys.resize(N * (N - 1) / 2);
    ws.sortScratch.reserve(N);
    std::size_t off = 0;
    for (int a = 0; a < total; ++a) {
      SortedRow& L = ws.sortedRows[static_cast<std::size_t>(a)];
      L.data = ws.leafRows.data() + off;
      L.keys = ws.leafKeys.data() + off;
      L.end = static_cast<uint32_t>(total - 1 - a);
      for (int b = a + 1; b < total; ++b) ws.leafRows[off++] = static_cast<uint16_t>(b);
    }
  }

  // P now holds the cluster made at this step, Q is gone.
  void JoinLists(int P, int Q) {
    birth[P] = step;
    birth[Q] = kDead;
    auto& mine = ws.joinedRows[static_cast<std::size_t>(P)];
    mine.resize(static_cast<std::size_t>(n - 1));
    for (int t = 1; t < n; ++t) mine[static_cast<std::size_t>(t - 1)] = static_cast<uint16_t>(ord[t]);
    auto& keys = ws.joinedKeys[static_cast<std::size_t>(P)];
    keys.resize(static_cast<std::size_t>(n - 1));
    ws.sortedRows[static_cast<std::size_t>(P)] = {mine.data(), keys.data(), 0, 0,
                                                  static_cast<uint32_t>(n - 1)};
    floorKey[P] = -std::numeric_limits<double>::infinity();
    x0[P] = std::numeric_limits<double>::quiet_NaN();
    std::vector<uint16_t>().swap(ws.joinedRows[static_cast<std::size_t>(Q)]);
    std::vector<float>().swap(ws.joinedKeys[static_cast<std::size_t>(Q)]);
    ws.sortedRows[static_cast<std::size_t>(Q)] = SortedRow{};
  }

  // own: the matrix to work in, used up (rows and columns 1..count of K itself); else a copy.
  Tree Build(const SquareMatrix& K, int count, RowTaxa rows, SquareMatrix* own) {
    total = n = count;
    step = 0;
    pruned = count >= kPrunedFrom && count <= 65536;
    if (!pruned) own = nullptr;
    stride = static_cast<std::size_t>(n + 7) / 8 * 8;
    if (own != nullptr) {
      stride = static_cast<std::size_t>(own->capacity()) + 1;
      w = own->row(1) + 1;
    } else {
      // Room for the rows, the reads past the last live column, and 64-byte alignment.
      const std::size_t cells = static_cast<std::size_t>(n) * stride + 16;
      if (ws.cells.size() < cells) ws.cells.resize(cells);
      const auto misalign = reinterpret_cast<std::uintptr_t>(ws.cells.data()) % 64;
      w = ws.cells.data() + (misalign == 0 ? 0 : (64 - misalign) / sizeof(double));
    }
    const std::size_t lanes = static_cast<std::size_t>(n + 7) / 8 * 8 + 8;
    for (auto* v : {&ws.r, &ws.approx, &ws.scaled, &ws.rowBest, &ws.fresh})
      if (v->size() < lanes) v->resize(lanes);
    for (auto* v : {&ws.order, &ws.slotOf, &ws.stamp})
      if (v->size() < lanes) v->resize(lanes);
    if (ws.candidates.capacity() < 6 * lanes + 128) ws.candidates.reserve(6 * lanes + 128);
    if (ws.exactDue.capacity() < lanes) ws.exactDue.reserve(lanes);
    rx = ws.r.data();
    ra = ws.approx.data();
    ord = ws.order.data();
    pos = ws.slotOf.data();
    stamp = ws.stamp.data();
    std::fill(stamp, stamp + lanes, -1);
    ws.mass.assign(static_cast<std::size_t>(n), 1);
    tree_detail::startClusters(tree, n, rows, 0, ws);
    kern = &KernelsFor(width);
    wide = &WideKernelsFor(width);

    symmetric = true;
    maxW = 0.0;
    drift = 0.0;
    for (int i = 1; i <= n; ++i) {
      ord[i - 1] = i - 1;
      pos[i - 1] = i - 1;
      double* row = &At(i - 1, 0);
      if (own == nullptr) {
        std::memcpy(row, K.row(i) + 1, static_cast<std::size_t>(n) * sizeof(double));
        std::fill(row + n, row + stride, 0.0);
      }
      row[i - 1] = 0.0;
      Widen(maxW, kern->maxAbs(row, n));
    }
    // Tile by tile, so that the column reads stay in cache.
    constexpr int kTile = 16;
    for (int ib = 0; ib < n && symmetric; ib += kTile)
      for (int jb = ib; jb < n && symmetric; jb += kTile)
        for (int i = ib; i < std::min(ib + kTile, n); ++i)
          for (int j = std::max(jb, i + 1); j < std::min(jb + kTile, n); ++j)
            if (!SameBits(At(i, j), At(j, i))) symmetric = false;
    if (symmetric && pruned) {
      for (int a = 0; a < n; ++a) {
        const double* row = &At(a, 0);
        double sum = 0.0;
        for (int b = 0; b < n; ++b) sum += row[b];
        ra[a] = sum;
      }
      StartLists();
      ownedRows = true;
      joined = 0;
    } else if (symmetric) {
      kern->rowSums(w, stride, ord, n, ra);
      std::fill(ra + n, ra + lanes, std::numeric_limits<double>::quiet_NaN());
    }

    while (n > 1) Step();
    return std::move(tree);
  }

  void Step() {
    ++step;
    int p, q;
    ChoosePair(p, q);
    const int P = ord[p];
    const int Q = ord[q];
    const double cpq = Value(P, Q);
    TreeNode& cp = tree[ws.node[static_cast<std::size_t>(P)]];
    TreeNode& cq = tree[ws.node[static_cast<std::size_t>(Q)]];
    if (n == 2) {
      // The root sits on the last branch: each side gets half of it.
      cp.length = cpq / 2;
      cq.length = cpq / 2;
    } else {
      NeedExact(P);
      NeedExact(Q);
      cp.length = (rx[P] - rx[Q]) / (2 * (n - 2)) + cpq / 2;
      cq.length = cpq - cp.length;
    }
    // The new cluster's distances from the old rows of P and Q; the approximate sums lose the
    // old terms and gain the new one.
    double* fresh = ws.fresh.data();
    double sumU = 0.0;
    if (ownedRows) {
      const double* rowP = &At(P, 0);
      const double* rowQ = &At(Q, 0);
      const int hP = Younger(P), hQ = Younger(Q);
      for (int t = 0; t < n; ++t) {
        const int k = ord[t];
        const double wp = t < hP ? At(k, P) : rowP[k];
        const double wq = t < hQ ? At(k, Q) : rowQ[k];
        fresh[k] = (wp + wq - cpq) / 2;
        ra[k] = ((ra[k] - wp) - wq) + fresh[k];
      }
      joined += 1 - (birth[P] > 0) - (birth[Q] > 0);
      for (int t = 0; t < n; ++t) {
        const int k = ord[t];
        if (k == P || k == Q) continue;
        At(P, k) = fresh[k];
        Widen(maxW, fresh[k]);
        sumU += fresh[k];
      }
    } else if (pruned) {
      const double* rowP = &At(P, 0);
      const double* rowQ = &At(Q, 0);
      for (int t = 0; t < n; ++t) {
        const int k = ord[t];
        fresh[k] = (rowP[k] + rowQ[k] - cpq) / 2;
        if (symmetric) ra[k] = ((ra[k] - rowP[k]) - rowQ[k]) + fresh[k];
      }
      for (int t = 0; t < n; ++t) {
        const int k = ord[t];
        if (k == P || k == Q) continue;
        At(P, k) = fresh[k];
        At(k, P) = fresh[k];
        Widen(maxW, fresh[k]);
        sumU += fresh[k];
      }
    } else {
      double* rowP = &At(P, 0);
      kern->fresh(rowP, &At(Q, 0), cpq, n, fresh, symmetric ? ra : nullptr);
      fresh[P] = 0.0;
      fresh[Q] = 0.0;
      double maxFresh = 0.0;
      sumU = kern->sum(fresh, n, maxFresh);  // +0 for P and Q leaves the sum as it is
      Widen(maxW, maxFresh);
      std::memcpy(rowP, fresh, static_cast<std::size_t>(n) * sizeof(double));
      rowP[Q] = cpq;
      const double qp = At(Q, P);
      for (int k = 0; k < n; ++k) At(k, P) = fresh[k];
      At(Q, P) = qp;
    }
    At(P, P) = 0.0;
    ra[P] = sumU;
    // Each of the three roundings above errs by at most eps of a value below (n + 4) maxW.
    drift += 3.1 * kEps * (n + 4) * maxW + 0x1p-1070;
    const int mp = ws.mass[static_cast<std::size_t>(P)];
    const int mq = ws.mass[static_cast<std::size_t>(Q)];
    tree_detail::joinClusters(tree, P, Q, ws);
    ws.mass[static_cast<std::size_t>(P)] = mp + mq;

    // Working list: the new cluster first, the rest in their order. Off the pruned path the last
    // slot is about to move into Q's, and is entered there at once.
    const int moved = !pruned && Q != n - 1 ? n - 1 : -1;
    int kept = 0;
    for (int t = 0; t < n; ++t) {
      int s = ord[t];
      if (s == P || s == Q) continue;
      s = s == moved ? Q : s;
      pos[s] = kept + 1;
      ord[kept++] = s;
    }
    std::memmove(ord + 1, ord, static_cast<std::size_t>(kept) * sizeof *ord);
    ord[0] = P == moved ? Q : P;
    pos[ord[0]] = 0;
    --n;
    if (pruned) {
      if (symmetric) JoinLists(P, Q);
      for (int t = 0; t < n; ++t) pos[ord[t]] = t;
      return;
    }
    // The last slot moves into the freed one, so that the live slots stay 0..n-1.
    const int last = n;
    if (Q != last) {
      std::memcpy(&At(Q, 0), &At(last, 0), static_cast<std::size_t>(n) * sizeof(double));
      for (int k = 0; k < n; ++k) At(k, Q) = At(k, last);
      At(Q, Q) = 0.0;
      ws.node[static_cast<std::size_t>(Q)] = ws.node[static_cast<std::size_t>(last)];
      ws.label[static_cast<std::size_t>(Q)] = ws.label[static_cast<std::size_t>(last)];
      ws.mass[static_cast<std::size_t>(Q)] = ws.mass[static_cast<std::size_t>(last)];
      ra[Q] = ra[last];
    }
    ra[last] = std::numeric_limits<double>::quiet_NaN();
  }
};

}  // namespace

Tree buildNeighborJoining(const SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws) {
  tree_detail::checkBuildInput(K, n);
  NbJoinRun run{ws};
  return run.Build(K, n, rows, nullptr);
}

Tree buildNeighborJoiningInPlace(SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws) {
  tree_detail::checkBuildInput(K, n);
  NbJoinRun run{ws};
  return run.Build(K, n, rows, &K);
}

namespace tree_detail {
Tree buildNeighborJoiningWith(const SquareMatrix& K, int n, RowTaxa rows, TreeWorkspace& ws,
                              int prunedFrom, int lanes) {
  checkBuildInput(K, n);
  NbJoinRun run{ws};
  run.kPrunedFrom = prunedFrom;
  run.width = lanes;
  return run.Build(K, n, rows, nullptr);
}
}  // namespace tree_detail

}  // namespace ramovia
