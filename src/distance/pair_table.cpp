#include "distance/pair_table.h"

#include "model/popcount.h"

#include <algorithm>
#include <bit>

namespace ramovia {

namespace {

std::size_t wordsFor(std::size_t bits) { return (bits + 63) / 64; }

void setBit(uint64_t* words, std::size_t bit) { words[bit >> 6] |= uint64_t{1} << (bit & 63u); }

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
  std::vector<PresenceRow> rows;
  rows.reserve(data.taxa.size());
  for (const Taxon& t : data.taxa) rows.push_back({&t.scores, &t.missingBlocks});
  return build(data.markers, rows);
}

PairTableIndex PairTableIndex::build(const Block& block) {
  std::vector<PresenceRow> rows;
  rows.reserve(block.taxa.size());
  for (const BlockTaxon& t : block.taxa) rows.push_back({&t.scores, nullptr});
  return build(block.markers, rows);
}

PairTableIndex PairTableIndex::build(std::span<const Marker> positions,
                                     std::span<const PresenceRow> rowList) {
  PairTableIndex ix;
  ix.positions_ = static_cast<int32_t>(positions.size());
  ix.numbers_.build(positions);
  const std::size_t rows = rowList.size();
  ix.rows_ = static_cast<int32_t>(rows);

  // One spare bit past the last position: entries that are not in the list point at it.
  ix.presenceWords_ = wordsFor(static_cast<std::size_t>(ix.positions_) + 1);
  ix.presence_.assign(rows * ix.presenceWords_, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    uint64_t* words = ix.presence_.data() + r * ix.presenceWords_;
    for (const Score& s : *rowList[r].scores) {
      const int32_t p = ix.numbers_.find(s.marker);
      if (p >= 0) setBit(words, static_cast<std::size_t>(p));
    }
  }

  std::vector<std::vector<int32_t>> rowBlocks(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    if (rowList[r].missingBlocks == nullptr) continue;
    for (const int32_t id : *rowList[r].missingBlocks) {
      const auto [it, added] = ix.blocks_.emplace(id, static_cast<int32_t>(ix.blocks_.size()));
      rowBlocks[r].push_back(it->second);
    }
  }
  ix.blockCount_ = static_cast<int32_t>(ix.blocks_.size());
  ix.blockWords_ = wordsFor(static_cast<std::size_t>(ix.blockCount_) + 1);
  ix.missing_.assign(rows * ix.blockWords_, 0);
  ix.rowHasMissing_.assign(rows, 0);
  for (std::size_t r = 0; r < rows; ++r) {
    for (int32_t b : rowBlocks[r])
      setBit(ix.missing_.data() + r * ix.blockWords_, static_cast<std::size_t>(b));
    ix.rowHasMissing_[r] = rowBlocks[r].empty() ? 0 : 1;
  }
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

void SampleExpansion::expand(const PairTableIndex& index, std::span<const int32_t> rows) {
  taxa_ = static_cast<int32_t>(rows.size());
  entries_ = static_cast<int32_t>(entryPosition_.size());
  words_ = wordsFor(entryPosition_.size());
  present_.assign(rows.size() * words_, 0);
  missing_.assign(rows.size() * words_, 0);
  presentCount_.resize(rows.size());
  hasMissing_.resize(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int32_t row = rows[k] >= 0 && rows[k] < index.rows_ ? rows[k] : -1;
    uint64_t* pw = present_.data() + k * words_;
    uint64_t* fw = missing_.data() + k * words_;
    presentCount_[k] = 0;
    hasMissing_[k] = 0;
    if (row < 0) continue;  // unknown row: holds nothing, misses nothing
    for (std::size_t w = 0; w < words_; ++w) {
      const std::size_t first = w * 64;
      const std::size_t last = std::min(first + 64, entryPosition_.size());
      uint64_t bits = 0;
      for (std::size_t e = first; e < last; ++e)
        bits |= static_cast<uint64_t>(index.present(row, entryPosition_[e])) << (e - first);
      pw[w] = bits;
      presentCount_[k] += std::popcount(bits);
    }
    if (index.rowHasMissing_[static_cast<std::size_t>(row)] == 0) continue;
    uint64_t any = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::size_t first = w * 64;
      const std::size_t last = std::min(first + 64, entryPosition_.size());
      uint64_t bits = 0;
      for (std::size_t e = first; e < last; ++e)
        bits |= static_cast<uint64_t>(index.misses(row, entryBlock_[e])) << (e - first);
      fw[w] = bits;
      any |= bits;
    }
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

}  // namespace

PairCounts SampleExpansion::count(int32_t i, int32_t j) const {
  const auto ki = static_cast<std::size_t>(i);
  const auto kj = static_cast<std::size_t>(j);
  const uint64_t* x = present_.data() + ki * words_;
  const uint64_t* y = present_.data() + kj * words_;
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
    countMasked(x, y, missing_.data() + ki * words_, missing_.data() + kj * words_, words_, t.a,
                nx, ny, leftOut);
    t.b = nx - t.a;
    t.c = ny - t.a;
    t.n = entries_ - leftOut;
  }
  t.d = t.n - t.a - t.b - t.c;
  return t;
}

}  // namespace ramovia
