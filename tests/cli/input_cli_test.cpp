// The command line's input formats, convert, matrix precision and the pairwise missing loci.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_app.h"

namespace {

struct Result {
  int code = 0;
  std::string out, err;
};

Result run(std::vector<std::string> args) {
  args.insert(args.begin(), "ramovia-cli");
  std::istringstream in;
  std::ostringstream out, err;
  Result r;
  r.code = ramovia::cli::runCli(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

std::string tempFile(const std::string& name, const std::string& content = "") {
  auto p = std::filesystem::temp_directory_path() / ("ramovia_input_cli_" + name);
  if (!content.empty()) std::ofstream(p, std::ios::binary) << content;
  return p.string();
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

const char* const kCats =
    "cats\nfca8, fca23\nPop\nP1, 0102 0303\nP1, 0202 0304\nPop\nP2, 0101 0000\nP2, 0103 0000\n"
    "Pop\nP3, 0303 0404\n";

TEST(InputCli, AGenotypeFileReadsAndConvertsToTheSameAnalysis) {
  const std::string gen = tempFile("cats.gen", kCats);
  const std::string table = tempFile("cats.txt");
  const Result direct = run({"-c", "R", "-m", "upgma", gen});
  ASSERT_EQ(direct.code, 0) << direct.err;
  const Result conv = run({"convert", gen, table});
  ASSERT_EQ(conv.code, 0) << conv.err;
  EXPECT_NE(conv.out.find("as genepop: 3 taxa, 2 blocks"), std::string::npos) << conv.out;
  EXPECT_EQ(run({"-c", "R", "-m", "upgma", table}).out, direct.out);
  // The pairwise rule names the taxon that lacks a locus.
  const Result pairwise = run({"-c", "R", "-m", "upgma", "--missing-loci", "pairwise", gen});
  EXPECT_NE(pairwise.err.find("missing loci, compared over the loci typed in both of each pair: P2"),
            std::string::npos) << pairwise.err;
  EXPECT_NE(pairwise.out, direct.out);
}

TEST(InputCli, ErrorsNameFileLineAndColumnAndWriteNothing) {
  const std::string gen = tempFile("bad.gen", "t\nl1\nPop\na, 0101\nb, 01011\n");
  const std::string out = tempFile("bad.txt");
  std::filesystem::remove(out);
  Result r = run({"-c", "R", "-m", "nj", "--newick", out, gen});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(gen + ":5:4: genotype '01011' has 5 digits", 0), 0U) << r.err;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(run({"convert", gen, out}).code, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  // Converting a file onto itself would lose it.
  const std::string cats = tempFile("self.gen", kCats);
  EXPECT_EQ(run({"convert", cats, cats}).code, 2);
  EXPECT_EQ(slurp(cats), kCats);
  // The coefficient stays required for data.
  r = run({"-m", "nj", tempFile("cats2.gen", kCats)});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("--coefficient is required", 0), 0U) << r.err;
}

TEST(InputCli, AMatrixInFullReadsBackToTheSameTreeAndRefusesResampling) {
  const std::string gen = tempFile("cats3.gen", kCats);
  const std::string phy = tempFile("cats.phy");
  const std::string tsv = tempFile("cats.tsv");
  const Result first = run({"-c", "X", "-m", "nj", "--matrix", phy, gen});
  ASSERT_EQ(first.code, 0) << first.err;
  const Result back = run({"-m", "nj", "--matrix", tsv, "--matrix-precision", "full", phy});
  ASSERT_EQ(back.code, 0) << back.err;
  const auto tree = [](const std::string& out) { return out.substr(out.find("Reference tree")); };
  EXPECT_EQ(tree(back.out), tree(first.out));
  // The full TSV reads again as a matrix, to the same values and tree.
  const std::string bare = tempFile("bare.tsv");
  std::string text = slurp(tsv), kept;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);)
    if (l.rfind("#", 0) != 0) kept += l + "\n";
  std::ofstream(bare) << kept;
  const Result again = run({"-m", "nj", "--format", "matrix-csv", bare});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(tree(again.out), tree(first.out));
  const Result refused = run({"-m", "nj", "-r", "bootstrap", phy});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("not offered for a distance matrix"), std::string::npos) << refused.err;
}

}  // namespace
