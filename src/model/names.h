// Names as the table gives them: bytes, cut to a fixed length when stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ramovia {

// A position outside a list: "List index out of bounds (%d)".
class ListIndexError : public std::out_of_range {
 public:
  explicit ListIndexError(long long index);
  long long index() const { return index_; }

 private:
  long long index_;
};

// A byte string that keeps at most N bytes; longer texts are cut when stored.
template <std::size_t N>
class ShortString {
 public:
  ShortString() = default;
  ShortString(std::string_view s) : s_(s.substr(0, std::min(s.size(), N))) {}  // NOLINT
  ShortString(const std::string& s) : ShortString(std::string_view(s)) {}      // NOLINT
  ShortString(const char* s) : ShortString(std::string_view(s)) {}             // NOLINT

  const std::string& str() const { return s_; }
  operator const std::string&() const { return s_; }  // NOLINT
  operator std::string_view() const { return s_; }    // NOLINT
  bool empty() const { return s_.empty(); }
  std::size_t size() const { return s_.size(); }
  static constexpr std::size_t capacity() { return N; }

  friend bool operator==(const ShortString& a, const ShortString& b) { return a.s_ == b.s_; }
  friend bool operator==(const ShortString& a, std::string_view b) { return a.s_ == b; }
  friend bool operator==(const ShortString& a, const std::string& b) { return a.s_ == b; }
  friend auto operator<=>(const ShortString& a, const ShortString& b) { return a.s_ <=> b.s_; }

 private:
  std::string s_;
};

// Taxon names and marker labels keep 20 bytes, block names 50.
constexpr std::size_t kNameLength = 20;
constexpr std::size_t kBlockNameLength = 50;
using Name = ShortString<kNameLength>;
using BlockName = ShortString<kBlockNameLength>;

// Where a cut to `length` bytes ends: `length`, or the start of the character it would split when
// the text is valid UTF-8 (so that the name is still shown as UTF-8).
std::size_t utf8CutLength(std::string_view text, std::size_t length);
// A taxon name or marker label as the table gives it, cut at such a place.
Name cutName(std::string_view text);

}  // namespace ramovia
