#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/number_text.h"
#include "input/table_parser.h"
#include "resampling/analysis.h"

namespace ramovia {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Cells joined by TAB, lines by the given break.
std::string Table(const Rows& rows, const std::string& brk = "\r\n") {
  std::string text;
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "\t" : "") + row[i];
    text += brk;
  }
  return text;
}

const Rows kWorkedExample = {{"", "T1", "T2", "T3"}, {"E1", "6"},           {"1200", "1", "0", "1"},
                             {"800", "0", "1", "1"}, {"E2", "6"},           {"3000", "1", "1", "0"}};

std::vector<int> Nums(const TDruh& d) {
  std::vector<int> n;
  for (const auto& f : d.Fragmenty) n.push_back(f->Num);
  return n;
}
std::vector<int> Nums(const std::vector<std::unique_ptr<TFragment>>& list) {
  std::vector<int> n;
  for (const auto& f : list) n.push_back(f->Num);
  return n;
}
std::vector<std::string> Names(const TEnzym& e) {
  std::vector<std::string> n;
  for (const auto& d : e.Druhy) n.push_back(d->Name.str());
  return n;
}
using V = std::vector<int>;
using S = std::vector<std::string>;

// --- lines, cells, kinds ---

TEST(TableLines, BreaksOfEveryKindAndTheEndOfText) {
  using L = std::vector<std::string_view>;
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (L{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\r\nb"), (L{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\n\r"), (L{"a", ""}));  // LF then a lone CR
  EXPECT_EQ(SplitLines("a\r\n"), (L{"a"}));
  EXPECT_EQ(SplitLines("\n"), (L{""}));
  EXPECT_EQ(SplitLines("\r\n\r\n"), (L{"", ""}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines(std::string_view("a\nb\0c\nd", 7)), (L{"a", "b"}));
  EXPECT_TRUE(SplitLines(std::string_view("\0a", 2)).empty());
}

TEST(TableCells, TabsCutUntrimmedCellsAndDecideTheKind) {
  using C = std::vector<std::string_view>;
  EXPECT_EQ(CutCells(""), (C{""}));
  EXPECT_EQ(CutCells("\t\t"), (C{"", "", ""}));
  EXPECT_EQ(CutCells(" a \tb"), (C{" a ", "b"}));
  EXPECT_EQ(ClassifyLine(CutCells("\t\t")), LineKind::Blank);
  EXPECT_EQ(ClassifyLine(CutCells("E1")), LineKind::BlockHeader);
  EXPECT_EQ(ClassifyLine(CutCells("E1\t\t6\t")), LineKind::BlockHeader);
  EXPECT_EQ(ClassifyLine(CutCells("1200\t1\t\t")), LineKind::BlockHeader);
  EXPECT_EQ(ClassifyLine(CutCells("  ")), LineKind::BlockHeader);
  EXPECT_EQ(ClassifyLine(CutCells("\t1")), LineKind::Data);
  EXPECT_EQ(ClassifyLine(CutCells("f\t0\t1")), LineKind::Data);
  EXPECT_EQ(ReadTaxonNames("T0\tA\t\t B\t"), (S{"A", " B"}));
}

std::optional<double> ValueCell(std::string_view cell, char sep) {
  double v = -99.0;
  if (!ReadValueCell(cell, sep, v)) return std::nullopt;
  return v;
}

TEST(TableCells, ValueCellsReadLikeInputNumbers) {
  for (const char* cell : {"0", "1", "7", "", "?", "-", "1.5", " 2 ", "1e", ".", "x1"}) {
    EXPECT_EQ(ValueCell(cell, '.'), ReadInputNumber(cell, '.')) << cell;
    EXPECT_EQ(ValueCell(cell, ','), ReadInputNumber(cell, ',')) << cell;
  }
  EXPECT_EQ(ValueCell("1", '1'), ReadInputNumber("1", '1'));  // a digit as separator
}

// --- presence or frequency ---

TEST(TableIsFreq, FirstValueOtherThanZeroOrOneInALineOfThreeCells) {
  EXPECT_EQ(Analysis::IsFreq(Table(kWorkedExample), '.'), kFalse16);
  EXPECT_EQ(Analysis::IsFreq("", '.'), kFalse16);
  EXPECT_EQ(Analysis::IsFreq(Table({{"", "A", "B"}, {"f", "0", "2"}}), '.'), kTrue16);
  EXPECT_EQ(Analysis::IsFreq(Table({{"0.5", "0.5", "0.5"}, {"f", "0", "1"}}), '.'), kFalse16);
  // labels and lines of fewer than 3 non-empty cells do not count
  EXPECT_EQ(Analysis::IsFreq(Table({{"", "A", "B"}, {"5", "0", "1"}, {"E", "0.5"}}), '.'),
            kFalse16);
  EXPECT_EQ(Analysis::IsFreq(Table({{"", "A", "B"}, {"f", "?", "1", "", "0.5"}}), '.'), kTrue16);
  EXPECT_EQ(Analysis::IsFreq(Table({{"", "A", "B"}, {"f", "0,5", "1"}}), ','), kTrue16);
  EXPECT_EQ(Analysis::IsFreq(Table({{"", "A", "B"}, {"f", "0,5", "1"}}), '.'), kFalse16);
}

// --- the worked example ---

TEST(TableRead, WorkedExample) {
  Analysis a;
  a.GetFromText(Table(kWorkedExample));
  ASSERT_EQ(a.Loci.size(), 2u);
  const TEnzym& e1 = *a.Loci[0];
  const TEnzym& e2 = *a.Loci[1];
  EXPECT_EQ(e1.Name.str(), "E1");
  EXPECT_EQ(e1.EnzymId, 0);
  EXPECT_EQ(e1.SiteLength, 6.0);
  EXPECT_EQ(Nums(e1.Fragmenty), (V{1, 2}));
  EXPECT_EQ(e1.Fragmenty[0]->Name.str(), "1200");
  EXPECT_EQ(e1.Fragmenty[1]->Name.str(), "800");
  EXPECT_EQ(Nums(e1.RedukovaneFragmenty->Fragmenty), (V{1, 2}));
  EXPECT_EQ(e2.Name.str(), "E2");
  EXPECT_EQ(e2.EnzymId, 1);
  EXPECT_EQ(Nums(e2.Fragmenty), (V{3}));

  const TEnzym& all = *a.Enzym;
  EXPECT_EQ(Names(all), (S{"T1", "T2", "T3"}));
  EXPECT_EQ(Nums(*all.Druhy[0]), (V{1, 3}));
  EXPECT_EQ(Nums(*all.Druhy[1]), (V{2, 3}));
  EXPECT_EQ(Nums(*all.Druhy[2]), (V{1, 2}));
  EXPECT_EQ(all.SiteLength, 12.0);
  EXPECT_EQ(Nums(all.Fragmenty), (V{1, 3, 2}));
  for (const auto& d : all.Druhy) {
    EXPECT_TRUE(d->ForbiddenEnzyms.empty());
    EXPECT_EQ(d->Tag, 0);
  }
  const TFragment& f = *all.Druhy[0]->Fragmenty[1];
  EXPECT_EQ(f.Name.str(), "3000");
  EXPECT_EQ(f.Value, 1.0);
  EXPECT_EQ(f.Reference, kTrue16);
  EXPECT_EQ(f.EnzymId, 1);
  EXPECT_EQ(a.Caption, "Multiple analyses");
  EXPECT_EQ(a.Methods.size(), 5u);
  EXPECT_TRUE(a.Warnings.empty());
}

TEST(TableRead, EveryLineBreakGivesTheSameTable) {
  for (const char* brk : {"\n", "\r", "\r\n"}) {
    Analysis a;
    std::string text = Table(kWorkedExample, brk);
    text.pop_back();  // also without a final break
    a.GetFromText(text);
    EXPECT_EQ(Nums(*a.Enzym->Druhy[2]), (V{1, 2})) << int(brk[0]);
    EXPECT_EQ(a.Loci.size(), 2u);
  }
}

TEST(TableRead, NulEndsTheText) {
  Analysis a;
  std::string text = Table({{"", "A"}, {"f", "1", "1"}});
  text += '\0';
  text += Table({{"g", "1", "1", "1"}});
  a.GetFromText(text);
  EXPECT_EQ(Nums(a.Enzym->Fragmenty), (V{1}));
}

// --- blocks ---

TEST(TableBlocks, WithoutHeaderOneUnnamedBlock) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"f", "1", "0"}, {"g", "0", "1"}}));
  ASSERT_EQ(a.Loci.size(), 1u);
  EXPECT_EQ(a.Loci[0]->Name.str(), "");
  EXPECT_EQ(a.Loci[0]->EnzymId, 0);
  EXPECT_EQ(a.Loci[0]->SiteLength, 0.0);
  EXPECT_EQ(a.Enzym->SiteLength, 0.0);
}

