// Tables several tests read.
#pragma once

#include <random>
#include <string>

namespace ramovia::testing {

// Three taxa, two blocks; c was not scored in the second.
inline const std::string kDiceTable =
    "\ta\tb\tc\nE1\n1\t1\t1\t1\n2\t0\t1\t1\n3\t1\t0\t0\n4\t1\t0\t0\n5\t1\t0\t0\n6\t1\t0\t0\n"
    "7\t1\t0\t0\nE2\n8\t1\t1\t?\n9\t1\t1\t?\n";

// Seven taxa, two enzymes with site lengths, enough fragments that no two values tie.
inline std::string sevenTaxaTable() {
  std::mt19937 rng(2024);
  std::string t = "\tt1\tt2\tt3\tt4\tt5\tt6\tt7\n";
  for (const char* header : {"E1\t6\n", "E2\t4\n"}) {
    t += header;
    for (int f = 0; f < 120; ++f) {
      t += "f";
      for (int k = 0; k < 7; ++k) t += (rng() >> 31) ? "\t1" : "\t0";
      t += "\n";
    }
  }
  return t;
}

}  // namespace ramovia::testing
