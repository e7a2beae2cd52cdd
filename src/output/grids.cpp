#include "output/grids.h"

#include <algorithm>

#include "analysis/session.h"
#include "input/number_reading.h"
#include "output/number_text.h"

namespace ramovia {

void InputGrid::fill(const Dataset& data, char decimalSeparator) {
  names_.clear();
  blocks_.clear();
  rows_.clear();
  const auto taxa = data.taxa.size();
  colCount_ = static_cast<int>(taxa) + 1;
  for (const Taxon& t : data.taxa) names_.push_back(t.name.str());

  for (std::size_t b = 0; b < data.blocks.size(); ++b) {
    const ramovia::Block& block = data.blocks[b];
    Block out;
    out.name = block.name.str();
    if (block.siteLength != 0.0) out.siteLength = floatToText(block.siteLength, decimalSeparator);
    const std::vector<int32_t> column = firstColumns(block, data.taxonCount());
    out.presence.resize(taxa);
    const std::size_t markers = block.markers.size();
    std::unordered_map<int32_t, std::size_t> positionOf;
    positionOf.reserve(markers);
    for (std::size_t m = 0; m < markers; ++m) positionOf.try_emplace(block.markers[m].number, m);
    for (std::size_t k = 0; k < taxa; ++k) {
      auto& p = out.presence[k];
      if (column[k] < 0) {
        p.assign(markers, 2);
        continue;
      }
      p.assign(markers, 0);
      for (const Score& s : data.scoresOf(block.taxa[static_cast<std::size_t>(column[k])])) {
        auto at = positionOf.find(s.marker);
        if (at != positionOf.end()) p[at->second] = 1;
      }
    }
    for (const Marker& m : block.markers) {
      const std::string num = std::to_string(m.number);
      out.labels.push_back(m.label.empty() ? num : m.label.str() + "/" + num);
    }
    // One row per marker of the block, so that no row is lost.
    if (!out.name.empty()) rows_.push_back({static_cast<int>(b), -1});
    for (std::size_t m = 0; m < markers; ++m)
      rows_.push_back({static_cast<int>(b), static_cast<int>(m)});
    blocks_.push_back(std::move(out));
  }
}

std::string InputGrid::cell(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount()) return {};
  if (row == 0) return col == 0 ? std::string() : names_[static_cast<std::size_t>(col - 1)];
  const Row& r = rows_[static_cast<std::size_t>(row - 1)];
  const Block& b = blocks_[static_cast<std::size_t>(r.block)];
  if (r.marker < 0) {
    if (col == 0) return b.name;
    if (col == 1) return b.siteLength;
    return {};
  }
  if (col == 0) return b.labels[static_cast<std::size_t>(r.marker)];
  static const char* const kMarks[] = {"0", "1", "n/a"};
  return kMarks[b.presence[static_cast<std::size_t>(col - 1)][static_cast<std::size_t>(r.marker)]];
}

bool InputGrid::isBlockHeader(int col, int row) const {
  if (col != 0 || row <= 0 || row >= rowCount()) return false;
  return rows_[static_cast<std::size_t>(row - 1)].marker < 0;
}

void MatrixGrid::fill(std::shared_ptr<const CoefficientMatrix> matrix, const Dataset& data,
                      char decimalSeparator) {
  const int n = matrix->size();
  decimalSeparator_ = decimalSeparator;
  size_ = n + 1;
  edits_.clear();
  names_.clear();
  names_.reserve(static_cast<std::size_t>(n));
  for (const int32_t t : matrix->taxa)
    names_.push_back(data.taxa[static_cast<std::size_t>(t)].name.str());
  matrix_ = std::move(matrix);
}

void MatrixGrid::fill(const CoefficientMatrix& matrix, const Dataset& data,
                      char decimalSeparator) {
  fill(std::make_shared<const CoefficientMatrix>(matrix), data, decimalSeparator);
}

std::string MatrixGrid::cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= size_ || row >= size_) return {};
  if (!edits_.empty()) {
    auto it = edits_.find(Key(col, row));
    if (it != edits_.end()) return it->second;
  }
  if (names_.empty() || col == row) return {};
  if (row == 0) return names_[static_cast<std::size_t>(col - 1)];
  if (col == 0) return names_[static_cast<std::size_t>(row - 1)];
  return formatMatrixCell(matrix_->values(std::min(col, row), std::max(col, row)),
                          decimalSeparator_);
}

void MatrixGrid::setCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= size_ || row >= size_) return;
  edits_[Key(col, row)] = std::move(text);
}

std::string MatrixGrid::copyText() const {
  std::string out;
  for (int r = 0; r < rowCount(); ++r) {
    for (int c = 0; c < colCount(); ++c) {
      out += cell(c, r);
      out += '\t';
    }
    out += "\r\n";
  }
  return out;
}

double MatrixGrid::value(int col, int row) const {
  if (col == row) return 0.0;
  if (!edits_.empty() && edits_.contains(Key(col, row)))
    return readMatrixCell(edits_.at(Key(col, row)), decimalSeparator_);
  if (!matrix_) return readMatrixCell(cell(col, row), decimalSeparator_);
  return matrix_->values(std::min(col, row), std::max(col, row));
}

SquareMatrix MatrixGrid::readBack(int n) const {
  SquareMatrix K(n);
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      if (i == j) {
        K(i, i) = 0.0;
      } else {
        K(i, j) = readMatrixCell(cell(i, j), decimalSeparator_);
        K(j, i) = readMatrixCell(cell(j, i), decimalSeparator_);
      }
    }
  }
  return K;
}

}  // namespace ramovia