TEST(TableBlocks, DataBeforeTheFirstHeaderJoinItsBlock) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"f", "1", "0"}, {"E1", "4"}, {"g", "0", "1"}}));
  ASSERT_EQ(a.Loci.size(), 1u);
  EXPECT_EQ(a.Loci[0]->Name.str(), "E1");
  EXPECT_EQ(a.Loci[0]->SiteLength, 4.0);
  EXPECT_EQ(Nums(a.Loci[0]->Fragmenty), (V{1, 2}));
}

TEST(TableBlocks, HeaderFollowedByHeaderGivesAnEmptyBlockForbiddenToAll) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"E1", "6"}, {"f", "1", "1"}, {"E2", "6"}, {"E3"},
                       {"g", "1", "1"}, {"E4", "6"}}));
  ASSERT_EQ(a.Loci.size(), 3u);  // the trailing E4 gives none
  EXPECT_EQ(a.Loci[1]->Name.str(), "E2");
  EXPECT_EQ(a.Loci[1]->EnzymId, 1);
  EXPECT_TRUE(a.Loci[1]->Druhy.empty());
  EXPECT_TRUE(a.Loci[1]->Fragmenty.empty());
  EXPECT_EQ(a.Loci[2]->EnzymId, 2);
  EXPECT_EQ(a.Loci[2]->SiteLength, 6.0);  // E3 carries E2's value over
  EXPECT_EQ(a.Enzym->SiteLength, 18.0);
  for (const auto& d : a.Enzym->Druhy) EXPECT_EQ(d->ForbiddenEnzyms, (S{"1"}));
}

