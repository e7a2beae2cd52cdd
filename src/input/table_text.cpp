#include "input/table_text.h"

#include <algorithm>
#include <cstring>

#include "input/table_reader.h"
#include "model/memory.h"

namespace ramovia {

std::string readTableText(std::istream& in, uint64_t sizeHint) {
  constexpr std::size_t kPiece = std::size_t{4} << 20;
  constexpr std::size_t kProjectAfter = std::size_t{64} << 20;
  std::string text;
  // A known size is taken at once: growing by pieces would copy the text at every doubling.
  if (sizeHint > 0 && sizeHint < availableMemory() / 4)
    text.reserve(static_cast<std::size_t>(sizeHint) + kPiece);  // the last piece is read whole
  uint64_t tabs = 0, names = 0;
  bool named = false;  // the first line, which names the taxa, is over
  bool ended = false;  // a NUL ends the text for the reader, so later bytes cost nothing
  for (;;) {
    const std::size_t old = text.size();
    text.resize(old + kPiece);
    in.read(text.data() + old, static_cast<std::streamsize>(kPiece));
    const auto got = static_cast<std::size_t>(in.gcount());
    text.resize(old + got);
    const char* piece = text.data() + old;
    const char* const end = piece + got;
    if (!ended) {
      const char* nul = static_cast<const char*>(std::memchr(piece, '\0', got));
      ended = nul != nullptr;
      const char* const stop = nul ? nul : end;
      tabs += static_cast<uint64_t>(std::count(piece, stop, '\t'));
      if (!named) {
        const char* newline = static_cast<const char*>(std::memchr(piece, '\n', static_cast<std::size_t>(stop - piece)));
        named = newline != nullptr;
        names += static_cast<uint64_t>(std::count(piece, newline ? newline : stop, '\t'));
      }
    }
    const uint64_t need = readingMemoryFor(tabs, text.size(), names);
    const uint64_t projected =
        sizeHint > text.size() && !ended && text.size() > 0
            ? static_cast<uint64_t>(static_cast<double>(need) * static_cast<double>(sizeHint) /
                                    static_cast<double>(text.size()))
            : need;
    // The projection decides once enough is read to show the table's density of cells.
    const uint64_t available = availableMemory();
    if (need > available || (text.size() >= kProjectAfter && projected > available)) {
      text.clear();
      text.shrink_to_fit();
      requireMemory(projected, "Reading this table");
    }
    if (got < kPiece) break;
  }
  return text;
}

}  // namespace ramovia
