// The analysis behind one analysis window: the per-block data sets, the merged data set and every
// step the window starts. The desktop window and the command line both drive this class; it knows
// nothing of widgets.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/enzym.h"

namespace ramovia {

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
};

}  // namespace ramovia
