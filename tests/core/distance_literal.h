// Plain, slow versions of the counting loop and the coefficient loop, written as the rules read:
// linear lookups by number, missing blocks searched in each taxon's list. The fast code must agree
// bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dataset_util.h"
#include "distance/coefficient.h"
#include "distance/pair_table.h"
#include "model/dataset.h"
#include "model/matrix.h"
#include "model/samples.h"

namespace ramovia::literal {

inline bool holds(const std::vector<Score>& scores, int32_t number) {
  return std::any_of(scores.begin(), scores.end(),
                     [number](const Score& s) { return s.marker == number; });
}

inline bool misses(const Taxon& t, int32_t block) {
  return std::find(t.missingBlocks.begin(), t.missingBlocks.end(), block) != t.missingBlocks.end();
}

// `sample` holds positions in `markers`; one outside the list is a marker nobody holds, of no
// block.
inline PairCounts pairTable(const Dataset& data, int32_t ix, int32_t iy,
                            const MarkerSample& sample) {
  const Taxon& x = data.taxa[static_cast<std::size_t>(ix)];
  const Taxon& y = data.taxa[static_cast<std::size_t>(iy)];
  const std::vector<Score> xs = taxonScores(data, ix), ys = taxonScores(data, iy);
  const std::vector<Marker>& markers = data.markers;
  PairCounts t;
  for (const int32_t p : sample) {
    bool px = false;
    bool py = false;
    if (p >= 0 && static_cast<std::size_t>(p) < markers.size()) {
      const Marker& m = markers[static_cast<std::size_t>(p)];
      if (misses(x, m.block) || misses(y, m.block)) continue;
      px = holds(xs, m.number);
      py = holds(ys, m.number);
    }
    ++t.n;
    if (px && py)
      ++t.a;
    else if (px)
      ++t.b;
    else if (py)
      ++t.c;
    else
      ++t.d;
  }
  return t;
}

inline double similarity(Coefficient coefficient, const PairCounts& t, bool replicate, double r) {
  const double a = t.a, b = t.b, c = t.c, d = t.d, n = t.n;
  double s = 0.0;
  switch (coefficient) {
    case Coefficient::Dice:
      s = (2 * a + b + c) == 0 ? 0.0 : 2 * a / (2 * a + b + c);
      break;
    case Coefficient::Jaccard:
      s = (n - d) == 0 ? 0.0 : a / (n - d);
      break;
    case Coefficient::Kulczynski2:
      s = (a + b == 0 || a + c == 0) ? 0.0 : (a / (a + b) + a / (a + c)) * 0.5;
      break;
    case Coefficient::SokalSneath1:
      s = (a + 2 * (b + c)) == 0 ? 0.0 : a / (a + 2 * (b + c));
      break;
    case Coefficient::SokalSneath3: {
      const uint64_t p = static_cast<uint64_t>(t.a + t.b) * static_cast<uint64_t>(t.a + t.c) *
                         static_cast<uint64_t>(t.b + t.d) * static_cast<uint64_t>(t.c + t.d);
      s = p == 0 ? 0.0 : a * d / std::sqrt(static_cast<double>(p));
      break;
    }
    case Coefficient::Ochiai:
      s = (a + b == 0 || a + c == 0)
              ? 0.0
              : a / std::sqrt(static_cast<double>(static_cast<int64_t>(t.a + t.b) * (t.a + t.c)));
      break;
    case Coefficient::NucleotideDivergence: {
      if (r == 0.0 || (a + b) + (a + c) == 0) break;
      const double f = 2 * a / ((a + b) + (a + c));
      const double scale = replicate ? 1e6 : 1e5;
      double g = std::pow(f, 0.25);
      double gn = 0.0;
      while (true) {
        gn = std::pow(f * (3 - 2 * g), 0.25);
        if (static_cast<int64_t>(std::nearbyint(gn * scale)) ==
            static_cast<int64_t>(std::nearbyint(g * scale)))
          break;
        g = gn;
      }
      s = gn == 0.0 ? 0.0 : 1 + (2 / r) * std::log(gn);
      break;
    }
    default:
      break;
  }
  return std::isfinite(s) ? s : 0.0;
}

// The pair loop over `taxa` (positions in data.taxa) and `sample` (positions in data.markers).
inline void similarityMatrix(const Dataset& data, const TaxonSubset& taxa,
                             const MarkerSample& sample, Coefficient c, bool storeDistances,
                             bool replicate, double siteLength, SquareMatrix& out) {
  const int n = static_cast<int>(taxa.size());
  out.reserve(n);
  for (int i = 1; i <= n - 1; ++i) {
    for (int j = i + 1; j <= n; ++j) {
      const int32_t x = taxa[static_cast<std::size_t>(i - 1)];
      const int32_t y = taxa[static_cast<std::size_t>(j - 1)];
      const double s = similarity(c, pairTable(data, x, y, sample), replicate, siteLength);
      out(i, j) = storeDistances ? 1.0 - s : s;
      out(j, i) = out(i, j);
    }
    out(i, i) = -1.0;
  }
}

}  // namespace ramovia::literal
