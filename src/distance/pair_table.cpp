#include "distance/pair_table.h"

#include "model/popcount.h"

#include <algorithm>
#include <bit>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define RAMOVIA_WIDE_POPCOUNT 1
#endif

namespace ramovia {

namespace {

std::size_t wordsFor(std::size_t bits) { return (bits + 63) / 64; }

void setBit(uint64_t* words, std::size_t bit) { words[bit >> 6] |= uint64_t{1} << (bit & 63u); }

RAMOVIA_POPCNT_CLONES
int32_t countBits(const uint64_t* x, std::size_t words) {
  int32_t held = 0;
  for (std::size_t w = 0; w < words; ++w) held += std::popcount(x[w]);
  return held;
}

}  // namespace

void NumberPositions::build(std::span<const Marker> list) {
  table_.clear();
  hash_.clear();
  dense_ = true;
  minNum_ = 0;
  if (list.empty()) return;
  int64_t lo = list.front().number;
  int64_t hi = lo;
  for (const Marker& m : list) {
    lo = std::min<int64_t>(lo, m.number);
    hi = std::max<int64_t>(hi, m.number);
  }
  const int64_t span = hi - lo + 1;
  dense_ = span <= 4 * static_cast<int64_t>(list.size()) + 1024;
  if (dense_) {
    minNum_ = static_cast<int32_t>(lo);
    table_.assign(static_cast<std::size_t>(span), -1);
    for (std::size_t p = 0; p < list.size(); ++p) {
      int32_t& slot = table_[static_cast<std::size_t>(list[p].number - lo)];
      if (slot < 0) slot = static_cast<int32_t>(p);
    }
  } else {
    hash_.reserve(list.size());
    for (std::size_t p = 0; p < list.size(); ++p)
      hash_.emplace(list[p].number, static_cast<int32_t>(p));  // keeps the first
  }
}

PairTableIndex PairTableIndex::build(const Dataset& data) {
  std::vector<PresenceRun> runs;
  for (const Block& block : data.blocks)
    for (const BlockTaxon& column : block.taxa) runs.push_back({column.taxon, data.scoresOf(column)});
  std::vector<const std::vector<int32_t>*> missing;
  missing.reserve(data.taxa.size());
  for (const Taxon& t : data.taxa) missing.push_back(&t.missingBlocks);
  return build(data.markers, data.taxa.size(), runs, missing);
}

PairTableIndex PairTableIndex::build(const Dataset& data, const Block& block) {
  std::vector<PresenceRun> runs;
  runs.reserve(block.taxa.size());
  for (std::size_t k = 0; k < block.taxa.size(); ++k)
    runs.push_back({static_cast<int32_t>(k), data.scoresOf(block.taxa[k])});
  return build(block.markers, block.taxa.size(), runs, {});
}

PairTableIndex PairTableIndex::build(std::span<const Marker> positions, std::size_t rows,
                                     std::span<const PresenceRun> runs,
                                     std::span<const std::vector<int32_t>* const> missingBlocks) {
  PairTableIndex ix;
  ix.positions_ = static_cast<int32_t>(positions.size());
  ix.numbers_.build(positions);
  ix.rows_ = static_cast<int32_t>(rows);
  ix.rowWords_ = wordsFor(rows);

  ix.columns_.assign((static_cast<std::size_t>(ix.positions_) + 1) * ix.rowWords_, 0);
  for (const PresenceRun& run : runs) {
    if (run.row < 0 || static_cast<std::size_t>(run.row) >= rows) continue;
    for (const Score& s : run.scores) {
      const int32_t p = ix.numbers_.find(s.marker);
      if (p >= 0)
        setBit(ix.columns_.data() + static_cast<std::size_t>(p) * ix.rowWords_,
               static_cast<std::size_t>(run.row));
    }
  }

  std::vector<std::vector<int32_t>> rowBlocks(rows);
  for (std::size_t r = 0; r < rows && r < missingBlocks.size(); ++r) {
    if (missingBlocks[r] == nullptr) continue;
    for (const int32_t id : *missingBlocks[r]) {
      const auto [it, added] = ix.blocks_.emplace(id, static_cast<int32_t>(ix.blocks_.size()));
      rowBlocks[r].push_back(it->second);
    }
  }
  ix.blockCount_ = static_cast<int32_t>(ix.blocks_.size());
  ix.blockColumns_.assign((static_cast<std::size_t>(ix.blockCount_) + 1) * ix.rowWords_, 0);
  for (std::size_t r = 0; r < rows; ++r)
    for (int32_t b : rowBlocks[r])
      setBit(ix.blockColumns_.data() + static_cast<std::size_t>(b) * ix.rowWords_, r);
  ix.anyMissing_ = ix.blockCount_ > 0;
  ix.positionBlock_.resize(static_cast<std::size_t>(ix.positions_) + 1);
  for (int32_t p = 0; p < ix.positions_; ++p) {
    const int32_t b = ix.blockOfId(positions[static_cast<std::size_t>(p)].block);
    ix.positionBlock_[static_cast<std::size_t>(p)] = b >= 0 ? b : ix.blockCount_;
  }
  ix.positionBlock_.back() = ix.blockCount_;
  return ix;
}

int32_t PairTableIndex::blockOfId(int32_t id) const {
  const auto it = blocks_.find(id);
  return it == blocks_.end() ? -1 : it->second;
}

void SampleExpansion::assign(const PairTableIndex& index, std::span<const int32_t> rows,
                             std::span<const int32_t> positions) {
  entryPosition_.resize(positions.size());
  entryBlock_.resize(positions.size());
  for (std::size_t e = 0; e < positions.size(); ++e) {
    const int32_t p = positions[e];
    const bool known = p >= 0 && p < index.positions_;
    entryPosition_[e] = known ? p : index.positions_;
    entryBlock_[e] = index.positionBlock_[static_cast<std::size_t>(entryPosition_[e])];
  }
  expand(index, rows);
}

namespace {

// a[i] bit j <-> a[j] bit i.
void transpose64(uint64_t* a) {
  uint64_t m = 0x00000000FFFFFFFFull;
  for (unsigned j = 32; j != 0; j >>= 1, m ^= m << j) {
    for (unsigned k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
      a[k] ^= t << j;
      a[k | j] ^= t;
    }
  }
}

}  // namespace

void SampleExpansion::transpose(std::size_t rowWords, int32_t rowCount,
                                std::vector<uint64_t>& out) {
  const auto rows = static_cast<std::size_t>(rowCount);
  out.assign((rows + 1) * words_, 0);
  const auto entries = static_cast<std::size_t>(entries_);
  uint64_t block[64];
  for (std::size_t rw = 0; rw < rowWords; ++rw) {
    const std::size_t firstRow = rw * 64;
    const std::size_t lastRow = std::min(firstRow + 64, rows);
    for (std::size_t ew = 0; ew < words_; ++ew) {
      const std::size_t firstEntry = ew * 64;
      const std::size_t inBlock = std::min<std::size_t>(64, entries - firstEntry);
      for (std::size_t i = 0; i < inBlock; ++i)
        block[i] = gathered_[(firstEntry + i) * rowWords + rw];
      for (std::size_t i = inBlock; i < 64; ++i) block[i] = 0;
      transpose64(block);
      for (std::size_t r = firstRow; r < lastRow; ++r) out[r * words_ + ew] = block[r - firstRow];
    }
  }
}

void SampleExpansion::expand(const PairTableIndex& index, std::span<const int32_t> rows) {
  taxa_ = static_cast<int32_t>(rows.size());
  entries_ = static_cast<int32_t>(entryPosition_.size());
  words_ = wordsFor(entryPosition_.size());
  const std::size_t rowWords = index.rowWords_;
  const auto entries = static_cast<std::size_t>(entries_);
  // Whole columns are gathered and turned once: a bit per entry and row costs a shift, not a
  // look-up of its own.
  gathered_.resize(entries * rowWords);
  for (std::size_t e = 0; e < entries; ++e)
    std::copy_n(index.columns_.data() + static_cast<std::size_t>(entryPosition_[e]) * rowWords,
                rowWords, gathered_.data() + e * rowWords);
  transpose(rowWords, index.rows_, present_);
  if (index.anyMissing_) {
    for (std::size_t e = 0; e < entries; ++e)
      std::copy_n(index.blockColumns_.data() + static_cast<std::size_t>(entryBlock_[e]) * rowWords,
                  rowWords, gathered_.data() + e * rowWords);
    transpose(rowWords, index.rows_, missing_);
  } else {
    missing_.clear();
  }

  const auto none = static_cast<std::size_t>(index.rows_) * words_;  // the row of zeros
  offset_.resize(rows.size());
  presentCount_.resize(rows.size());
  hasMissing_.resize(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const bool known = rows[k] >= 0 && rows[k] < index.rows_;
    const std::size_t at = known ? static_cast<std::size_t>(rows[k]) * words_ : none;
    offset_[k] = at;
    uint64_t any = 0;
    if (!missing_.empty())
      for (std::size_t w = 0; w < words_; ++w) any |= missing_[at + w];
    presentCount_[k] = countBits(present_.data() + at, words_);
    hasMissing_[k] = any != 0 ? 1 : 0;
  }
}

namespace {

RAMOVIA_POPCNT_CLONES
int32_t countBoth(const uint64_t* x, const uint64_t* y, std::size_t words) {
  int32_t a = 0;
  for (std::size_t w = 0; w < words; ++w) a += std::popcount(x[w] & y[w]);
  return a;
}

RAMOVIA_POPCNT_CLONES
void countMasked(const uint64_t* x, const uint64_t* y, const uint64_t* fx, const uint64_t* fy,
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

// One dispatch per row rather than per pair.
RAMOVIA_POPCNT_CLONES
void countAgainstNarrow(const uint64_t* x, const uint64_t* rows, const std::size_t* offsets,
                  std::size_t count, std::size_t words, int32_t* out) {
  for (std::size_t k = 0; k < count; ++k) {
    const uint64_t* y = rows + offsets[k];
    int32_t a = 0;
    for (std::size_t w = 0; w < words; ++w) a += std::popcount(x[w] & y[w]);
    out[k] = a;
  }
}

#ifdef RAMOVIA_WIDE_POPCOUNT
// Eight words per instruction.
__attribute__((target("avx512f,avx512vpopcntdq"))) void countAgainstWide(
    const uint64_t* x, const uint64_t* rows, const std::size_t* offsets, std::size_t count,
    std::size_t words, int32_t* out) {
  const std::size_t whole = words / 8 * 8;
  const auto tail = static_cast<__mmask8>((1u << (words - whole)) - 1u);
  for (std::size_t k = 0; k < count; ++k) {
    const uint64_t* y = rows + offsets[k];
    __m512i sum = _mm512_setzero_si512();
    for (std::size_t w = 0; w < whole; w += 8) {
      const __m512i both = _mm512_and_si512(_mm512_loadu_si512(x + w), _mm512_loadu_si512(y + w));
      sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(both));
    }
    if (tail != 0) {
      const __m512i both = _mm512_and_si512(_mm512_maskz_loadu_epi64(tail, x + whole),
                                            _mm512_maskz_loadu_epi64(tail, y + whole));
      sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(both));
    }
    uint64_t lanes[8];
    _mm512_storeu_si512(lanes, sum);
    uint64_t total = 0;
    for (const uint64_t lane : lanes) total += lane;
    out[k] = static_cast<int32_t>(total);
  }
}
#endif

void countAgainst(const uint64_t* x, const uint64_t* rows, const std::size_t* offsets,
                  std::size_t count, std::size_t words, int32_t* out) {
#ifdef RAMOVIA_WIDE_POPCOUNT
  static const bool wide =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq");
  if (wide) return countAgainstWide(x, rows, offsets, count, words, out);
#endif
  countAgainstNarrow(x, rows, offsets, count, words, out);
}

}  // namespace

