#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/tree_test_util.h"
#include "output/tree_text.h"
#include "tree/builders.h"
#include "tree/tree_list.h"

namespace ramovia {
namespace {

using testing::signature;

// The taxa of a build. Row i holds taxon order[i - 1], taken from the back so that a builder
// confusing rows with taxa shows.
struct Rows {
  std::vector<Taxon> taxa;
  std::vector<int32_t> order;
  std::vector<const Name*> names;  // the name of each row's taxon

  explicit Rows(const std::vector<std::string>& rowNames) {
    const auto n = rowNames.size();
    taxa.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      order.push_back(static_cast<int32_t>(n - 1 - i));
      taxa[n - 1 - i].name = rowNames[i];
    }
    for (const int32_t t : order) names.push_back(&taxa[static_cast<std::size_t>(t)].name);
  }
  Rows(const Rows&) = delete;
  Rows& operator=(const Rows&) = delete;

  RowTaxa view() const { return {order, names}; }
  const Name& name(int row) const { return *names[static_cast<std::size_t>(row - 1)]; }
  std::string text(const Tree& t) const { return plainText(t, taxa); }
  std::string lengths(const Tree& t) const { return lengthsText(t, taxa, {}); }
};

std::vector<std::string> numbered(const char* prefix, int n, int step = 1, int mod = 1 << 30) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(prefix + std::to_string(i * step % mod));
  return out;
}

// A cluster of the working list: its node, its smallest leaf name.
struct Cluster {
  int32_t node;
  Name name;
};
using Clusters = std::vector<Cluster>;

// The working list joined the literal way: P and Q leave, the rest keep their order, the new
// cluster goes to the front.
void literalJoin(Tree& tree, Clusters& list, int p, int q) {
  const Cluster P = list[static_cast<std::size_t>(p - 1)];
  const Cluster Q = list[static_cast<std::size_t>(q - 1)];
  list.erase(list.begin() + (q - 1));
  list.erase(list.begin() + (p - 1));
  const int mp = tree[P.node].leaves, mq = tree[Q.node].leaves;
  const bool pLeft = mp == mq ? P.name < Q.name : mp > mq;
  Cluster u;
  u.name = P.name < Q.name ? P.name : Q.name;
  u.node = pLeft ? tree.addInner(P.node, Q.node) : tree.addInner(Q.node, P.node);
  list.insert(list.begin(), u);
}

Clusters leaves(Tree& tree, const Rows& rows, int n) {
  Clusters list;
  for (int i = 1; i <= n; ++i)
    list.push_back({tree.addLeaf(rows.order[static_cast<std::size_t>(i - 1)]), rows.name(i)});
  return list;
}

// UPGMA step by step as described: W rebuilt from K, each row in the first cluster holding it.
Tree literalUpgma(const SquareMatrix& K, const Rows& rows, bool isDistance) {
  const int N = static_cast<int>(rows.order.size());
  Tree tree;
  Clusters list = leaves(tree, rows, N);
  std::vector<int> rowOf(static_cast<std::size_t>(N), 0);
  for (int i = 1; i <= N; ++i)
    rowOf[static_cast<std::size_t>(rows.order[static_cast<std::size_t>(i - 1)])] = i;
  SquareMatrix W(N);
  while (list.size() > 1) {
    const int n = static_cast<int>(list.size());
    for (int k = 1; k <= N; ++k)
      for (int m = 1; m <= N; ++m) W(k, m) = 0;
    std::vector<int> find(static_cast<std::size_t>(N) + 1, 0);
    for (int k = n; k >= 1; --k)
      for (const int32_t t : tree.leafTaxa(list[static_cast<std::size_t>(k - 1)].node))
        find[static_cast<std::size_t>(rowOf[static_cast<std::size_t>(t)])] = k;
    for (int i = 1; i <= N; ++i) {
      const int k = find[static_cast<std::size_t>(i)];
      for (int j = 1; j <= N; ++j) {
        const int m = find[static_cast<std::size_t>(j)];
        if (k != m) W(k, m) += K(i, j);
      }
    }
    for (int k = 1; k <= n; ++k)
      for (int m = 1; m <= n; ++m) {
        const double q = W(k, m) / (tree[list[static_cast<std::size_t>(k - 1)].node].leaves *
                                    tree[list[static_cast<std::size_t>(m - 1)].node].leaves);
        W(k, m) = std::isfinite(q) ? q : 0.0;
      }
    double best = isDistance ? 1e20 : -1e20;
    int p = 1, q = 2;
    for (int k = 1; k < n; ++k)
      for (int m = k + 1; m <= n; ++m)
        if (isDistance ? W(k, m) < best : W(k, m) > best) {
          best = W(k, m);
          p = k;
          q = m;
        }
    const double h = isDistance ? best / 2 : (1 - best) / 2;
    for (int s : {p, q}) {
      TreeNode& c = tree[list[static_cast<std::size_t>(s - 1)].node];
      c.length = h;
      if (!c.isLeaf()) c.length -= leftHeight(tree, c.left);
    }
    literalJoin(tree, list, p, q);
  }
  return tree;
}