TEST(TableBlocks, LastBlockWithoutFragmentsIsDropped) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"E1"}, {"f", "1", "1"}, {"E2", "3"}, {"g", "0", "0"}}));
  ASSERT_EQ(a.Loci.size(), 1u);
  EXPECT_EQ(a.Enzym->SiteLength, 0.0);
  EXPECT_EQ(Nums(*a.Enzym->Druhy[0]), (V{1}));
}

TEST(TableBlocks, HeaderValues) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"E1", "abc"}, {"f", "1", "1"}, {"E2", "2.5"},
                       {"g", "1", "1"}, {"E3", "", "7"}, {"h", "1", "1"}, {"E4"}, {"i", "1", "1"},
                       {std::string(60, 'n'), "1"}, {"j", "1", "1"}}));
  ASSERT_EQ(a.Loci.size(), 5u);
  EXPECT_EQ(a.Loci[0]->SiteLength, 0.0);  // does not convert
  EXPECT_EQ(a.Loci[1]->SiteLength, 2.5);
  EXPECT_EQ(a.Loci[2]->SiteLength, 0.0);  // the cell beside the name is read, and it is empty
  EXPECT_EQ(a.Loci[3]->SiteLength, 0.0);  // carries the "none" of E3 over
  EXPECT_EQ(a.Loci[4]->Name.str(), std::string(50, 'n'));
  EXPECT_EQ(a.Enzym->SiteLength, 3.5);
}

