#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset_util.h"
#include "input/number_reading.h"
#include "input/table_checks.h"
#include "input/table_reader.h"
#include "output/grids.h"

namespace ramovia {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using V = std::vector<int>;
using S = std::vector<std::string>;

// Cells joined by TAB, lines by the given break.
std::string table(const Rows& rows, const std::string& brk = "\r\n") {
  std::string text;
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "\t" : "") + row[i];
    text += brk;
  }
  return text;
}

const Rows kWorkedExample = {{"", "T1", "T2", "T3"}, {"E1", "6"}, {"1200", "1", "0", "1"},
                             {"800", "0", "1", "1"}, {"E2", "6"}, {"3000", "1", "1", "0"}};

// A reading that stopped early fails the test.
Dataset read(const std::string& text, char sep = '.') {
  TableReading r = readTable(text, sep);
  EXPECT_FALSE(r.error);
  return std::move(r.data);
}

V numbers(const std::vector<Score>& scores) {
  V n;
  for (const auto& s : scores) n.push_back(s.marker);
  return n;
}
V numbers(const std::vector<Marker>& markers) {
  V n;
  for (const auto& m : markers) n.push_back(m.number);
  return n;
}
S names(const Dataset& d) {
  S n;
  for (const auto& t : d.taxa) n.push_back(t.name.str());
  return n;
}
S names(const Block& b) {
  S n;
  for (const auto& t : b.taxa) n.push_back(t.name.str());
  return n;
}
const Marker& marker(const Dataset& d, int number) {
  for (const auto& m : d.markers)
    if (m.number == number) return m;
  throw std::out_of_range("no marker " + std::to_string(number));
}

// --- lines, cells, kinds ---

