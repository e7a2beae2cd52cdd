// How the program writes a number as text: matrix cells, branch lengths, site lengths. The
// decimal separator is a parameter; branch lengths in tree texts always use ".".
#pragma once

#include <string>

namespace ramovia {

// The general float-to-text conversion: at most 15 significant digits, no trailing zeros, fixed
// notation for 0.0001 <= |x| < 1E15, otherwise scientific (1E-5, 1.23E-5, 1E16); "INF", "-INF",
// "NAN" for non-finite values.
std::string floatToText(double x, char decimalSeparator);

// A branch length in a tree text: floatToText with ".".
std::string lengthText(double x);

// A matrix cell: rounded half away from zero to 5 decimals or 7 significant digits, whichever
// keeps fewer, written with exactly 5 decimals (123.45680); 1E7 and more in scientific form with
// 7 significant digits (1.234568E7). Non-finite values give "INF", "-INF" and "NAN".
std::string formatMatrixCell(double x, char decimalSeparator);

// Plain decimal integer as the texts of lists and messages write it.
std::string intToText(long long v);

}  // namespace ramovia
