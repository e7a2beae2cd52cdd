#include "input/number_reading.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>

namespace ramovia {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The pieces of a number text of the accepted shape.
struct NumberParts {
  bool negative = false;
  std::string_view intDigits;
  std::string_view fracDigits;
  std::string_view expDigits;
  bool expNegative = false;
};

// Splits s into the parts of "blanks, sign, digits, separator, digits, exponent, blanks"; false
// when s has another shape. Only spaces count as blanks.
bool splitNumber(std::string_view s, char sep, bool exponentDigitsRequired, NumberParts& out) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  if (i < n && (s[i] == '+' || s[i] == '-')) out.negative = s[i++] == '-';
  std::size_t start = i;
  while (i < n && isDigit(s[i])) ++i;
  out.intDigits = s.substr(start, i - start);
  bool hasSeparator = false;
  if (i < n && s[i] == sep) {
    hasSeparator = true;
    start = ++i;
    while (i < n && isDigit(s[i])) ++i;
    out.fracDigits = s.substr(start, i - start);
  }
  if (out.intDigits.empty() && !hasSeparator) return false;
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) out.expNegative = s[i++] == '-';
    start = i;
    while (i < n && isDigit(s[i])) ++i;
    out.expDigits = s.substr(start, i - start);
    if (out.expDigits.empty() && exponentDigitsRequired) return false;
  }
  while (i < n && s[i] == ' ') ++i;
  return i == n;
}

// The exponent's value, saturated far beyond any double's range.
long long exponentValue(const NumberParts& p) {
  constexpr long long kCap = 1'000'000'000'000LL;
  long long e = 0;
  for (char c : p.expDigits)
    if (e < kCap) e = e * 10 + (c - '0');
  return p.expNegative ? -e : e;
}

// Converts locale-independently (from_chars, not strtod, which follows LC_NUMERIC).
std::optional<double> convert(const NumberParts& p) {
  const long long exponent = exponentValue(p);
  std::string text;
  text.reserve(p.intDigits.size() + p.fracDigits.size() + 24);
  if (p.negative) text.push_back('-');
  if (p.intDigits.empty())
    text.push_back('0');
  else
    text.append(p.intDigits);
  if (!p.fracDigits.empty()) {
    text.push_back('.');
    text.append(p.fracDigits);
  }
  if (exponent != 0) {
    text.push_back('e');
    text += std::to_string(exponent);
  }
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return v;
  if (r.ec != std::errc::result_out_of_range) return std::nullopt;
  // Out of range is overflow or underflow; the decimal magnitude of the leading digit tells which.
  long long firstNonZero = -1;
  const long long intLen = static_cast<long long>(p.intDigits.size());
  for (std::size_t k = 0; k < p.intDigits.size() && firstNonZero < 0; ++k)
    if (p.intDigits[k] != '0') firstNonZero = static_cast<long long>(k);
  for (std::size_t k = 0; k < p.fracDigits.size() && firstNonZero < 0; ++k)
    if (p.fracDigits[k] != '0') firstNonZero = intLen + static_cast<long long>(k);
  if (firstNonZero < 0) return p.negative ? -0.0 : 0.0;
  const long long magnitude = intLen - 1 - firstNonZero + exponent;
  if (magnitude > 0) return std::nullopt;  // overflow does not convert
  return p.negative ? -0.0 : 0.0;          // underflow gives the nearest double
}

std::optional<double> readNumber(std::string_view s, char sep, bool exponentDigitsRequired) {
  NumberParts parts;
  if (!splitNumber(s, sep, exponentDigitsRequired, parts)) return std::nullopt;
  return convert(parts);
}

}  // namespace

std::optional<double> readInputNumber(std::string_view cell, char decimalSeparator) {
  return readNumber(cell, decimalSeparator, false);
}

std::optional<double> readMatrixNumber(std::string_view cell, char decimalSeparator) {
  return readNumber(cell, decimalSeparator, true);
}

InvalidFloatError::InvalidFloatError(const std::string& cellText)
    : std::runtime_error("'" + cellText + "' is not a valid floating point value") {}

double readMatrixCell(std::string_view cell, char decimalSeparator) {
  auto v = readMatrixNumber(cell, decimalSeparator);
  if (!v) throw InvalidFloatError(std::string(cell));
  return *v;
}

}  // namespace ramovia
