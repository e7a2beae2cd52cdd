// The contents of the analysis window's two string grids, as plain values. Cells are produced on
// demand, so a table of thousands of taxa costs no more than its data.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/dataset.h"
#include "model/matrix.h"

namespace ramovia {

struct CoefficientMatrix;

// The input grid (page "Data input"): row 0 the taxon names, then per block its header row (when
// named) and one row per marker of the block.
class InputGrid {
 public:
  int colCount() const { return colCount_; }
  int rowCount() const { return static_cast<int>(rows_.size()) + 1; }
  std::string cell(int col, int row) const;
  // Block header cells are drawn bold and underlined: the name cell of each block header row.
  bool isBlockHeader(int col, int row) const;

  void fill(const Dataset& data, char decimalSeparator);

 private:
  struct Row {
    int block = 0;
    int marker = -1;  // -1: the block's header row
  };
  struct Block {
    std::string name;
    std::string siteLength;
    std::vector<std::string> labels;
    // presence[k][m]: 0 "0", 1 "1", 2 "n/a" for taxon k and marker m of the block
    std::vector<std::vector<unsigned char>> presence;
  };
  int colCount_ = 1;
  std::vector<std::string> names_;
  std::vector<Block> blocks_;
  std::vector<Row> rows_;
};

// The matrix grid (page "Distance/similarity matrix"): the matrix's cells, plus the user's edits.
class MatrixGrid {
 public:
  MatrixGrid() = default;
  int colCount() const { return size_; }
  int rowCount() const { return size_; }
  std::string cell(int col, int row) const;
  void setCell(int col, int row, std::string text);  // an edit by the user
  bool hasEdits() const { return !edits_.empty(); }
  // The names written into row 0 / column 0, in order (taxa 1..N).
  const std::vector<std::string>& names() const { return names_; }

  // The names of the matrix's taxa and its values (i, j) for i < j, both halves showing the
  // same text. The grid shares the matrix rather than copying it.
  void fill(std::shared_ptr<const CoefficientMatrix> matrix, const Dataset& data,
            char decimalSeparator);
  void fill(const CoefficientMatrix& matrix, const Dataset& data, char decimalSeparator);
  // Every cell followed by a tab, every row followed by CR LF.
  std::string copyText() const;
  // The value behind cell (col, row) in full: the computed double, or an edited cell read back
  // (InvalidFloatError when it does not read). 0 on the diagonal.
  double value(int col, int row) const;
  // The cells read back as a matrix of n taxa: (i, j) from the cell in column i and row j, the
  // diagonal 0. Throws InvalidFloatError at the first cell that does not read, row by row.
  SquareMatrix readBack(int n) const;

 private:
  static long long Key(int col, int row) { return (static_cast<long long>(row) << 32) | col; }
  int size_ = 5;  // the grid starts with 5 x 5 empty cells
  char decimalSeparator_ = '.';
  std::vector<std::string> names_;
  std::shared_ptr<const CoefficientMatrix> matrix_;
  std::unordered_map<long long, std::string> edits_;
};

}  // namespace ramovia
