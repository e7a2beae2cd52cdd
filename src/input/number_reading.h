// How the program reads a number from a cell of text. The decimal separator is a parameter: the
// user's locale in the desktop program, an option of the command line.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ramovia {

// A cell of the input table: blanks, sign, digits, optional separator and digits, optional
// exponent whose digits may be missing, blanks. A lone separator reads as 0; a lone sign, an empty
// cell or a value that overflows a double does not convert.
std::optional<double> readInputNumber(std::string_view cell, char decimalSeparator);

// An edited cell of the matrix grid (exponent digits required, no other blanks than spaces).
std::optional<double> readMatrixNumber(std::string_view cell, char decimalSeparator);

// The failure of reading an edited matrix cell: "'%s' is not a valid floating point value".
class InvalidFloatError : public std::runtime_error {
 public:
  explicit InvalidFloatError(const std::string& cellText);
};
// readMatrixNumber that throws InvalidFloatError.
double readMatrixCell(std::string_view cell, char decimalSeparator);

}  // namespace ramovia
