// Square matrices of doubles addressed with 1-based positions.
#pragma once

#include <cstddef>
#include <vector>

#include "model/large_pages.h"

namespace ramovia {

// Rows and columns 1..capacity(); row and column 0 exist but are unused. The storage grows on
// demand (keeping what it held) and never shrinks, so recomputing allocates nothing.
class SquareMatrix {
 public:
  SquareMatrix() = default;
  explicit SquareMatrix(int n) { reserve(n); }

  // Makes positions 1..n addressable.
  void reserve(int n) {
    if (n <= cap_) return;
    const int newCap = n;
    LargeVector<double> grown(static_cast<std::size_t>(newCap + 1) * (newCap + 1), 0.0);
    for (int i = 0; i <= cap_; ++i)
      for (int j = 0; j <= cap_; ++j) grown[Index(i, j, newCap)] = cells_[Index(i, j, cap_)];
    cells_.swap(grown);
    cap_ = newCap;
  }
  int capacity() const { return cap_; }

  double& operator()(int i, int j) { return cells_[Index(i, j, cap_)]; }
  double operator()(int i, int j) const { return cells_[Index(i, j, cap_)]; }
  // Row i as a pointer to element (i, 0); elements (i, 1..capacity) follow contiguously.
  double* row(int i) { return cells_.data() + Index(i, 0, cap_); }
  const double* row(int i) const { return cells_.data() + Index(i, 0, cap_); }

 private:
  static std::size_t Index(int i, int j, int cap) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(cap + 1) +
           static_cast<std::size_t>(j);
  }
  LargeVector<double> cells_;
  int cap_ = -1;
};

}  // namespace ramovia
