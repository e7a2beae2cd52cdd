// Every rule by which the program reads a number from text or writes one as text.
// The decimal separator is a parameter: the user's locale in the desktop program, an option of
// the command line. Branch lengths in tree texts always use ".".
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ramovia {

// A cell of the input table: blanks, sign, digits, optional separator and digits, optional
// exponent whose digits may be missing, blanks. A lone separator reads as 0; a lone sign, an empty
// cell or a value that overflows a double does not convert.
std::optional<double> ReadInputNumber(std::string_view cell, char decimalSeparator);

// An edited cell of the matrix grid (exponent digits required, no other blanks than spaces).
std::optional<double> ReadMatrixNumber(std::string_view cell, char decimalSeparator);

// The failure of reading an edited matrix cell: "'%s' is not a valid floating point value".
class InvalidFloatError : public std::runtime_error {
 public:
  explicit InvalidFloatError(const std::string& cellText);
};
// ReadMatrixNumber that throws InvalidFloatError.
double ReadMatrixCell(std::string_view cell, char decimalSeparator);

// The general float-to-text conversion: at most 15 significant digits, no trailing zeros, fixed
// notation for 0.0001 <= |x| < 1E15, otherwise scientific (1E-5, 1.23E-5, 1E16); "INF", "-INF",
// "NAN" for non-finite values.
std::string FloatToText(double x, char decimalSeparator);

// A branch length in a tree text: FloatToText with ".".
std::string Len(double x);

// A matrix cell: rounded half away from zero to 5 decimals or 7 significant digits, whichever
// keeps fewer, written with exactly 5 decimals (123.45680); 1E7 and more in scientific form with
// 7 significant digits (1.234568E7). Non-finite values give "INF", "-INF" and "NAN".
std::string FormatMatrixCell(double x, char decimalSeparator);

// Plain decimal integer as the texts of lists and messages write it.
std::string IntToText(long long v);

}  // namespace ramovia
