// Trees written by hand for tests: "((A,B)'85',C)" with optional support labels; leaves are
// numbered 1, 2, ... from left to right.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tree/tree_node.h"

namespace ramovia::testing {

class TreeReader {
 public:
  explicit TreeReader(std::string_view text) : s_(text) {}
  std::unique_ptr<TKVTreeNodeItem> Read() {
    if (Peek() == '(') {
      ++i_;
      auto node = std::make_unique<TKVTreeNode>();
      node->Left = Read();
      Expect(',');
      node->Right = Read();
      Expect(')');
      if (Peek() == '\'') {
        ++i_;
        std::string digits;
        while (Peek() != '\'') digits += s_[i_++];
        ++i_;
        node->Support = std::stoi(digits);
      }
      node->Name = std::min(node->Left->Name.str(), node->Right->Name.str());
      return node;
    }
    std::string name;
    while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != ')' && s_[i_] != '(') name += s_[i_++];
    auto leaf = std::make_unique<TKVTreeNodeItem>();
    leaf->Name = name;
    leaf->Num = ++leaves_;
    return leaf;
  }

 private:
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("tree text: expected ") + c);
    ++i_;
  }
  std::string_view s_;
  std::size_t i_ = 0;
  int leaves_ = 0;
};

inline std::unique_ptr<TKVTreeNodeItem> Tree(std::string_view text) {
  return TreeReader(text).Read();
}

// Every field a builder writes, distances as exact bits, in pre-order.
inline void AppendSignature(const TKVTreeNodeItem* x, std::string& out) {
  if (x == nullptr) {
    out += '~';
    return;
  }
  char buf[64];
  double d = x->Distance;
  unsigned long long bits;
  static_assert(sizeof bits == sizeof d);
  std::memcpy(&bits, &d, sizeof bits);
  std::snprintf(buf, sizeof buf, "%d:%llx", x->IsNode() ? 0 : x->Num, bits);
  out += x->Name.str();
  out += buf;
  if (const TKVTreeNode* n = AsNode(x)) {
    out += '(';
    AppendSignature(n->Left.get(), out);
    out += ',';
    AppendSignature(n->Right.get(), out);
    out += ')';
  }
}
inline std::string Signature(const TKVTreeNodeItem* x) {
  std::string s;
  AppendSignature(x, s);
  return s;
}

}  // namespace ramovia::testing
