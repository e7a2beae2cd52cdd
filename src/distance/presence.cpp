#include "distance/presence.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>
#include <unordered_map>

namespace ramovia {

namespace {

__extension__ typedef unsigned __int128 Wide;

double ratio(int64_t num, int64_t den) {
  if (den == 0) return 0.0;
  return static_cast<double>(num) / static_cast<double>(den);
}

int64_t rounded(double v) {
  return static_cast<int64_t>(std::nearbyint(v));
}

// Beyond any data set: the iteration contracts by at least one half per step and settles within
// a few dozen steps. The bound only guards against a rounding cycle looping for ever.
constexpr int kMaxDivergenceSteps = 100000;

double nucleotideSimilarityOf(int64_t a, int64_t nx, int64_t ny, bool replicatePrecision,
                              double r) {
  const double f = static_cast<double>(2 * a) / static_cast<double>(nx + ny);
  const double scale = replicatePrecision ? 1000000.0 : 100000.0;
  double g = std::pow(f, 0.25);
  double next = g;
  for (int step = 0; step < kMaxDivergenceSteps; ++step) {
    next = std::pow(f * (3.0 - 2.0 * g), 0.25);
    if (rounded(next * scale) == rounded(g * scale)) break;
    g = next;
  }
  if (!(next > 0.0)) return 0.0;  // logarithm of zero
  return 1.0 + (2.0 / r) * std::log(next);
}

// The value depends only on 2a, nX + nY, the precision and r, and a matrix holds few distinct
// such tuples: each thread remembers the values it has computed (the same doubles, computed once).
struct DivergenceKey {
  int64_t twoA, total;
  uint64_t rBits;
  bool precise;
  bool operator==(const DivergenceKey&) const = default;
};
struct DivergenceKeyHash {
  std::size_t operator()(const DivergenceKey& k) const {
    uint64_t h = static_cast<uint64_t>(k.twoA) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(k.total) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    h ^= k.rBits + 0x94D049BB133111EBull + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h ^ static_cast<uint64_t>(k.precise));
  }
};

double nucleotideSimilarity(const PairCounts& t, bool replicatePrecision, double r) {
  if (r == 0.0) return 0.0;
  const int64_t a = t.a;
  const int64_t nx = a + t.b;
  const int64_t ny = a + t.c;
  if (nx + ny == 0) return 0.0;
  thread_local std::unordered_map<DivergenceKey, double, DivergenceKeyHash> memo;
  uint64_t rBits = 0;
  std::memcpy(&rBits, &r, sizeof r);
  const DivergenceKey key{2 * a, nx + ny, rBits, replicatePrecision};
  if (auto it = memo.find(key); it != memo.end()) return it->second;
  if (memo.size() > (1u << 20)) memo.clear();
  const double s = nucleotideSimilarityOf(a, nx, ny, replicatePrecision, r);
  memo.emplace(key, s);
  return s;
}

[[gnu::always_inline]] inline double rawSimilarity(Coefficient coefficient, const PairCounts& t, bool replicatePrecision,
                     double siteLength) {
  const int64_t a = t.a;
  const int64_t b = t.b;
  const int64_t c = t.c;
  const int64_t d = t.d;
  switch (coefficient) {
    case Coefficient::Dice:
      return ratio(2 * a, 2 * a + b + c);
    case Coefficient::Jaccard:
      return ratio(a, static_cast<int64_t>(t.n) - d);
    case Coefficient::Kulczynski2:
      if (a + b == 0 || a + c == 0) return 0.0;
      return (static_cast<double>(a) / static_cast<double>(a + b) +
              static_cast<double>(a) / static_cast<double>(a + c)) *
             0.5;
    case Coefficient::SokalSneath1:
      return ratio(a, a + 2 * (b + c));
    case Coefficient::SokalSneath3: {
      if (a + b == 0 || a + c == 0 || b + d == 0 || c + d == 0) return 0.0;
      const Wide product = static_cast<Wide>(a + b) * static_cast<Wide>(a + c) *
                           static_cast<Wide>(b + d) * static_cast<Wide>(c + d);
      return static_cast<double>(a * d) / std::sqrt(static_cast<double>(product));
    }
    case Coefficient::Ochiai:
      if (a + b == 0 || a + c == 0) return 0.0;
      return static_cast<double>(a) / std::sqrt(static_cast<double>((a + b) * (a + c)));
    case Coefficient::NucleotideDivergence:
      return nucleotideSimilarity(t, replicatePrecision, siteLength);
    default:
      return 0.0;
  }
}

}  // namespace

