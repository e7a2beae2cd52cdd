#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <set>

#include "core/tree_test_util.h"
#include "model/enzym.h"
#include "tree/builders.h"

namespace ramovia {
namespace {

using testing::Signature;
using Clusters = std::vector<std::unique_ptr<TKVTreeNodeItem>>;

// The working list joined the literal way: P and Q leave, the rest keep their order, the new
// cluster goes to the front.
void LiteralJoin(Clusters& list, int p, int q) {
  auto P = std::move(list[static_cast<std::size_t>(p - 1)]);
  auto Q = std::move(list[static_cast<std::size_t>(q - 1)]);
  list.erase(list.begin() + (q - 1));
  list.erase(list.begin() + (p - 1));
  auto u = std::make_unique<TKVTreeNode>();
  u->Name = P->Name < Q->Name ? P->Name : Q->Name;
  const int mp = P->GetMass(), mq = Q->GetMass();
  const bool pLeft = mp == mq ? P->Name < Q->Name : mp > mq;
  u->Left = pLeft ? std::move(P) : std::move(Q);
  u->Right = pLeft ? std::move(Q) : std::move(P);
  list.insert(list.begin(), std::move(u));
}

Clusters Leaves(const std::vector<ItemName>& names) {
  Clusters list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto leaf = std::make_unique<TKVTreeNodeItem>();
    leaf->Name = names[i];
    leaf->Num = static_cast<int32_t>(i + 1);
    list.push_back(std::move(leaf));
  }
  return list;
}

// UPGMA step by step as described: W rebuilt from K with a search by ItemInTree.
std::unique_ptr<TKVTreeNodeItem> LiteralUPGMA(const SquareMatrix& K,
                                              const std::vector<ItemName>& names, bool isDistance) {
  const int N = static_cast<int>(names.size());
  Clusters list = Leaves(names);
  SquareMatrix W(N);
  while (list.size() > 1) {
    const int n = static_cast<int>(list.size());
    for (int k = 1; k <= N; ++k)
      for (int m = 1; m <= N; ++m) W(k, m) = 0;
    // The first cluster whose ItemInTree(t) holds, for every taxon t.
    std::vector<int> find(static_cast<std::size_t>(N) + 1, 0);
    for (int t = 1; t <= N; ++t)
      for (int k = 1; k <= n && find[static_cast<std::size_t>(t)] == 0; ++k)
        if (list[static_cast<std::size_t>(k - 1)]->ItemInTree(t))
          find[static_cast<std::size_t>(t)] = k;
    for (int i = 1; i <= N; ++i) {
      const int k = find[static_cast<std::size_t>(i)];
      for (int j = 1; j <= N; ++j) {
        const int m = find[static_cast<std::size_t>(j)];
        if (k != m) W(k, m) += K(i, j);
      }
    }
    for (int k = 1; k <= n; ++k)
      for (int m = 1; m <= n; ++m) {
        const double q = W(k, m) / (list[static_cast<std::size_t>(k - 1)]->GetMass() *
                                    list[static_cast<std::size_t>(m - 1)]->GetMass());
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
      auto& c = list[static_cast<std::size_t>(s - 1)];
      c->Distance = h;
      if (c->GetMass() > 1) c->Distance -= AsNode(c.get())->Left->GetDistance();
    }
    LiteralJoin(list, p, q);
  }
  return std::move(list.front());
}

std::unique_ptr<TKVTreeNodeItem> LiteralNbJoin(const SquareMatrix& K,
                                               const std::vector<ItemName>& names) {
  const int N = static_cast<int>(names.size());
  Clusters list = Leaves(names);
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
    auto& P = list[static_cast<std::size_t>(p - 1)];
    auto& Q = list[static_cast<std::size_t>(q - 1)];
    if (n == 2) {
      P->Distance = C(p, q) / 2;
      Q->Distance = C(p, q) / 2;
    } else {
      P->Distance =
          (r[static_cast<std::size_t>(p)] - r[static_cast<std::size_t>(q)]) / (2 * (n - 2)) +
          C(p, q) / 2;
      Q->Distance = C(p, q) - P->Distance;
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
    LiteralJoin(list, p, q);
  }
  return std::move(list.front());
}

std::vector<const ItemName*> Pointers(const std::vector<ItemName>& names) {
  std::vector<const ItemName*> p;
  for (const auto& n : names) p.push_back(&n);
  return p;
}

struct RandomCase {
  SquareMatrix K;
  std::vector<ItemName> names;
};

// Values from a small set give many ties; asymmetric matrices fill both triangles independently.
RandomCase MakeCase(std::mt19937& gen, int n, int style) {
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
  for (int i = 0; i < n; ++i) c.names.emplace_back("t" + std::to_string(name(gen)));
  return c;
}

TEST(Builders, MatchLiteralStepsOnRandomMatrices) {
  std::mt19937 gen(12345);
  TreeWorkspace ws;  // one workspace for every build: leftovers must not matter
  for (int n = 1; n <= 60; ++n) {
    for (int style = 0; style < 4; ++style) {
      RandomCase c = MakeCase(gen, n, style);
      const auto names = Pointers(c.names);
      for (bool isDistance : {false, true}) {
        auto fast = BuildUPGMA(c.K, n, names.data(), isDistance, ws);
        auto slow = LiteralUPGMA(c.K, c.names, isDistance);
        ASSERT_EQ(Signature(fast.get()), Signature(slow.get()))
            << "UPGMA n=" << n << " style=" << style << " distance=" << isDistance;
      }
      auto fast = BuildNbJoin(c.K, n, names.data(), ws);
      auto slow = LiteralNbJoin(c.K, c.names);
      ASSERT_EQ(Signature(fast.get()), Signature(slow.get())) << "NJ n=" << n << " style=" << style;
    }
  }
}

// Matrices that stress the shortcuts of the builders: many exact ties, all values equal, signed
// zeros (+0.0 one way, -0.0 the other breaks symmetry bit for bit), values so large that sums
// overflow, and a single asymmetric cell.
SquareMatrix HardMatrix(std::mt19937& gen, int n, int kind) {
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
    std::vector<ItemName> names;
    for (int i = 0; i < n; ++i) names.emplace_back("n" + std::to_string(i * 37 % 101));
    const auto ptrs = Pointers(names);
    for (int kind = 0; kind < 6; ++kind) {
      const SquareMatrix K = HardMatrix(gen, n, kind);
      auto fast = BuildNbJoin(K, n, ptrs.data(), ws);
      auto slow = LiteralNbJoin(K, names);
      ASSERT_EQ(Signature(fast.get()), Signature(slow.get())) << "NJ n=" << n << " kind=" << kind;
      if (n > 200) continue;  // the literal UPGMA is slow at that size
      for (bool isDistance : {false, true}) {
        auto u = BuildUPGMA(K, n, ptrs.data(), isDistance, ws);
        auto l = LiteralUPGMA(K, names, isDistance);
        ASSERT_EQ(Signature(u.get()), Signature(l.get()))
            << "UPGMA n=" << n << " kind=" << kind << " distance=" << isDistance;
      }
    }
  }
}

