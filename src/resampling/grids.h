// The contents of the analysis window's two string grids, as plain values. Cells are produced on
// demand, so a table of thousands of taxa costs no more than its data.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "model/matrix.h"

namespace ramovia {

class TEnzym;

// The input grid (page "Data input"): row 0 the taxon names, then per block its header row (when
// named) and one row per fragment of the block.
class InputGrid {
 public:
  int ColCount() const { return colCount_; }
  int RowCount() const { return static_cast<int>(rows_.size()) + 1; }
  std::string Cell(int col, int row) const;
  // Block header cells are drawn bold and underlined: the name cell of each block header row.
  bool IsBlockHeader(int col, int row) const;

  void Fill(const std::vector<const TEnzym*>& loci, const TEnzym& merged, char decimalSeparator);

 private:
  struct Row {
    int block = 0;
    int fragment = -1;  // -1: the block's header row
  };
  struct Block {
    std::string name;
    std::string siteLength;
    std::vector<std::string> labels;
    // presence[k][f]: 0 "0", 1 "1", 2 "n/a" for merged taxon k and fragment f of the block
    std::vector<std::vector<unsigned char>> presence;
  };
  int colCount_ = 1;
  std::vector<std::string> names_;
  std::vector<Block> blocks_;
  std::vector<Row> rows_;
};

// The matrix grid (page "Distance/similarity matrix"): what DispKoef wrote, plus the user's edits.
class MatrixGrid {
 public:
  MatrixGrid() = default;
  int ColCount() const { return size_; }
  int RowCount() const { return size_; }
  std::string Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);  // an edit by the user
  bool HasEdits() const { return !edits_.empty(); }
  // The names written into row 0 / column 0, in order (taxa 1..N).
  const std::vector<std::string>& Names() const { return names_; }

  // DispKoef: names of Druhy and Koef[i][j] for i < j, both halves showing the same text.
  void Fill(const TEnzym& enzym, char decimalSeparator);
  // Copy2Click: every cell followed by a tab, every row followed by CR LF.
  std::string CopyText() const;

 private:
  static long long Key(int col, int row) { return (static_cast<long long>(row) << 32) | col; }
  int size_ = 5;  // the grid starts with 5 x 5 empty cells
  char decimalSeparator_ = '.';
  std::vector<std::string> names_;
  SquareMatrix values_;
  std::unordered_map<long long, std::string> edits_;
};

}  // namespace ramovia
