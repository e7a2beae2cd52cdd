#include "distance/frequency.h"
#include "distance/complete_distance.h"

#include <cmath>
#include <numbers>
#include <string_view>

#include "distance/coefficients.h"
#include "resampling/analysis.h"

namespace ramovia {

FrequencyIndex FrequencyIndex::Build(std::span<const TEnzym* const> loci,
                                     std::span<const TDruh* const> taxa) {
  FrequencyIndex ix;
  const std::size_t rows = taxa.size();
  const std::size_t locusCount = loci.size();
  ix.rows_.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) ix.rows_.emplace(taxa[r], static_cast<int32_t>(r));
  ix.loci_.resize(locusCount);
  std::size_t total = 0;
  for (std::size_t l = 0; l < locusCount; ++l) {
    Locus& locus = ix.loci_[l];
    locus.slots = loci[l]->FragmentCount() + 1;
    locus.base = total;
    locus.nums.Build(loci[l]->Fragmenty);
    total += rows * static_cast<std::size_t>(locus.slots);
  }
  ix.freq_.assign(total, 0.0);
  ix.occurs_.assign(rows * locusCount, 0);

  std::unordered_map<std::string_view, const TDruh*> byName;
  std::vector<int32_t> filledBy;
  for (std::size_t l = 0; l < locusCount; ++l) {
    const TEnzym& e = *loci[l];
    const Locus& locus = ix.loci_[l];
    byName.clear();
    const int32_t count = e.DruhyCount();
    for (int32_t k = 0; k < count; ++k) {
      const TDruh* d = e.GetDruh(k);
      byName.emplace(std::string_view(d->Name.str()), d);  // keeps the first of a name
    }
    filledBy.assign(static_cast<std::size_t>(locus.slots), -1);
    for (std::size_t r = 0; r < rows; ++r) {
      const auto it = byName.find(std::string_view(taxa[r]->Name.str()));
      if (it == byName.end()) continue;
      ix.occurs_[r * locusCount + l] = 1;
      double* freq = ix.freq_.data() + locus.base + r * static_cast<std::size_t>(locus.slots);
      for (const auto& f : it->second->Fragmenty) {
        const int32_t p = locus.nums.Find(f->Num);
        if (p < 0 || filledBy[static_cast<std::size_t>(p)] == static_cast<int32_t>(r)) continue;
        filledBy[static_cast<std::size_t>(p)] = static_cast<int32_t>(r);  // first with that Num
        freq[p] = f->Value;
      }
    }
  }
  return ix;
}

int32_t FrequencyIndex::RowOf(const TDruh* taxon) const {
  const auto it = rows_.find(taxon);
  return it == rows_.end() ? -1 : it->second;
}

void FrequencySample::Assign(const FrequencyIndex& index, std::span<const TEnzym* const> loci,
                             std::span<const TDruh* const> taxa) {
  loci_ = index.LocusCount();
  locusStart_.resize(static_cast<std::size_t>(loci_) + 1);
  std::size_t total = 0;
  for (int32_t l = 0; l < loci_; ++l) {
    locusStart_[static_cast<std::size_t>(l)] = total;
    total += loci[static_cast<std::size_t>(l)]->RedukovaneFragmenty->Fragmenty.size();
  }
  locusStart_.back() = total;
  entries_ = total;
  slots_.resize(total);
  for (int32_t l = 0; l < loci_; ++l) {
    const auto& locus = index.loci_[static_cast<std::size_t>(l)];
    const auto& sample = loci[static_cast<std::size_t>(l)]->RedukovaneFragmenty->Fragmenty;
    int32_t* slot = slots_.data() + locusStart_[static_cast<std::size_t>(l)];
    for (std::size_t e = 0; e < sample.size(); ++e) {
      const int32_t p = locus.nums.Find(sample[e]->Num);
      slot[e] = p >= 0 ? p : locus.slots - 1;
    }
  }
  Gather(index, taxa);
}