// Random tree-like distances: near ties in the criterion differ only in the last bits, which the
// pair search must still order exactly.
TEST(Builders, NbJoinMatchesLiteralOnNearTies) {
  std::mt19937 gen(99);
  TreeWorkspace ws;
  for (int n : {40, 120, 250}) {
    SquareMatrix K(n);
    std::uniform_int_distribution<int> bits(0, 3);
    for (int i = 1; i <= n; ++i)
      for (int j = i + 1; j <= n; ++j) {
        // 1/3 and 0.1 plus a few ulps: sums round differently depending on their order.
        double v = (i + j) % 3 == 0 ? 1.0 / 3 : 0.1;
        for (int k = bits(gen); k > 0; --k) v = std::nextafter(v, 1.0);
        K(i, j) = K(j, i) = v;
      }
    std::vector<ItemName> names;
    for (int i = 0; i < n; ++i) names.emplace_back("z" + std::to_string(i));
    auto fast = BuildNbJoin(K, n, Pointers(names).data(), ws);
    auto slow = LiteralNbJoin(K, names);
    ASSERT_EQ(Signature(fast.get()), Signature(slow.get())) << "n=" << n;
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
    std::vector<ItemName> names;
    for (int i = 0; i < big; ++i) names.emplace_back("b" + std::to_string(i));
    const SquareMatrix K = HardMatrix(gen, big, 4);
    ASSERT_NE(BuildUPGMA(K, big, Pointers(names).data(), false, ws), nullptr);
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
      std::vector<ItemName> names;
      for (int i = 0; i < n; ++i) names.emplace_back("c" + std::to_string(i));
      for (bool isDistance : {false, true}) {
        auto fast = BuildUPGMA(K, n, Pointers(names).data(), isDistance, ws);
        auto slow = LiteralUPGMA(K, names, isDistance);
        ASSERT_EQ(Signature(fast.get()), Signature(slow.get()))
            << "n=" << n << " symmetric=" << symmetric << " distance=" << isDistance;
      }
    }
  }
}

