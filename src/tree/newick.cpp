#include "tree/newick.h"

#include "input/number_text.h"

namespace ramovia {

namespace {

bool NeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return true;
    switch (c) {
      case '(':
      case ')':
      case '[':
      case ']':
      case ':':
      case ';':
      case ',':
      case '\'':
      case '"':
        return true;
      default:
        break;
    }
  }
  return false;
}

void Write(const TKVTreeNodeItem& item, const TKVTreeNodeItem* parent, BranchLengths lengths,
           bool withSupport, std::string& out) {
  if (const TKVTreeNode* n = AsNode(&item)) {
    out += '(';
    bool first = true;
    for (const TKVTreeNodeItem* child : {n->Left.get(), n->Right.get()}) {
      if (!child) continue;
      if (!first) out += ',';
      first = false;
      Write(*child, &item, lengths, withSupport, out);
    }
    out += ')';
    if (withSupport) out += std::to_string(n->Support);
  } else {
    out += NewickLabel(item.Name.str());
  }
  if (parent != nullptr && lengths != BranchLengths::None) {
    out += ':';
    out += Len(BranchLength(item, parent, lengths));
  }
}

}  // namespace

std::string NewickLabel(std::string_view name) {
  if (!NeedsQuotes(name)) return std::string(name);
  std::string out = "'";
  for (const char c : name) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string ToNewick(const TKVTreeNodeItem& root, BranchLengths lengths, bool withSupport) {
  std::string out;
  Write(root, nullptr, lengths, withSupport, out);
  out += ";\n";
  return out;
}

}  // namespace ramovia