TEST(TableBlocks, ShortLinesWithALabelAndBlankLinesAreHeaders) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B", "C"}, {"f", "1", "1", "0"}, {"1200", "1", "", ""},
                       {"g", "1", "1", "0"}, {"   "}, {"h", "0", "1", "1"}, {"", "", ""}}));
  ASSERT_EQ(a.Loci.size(), 2u);
  EXPECT_EQ(a.Loci[0]->Name.str(), "1200");
  EXPECT_EQ(a.Loci[0]->SiteLength, 1.0);
  EXPECT_EQ(Nums(a.Loci[0]->Fragmenty), (V{1, 2}));
  EXPECT_EQ(a.Loci[1]->Name.str(), "   ");
  EXPECT_EQ(a.Loci[1]->SiteLength, 1.0);
  EXPECT_EQ(Nums(a.Loci[1]->Fragmenty), (V{3}));
}

// --- cells and fragments ---

TEST(TableCellsRead, LabelsNumbersAndColumns) {
  Analysis a;
  a.GetFromText(Table({{"corner", "A", "", "B"},
                       {"", "1", "0"},                   // 1: empty label
                       {"f", "0", "0"},                  // 2: no fragment, still numbered
                       {std::string(25, 'x'), "0", "1"}, // 3: label cut
                       {"", "1", "1", "1", "x"}}));      // 4: extra cells ignored
  const TEnzym& all = *a.Enzym;
  EXPECT_EQ(Names(all), (S{"A", "B"}));  // value cell 2 belongs to B
  EXPECT_EQ(Nums(*all.Druhy[0]), (V{1, 4}));
  EXPECT_EQ(Nums(*all.Druhy[1]), (V{3, 4}));
  EXPECT_EQ(all.Druhy[0]->Fragmenty[0]->Name.str(), "1");
  EXPECT_EQ(all.Druhy[0]->Fragmenty[1]->Name.str(), "4");
  EXPECT_EQ(all.Druhy[1]->Fragmenty[0]->Name.str(), std::string(20, 'x'));
  EXPECT_EQ(a.Loci[0]->Druhy.size(), 2u);
}

TEST(TableCellsRead, PresenceDataHaveDataAsSoonAsOneCellConverts) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B", "C", "D"}, {"E1"}, {"f", "0", "?", "1"}, {"g", "0", "?", "?"},
                       {"E2"}, {"h", "1", "1", "1", "1"}}));
  const TEnzym& all = *a.Enzym;
  EXPECT_TRUE(all.Druhy[0]->ForbiddenEnzyms.empty());  // all zero, still data
  EXPECT_TRUE(all.Druhy[0]->Fragmenty.size() == 1);
  EXPECT_EQ(all.Druhy[1]->ForbiddenEnzyms, (S{"0"}));  // never converted
  EXPECT_EQ(all.Druhy[2]->ForbiddenEnzyms, (S{}));     // "?" after a 1 changes nothing
  EXPECT_EQ(all.Druhy[3]->ForbiddenEnzyms, (S{"0"}));  // missing cells
  EXPECT_EQ(Names(*a.Loci[0]), (S{"A", "C"}));
  EXPECT_EQ(Names(*a.Loci[1]), (S{"A", "B", "C", "D"}));
}

