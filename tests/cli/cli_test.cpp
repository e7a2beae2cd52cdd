// End-to-end runs of ramovia-cli, in-process and as the real executable.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_app.h"
#include "model/memory.h"

namespace {

using json = nlohmann::ordered_json;

// Three taxa whose Dice similarities are 0.5 (a, b), 0.25 (a, c) and 1 (b, c): c has no data in E2.
const char* const kDiceTable =
    "\ta\tb\tc\nE1\n1\t1\t1\t1\n2\t0\t1\t1\n3\t1\t0\t0\n4\t1\t0\t0\n5\t1\t0\t0\n6\t1\t0\t0\n"
    "7\t1\t0\t0\nE2\n8\t1\t1\t?\n9\t1\t1\t?\n";

struct Result {
  int code = 0;
  std::string out, err;
  json j;
};

Result run(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "ramovia-cli");
  std::istringstream in(input);
  std::ostringstream out, err;
  Result r;
  r.code = ramovia::cli::runCli(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  if (r.code == 0 && !r.out.empty() && r.out[0] == '{') r.j = json::parse(r.out);
  return r;
}

std::string example(const std::string& name) {
  return std::string(RAMOVIA_EXAMPLES_DIR) + "/" + name;
}

std::string tempFile(const std::string& name, const std::string& content) {
  auto p = std::filesystem::temp_directory_path() / ("ramovia_cli_test_" + name);
  std::ofstream(p, std::ios::binary) << content;
  return p.string();
}

int totalCount(const json& trees) {
  int total = 0;
  for (const auto& t : trees) total += t["count"].get<int>();
  return total;
}

TEST(CliJson, DiceMatrixGridTaxaAndReferenceTree) {
  Result r = run({"-c", "A", "-m", "upgma", "--json", "-"}, kDiceTable);
  ASSERT_EQ(r.code, 0) << r.err;
  const json& j = r.j;
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"frequency_data", "coefficient", "method", "input_grid",
                                            "taxa", "matrix", "reference_tree",
                                            "cophenetic_correlation"}));
  EXPECT_FALSE(j["frequency_data"].get<bool>());
  EXPECT_EQ(j["taxa"], json({"a", "b", "c"}));
  EXPECT_EQ(j["matrix"], json({{"", "a", "b", "c"},
                               {"a", "", "0.50000", "0.25000"},
                               {"b", "0.50000", "", "1.00000"},
                               {"c", "0.25000", "1.00000", ""}}));
  EXPECT_EQ(j["reference_tree"], "((b,c),a);");
  const json& grid = j["input_grid"];
  ASSERT_EQ(grid.size(), 12u);
  EXPECT_EQ(grid[0], json({"", "a", "b", "c"}));
  EXPECT_EQ(grid[1], json({"E1", "", "", ""}));
  // Rows follow the block's fragment list: first carriers first (a holds 1 and 3..7, b adds 2).
  EXPECT_EQ(grid[2], json({"1/1", "1", "1", "1"}));
  EXPECT_EQ(grid[3], json({"3/3", "1", "0", "0"}));
  EXPECT_EQ(grid[8], json({"2/2", "0", "1", "1"}));
  EXPECT_EQ(grid[9], json({"E2", "", "", ""}));
  EXPECT_EQ(grid[11], json({"9/9", "1", "1", "n/a"}));
}

TEST(CliJson, NeighborJoiningStoresDistances) {
  Result r = run({"-c", "A", "-m", "nj", "--json", "-"}, kDiceTable);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.j["matrix"][1], json({"a", "", "0.50000", "0.75000"}));
  EXPECT_EQ(r.j["matrix"][2], json({"b", "0.50000", "", "0.00000"}));
}