Tree literalNeighborJoining(const SquareMatrix& K, const Rows& rows) {
  const int N = static_cast<int>(rows.order.size());
  Tree tree;
  Clusters list = leaves(tree, rows, N);
  SquareMatrix W(N), C(N);
  std::vector<double> r(static_cast<std::size_t>(N) + 1);
  for (int i = 1; i <= N; ++i)
    for (int j = 1; j <= N; ++j) W(i, j) = K(i, j);
  while (list.size() > 1) {
    const int n = static_cast<int>(list.size());
    for (int i = 1; i <= n; ++i) {
      r[static_cast<std::size_t>(i)] = 0;
      for (int j = 1; j <= n; ++j) {
        C(i, j) = W(i, j);
        if (j != i) r[static_cast<std::size_t>(i)] += W(i, j);
      }
    }
    int p = 1, q = 2;
    if (n > 2) {
      double best = 1e20;
      for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j) {
          const double v =
              W(i, j) - (r[static_cast<std::size_t>(i)] + r[static_cast<std::size_t>(j)]) / (n - 2);
          if (v < best) {
            best = v;
            p = i;
            q = j;
          }
        }
    }
    TreeNode& P = tree[list[static_cast<std::size_t>(p - 1)].node];
    TreeNode& Q = tree[list[static_cast<std::size_t>(q - 1)].node];
    if (n == 2) {
      P.length = C(p, q) / 2;
      Q.length = C(p, q) / 2;
    } else {
      P.length = (r[static_cast<std::size_t>(p)] - r[static_cast<std::size_t>(q)]) / (2 * (n - 2)) +
                 C(p, q) / 2;
      Q.length = C(p, q) - P.length;
    }
    std::vector<int> newPos(static_cast<std::size_t>(n) + 1, 0);
    int next = 2;
    for (int k = 1; k <= n; ++k)
      if (k != p && k != q) newPos[static_cast<std::size_t>(k)] = next++;
    for (int k = 1; k <= n; ++k) {
      if (k == p || k == q) continue;
      const int nk = newPos[static_cast<std::size_t>(k)];
      W(1, nk) = W(nk, 1) = (C(p, k) + C(q, k) - C(p, q)) / 2;
    }
    for (int k = 1; k <= n; ++k)
      for (int m = k + 1; m <= n; ++m) {
        if (k == p || k == q || m == p || m == q) continue;
        const int nk = newPos[static_cast<std::size_t>(k)],
                  nm = newPos[static_cast<std::size_t>(m)];
        W(nk, nm) = C(k, m);
        W(nm, nk) = C(m, k);
      }
    literalJoin(tree, list, p, q);
  }
  return tree;
}

SquareMatrix fill(int n, std::initializer_list<double> values) {
  SquareMatrix K(n);
  auto v = values.begin();
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) K(i, j) = *v++;
  return K;
}

struct RandomCase {
  SquareMatrix K;
  std::vector<std::string> names;
};

// Values from a small set give many ties; asymmetric matrices fill both triangles independently.
RandomCase makeCase(std::mt19937& gen, int n, int style) {
  RandomCase c{SquareMatrix(n), {}};
  static const double tied[] = {0.1, 0.2, 0.25, 0.5, 0.75, 1.0 / 3};
  std::uniform_int_distribution<int> pick(0, 5);
  std::uniform_real_distribution<double> real(-0.2, 1.5);
  const bool symmetric = style % 2 == 0;
  const bool ties = style < 2;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      if (symmetric && j < i) {
        c.K(i, j) = c.K(j, i);
        continue;
      }
      c.K(i, j) = ties ? tied[pick(gen)] : real(gen);
    }
  // Some names repeat, so that equal-name tie-breaks are exercised.
  std::uniform_int_distribution<int> name(0, n + n / 3);
  for (int i = 0; i < n; ++i) c.names.push_back("t" + std::to_string(name(gen)));
  return c;
}

