// The readers of genotype files, band matrices and distance matrices, and the choice among them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/session.h"
#include "input/input_error.h"
#include "input/input_format.h"
#include "output/exports.h"
#include "output/grids.h"

namespace ramovia {
namespace {

// What a data set holds, comparable across readers: per block and taxon the (label, value) pairs,
// and each taxon's missing blocks.
std::string contents(const Dataset& d) {
  std::string s = d.frequencies ? "freq\n" : "marks\n";
  for (const Taxon& t : d.taxa) {
    s += t.name.str() + " missing:";
    for (int32_t b : t.missingBlocks) s += " " + std::to_string(b);
    s += "\n";
  }
  for (const Block& b : d.blocks) {
    s += "[" + b.name.str() + "]\n";
    for (const BlockTaxon& c : b.taxa) {
      s += " " + c.name.str() + ":";
      for (const Score& sc : d.scoresOf(c)) {
        std::string label;
        for (const Marker& m : b.markers)
          if (m.number == sc.marker) label = m.label.str();
        char v[32];
        std::snprintf(v, sizeof v, "%.17g", sc.value);
        s += " " + label + "=" + v;
      }
      s += "\n";
    }
  }
  return s;
}

Dataset read(const std::string& text, InputFormat f, InputOptions o = {}) {
  o.format = f;
  InputReading r = readInput(text, o);
  if (r.table.error) std::rethrow_exception(r.table.error);
  return std::move(r.table.data);
}

std::string errorOf(const std::string& text, InputFormat f, InputOptions o = {}) {
  try {
    read(text, f, o);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(read)";
}

// Two populations, two loci; the second population is untyped at loc2, one copy is missing.
const char* const kGenePop =
    "Two colonies\nloc1, loc2\nPOP\nA1 , 101102 000000\nA2, 102102 101000\n"
    "pop\nB1 ,  103103 000\n";

TEST(Genotypes, GenePopCountsTypedCopiesIntoFrequencies) {
  const Dataset d = read(kGenePop, InputFormat::GenePop);
  EXPECT_EQ(contents(d),
            "freq\nA1 missing:\nB1 missing: 1\n[loc1]\n A1: 101=0.25 102=0.75 103=0\n"
            " B1: 101=0 102=0 103=1\n[loc2]\n A1: 101=1\n");
  EXPECT_EQ(d.alleleCopies, (std::vector<std::vector<int64_t>>{{4, 1}, {2, 0}}));
  InputOptions o;
  o.genotypes.populationNames = {"North", "South"};
  EXPECT_EQ(read(kGenePop, InputFormat::GenePop, o).taxa[1].name.str(), "South");
  // Loci one per line and 2-digit codes read the same.
  const Dataset lines = read("t\nloc1\nloc2\nPop\nA1, 0102 0000\nA2, 0202 0100\nPop\nB1, 0303 00\n",
                             InputFormat::GenePop);
  EXPECT_EQ(contents(lines),
            "freq\nA1 missing:\nB1 missing: 1\n[loc1]\n A1: 1=0.25 2=0.75 3=0\n"
            " B1: 1=0 2=0 3=1\n[loc2]\n A1: 1=1\n");
}

TEST(Genotypes, EveryLayoutOfTheSameGenotypesGivesTheSameDataSet) {
  const std::string want = contents(read(kGenePop, InputFormat::GenePop));
  const char* const layouts[] = {
      // STRUCTURE: two rows per individual, with an extra column and a locus-name row.
      "loc1 loc2\nA1 A 7 101 -9\nA1 A 7 102 -9\nA2 A 7 102 101\nA2 A 7 102 -9\n"
      "B1 B 7 103 -9\nB1 B 7 103 -9\n",
      // STRUCTURE: one row per individual.
      "loc1 loc1 loc2 loc2\nA1 A 101 102 -9 -9\nA2 A 102 102 101 -9\nB1 B 103 103 -9 -9\n",
      // Spreadsheets: pairs of columns, and one column per locus.
      "ind,pop,loc1_a,loc1_b,loc2_a,loc2_b\nx,A,101,102,0,NA\ny,A,102,102,101,\nz,B,103,103,-9,-"
      "9\n",
      "Sample;Population;loc1;loc2\nx;A;101/102;NA\ny;A;102/102;101/0\nz;B;103/103;\n",
  };
  for (const char* text : layouts) {
    Dataset d = read(text, InputFormat::Genotypes);
    // Taxa are named by the population column here, by the first individual in GenePop.
    for (auto* names : {&d.taxa}) {
      (*names)[0].name = "A1";
      (*names)[1].name = "B1";
    }
    for (Block& b : d.blocks) {
      for (BlockTaxon& c : b.taxa) c.name = c.taxon == 0 ? "A1" : "B1";
    }
    EXPECT_EQ(contents(d), want) << text;
  }
}

TEST(Genotypes, MalformedGenotypesNameTheirPlace) {
  const auto genepop = [](const std::string& body) {
    return errorOf("t\nloc1, loc2\nPop\n" + body, InputFormat::GenePop);
  };
  EXPECT_EQ(genepop("a, 0101 01020\n").substr(0, 30), "4:9: genotype '01020' has 5 di");
  EXPECT_EQ(genepop("a, 0101 0102\nb, 010101 0101\n").substr(0, 26), "5:4: genotype '010101' has");
  EXPECT_EQ(genepop("a, 0101\n").substr(0, 41), "4:8: 1 genotypes, but the file names 2 lo");
  EXPECT_EQ(genepop("a, 0101 0101 0101\n").substr(0, 5), "4:14:");
  EXPECT_EQ(genepop("a, 0101 0101\nPop\nPop\nb, 0101 0101\n"),
            "5:1: this population has no individuals");
  EXPECT_EQ(genepop("a 0101 0101\n").substr(0, 4), "4:1:");
  EXPECT_EQ(errorOf("t\nloc1\n", InputFormat::GenePop).substr(0, 12), "2:1: no 'Pop");
  EXPECT_EQ(errorOf("ind,pop,l1\nx,A,12/14/16\n", InputFormat::Genotypes).substr(0, 5), "2:5: ");
  EXPECT_EQ(errorOf("ind,pop,l1\nx,A,124\n", InputFormat::Genotypes).substr(0, 5), "2:5: ");
  EXPECT_EQ(errorOf("a 1 101 102\nb 1 101\n", InputFormat::Genotypes).substr(0, 5), "2:5: ");
  InputOptions o;
  o.genotypes.populationNames = {"one"};
  EXPECT_NE(errorOf(kGenePop, InputFormat::GenePop, o).find("2 populations"), std::string::npos);
}

// Three individuals, markers of two primers; c lacks every mark of OPB01.
const char* const kNativeBands =
    "\ta\tb\tc\nOPA02\n1200\t1\t0\t1\n800\t0\t1\t1\nOPB01\n500\t1\t1\t\n300\t0\t1\t?\n";

TEST(Bands, EveryLayoutReadsAsTheEquivalentNativeTable) {
  const std::string want = contents(read(kNativeBands, InputFormat::Table));
  const char* const rowsLayouts[] = {
      "id,OPA02_1200,OPA02_800,OPB01_500,OPB01_300\na,1,0,1,0\nb,0,1,1,1\nc,1,1,?,NA\n",
      "id;OPA02_1200;OPA02_800;OPB01_500;OPB01_300\na;1;0;1;0\nb;0;1;1;1\nc;1;1;9;-\n",
      "id\tOPA02_1200\tOPA02_800\tOPB01_500\tOPB01_"
      "300\na\t1\t0\t1\t0\nb\t0\t1\t1\t1\nc\t1\t1\t\t\n",
  };
  for (const char* text : rowsLayouts)
    EXPECT_EQ(contents(read(text, InputFormat::Bands)), want) << text;
  InputOptions t;
  t.bands.transpose = true;
  EXPECT_EQ(contents(read("marker,a,b,c\nOPA02_1200,1,0,1\nOPA02_800,0,1,1\n"
                          "OPB01_500,1,1,?\nOPB01_300,0,1,?\n",
                          InputFormat::Bands, t)),
            want);
  // A row naming the blocks keeps the labels whole; without one and without prefixes, one block.
  const Dataset named = read(
      "id,1200,800,500,300\nprimer,OPA02,OPA02,OPB01,OPB01\n"
      "a,1,0,1,0\nb,0,1,1,1\nc,1,1,,\n",
      InputFormat::Bands);
  EXPECT_EQ(contents(named), want);
  const Dataset one = read("id,m1,m2\na,1,0\nb,0,1\nc,1,1\n", InputFormat::Bands);
  ASSERT_EQ(one.blocks.size(), 1U);
  EXPECT_EQ(one.markers.size(), 2U);
  EXPECT_EQ(errorOf("id,m1,m2\na,1,2\n", InputFormat::Bands).substr(0, 18), "2:5: band mark '2'");
  EXPECT_EQ(errorOf("id,m1,m2\na,1\n", InputFormat::Bands).substr(0, 5), "2:3: ");
}

TEST(DistanceMatrices, PhylipAndDelimitedReadTheSameAndRefuseWhatIsWrong) {
  const char* const forms[] = {
      "3\nA 0 0.5 0.25\nB 0.5 0 0.125\nC 0.25 0.125 0\n",
      "   3\nA\nB 0.5\nC 0.25 0.125\n",
      "3\nA 0 0.5\n  0.25\nB 0.5 0 0.125\nC 0.25 0.125 0\n",
  };
  for (const char* text : forms) {
    const DistanceInput m = readPhylipMatrix(text);
    ASSERT_EQ(m.names, (std::vector<std::string>{"A", "B", "C"})) << text;
    EXPECT_EQ(m.at(0, 2), 0.25);
    EXPECT_EQ(m.at(2, 1), 0.125);
  }
  const DistanceInput csv = readDelimitedMatrix(",A,B,C\nA,0,,\nB,0.5,0,\nC,0.25,0.125,0\n");
  EXPECT_EQ(csv.at(1, 2), 0.125);
  const auto refusal = [](auto reader, const char* text) {
    try {
      reader(text);
    } catch (const InputError& e) {
      return std::string(e.what());
    }
    return std::string("(read)");
  };
  EXPECT_EQ(refusal(readPhylipMatrix, "3\nA 0 0.5 0.25\nB 0.5 0\nC 0.25 0.125 0\n").substr(0, 5),
            "3:7: ");
  EXPECT_EQ(refusal(readPhylipMatrix, "2\nA 0 0.5\nB 0.6 0\n").substr(0, 30),
            "3:3: the matrix is not symmetr");
  EXPECT_EQ(refusal(readPhylipMatrix, "2\nA 0 -1\nB -1 0\n").substr(0, 20), "2:5: distance -1.000");
  EXPECT_EQ(refusal(readPhylipMatrix, "2\nA 1 0\nB 0 0\n").substr(0, 4), "2:3:");
  EXPECT_EQ(refusal(readDelimitedMatrix, ",A,B\nA,0,1\n").substr(0, 27),
            "2:1: the matrix is not squa");
  EXPECT_EQ(refusal(readDelimitedMatrix, ",A,B\nA,0,1\nB,1,0,3\n").substr(0, 5), "3:7: ");
  // Counts the file cannot hold are refused where it falls short, with no room made first.
  EXPECT_EQ(refusal(readPhylipMatrix, "2000000000\nA\nB 1\nC 1 2\n").substr(0, 4), "5:1:");
  std::string wide = ",";
  for (int k = 0; k < 60000; ++k) wide += "," + std::to_string(k);
  EXPECT_EQ(refusal(readDelimitedMatrix, (wide + "\n0\n").c_str()).substr(0, 27),
            "2:1: the matrix is not squa");
  EXPECT_NO_THROW(readPhylipMatrix("2\nA 0 0.5\nB 0.5000000000001 0\n"));
}

TEST(Detection, NativeTablesStayNativeAndOthersAreToldApart) {
  for (const char* native : {"", "\tT1\tT2\nE1\n1\t1\t0\n", "x\n", "hello world\n",
                             "\tloc1\tloc2\nindA\t1\t0\nindB\t0\t1\n", "3\n"})
    EXPECT_EQ(detectInputFormat(native), InputFormat::Table) << native;
  EXPECT_EQ(detectInputFormat(kGenePop), InputFormat::GenePop);
  EXPECT_EQ(detectInputFormat("3\nA 0 1 2\nB 1 0 1\nC 2 1 0\n"), InputFormat::PhylipMatrix);
  EXPECT_EQ(detectInputFormat("ind,pop,l1\nx,A,12/14\n"), InputFormat::Genotypes);
  EXPECT_EQ(detectInputFormat("a 1 101 102\na 1 101 104\n"), InputFormat::Genotypes);
  EXPECT_EQ(detectInputFormat("id,m1,m2\na,1,0\nb,0,1\nc,1,?\n"), InputFormat::Bands);
  EXPECT_EQ(detectInputFormat(",A,B,C\nA,0,0.5,0.2\nB,0.5,0,0.1\nC,0.2,0.1,0\n"),
            InputFormat::MatrixCsv);
  try {
    detectInputFormat(",A,B\nA,0,1\nB,1,0\n");
    ADD_FAILURE() << "an ambiguous file was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("band matrix (bands) or a delimited distance matrix"),
              std::string::npos)
        << e.what();
  }
  // The native reader's own refusal is kept.
  Session s;
  EXPECT_THROW(s.readInput("", InputOptions{}), ListIndexError);
}

TEST(Conversion, NativeTableTextReadsBackToTheSameData) {
  for (const auto& [text, format] :
       {std::pair<std::string, InputFormat>{"t\nl1,l2\nPop\na, 0101 0102\nPop\nb, 0203 0202\n",
                                            InputFormat::GenePop},
        {kNativeBands, InputFormat::Table},
        {"ind,pop,l1\nx,A,1/2\ny,A,2/3\nz,B,1/1\nw,C,3/3\n", InputFormat::Genotypes}}) {
    const Dataset d = read(text, format);
    std::vector<std::string> warnings;
    const std::string table = nativeTableText(d, warnings);
    EXPECT_EQ(contents(read(table, InputFormat::Table)), contents(d)) << table;
  }
}

TEST(SessionInput, AFailedReadingKeepsTheDataAndAMatrixGoesStraightToTheTree) {
  Session s;
  s.readInput(kNativeBands, InputOptions{});
  EXPECT_THROW(s.readInput("t\nl1\nPop\na, 0101 0202\n", InputOptions{}), InputError);
  EXPECT_EQ(s.data().taxonCount(), 3);

  s.readInput("4\nA 0 2 4 6\nB 2 0 4 6\nC 4 4 0 6\nD 6 6 6 0\n", InputOptions{});
  ASSERT_TRUE(s.hasGivenMatrix());
  s.chooseMethod(TreeMethod::Upgma);
  ASSERT_NE(s.referenceTree(), nullptr);
  EXPECT_FALSE(s.canResample());
  ResamplingPlan plan;
  try {
    s.checkPlan(plan);
    ADD_FAILURE();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("distance matrix read from a file"), std::string::npos);
  }
}

TEST(SessionInput, PhylipMatrixWrittenInFullReadsBackToTheSameTreeAndValues) {
  for (const TreeMethod method : {TreeMethod::NeighborJoining, TreeMethod::Upgma}) {
    Session s;
    s.readInput(kGenePop + std::string("pop\nC1, 101101 101101\npop\nD1, 102103 101101\n"),
                InputOptions{});
    s.chooseCoefficient(Coefficient::NeiStandard);
    s.chooseMethod(method);
    MatrixGrid grid;
    grid.fill(*s.matrix(), s.data(), '.');
    const AnalysisView view{s, grid, "x", '.'};
    const std::string phy = matrixExport(view, MatrixFileFormat::Phylip);
    Session back;
    back.readInput(phy.substr(0, phy.find('#')), InputOptions{});
    back.chooseMethod(method);
    for (int i = 1; i <= s.matrix()->size(); ++i)
      for (int j = 1; j <= s.matrix()->size(); ++j)
        EXPECT_EQ(back.matrix()->values(i, j), i == j ? 0.0 : s.matrix()->values(i, j));
    EXPECT_EQ(back.referenceTree()->nodes.size(), s.referenceTree()->nodes.size());
    MatrixGrid backGrid;
    backGrid.fill(*back.matrix(), back.data(), '.');
    EXPECT_EQ(grid.copyText(), backGrid.copyText());
  }
}

TEST(MissingLoci, PairwiseUsesOnlyTheLociTypedInBoth) {
  // B1 lacks loc2: the Prevosti sum over loc1 is 0.25 + 0.75 + 1 = 2.
  Session s;
  s.readInput(kGenePop, InputOptions{});
  s.chooseCoefficient(Coefficient::Prevosti);
  s.chooseMethod(TreeMethod::Upgma);
  EXPECT_DOUBLE_EQ(s.matrix()->values(1, 2), 0.5);  // the default: 2 / (2 × both loci)
  s.setPairwiseMissingLoci(true);
  EXPECT_DOUBLE_EQ(s.matrix()->values(1, 2), 1.0);
  s.chooseCoefficient(Coefficient::Rogers);
  EXPECT_DOUBLE_EQ(s.matrix()->values(1, 2), std::sqrt((0.0625 + 0.5625 + 1) / 2));
}

TEST(Genotypes, NamesThatTheCutWouldMergeStayApartAndColumnsFollowTheOptions) {
  // Merged names would pool two populations' copies into one taxon.
  const Dataset d =
      read("t\nl1\nPop\nColonyOfTheNorthRidge1, 0101\nPop\nColonyOfTheNorthRidge2, 0202\n",
           InputFormat::GenePop);
  ASSERT_EQ(d.taxonCount(), 2);
  EXPECT_EQ(d.taxa[0].name.str(), "ColonyOfTheNorthRidg");
  EXPECT_EQ(d.taxa[1].name.str(), "ColonyOfTheNorthRi_2");
  InputOptions o;
  o.format = InputFormat::GenePop;
  EXPECT_EQ(
      readInput("t\nl1\nPop\nColonyOfTheNorthRidge1, 0101\nPop\nColonyOfTheNorthRidge2, 0202\n", o)
          .table.warnings.size(),
      1U);
  // Without a locus-name row, a column equal on both rows of everyone is taken for an extra one;
  // --extra-columns says otherwise.
  const char* const twoRows = "a 1 5 101\na 1 5 103\nb 2 5 101\nb 2 5 101\n";
  EXPECT_EQ(read(twoRows, InputFormat::Genotypes).blocks.size(), 1U);
  o.genotypes.extraColumns = 0;
  EXPECT_EQ(read(twoRows, InputFormat::Genotypes, o).blocks.size(), 2U);
  o.genotypes = {};
  o.genotypes.populationColumn = "site";
  o.genotypes.individualColumn = "who";
  const Dataset named = read("l1,who,site\n1/2,x,S\n2/2,y,T\n", InputFormat::Genotypes, o);
  EXPECT_EQ(named.taxa[1].name.str(), "T");
  o.genotypes.populationColumn = "nowhere";
  EXPECT_EQ(errorOf("l1,who,site\n1/2,x,S\n", InputFormat::Genotypes, o),
            "1:1: no column is headed 'nowhere'");
}

TEST(MatrixPrecision, TsvShowsTheGridOrEveryDigitAndReadsBackAsAMatrix) {
  Session s;
  s.readInput("3\nA 0 0.123456789 2\nB 0.123456789 0 1e-7\nC 2 1e-7 0\n", InputOptions{});
  s.chooseMethod(TreeMethod::NeighborJoining);
  MatrixGrid grid;
  grid.fill(*s.matrix(), s.data(), ',');
  const AnalysisView view{s, grid, "m.phy", ','};
  const std::string shown = matrixExport(view, MatrixFileFormat::Tsv);
  const std::string full = matrixExport(view, MatrixFileFormat::Tsv, MatrixPrecision::Full);
  EXPECT_NE(shown.find("\t0,12346\t"), std::string::npos) << shown;
  EXPECT_NE(full.find("\t0,123456789\t"), std::string::npos) << full;
  EXPECT_NE(full.find("Coefficient: (none: distances read from the input)"), std::string::npos);
  const std::string phy = matrixExport(view, MatrixFileFormat::Phylip, MatrixPrecision::Full);
  const DistanceInput back = readPhylipMatrix(phy);
  EXPECT_EQ(back.at(1, 2), 1e-7);
  EXPECT_EQ(back.at(0, 1), 0.123456789);
}

TEST(HostileInput, CutAndMangledFilesAreRefusedWithAPlaceOrReadWhole) {
  const std::string seeds[] = {
      kGenePop,
      kNativeBands,
      "loc1 loc2\nA1 A 7 101 -9\nA1 A 7 102 -9\nB1 B 7 103 -9\nB1 B 7 103 -9\n",
      "ind,pop,loc1_a,loc1_b,loc2\nx,A,101,102,1/2\ny,B,NA,,0/3\n",
      "id;OPA02_1200;OPB01_800\nprimer;x;y\na;1;0\nb;?;1\n",
      "   3\nA\nB 0.5\nC 0.25 1e308\n",
      ",A,B\nA,0,\nB,1e-320,0\n"};
  const InputFormat formats[] = {InputFormat::Auto,         InputFormat::GenePop,
                                 InputFormat::Genotypes,    InputFormat::Bands,
                                 InputFormat::PhylipMatrix, InputFormat::MatrixCsv};
  const char bytes[] = {'\0', '\r', '\n', '\t', ',', ';',    ' ',
                        '/',  '-',  '9',  '0',  '#', '\xff', 'P'};
  uint32_t state = 7;
  const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  int read = 0, refused = 0;
  for (const std::string& seed : seeds) {
    for (int k = 0; k < 300; ++k) {
      std::string text = seed;
      for (int m = 0; m < 1 + k % 4; ++m) {
        const std::size_t at = next() % (text.size() + 1);
        switch (next() % 3) {
          case 0:
            text = text.substr(0, at);
            break;
          case 1:
            text.insert(at, 1, bytes[next() % sizeof bytes]);
            break;
          default:
            if (at < text.size()) text[at] = bytes[next() % sizeof bytes];
        }
      }
      for (const InputFormat f : formats) {
        InputOptions o;
        o.format = f;
        o.bands.transpose = (k & 1) != 0;
        try {
          const InputReading r = readInput(text, o);
          ++read;
          for (const Taxon& t : r.table.data.taxa) ASSERT_LE(t.name.size(), kNameLength);
          if (r.matrix) {
            const std::size_t n = r.matrix->names.size();
            ASSERT_EQ(r.matrix->values.capacity(), static_cast<int>(n));
            for (std::size_t i = 0; i < n; ++i)
              for (std::size_t j = 0; j < n; ++j)
                ASSERT_TRUE(std::isfinite(r.matrix->at(i, j)) && r.matrix->at(i, j) >= 0.0 &&
                            r.matrix->at(i, j) == r.matrix->at(j, i));
          }
        } catch (const InputError& e) {
          ++refused;
          ASSERT_GE(e.line(), 1U);
          ASSERT_GE(e.column(), 1U);
        } catch (const std::runtime_error&) {
          ++refused;  // ambiguous content, population names that do not fit
        } catch (const ListIndexError&) {
          ++refused;  // the native reader's empty text
        }
      }
    }
  }
  EXPECT_GT(read, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace ramovia
