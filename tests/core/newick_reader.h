// A small Newick reader for the tests, written from the format's rules and not from the writer:
// quoted and unquoted labels, inner node labels, branch lengths, comments in square brackets.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ramovia::testing {

struct NewickNode {
  std::string label;
  std::optional<std::string> length;  // as written
  std::vector<std::unique_ptr<NewickNode>> children;
};

class NewickReader {
 public:
  explicit NewickReader(std::string_view text) : s_(text) {}
  std::unique_ptr<NewickNode> Read() {
    auto root = Node();
    Blanks();
    Expect(';');
    Blanks();
    if (i_ != s_.size()) throw std::runtime_error("text after ';'");
    return root;
  }

 private:
  std::unique_ptr<NewickNode> Node() {
    Blanks();
    auto n = std::make_unique<NewickNode>();
    if (Peek() == '(') {
      ++i_;
      for (;;) {
        n->children.push_back(Node());
        Blanks();
        if (Peek() == ',') {
          ++i_;
          continue;
        }
        Expect(')');
        break;
      }
    }
    Blanks();
    n->label = Label();
    Blanks();
    if (Peek() == ':') {
      ++i_;
      Blanks();
      std::string len;
      while (i_ < s_.size() && std::string_view("(),:;[ \t\r\n").find(s_[i_]) == std::string_view::npos)
        len += s_[i_++];
      if (len.empty()) throw std::runtime_error("empty branch length");
      n->length = len;
    }
    return n;
  }
  std::string Label() {
    std::string out;
    if (Peek() == '\'') {
      ++i_;
      for (;;) {
        if (i_ >= s_.size()) throw std::runtime_error("unterminated quoted label");
        const char c = s_[i_++];
        if (c == '\'') {
          if (Peek() == '\'') {
            out += '\'';
            ++i_;
            continue;
          }
          break;
        }
        out += c;
      }
      return out;
    }
    while (i_ < s_.size() && std::string_view("(),:;[]' \t\r\n").find(s_[i_]) == std::string_view::npos)
      out += s_[i_++];
    return out;
  }
  void Blanks() {
    for (;;) {
      while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
        ++i_;
      if (Peek() != '[') return;
      const auto end = s_.find(']', i_);
      if (end == std::string_view::npos) throw std::runtime_error("unterminated comment");
      i_ = end + 1;
    }
  }
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("Newick: expected ") + c + " at " + std::to_string(i_));
    ++i_;
  }
  std::string_view s_;
  std::size_t i_ = 0;
};

inline std::unique_ptr<NewickNode> ReadNewick(std::string_view text) {
  return NewickReader(text).Read();
}

}  // namespace ramovia::testing