TEST(Builders, MatchLiteralStepsOnRandomMatrices) {
  std::mt19937 gen(12345);
  TreeWorkspace ws;  // one workspace for every build: leftovers must not matter
  for (int n = 1; n <= 60; ++n) {
    for (int style = 0; style < 4; ++style) {
      RandomCase c = makeCase(gen, n, style);
      const Rows rows(c.names);
      for (bool isDistance : {false, true}) {
        const Tree fast = buildUpgma(c.K, n, rows.view(), isDistance, ws);
        const Tree slow = literalUpgma(c.K, rows, isDistance);
        ASSERT_EQ(signature(fast), signature(slow))
            << "UPGMA n=" << n << " style=" << style << " distance=" << isDistance;
        const Tree pruned = tree_detail::buildUpgmaWith(c.K, n, rows.view(), isDistance, ws, 1);
        ASSERT_EQ(signature(pruned), signature(slow))
            << "pruned UPGMA n=" << n << " style=" << style << " distance=" << isDistance;
      }
      const Tree fast = buildNeighborJoining(c.K, n, rows.view(), ws);
      const Tree slow = literalNeighborJoining(c.K, rows);
      ASSERT_EQ(signature(fast), signature(slow)) << "NJ n=" << n << " style=" << style;
      const Tree pruned = tree_detail::buildNeighborJoiningWith(c.K, n, rows.view(), ws, 1);
      ASSERT_EQ(signature(pruned), signature(slow)) << "pruned NJ n=" << n << " style=" << style;
      for (int lanes : {1, 4, 8}) {
        const Tree narrow =
            tree_detail::buildNeighborJoiningWith(c.K, n, rows.view(), ws, 1 << 20, lanes);
        ASSERT_EQ(signature(narrow), signature(slow))
            << "NJ n=" << n << " style=" << style << " lanes=" << lanes;
      }
    }
  }
}

// Matrices that stress the shortcuts of the builders: many exact ties, all values equal, signed
// zeros (+0.0 one way, -0.0 the other breaks symmetry bit for bit), values so large that sums
// overflow, a single asymmetric cell, and values a float cannot hold.
SquareMatrix hardMatrix(std::mt19937& gen, int n, int kind) {
  SquareMatrix K(n);
  std::uniform_int_distribution<int> pick(0, 3);
  std::uniform_real_distribution<double> real(0.0, 1.0);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) {
      double v = 0;
      switch (kind) {
        case 0: v = pick(gen) * 0.25; break;               // four values
        case 1: v = 0.5; break;                            // all equal
        case 2: v = pick(gen) == 0 ? -0.0 : pick(gen) * 0.5; break;
        case 3: v = real(gen) * 1e306; break;              // r overflows
        case 4: v = real(gen); break;
        case 6: v = real(gen) * 1e200; break;              // past a float's range
        case 7: v = real(gen) * 1e-300; break;             // below a float's
        default: v = pick(gen) == 0 ? 0.0 : real(gen); break;
      }
      K(i, j) = K(j, i) = v;
    }
  if (kind == 4 && n > 2) K(n, 1) = std::nextafter(K(1, n), 2.0);  // asymmetric by one ulp
  if (kind == 5 && n > 2) K(2, 1) = -0.0, K(1, 2) = 0.0;             // asymmetric by a sign
  return K;
}

