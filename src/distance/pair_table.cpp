#include "distance/pair_table.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string>

namespace ramovia {

namespace {

std::size_t WordsFor(std::size_t bits) {
  return (bits + 63) / 64;
}

void SetBit(uint64_t* words, std::size_t bit) {
  words[bit >> 6] |= uint64_t{1} << (bit & 63u);
}

// The id whose decimal text is exactly `text`; none for a text no id is written as ("07", "+7").
bool IdOfText(const std::string& text, int32_t& id) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, id);
  return ec == std::errc() && ptr == end && std::to_string(id) == text;
}

}  // namespace

void NumPositions::Build(std::span<const std::unique_ptr<TFragment>> list) {
  table_.clear();
  hash_.clear();
  dense_ = true;
  minNum_ = 0;
  if (list.empty()) return;
  int64_t lo = list.front()->Num;
  int64_t hi = lo;
  for (const auto& f : list) {
    lo = std::min<int64_t>(lo, f->Num);
    hi = std::max<int64_t>(hi, f->Num);
  }
  const int64_t span = hi - lo + 1;
  dense_ = span <= 4 * static_cast<int64_t>(list.size()) + 1024;
  if (dense_) {
    minNum_ = static_cast<int32_t>(lo);
    table_.assign(static_cast<std::size_t>(span), -1);
    for (std::size_t p = 0; p < list.size(); ++p) {
      int32_t& slot = table_[static_cast<std::size_t>(list[p]->Num - lo)];
      if (slot < 0) slot = static_cast<int32_t>(p);
    }
  } else {
    hash_.reserve(list.size());
    for (std::size_t p = 0; p < list.size(); ++p)
      hash_.emplace(list[p]->Num, static_cast<int32_t>(p));  // keeps the first
  }
}

PairTableIndex PairTableIndex::Build(const TEnzym& enzym) {
  PairTableIndex ix;
  ix.positions_ = enzym.FragmentCount();
  ix.nums_.Build(enzym.Fragmenty);
  const std::size_t rows = enzym.Druhy.size();
  ix.rows_.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r)
    ix.rows_.emplace(enzym.Druhy[r].get(), static_cast<int32_t>(r));

  // One spare bit past the last position: entries that are not in Fragmenty point at it.
  ix.presenceWords_ = WordsFor(static_cast<std::size_t>(ix.positions_) + 1);
  ix.presence_.assign(rows * ix.presenceWords_, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    uint64_t* words = ix.presence_.data() + r * ix.presenceWords_;
    for (const auto& f : enzym.Druhy[r]->Fragmenty) {
      const int32_t p = ix.nums_.Find(f->Num);
      if (p >= 0) SetBit(words, static_cast<std::size_t>(p));
    }
  }

  // Forbidden texts become block numbers once, so counting compares no text.
  std::vector<std::vector<int32_t>> rowBlocks(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    for (const auto& text : enzym.Druhy[r]->ForbiddenEnzyms) {
      int32_t id = 0;
      if (!IdOfText(text, id)) continue;
      const auto [it, added] = ix.blocks_.emplace(id, static_cast<int32_t>(ix.blocks_.size()));
      rowBlocks[r].push_back(it->second);
    }
  }
  ix.blockCount_ = static_cast<int32_t>(ix.blocks_.size());
  ix.blockWords_ = WordsFor(static_cast<std::size_t>(ix.blockCount_) + 1);
  ix.forbidden_.assign(rows * ix.blockWords_, 0);
  ix.rowHasForbidden_.assign(rows, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    for (int32_t b : rowBlocks[r])
      SetBit(ix.forbidden_.data() + r * ix.blockWords_, static_cast<std::size_t>(b));
    ix.rowHasForbidden_[r] = rowBlocks[r].empty() ? 0 : 1;
  }
  ix.positionBlock_.resize(static_cast<std::size_t>(ix.positions_) + 1);
  for (int32_t p = 0; p < ix.positions_; ++p) {
    const int32_t b = ix.BlockOfEnzymId(enzym.Fragmenty[static_cast<std::size_t>(p)]->EnzymId);
    ix.positionBlock_[static_cast<std::size_t>(p)] = b >= 0 ? b : ix.blockCount_;
  }
  ix.positionBlock_.back() = ix.blockCount_;
  return ix;
}

int32_t PairTableIndex::RowOf(const TDruh* taxon) const {
  const auto it = rows_.find(taxon);
  return it == rows_.end() ? -1 : it->second;
}

int32_t PairTableIndex::BlockOfEnzymId(int32_t id) const {
  const auto it = blocks_.find(id);
  return it == blocks_.end() ? -1 : it->second;
}

void SampleExpansion::Assign(const PairTableIndex& index, std::span<const TDruh* const> taxa,
                             std::span<const int32_t> positions) {
  entryPosition_.resize(positions.size());
  entryBlock_.resize(positions.size());
  for (std::size_t e = 0; e < positions.size(); ++e) {
    const int32_t p = positions[e];
    const bool known = p >= 0 && p < index.positions_;
    entryPosition_[e] = known ? p : index.positions_;
    entryBlock_[e] = index.positionBlock_[static_cast<std::size_t>(entryPosition_[e])];
  }
  Expand(index, taxa);
}