TEST(CliJson, InputGridKeepsEveryAlleleRow) {
  // An allele carried only by a taxon that ends the block without data keeps its row.
  Result r = run({"-c", "R", "-m", "nj", "--json", "-"}, "\tA\tB\nL1\na1\t0.5\t?\na2\t?\t0.5\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.j["frequency_data"].get<bool>());
  EXPECT_EQ(r.j["input_grid"], json({{"", "A", "B"},
                                     {"L1", "", ""},
                                     {"a1/1", "n/a", "0"},
                                     {"a2/2", "n/a", "1"}}));
}

TEST(CliJson, ExamplesRunEveryFamily) {
  for (const auto& [file, letter] : std::vector<std::pair<std::string, std::string>>{
           {"restriction.txt", "A"}, {"restriction.txt", "N"}, {"rapd.txt", "J"},
           {"alleles.txt", "R"}, {"alleles.txt", "X"}}) {
    for (const char* method : {"upgma", "nj"}) {
      Result r = run({"-c", letter, "-m", method, "-r", "bootstrap", "-n", "20", "--json",
                      example(file)});
      ASSERT_EQ(r.code, 0) << file << " " << letter << " " << r.err;
      const json& res = r.j["resampling"];
      EXPECT_EQ(totalCount(res["trees"]), 20) << file << letter << method;
      EXPECT_EQ(res["stats"].size(), 6u);
      EXPECT_EQ(res["stats"][0], "Different tree count : " + std::to_string(res["trees"].size()));
      EXPECT_EQ(res["stats"][5], res["trees"][0]["tree"]);
    }
  }
}

TEST(CliJson, SameSeedSameResultOtherSeedStartsElsewhere) {
  const std::vector<std::string> args = {"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "50",
                                         "--json", example("restriction.txt")};
  Result a = run(args), b = run(args);
  ASSERT_EQ(a.code, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  auto withSeed = args;
  withSeed.insert(withSeed.begin(), {"--seed", "987654321"});
  Result c = run(withSeed);
  ASSERT_EQ(c.code, 0) << c.err;
  EXPECT_EQ(c.j["reference_tree"], a.j["reference_tree"]);  // no draw before the run for A
  EXPECT_NE(c.j["resampling"]["trees"], a.j["resampling"]["trees"]);
}

TEST(CliJson, CancelStopsAtTheCheckpointsOfEachFamily) {
  // Presence/absence: checked at every 50th replicate of 10000, right after the press.
  Result pa = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "10000", "--cancel-at", "50",
                   "--json", example("restriction.txt")});
  ASSERT_EQ(pa.code, 0) << pa.err;
  EXPECT_EQ(totalCount(pa.j["resampling"]["trees"]), 50);
  Result late = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "10000", "--cancel-at", "51",
                     "--json", example("restriction.txt")});
  EXPECT_EQ(totalCount(late.j["resampling"]["trees"]), 100);
  // Frequencies: the press is seen after the replicate that follows it.
  Result fr = run({"-c", "R", "-m", "upgma", "-r", "bootstrap", "-n", "100", "--cancel-at", "5",
                   "--json", example("alleles.txt")});
  ASSERT_EQ(fr.code, 0) << fr.err;
  EXPECT_EQ(totalCount(fr.j["resampling"]["trees"]), 6);
  EXPECT_EQ(fr.j["resampling"]["replicates"], 100);
  EXPECT_EQ(fr.j["resampling"]["built"], 6);
}

TEST(CliJson, MethodsSetTheirControls) {
  Result j = run({"-c", "A", "-m", "nj", "-r", "jackknife", "--leave-out-fragments", "3", "-n",
                  "5", "--json", example("restriction.txt")});
  ASSERT_EQ(j.code, 0) << j.err;
  const json& r = j.j["resampling"];
  EXPECT_EQ(r["leave_out_fragments"], 3);
  EXPECT_EQ(r["leave_out_taxa"], 0);
  EXPECT_TRUE(r["different"].get<bool>());
  Result b = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "5", "--json",
                  example("restriction.txt")});
  EXPECT_FALSE(b.j["resampling"]["different"].get<bool>());
  // Leaving out taxa: no generated tree can be the reference tree.
  Result o = run({"-c", "A", "-m", "upgma", "-r", "otu-jackknife", "--leave-out-taxa", "2", "-n",
                  "10", "--json", example("restriction.txt")});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.j["resampling"]["stats"][1], "Ref. tree in list : 0");
  Result u = run({"-c", "A", "-m", "upgma", "-r", "users", "--leave-out-taxa", "1",
                  "--leave-out-fragments", "2", "--different", "-n", "4", "--json",
                  example("restriction.txt")});
  ASSERT_EQ(u.code, 0) << u.err;
  EXPECT_TRUE(u.j["resampling"]["different"].get<bool>());
  EXPECT_EQ(u.j["resampling"]["leave_out_taxa"], 1);
}