TEST(Builders, MatchLiteralStepsOnLargeAndHardMatrices) {
  std::mt19937 gen(4242);
  TreeWorkspace ws;
  for (int n : {97, 160, 301}) {
    const Rows rows(numbered("n", n, 37, 101));
    for (int kind = 0; kind < 8; ++kind) {
      const SquareMatrix K = hardMatrix(gen, n, kind);
      const Tree fast = buildNeighborJoining(K, n, rows.view(), ws);
      const Tree slow = literalNeighborJoining(K, rows);
      ASSERT_EQ(signature(fast), signature(slow)) << "NJ n=" << n << " kind=" << kind;
      const Tree pruned = tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws, 1);
      ASSERT_EQ(signature(pruned), signature(slow)) << "pruned NJ n=" << n << " kind=" << kind;
      for (int lanes : {1, 4, 8}) {
        const Tree narrow =
            tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws, 1 << 20, lanes);
        ASSERT_EQ(signature(narrow), signature(slow))
            << "NJ n=" << n << " kind=" << kind << " lanes=" << lanes;
      }
      if (n > 200) continue;  // the literal UPGMA is slow at that size
      for (bool isDistance : {false, true}) {
        const Tree u = buildUpgma(K, n, rows.view(), isDistance, ws);
        const Tree l = literalUpgma(K, rows, isDistance);
        ASSERT_EQ(signature(u), signature(l))
            << "UPGMA n=" << n << " kind=" << kind << " distance=" << isDistance;
        const Tree pu = tree_detail::buildUpgmaWith(K, n, rows.view(), isDistance, ws, 1);
        ASSERT_EQ(signature(pu), signature(l))
            << "pruned UPGMA n=" << n << " kind=" << kind << " distance=" << isDistance;
      }
    }
  }
}

// Random tree-like distances: near ties in the criterion differ only in the last bits, which the
// pair search must still order exactly.
TEST(Builders, NeighborJoiningMatchesLiteralOnNearTies) {
  std::mt19937 gen(99);
  TreeWorkspace ws;
  for (int n : {40, 120, 250, 259}) {  // 259: the widest filter takes over at 256 clusters
    SquareMatrix K(n);
    std::uniform_int_distribution<int> bits(0, 3);
    for (int i = 1; i <= n; ++i)
      for (int j = i + 1; j <= n; ++j) {
        // 1/3 and 0.1 plus a few ulps: sums round differently depending on their order.
        double v = (i + j) % 3 == 0 ? 1.0 / 3 : 0.1;
        for (int k = bits(gen); k > 0; --k) v = std::nextafter(v, 1.0);
        K(i, j) = K(j, i) = v;
      }
    const Rows rows(numbered("z", n));
    const Tree fast = buildNeighborJoining(K, n, rows.view(), ws);
    const Tree slow = literalNeighborJoining(K, rows);
    ASSERT_EQ(signature(fast), signature(slow)) << "n=" << n;
    const Tree pruned = tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws, 1);
    ASSERT_EQ(signature(pruned), signature(slow)) << "pruned n=" << n;
    for (int lanes : {1, 4, 8}) {
      const Tree narrow =
          tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws, 1 << 20, lanes);
      ASSERT_EQ(signature(narrow), signature(slow)) << "n=" << n << " lanes=" << lanes;
    }
  }
}

// Path lengths of a random tree with leaves on long and short branches (net divergences far
// apart, where the row bounds of the pruned search are loosest), rounded to a coarse grid so
// that exact ties and near-ties recur; the large build works in the matrix itself.
TEST(Builders, PrunedNeighborJoiningMatchesLiteralOnTreeDistances) {
  std::mt19937 gen(31337);
  TreeWorkspace ws;
  for (int n : {50, 180, 1100}) {
    std::vector<int> parent(static_cast<std::size_t>(2 * n - 1), -1);
    std::vector<double> up(parent.size(), 0.0);
    std::uniform_real_distribution<double> len(0.0, 1.0);
    std::vector<int> open;
    for (int i = 0; i < n; ++i) open.push_back(i);
    for (int next = n; open.size() > 1; ++next) {
      for (int side = 0; side < 2; ++side) {
        std::uniform_int_distribution<std::size_t> pick(0, open.size() - 1);
        const std::size_t k = pick(gen);
        parent[static_cast<std::size_t>(open[k])] = next;
        up[static_cast<std::size_t>(open[k])] = std::round(len(gen) * (open[k] % 7 == 0 ? 40 : 4));
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
      }
      open.push_back(next);
    }
    SquareMatrix K(n);
    std::vector<double> depth(parent.size());
    for (int i = 1; i <= n; ++i) {
      std::fill(depth.begin(), depth.end(), -1.0);
      double d = 0;
      for (int x = i - 1; x >= 0; x = parent[static_cast<std::size_t>(x)]) {
        depth[static_cast<std::size_t>(x)] = d;
        d += up[static_cast<std::size_t>(x)];
      }
      for (int j = i + 1; j <= n; ++j) {
        double e = 0;
        int x = j - 1;
        for (; depth[static_cast<std::size_t>(x)] < 0; x = parent[static_cast<std::size_t>(x)])
          e += up[static_cast<std::size_t>(x)];
        const double v = (e + depth[static_cast<std::size_t>(x)]) * 0.1;
        K(i, j) = K(j, i) = j % 5 == 0 ? std::nextafter(v, 1e9) : v;
      }
    }
    const Rows rows(numbered("p", n, 13, 97));
    const std::string slow = n > 200 ? signature(tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws,
                                                                          1 << 30))
                                     : signature(literalNeighborJoining(K, rows));
    ASSERT_EQ(signature(tree_detail::buildNeighborJoiningWith(K, n, rows.view(), ws, 1)), slow)
        << "n=" << n;
    SquareMatrix used = K;
    ASSERT_EQ(signature(buildNeighborJoiningInPlace(used, n, rows.view(), ws)), slow) << "n=" << n;
  }
}

