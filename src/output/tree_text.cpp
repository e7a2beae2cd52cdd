#include "output/tree_text.h"

#include "output/number_text.h"

namespace ramovia {

namespace {

bool needsQuotes(std::string_view name) {
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

struct Writer {
  const MultiTree& tree;
  std::span<const Taxon> taxa;
  const TreeTextOptions& o;
  std::string out;

  void name(int32_t taxon) {
    const std::string& n = taxa[static_cast<std::size_t>(taxon)].name.str();
    out += o.names == TreeTextOptions::Names::Newick ? newickLabel(n) : n;
  }
  void label(int32_t node) {
    const int32_t s = tree[node].label;
    switch (o.support) {
      case TreeTextOptions::Support::None:
        break;
      case TreeTextOptions::Support::Quoted:
        if (s > 0) out += '\'' + std::to_string(s) + '\'';
        break;
      case TreeTextOptions::Support::Plain:
        if (s >= 0) out += std::to_string(s);
        break;
    }
  }
  void length(int32_t node) {
    if (o.lengths == TreeTextOptions::Lengths::None) return;
    if (o.lengths == TreeTextOptions::Lengths::BelowRoot && node == tree.root()) return;
    out += ':';
    out += lengthText(tree[node].length);
  }
  // Without recursion: a tree of thousands of taxa may be a long chain.
  void write() {
    if (tree.empty()) return;
    struct Step {
      int32_t node;
      std::size_t next;  // the child to write next
    };
    std::vector<Step> stack{{tree.root(), 0}};
    while (!stack.empty()) {
      Step& s = stack.back();
      const MultiTree::Node& n = tree[s.node];
      if (n.children.empty()) {
        name(n.taxon);
        length(s.node);
        stack.pop_back();
        continue;
      }
      if (s.next < n.children.size()) {
        out += s.next == 0 ? '(' : ',';
        const int32_t child = n.children[s.next++];
        stack.push_back({child, 0});
        continue;
      }
      out += ')';
      const int32_t node = s.node;
      stack.pop_back();
      label(node);
      length(node);
    }
  }
};

}  // namespace

std::string treeText(const MultiTree& tree, std::span<const Taxon> taxa,
                     const TreeTextOptions& options) {
  Writer w{tree, taxa, options, {}};
  w.out.reserve(tree.nodes.size() * 8);
  w.write();
  w.out += options.end;
  return std::move(w.out);
}

std::string treeText(const Tree& tree, std::span<const Taxon> taxa, const TreeTextOptions& options,
                     std::span<const int32_t> support) {
  return treeText(asMultiTree(tree, support), taxa, options);
}

std::string plainText(const Tree& tree, std::span<const Taxon> taxa) {
  return treeText(tree, taxa, {});
}

std::string labelledText(const Tree& tree, std::span<const Taxon> taxa,
                         std::span<const int32_t> support) {
  TreeTextOptions o;
  o.support = TreeTextOptions::Support::Quoted;
  return treeText(tree, taxa, o, support);
}

std::string lengthsText(const Tree& tree, std::span<const Taxon> taxa,
                        std::span<const int32_t> support) {
  TreeTextOptions o;
  o.support = TreeTextOptions::Support::Quoted;
  o.lengths = TreeTextOptions::Lengths::All;
  return treeText(tree, taxa, o, support);
}

std::string newickText(const Tree& tree, std::span<const Taxon> taxa, bool withLengths,
                       std::span<const int32_t> support) {
  return newickText(asMultiTree(tree, support), taxa, withLengths);
}

std::string newickText(const MultiTree& tree, std::span<const Taxon> taxa, bool withLengths) {
  TreeTextOptions o;
  o.names = TreeTextOptions::Names::Newick;
  o.support = TreeTextOptions::Support::Plain;
  o.lengths = withLengths ? TreeTextOptions::Lengths::BelowRoot : TreeTextOptions::Lengths::None;
  o.end = ";\n";
  return treeText(tree, taxa, o);
}

std::string newickLabel(std::string_view name) {
  if (!needsQuotes(name)) return std::string(name);
  std::string out = "'";
  for (const char c : name) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

}  // namespace ramovia