TEST(CliFailures, OneLineOnStandardErrorExitOneNothingOnStandardOutput) {
  const std::string empty = tempFile("empty.txt", "");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string missing = "/nonexistent/ramovia/table.txt";
  const std::vector<Case> cases = {
      {{"-c", "A", "-m", "nj", empty}, "List index out of bounds (0)"},
      {{"-c", "A", "-m", "nj", missing}, "Cannot open file " + missing},
      {{"-c", "A", "-m", "nj", "-r", "bootstrap", "--leave-out-taxa", "1", example("rapd.txt")},
       "--leave-out-taxa is taken only by the methods otu-jackknife and users"},
      {{"-c", "A", "-m", "nj", "-r", "otu-jackknife", "--leave-out-fragments", "1",
        example("rapd.txt")},
       "--leave-out-fragments is taken only by the methods jackknife and users"},
      {{"-c", "A", "-m", "nj", "-r", "jackknife", "--different", example("rapd.txt")},
       "--different is taken only by the method users"},
      {{"-c", "A", "-m", "nj", "-r", "otu-jackknife", "--leave-out-taxa", "5",
        example("rapd.txt")},
       "Cannot leave out 5 taxa: the table has 5 taxa"},
      {{"-c", "R", "-m", "nj", "-r", "users", example("alleles.txt")},
       "The method users is not offered for allele-frequency data"},
  };
  for (const auto& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.code, 1) << c.message;
    EXPECT_EQ(r.out, "") << c.message;
    EXPECT_EQ(r.err, (c.args.back() == empty ? "warning: The table is empty: there is no line "
                                               "with text in it.\n"
                                             : "") +
                         c.message + "\n");
  }
}

TEST(CliFailures, WarningsComeBeforeTheResultOrTheFailureAndChangeNothing) {
  struct Case {
    std::string table, coefficient, warning;
    int lines = 1;
  };
  const std::vector<Case> cases = {
      {"\ta\tb\tc\nE\n1\t1\t0\t1\n2\t1\t2\t0\n3\t0\t1\t1\n", "R",
       "warning: Line 4, column 3 holds \"2\""},
      {"\ta\tb\tc\nE\n1\t0.5\t0.25\t0\n2\t0.5\t0.75\t1\n", "A",
       "warning: The coefficient A is made for presence/absence data"},
      {"\ta\tb\tc\nE\n1\t0,5\t0,25\t0\n2\t0,5\t0,75\t1\n", "A",
       "warning: No cell with a fraction reads as a number with the decimal separator \".\"", 2},
      {"\tb\x1b[2J\ta\tc\nE\n1\t1\t0\t1\n2\t1\t1\t0\n3\t0\t1\t1\n", "R",
       "warning: The coefficient R"},
  };
  for (const Case& c : cases) {
    const Result r = run({"-c", c.coefficient, "-m", "nj", "-"}, c.table);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.rfind(c.warning, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.lines) << r.err;
    // The output is what it was without the warning; no control character reaches it.
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  }
  const Result named = run({"-c", "A", "-m", "nj", "-"}, cases[3].table);
  EXPECT_NE(named.out.find("b?[2J"), std::string::npos) << named.out;
  const Result failed = run({"-c", "A", "-m", "nj", "-"}, "\ta\tb\n");
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.err.rfind("warning: The table has no fragments", 0), 0u) << failed.err;
}