TEST(Builders, UpgmaWorkedExample) {
  SquareMatrix K(3);
  K(1, 2) = K(2, 1) = 0.8;
  K(1, 3) = K(3, 1) = 0.4;
  K(2, 3) = K(3, 2) = 0.2;
  std::vector<ItemName> names = {"A", "B", "C"};
  TreeWorkspace ws;
  auto t = BuildUPGMA(K, 3, Pointers(names).data(), false, ws);
  EXPECT_EQ(t->GetDescNbJoin(), "((A:0.1,B:0.1):0.25,C:0.35):0");
  EXPECT_EQ(t->Distance, 0.0);
  // With the same matrix read as distances the smallest value (B-C) is joined first, and a
  // join's height is half the joined distance.
  auto d = BuildUPGMA(K, 3, Pointers(names).data(), true, ws);
  EXPECT_EQ(d->GetDescStd(), "((B,C),A)");
  const auto* bc = AsNode(AsNode(d.get())->Left.get());
  EXPECT_EQ(bc->Left->Distance, 0.1);
  EXPECT_EQ(AsNode(d.get())->Right->Distance, (0.8 + 0.4) / 2 / 2);
}

TEST(Builders, UpgmaTwoTaxaAndChains) {
  std::vector<ItemName> names = {"Q", "P", "R", "S"};
  SquareMatrix K(4);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) K(i, j) = 0.5;
  TreeWorkspace ws;
  auto two = BuildUPGMA(K, 2, Pointers(names).data(), false, ws);
  EXPECT_EQ(two->GetDescStd(), "(P,Q)");  // equal sizes: the smaller name goes left
  EXPECT_EQ(AsNode(two.get())->Left->Distance, 0.25);
  EXPECT_EQ(AsNode(two.get())->Right->Distance, 0.25);
  EXPECT_EQ(two->Name.str(), "P");
  // All values equal: the newest cluster stays in front, so the chain takes the list order.
  auto chain = BuildUPGMA(K, 4, Pointers(names).data(), false, ws);
  EXPECT_EQ(chain->GetDescStd(), "(((P,Q),R),S)");
  auto one = BuildUPGMA(K, 1, Pointers(names).data(), false, ws);
  EXPECT_EQ(one->GetDescNbJoin(), "Q:0");
  EXPECT_EQ(one->Num, 1);
  EXPECT_THROW(BuildUPGMA(K, 0, Pointers(names).data(), false, ws), ListIndexError);
  EXPECT_THROW(BuildUPGMA(K, 5, Pointers(names).data(), false, ws), std::invalid_argument);
}

TEST(Builders, NbJoinWorkedExample) {
  SquareMatrix K(4);
  const double d[4][4] = {{0, 3, 5, 3}, {3, 0, 6, 4}, {5, 6, 0, 4}, {3, 4, 4, 0}};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) K(i, j) = d[i - 1][j - 1];
  std::vector<ItemName> names = {"A", "B", "C", "D"};
  TreeWorkspace ws;
  auto t = BuildNbJoin(K, 4, Pointers(names).data(), ws);
  EXPECT_EQ(t->GetDescNbJoin(), "(((A:1,B:2):1,C:3):0.5,D:0.5):0");
  auto two = BuildNbJoin(K, 2, Pointers(names).data(), ws);
  EXPECT_EQ(two->GetDescNbJoin(), "(A:1.5,B:1.5):0");
  EXPECT_THROW(BuildNbJoin(K, 0, Pointers(names).data(), ws), ListIndexError);
}

TEST(Builders, NbJoinKeepsNegativeLengths) {
  // C is far from everything: the A-B join on the first step is lopsided.
  SquareMatrix K(3);
  const double d[3][3] = {{0, 1, 9}, {1, 0, 2}, {9, 2, 0}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) K(i, j) = d[i - 1][j - 1];
  std::vector<ItemName> names = {"A", "B", "C"};
  TreeWorkspace ws;
  auto t = BuildNbJoin(K, 3, Pointers(names).data(), ws);
  auto slow = LiteralNbJoin(K, names);
  EXPECT_EQ(Signature(t.get()), Signature(slow.get()));
  bool negative = false;
  std::function<void(const TKVTreeNodeItem*)> scan = [&](const TKVTreeNodeItem* x) {
    if (x->Distance < 0) negative = true;
    if (auto* n = AsNode(x)) {
      scan(n->Left.get());
      scan(n->Right.get());
    }
  };
  scan(t.get());
  EXPECT_TRUE(negative) << t->GetDescNbJoin();
}

