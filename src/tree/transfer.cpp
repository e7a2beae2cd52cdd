#include "tree/transfer.h"

#include <algorithm>
#include <cstring>

namespace ramovia {

namespace {

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define RAMOVIA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RAMOVIA_AVX2_CLONES
#endif

// Eight counts side by side; integer min is exact, so the lanes change no result.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
using I8 = int32_t __attribute__((vector_size(32)));

// Always inlined, so that no vector crosses a call between the clones and other code.
inline __attribute__((always_inline)) I8 LoadI8(const int32_t* p) {
  I8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline __attribute__((always_inline)) int32_t Fold(I8 v, int32_t best) {
  for (int l = 0; l < 8; ++l) best = best < v[l] ? best : v[l];
  return best;
}

// The least transfer distance over the nodes v of the other tree, whose clade holds size[v] taxa
// of which c[v] are on the split's side (`inside` taxa there, m in all).
RAMOVIA_AVX2_CLONES
int32_t leastDistance(const int32_t* c, const int32_t* size, std::size_t n, int32_t inside,
                      int32_t m, int32_t bound) {
  I8 least = I8{} + bound;
  std::size_t v = 0;
  for (; v + 8 <= n; v += 8) {
    const I8 x = inside + LoadI8(size + v) - 2 * LoadI8(c + v);
    const I8 y = m - x;
    least = least < x ? least : x;
    least = least < y ? least : y;
  }
  int32_t best = Fold(least, bound);
  for (; v < n; ++v) {
    const int32_t x = inside + size[v] - 2 * c[v];
    const int32_t y = m - x;
    best = best < x ? best : x;
    best = best < y ? best : y;
  }
  return best;
}

// to += from, then the least distance of the sum, in one pass.
RAMOVIA_AVX2_CLONES
int32_t addAndLeast(int32_t* to, const int32_t* from, const int32_t* size, std::size_t n,
                    int32_t inside, int32_t m, int32_t bound) {
  I8 least = I8{} + bound;
  std::size_t v = 0;
  for (; v + 8 <= n; v += 8) {
    const I8 c = LoadI8(to + v) + LoadI8(from + v);
    std::memcpy(to + v, &c, sizeof c);
    const I8 x = inside + LoadI8(size + v) - 2 * c;
    const I8 y = m - x;
    least = least < x ? least : x;
    least = least < y ? least : y;
  }
  int32_t best = Fold(least, bound);
  for (; v < n; ++v) {
    const int32_t c = to[v] + from[v];
    to[v] = c;
    const int32_t x = inside + size[v] - 2 * c;
    const int32_t y = m - x;
    best = best < x ? best : x;
    best = best < y ? best : y;
  }
  return best;
}

}  // namespace

void transferDistances(const Tree& reference, const SplitSet& referenceSplits, const Tree& other,
                       int32_t taxonCount, TransferScratch& s, std::vector<int32_t>& distance,
                       std::vector<int32_t>& smallSide) {
  const int32_t splits = referenceSplits.size();
  distance.assign(static_cast<std::size_t>(splits), 0);
  smallSide.assign(static_cast<std::size_t>(splits), 0);
  if (reference.empty() || other.empty() || splits == 0) return;
  const std::size_t all = other.nodes.size();
  // A leaf v of the other tree gives min(x, m - x) with x = inside + 1 - 2 c[v]. With no taxon
  // twice in the reference, c[v] is 0 or 1, `inside` leaves have 1 and the others 0: together
  // they give p - 1 for every split that counts, and only inner nodes need counting.
  s.seen.assign(static_cast<std::size_t>(taxonCount), 0);
  bool distinct = true;
  for (const TreeNode& x : reference.nodes) {
    if (!x.isLeaf() || x.taxon < 0 || x.taxon >= taxonCount) continue;
    uint8_t& seen = s.seen[static_cast<std::size_t>(x.taxon)];
    distinct = distinct && seen == 0;
    seen = 1;
  }
  // The counted nodes get the numbers 0 .. n - 1 in the other tree's order (children first).
  s.slot.assign(all, -1);
  std::size_t n = 0;
  for (std::size_t v = 0; v < all; ++v)
    if (!distinct || !other.nodes[v].isLeaf()) s.slot[v] = static_cast<int32_t>(n++);
  if (n == 0) return;  // a tree of one leaf: no side of two taxa
  s.parent.assign(n, -1);
  s.size.assign(n, 0);
  s.leafOf.assign(static_cast<std::size_t>(taxonCount), -1);
  std::vector<int32_t>& leaves = s.leaves;  // leaves below each node of the other tree
  leaves.assign(all, 0);
  for (std::size_t v = 0; v < all; ++v) {
    const TreeNode& x = other.nodes[v];
    if (x.isLeaf()) {
      leaves[v] = 1;
      if (x.taxon >= 0 && x.taxon < taxonCount)
        s.leafOf[static_cast<std::size_t>(x.taxon)] = static_cast<int32_t>(v);
      continue;
    }
    const auto at = static_cast<std::size_t>(s.slot[v]);
    leaves[v] =
        leaves[static_cast<std::size_t>(x.left)] + leaves[static_cast<std::size_t>(x.right)];
    s.size[at] = leaves[v];
    for (const int32_t child : {x.left, x.right}) {
      const auto c = static_cast<std::size_t>(child);
      // A leaf left out stands for its parent: its path starts there.
      if (s.slot[c] >= 0)
        s.parent[static_cast<std::size_t>(s.slot[c])] = static_cast<int32_t>(at);
      else
        s.slot[c] = -2 - static_cast<int32_t>(at);
    }
  }
  for (int32_t& v : s.leafOf) {
    if (v < 0) continue;
    const int32_t at = s.slot[static_cast<std::size_t>(v)];
    v = at >= 0 ? at : at <= -2 ? -2 - at : -1;
  }
  if (other.nodes[all - 1].isLeaf()) return;
  const int32_t m = leaves[all - 1];
  const std::size_t rootOther = n - 1;
  const int32_t cap = distinct ? 1 : 0;  // record's bound: p - 1 from the leaves left out

  // count[v] for a reference clade C: the taxa of C below v. A clade's counts are its children's
  // added; the larger child is done first and its buffer kept, so few buffers live at once.
  s.pool.clear();
  s.freeBuffers.clear();
  const auto take = [&]() -> int32_t {
    if (!s.freeBuffers.empty()) {
      const int32_t b = s.freeBuffers.back();
      s.freeBuffers.pop_back();
      std::fill_n(s.pool.begin() + static_cast<std::ptrdiff_t>(b) * static_cast<std::ptrdiff_t>(n), n, 0);
      return b;
    }
    const auto b = static_cast<int32_t>(s.pool.size() / n);
    s.pool.resize(s.pool.size() + n, 0);
    return b;
  };
  const auto buffer = [&](int32_t b) { return s.pool.data() + static_cast<std::size_t>(b) * n; };
  const auto addPath = [&](int32_t taxon, int32_t b) {
    if (taxon < 0 || taxon >= taxonCount) return;
    int32_t v = s.leafOf[static_cast<std::size_t>(taxon)];
    int32_t* c = buffer(b);
    for (; v >= 0; v = s.parent[static_cast<std::size_t>(v)]) ++c[v];
  };
  s.done.assign(static_cast<std::size_t>(splits), 0);
  // The split of `node`'s branch, to be evaluated; -1 when there is none or it was done.
  const auto pending = [&](int32_t node) {
    const int32_t k = referenceSplits.splitOfNode(node);
    if (k < 0 || s.done[static_cast<std::size_t>(k)] != 0) return -1;
    s.done[static_cast<std::size_t>(k)] = 1;
    return k;
  };
  const auto record = [&](int32_t k, int32_t inside, int32_t best) {
    const int32_t p = std::min(inside, m - inside);
    if (p < 2) return;
    distance[static_cast<std::size_t>(k)] = std::min(best, p - cap);
    smallSide[static_cast<std::size_t>(k)] = p;
  };

  // Depth first without recursion; a leaf child adds its path into its sibling's buffer.
  struct Frame {
    int32_t node;
    int stage;
    int32_t first, second, buffer;
  };
  std::vector<Frame> stack{{reference.root(), 0, -1, -1, -1}};
  int32_t returned = -1;
  while (!stack.empty()) {
    Frame& f = stack.back();
    const TreeNode& x = reference[f.node];
    if (x.isLeaf()) {
      returned = -1;  // a leaf's counts are its path, added where needed
      stack.pop_back();
      continue;
    }
    if (f.stage == 0) {
      const bool leftLarger = reference[x.left].leaves >= reference[x.right].leaves;
      f.first = leftLarger ? x.left : x.right;
      f.second = leftLarger ? x.right : x.left;
      f.stage = 1;
      const int32_t next = f.first;
      stack.push_back({next, 0, -1, -1, -1});
      continue;
    }
    if (f.stage == 1) {
      f.buffer = returned;
      if (f.buffer < 0) {
        f.buffer = take();
        addPath(reference[f.first].taxon, f.buffer);
      }
      f.stage = 2;
      const int32_t next = f.second;
      stack.push_back({next, 0, -1, -1, -1});
      continue;
    }
    const int32_t b = f.buffer;
    const int32_t node = f.node;
    const int32_t k = pending(node);
    int32_t* to = buffer(b);
    if (returned < 0) {
      addPath(reference[f.second].taxon, b);
      if (k >= 0) {
        const int32_t inside = to[rootOther];
        record(k, inside, leastDistance(to, s.size.data(), n, inside, m, m));
      }
    } else {
      const int32_t* from = buffer(returned);
      const int32_t inside = to[rootOther] + from[rootOther];
      const int32_t best = addAndLeast(to, from, s.size.data(), n, inside, m, m);
      if (k >= 0) record(k, inside, best);
      s.freeBuffers.push_back(returned);
    }
    stack.pop_back();
    returned = b;
  }
}

}  // namespace ramovia