// Clade-structured values with a few ulps of noise: clusters of every size meet leaves and each
// other, and sums that differ only in the order of their additions must still come out bit for
// bit. The workspace has served a larger build first; half the matrices are asymmetric.
TEST(Builders, UpgmaMatchesLiteralOnNestedClades) {
  std::mt19937 gen(2024);
  TreeWorkspace ws;
  {
    const int big = 230;
    const Rows rows(numbered("b", big));
    const SquareMatrix K = hardMatrix(gen, big, 4);
    ASSERT_EQ(buildUpgma(K, big, rows.view(), false, ws).leafCount(), big);
  }
  std::uniform_int_distribution<uint32_t> word;
  std::uniform_int_distribution<int> bits(0, 3);
  for (int n : {150, 61, 9}) {
    for (bool symmetric : {true, false}) {
      std::vector<uint32_t> code;
      for (int i = 0; i < n; ++i) code.push_back(word(gen));
      SquareMatrix K(n);
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
          if (i == j || (symmetric && j < i)) {
            K(i, j) = i == j ? 7.0 : K(j, i);
            continue;
          }
          const int shared = std::countl_zero(code[static_cast<std::size_t>(i - 1)] ^
                                              code[static_cast<std::size_t>(j - 1)]);
          double v = shared * 0.1 + 1.0 / 3;
          for (int k = bits(gen); k > 0; --k) v = std::nextafter(v, 9.0);
          K(i, j) = v;
        }
      const Rows rows(numbered("c", n));
      for (bool isDistance : {false, true}) {
        const Tree fast = buildUpgma(K, n, rows.view(), isDistance, ws);
        const Tree slow = literalUpgma(K, rows, isDistance);
        ASSERT_EQ(signature(fast), signature(slow))
            << "n=" << n << " symmetric=" << symmetric << " distance=" << isDistance;
        const Tree pruned = tree_detail::buildUpgmaWith(K, n, rows.view(), isDistance, ws, 1);
        ASSERT_EQ(signature(pruned), signature(slow))
            << "pruned n=" << n << " symmetric=" << symmetric << " distance=" << isDistance;
      }
    }
  }
}

// Clade levels on a coarse grid, so that means of whole clusters tie exactly or differ in the
// last bits, through the pruned search's bounds: all values of one sign, and of both signs.
TEST(Builders, PrunedUpgmaMatchesLiteralOnClusterTies) {
  std::mt19937 gen(777);
  TreeWorkspace ws;
  std::uniform_int_distribution<int> bits(0, 2);
  std::uniform_int_distribution<uint32_t> word(0, 63);
  for (int n : {45, 140}) {
    for (double shift : {0.0, -0.6}) {
      std::vector<uint32_t> code;
      for (int i = 0; i < n; ++i) code.push_back(word(gen));
      SquareMatrix K(n);
      for (int i = 1; i <= n; ++i)
        for (int j = i + 1; j <= n; ++j) {
          const int shared = std::countl_zero((code[static_cast<std::size_t>(i - 1)] ^
                                               code[static_cast<std::size_t>(j - 1)]) << 26);
          double v = (6 - std::min(shared, 6)) * 0.25 + shift;
          for (int k = bits(gen) * (j % 4 == 0); k > 0; --k) v = std::nextafter(v, 9.0);
          K(i, j) = K(j, i) = v;
        }
      const Rows rows(numbered("k", n, 7, 53));
      for (bool isDistance : {false, true}) {
        const std::string slow = signature(literalUpgma(K, rows, isDistance));
        ASSERT_EQ(signature(tree_detail::buildUpgmaWith(K, n, rows.view(), isDistance, ws, 1)), slow)
            << "n=" << n << " shift=" << shift << " distance=" << isDistance;
      }
    }
  }
}

