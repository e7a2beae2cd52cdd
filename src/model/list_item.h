// Taxa, fragments and the named list item they share.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ramovia {

// The one exception for a position outside a list: "List index out of bounds (%d)".
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
  friend auto operator<=>(const ShortString& a, const ShortString& b) { return a.s_ <=> b.s_; }

 private:
  std::string s_;
};

constexpr std::size_t kItemNameLength = 20;
constexpr std::size_t kEnzymNameLength = 50;
using ItemName = ShortString<kItemNameLength>;
using EnzymName = ShortString<kEnzymNameLength>;

// Booleans stored as 16-bit values: 0 false, -1 true.
using Bool16 = int16_t;
constexpr Bool16 kFalse16 = 0;
constexpr Bool16 kTrue16 = -1;

class TKVObject {
 public:
  virtual ~TKVObject() = default;
};

class TKVListItem : public TKVObject {
 public:
  ItemName Name;
  int32_t Num = 0;
  int32_t Tag = 0;
  double Value = 0.0;
  Bool16 Reference = kFalse16;
  int32_t EnzymId = 0;
};

class TFragment : public TKVListItem {
 public:
  // A copy carrying Num, Name and EnzymId (Value 0, Reference false), as fragment lists keep.
  std::unique_ptr<TFragment> ListCopy() const;
};

class TDruh : public TKVListItem {
 public:
  std::vector<std::unique_ptr<TFragment>> Fragmenty;
  std::vector<std::string> ForbiddenEnzyms;

  ~TDruh() override;

  void EmptyFragmenty();
  int32_t AddFragment(std::unique_ptr<TFragment> fragment);
  int32_t GetFragmentCount() const { return static_cast<int32_t>(Fragmenty.size()); }
  TFragment* GetFragment(int32_t index) const;
  TFragment* ItemByNum(int32_t num) const;
  TFragment* ItemByText(std::string_view text) const;
  void AddForbiddenEnzym(int32_t id);
  bool IsForbiddenEnzym(int32_t id) const;
  bool HasItemInRange(int32_t low, int32_t high) const;
  bool HasReferenceItemInRange(int32_t low, int32_t high) const;
};

// Empties an owned list from the last element to the first.
template <class T>
void EmptyOwnedList(std::vector<std::unique_ptr<T>>& list) {
  while (!list.empty()) list.pop_back();
}

}  // namespace ramovia
