#include "analysis/comparison.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <thread>
#include <unordered_map>

#include "model/random.h"

namespace ramovia {

namespace {

std::string nameList(const std::vector<std::string>& names) {
  std::string out;
  const std::size_t shown = std::min<std::size_t>(names.size(), 10);
  for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + names[i];
  if (names.size() > shown) out += " and " + std::to_string(names.size() - shown) + " more";
  return out;
}

// The generator's state after `steps` draws from `seed`, without drawing them.
uint32_t advance(uint32_t seed, uint64_t steps) {
  uint32_t a = 1, c = 0;                    // the map s -> a s + c so far
  uint32_t stepA = 134775813u, stepC = 1u;  // one draw, then squared
  while (steps > 0) {
    if (steps & 1) {
      a = stepA * a;
      c = stepA * c + stepC;
    }
    stepC = stepA * stepC + stepC;
    stepA = stepA * stepA;
    steps >>= 1;
  }
  return a * seed + c;
}

// Σ x(i, j) · y(π i, π j) over i > j, x packed by rows of the lower triangle, y square: four
// running sums a row, in one fixed order.
double crossSum(const double* x, const double* y, const int32_t* perm, int32_t n) {
  double total = 0;
  for (int32_t i = 1; i < n; ++i) {
    const double* xr = x + static_cast<std::size_t>(i) * static_cast<std::size_t>(i - 1) / 2;
    const double* yr = y + static_cast<std::size_t>(perm[i]) * static_cast<std::size_t>(n);
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int32_t j = 0;
    for (; j + 4 <= i; j += 4) {
      s0 += xr[j] * yr[perm[j]];
      s1 += xr[j + 1] * yr[perm[j + 1]];
      s2 += xr[j + 2] * yr[perm[j + 2]];
      s3 += xr[j + 3] * yr[perm[j + 3]];
    }
    for (; j < i; ++j) s0 += xr[j] * yr[perm[j]];
    total += (s0 + s1) + (s2 + s3);
  }
  return total;
}

void requireThree(int32_t n, const char* what) {
  if (n < 3)
    throw ComparisonError(std::string(what) + " needs three taxa or more; there " +
                          (n == 1 ? "is 1." : "are " + std::to_string(n) + "."));
}

}  // namespace

Correlation copheneticCorrelation(const Tree& tree, const DistanceTable& d,
                                  std::span<const int32_t> rowTaxa) {
  const int32_t n = d.size();
  requireThree(n, "The cophenetic correlation");
  checkDistances(d, "The cophenetic correlation");
  if (tree.leafCount() != n)
    throw ComparisonError("The cophenetic correlation: the tree has " +
                          std::to_string(tree.leafCount()) + " leaves and the matrix " +
                          std::to_string(n) + " taxa.");
  std::unordered_map<int32_t, int32_t> rowOf;
  for (int32_t i = 0; i < n; ++i) rowOf[rowTaxa[static_cast<std::size_t>(i)]] = i;

  const auto count = static_cast<std::size_t>(tree.nodes.size());
  std::vector<double> depth(count, 0.0);
  std::vector<int32_t> start(count, 0);
  std::vector<int32_t> leafRow(static_cast<std::size_t>(n), -1);
  for (int32_t v = tree.root(); v >= 0; --v) {
    const TreeNode& node = tree[v];
    const auto vs = static_cast<std::size_t>(v);
    if (node.isLeaf()) {
      const auto found = rowOf.find(node.taxon);
      if (found == rowOf.end() || leafRow[static_cast<std::size_t>(start[vs])] != -1)
        throw ComparisonError("The cophenetic correlation: the tree's leaves are not the matrix's taxa.");
      leafRow[static_cast<std::size_t>(start[vs])] = found->second;
      continue;
    }
    for (const int32_t c : {node.left, node.right})
      depth[static_cast<std::size_t>(c)] = depth[vs] + tree[c].length;
    start[static_cast<std::size_t>(node.left)] = start[vs];
    start[static_cast<std::size_t>(node.right)] = start[vs] + tree[node.left].leaves;
  }
  // Each pair once, where its path turns: left leaves against right leaves of every inner node.
  const auto eachPair = [&](auto visit) {
    std::vector<double> leafDepth(static_cast<std::size_t>(n));
    for (int32_t v = 0; v <= tree.root(); ++v)
      if (tree[v].isLeaf()) leafDepth[static_cast<std::size_t>(start[static_cast<std::size_t>(v)])] = depth[static_cast<std::size_t>(v)];
    for (int32_t v = 0; v <= tree.root(); ++v) {
      const TreeNode& node = tree[v];
      if (node.isLeaf()) continue;
      const double twice = 2 * depth[static_cast<std::size_t>(v)];
      const int32_t l0 = start[static_cast<std::size_t>(node.left)], l1 = l0 + tree[node.left].leaves;
      const int32_t r0 = l1, r1 = r0 + tree[node.right].leaves;
      for (int32_t a = l0; a < l1; ++a)
        for (int32_t b = r0; b < r1; ++b)
          visit(leafDepth[static_cast<std::size_t>(a)] + leafDepth[static_cast<std::size_t>(b)] - twice,
                d(leafRow[static_cast<std::size_t>(a)], leafRow[static_cast<std::size_t>(b)]));
    }
  };
  double sx = 0, sy = 0;
  eachPair([&](double x, double y) {
    sx += x;
    sy += y;
  });
  const int64_t pairs = static_cast<int64_t>(n) * (n - 1) / 2;
  const double mx = sx / static_cast<double>(pairs), my = sy / static_cast<double>(pairs);
  double sxx = 0, syy = 0, sxy = 0;
  eachPair([&](double x, double y) {
    sxx += (x - mx) * (x - mx);
    syy += (y - my) * (y - my);
    sxy += (x - mx) * (y - my);
  });
  if (!(sxx > 0) || !(syy > 0))
    throw ComparisonError(std::string("The cophenetic correlation is not defined: all ") +
                          (sxx > 0 ? "distances" : "path lengths of the tree") + " are equal.");
  return {sxy / std::sqrt(sxx * syy), pairs};
}

MantelResult mantelTest(const DistanceTable& x, const DistanceTable& y, int32_t permutations,
                        uint32_t seed, int threads) {
  const int32_t n = x.size();
  requireThree(n, "The Mantel test");
  if (y.size() != n) throw ComparisonError("The Mantel test needs two matrices of the same taxa.");
  checkDistances(x, "The Mantel test, the first matrix");
  checkDistances(y, "The Mantel test, the second matrix");
  const auto un = static_cast<std::size_t>(n);
  const std::size_t pairs = un * (un - 1) / 2;
  double mx = 0, my = 0;
  for (int32_t i = 1; i < n; ++i)
    for (int32_t j = 0; j < i; ++j) {
      mx += x(i, j);
      my += y(i, j);
    }
  mx /= static_cast<double>(pairs);
  my /= static_cast<double>(pairs);
  std::vector<double> xc(pairs), yc(un * un, 0.0);
  double sxx = 0, syy = 0;
  for (int32_t i = 1; i < n; ++i)
    for (int32_t j = 0; j < i; ++j) {
      const double a = x(i, j) - mx, b = y(i, j) - my;
      xc[static_cast<std::size_t>(i) * static_cast<std::size_t>(i - 1) / 2 + static_cast<std::size_t>(j)] = a;
      yc[static_cast<std::size_t>(i) * un + static_cast<std::size_t>(j)] = b;
      yc[static_cast<std::size_t>(j) * un + static_cast<std::size_t>(i)] = b;
      sxx += a * a;
      syy += b * b;
    }
  if (!(sxx > 0) || !(syy > 0))
    throw ComparisonError(std::string("The Mantel test is not defined: all cells of the ") +
                          (sxx > 0 ? "second" : "first") + " matrix are equal.");
  std::vector<int32_t> identity(un);
  std::iota(identity.begin(), identity.end(), 0);
  const double observed = crossSum(xc.data(), yc.data(), identity.data(), n);

  MantelResult result;
  result.r = observed / std::sqrt(sxx * syy);
  result.permutations = std::max(permutations, 0);
  result.pairs = static_cast<int64_t>(pairs);
  if (result.permutations == 0) return result;
  int workers = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
  workers = std::clamp(workers, 1, result.permutations);
  std::vector<int64_t> hits(static_cast<std::size_t>(workers), 0);
  const auto work = [&](int w) {
    const int32_t first = static_cast<int32_t>(int64_t(result.permutations) * w / workers);
    const int32_t last = static_cast<int32_t>(int64_t(result.permutations) * (w + 1) / workers);
    Random random(advance(seed, static_cast<uint64_t>(first) * static_cast<uint64_t>(n - 1)));
    std::vector<int32_t> perm(un);
    int64_t count = 0;
    for (int32_t k = first; k < last; ++k) {
      std::iota(perm.begin(), perm.end(), 0);
      for (int32_t i = n - 1; i >= 1; --i)
        std::swap(perm[static_cast<std::size_t>(i)], perm[random.index(i + 1)]);
      if (crossSum(xc.data(), yc.data(), perm.data(), n) >= observed) ++count;
    }
    hits[static_cast<std::size_t>(w)] = count;
  };
  std::vector<std::thread> pool;
  for (int w = 1; w < workers; ++w) pool.emplace_back(work, w);
  work(0);
  for (auto& t : pool) t.join();
  const int64_t total = std::accumulate(hits.begin(), hits.end(), int64_t{0});
  result.p = static_cast<double>(total + 1) / static_cast<double>(result.permutations + 1);
  return result;
}

DistanceTable alignedTo(const DistanceTable& reference, const DistanceTable& other,
                        const std::string& what) {
  std::unordered_map<std::string, int32_t> position;
  for (int32_t i = 0; i < other.size(); ++i) {
    if (!position.emplace(other.names[static_cast<std::size_t>(i)], i).second)
      throw ComparisonError(what + ": the taxon " + other.names[static_cast<std::size_t>(i)] +
                            " appears twice.");
  }
  std::vector<std::string> missing, extra;
  std::vector<int32_t> from;
  for (const std::string& name : reference.names) {
    const auto found = position.find(name);
    if (found == position.end()) {
      missing.push_back(name);
    } else {
      from.push_back(found->second);
    }
  }
  std::unordered_map<std::string, int32_t> known;
  for (const std::string& name : reference.names) known.emplace(name, 0);
  for (const std::string& name : other.names)
    if (!known.contains(name)) extra.push_back(name);
  if (!missing.empty() || !extra.empty()) {
    std::string message = what + " does not hold the same taxa as the data:";
    if (!missing.empty()) message += " missing " + nameList(missing) + ";";
    if (!extra.empty()) message += " not in the data " + nameList(extra) + ";";
    message.back() = '.';
    throw ComparisonError(message);
  }
  DistanceTable out;
  out.names = reference.names;
  const auto n = static_cast<std::size_t>(reference.size());
  out.cells.resize(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) out.cells[i * n + j] = other(from[i], from[j]);
  return out;
}

FlatTree flatten(const Tree& tree) {
  FlatTree f;
  f.parent.assign(tree.nodes.size(), -1);
  f.taxon.resize(tree.nodes.size());
  for (int32_t v = 0; v <= tree.root(); ++v) {
    f.taxon[static_cast<std::size_t>(v)] = tree[v].isLeaf() ? tree[v].taxon : -1;
    if (!tree[v].isLeaf()) {
      f.parent[static_cast<std::size_t>(tree[v].left)] = v;
      f.parent[static_cast<std::size_t>(tree[v].right)] = v;
    }
  }
  return f;
}

TaxonGroups treeGroups(const FlatTree& tree, int32_t taxonCount, bool rooted) {
  TaxonGroups g;
  g.words = std::max(1, (taxonCount + 63) / 64);
  const auto words = static_cast<std::size_t>(g.words);
  const std::size_t nodes = tree.parent.size();
  std::vector<int32_t> slot(nodes, -1);
  int32_t inner = 0;
  for (std::size_t v = 0; v < nodes; ++v)
    if (tree.taxon[v] < 0) slot[v] = inner++;
  std::vector<uint64_t> below(static_cast<std::size_t>(inner) * words, 0);
  std::vector<int32_t> sizes(static_cast<std::size_t>(inner), 0);
  for (std::size_t v = 0; v < nodes; ++v) {
    const int32_t p = tree.parent[v];
    if (p < 0) continue;
    uint64_t* to = below.data() + static_cast<std::size_t>(slot[static_cast<std::size_t>(p)]) * words;
    if (tree.taxon[v] >= 0) {
      to[static_cast<std::size_t>(tree.taxon[v]) / 64] |= uint64_t{1} << (tree.taxon[v] % 64);
    } else {
      const uint64_t* from = below.data() + static_cast<std::size_t>(slot[v]) * words;
      for (std::size_t w = 0; w < words; ++w) to[w] |= from[w];
    }
  }
  std::vector<uint64_t> all(words, 0);
  for (int32_t t = 0; t < taxonCount; ++t) all[static_cast<std::size_t>(t) / 64] |= uint64_t{1} << (t % 64);
  std::vector<uint64_t> kept;
  for (std::size_t v = 0; v < nodes; ++v) {
    if (slot[v] < 0 || tree.parent[v] < 0) continue;
    uint64_t* b = below.data() + static_cast<std::size_t>(slot[v]) * words;
    if (!rooted && (b[0] & 1))
      for (std::size_t w = 0; w < words; ++w) b[w] = all[w] & ~b[w];
    int32_t size = 0;
    for (std::size_t w = 0; w < words; ++w) size += std::popcount(b[w]);
    if (size < 2 || size > taxonCount - (rooted ? 1 : 2)) continue;
    kept.insert(kept.end(), b, b + words);
  }
  const std::size_t count = kept.size() / words;
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto less = [&](std::size_t a, std::size_t b) {
    return std::lexicographical_compare(kept.begin() + static_cast<std::ptrdiff_t>(a * words),
                                        kept.begin() + static_cast<std::ptrdiff_t>((a + 1) * words),
                                        kept.begin() + static_cast<std::ptrdiff_t>(b * words),
                                        kept.begin() + static_cast<std::ptrdiff_t>((b + 1) * words));
  };
  std::sort(order.begin(), order.end(), less);
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0 && !less(order[k - 1], order[k])) continue;
    g.bits.insert(g.bits.end(), kept.begin() + static_cast<std::ptrdiff_t>(order[k] * words),
                  kept.begin() + static_cast<std::ptrdiff_t>((order[k] + 1) * words));
  }
  return g;
}

TreeDistance robinsonFoulds(const TaxonGroups& a, const TaxonGroups& b, bool rooted) {
  TreeDistance d;
  d.rooted = rooted;
  d.groupsA = a.size();
  d.groupsB = b.size();
  const auto words = static_cast<std::ptrdiff_t>(a.words);
  int32_t i = 0, j = 0, shared = 0;
  while (i < a.size() && j < b.size()) {
    const auto ai = a.bits.begin() + i * words, bj = b.bits.begin() + j * words;
    if (std::lexicographical_compare(ai, ai + words, bj, bj + words)) {
      ++i;
    } else if (std::lexicographical_compare(bj, bj + words, ai, ai + words)) {
      ++j;
    } else {
      ++shared;
      ++i;
      ++j;
    }
  }
  d.rf = d.groupsA + d.groupsB - 2 * shared;
  const int32_t total = d.groupsA + d.groupsB;
  d.rfNormalised = total > 0 ? static_cast<double>(d.rf) / static_cast<double>(total) : 0.0;
  return d;
}

}  // namespace ramovia