TEST(TableLines, BreaksOfEveryKindAndTheEndOfText) {
  using L = std::vector<std::string_view>;
  EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (L{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\r\r\nb"), (L{"a", "", "b"}));
  EXPECT_EQ(splitLines("a\n\r"), (L{"a", ""}));  // LF then a lone CR
  EXPECT_EQ(splitLines("a\r\n"), (L{"a"}));
  EXPECT_EQ(splitLines("\n"), (L{""}));
  EXPECT_EQ(splitLines("\r\n\r\n"), (L{"", ""}));
  EXPECT_TRUE(splitLines("").empty());
  EXPECT_EQ(splitLines(std::string_view("a\nb\0c\nd", 7)), (L{"a", "b"}));
  EXPECT_TRUE(splitLines(std::string_view("\0a", 2)).empty());
}

TEST(TableCells, TabsCutUntrimmedCellsAndDecideTheKind) {
  using C = std::vector<std::string_view>;
  EXPECT_EQ(cutCells(""), (C{""}));
  EXPECT_EQ(cutCells("\t\t"), (C{"", "", ""}));
  EXPECT_EQ(cutCells(" a \tb"), (C{" a ", "b"}));
  EXPECT_EQ(classifyLine(cutCells("\t\t")), LineKind::Blank);
  EXPECT_EQ(classifyLine(cutCells("E1")), LineKind::BlockHeader);
  EXPECT_EQ(classifyLine(cutCells("E1\t\t6\t")), LineKind::BlockHeader);
  EXPECT_EQ(classifyLine(cutCells("1200\t1\t\t")), LineKind::BlockHeader);
  EXPECT_EQ(classifyLine(cutCells("  ")), LineKind::BlockHeader);
  EXPECT_EQ(classifyLine(cutCells("\t1")), LineKind::Data);
  EXPECT_EQ(classifyLine(cutCells("f\t0\t1")), LineKind::Data);
  EXPECT_EQ(readTaxonNames("T0\tA\t\t B\t"), (S{"A", " B"}));
}

std::optional<double> valueCell(std::string_view cell, char sep) {
  double v = -99.0;
  if (!readValueCell(cell, sep, v)) return std::nullopt;
  return v;
}

TEST(TableCells, ValueCellsReadLikeInputNumbers) {
  for (const char* cell :
       {"0", "1", "7", "", "?", "-", "1.5", " 2 ", "1e", ".", "x1", "1e400", "-1e-400"}) {
    EXPECT_EQ(valueCell(cell, '.'), readInputNumber(cell, '.')) << cell;
    EXPECT_EQ(valueCell(cell, ','), readInputNumber(cell, ',')) << cell;
  }
  EXPECT_EQ(valueCell("1", '1'), readInputNumber("1", '1'));  // a digit as separator
}

// --- presence or frequency ---

TEST(TableFrequencies, FirstValueOtherThanZeroOrOneInALineOfThreeCells) {
  EXPECT_FALSE(isFrequencyTable(table(kWorkedExample), '.'));
  EXPECT_FALSE(isFrequencyTable("", '.'));
  EXPECT_TRUE(isFrequencyTable(table({{"", "A", "B"}, {"f", "0", "2"}}), '.'));
  EXPECT_FALSE(isFrequencyTable(table({{"0.5", "0.5", "0.5"}, {"f", "0", "1"}}), '.'));
  // labels and lines of fewer than 3 non-empty cells do not count
  EXPECT_FALSE(isFrequencyTable(table({{"", "A", "B"}, {"5", "0", "1"}, {"E", "0.5"}}), '.'));
  EXPECT_TRUE(isFrequencyTable(table({{"", "A", "B"}, {"f", "?", "1", "", "0.5"}}), '.'));
  EXPECT_TRUE(isFrequencyTable(table({{"", "A", "B"}, {"f", "0,5", "1"}}), ','));
  EXPECT_FALSE(isFrequencyTable(table({{"", "A", "B"}, {"f", "0,5", "1"}}), '.'));
}

// --- the worked example ---

TEST(TableRead, WorkedExample) {
  const TableReading r = readTable(table(kWorkedExample), '.');
  EXPECT_FALSE(r.error);
  EXPECT_TRUE(r.warnings.empty());
  const Dataset& all = r.data;
  EXPECT_FALSE(all.frequencies);
  ASSERT_EQ(all.blocks.size(), 2u);
  const Block& e1 = all.blocks[0];
  const Block& e2 = all.blocks[1];
  EXPECT_EQ(e1.name.str(), "E1");
  EXPECT_EQ(e1.id, 0);
  EXPECT_EQ(e1.siteLength, 6.0);
  EXPECT_EQ(numbers(e1.markers), (V{1, 2}));
  EXPECT_EQ(e1.markers[0].label.str(), "1200");
  EXPECT_EQ(e1.markers[1].label.str(), "800");
  EXPECT_EQ(e2.name.str(), "E2");
  EXPECT_EQ(e2.id, 1);
  EXPECT_EQ(numbers(e2.markers), (V{3}));

  EXPECT_EQ(names(all), (S{"T1", "T2", "T3"}));
  EXPECT_EQ(numbers(taxonScores(all, 0)), (V{1, 3}));
  EXPECT_EQ(numbers(taxonScores(all, 1)), (V{2, 3}));
  EXPECT_EQ(numbers(taxonScores(all, 2)), (V{1, 2}));
  EXPECT_EQ(all.siteLength, 12.0);
  EXPECT_EQ(numbers(all.markers), (V{1, 3, 2}));
  for (const auto& t : all.taxa) EXPECT_TRUE(t.missingBlocks.empty());
  EXPECT_EQ(taxonScores(all, 0)[1].value, 1.0);
  EXPECT_EQ(marker(all, 3).label.str(), "3000");
  EXPECT_EQ(marker(all, 3).block, 1);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(e1.taxa[static_cast<std::size_t>(k)].taxon, k);
}

TEST(TableRead, EveryLineBreakGivesTheSameTable) {
  for (const char* brk : {"\n", "\r", "\r\n"}) {
    std::string text = table(kWorkedExample, brk);
    text.pop_back();  // also without a final break
    const Dataset d = read(text);
    EXPECT_EQ(numbers(taxonScores(d, 2)), (V{1, 2})) << int(brk[0]);
    EXPECT_EQ(d.blocks.size(), 2u);
  }
}

TEST(TableRead, NulEndsTheText) {
  std::string text = table({{"", "A"}, {"f", "1", "1"}});
  text += '\0';
  text += table({{"g", "1", "1", "1"}});
  EXPECT_EQ(numbers(read(text).markers), (V{1}));
}

// --- blocks ---

TEST(TableBlocks, WithoutHeaderOneUnnamedBlock) {
  const Dataset d = read(table({{"", "A", "B"}, {"f", "1", "0"}, {"g", "0", "1"}}));
  ASSERT_EQ(d.blocks.size(), 1u);
  EXPECT_EQ(d.blocks[0].name.str(), "");
  EXPECT_EQ(d.blocks[0].id, 0);
  EXPECT_EQ(d.blocks[0].siteLength, 0.0);
  EXPECT_EQ(d.siteLength, 0.0);
}

TEST(TableBlocks, DataBeforeTheFirstHeaderJoinItsBlock) {
  const Dataset d = read(table({{"", "A", "B"}, {"f", "1", "0"}, {"E1", "4"}, {"g", "0", "1"}}));
  ASSERT_EQ(d.blocks.size(), 1u);
  EXPECT_EQ(d.blocks[0].name.str(), "E1");
  EXPECT_EQ(d.blocks[0].siteLength, 4.0);
  EXPECT_EQ(numbers(d.blocks[0].markers), (V{1, 2}));
}

TEST(TableBlocks, HeaderFollowedByHeaderGivesAnEmptyBlockMissingForAll) {
  const Dataset d = read(table({{"", "A", "B"},
                                {"E1", "6"},
                                {"f", "1", "1"},
                                {"E2", "6"},
                                {"E3"},
                                {"g", "1", "1"},
                                {"E4", "6"}}));
  ASSERT_EQ(d.blocks.size(), 3u);  // the trailing E4 gives none
  EXPECT_EQ(d.blocks[1].name.str(), "E2");
  EXPECT_EQ(d.blocks[1].id, 1);
  EXPECT_TRUE(d.blocks[1].taxa.empty());
  EXPECT_TRUE(d.blocks[1].markers.empty());
  EXPECT_EQ(d.blocks[2].id, 2);
  EXPECT_EQ(d.blocks[2].siteLength, 6.0);  // E3 carries E2's value over
  EXPECT_EQ(d.siteLength, 18.0);
  for (const auto& t : d.taxa) EXPECT_EQ(t.missingBlocks, (V{1}));
}

TEST(TableBlocks, LastBlockWithoutMarkersIsDropped) {
  const Dataset d =
      read(table({{"", "A", "B"}, {"E1"}, {"f", "1", "1"}, {"E2", "3"}, {"g", "0", "0"}}));
  ASSERT_EQ(d.blocks.size(), 1u);
  EXPECT_EQ(d.siteLength, 0.0);
  EXPECT_EQ(numbers(taxonScores(d, 0)), (V{1}));
}

TEST(TableBlocks, HeaderValues) {
  const Dataset d = read(table({{"", "A", "B"},
                                {"E1", "abc"},
                                {"f", "1", "1"},
                                {"E2", "2.5"},
                                {"g", "1", "1"},
                                {"E3", "", "7"},
                                {"h", "1", "1"},
                                {"E4"},
                                {"i", "1", "1"},
                                {std::string(60, 'n'), "1"},
                                {"j", "1", "1"}}));
  ASSERT_EQ(d.blocks.size(), 5u);
  EXPECT_EQ(d.blocks[0].siteLength, 0.0);  // does not convert
  EXPECT_EQ(d.blocks[1].siteLength, 2.5);
  EXPECT_EQ(d.blocks[2].siteLength, 0.0);  // the cell beside the name is read, and it is empty
  EXPECT_EQ(d.blocks[3].siteLength, 0.0);  // carries the "none" of E3 over
  EXPECT_EQ(d.blocks[4].name.str(), std::string(50, 'n'));
  EXPECT_EQ(d.siteLength, 3.5);
}

TEST(TableBlocks, ShortLinesWithALabelAndBlankLinesAreHeaders) {
  const Dataset d = read(table({{"", "A", "B", "C"},
                                {"f", "1", "1", "0"},
                                {"1200", "1", "", ""},
                                {"g", "1", "1", "0"},
                                {"   "},
                                {"h", "0", "1", "1"},
                                {"", "", ""}}));
  ASSERT_EQ(d.blocks.size(), 2u);
  EXPECT_EQ(d.blocks[0].name.str(), "1200");
  EXPECT_EQ(d.blocks[0].siteLength, 1.0);
  EXPECT_EQ(numbers(d.blocks[0].markers), (V{1, 2}));
  EXPECT_EQ(d.blocks[1].name.str(), "   ");
  EXPECT_EQ(d.blocks[1].siteLength, 1.0);
  EXPECT_EQ(numbers(d.blocks[1].markers), (V{3}));
}

// --- cells and markers ---

TEST(TableCellsRead, LabelsNumbersAndColumns) {
  const Dataset d = read(table({{"corner", "A", "", "B"},
                                {"", "1", "0"},                    // 1: empty label
                                {"f", "0", "0"},                   // 2: no marker, still numbered
                                {std::string(25, 'x'), "0", "1"},  // 3: label cut
                                {"", "1", "1", "1", "x"}}));       // 4: extra cells ignored
  EXPECT_EQ(names(d), (S{"A", "B"}));                              // value cell 2 belongs to B
  EXPECT_EQ(numbers(taxonScores(d, 0)), (V{1, 4}));
  EXPECT_EQ(numbers(taxonScores(d, 1)), (V{3, 4}));
  EXPECT_EQ(marker(d, 1).label.str(), "1");
  EXPECT_EQ(marker(d, 4).label.str(), "4");
  EXPECT_EQ(marker(d, 3).label.str(), std::string(20, 'x'));
  EXPECT_EQ(d.blocks[0].taxa.size(), 2u);
}

TEST(TableCellsRead, PresenceDataHaveDataAsSoonAsOneCellConverts) {
  const Dataset d = read(table({{"", "A", "B", "C", "D"},
                                {"E1"},
                                {"f", "0", "?", "1"},
                                {"g", "0", "?", "?"},
                                {"E2"},
                                {"h", "1", "1", "1", "1"}}));
  EXPECT_TRUE(d.taxa[0].missingBlocks.empty());  // all zero, still data
  EXPECT_EQ(taxonScores(d, 0).size(), 1u);
  EXPECT_EQ(d.taxa[1].missingBlocks, (V{0}));  // never converted
  EXPECT_EQ(d.taxa[2].missingBlocks, (V{}));   // "?" after a 1 changes nothing
  EXPECT_EQ(d.taxa[3].missingBlocks, (V{0}));  // missing cells
  EXPECT_EQ(names(d.blocks[0]), (S{"A", "C"}));
  EXPECT_EQ(names(d.blocks[1]), (S{"A", "B", "C", "D"}));
}

TEST(TableCellsRead, FrequencyDataKeepZerosAndTheLastLineDecidesData) {
  const Dataset d = read(table({{"", "A", "B", "C"},
                                {"L1"},
                                {"a1", "0,5", "0", "1"},
                                {"a2", "0,5", "?", "0"},
                                {"a3", "0", "?", "?"},
                                {"a4", "0", "1", ""},
                                {"L2"},
                                {"b1", "1", "1"}}),
                         ',');
  EXPECT_TRUE(d.frequencies);
  // A: data throughout; B: "?" then a value again; C: no value on the last line of L1
  EXPECT_EQ(numbers(taxonScores(d, 0)), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(taxonScores(d, 0)[0].value, 0.5);
  EXPECT_EQ(taxonScores(d, 0)[2].value, 0.0);
  EXPECT_EQ(numbers(taxonScores(d, 1)), (V{1, 4, 5}));
  EXPECT_TRUE(d.taxa[1].missingBlocks.empty());
  EXPECT_EQ(numbers(taxonScores(d, 2)), (V{}));    // its L1 values are lost with the block taxon
  EXPECT_EQ(d.taxa[2].missingBlocks, (V{0, 1}));  // L2: missing cell
  EXPECT_EQ(names(d.blocks[0]), (S{"A", "B"}));
  EXPECT_EQ(numbers(d.blocks[0].markers), (V{1, 2, 3, 4}));
}

TEST(TableCellsRead, ATwoInAPresenceTableMakesEveryZeroAMarker) {
  const Dataset d = read(table({{"", "A", "B"}, {"f", "1", "0"}, {"g", "2", "0"}}));
  EXPECT_EQ(numbers(taxonScores(d, 1)), (V{1, 2}));
  EXPECT_EQ(taxonScores(d, 1)[0].value, 0.0);
  // an extra cell beyond the taxa is ignored for the data, not for the kind of data
  const Dataset b = read(table({{"", "A"}, {"f", "1", "", "5"}}));
  EXPECT_TRUE(b.frequencies);
  EXPECT_EQ(names(b), (S{"A"}));
}

// --- failures and warnings ---

TEST(TableRead, TextWithoutLinesGivesNoDataAndAnIndexError) {
  for (std::string text : {std::string(), std::string(1, '\0') + "\tA\nf\t1\t1\t1"}) {
    const TableReading r = readTable(text, '.');
    ASSERT_TRUE(r.error);
    try {
      std::rethrow_exception(r.error);
    } catch (const ListIndexError& e) {
      EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    EXPECT_TRUE(r.data.blocks.empty());
    EXPECT_TRUE(r.data.taxa.empty());
    EXPECT_TRUE(r.data.markers.empty());
    EXPECT_EQ(r.data.siteLength, 0.0);
  }
}

TEST(TableRead, NameLineWithoutNamesReadsNothingAndSaysSo) {
  TableReading r = readTable("corner\t\t\nf\t1\t1\t1\n", '.');
  EXPECT_FALSE(r.error);
  EXPECT_TRUE(r.data.blocks.empty());
  EXPECT_TRUE(r.data.taxa.empty());
  EXPECT_EQ(r.warnings.size(), 1u);
  r = readTable("\n", '.');  // one empty line is a line
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.warnings.size(), 1u);
}

TEST(TableWarnings, SilentSurprisesAreNamedAndTheDataStay) {
  const auto warningsOf = [](const std::string& text, char separator = '.') {
    return readTable(text, separator).warnings;
  };
  const auto has = [](const S& warnings, const std::string& part) {
    return std::any_of(warnings.begin(), warnings.end(),
                       [&](const std::string& w) { return w.find(part) != std::string::npos; });
  };
  // One slip in 0/1 data makes it frequencies: the cell is named; real frequencies say nothing.
  S w = warningsOf(table({{"", "A", "B", "C"}, {"f", "1", "0", "1"}, {"g", "0", "2", "1"}}));
  EXPECT_TRUE(has(w, "Line 3, column 3 holds \"2\"")) << w.size();
  EXPECT_TRUE(readTable(table({{"", "A", "B", "C"}, {"f", "1", "0", "1"}, {"g", "0", "2", "1"}}),
                        '.')
                  .data.frequencies);
  EXPECT_TRUE(warningsOf(table({{"", "A", "B", "C"}, {"f", "0.5", "0.2", "1"},
                                {"g", "0.5", "0.8", "0"}}))
                  .empty());
  // Fractions that read only with the other separator.
  w = warningsOf(table({{"", "A", "B", "C"}, {"f", "0.5", "0.2", "1"}}), ',');
  EXPECT_TRUE(has(w, "decimal separator \",\"; 2 cells would with \".\"")) << w.size();
  // No fragments; taxa without data; pairs without a block in common (counted once).
  EXPECT_TRUE(has(warningsOf("\tA\tB\n"), "no fragments"));
  EXPECT_TRUE(has(warningsOf(table({{"", "A", "B"}, {"f", "?", "?"}})), "no fragments"));
  w = warningsOf(table({{"", "A", "B", "C", "D"},
                        {"E1"},
                        {"f", "1", "?", "1", "?"},
                        {"E2"},
                        {"g", "?", "1", "1", "?"}}));
  EXPECT_TRUE(has(w, "1 taxon has no data in any block: \"D\"")) << w.size();
  EXPECT_TRUE(has(w, "1 pair of taxa have no block with data in common, such as \"A\" and \"B\""));
  EXPECT_TRUE(warningsOf(table(kWorkedExample)).empty());
}

// A table read as presence marks is read again as frequencies from a late value; its cells are
// counted once.
TEST(TableWarnings, AFractionInALateBlockReadsTheWholeTableAsFrequencies) {
  const TableReading r = readTable(table({{"", "A", "B", "C"},
                                          {"E1"},
                                          {"f", "1", "0", "1"},
                                          {"g", "0", "1", "?"},
                                          {"E2"},
                                          {"h", "1", "0", "0.5"}}),
                                   '.');
  ASSERT_FALSE(r.error);
  EXPECT_TRUE(r.data.frequencies);
  EXPECT_EQ(numbers(taxonScores(r.data, 1)), (V{1, 2, 3}));
  EXPECT_EQ(numbers(taxonScores(r.data, 2)), (V{3}));  // its last E1 line has no value
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_EQ(r.warnings[0],
            "Line 6, column 4 holds \"0.5\", neither 0 nor 1, so the whole table is read as allele "
            "frequencies (1 of 8 values are neither 0 nor 1).");
}

TEST(TableWarnings, TextsThatAreNoTableGetPlainWords) {
  EXPECT_NE(unreadableTextHint("").find("empty"), std::string::npos);
  EXPECT_NE(unreadableTextHint("\r\n \n").find("empty"), std::string::npos);
  const std::string ascii = "\tA\tB\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF", bare;
  for (char c : ascii) {
    le += {c, '\0'};
    be += {'\0', c};
    bare += {c, '\0'};
  }
  for (const std::string& t : {le, be, bare, be.substr(2)})
    EXPECT_NE(unreadableTextHint(t).find("UTF-16"), std::string::npos);
  EXPECT_NE(unreadableTextHint(std::string(1, '\0') + "\tA\tB\nf\t1\t1").find("NUL"),
            std::string::npos);
  EXPECT_EQ(unreadableTextHint(ascii), "");
}

TEST(TableNames, ACutInsideAUtf8CharacterKeepsTheCharactersBeforeIt) {
  const std::string split = std::string(19, 'a') + "\xC3\xA9z";  // the cut would fall in é
  EXPECT_EQ(utf8CutLength(split, 20), 19u);
  EXPECT_EQ(utf8CutLength(std::string(18, 'a') + "\xC3\xA9z", 20), 20u);
  EXPECT_EQ(utf8CutLength(std::string(19, 'a') + "\xE9z", 20), 20u);  // not UTF-8: bytes
  const TableReading r = readTable(table({{"", split, "B"}, {"f", "1", "0"}}), '.');
  EXPECT_EQ(names(r.data), (S{std::string(19, 'a'), "B"}));
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("cut inside a character"), std::string::npos);
}

// --- the merge ---

TEST(TableMerge, NamesEqualInTwentyCharactersBecomeOneTaxonWithAWarning) {
  const std::string n1 = "abcdefghijklmnopqrstu1", n2 = "abcdefghijklmnopqrstu2";
  const TableReading r = readTable(table({{"", n1, "B", n2, "B", "B"},
                                          {"E1"},
                                          {"f", "1", "0", "0", "0", "0"},
                                          {"E2"},
                                          {"g", "?", "1", "1", "?", "?"}}),
                                   '.');
  const Dataset& all = r.data;
  EXPECT_EQ(names(all), (S{"abcdefghijklmnopqrst", "B"}));
  EXPECT_EQ(numbers(taxonScores(all, 0)), (V{1, 2}));
  EXPECT_EQ(all.taxa[0].missingBlocks, (V{1}));  // its first column has nothing in E2
  EXPECT_EQ(all.taxa[1].missingBlocks, (V{1, 1}));
  const S expected = {
      "Taxon names \"abcdefghijklmnopqrstu1\" and \"abcdefghijklmnopqrstu2\" are the same "
      "in their first 20 characters and were merged into one taxon \"abcdefghijklmnopqrst\".",
      "Taxon name \"B\" stands more than once in the taxon-name line; its columns were "
      "merged into one taxon \"B\"."};
  EXPECT_EQ(r.warnings, expected);
  EXPECT_EQ(taxonNameWarnings({n1, "B", n2, "B", "B"}), expected);
}

TEST(TableMerge, ScoresAreCopiedWithEveryField) {
  const Dataset d = read(table({{"", "A", "B"}, {"L"}, {"x", "0.25", "0"}, {"y", "0", "2"}}));
  const Score& src = d.scoresOf(d.blocks[0].taxa[1])[1];
  const std::vector<Score> own = taxonScores(d, 1);
  const Score& copy = own[1];
  EXPECT_EQ(copy.marker, 2);
  EXPECT_EQ(copy.value, 2.0);
  EXPECT_EQ(src.marker, copy.marker);
  EXPECT_EQ(src.value, copy.value);
  EXPECT_EQ(marker(d, 2).label.str(), "y");
  EXPECT_EQ(marker(d, 2).block, 0);
  EXPECT_EQ(d.blocks[0].taxa[1].taxon, 1);
}

TEST(TableMerge, NoLimitOnTheNumberOfTaxa) {
  Rows rows(2);
  rows[0].push_back("");
  rows[1].push_back("f");
  for (int i = 0; i < 450; ++i) {
    rows[0].push_back("T" + std::to_string(i));
    rows[1].push_back(i % 2 ? "1" : "0");
  }
  const Dataset d = read(table(rows));
  ASSERT_EQ(d.taxa.size(), 450u);
  EXPECT_EQ(d.taxonIndex("T449"), 449);
  EXPECT_EQ(numbers(taxonScores(d, 449)), (V{1}));
}

// --- the input grid ---

TEST(InputGrid, NamesHeadersLabelsAndMissingBlocks) {
  InputGrid g;
  g.fill(read(table({{"", "A", "B", "C"},
                     {"E1"},
                     {"f", "1", "0", "1"},
                     {"", "0", "1", "1"},
                     {"E2", "2,5"},
                     {"g", "1", "?", "0"}}),
              ','),
         ',');
  const Rows expected = {{"", "A", "B", "C"},    {"E1", "", "", ""},    {"f/1", "1", "0", "1"},
                         {"2/2", "0", "1", "1"}, {"E2", "2,5", "", ""}, {"g/3", "1", "n/a", "0"}};
  ASSERT_EQ(g.colCount(), 4);
  ASSERT_EQ(g.rowCount(), 6);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(g.cell(c, r), expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
          << c << "," << r;
  EXPECT_TRUE(g.isBlockHeader(0, 4));
  EXPECT_FALSE(g.isBlockHeader(1, 4));
  EXPECT_FALSE(g.isBlockHeader(0, 2));
  EXPECT_FALSE(g.isBlockHeader(0, 0));
  EXPECT_EQ(g.cell(4, 1), "");  // outside
  EXPECT_EQ(g.cell(0, 6), "");

  // An unnamed block has no header row; filling again replaces everything.
  g.fill(read(table({{"", "A", "B"}, {"f", "1", "0"}})), '.');
  EXPECT_EQ(g.colCount(), 3);
  ASSERT_EQ(g.rowCount(), 2);
  EXPECT_EQ(g.cell(0, 1), "f/1");
  EXPECT_FALSE(g.isBlockHeader(0, 1));
}

}  // namespace
}  // namespace ramovia
