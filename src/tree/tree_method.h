// The two ways of building a tree from a matrix.
#pragma once

#include <cstdint>

namespace ramovia {

enum class TreeMethod : uint8_t { None = 0, Upgma = 1, NeighborJoining = 2 };

// "UPGMA", "Neighbor-joining"; "(none)" for None.
inline const char* methodLabel(TreeMethod m) {
  switch (m) {
    case TreeMethod::Upgma:
      return "UPGMA";
    case TreeMethod::NeighborJoining:
      return "Neighbor-joining";
    case TreeMethod::None:
      break;
  }
  return "(none)";
}

}  // namespace ramovia