// Structure every builder guarantees: leaves 1..N, N - 1 inner nodes with both children in
// canonical order, names the smallest leaf name.
void CheckStructure(const TKVTreeNodeItem* root, int n) {
  std::set<int> nums;
  int inner = 0;
  std::function<void(const TKVTreeNodeItem*)> walk = [&](const TKVTreeNodeItem* x) {
    const TKVTreeNode* node = AsNode(x);
    if (node == nullptr) {
      EXPECT_TRUE(nums.insert(x->Num).second);
      return;
    }
    ++inner;
    ASSERT_TRUE(node->Left && node->Right);
    const int ml = node->Left->GetMass(), mr = node->Right->GetMass();
    EXPECT_GE(ml, mr);
    if (ml == mr) {
      EXPECT_LE(node->Left->Name.str(), node->Right->Name.str());
    }
    EXPECT_EQ(node->Name.str(), std::min(node->Left->Name.str(), node->Right->Name.str()));
    EXPECT_EQ(node->Num, 0);
    walk(node->Left.get());
    walk(node->Right.get());
  };
  walk(root);
  EXPECT_EQ(inner, n - 1);
  ASSERT_EQ(static_cast<int>(nums.size()), n);
  EXPECT_EQ(*nums.begin(), 1);
  EXPECT_EQ(*nums.rbegin(), n);
}

TEST(Builders, ManyTaxaWithTiesKeepTheirStructure) {
  std::mt19937 gen(777);
  TreeWorkspace ws;
  for (int n : {200, 230}) {  // a data set may exceed 200 taxa: the workspace grows
    RandomCase c = MakeCase(gen, n, 0);
    for (int i = 0; i < n; ++i)
      c.names[static_cast<std::size_t>(i)] = "x" + std::to_string(i * 7919 % 1000);
    const auto names = Pointers(c.names);
    for (int method = 0; method < 3; ++method) {
      auto build = [&] {
        return method == 2 ? BuildNbJoin(c.K, n, names.data(), ws)
                           : BuildUPGMA(c.K, n, names.data(), method == 1, ws);
      };
      auto t = build();
      CheckStructure(t.get(), n);
      EXPECT_EQ(build()->GetDescNbJoin(), t->GetDescNbJoin());
    }
  }
}

TEST(GenTree, DispatchesByMethodAndListsTheTree) {
  TEnzym e;
  for (const char* name : {"A", "B", "C"}) {
    auto d = std::make_unique<TDruh>();
    d->Name = name;
    e.AddDruh(std::move(d));
  }
  e.ReserveMatrices(200);
  e.SetDistance(1, 2, 0.8);
  e.SetDistance(2, 1, 0.8);
  e.SetDistance(1, 3, 0.4);
  e.SetDistance(3, 1, 0.4);
  e.SetDistance(2, 3, 0.2);
  e.SetDistance(3, 2, 0.2);
  e.GenTree();
  EXPECT_EQ(e.TreeCount(), 0);  // ettNone builds nothing
  e.TreeType = ettUPGMA;
  e.GenTree();
  e.GenTree();
  ASSERT_EQ(e.TreeCount(), 1);
  EXPECT_EQ(e.GetTree(0)->Num, 2);
  EXPECT_EQ(e.GetTree(0)->GetDescNbJoin(), "((A:0.1,B:0.1):0.25,C:0.35):0");
  e.TreeType = ettNbJoin;
  e.GenTree();
  EXPECT_EQ(e.TreeCount(), 2);
  EXPECT_EQ(e.Koef.capacity(), 200);
  EXPECT_EQ(e.WorkKoef.capacity(), 200);
  // The active list decides the taxa.
  e.RedukovaneDruhy = {e.Druhy[2].get(), e.Druhy[0].get()};
  e.UseRedukovaneDruhy = true;
  e.TreeType = ettUPGMA;
  e.GenTree();
  EXPECT_EQ(e.GetTree(2)->GetDescStd(), "(A,C)");
}

}  // namespace
}  // namespace ramovia
