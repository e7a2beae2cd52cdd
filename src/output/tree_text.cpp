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
  const Tree& tree;
  std::span<const Taxon> taxa;
  const TreeTextOptions& o;
  std::span<const int32_t> support;
  std::string out;

  void name(int32_t taxon) {
    const std::string& n = taxa[static_cast<std::size_t>(taxon)].name.str();
    out += o.names == TreeTextOptions::Names::Newick ? newickLabel(n) : n;
  }
  void label(int32_t node) {
    const int32_t s = support.empty() ? 0 : support[static_cast<std::size_t>(node)];
    switch (o.support) {
      case TreeTextOptions::Support::None:
        break;
      case TreeTextOptions::Support::Quoted:
        if (s != 0) out += '\'' + std::to_string(s) + '\'';
        break;
      case TreeTextOptions::Support::Plain:
        out += std::to_string(s);
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
      int stage;  // 0 opens, 1 between the children, 2 closes
    };
    std::vector<Step> stack{{tree.root(), 0}};
    while (!stack.empty()) {
      Step& s = stack.back();
      const TreeNode& n = tree[s.node];
      if (n.isLeaf()) {
        name(n.taxon);
        length(s.node);
        stack.pop_back();
        continue;
      }
      if (s.stage == 0) {
        out += '(';
        s.stage = 1;
        stack.push_back({n.left, 0});
      } else if (s.stage == 1) {
        out += ',';
        s.stage = 2;
        stack.push_back({n.right, 0});
      } else {
        out += ')';
        const int32_t node = s.node;
        stack.pop_back();
        label(node);
        length(node);
      }
    }
  }
};

}  // namespace

std::string treeText(const Tree& tree, std::span<const Taxon> taxa, const TreeTextOptions& options,
                     std::span<const int32_t> support) {
  Writer w{tree, taxa, options, support, {}};
  w.out.reserve(tree.nodes.size() * 8);
  w.write();
  w.out += options.end;
  return std::move(w.out);
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
  TreeTextOptions o;
  o.names = TreeTextOptions::Names::Newick;
  o.support = support.empty() ? TreeTextOptions::Support::None : TreeTextOptions::Support::Plain;
  o.lengths = withLengths ? TreeTextOptions::Lengths::BelowRoot : TreeTextOptions::Lengths::None;
  o.end = ";\n";
  return treeText(tree, taxa, o, support);
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