void SampleExpansion::Assign(const PairTableIndex& index, std::span<const TDruh* const> taxa,
                             std::span<const std::unique_ptr<TFragment>> sample) {
  entryPosition_.resize(sample.size());
  entryBlock_.resize(sample.size());
  for (std::size_t e = 0; e < sample.size(); ++e) {
    const TFragment& f = *sample[e];
    const int32_t p = index.PositionOfNum(f.Num);
    entryPosition_[e] = p >= 0 ? p : index.positions_;
    const int32_t b = index.BlockOfEnzymId(f.EnzymId);
    entryBlock_[e] = b >= 0 ? b : index.blockCount_;
  }
  Expand(index, taxa);
}

void SampleExpansion::Expand(const PairTableIndex& index, std::span<const TDruh* const> taxa) {
  taxa_ = static_cast<int32_t>(taxa.size());
  entries_ = static_cast<int32_t>(entryPosition_.size());
  words_ = WordsFor(entryPosition_.size());
  present_.assign(taxa.size() * words_, 0);
  forbidden_.assign(taxa.size() * words_, 0);
  presentCount_.resize(taxa.size());
  hasForbidden_.resize(taxa.size());
  for (std::size_t k = 0; k < taxa.size(); ++k) {
    const int32_t row = index.RowOf(taxa[k]);
    uint64_t* pw = present_.data() + k * words_;
    uint64_t* fw = forbidden_.data() + k * words_;
    presentCount_[k] = 0;
    hasForbidden_[k] = 0;
    if (row < 0) continue;  // unknown taxon: holds nothing, forbids nothing
    for (std::size_t w = 0; w < words_; ++w) {
      const std::size_t first = w * 64;
      const std::size_t last = std::min(first + 64, entryPosition_.size());
      uint64_t bits = 0;
      for (std::size_t e = first; e < last; ++e)
        bits |= static_cast<uint64_t>(index.Present(row, entryPosition_[e])) << (e - first);
      pw[w] = bits;
      presentCount_[k] += std::popcount(bits);
    }
    if (index.rowHasForbidden_[static_cast<std::size_t>(row)] == 0) continue;
    uint64_t any = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::size_t first = w * 64;
      const std::size_t last = std::min(first + 64, entryPosition_.size());
      uint64_t bits = 0;
      for (std::size_t e = first; e < last; ++e)
        bits |= static_cast<uint64_t>(index.Forbids(row, entryBlock_[e])) << (e - first);
      fw[w] = bits;
      any |= bits;
    }
    hasForbidden_[k] = any != 0 ? 1 : 0;
  }
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define RAMOVIA_POPCNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define RAMOVIA_POPCNT_CLONES
#endif

namespace {

RAMOVIA_POPCNT_CLONES
int32_t CountBoth(const uint64_t* x, const uint64_t* y, std::size_t words) {
  int32_t a = 0;
  for (std::size_t w = 0; w < words; ++w) a += std::popcount(x[w] & y[w]);
  return a;
}

RAMOVIA_POPCNT_CLONES
void CountMasked(const uint64_t* x, const uint64_t* y, const uint64_t* fx, const uint64_t* fy,
                 std::size_t words, int32_t& a, int32_t& nx, int32_t& ny, int32_t& out) {
  a = nx = ny = out = 0;
  for (std::size_t w = 0; w < words; ++w) {
    const uint64_t f = fx[w] | fy[w];
    const uint64_t xa = x[w] & ~f;
    const uint64_t ya = y[w] & ~f;
    a += std::popcount(xa & ya);
    nx += std::popcount(xa);
    ny += std::popcount(ya);
    out += std::popcount(f);
  }
}

}  // namespace

PairCounts SampleExpansion::Count(int32_t i, int32_t j) const {
  const auto ki = static_cast<std::size_t>(i);
  const auto kj = static_cast<std::size_t>(j);
  const uint64_t* x = present_.data() + ki * words_;
  const uint64_t* y = present_.data() + kj * words_;
  PairCounts t;
  if (hasForbidden_[ki] == 0 && hasForbidden_[kj] == 0) {
    t.a = CountBoth(x, y, words_);
    t.b = presentCount_[ki] - t.a;
    t.c = presentCount_[kj] - t.a;
    t.n = entries_;
  } else {
    int32_t nx = 0;
    int32_t ny = 0;
    int32_t leftOut = 0;
    CountMasked(x, y, forbidden_.data() + ki * words_, forbidden_.data() + kj * words_, words_, t.a,
                nx, ny, leftOut);
    t.b = nx - t.a;
    t.c = ny - t.a;
    t.n = entries_ - leftOut;
  }
  t.d = t.n - t.a - t.b - t.c;
  return t;
}

}  // namespace ramovia
