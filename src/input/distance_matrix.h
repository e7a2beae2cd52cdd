// Distance matrices made elsewhere: PHYLIP square or lower-triangular (relaxed names) and a
// delimited square matrix with the names in the first row and column.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/matrix.h"

namespace ramovia {

struct DistanceInput {
  std::vector<std::string> names;
  SquareMatrix values;  // rows and columns 1..n, symmetric with a zero diagonal
  double at(std::size_t i, std::size_t j) const {
    return values(static_cast<int>(i) + 1, static_cast<int>(j) + 1);
  }
};

// Each throws InputError at the first place that is wrong: a cell that is no number, a row of
// the wrong length, a negative distance, a non-zero diagonal, cells i,j and j,i more than 1e-9
// apart, a name given twice.
DistanceInput readPhylipMatrix(std::string_view text);
DistanceInput readDelimitedMatrix(std::string_view text);

bool looksLikePhylipMatrix(std::string_view text);
bool looksLikeDelimitedMatrix(std::string_view text);

}  // namespace ramovia
