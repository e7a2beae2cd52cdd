// Trees written by hand for tests: "((A,B)'85',C)" with optional support labels and ":0.5"
// lengths. Leaves name taxa of a shared list, added in order of first appearance.
#pragma once

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/dataset.h"
#include "tree/tree.h"

namespace ramovia::testing {

struct TestTree {
  Tree tree;
  std::vector<int32_t> support;  // per node; 0 where the text has no label
};

class TreeReader {
 public:
  TreeReader(std::string_view text, std::vector<Taxon>& taxa) : s_(text), taxa_(taxa) {}
  TestTree read() {
    TestTree t;
    node(t);
    t.support.resize(t.tree.nodes.size(), 0);
    for (const auto& [n, s] : labels_) t.support[static_cast<std::size_t>(n)] = s;
    return t;
  }

 private:
  int32_t node(TestTree& t) {
    int32_t x;
    if (peek() == '(') {
      ++i_;
      const int32_t left = node(t);
      expect(',');
      const int32_t right = node(t);
      expect(')');
      x = t.tree.addInner(left, right);
      if (peek() == '\'') {
        ++i_;
        std::string digits;
        while (peek() != '\'') digits += s_[i_++];
        ++i_;
        labels_.emplace_back(x, std::stoi(digits));
      }
    } else {
      std::string name;
      while (i_ < s_.size() && std::string_view(",():").find(s_[i_]) == std::string_view::npos)
        name += s_[i_++];
      x = t.tree.addLeaf(taxonOf(name));
    }
    if (peek() == ':') {
      ++i_;
      std::string number;
      while (i_ < s_.size() && std::string_view(",()").find(s_[i_]) == std::string_view::npos)
        number += s_[i_++];
      t.tree[x].length = std::stod(number);
    }
    return x;
  }
  int32_t taxonOf(const std::string& name) {
    for (std::size_t k = 0; k < taxa_.size(); ++k)
      if (taxa_[k].name == std::string_view(name)) return static_cast<int32_t>(k);
    taxa_.push_back(Taxon{Name(name), {}});
    return static_cast<int32_t>(taxa_.size()) - 1;
  }
  char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void expect(char c) {
    if (peek() != c) throw std::runtime_error(std::string("tree text: expected ") + c);
    ++i_;
  }
  std::string_view s_;
  std::vector<Taxon>& taxa_;
  std::size_t i_ = 0;
  std::vector<std::pair<int32_t, int32_t>> labels_;
};

inline TestTree readTree(std::string_view text, std::vector<Taxon>& taxa) {
  return TreeReader(text, taxa).read();
}

// Every field a builder writes, lengths as exact bits, in pre-order.
inline std::string signature(const Tree& t) {
  std::string out;
  char buf[64];
  for (const int32_t x : t.preorder()) {
    const TreeNode& n = t[x];
    double d = n.length;
    unsigned long long bits;
    static_assert(sizeof bits == sizeof d);
    std::memcpy(&bits, &d, sizeof bits);
    std::snprintf(buf, sizeof buf, "%s%d:%llx ", n.isLeaf() ? "L" : "(", n.isLeaf() ? n.taxon : n.leaves, bits);
    out += buf;
  }
  return out;
}

}  // namespace ramovia::testing
