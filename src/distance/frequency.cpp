#include "distance/frequency.h"

#include <cmath>
#include <numbers>


namespace ramovia {

FrequencyIndex FrequencyIndex::build(const Dataset& data) {
  FrequencyIndex ix;
  const std::size_t rows = data.taxa.size();
  const std::size_t locusCount = data.blocks.size();
  ix.rows_ = static_cast<int32_t>(rows);
  ix.pairwise_ = data.pairwiseMissingLoci;
  ix.loci_.resize(locusCount);
  std::size_t total = 0;
  for (std::size_t l = 0; l < locusCount; ++l) {
    Locus& locus = ix.loci_[l];
    locus.slots = static_cast<int32_t>(data.blocks[l].markers.size()) + 1;
    locus.base = total;
    locus.numbers.build(data.blocks[l].markers);
    total += rows * static_cast<std::size_t>(locus.slots);
  }
  ix.freq_.assign(total, 0.0);
  ix.occurs_.assign(rows * locusCount, 0);

  std::vector<int32_t> filledBy;
  for (std::size_t l = 0; l < locusCount; ++l) {
    const Block& block = data.blocks[l];
    const Locus& locus = ix.loci_[l];
    const std::vector<int32_t> column = firstColumns(block, static_cast<int32_t>(rows));
    filledBy.assign(static_cast<std::size_t>(locus.slots), -1);
    for (std::size_t r = 0; r < rows; ++r) {
      if (column[r] < 0) continue;
      ix.occurs_[r * locusCount + l] = 1;
      double* freq = ix.freq_.data() + locus.base + r * static_cast<std::size_t>(locus.slots);
      for (const Score& sc : data.scoresOf(block.taxa[static_cast<std::size_t>(column[r])])) {
        const int32_t p = locus.numbers.find(sc.marker);
        if (p < 0 || filledBy[static_cast<std::size_t>(p)] == static_cast<int32_t>(r)) continue;
        filledBy[static_cast<std::size_t>(p)] = static_cast<int32_t>(r);  // first with that number
        freq[p] = sc.value;
      }
    }
  }
  return ix;
}

void FrequencySample::assign(const FrequencyIndex& index, std::span<const MarkerSample> samples,
                             std::span<const int32_t> rows) {
  everyLocus_.resize(static_cast<std::size_t>(index.locusCount()));
  for (std::size_t l = 0; l < everyLocus_.size(); ++l) everyLocus_[l] = static_cast<int32_t>(l);
  assign(index, everyLocus_, samples, rows);
}

void FrequencySample::assign(const FrequencyIndex& index, std::span<const int32_t> loci,
                             std::span<const MarkerSample> samples, std::span<const int32_t> rows) {
  loci_ = static_cast<int32_t>(loci.size());
  pairwise_ = index.pairwise_;
  drawn_.assign(loci.begin(), loci.end());
  locusStart_.resize(static_cast<std::size_t>(loci_) + 1);
  std::size_t total = 0;
  for (int32_t d = 0; d < loci_; ++d) {
    locusStart_[static_cast<std::size_t>(d)] = total;
    total += samples[static_cast<std::size_t>(d)].size();
  }
  locusStart_.back() = total;
  entries_ = total;
  slots_.resize(total);
  for (int32_t d = 0; d < loci_; ++d) {
    const auto& locus = index.loci_[static_cast<std::size_t>(drawn_[static_cast<std::size_t>(d)])];
    const auto& list = samples[static_cast<std::size_t>(d)];
    int32_t* slot = slots_.data() + locusStart_[static_cast<std::size_t>(d)];
    for (std::size_t e = 0; e < list.size(); ++e)
      slot[e] = list[e] >= 0 && list[e] < locus.slots - 1 ? list[e] : locus.slots - 1;
  }
  gather(index, rows);
}

void FrequencySample::gather(const FrequencyIndex& index, std::span<const int32_t> taxa) {
  taxa_ = static_cast<int32_t>(taxa.size());
  const auto loci = static_cast<std::size_t>(loci_);
  const auto stride = static_cast<std::size_t>(index.locusCount());
  values_.assign(taxa.size() * entries_, 0.0);
  occurs_.assign(taxa.size() * loci, 0);
  sumSquares_.assign(taxa.size(), 0.0);
  for (std::size_t k = 0; k < taxa.size(); ++k) {
    const int32_t row = taxa[k] >= 0 && taxa[k] < index.rows_ ? taxa[k] : -1;
    if (row < 0) continue;  // unknown taxon: occurs nowhere
    double* values = values_.data() + k * entries_;
    double sum = 0.0;
    for (std::size_t d = 0; d < loci; ++d) {
      const auto l = static_cast<std::size_t>(drawn_[d]);
      if (index.occurs_[static_cast<std::size_t>(row) * stride + l] == 0) continue;
      occurs_[k * loci + d] = 1;
      const auto& locus = index.loci_[l];
      const double* freq = index.freq_.data() + locus.base +
                           static_cast<std::size_t>(row) * static_cast<std::size_t>(locus.slots);
      for (std::size_t e = locusStart_[d]; e < locusStart_[d + 1]; ++e) {
        const double x = freq[slots_[e]];
        values[e] = x;
        sum = sum + x * x;
      }
    }
    sumSquares_[k] = sum;
  }
}

// Per pair: loci in order, alleles in sample order, one running double per quantity.
struct FrequencyKernel {
  const FrequencySample& s;
  std::size_t i;
  std::size_t j;