TEST(Builders, UpgmaWorkedExample) {
  const SquareMatrix K = fill(3, {0, 0.8, 0.4, 0.8, 0, 0.2, 0.4, 0.2, 0});
  const Rows rows({"A", "B", "C"});
  TreeWorkspace ws;
  const Tree t = buildUpgma(K, 3, rows.view(), false, ws);
  EXPECT_EQ(rows.lengths(t), "((A:0.1,B:0.1):0.25,C:0.35):0");
  EXPECT_EQ(t[t.root()].length, 0.0);
  // With the same matrix read as distances the smallest value (B-C) is joined first, and a
  // join's height is half the joined distance.
  const Tree d = buildUpgma(K, 3, rows.view(), true, ws);
  EXPECT_EQ(rows.text(d), "((B,C),A)");
  const int32_t bc = d[d.root()].left;
  EXPECT_EQ(d[d[bc].left].length, 0.1);
  EXPECT_EQ(d[d[d.root()].right].length, (0.8 + 0.4) / 2 / 2);
}

TEST(Builders, UpgmaTwoTaxaAndChains) {
  SquareMatrix K(4);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) K(i, j) = 0.5;
  const Rows rows({"Q", "P", "R", "S"});
  TreeWorkspace ws;
  const Tree two = buildUpgma(K, 2, rows.view(), false, ws);
  EXPECT_EQ(rows.text(two), "(P,Q)");  // equal sizes: the smaller name goes left
  EXPECT_EQ(two[two[two.root()].left].length, 0.25);
  EXPECT_EQ(two[two[two.root()].right].length, 0.25);
  // All values equal: the newest cluster stays in front, so the chain takes the list order.
  EXPECT_EQ(rows.text(buildUpgma(K, 4, rows.view(), false, ws)), "(((P,Q),R),S)");
  const Tree one = buildUpgma(K, 1, rows.view(), false, ws);
  EXPECT_EQ(rows.lengths(one), "Q:0");
  ASSERT_EQ(one.nodes.size(), 1u);
  EXPECT_EQ(one[0].taxon, rows.order[0]);
  EXPECT_THROW(buildUpgma(K, 0, rows.view(), false, ws), ListIndexError);
  EXPECT_THROW(buildUpgma(K, 5, rows.view(), false, ws), std::invalid_argument);
}

TEST(Builders, NeighborJoiningWorkedExample) {
  const SquareMatrix K = fill(4, {0, 3, 5, 3, 3, 0, 6, 4, 5, 6, 0, 4, 3, 4, 4, 0});
  const Rows rows({"A", "B", "C", "D"});
  TreeWorkspace ws;
  EXPECT_EQ(rows.lengths(buildNeighborJoining(K, 4, rows.view(), ws)),
            "(((A:1,B:2):1,C:3):0.5,D:0.5):0");
  EXPECT_EQ(rows.lengths(buildNeighborJoining(K, 2, rows.view(), ws)), "(A:1.5,B:1.5):0");
  EXPECT_THROW(buildNeighborJoining(K, 0, rows.view(), ws), ListIndexError);
  EXPECT_THROW(buildNeighborJoining(K, 5, rows.view(), ws), std::invalid_argument);
}

TEST(Builders, NeighborJoiningKeepsNegativeLengths) {
  // C is far from everything: the A-B join on the first step is lopsided.
  const SquareMatrix K = fill(3, {0, 1, 9, 1, 0, 2, 9, 2, 0});
  const Rows rows({"A", "B", "C"});
  TreeWorkspace ws;
  const Tree t = buildNeighborJoining(K, 3, rows.view(), ws);
  EXPECT_EQ(signature(t), signature(literalNeighborJoining(K, rows)));
  EXPECT_TRUE(std::any_of(t.nodes.begin(), t.nodes.end(),
                          [](const TreeNode& n) { return n.length < 0; }))
      << rows.lengths(t);
}

