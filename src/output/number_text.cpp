#include "output/number_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace ramovia {

namespace {

std::string nonFiniteText(double x) {
  if (std::isnan(x)) return "NAN";
  return x < 0 ? "-INF" : "INF";
}

// Rounds the digit string d[0..keep) up by one unit in its last place; true when the carry runs
// out of the front (all nines), leaving "100…0" in d.
bool roundUp(char* d, int keep) {
  for (int i = keep - 1; i >= 0; --i) {
    if (d[i] != '9') {
      ++d[i];
      return false;
    }
    d[i] = '0';
  }
  d[0] = '1';
  return true;
}

// Reads the exponent after the 'e' of a to_chars scientific text.
int scientificExponent(const char* e, const char* end) {
  int value = 0;
  const bool negative = e[1] == '-';
  for (const char* c = e + 2; c < end; ++c) value = value * 10 + (*c - '0');
  return negative ? -value : value;
}

// Writes d1[sep d2…dk]E[-]exp.
void appendScientific(std::string& out, const char* digits, int count, int exponent, char sep) {
  out.push_back(digits[0]);
  if (count > 1) {
    out.push_back(sep);
    out.append(digits + 1, static_cast<std::size_t>(count - 1));
  }
  out.push_back('E');
  out += std::to_string(exponent);
}

constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000,
                                    100000000, 1000000000, 10000000000, 100000000000,
                                    1000000000000};

__extension__ typedef unsigned __int128 Uint128;

// round(a × 10^decimals), half away from zero, from the exact binary value; a < 1E7, decimals ≤ 5.
std::uint64_t roundScaled(double a, int decimals) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(a);
  const int exponentField = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int shift;  // a = mantissa × 2^-shift
  if (exponentField == 0) {
    shift = 1074;
  } else {
    mantissa |= std::uint64_t{1} << 52;
    shift = 1075 - exponentField;
  }
  // a < 2^24, so shift > 28; the product stays below 2^70.
  const Uint128 scaled = static_cast<Uint128>(mantissa) * kPow10[decimals];
  if (shift >= 128) return 0;  // less than 2^-58 of a unit
  const Uint128 whole = scaled >> shift;
  const Uint128 halfBit = (scaled >> (shift - 1)) & 1;
  return static_cast<std::uint64_t>(whole + halfBit);
}

// The first 8 significant digits of a (truncated, exact) and the decimal exponent of the first.
void leadingDigits(double a, char* digits8, int& exponent) {
  // 21 correctly rounded digits truncate to the exact 8 unless digits 9 to 21 are all zeros,
  // where the rounding may have crossed the boundary; then take the exact expansion.
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 20);
  // buf holds d1 '.' d2…d21 'e' sign exponent: digit n ≥ 2 sits at buf[n].
  // An integer below 10^21 is written exactly by those 21 digits.
  bool safe = a < 1e21 && std::floor(a) == a;
  for (int n = 9; n <= 21; ++n)
    if (buf[n] != '0') safe = true;
  if (safe) {
    digits8[0] = buf[0];
    for (int k = 1; k < 8; ++k) digits8[k] = buf[k + 1];
    exponent = scientificExponent(buf + 22, r.ptr);
    return;
  }
  // Every double of 1E7 or more has at most 29 binary, hence 29 decimal, fraction digits.
  char exact[400];
  const auto f = std::to_chars(exact, exact + sizeof exact, a, std::chars_format::fixed, 29);
  const char* point = exact;
  while (point < f.ptr && *point != '.') ++point;
  for (int k = 0; k < 8; ++k) digits8[k] = exact[k];
  exponent = static_cast<int>(point - exact) - 1;
}

}  // namespace

std::string floatToText(double x, char decimalSeparator) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (x == 0) return "0";
  // 18 significant digits first, then those rounded to 15: a double rounding, on purpose.
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific,
                               17);
  char d[15];
  d[0] = buf[0];
  for (int k = 1; k < 15; ++k) d[k] = buf[k + 1];
  const char* ePos = buf + 19;  // "d." + 17 digits
  int e = scientificExponent(ePos, r.ptr) + 1;  // |x| = 0.d1d2… × 10^e
  if (buf[16] >= '5' && roundUp(d, 15)) ++e;
  int k = 15;
  while (k > 1 && d[k - 1] == '0') --k;

  std::string out;
  out.reserve(24);
  if (x < 0) out.push_back('-');
  if (e > 15 || e < -3) {
    appendScientific(out, d, k, e - 1, decimalSeparator);
  } else if (e <= 0) {
    out.push_back('0');
    out.push_back(decimalSeparator);
    out.append(static_cast<std::size_t>(-e), '0');
    out.append(d, static_cast<std::size_t>(k));
  } else {
    for (int i = 0; i < e; ++i) out.push_back(i < k ? d[i] : '0');
    if (k > e) {
      out.push_back(decimalSeparator);
      out.append(d + e, static_cast<std::size_t>(k - e));
    }
  }
  return out;
}

std::string lengthText(double x) { return floatToText(x, '.'); }

std::string formatMatrixCell(double x, char decimalSeparator) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  const bool negative = std::signbit(x);
  const double a = std::fabs(x);
  std::string out;
  out.reserve(20);
  if (a < 1e7) {
    // 5 decimals, or fewer when 7 significant digits end sooner (from 100 upwards).
    const int decimals = a < 100 ? 5 : a < 1e3 ? 4 : a < 1e4 ? 3 : a < 1e5 ? 2 : a < 1e6 ? 1 : 0;
    const std::uint64_t rounded = roundScaled(a, decimals);
    if (rounded < kPow10[7 + decimals]) {
      char digits[32];
      const int pad = decimals + 1;  // at least one digit before the separator
      std::fill(digits, digits + pad, '0');
      const auto r = std::to_chars(digits + pad, digits + sizeof digits, rounded);
      const int count = static_cast<int>(r.ptr - (digits + pad));
      const char* first = count > pad ? digits + pad : r.ptr - pad;
      const int intCount = static_cast<int>(r.ptr - first) - decimals;
      if (negative && rounded != 0) out.push_back('-');
      out.append(first, static_cast<std::size_t>(intCount));
      out.push_back(decimalSeparator);
      out.append(first + intCount, static_cast<std::size_t>(decimals));
      out.append(static_cast<std::size_t>(5 - decimals), '0');
      return out;
    }
    // 9999999.5 and up round to 10^7.
    if (negative) out.push_back('-');
    appendScientific(out, "1", 1, 7, decimalSeparator);
    return out;
  }
  char d[8];
  int exponent = 0;
  leadingDigits(a, d, exponent);
  if (d[7] >= '5' && roundUp(d, 7)) ++exponent;
  int k = 7;
  while (k > 1 && d[k - 1] == '0') --k;
  if (negative) out.push_back('-');
  appendScientific(out, d, k, exponent, decimalSeparator);
  return out;
}

std::string intToText(long long v) { return std::to_string(v); }

}  // namespace ramovia