TEST(CliFailures, UsageErrorsExitTwo) {
  const std::string table = example("rapd.txt");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-m", "nj", table},
           {"-c", "A", table},
           {"-c", "Q", "-m", "nj", table},
           {"-c", "A", "-m", "neighbor", table},
           {"-c", "A", "-m", "nj", "-n", "0", table},
           {"-c", "A", "-m", "nj", "-n", "10001", table},
           {"--coef", "A", "-m", "nj", table},
           {"-c", "A", "-m", "nj", "--decimal-separator", ",,", table},
           {"-c", "A", "-m", "nj", "--leave-out-taxa", "-1", table},
           {"-c", "A", "-m", "nj", "-r", "bootstrapping", table},
           {"-c", "A", "-m", "nj", "--seed", "4294967296", table},
           {"-c", "A", "-m", "nj", "--consensus", "c.nwk", table},
           {"-c", "A", "-m", "nj", "--support", "split", table},
           {"-c", "A", "-m", "nj", "-r", "bootstrap", "--support", "splits", table},
           {"-c", "A", "-m", "nj", "-r", "bootstrap", "--consensus-threshold", "40", table},
           // Options of a run, without a run.
           {"-c", "A", "-m", "nj", "-n", "10", table},
           {"-c", "A", "-m", "nj", "--leave-out-fragments", "1", table},
           {"-c", "A", "-m", "nj", "--leave-out-taxa", "1", table},
           {"-c", "A", "-m", "nj", "--different", table},
           {"-c", "A", "-m", "nj", "--cancel-at", "3", table},
       }) {
    Result r = run(args);
    EXPECT_EQ(r.code, 2) << args[0] << " " << args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
}

TEST(CliFailures, SettingsOutOfRangeAreNamedInPlainNumbers) {
  const std::string table = example("rapd.txt");
  Result r = run({"-c", "A", "-m", "nj", "-r", "otu-jackknife", "--leave-out-taxa", "-1", table});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("not in range 0 to 2147483647"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("e+308"), std::string::npos) << r.err;
  const int fragments = run({"-c", "A", "-m", "nj", "--json", table}).j["input_grid"].size();
  for (const int n : {1000, 200}) {
    r = run({"-c", "A", "-m", "nj", "-r", "jackknife", "--leave-out-fragments", std::to_string(n),
             table});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Cannot leave out " + std::to_string(n) + " fragments: the table has ", 0),
              0u)
        << r.err;
  }
  EXPECT_GT(fragments, 0);
}

TEST(CliText, HumanReadableReport) {
  Result r = run({"-c", "A", "-m", "upgma", "-r", "bootstrap", "-n", "10", "-"}, kDiceTable);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("a           0.50000  0.25000\nb  0.50000           1.00000"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Reference tree\n((b,c),a);"), std::string::npos);
  EXPECT_NE(r.out.find("Different tree count : "), std::string::npos);
  EXPECT_NE(r.out.find("Reference tree with support\n((b,c)'"), std::string::npos) << r.out;
  Result help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("EXIT STATUS"), std::string::npos);
}