// Structure every builder guarantees: each row's taxon once as a leaf, n - 1 inner nodes after
// their children with the root last, children in canonical order (more leaves left, on equal
// counts the smaller smallest leaf name).
void checkStructure(const Tree& t, const Rows& rows, int n) {
  ASSERT_EQ(t.nodes.size(), static_cast<std::size_t>(2 * n - 1));
  std::vector<int> parents(t.nodes.size(), 0);
  std::multiset<int32_t> taxa;
  const auto smallestName = [&](int32_t x) {
    std::string least;
    for (const int32_t taxon : t.leafTaxa(x)) {
      const std::string& s = rows.taxa[static_cast<std::size_t>(taxon)].name.str();
      if (least.empty() || s < least) least = s;
    }
    return least;
  };
  for (int32_t x = 0; x <= t.root(); ++x) {
    const TreeNode& node = t[x];
    if (node.isLeaf()) {
      taxa.insert(node.taxon);
      EXPECT_EQ(node.leaves, 1);
      continue;
    }
    EXPECT_EQ(node.taxon, -1);
    ASSERT_TRUE(node.left >= 0 && node.left < x && node.right >= 0 && node.right < x);
    ++parents[static_cast<std::size_t>(node.left)];
    ++parents[static_cast<std::size_t>(node.right)];
    const int ml = t[node.left].leaves, mr = t[node.right].leaves;
    EXPECT_EQ(node.leaves, ml + mr);
    EXPECT_GE(ml, mr);
    if (ml == mr) {
      EXPECT_LE(smallestName(node.left), smallestName(node.right));
    }
  }
  for (int32_t x = 0; x < t.root(); ++x) EXPECT_EQ(parents[static_cast<std::size_t>(x)], 1);
  EXPECT_EQ(taxa, std::multiset<int32_t>(rows.order.begin(), rows.order.end()));
}

TEST(Builders, ManyTaxaWithTiesKeepTheirStructure) {
  std::mt19937 gen(777);
  TreeWorkspace ws;
  for (int n : {200, 230}) {  // a data set may exceed 200 taxa: the workspace grows
    RandomCase c = makeCase(gen, n, 0);
    const Rows rows(numbered("x", n, 7919, 1000));
    for (int method = 0; method < 3; ++method) {
      auto build = [&] {
        return method == 2 ? buildNeighborJoining(c.K, n, rows.view(), ws)
                           : buildUpgma(c.K, n, rows.view(), method == 1, ws);
      };
      const Tree t = build();
      checkStructure(t, rows, n);
      EXPECT_EQ(signature(build()), signature(t));
    }
  }
}

TEST(Builders, BuildTreeDispatchesByMethod) {
  const SquareMatrix K = fill(3, {1, 0.8, 0.4, 0.8, 1, 0.2, 0.4, 0.2, 1});
  const Rows rows({"A", "B", "C"});
  TreeWorkspace ws;
  EXPECT_TRUE(buildTree(TreeMethod::None, K, 3, rows.view(), false, ws).empty());
  TreeList list;
  list.add(buildTree(TreeMethod::Upgma, K, 3, rows.view(), false, ws));
  list.add(buildTree(TreeMethod::Upgma, K, 3, rows.view(), false, ws));
  ASSERT_EQ(list.size(), 1);
  EXPECT_EQ(list[0].count, 2);
  EXPECT_EQ(rows.lengths(list[0].tree), "((A:0.1,B:0.1):0.25,C:0.35):0");
  EXPECT_EQ(signature(buildTree(TreeMethod::NeighborJoining, K, 3, rows.view(), true, ws)),
            signature(buildNeighborJoining(K, 3, rows.view(), ws)));
  // The rows decide the taxa: C and A only.
  const int32_t order[] = {0, 2};
  const Name* names[] = {rows.names[2], rows.names[0]};
  EXPECT_EQ(rows.text(buildTree(TreeMethod::Upgma, K, 2, RowTaxa{order, names}, false, ws)),
            "(A,C)");
}

TEST(Builders, AStopFlagEndsTheBuildAndAClearOneChangesNothing) {
  const SquareMatrix K = fill(3, {0, 0.8, 0.4, 0.8, 0, 0.2, 0.4, 0.2, 0});
  const Rows rows({"A", "B", "C"});
  TreeWorkspace plain, watched;
  std::atomic<bool> flag{false};
  watched.stop = &flag;
  for (const TreeMethod m : {TreeMethod::Upgma, TreeMethod::NeighborJoining}) {
    EXPECT_EQ(signature(buildTree(m, K, 3, rows.view(), true, watched)),
              signature(buildTree(m, K, 3, rows.view(), true, plain)));
    flag = true;
    EXPECT_THROW(buildTree(m, K, 3, rows.view(), true, watched), ComputationStopped);
    flag = false;
  }
}

}  // namespace
}  // namespace ramovia
