// A reading that stops at a place in the text: the message names the line and column, and the
// front end puts the file's name in front ("FILE:LINE:COLUMN: what is wrong").
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace ramovia {

class InputError : public std::runtime_error {
 public:
  InputError(std::size_t line, std::size_t column, const std::string& what)
      : std::runtime_error(std::to_string(line) + ":" + std::to_string(column) + ": " + what),
        line_(line),
        column_(column) {}
  std::size_t line() const { return line_; }      // 1-based
  std::size_t column() const { return column_; }  // 1-based, in bytes

 private:
  std::size_t line_;
  std::size_t column_;
};

}  // namespace ramovia