  const double* rowX() const { return s.values_.data() + i * s.entries_; }
  const double* rowY() const { return s.values_.data() + j * s.entries_; }
  bool both(std::size_t l) const {
    const auto loci = static_cast<std::size_t>(s.loci_);
    return s.occurs_[i * loci + l] != 0 && s.occurs_[j * loci + l] != 0;
  }
  std::size_t begin(std::size_t l) const { return s.locusStart_[l]; }
  std::size_t end(std::size_t l) const { return s.locusStart_[l + 1]; }
  std::size_t locusCount() const { return static_cast<std::size_t>(s.loci_); }
  double loci() const { return static_cast<double>(s.loci_); }

  template <class Term>
  double sharedSum(Term term) const {
    const double* x = rowX();
    const double* y = rowY();
    double sum = 0.0;
    for (std::size_t l = 0; l < locusCount(); ++l) {
      if (!both(l)) continue;
      for (std::size_t e = begin(l); e < end(l); ++e) sum = sum + term(x[e], y[e]);
    }
    return sum;
  }

  double nei(Coefficient c) const {
    const double inv = 1.0 / loci();
    return nei(c, inv * s.sumSquares_[i], inv * s.sumSquares_[j],
               inv * sharedSum([](double x, double y) { return x * y; }));
  }

  static double nei(Coefficient c, double jx, double jy, double jxy) {
    const double minimal = (jx + jy) / 2.0 - jxy;
    switch (c) {
      case Coefficient::NeiStandard: {
        const double root = std::sqrt(jx * jy);
        if (root == 0.0) return 0.0;
        const double ratio = jxy / root;
        if (!(ratio > 0.0)) return 0.0;
        return -std::log(ratio);
      }
      case Coefficient::NeiMinimal:
        return minimal;
      case Coefficient::LatterFst:
        if (1.0 - jxy == 0.0) return 0.0;
        return minimal / (1.0 - jxy);
      default: {  // Reynolds
        if (1.0 - jxy == 0.0) return 0.0;
        const double arg = 1.0 - minimal / (1.0 - jxy);
        if (!(arg > 0.0)) return 0.0;
        return -std::log(arg);
      }
    }
  }

  double rogers() const {
    const double* x = rowX();
    const double* y = rowY();
    double sum = 0.0;
    for (std::size_t l = 0; l < locusCount(); ++l) {
      double se = 0.0;
      if (both(l)) {
        for (std::size_t e = begin(l); e < end(l); ++e) {
          const double dif = x[e] - y[e];
          se = se + dif * dif;
        }
      }
      sum = sum + std::sqrt(se / 2.0);
    }
    return (1.0 / loci()) * sum;
  }

  double cavalli() const {
    const double* x = rowX();
    const double* y = rowY();
    double sum = 0.0;
    for (std::size_t l = 0; l < locusCount(); ++l) {
      double ce = 0.0;
      if (both(l)) {
        for (std::size_t e = begin(l); e < end(l); ++e) ce = ce + std::sqrt(x[e] * y[e]);
      }
      // Frequencies adding up to more than 1 would put a negative number under the root; such a
      // locus counts as no distance.
      sum = sum + (ce > 1.0 ? 0.0 : std::sqrt(2.0 * (1.0 - ce)));
    }
    return (2.0 / (std::numbers::pi * loci())) * sum;
  }