void SampleExpansion::countRow(int32_t i, int32_t from, int32_t to, PairCounts* out) const {
  const auto ki = static_cast<std::size_t>(i);
  if (hasMissing_[ki] != 0) {
    for (int32_t j = from; j < to; ++j) out[j - from] = count(i, j);
    return;
  }
  const auto first = static_cast<std::size_t>(from);
  const std::size_t n = to > from ? static_cast<std::size_t>(to - from) : 0;
  both_.resize(n);
  countAgainst(present_.data() + offset_[ki], present_.data(), offset_.data() + first, n, words_,
               both_.data());
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t kj = first + k;
    if (hasMissing_[kj] != 0) {
      out[k] = count(i, static_cast<int32_t>(kj));
      continue;
    }
    PairCounts& t = out[k];
    t.a = both_[k];
    t.b = presentCount_[ki] - t.a;
    t.c = presentCount_[kj] - t.a;
    t.n = entries_;
    t.d = t.n - t.a - t.b - t.c;
  }
}

PairCounts SampleExpansion::count(int32_t i, int32_t j) const {
  const auto ki = static_cast<std::size_t>(i);
  const auto kj = static_cast<std::size_t>(j);
  const uint64_t* x = present_.data() + offset_[ki];
  const uint64_t* y = present_.data() + offset_[kj];
  PairCounts t;
  if (hasMissing_[ki] == 0 && hasMissing_[kj] == 0) {
    t.a = countBoth(x, y, words_);
    t.b = presentCount_[ki] - t.a;
    t.c = presentCount_[kj] - t.a;
    t.n = entries_;
  } else {
    int32_t nx = 0;
    int32_t ny = 0;
    int32_t leftOut = 0;
    countMasked(x, y, missing_.data() + offset_[ki], missing_.data() + offset_[kj], words_, t.a,
                nx, ny, leftOut);
    t.b = nx - t.a;
    t.c = ny - t.a;
    t.n = entries_ - leftOut;
  }
  t.d = t.n - t.a - t.b - t.c;
  return t;
}

}  // namespace ramovia