TEST(TableCellsRead, FrequencyDataKeepZerosAndTheLastLineDecidesData) {
  Analysis a(',');
  a.GetFromText(Table({{"", "A", "B", "C"}, {"L1"}, {"a1", "0,5", "0", "1"}, {"a2", "0,5", "?", "0"},
                       {"a3", "0", "?", "?"}, {"a4", "0", "1", ""}, {"L2"}, {"b1", "1", "1"}}));
  const TEnzym& all = *a.Enzym;
  // A: data throughout; B: "?" then a value again; C: no value on the last line of L1
  EXPECT_EQ(Nums(*all.Druhy[0]), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(all.Druhy[0]->Fragmenty[0]->Value, 0.5);
  EXPECT_EQ(all.Druhy[0]->Fragmenty[2]->Value, 0.0);
  EXPECT_EQ(Nums(*all.Druhy[1]), (V{1, 4, 5}));
  EXPECT_TRUE(all.Druhy[1]->ForbiddenEnzyms.empty());
  EXPECT_EQ(Nums(*all.Druhy[2]), (V{}));  // its L1 values are lost with the block taxon
  EXPECT_EQ(all.Druhy[2]->ForbiddenEnzyms, (S{"0", "1"}));  // L2: missing cell
  EXPECT_EQ(Names(*a.Loci[0]), (S{"A", "B"}));
  EXPECT_EQ(Nums(a.Loci[0]->Fragmenty), (V{1, 2, 3, 4}));
}

TEST(TableCellsRead, ATwoInAPresenceTableMakesEveryZeroAFragment) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"f", "1", "0"}, {"g", "2", "0"}}));
  EXPECT_EQ(Nums(*a.Enzym->Druhy[1]), (V{1, 2}));
  EXPECT_EQ(a.Enzym->Druhy[1]->Fragmenty[0]->Value, 0.0);
  // an extra cell beyond the taxa is ignored for the data, not for the kind of data
  Analysis b;
  b.GetFromText(Table({{"", "A"}, {"f", "1", "", "5"}}));
  EXPECT_EQ(b.Caption, "Frequence analyze: Multiple analyses");
  EXPECT_EQ(Names(*b.Enzym), (S{"A"}));
}

// --- the window's state ---

TEST(TableWindow, FrequencyPrefixesTheCaptionEachTimeAndDropsUsersOnce) {
  Analysis a;
  a.Caption = "data.txt";
  const std::string freq = Table({{"", "A", "B"}, {"a", "0.3", "0.7"}});
  a.GetFromText(freq);
  EXPECT_EQ(a.Caption, "Frequence analyze: data.txt");
  EXPECT_EQ(a.Methods, (S{"Bootstrapping", "Jackknifing", "OTU based Jackknifing",
                          "Rearangement of taxa"}));
  a.GetFromText(freq);
  EXPECT_EQ(a.Caption, "Frequence analyze: Frequence analyze: data.txt");
  EXPECT_EQ(a.Methods.size(), 4u);
  a.GetFromText(Table(kWorkedExample));
  EXPECT_EQ(a.Caption, "Frequence analyze: Frequence analyze: data.txt");
  EXPECT_EQ(a.Methods.size(), 4u);
}

