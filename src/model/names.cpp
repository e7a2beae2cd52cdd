#include "model/names.h"

namespace ramovia {

ListIndexError::ListIndexError(long long index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

namespace {

// Bytes of the well-formed UTF-8 sequence at p (end excluded); 0 when there is none.
std::size_t sequenceLength(std::string_view s, std::size_t p) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(p);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (p + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char t = b(p + k);
    if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return 0;
  }
  return n;
}

}  // namespace

std::size_t utf8CutLength(std::string_view text, std::size_t length) {
  if (text.size() <= length) return text.size();
  std::size_t p = 0, lastStart = 0;
  while (p < text.size()) {
    const std::size_t n = sequenceLength(text, p);
    if (n == 0) return length;  // not UTF-8: the plain byte cut
    if (p <= length) lastStart = p;
    p += n;
  }
  return lastStart;
}

Name cutName(std::string_view text) { return Name(text.substr(0, utf8CutLength(text, kNameLength))); }

}  // namespace ramovia
