#include "tree/transfer.h"

#include <algorithm>

namespace ramovia {

namespace {

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define RAMOVIA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RAMOVIA_AVX2_CLONES
#endif

// The least transfer distance over the nodes v of the other tree, whose clade holds size[v] taxa
// of which c[v] are on the split's side (`inside` taxa there, m in all).
RAMOVIA_AVX2_CLONES
int32_t leastDistance(const int32_t* c, const int32_t* size, std::size_t n, int32_t inside,
                      int32_t m, int32_t bound) {
  int32_t best = bound;
  for (std::size_t v = 0; v < n; ++v) {
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
  int32_t best = bound;
  for (std::size_t v = 0; v < n; ++v) {
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
  const auto n = static_cast<std::size_t>(other.nodes.size());
  // The other tree: each node's parent and leaf count, each taxon's leaf.
  s.parent.assign(n, -1);
  s.size.assign(n, 0);
  s.leafOf.assign(static_cast<std::size_t>(taxonCount), -1);
  for (std::size_t v = 0; v < n; ++v) {
    const TreeNode& x = other.nodes[v];
    if (x.isLeaf()) {
      s.size[v] = 1;
      if (x.taxon >= 0 && x.taxon < taxonCount) s.leafOf[static_cast<std::size_t>(x.taxon)] = static_cast<int32_t>(v);
      continue;
    }
    s.parent[static_cast<std::size_t>(x.left)] = static_cast<int32_t>(v);
    s.parent[static_cast<std::size_t>(x.right)] = static_cast<int32_t>(v);
    s.size[v] = s.size[static_cast<std::size_t>(x.left)] + s.size[static_cast<std::size_t>(x.right)];
  }
  const int32_t m = s.size[n - 1];
  const auto rootOther = static_cast<std::size_t>(n - 1);

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
    distance[static_cast<std::size_t>(k)] = std::min(best, p);
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
