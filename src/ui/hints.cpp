#include "hints.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace ramovia::ui {

namespace {

std::string kindOf(Coefficient c) {
  if (familyOf(c) == CoefficientFamily::AlleleFrequency)
    return " (a distance of allele frequencies)";
  return isDistance(c) ? " (a distance)" : " (a similarity; neighbor-joining uses 1 - S)";
}

}  // namespace

std::string coefficientHint(Coefficient c) {
  // In the order of Coefficient.
  static constexpr const char* kFormulas[] = {
      "Nei and Li / Dice: 2a / (2a + b + c)",
      "Jaccard: a / (a + b + c)",
      "Sokal and Sneath 1 / Anderberg: a / (a + 2(b + c))",
      "Sokal and Sneath 3: ad / sqrt((a + b)(a + c)(b + d)(c + d))",
      "Ochiai: a / sqrt((a + b)(a + c))",
      "Kulczynski 2: (a / (a + b) + a / (a + c)) / 2",
      "Nucleotide divergence of Nei and Li, per block from its site length, then merged: S = 1 - d",
      "Nei's standard distance: -ln(Jxy / sqrt(Jx Jy))",
      "Nei's minimal distance: (Jx + Jy) / 2 - Jxy",
      "Latter's Fst: Dm / (1 - Jxy)",
      "Reynolds' distance: -ln(1 - Fst)",
      "Rogers' distance: mean over the loci of sqrt(sum (x - y)^2 / 2)",
      "Prevosti's distance: sum |x - y| / 2L",
      "Cavalli-Sforza and Edwards' chord distance: (2 / (pi L)) sum sqrt(2(1 - sum sqrt(xy)))",
      "Nei's Da: 1 - (1 / L) sum sqrt(xy)",
      "Sanghvi's distance: (1 / L) sum 2(x - y)^2 / (x + y)",
  };
  static_assert(std::size(kFormulas) == static_cast<std::size_t>(Coefficient::Sanghvi) + 1);
  return kFormulas[static_cast<std::size_t>(c)] + kindOf(c);
}

std::string resamplingHint(Resampling m) {
  switch (m) {
    case Resampling::Bootstrap:
      return "Each replicate draws as many markers as the table has, with replacement.";
    case Resampling::Jackknife:
      return "Each replicate leaves out \"Fragment count\" markers and draws the others without "
             "replacement.";
    case Resampling::TaxonJackknife:
      return "Each replicate leaves out \"Taxon count\" taxa at random and keeps every marker.";
    case Resampling::Rearrangement:
      return "Each replicate keeps all data and only changes the order of the taxa, which "
             "decides between equal values.";
    case Resampling::Users:
      return "Any mix: taxa and markers left out, markers drawn with replacement or without "
             "(\"Different fragments\").";
  }
  return {};
}

void RunRate::report(int position, double seconds) {
  if (first_ < 0) {
    first_ = position;
    firstSeconds_ = seconds;
  }
  last_ = position;
  lastSeconds_ = seconds;
}

std::optional<double> RunRate::perSecond() const {
  // A rate from less than a fifth of a second or from no replicate says little.
  const double elapsed = lastSeconds_ - firstSeconds_;
  if (first_ < 0 || last_ <= first_ || elapsed < 0.2) return std::nullopt;
  return (last_ - first_) / elapsed;
}

std::string durationText(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  char text[48];
  if (s < 60)
    std::snprintf(text, sizeof text, "%ld s", s);
  else if (s < 3600)
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  return text;
}

std::string runProgressText(int replicate, int replicates, std::optional<double> perSecond) {
  std::string text = "Replicate " + std::to_string(replicate) + " of " + std::to_string(replicates);
  if (!perSecond || !(*perSecond > 0.0)) return text;
  char rate[48];
  std::snprintf(rate, sizeof rate, *perSecond < 10 ? "%.1f" : "%.0f", *perSecond);
  text += std::string(", ") + rate + " replicates/s, about " +
          durationText((replicates - replicate) / *perSecond) + " left";
  return text;
}

}  // namespace ramovia::ui