double similarityOf(Coefficient c, const PairCounts& t, bool replicatePrecision,
                    double siteLength) {
  const double s = rawSimilarity(c, t, replicatePrecision, siteLength);
  return std::isfinite(s) ? s : 0.0;
}

namespace {

// The coefficient as a constant, so that its formula is inlined into the row loop.
template <Coefficient C>
void fillUpperRows(const SampleExpansion& sample, bool storeDistances, bool replicatePrecision,
                   double siteLength, SquareMatrix& out, ProgressSink* progress) {
  const int32_t n = sample.rowCount();
  thread_local std::vector<PairCounts> tables;  // kept, so that a replicate allocates nothing
  tables.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  for (int32_t i = 1; i <= n - 1; ++i) {
    sample.countRow(i - 1, i, n, tables.data());
    double* row = out.row(i);
    for (int32_t j = i + 1; j <= n; ++j) {
      const double raw =
          rawSimilarity(C, tables[static_cast<std::size_t>(j - i - 1)], replicatePrecision,
                        siteLength);
      row[j] = storedSimilarity(std::isfinite(raw) ? raw : 0.0, storeDistances);
    }
    row[i] = -1.0;
    if (progress != nullptr) progress->setPosition(i);
  }
}

// The lower triangle from the upper one, a tile at a time so that the column writes stay in cache.
void mirrorUpper(SquareMatrix& out, int32_t n) {
  constexpr int32_t kTile = 32;
  for (int32_t ib = 1; ib <= n; ib += kTile)
    for (int32_t jb = ib; jb <= n; jb += kTile)
      for (int32_t i = ib; i < ib + kTile && i <= n; ++i)
        for (int32_t j = std::max(jb, i + 1); j < jb + kTile && j <= n; ++j) out(j, i) = out(i, j);
}

}  // namespace

void computeSimilarityMatrix(const SampleExpansion& sample, Coefficient c, bool storeDistances,
                             bool replicatePrecision, double siteLength, SquareMatrix& out,
                             ProgressSink* progress) {
  const int32_t n = sample.rowCount();
  out.reserve(n);
  if (progress != nullptr) {
    progress->setRange(0, n);
    progress->setPosition(0);
  }
  const auto fill = [&]<Coefficient C>() {
    fillUpperRows<C>(sample, storeDistances, replicatePrecision, siteLength, out, progress);
  };
  switch (c) {
    case Coefficient::Dice: fill.template operator()<Coefficient::Dice>(); break;
    case Coefficient::Jaccard: fill.template operator()<Coefficient::Jaccard>(); break;
    case Coefficient::Kulczynski2: fill.template operator()<Coefficient::Kulczynski2>(); break;
    case Coefficient::SokalSneath1: fill.template operator()<Coefficient::SokalSneath1>(); break;
    case Coefficient::SokalSneath3: fill.template operator()<Coefficient::SokalSneath3>(); break;
    case Coefficient::Ochiai: fill.template operator()<Coefficient::Ochiai>(); break;
    case Coefficient::NucleotideDivergence:
      fill.template operator()<Coefficient::NucleotideDivergence>();
      break;
    default: fill.template operator()<Coefficient::NeiStandard>(); break;
  }
  mirrorUpper(out, n);
}

}  // namespace ramovia
