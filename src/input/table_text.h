// The text of a table, read from a stream a piece at a time so that a table far too large for
// the memory left is refused after a part of it, not after all of it was held.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace ramovia {

// The whole stream. Throws MemoryError (as readTable would, with the size projected from
// `sizeHint`, the stream's length when known, else 0) as soon as the part read shows that
// reading the table would need more than is available.
std::string readTableText(std::istream& in, uint64_t sizeHint = 0);

}  // namespace ramovia
