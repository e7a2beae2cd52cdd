#include "input/number_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ramovia {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Normalises a number of the accepted shape into C syntax and converts it.
std::optional<double> ConvertNormalised(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return std::nullopt;
  if (errno == ERANGE && std::isinf(v)) return std::nullopt;  // overflow does not convert
  return v;                                                   // underflow gives the nearest value
}

std::optional<double> ReadNumber(std::string_view s, char sep, bool exponentDigitsRequired) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  std::string norm;
  norm.reserve(n + 2);
  if (i < n && (s[i] == '+' || s[i] == '-')) norm.push_back(s[i++]);
  std::size_t mantissaChars = 0;
  while (i < n && IsDigit(s[i])) norm.push_back(s[i++]), ++mantissaChars;
  if (i < n && s[i] == sep) {
    ++i;
    ++mantissaChars;
    norm.push_back('.');
    while (i < n && IsDigit(s[i])) norm.push_back(s[i++]), ++mantissaChars;
  }
  if (mantissaChars == 0) return std::nullopt;
  // strtod needs a digit somewhere in the mantissa: "." and "-." read as zero.
  if (norm.back() == '.') norm.push_back('0');
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    std::string exponent = "e";
    if (i < n && (s[i] == '+' || s[i] == '-')) exponent.push_back(s[i++]);
    std::size_t digits = 0;
    while (i < n && IsDigit(s[i])) exponent.push_back(s[i++]), ++digits;
    if (digits == 0) {
      if (exponentDigitsRequired) return std::nullopt;
    } else {
      norm += exponent;
    }
  }
  while (i < n && s[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  return ConvertNormalised(norm);
}

}  // namespace

std::optional<double> ReadInputNumber(std::string_view cell, char decimalSeparator) {
  return ReadNumber(cell, decimalSeparator, false);
}

std::optional<double> ReadMatrixNumber(std::string_view cell, char decimalSeparator) {
  return ReadNumber(cell, decimalSeparator, true);
}

InvalidFloatError::InvalidFloatError(const std::string& cellText)
    : std::runtime_error("'" + cellText + "' is not a valid floating point value") {}

double ReadMatrixCell(std::string_view cell, char decimalSeparator) {
  auto v = ReadMatrixNumber(cell, decimalSeparator);
  if (!v) throw InvalidFloatError(std::string(cell));
  return *v;
}

std::string IntToText(long long v) { return std::to_string(v); }

}  // namespace ramovia

// Placeholders until the exact formats land.
namespace ramovia {
std::string FloatToText(double x, char decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", x);
  std::string s = buf;
  for (auto& c : s)
    if (c == '.') c = decimalSeparator;
  return s;
}
std::string Len(double x) { return FloatToText(x, '.'); }
std::string FormatMatrixCell(double x, char decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.5f", x);
  std::string s = buf;
  for (auto& c : s)
    if (c == '.') c = decimalSeparator;
  return s;
}
}  // namespace ramovia
