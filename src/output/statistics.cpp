#include "output/statistics.h"

#include "model/names.h"
#include "output/tree_text.h"

namespace ramovia {

std::vector<std::string> treeListLines(const ResamplingResult& result,
                                       std::span<const Taxon> taxa) {
  std::vector<std::string> lines;
  lines.reserve(result.trees.entries().size());
  for (const TreeList::Entry& e : result.trees.entries())
    lines.push_back(std::to_string(e.count) + ": " + plainText(e.tree, taxa));
  return lines;
}

std::vector<std::string> statisticsLines(const ResamplingResult& result, const Tree* compared,
                                         std::span<const Taxon> taxa) {
  std::vector<std::string> lines;
  lines.push_back("Different tree count : " + std::to_string(result.trees.size()));
  lines.push_back("Ref. tree in list : " + std::to_string(result.referenceHits));
  lines.push_back("Ref. tree : ");
  lines.push_back(compared ? plainText(*compared, taxa) : std::string());
  if (result.trees.empty()) throw ListIndexError(0);
  const TreeList::Entry& first = result.trees[0];
  lines.push_back("Most freq. tree : " + std::to_string(first.count));
  lines.push_back(plainText(first.tree, taxa));
  return lines;
}

std::string referenceTreeText(const Tree& reference, TreeMethod method, std::span<const Taxon> taxa,
                              std::span<const int32_t> support) {
  return (method == TreeMethod::NeighborJoining ? lengthsText(reference, taxa, support)
                                                : labelledText(reference, taxa, support)) +
         ";";
}

}  // namespace ramovia
