#include "resampling/grids.h"

#include <algorithm>

#include "input/number_text.h"
#include "model/enzym.h"

namespace ramovia {

void InputGrid::Fill(const std::vector<const TEnzym*>& loci, const TEnzym& merged,
                     char decimalSeparator) {
  names_.clear();
  blocks_.clear();
  rows_.clear();
  const auto taxa = static_cast<std::size_t>(merged.Druhy.size());
  colCount_ = static_cast<int>(taxa) + 1;
  for (const auto& d : merged.Druhy) names_.push_back(d->Name.str());

  for (std::size_t b = 0; b < loci.size(); ++b) {
    const TEnzym& block = *loci[b];
    Block out;
    out.name = block.Name.str();
    if (block.SiteLength != 0.0) out.siteLength = FloatToText(block.SiteLength, decimalSeparator);
    // The first block taxon of each name, as GetDruhStr finds it.
    std::unordered_map<std::string, const TDruh*> byName;
    for (const auto& d : block.Druhy) byName.try_emplace(d->Name.str(), d.get());
    out.presence.resize(taxa);
    const std::size_t fragments = block.Fragmenty.size();
    std::unordered_map<int32_t, std::size_t> positionOf;
    positionOf.reserve(fragments);
    for (std::size_t f = 0; f < fragments; ++f) positionOf.try_emplace(block.Fragmenty[f]->Num, f);
    for (std::size_t k = 0; k < taxa; ++k) {
      auto& p = out.presence[k];
      auto it = byName.find(names_[k]);
      if (it == byName.end()) {
        p.assign(fragments, 2);
        continue;
      }
      p.assign(fragments, 0);
      for (const auto& f : it->second->Fragmenty) {
        auto at = positionOf.find(f->Num);
        if (at != positionOf.end()) p[at->second] = 1;
      }
    }
    for (const auto& f : block.Fragmenty) {
      const std::string num = std::to_string(f->Num);
      out.labels.push_back(f->Name.empty() ? num : f->Name.str() + "/" + num);
    }
    // One row per entry of the block's own fragment list, so that no row is lost.
    if (!out.name.empty()) rows_.push_back({static_cast<int>(b), -1});
    for (std::size_t f = 0; f < fragments; ++f)
      rows_.push_back({static_cast<int>(b), static_cast<int>(f)});
    blocks_.push_back(std::move(out));
  }
}

std::string InputGrid::Cell(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= RowCount()) return {};
  if (row == 0) return col == 0 ? std::string() : names_[static_cast<std::size_t>(col - 1)];
  const Row& r = rows_[static_cast<std::size_t>(row - 1)];
  const Block& b = blocks_[static_cast<std::size_t>(r.block)];
  if (r.fragment < 0) {
    if (col == 0) return b.name;
    if (col == 1) return b.siteLength;
    return {};
  }
  if (col == 0) return b.labels[static_cast<std::size_t>(r.fragment)];
  static const char* const kMarks[] = {"0", "1", "n/a"};
  return kMarks[b.presence[static_cast<std::size_t>(col - 1)][static_cast<std::size_t>(r.fragment)]];
}

bool InputGrid::IsBlockHeader(int col, int row) const {
  if (col != 0 || row <= 0 || row >= RowCount()) return false;
  return rows_[static_cast<std::size_t>(row - 1)].fragment < 0;
}

void MatrixGrid::Fill(const TEnzym& enzym, char decimalSeparator) {
  const int n = static_cast<int>(enzym.Druhy.size());
  decimalSeparator_ = decimalSeparator;
  size_ = n + 1;
  edits_.clear();
  names_.clear();
  for (const auto& d : enzym.Druhy) names_.push_back(d->Name.str());
  values_.Reserve(n);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) values_(i, j) = enzym.Koef(i, j);
}

std::string MatrixGrid::Cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= size_ || row >= size_) return {};
  if (!edits_.empty()) {
    auto it = edits_.find(Key(col, row));
    if (it != edits_.end()) return it->second;
  }
  if (names_.empty() || col == row) return {};
  if (row == 0) return names_[static_cast<std::size_t>(col - 1)];
  if (col == 0) return names_[static_cast<std::size_t>(row - 1)];
  return FormatMatrixCell(values_(std::min(col, row), std::max(col, row)), decimalSeparator_);
}

void MatrixGrid::SetCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= size_ || row >= size_) return;
  edits_[Key(col, row)] = std::move(text);
}

std::string MatrixGrid::CopyText() const {
  std::string out;
  for (int r = 0; r < RowCount(); ++r) {
    for (int c = 0; c < ColCount(); ++c) {
      out += Cell(c, r);
      out += '\t';
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace ramovia