  // Every quantity over the loci typed in both, each divided by their number.
  double pairwise(Coefficient c) const {
    const double* x = rowX();
    const double* y = rowY();
    double shared = 0.0, xx = 0.0, yy = 0.0, xy = 0.0, prevosti = 0.0, root = 0.0, sanghvi = 0.0,
           rogers = 0.0, chord = 0.0;
    for (std::size_t l = 0; l < locusCount(); ++l) {
      if (!both(l)) continue;
      shared = shared + 1.0;
      double se = 0.0, ce = 0.0;
      for (std::size_t e = begin(l); e < end(l); ++e) {
        const double a = x[e], b = y[e];
        const double dif = a - b;
        xx = xx + a * a;
        yy = yy + b * b;
        xy = xy + a * b;
        prevosti = prevosti + std::fabs(dif);
        const double r = std::sqrt(a * b);
        root = root + r;
        ce = ce + r;
        se = se + dif * dif;
        if (a + b != 0.0) sanghvi = sanghvi + 2.0 * (dif * dif) / (a + b);
      }
      rogers = rogers + std::sqrt(se / 2.0);
      chord = chord + (ce > 1.0 ? 0.0 : std::sqrt(2.0 * (1.0 - ce)));
    }
    if (shared == 0.0) return 0.0;
    const double inv = 1.0 / shared;
    switch (c) {
      case Coefficient::NeiStandard:
      case Coefficient::NeiMinimal:
      case Coefficient::LatterFst:
      case Coefficient::Reynolds:
        return nei(c, inv * xx, inv * yy, inv * xy);
      case Coefficient::Rogers: return inv * rogers;
      case Coefficient::Prevosti: return (1.0 / (2.0 * shared)) * prevosti;
      case Coefficient::CavalliSforzaEdwards: return (2.0 / (std::numbers::pi * shared)) * chord;
      case Coefficient::NeiDa: return 1.0 - inv * root;
      case Coefficient::Sanghvi: return inv * sanghvi;
      default: return 0.0;
    }
  }
};

double frequencyDistance(const FrequencySample& sample, Coefficient c, int32_t i, int32_t j) {
  const FrequencyKernel k{sample, static_cast<std::size_t>(i), static_cast<std::size_t>(j)};
  if (sample.pairwise()) {
    const double d = k.pairwise(c);
    return std::isfinite(d) ? d : 0.0;
  }
  double d = 0.0;
  switch (c) {
    case Coefficient::NeiStandard:
    case Coefficient::NeiMinimal:
    case Coefficient::LatterFst:
    case Coefficient::Reynolds:
      d = k.nei(c);
      break;
    case Coefficient::Rogers:
      d = k.rogers();
      break;
    case Coefficient::Prevosti:
      d = (1.0 / (2.0 * k.loci())) * k.sharedSum([](double x, double y) { return std::fabs(x - y); });
      break;
    case Coefficient::CavalliSforzaEdwards:
      d = k.cavalli();
      break;
    case Coefficient::NeiDa:
      d = 1.0 - (1.0 / k.loci()) * k.sharedSum([](double x, double y) { return std::sqrt(x * y); });
      break;
    case Coefficient::Sanghvi:
      d = (1.0 / k.loci()) * k.sharedSum([](double x, double y) {
        const double sum = x + y;
        if (sum == 0.0) return 0.0;
        const double dif = x - y;
        return 2.0 * (dif * dif) / sum;
      });
      break;
    default:
      d = 0.0;
  }
  return std::isfinite(d) ? d : 0.0;
}

void computeFrequencyDistances(const FrequencySample& sample, Coefficient c, SquareMatrix& out,
                               ProgressSink* progress) {
  const int32_t t = sample.taxonCount();
  out.reserve(t);
  if (progress != nullptr) {
    progress->setRange(0, t);
    progress->setPosition(0);
  }
  for (int32_t i = 0; i <= t - 2; ++i) {
    for (int32_t j = i + 1; j <= t - 1; ++j) {
      const double d = frequencyDistance(sample, c, i, j);
      out(i + 1, j + 1) = d;
      out(j + 1, i + 1) = d;
    }
    if (progress != nullptr) progress->setPosition(i);
  }
}

}  // namespace ramovia
