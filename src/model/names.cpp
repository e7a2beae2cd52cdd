#include "model/names.h"

namespace ramovia {

ListIndexError::ListIndexError(long long index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

}  // namespace ramovia