TEST(TableWindow, EmptyTextFailsAfterEmptyingEverything) {
  for (std::string text : {std::string(), std::string(1, '\0') + "\tA\nf\t1\t1\t1"}) {
    Analysis a;
    a.GetFromText(Table(kWorkedExample));
    try {
      a.GetFromText(text);
      FAIL() << "no error";
    } catch (const ListIndexError& e) {
      EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    EXPECT_TRUE(a.Loci.empty());
    EXPECT_TRUE(a.Enzym->Druhy.empty());
    EXPECT_TRUE(a.Enzym->Fragmenty.empty());
    EXPECT_TRUE(a.Enzym->RedukovaneFragmenty->Fragmenty.empty());
    EXPECT_EQ(a.Enzym->SiteLength, 0.0);
    EXPECT_EQ(a.Caption, "Multiple analyses");
  }
}

TEST(TableWindow, NameLineWithoutNamesReadsNothingAndSaysSo) {
  Analysis a;
  a.GetFromText("corner\t\t\nf\t1\t1\t1\n");
  EXPECT_TRUE(a.Loci.empty());
  EXPECT_TRUE(a.Enzym->Druhy.empty());
  ASSERT_EQ(a.Warnings.size(), 1u);
  a.GetFromText("\n");  // one empty line is a line
  EXPECT_EQ(a.Warnings.size(), 1u);
  a.GetFromText(Table(kWorkedExample));
  EXPECT_TRUE(a.Warnings.empty());
}

TEST(TableWindow, ReadingAgainReplacesTheData) {
  Analysis a;
  a.GetFromText(Table(kWorkedExample));
  a.Enzym->UseRedukovaneDruhy = true;  // left on by someone
  a.GetFromText(Table({{"", "X", "T1"}, {"f", "1", "1"}}));
  EXPECT_FALSE(a.Enzym->UseRedukovaneDruhy);
  EXPECT_EQ(Names(*a.Enzym), (S{"X", "T1"}));
  EXPECT_EQ(Nums(a.Enzym->Fragmenty), (V{1}));
  ASSERT_EQ(a.Loci.size(), 1u);
}

// --- the merge ---

TEST(TableMerge, NamesEqualInTwentyCharactersBecomeOneTaxonWithAWarning) {
  const std::string n1 = "abcdefghijklmnopqrstu1", n2 = "abcdefghijklmnopqrstu2";
  Analysis a;
  a.GetFromText(Table({{"", n1, "B", n2, "B", "B"}, {"E1"}, {"f", "1", "0", "0", "0", "0"},
                       {"E2"}, {"g", "?", "1", "1", "?", "?"}}));
  const TEnzym& all = *a.Enzym;
  EXPECT_EQ(Names(all), (S{"abcdefghijklmnopqrst", "B"}));
  EXPECT_EQ(Nums(*all.Druhy[0]), (V{1, 2}));
  EXPECT_EQ(all.Druhy[0]->ForbiddenEnzyms, (S{"1"}));  // its first column has nothing in E2
  EXPECT_EQ(all.Druhy[1]->ForbiddenEnzyms, (S{"1", "1"}));
  EXPECT_EQ(a.Warnings,
            (S{"Taxon names \"abcdefghijklmnopqrstu1\" and \"abcdefghijklmnopqrstu2\" are the same "
               "in their first 20 characters and were merged into one taxon "
               "\"abcdefghijklmnopqrst\".",
               "Taxon name \"B\" stands more than once in the taxon-name line; its columns were "
               "merged into one taxon \"B\"."}));
}

TEST(TableMerge, FragmentsAreCopiedWithEveryField) {
  Analysis a;
  a.GetFromText(Table({{"", "A", "B"}, {"L"}, {"x", "0.25", "0"}, {"y", "0", "2"}}));
  const TFragment& src = *a.Loci[0]->Druhy[1]->Fragmenty[1];
  const TFragment& copy = *a.Enzym->Druhy[1]->Fragmenty[1];
  EXPECT_EQ(copy.Name, src.Name);
  EXPECT_EQ(copy.Num, 2);
  EXPECT_EQ(copy.Value, 2.0);
  EXPECT_EQ(copy.Reference, kTrue16);
  EXPECT_EQ(copy.EnzymId, src.EnzymId);
  EXPECT_NE(&copy, &src);
  EXPECT_EQ(a.Enzym->Fragmenty[1]->Tag, 1);
}

TEST(TableMerge, NoLimitOnTheNumberOfTaxa) {
  Rows rows(2);
  rows[0].push_back("");
  rows[1].push_back("f");
  for (int i = 0; i < 450; ++i) {
    rows[0].push_back("T" + std::to_string(i));
    rows[1].push_back(i % 2 ? "1" : "0");
  }
  Analysis a;
  a.GetFromText(Table(rows));
  ASSERT_EQ(a.Enzym->Druhy.size(), 450u);
  EXPECT_EQ(a.Enzym->GetDruhStr("T449"), 450);
  EXPECT_EQ(Nums(*a.Enzym->Druhy[449]), (V{1}));
}

}  // namespace
}  // namespace ramovia