TEST(CliBinary, ExitStatusAndStreams) {
  const std::string bin = RAMOVIA_CLI_BINARY;
  const std::string out = tempFile("out.txt", "");
  const std::string missing = "/nonexistent/ramovia/x.txt";
  int status = std::system((bin + " -c A -m nj " + missing + " >" + out + " 2>/dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
  status = std::system((bin + " -c A -m nj --bogus x >/dev/null 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  status = std::system(
      (bin + " -c A -m nj --json " + example("rapd.txt") + " >" + out + " 2>/dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out);
  const json j = json::parse(in);
  EXPECT_EQ(j["taxa"].size(), 5u);
}

TEST(CliBinary, TerminationCancelsTheRunWritesWhatItGaveAndExits143) {
  // Enough taxa that 10000 replicates outlast the seconds before the signal, which leave a slow
  // (sanitized, loaded) start time to set its handlers.
  std::string table = "\t";
  for (int t = 0; t < 300; ++t) table += "T" + std::to_string(t) + (t < 299 ? "\t" : "\n");
  for (int m = 0; m < 300; ++m) {
    table += std::to_string(m + 1);
    for (int t = 0; t < 300; ++t) table += ((t * 7 + m * 13) % 5 < 2 || (t ^ m) % 3 == 0) ? "\t1" : "\t0";
    table += "\n";
  }
  const std::string input = tempFile("term.txt", table), out = tempFile("term.json", "");
  const std::string command = std::string(RAMOVIA_CLI_BINARY) + " -c A -m nj -r bootstrap -n 10000 " +
                              "--json " + input + " >" + out + " 2>/dev/null & pid=$!; sleep 2; " +
                              "kill -TERM $pid; wait $pid; exit $?";
  const int status = std::system(("sh -c '" + command + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 143);
  std::ifstream f(out);
  const json j = json::parse(f);
  const json& r = j["resampling"];
  EXPECT_EQ(r["replicates"], 10000);
  EXPECT_LT(r["built"].get<int>(), 10000);
  EXPECT_EQ(totalCount(r["trees"]), r["built"].get<int>());
}

TEST(CliBinary, TerminationDuringTheReferenceMatrixOrTreeEndsWithinASecond) {
  // 4000 taxa: the matrix and its tree take several seconds.
  const int taxa = 4000;
  std::string table;
  for (int t = 0; t < taxa; ++t) table += "\tT" + std::to_string(t);
  table += "\n";
  for (int m = 0; m < 200; ++m) {
    table += std::to_string(m + 1);
    for (int t = 0; t < taxa; ++t) table += (t * 7 + m * 13) % 5 < 2 || (t ^ m) % 3 == 0 ? "\t1" : "\t0";
    table += "\n";
  }
  const std::string input = tempFile("term-matrix.txt", table), err = tempFile("term-matrix.err", "");
  const std::string times = tempFile("term-matrix.times", "");
  // The seconds from the signal to the end, as the shell sees them.
  const std::string command = std::string(RAMOVIA_CLI_BINARY) + " -c A -m nj --newick " + input +
                              ".nwk " + input + " >/dev/null 2>" + err +
                              " & pid=$!; sleep 1; date +%s.%N >" + times + "; kill -TERM $pid; " +
                              "wait $pid; rc=$?; date +%s.%N >>" + times + "; exit $rc";
  const int status = std::system(("sh -c '" + command + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 143);
  std::ifstream t(times);
  double sent = 0, ended = 0;
  t >> sent >> ended;
  EXPECT_LT(ended - sent, 2.0);
  std::ifstream f(err);
  std::string line;
  std::getline(f, line);
  EXPECT_EQ(line, "Stopped before the tree was built: nothing was written.");
  EXPECT_FALSE(std::filesystem::exists(input + ".nwk"));
}

TEST(CliBinary, FailedStandardOutputIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string bin = RAMOVIA_CLI_BINARY;
  const std::string err = tempFile("err.txt", "");
  const int status = std::system(
      (bin + " -c A -m nj " + example("rapd.txt") + " >/dev/full 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::ifstream f(err);
  std::string line;
  std::getline(f, line);
  EXPECT_EQ(line, "Cannot write standard output: No space left on device");
}

}  // namespace

// --- export files ---

#include "../core/capability_util.h"

namespace {

namespace fs = std::filesystem;

struct ExportDir {
  fs::path path;
  ExportDir() {
    std::string t = (fs::temp_directory_path() / "ramovia-cli-exports-XXXXXX").string();
    path = ::mkdtemp(t.data());
  }
  ~ExportDir() {
    fs::permissions(path, fs::perms::owner_all);
    fs::remove_all(path);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  long count() const {
    return std::distance(fs::directory_iterator(path), fs::directory_iterator());
  }
};

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(CliExports, EveryFileWithItsSettings) {
  ExportDir d;
  const std::string input = example("restriction.txt");
  const auto r = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "20", "--seed", "9",
                      "--newick", d / "t.nwk", "--svg", d / "t.svg", "--matrix", d / "m.phy",
                      "--report", d / "r.txt", input});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(d.count(), 4);
  const std::string nwk = slurp(d / "t.nwk");
  EXPECT_EQ(nwk.back(), '\n');
  // Neighbor-joining: splits' support, which the root has none of.
  EXPECT_EQ(nwk.substr(nwk.size() - 3), ");\n");
  const std::string svg = slurp(d / "t.svg");
  for (const char* s : {"Q.robur", "Q.suber", "Seed at the start of the run: 9",
                        "Resampling: Bootstrapping", "Replicates: 20 requested, 20 trees built"})
    EXPECT_NE(svg.find(s), std::string::npos) << s;
  EXPECT_NE(svg.find("Input: " + input), std::string::npos);
  EXPECT_EQ(slurp(d / "m.phy").substr(0, 6), "    7\n");
  const std::string report = slurp(d / "r.txt");
  EXPECT_NE(report.find("Reference tree with support (Newick)\n" + nwk), std::string::npos);
  // The report holds the statistics the text output prints.
  EXPECT_NE(report.find("Different tree count : "), std::string::npos);

  const auto tsv = run({"-c", "A", "-m", "upgma", "--matrix", d / "m.tsv", input});
  ASSERT_EQ(tsv.code, 0) << tsv.err;
  EXPECT_NE(slurp(d / "m.tsv").find("# Resampling: none\n"), std::string::npos);
}

TEST(CliExports, ReplicateTreesConsensusAndTheChosenSupport) {
  ExportDir d;
  const std::string input = example("rapd.txt");
  const auto r = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "25", "--support", "clade",
                      "--newick", d / "t.nwk", "--replicate-trees", d / "rep.nwk", "--consensus",
                      d / "c.nwk", "--consensus-type", "strict", "--json", input});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(slurp(d / "t.nwk").substr(slurp(d / "t.nwk").size() - 6), ")100;\n");
  const std::string replicates = slurp(d / "rep.nwk");
  EXPECT_EQ(std::count(replicates.begin(), replicates.end(), '\n'), 25);
  const json& u = r.j["resampling"]["unrooted"];
  EXPECT_EQ(u["consensus"]["type"], "strict");
  EXPECT_EQ(slurp(d / "c.nwk"), u["consensus"]["tree"].get<std::string>() + "\n");
  EXPECT_EQ(u["topology_count"], u["topologies"].size());
  int64_t total = 0;
  for (const auto& t : u["topologies"]) total += t["count"].get<int64_t>();
  EXPECT_EQ(total, 25);
  // Whole loci are for allele frequencies; taxa left out leave no consensus.
  const auto loci = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "--resample", "loci", input});
  EXPECT_EQ(loci.code, 1);
  const auto otu = run({"-c", "A", "-m", "nj", "-r", "otu-jackknife", "--leave-out-taxa", "1",
                        "--json", input});
  EXPECT_TRUE(otu.j["resampling"]["unrooted"]["consensus"].is_null());
}

TEST(CliExports, UnknownMatrixExtensionIsAUsageError) {
  ExportDir d;
  const auto r = run({"-c", "A", "-m", "nj", "--matrix", d / "m.csv", example("restriction.txt")});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(d.count(), 0);
}

TEST(CliExports, OutputsThatAreTheInputOrTwiceTheSameAreRefusedBeforeAnything) {
  ExportDir d;
  const std::string input = d / "table.txt";
  std::ofstream(input, std::ios::binary) << slurp(example("restriction.txt"));
  const std::string before = slurp(input);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--newick", input},
           {"--matrix", d / "m.tsv", "--report", d / "m.tsv"},
           {"--svg", d / "t.svg", "--newick", d / "./t.svg"},
       }) {
    std::vector<std::string> all = {"-c", "A", "-m", "nj"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(input);
    const auto r = run(all);
    EXPECT_EQ(r.code, 2) << args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
  }
  EXPECT_EQ(slurp(input), before);
  EXPECT_EQ(d.count(), 1);
}

TEST(CliExports, ReadOnlyFolderFailsWithAMessageAndLeavesNothing) {
  ExportDir d;
  ::chmod(d.path.c_str(), 0555);
  ramovia::testing::WithoutDacOverride asUser;
  if (ramovia::testing::CanCreateIn(d.path.string())) GTEST_SKIP() << "this process can write anywhere";
  const auto r = run({"-c", "A", "-m", "nj", "--newick", d / "t.nwk", example("restriction.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Cannot write " + (d / "t.nwk") + ": Permission denied\n");
  EXPECT_EQ(d.count(), 0);
}

}  // namespace

namespace {

TEST(CliThreads, ExamplesGiveTheSameOutputForOneTwoAndSevenThreads) {
  struct Run {
    std::string file, letter, method, resampling;
    std::vector<std::string> extra;
  };
  const std::vector<Run> runs = {
      {"restriction.txt", "A", "nj", "bootstrap", {}},
      {"restriction.txt", "N", "upgma", "otu-jackknife", {"--leave-out-taxa", "2"}},
      {"rapd.txt", "G", "upgma", "jackknife", {"--leave-out-fragments", "4"}},
      {"rapd.txt", "I", "nj", "bootstrap", {"--cancel-at", "17"}},
      {"alleles.txt", "U", "nj", "bootstrap", {}},
      {"alleles.txt", "Z", "upgma", "otu-jackknife", {"--leave-out-taxa", "1", "--cancel-at", "9"}},
  };
  for (const Run& r : runs) {
    std::string first;
    for (const char* threads : {"1", "2", "7"}) {
      std::vector<std::string> args = {"--threads", threads, "-c", r.letter, "-m", r.method,
                                        "-r", r.resampling, "-n", "60", "--json"};
      args.insert(args.end(), r.extra.begin(), r.extra.end());
      args.push_back(example(r.file));
      Result out = run(args);
      ASSERT_EQ(out.code, 0) << r.file << " " << r.letter << ": " << out.err;
      if (first.empty())
        first = out.out;
      else
        EXPECT_EQ(out.out, first) << r.file << " " << r.letter << " with " << threads << " threads";
    }
  }
}

}  // namespace

namespace {

TEST(CliComparisons, KeysFilesAndRefusals) {
  const std::string pcoa = tempFile("pcoa.tsv", ""), plot = tempFile("pcoa.svg", "");
  std::filesystem::remove(pcoa);
  std::filesystem::remove(plot);
  Result r = run({"-c", "J", "-m", "upgma", "--json", "--pcoa", pcoa, "--pcoa-plot", plot,
                  "--compare-coefficient", "A", "--permutations", "49", example("rapd.txt")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.j["pcoa"]["coordinates"].size(), 5u);
  EXPECT_EQ(r.j["pcoa"]["eigenvalues"].size(), 5u);
  EXPECT_EQ(r.j["mantel"]["permutations"], 49);
  EXPECT_EQ(r.j["tree_distance"]["rf"], 0);
  EXPECT_TRUE(r.j["tree_distance"]["rooted"].get<bool>());
  EXPECT_TRUE(std::filesystem::exists(pcoa));
  EXPECT_TRUE(std::filesystem::exists(plot));
  std::filesystem::remove(pcoa);
  std::filesystem::remove(plot);

  // A second matrix or tree that does not fit: a message, exit 1, and no file written.
  const std::string other = tempFile("other.tsv", "\tBilka\tDukat\tX\nBilka\t0\t1\t2\nDukat\t1\t0\t3\nX\t2\t3\t0\n");
  r = run({"-c", "J", "-m", "upgma", "--pcoa", pcoa, "--compare-matrix", other, example("rapd.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("missing Perla, Zlatka, Haricot_5; not in the data X."), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(pcoa));
  const std::string tree = tempFile("other.nwk", "((Bilka,Dukat),(Perla,Zlatka));");
  r = run({"-c", "J", "-m", "nj", "--compare-tree", tree, example("rapd.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("missing Haricot_5"), std::string::npos) << r.err;

  // Two taxa: no ordination, and the correlation says why it is missing.
  const std::string two = "\ta\tb\nE1\n1\t1\t0\n2\t1\t1\n";
  r = run({"-c", "A", "-m", "upgma", "--json", "-"}, two);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.j["cophenetic_correlation"]["r"].is_null());
  EXPECT_EQ(r.j["cophenetic_correlation"]["message"], "The cophenetic correlation needs three taxa or more; there are 2.");
  r = run({"-c", "A", "-m", "upgma", "--pcoa", pcoa, "-"}, two);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Principal coordinates need three taxa or more; the matrix has 2.\n");
}

// A dry run computes nothing and says what the run would take; the memory check before a run
// counts its checkpoint; a checkpoint of other settings is refused on the command line too.
TEST(CliCluster, DryRunMemoryOfTheCheckpointAndForeignCheckpoints) {
  const std::string table = example("restriction.txt");
  const Result dry = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "500", "--dry-run",
                          "--checkpoint", tempFile("dry.ck", ""), table});
  // An empty file is no checkpoint: the dry run says so as the run would.
  EXPECT_EQ(dry.code, 1);
  EXPECT_NE(dry.err.find("is empty"), std::string::npos) << dry.err;
  std::filesystem::remove(tempFile("dry.ck", ""));
  // A folder named as the checkpoint is said to be one.
  const Result folder = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "5", "--checkpoint",
                             std::filesystem::temp_directory_path().string(), table});
  EXPECT_EQ(folder.code, 1);
  EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
  const Result plain = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "500", "--dry-run", table});
  ASSERT_EQ(plain.code, 0) << plain.err;
  for (const char* line : {"Dry run: nothing was computed.\n", "Replicates: 500 (bootstrap, nj)\n",
                           "Processes: 1 (1 on this machine)", "Memory: about ", "Time: roughly "})
    EXPECT_NE(plain.out.find(line), std::string::npos) << line << "\n" << plain.out;
  EXPECT_EQ(plain.out.find("checkpoint up to"), std::string::npos);

  const std::string ck = (std::filesystem::temp_directory_path() / "ramovia_cli_test_run.ck").string();
  std::filesystem::remove(ck);
  const std::vector<std::string> args = {"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "10000",
                                         "--checkpoint", ck, table};
  ramovia::setMemoryLimit(4u << 20);
  const Result refused = run(args);
  const Result without = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "50", table});
  ramovia::setMemoryLimit(0);
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("needs about"), std::string::npos) << refused.err;
  EXPECT_EQ(without.code, 0) << without.err;

  // Cancelled (presence data check every 50th replicate of 10000), the run keeps its checkpoint;
  // other settings are refused; the same command goes on from it.
  std::vector<std::string> cancelled = args;
  cancelled.insert(cancelled.begin(), {"--cancel-at", "30", "--checkpoint-replicates", "10"});
  ASSERT_EQ(run(cancelled).code, 0);
  ASSERT_TRUE(std::filesystem::exists(ck));
  const Result other = run({"-c", "A", "-m", "upgma", "-r", "bootstrap", "-n", "10000",
                            "--checkpoint", ck, table});
  EXPECT_EQ(other.code, 1);
  EXPECT_NE(other.err.find("--method nj there, upgma here"), std::string::npos) << other.err;
  EXPECT_TRUE(other.out.empty());
  const Result goesOn = run({"-c", "A", "-m", "nj", "-r", "bootstrap", "-n", "10000", "--dry-run",
                             "--checkpoint", ck, table});
  EXPECT_NE(goesOn.out.find("50 already taken by the checkpoint"), std::string::npos) << goesOn.out;
  std::filesystem::remove(ck);
}

}  // namespace