void FrequencySample::Assign(const FrequencyIndex& index,
                             std::span<const std::vector<int32_t>> positions,
                             std::span<const TDruh* const> taxa) {
  loci_ = index.LocusCount();
  locusStart_.resize(static_cast<std::size_t>(loci_) + 1);
  std::size_t total = 0;
  for (int32_t l = 0; l < loci_; ++l) {
    locusStart_[static_cast<std::size_t>(l)] = total;
    total += positions[static_cast<std::size_t>(l)].size();
  }
  locusStart_.back() = total;
  entries_ = total;
  slots_.resize(total);
  for (int32_t l = 0; l < loci_; ++l) {
    const auto& locus = index.loci_[static_cast<std::size_t>(l)];
    const auto& list = positions[static_cast<std::size_t>(l)];
    int32_t* slot = slots_.data() + locusStart_[static_cast<std::size_t>(l)];
    for (std::size_t e = 0; e < list.size(); ++e)
      slot[e] = list[e] >= 0 && list[e] < locus.slots - 1 ? list[e] : locus.slots - 1;
  }
  Gather(index, taxa);
}

void FrequencySample::Gather(const FrequencyIndex& index, std::span<const TDruh* const> taxa) {
  taxa_ = static_cast<int32_t>(taxa.size());
  const auto loci = static_cast<std::size_t>(loci_);
  values_.assign(taxa.size() * entries_, 0.0);
  occurs_.assign(taxa.size() * loci, 0);
  sumSquares_.assign(taxa.size(), 0.0);
  for (std::size_t k = 0; k < taxa.size(); ++k) {
    const int32_t row = index.RowOf(taxa[k]);
    if (row < 0) continue;  // unknown taxon: occurs nowhere
    double* values = values_.data() + k * entries_;
    double sum = 0.0;
    for (std::size_t l = 0; l < loci; ++l) {
      if (index.occurs_[static_cast<std::size_t>(row) * loci + l] == 0) continue;
      occurs_[k * loci + l] = 1;
      const auto& locus = index.loci_[l];
      const double* freq = index.freq_.data() + locus.base +
                           static_cast<std::size_t>(row) * static_cast<std::size_t>(locus.slots);
      for (std::size_t e = locusStart_[l]; e < locusStart_[l + 1]; ++e) {
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

  const double* X() const { return s.values_.data() + i * s.entries_; }
  const double* Y() const { return s.values_.data() + j * s.entries_; }
  bool Both(std::size_t l) const {
    const auto loci = static_cast<std::size_t>(s.loci_);
    return s.occurs_[i * loci + l] != 0 && s.occurs_[j * loci + l] != 0;
  }
  std::size_t Begin(std::size_t l) const { return s.locusStart_[l]; }
  std::size_t End(std::size_t l) const { return s.locusStart_[l + 1]; }
  std::size_t Loci() const { return static_cast<std::size_t>(s.loci_); }
  double L() const { return static_cast<double>(s.loci_); }

  template <class Term>
  double SharedSum(Term term) const {
    const double* x = X();
    const double* y = Y();
    double sum = 0.0;
    for (std::size_t l = 0; l < Loci(); ++l) {
      if (!Both(l)) continue;
      for (std::size_t e = Begin(l); e < End(l); ++e) sum = sum + term(x[e], y[e]);
    }
    return sum;
  }

  double Nei(char letter) const {
    const double inv = 1.0 / L();
    const double jx = inv * s.sumSquares_[i];
    const double jy = inv * s.sumSquares_[j];
    const double jxy = inv * SharedSum([](double x, double y) { return x * y; });
    const double minimal = (jx + jy) / 2.0 - jxy;
    switch (letter) {
      case 'R': {
        const double root = std::sqrt(jx * jy);
        if (root == 0.0) return 0.0;
        const double ratio = jxy / root;
        if (!(ratio > 0.0)) return 0.0;
        return -std::log(ratio);
      }
      case 'S':
        return minimal;
      case 'T':
        if (1.0 - jxy == 0.0) return 0.0;
        return minimal / (1.0 - jxy);
      default: {  // 'U'
        if (1.0 - jxy == 0.0) return 0.0;
        const double arg = 1.0 - minimal / (1.0 - jxy);
        if (!(arg > 0.0)) return 0.0;
        return -std::log(arg);
      }
    }
  }

  double Rogers() const {
    const double* x = X();
    const double* y = Y();
    double sum = 0.0;
    for (std::size_t l = 0; l < Loci(); ++l) {
      double se = 0.0;
      if (Both(l)) {
        for (std::size_t e = Begin(l); e < End(l); ++e) {
          const double dif = x[e] - y[e];
          se = se + dif * dif;
        }
      }
      sum = sum + std::sqrt(se / 2.0);
    }
    return (1.0 / L()) * sum;
  }

  double Cavalli() const {
    const double* x = X();
    const double* y = Y();
    double sum = 0.0;
    for (std::size_t l = 0; l < Loci(); ++l) {
      double ce = 0.0;
      if (Both(l)) {
        for (std::size_t e = Begin(l); e < End(l); ++e) ce = ce + std::sqrt(x[e] * y[e]);
      }
      // Frequencies adding up to more than 1 would put a negative number under the root; such a
      // locus counts as no distance.
      sum = sum + (ce > 1.0 ? 0.0 : std::sqrt(2.0 * (1.0 - ce)));
    }
    return (2.0 / (std::numbers::pi * L())) * sum;
  }
};

double FrequencyDistance(const FrequencySample& sample, char letter, int32_t i, int32_t j) {
  const FrequencyKernel k{sample, static_cast<std::size_t>(i), static_cast<std::size_t>(j)};
  double d = 0.0;
  switch (letter) {
    case 'R':
    case 'S':
    case 'T':
    case 'U':
      d = k.Nei(letter);
      break;
    case 'V':
      d = k.Rogers();
      break;
    case 'W':
      d = (1.0 / (2.0 * k.L())) * k.SharedSum([](double x, double y) { return std::fabs(x - y); });
      break;
    case 'X':
      d = k.Cavalli();
      break;
    case 'Y':
      d = 1.0 - (1.0 / k.L()) * k.SharedSum([](double x, double y) { return std::sqrt(x * y); });
      break;
    case 'Z':
      d = (1.0 / k.L()) * k.SharedSum([](double x, double y) {
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

void ComputeFrequencyDistances(const FrequencySample& sample, char letter, SquareMatrix& out,
                               ProgressSink* progress) {
  const int32_t t = sample.TaxonCount();
  out.Reserve(t);
  if (progress != nullptr) {
    progress->SetRange(0, t);
    progress->SetPosition(0);
  }
  for (int32_t i = 0; i <= t - 2; ++i) {
    for (int32_t j = i + 1; j <= t - 1; ++j) {
      const double d = FrequencyDistance(sample, letter, i, j);
      out(i + 1, j + 1) = d;
      out(j + 1, i + 1) = d;
    }
    if (progress != nullptr) progress->SetPosition(i);
  }
}

void Analysis::MultiTest(char letter, ProgressSink* progress) {
  const std::vector<const TDruh*> taxa = ActiveTaxonList(*Enzym);
  Enzym->ReserveMatrices(static_cast<int>(taxa.size()));
  std::vector<const TEnzym*> loci;
  loci.reserve(Loci.size());
  for (const auto& e : Loci) loci.push_back(e.get());
  const FrequencyIndex index = FrequencyIndex::Build(loci, taxa);
  FrequencySample sample;
  sample.Assign(index, loci, taxa);
  ComputeFrequencyDistances(sample, letter, Enzym->Koef, progress);
}

void Analysis::CompleteDistance() {
  TEnzym& merged = *Enzym;
  std::vector<const TDruh*> all;
  for (const auto& d : merged.Druhy) all.push_back(d.get());
  std::vector<const TEnzym*> blocks;
  for (const auto& b : Loci) blocks.push_back(b.get());
  MergeIndex index;
  index.Build(all, blocks);
  std::vector<std::vector<const TDruh*>> blockTaxa;
  std::vector<BlockMatrix> inputs;
  blockTaxa.reserve(Loci.size());
  for (const auto& block : Loci) {
    // A block whose own computation failed may never have grown its matrix: read zeros then.
    block->ReserveMatrices(block->DruhyCount());
    blockTaxa.push_back(ActiveTaxonList(*block));
  }
  for (std::size_t k = 0; k < Loci.size(); ++k)
    inputs.push_back({&Loci[k]->Koef, blockTaxa[k], Loci[k]->FragmentCount()});
  const std::vector<const TDruh*> taxa = ActiveTaxonList(merged);
  merged.ReserveMatrices(static_cast<int>(taxa.size()));
  MergeScratch scratch;
  MergeBlockMatrices(index, inputs, taxa, merged.TreeType, merged.Koef, scratch);
}

}  // namespace ramovia
