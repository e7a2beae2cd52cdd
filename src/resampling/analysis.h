// The analysis behind one analysis window: the per-block data sets, the merged data set and every
// step the window starts. The desktop window and the command line both drive this class; it knows
// nothing of widgets.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/enzym.h"
#include "resampling/grids.h"
#include "tree/tree_view.h"

namespace ramovia {

// One line of a tree view: its caption and its depth below the top level (0), in pre-order.
using TreeCaption = TreeViewLine;

class Analysis {
 public:
  explicit Analysis(char decimalSeparator = '.');

  std::unique_ptr<TEnzym> Enzym;             // the merged data set
  std::vector<std::unique_ptr<TEnzym>> Loci;  // one data set per input block, in input order
  char DecimalSeparator;

  // What the window shows of the reading: its caption, the methods offered, and warnings the user
  // must hear about (names that the 20-character cut merged into one taxon).
  std::string Caption = "Multiple analyses";
  std::vector<std::string> Methods = {"Bootstrapping", "Jackknifing", "OTU based Jackknifing",
                                      "Rearangement of taxa", "Users"};
  std::vector<std::string> Warnings;

  // --- reading the input table (input/table_parser.cpp) ---
  // Replaces all data. A text without any line throws ListIndexError(0) after the merge has run.
  void GetFromText(std::string_view text);
  static Bool16 IsFreq(std::string_view text, char decimalSeparator);
  void GetDruhyList();

  // --- frequency distances and the merge of block matrices (distance/frequency.cpp) ---
  void MultiTest(char letter, ProgressSink* progress = nullptr);
  void CompleteDistance();

  // --- the input grid (resampling/analysis_run.cpp) ---
  InputGrid Input;  // sgrdDruhy
  void DisplayList();

  // --- the matrix page and the reference tree (resampling/analysis_run.cpp) ---
  static const std::vector<std::string>& CoefficientItems();  // the sixteen items of ComboBox1
  std::string Coefficient;  // the text of ComboBox1; empty until one is chosen
  char CoefficientLetter() const { return Coefficient.empty() ? '\0' : Coefficient[0]; }
  MatrixGrid Matrix;                       // sgrdShody
  std::vector<std::string> RefTreeLines;   // lboxRefTree
  std::vector<TreeCaption> RefTreeView;    // tviewRefTree, pre-order
  bool ResamplingVisible = false;          // the tab of the page "Resampling methods"

  // ComboBox1Change, RadioButton1Click / RadioButton2Click: choose, then run the computation.
  void ChooseCoefficient(const std::string& item, ProgressSink* progress = nullptr);
  void ChooseMethod(TEnzymTreeType method, ProgressSink* progress = nullptr);
  // The matrix computation run by the route of the letter; nothing while a choice is missing.
  void RunEnzym(ProgressSink* progress = nullptr);
  void RunEnzymOld(ProgressSink* progress = nullptr);
  // sgrdShodyDblClick: the grid (with the user's edits) back into Koef, and a tree from it.
  void ReadKoef();
  void MatrixDoubleClick();
  // The tree built by the last double click, when it is still the first listed tree.
  const TKVTreeNodeItem* EditedTree() const;

  // --- the page "Resampling methods" (resampling/analysis_resampling.cpp) ---
  struct MethodControls {
    bool taxonEnabled;
    bool taxonReset;  // position set to 0 (otherwise kept)
    bool fragmentEnabled;
    bool differentEnabled;
    int differentState;  // 0 unchecked, 1 checked, -1 kept
  };
  // rdgMethodClick for the method at this position of the full five-entry list.
  static const MethodControls& MethodTable(int method);
  // Indices of the full list: 0 bootstrap, 1 jackknife, 2 OTU jackknife, 3 rearrangement, 4 users.
  int Method = -1;
  int RepeatCount = 1;       // UpDown2, 1..10000
  int TaxaLeftOut = 0;       // editVynechat / UpDown4
  int FragmentsLeftOut = 0;  // editPocet / UpDown1
  bool Different = false;    // chkbDifferent
  // rdgMethodClick: sets the controls' values (and tells which are enabled) as the table says.
  const MethodControls& ChooseResamplingMethod(int method);

  std::vector<std::string> TreeLines;  // lboxTrees
  std::vector<std::string> MemoLines;  // memoStats
  std::vector<TreeCaption> TreeView;   // TreeView of the page "Trees"

  // btnRunClick: the parameters from the controls, then RandomTrees. A number of taxa to leave
  // out that leaves no tree to build is refused with a message before anything changes.
  void Run(ProgressSink* progress = nullptr);
  void RandomTrees(int32_t fragCount, int32_t repeatCount, int32_t taxonCount, bool different,
                   ProgressSink* progress = nullptr);
  void DispStat();
  // lboxTreesClick: the listed tree at this line into TreeView.
  void SelectTreeLine(int line);
  // CopyTree1Click: the text put on the clipboard for the reference tree or a listed tree ("" when
  // nothing can be copied).
  std::string RefTreeCopyText() const;
  std::string TreeCopyText(int line) const;

  // --- provenance of exports (resampling/exports.cpp) ---
  // The input file as it was opened; empty for a pasted table.
  std::string SourceName;
  // The settings of the last run, taken when it ends; cleared by every new reference tree.
  struct RunRecord {
    int method = -1;  // index of the full five-entry list
    int32_t repeatCount = 0;
    int32_t fragCount = 0;  // fragments drawn per replicate
    int32_t taxonCount = 0;  // taxa left out per replicate
    int fragmentsLeftOut = 0;
    bool different = false;
    uint32_t seed = 0;  // the generator's seed when the run started
  };
  std::optional<RunRecord> LastRun;

 private:
  void FrequencyReplicates(char letter, int32_t repeatCount, int32_t taxonCount, bool different,
                           ProgressSink* progress);
  void NucleotideReplicates(int32_t repeatCount, int32_t taxonCount, bool different,
                            ProgressSink* progress);
  const TKVTreeNodeItem* editedTree_ = nullptr;
};

}  // namespace ramovia
