// Plain, slow versions of the counting loop and the coefficient loop, written as the rules read:
// linear lookups by number, forbidden blocks compared as text. The fast code must agree bit for
// bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "distance/pair_table.h"
#include "model/enzym.h"
#include "model/matrix.h"

namespace ramovia::literal {

inline PairCounts PairTable(const TDruh& x, const TDruh& y,
                            const std::vector<std::unique_ptr<TFragment>>& sample) {
  PairCounts t;
  for (const auto& f : sample) {
    if (x.IsForbiddenEnzym(f->EnzymId) || y.IsForbiddenEnzym(f->EnzymId)) continue;
    const bool px = x.ItemByNum(f->Num) != nullptr;
    const bool py = y.ItemByNum(f->Num) != nullptr;
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

inline double Similarity(char letter, const PairCounts& t, bool replicate, double r) {
  const double a = t.a, b = t.b, c = t.c, d = t.d, n = t.n;
  double s = 0.0;
  switch (letter) {
    case 'A':
      s = (2 * a + b + c) == 0 ? 0.0 : 2 * a / (2 * a + b + c);
      break;
    case 'B':
      s = (n - d) == 0 ? 0.0 : a / (n - d);
      break;
    case 'D':
      s = (a + b == 0 || a + c == 0) ? 0.0 : (a / (a + b) + a / (a + c)) * 0.5;
      break;
    case 'G':
      s = (a + 2 * (b + c)) == 0 ? 0.0 : a / (a + 2 * (b + c));
      break;
    case 'I': {
      const uint64_t p = static_cast<uint64_t>(t.a + t.b) * static_cast<uint64_t>(t.a + t.c) *
                         static_cast<uint64_t>(t.b + t.d) * static_cast<uint64_t>(t.c + t.d);
      s = p == 0 ? 0.0 : a * d / std::sqrt(static_cast<double>(p));
      break;
    }
    case 'J':
      s = (a + b == 0 || a + c == 0)
              ? 0.0
              : a / std::sqrt(static_cast<double>(static_cast<int64_t>(t.a + t.b) * (t.a + t.c)));
      break;
    case 'N': {
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

// The pair loop of PrepareKoef (sample = Fragmenty) or PrepareSimilarityTbl (sample =
// RedukovaneFragmenty) into `out`.
inline void Koef(const TEnzym& e, const std::vector<std::unique_ptr<TFragment>>& sample,
                 bool replicate, SquareMatrix& out) {
  const int n = e.DruhyCount();
  out.Reserve(n);
  for (int i = 1; i <= n - 1; ++i) {
    for (int j = i + 1; j <= n; ++j) {
      const double s =
          Similarity(e.KoefChar, PairTable(*e.GetDruh(i - 1), *e.GetDruh(j - 1), sample), replicate,
                     e.SiteLength);
      out(i, j) = e.TreeType == ettNbJoin ? 1.0 - s : s;
      out(j, i) = out(i, j);
    }
    out(i, i) = -1.0;
  }
}

}  // namespace ramovia::literal
