// A data set: taxa with their fragment lists, the coefficient matrix, the tree list and the
// reference tree. One per input block (per enzyme or locus) and one merged per analysis.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/list_item.h"
#include "model/matrix.h"
#include "model/progress.h"
#include "tree/tree_node.h"

namespace ramovia {

class CladeSupportIndex;

enum class TEnzymTreeType : uint8_t { ettNone = 0, ettUPGMA = 1, ettNbJoin = 2 };
using enum TEnzymTreeType;

class TEnzym : public TKVObject {
 public:
  EnzymName Name;
  std::atomic<bool> BreakRequest{false};
  std::vector<std::unique_ptr<TDruh>> Druhy;
  std::vector<TDruh*> RedukovaneDruhy;
  bool UseRedukovaneDruhy = false;
  std::vector<std::unique_ptr<TFragment>> Fragmenty;
  std::unique_ptr<TDruh> RedukovaneFragmenty;
  SquareMatrix Koef;
  SquareMatrix WorkKoef;
  SquareMatrix StepKoef;
  std::vector<std::unique_ptr<TKVTreeNodeItem>> TreeList;
  std::unique_ptr<TKVTreeNodeItem> RefTree;
  std::string RefTreeText;
  std::string RefTreeKey;
  int32_t RefTreeHits = 0;
  TEnzymTreeType TreeType = ettNone;
  bool IsDistance = false;
  int32_t EnzymId = 0;
  char KoefChar = 0;
  double SiteLength = 0.0;
  ProgressSink* Progress = nullptr;  // not owned

  TEnzym();
  ~TEnzym() override;
  TEnzym(const TEnzym&) = delete;
  TEnzym& operator=(const TEnzym&) = delete;

  // --- containers (model/enzym.cpp) ---
  int32_t AddDruh(std::unique_ptr<TDruh> druh);
  int32_t DruhyCount() const;
  TDruh* GetDruh(int32_t index) const;
  int32_t GetDruhStr(std::string_view name) const;
  int32_t AddFragment(std::unique_ptr<TFragment> fragment);
  int32_t FragmentCount() const { return static_cast<int32_t>(Fragmenty.size()); }
  TFragment* GetFragment(int32_t index) const;
  TFragment* FragItemByNum(int32_t num) const;
  void SetEnzymId(int32_t id) { EnzymId = id; }
  void Clear();
  void DropDruhy();
  void CompactDruhyList();
  void EmptyRedukovaneFragmenty();
  void PrepareFragmentList();
  double GetDistance(int i, int j) const { return Koef(i, j); }
  void SetDistance(int i, int j, double v) { Koef(i, j) = v; }
  // Makes the three matrices hold at least n taxa (they grow once and are reused).
  void ReserveMatrices(int n);

  // --- fragment sample and taxon sample (distance/sample.cpp) ---
  void PrepareReducedFragList(int32_t count, bool distinct);
  // The sample as these positions of Fragmenty, drawn elsewhere (replicates draw ahead).
  void SetReducedFragList(std::span<const int32_t> positions);
  void ReduceList(int32_t n);

  // --- coefficients (distance/coefficients.cpp) ---
  void PrepareKoef();
  void PrepareSimilarityTbl();

  // --- tree builders (tree/upgma.cpp, tree/nbjoin.cpp) ---
  void GenTree();
  void GenTreeUPGMA();
  void GenTreeNbJoin();

  // --- reference tree (tree/reftree.cpp) ---
  void GenRefTree();

  // --- tree list (resampling/tree_list.cpp) ---
  void AddTreeToList(std::unique_ptr<TKVTreeNodeItem> root);
  // The same with the root's GetDesc text already made (replicates make it on their worker).
  void AddTreeToList(std::unique_ptr<TKVTreeNodeItem> root, std::string desc);
  int32_t TreeCount() const { return static_cast<int32_t>(TreeList.size()); }
  TKVTreeNodeItem* GetTree(int32_t index) const;
  void EmptyTreeList();
  void SortTreeList();
  // Answered from a clade index built once per state of TreeList, so calling it for every node
  // of a tree costs little.
  int32_t EnumerateTree(const TKVTreeNodeItem* clade) const;
  // The same value found by walking every listed tree (HasAllFragments, HasSubTrees).
  int32_t EnumerateTreePlain(const TKVTreeNodeItem* clade) const;
  const CladeSupportIndex& SupportIndex() const;
  void HasAllFragments(const TKVTreeNodeItem* tree, const TKVTreeNodeItem* clade, bool& ok) const;
  void RefreshTree();

  // --- replicate loop (resampling/random_trees.cpp) ---
  void RandomTrees(int32_t fragCount, int32_t repeatCount, int32_t taxonCount, bool different,
                   ProgressSink* progress);
  void BreakRandomTrees() { BreakRequest = true; }
  void ShuffleDruhy();

 private:
  // Trees of TreeList by their GetDesc text, so that an identical tree is found without a scan.
  std::unordered_map<std::string, TKVTreeNodeItem*> treeIndex_;
  // Clade index of TreeList for EnumerateTree; dropped by every change made through the tree
  // list operations and rebuilt when TreeList no longer matches it.
  mutable std::shared_ptr<const CladeSupportIndex> supportIndex_;
  void RebuildTreeIndex();
};

}  // namespace ramovia
