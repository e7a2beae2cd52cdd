#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "input/number_reading.h"
#include "output/number_text.h"

namespace ramovia {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// ---- Reading -----------------------------------------------------------------------------------

TEST(ReadInputNumber, AcceptedShapes) {
  EXPECT_EQ(readInputNumber(" 1.5 ", '.'), 1.5);
  EXPECT_EQ(readInputNumber("+.5", '.'), 0.5);
  EXPECT_EQ(readInputNumber("-2", '.'), -2.0);
  EXPECT_EQ(readInputNumber("1.", '.'), 1.0);
  EXPECT_EQ(readInputNumber("1.5e3", '.'), 1500.0);
  EXPECT_EQ(readInputNumber("1.e2", '.'), 100.0);
  EXPECT_EQ(readInputNumber("2E-2", '.'), 0.02);
  EXPECT_EQ(readInputNumber("007", '.'), 7.0);
  // A lone separator reads as 0, also before an exponent.
  EXPECT_EQ(readInputNumber(".", '.'), 0.0);
  EXPECT_EQ(readInputNumber(".e2", '.'), 0.0);
  const auto minusZero = readInputNumber("-.", '.');
  ASSERT_TRUE(minusZero);
  EXPECT_TRUE(std::signbit(*minusZero));
  // The exponent's digits may be missing.
  EXPECT_EQ(readInputNumber("1e", '.'), 1.0);
  EXPECT_EQ(readInputNumber("1E+", '.'), 1.0);
  EXPECT_EQ(readInputNumber("2.5e- ", '.'), 2.5);
}

TEST(ReadInputNumber, RejectedShapes) {
  for (const char* s : {"", "   ", "-", "+", "?", "1 5", "1\t", "\t1", "1\t5", "0x10", "inf",
                        "INF", "nan", "infinity", "e5", "1e5.5", "1.2.3", "--1", "+-1", "1e+-2",
                        "1e 5", "1,5", "5-", "1 e5", "1_000", "1\n"})
    EXPECT_FALSE(readInputNumber(s, '.')) << '"' << s << '"';
  EXPECT_FALSE(readInputNumber(std::string_view("1\0", 2), '.'));
}

TEST(ReadInputNumber, DecimalSeparatorIsTheParameter) {
  EXPECT_EQ(readInputNumber("1,5", ','), 1.5);
  EXPECT_EQ(readInputNumber(" -0,25e1 ", ','), -2.5);
  EXPECT_FALSE(readInputNumber("1,5", '.'));
  EXPECT_FALSE(readInputNumber("1.5", ','));
  EXPECT_EQ(readInputNumber(",", ','), 0.0);
}

TEST(ReadInputNumber, OverflowDoesNotConvertUnderflowGivesNearest) {
  EXPECT_FALSE(readInputNumber("1e400", '.'));
  EXPECT_FALSE(readInputNumber("-1e400", '.'));
  EXPECT_FALSE(readInputNumber("1e99999999999999999999999", '.'));
  EXPECT_FALSE(readInputNumber(std::string(1000, '9'), '.'));
  EXPECT_FALSE(readInputNumber("1.7976931348623159e308", '.'));
  EXPECT_EQ(readInputNumber("1.7976931348623157e308", '.'), std::numeric_limits<double>::max());

  EXPECT_EQ(readInputNumber("1e-400", '.'), 0.0);
  const auto negativeTiny = readInputNumber("-1e-400", '.');
  ASSERT_TRUE(negativeTiny);
  EXPECT_EQ(*negativeTiny, 0.0);
  EXPECT_TRUE(std::signbit(*negativeTiny));
  EXPECT_EQ(readInputNumber("1e-99999999999999999999", '.'), 0.0);
  EXPECT_EQ(readInputNumber("2e-324", '.'), 0.0);
  EXPECT_EQ(readInputNumber("3e-324", '.'), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(readInputNumber("1e-310", '.'), 1e-310);
  EXPECT_EQ(readInputNumber("0e99999999999", '.'), 0.0);
  // Leading zeros of the fraction shift the magnitude back into range.
  EXPECT_EQ(readInputNumber("0." + std::string(400, '0') + "1e400", '.'), 0.1);
  EXPECT_EQ(readInputNumber(std::string(400, '0') + "5", '.'), 5.0);
}

TEST(ReadInputNumber, ReadsShortestTextsBackExactly) {
  std::mt19937_64 gen(7);
  for (int i = 0; i < 20000; ++i) {
    double x = std::bit_cast<double>(gen());
    if (!std::isfinite(x)) continue;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    std::string text(buf, r.ptr);
    auto v = readInputNumber(text, '.');
    ASSERT_TRUE(v) << text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*v), std::bit_cast<std::uint64_t>(x)) << text;
    for (auto& c : text)
      if (c == '.') c = ',';
    v = readInputNumber(text, ',');
    ASSERT_TRUE(v) << text;
    EXPECT_EQ(*v, x) << text;
  }
}

TEST(ReadMatrixNumber, ShapeOfAnEditedCell) {
  EXPECT_EQ(readMatrixNumber("  -2.5E-3  ", '.'), -0.0025);
  EXPECT_EQ(readMatrixNumber("0.50000", '.'), 0.5);
  EXPECT_EQ(readMatrixNumber("+1e2", '.'), 100.0);
  EXPECT_EQ(readMatrixNumber(".", '.'), 0.0);
  EXPECT_EQ(readMatrixNumber("0,25", ','), 0.25);
  EXPECT_EQ(readMatrixNumber("1e-400", '.'), 0.0);
  // Exponent digits are required; group separators and other blanks are not numbers.
  for (const char* s : {"1e", "1E+", "1e-", "", " ", "-", "1,000.5", "1 000", "\t1", "1\t", "abc",
                        "1e400", "1.0.0"})
    EXPECT_FALSE(readMatrixNumber(s, '.')) << '"' << s << '"';
  EXPECT_FALSE(readMatrixNumber("1.000,5", ','));
  EXPECT_FALSE(readMatrixNumber("1.5", ','));
}

TEST(ReadMatrixCell, ThrowsWithTheCellText) {
  EXPECT_EQ(readMatrixCell(" 0.75 ", '.'), 0.75);
  try {
    readMatrixCell("abc", '.');
    FAIL() << "no exception";
  } catch (const InvalidFloatError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
  try {
    readMatrixCell("", ',');
    FAIL() << "no exception";
  } catch (const InvalidFloatError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
  }
  EXPECT_THROW(readMatrixCell("1e", '.'), InvalidFloatError);
  EXPECT_THROW(readMatrixCell("0,5", '.'), std::runtime_error);
}

// ---- General float-to-text -----------------------------------------------------------------------

TEST(FloatToText, WorkedExamples) {
  EXPECT_EQ(lengthText(0.5), "0.5");
  EXPECT_EQ(lengthText(0.0001), "0.0001");
  EXPECT_EQ(lengthText(0.00001), "1E-5");
  EXPECT_EQ(lengthText(0.0000123), "1.23E-5");
  EXPECT_EQ(lengthText(-0.0125), "-0.0125");
  EXPECT_EQ(lengthText(1234.5), "1234.5");
  EXPECT_EQ(lengthText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(lengthText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(lengthText(1E16), "1E16");
  EXPECT_EQ(lengthText(0.09999999999999998), "0.1");
  EXPECT_EQ(lengthText(-0.05), "-0.05");
  EXPECT_EQ(lengthText(0.25), "0.25");
  EXPECT_EQ(lengthText(12), "12");
}

TEST(FloatToText, FixedOrScientificBoundaries) {
  EXPECT_EQ(lengthText(123456789012345.0), "123456789012345");
  EXPECT_EQ(lengthText(1E14), "100000000000000");
  EXPECT_EQ(lengthText(1E15), "1E15");
  EXPECT_EQ(lengthText(1234567890123456.0), "1.23456789012346E15");
  // Rounding to 15 digits carries into a sixteenth integer digit.
  EXPECT_EQ(lengthText(999999999999999.9), "1E15");
  EXPECT_EQ(lengthText(999999999999999.4), "999999999999999");
  EXPECT_EQ(lengthText(0.00009999999999999999), "0.0001");
  EXPECT_EQ(lengthText(0.000099999), "9.9999E-5");
  EXPECT_EQ(lengthText(-1.5e-7), "-1.5E-7");
  EXPECT_EQ(lengthText(1e100), "1E100");
  EXPECT_EQ(lengthText(std::numeric_limits<double>::max()), "1.79769313486232E308");
  EXPECT_EQ(lengthText(std::numeric_limits<double>::denorm_min()), "4.94065645841247E-324");
}

TEST(FloatToText, RoundsTheEighteenDigitTextNotTheDouble) {
  // 18 digits give ...404500, which rounds up; the exact value would round down.
  EXPECT_EQ(lengthText(0.5361380600824045), "0.536138060082405");
  EXPECT_EQ(lengthText(0.1272035841692295), "0.12720358416923");
}

TEST(FloatToText, ZeroSignsNonFiniteAndSeparator) {
  EXPECT_EQ(lengthText(0.0), "0");
  EXPECT_EQ(lengthText(-0.0), "0");
  EXPECT_EQ(lengthText(kInf), "INF");
  EXPECT_EQ(lengthText(-kInf), "-INF");
  EXPECT_EQ(lengthText(kNan), "NAN");
  EXPECT_EQ(floatToText(0.5, ','), "0,5");
  EXPECT_EQ(floatToText(-12.25, ','), "-12,25");
  EXPECT_EQ(floatToText(1.5e-5, ','), "1,5E-5");
  EXPECT_EQ(floatToText(6, ','), "6");
}

// The procedure spelled with printf: "%.17e", then 15 digits rounding half up on the text.
std::string floatToTextByPrintf(double x) {
  if (x == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(x));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 17);
  int e = std::atoi(std::strchr(buf, 'e') + 1) + 1;
  std::string d = digits.substr(0, 15);
  if (digits[15] >= '5') {
    int i = 14;
    while (i >= 0 && d[static_cast<std::size_t>(i)] == '9') d[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      d = "1" + std::string(14, '0');
      ++e;
    } else {
      ++d[static_cast<std::size_t>(i)];
    }
  }
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  const int k = static_cast<int>(d.size());
  std::string out = x < 0 ? "-" : "";
  if (e > 15 || e < -3) {
    out += d.substr(0, 1);
    if (k > 1) out += "." + d.substr(1);
    out += "E" + std::to_string(e - 1);
  } else if (e <= 0) {
    out += "0." + std::string(static_cast<std::size_t>(-e), '0') + d;
  } else {
    std::string intPart = d.substr(0, static_cast<std::size_t>(std::min(k, e)));
    intPart.append(static_cast<std::size_t>(std::max(0, e - k)), '0');
    out += intPart;
    if (k > e) out += "." + d.substr(static_cast<std::size_t>(e));
  }
  return out;
}

TEST(FloatToText, AgreesWithThePrintfProcedure) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 30000; ++i) {
    double x = i % 2 ? std::bit_cast<double>(gen()) : (unit(gen) - 0.5) * std::pow(10.0, exponent(gen));
    if (!std::isfinite(x)) continue;
    ASSERT_EQ(lengthText(x), floatToTextByPrintf(x)) << std::hexfloat << x;
  }
}

// ---- Matrix cells ------------------------------------------------------------------------------

std::string formatMatrixCellReference(double x);

TEST(FormatMatrixCell, WorkedExamples) {
  EXPECT_EQ(formatMatrixCell(0.123456789, '.'), "0.12346");
  EXPECT_EQ(formatMatrixCell(1, '.'), "1.00000");
  EXPECT_EQ(formatMatrixCell(123.456789, '.'), "123.45680");
  EXPECT_EQ(formatMatrixCell(0.5, '.'), "0.50000");
  EXPECT_EQ(formatMatrixCell(0.25, '.'), "0.25000");
  EXPECT_EQ(formatMatrixCell(0, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(1234567.891, '.'), "1234568.00000");
  EXPECT_EQ(formatMatrixCell(123456.789, '.'), "123456.80000");
  EXPECT_EQ(formatMatrixCell(12345.6789, '.'), "12345.68000");
  EXPECT_EQ(formatMatrixCell(-0.75, '.'), "-0.75000");
}

TEST(FormatMatrixCell, ExactBinaryTiesRoundAwayFromZero) {
  EXPECT_EQ(formatMatrixCell(0.015625, '.'), "0.01563");
  EXPECT_EQ(formatMatrixCell(-0.015625, '.'), "-0.01563");
  EXPECT_EQ(formatMatrixCell(0.046875, '.'), "0.04688");
  EXPECT_EQ(formatMatrixCell(12.015625, '.'), "12.01563");
  EXPECT_EQ(formatMatrixCell(123.03125, '.'), "123.03130");
  EXPECT_EQ(formatMatrixCell(1234.0625, '.'), "1234.06300");
  EXPECT_EQ(formatMatrixCell(1234567.5, '.'), "1234568.00000");
  EXPECT_EQ(formatMatrixCell(1234566.5, '.'), "1234567.00000");
  // Decimal texts that look like ties are decided by the double's exact value.
  EXPECT_EQ(formatMatrixCell(99.999995, '.'), "99.99999");   // just below
  EXPECT_EQ(formatMatrixCell(1.000005, '.'), "1.00001");     // just above
  EXPECT_EQ(formatMatrixCell(0.000005, '.'), "0.00001");
  EXPECT_EQ(formatMatrixCell(0.0000025, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(0.0000075, '.'), "0.00001");
}

TEST(FormatMatrixCell, NegativesThatRoundToZeroHaveNoSign) {
  EXPECT_EQ(formatMatrixCell(-0.000001, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(-0.0000049, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(-0.0, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(-1e-300, '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(-std::numeric_limits<double>::denorm_min(), '.'), "0.00000");
  EXPECT_EQ(formatMatrixCell(-0.000005, '.'), "-0.00001");
}

TEST(FormatMatrixCell, TenToTheSeventhAndMoreInScientificForm) {
  EXPECT_EQ(formatMatrixCell(9999999.4, '.'), "9999999.00000");
  EXPECT_EQ(formatMatrixCell(9999999.5, '.'), "1E7");
  EXPECT_EQ(formatMatrixCell(-9999999.5, '.'), "-1E7");
  EXPECT_EQ(formatMatrixCell(1E7, '.'), "1E7");
  EXPECT_EQ(formatMatrixCell(12345678.9, '.'), "1.234568E7");
  EXPECT_EQ(formatMatrixCell(-12345678.9, '.'), "-1.234568E7");
  EXPECT_EQ(formatMatrixCell(12345675, '.'), "1.234568E7");
  EXPECT_EQ(formatMatrixCell(12345665, '.'), "1.234567E7");  // a tie: away, not to even
  EXPECT_EQ(formatMatrixCell(12345664.999999998, '.'), "1.234566E7");
  EXPECT_EQ(formatMatrixCell(99999995, '.'), "1E8");
  EXPECT_EQ(formatMatrixCell(2e9, '.'), "2E9");
  EXPECT_EQ(formatMatrixCell(1.5e300, '.'), "1.5E300");
  EXPECT_EQ(formatMatrixCell(1e22, '.'), "1E22");  // exact: 21 digits cannot tell the 8th
  EXPECT_EQ(formatMatrixCell(123456785e15, '.'), formatMatrixCellReference(123456785e15));
  // Just below a tie by less than 21 digits show: 2.641889499999999999999…E30.
  EXPECT_EQ(formatMatrixCell(2.6418895e30, '.'), "2.641889E30");
  EXPECT_EQ(formatMatrixCell(1.4298105e44, '.'), "1.42981E44");
  EXPECT_EQ(formatMatrixCellReference(2.6418895e30), "2.641889E30");
  EXPECT_EQ(formatMatrixCell(std::numeric_limits<double>::max(), '.'), "1.797693E308");
}

TEST(FormatMatrixCell, SeparatorAndNonFinite) {
  EXPECT_EQ(formatMatrixCell(0.5, ','), "0,50000");
  EXPECT_EQ(formatMatrixCell(-123.456789, ','), "-123,45680");
  EXPECT_EQ(formatMatrixCell(12345678.9, ','), "1,234568E7");
  EXPECT_EQ(formatMatrixCell(kInf, '.'), "INF");
  EXPECT_EQ(formatMatrixCell(-kInf, '.'), "-INF");
  EXPECT_EQ(formatMatrixCell(kNan, ','), "NAN");
}

// Slow reference: the exact decimal expansion, rounded by hand.
std::string formatMatrixCellReference(double x) {
  static char buf[1500];
  std::snprintf(buf, sizeof buf, "%.1100f", std::fabs(x));
  const std::string s = buf;
  const std::size_t point = s.find('.');
  const std::string intPart = s.substr(0, point);
  const std::string digits = intPart + s.substr(point + 1);
  const bool negative = std::signbit(x);
  auto roundAt = [&](std::size_t keep, std::string& kept) {  // half away from zero
    kept = digits.substr(0, keep);
    if (digits[keep] < '5') return false;
    for (std::size_t i = keep; i-- > 0;) {
      if (kept[i] != '9') {
        ++kept[i];
        return false;
      }
      kept[i] = '0';
    }
    kept.insert(kept.begin(), '1');
    return true;
  };
  auto scientific = [&](std::string d, int e) {
    while (d.size() > 1 && d.back() == '0') d.pop_back();
    std::string out = negative ? "-" : "";
    out += d.substr(0, 1);
    if (d.size() > 1) out += "." + d.substr(1);
    return out + "E" + std::to_string(e);
  };
  if (intPart.size() >= 8) {
    std::string kept;
    const bool carry = roundAt(7, kept);
    return scientific(kept.substr(0, 7), static_cast<int>(intPart.size()) - 1 + (carry ? 1 : 0));
  }
  int e = static_cast<int>(intPart.size()) - 1;  // decimal exponent of the leading digit
  if (intPart == "0") e = -1;
  const int decimals = std::min(5, 6 - e);
  std::string kept;
  roundAt(intPart.size() + static_cast<std::size_t>(decimals), kept);
  const std::size_t intLen = kept.size() - static_cast<std::size_t>(decimals);
  if (intLen >= 8) return scientific(kept.substr(0, 7), static_cast<int>(intLen) - 1);
  std::string out = (negative && kept.find_first_not_of('0') != std::string::npos) ? "-" : "";
  std::string i = kept.substr(0, intLen);
  i.erase(0, std::min(i.find_first_not_of('0'), i.size() - 1));
  out += i + "." + kept.substr(intLen) + std::string(static_cast<std::size_t>(5 - decimals), '0');
  return out;
}

TEST(FormatMatrixCell, AgreesWithExactReference) {
  std::mt19937_64 gen(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double scales[] = {1e-7, 1e-5, 1e-3, 0.1, 1, 10, 150, 2000, 3e4, 5e5, 9e6, 1e7, 1.2e8, 1e15, 1e200};
  for (double scale : scales) {
    for (int i = 0; i < 4000; ++i) {
      const double x = (2 * unit(gen) - 1) * scale;
      ASSERT_EQ(formatMatrixCell(x, '.'), formatMatrixCellReference(x)) << std::hexfloat << x;
    }
  }
  // Any bit pattern, and exact binary fractions (ties at some decimal).
  for (int i = 0; i < 20000; ++i) {
    const double x = std::bit_cast<double>(gen());
    if (!std::isfinite(x)) continue;
    ASSERT_EQ(formatMatrixCell(x, '.'), formatMatrixCellReference(x)) << std::hexfloat << x;
  }
  std::uniform_int_distribution<std::int64_t> numerator(-(std::int64_t{1} << 40), std::int64_t{1} << 40);
  std::uniform_int_distribution<int> power(0, 40);
  for (int i = 0; i < 20000; ++i) {
    const double x = std::ldexp(static_cast<double>(numerator(gen)), -power(gen));
    ASSERT_EQ(formatMatrixCell(x, '.'), formatMatrixCellReference(x)) << std::hexfloat << x;
  }
  for (double x : {9999999.5, 9999999.499999999, 99999.995, 999999.95, 99.999995, 1e7, 12345665.0,
                   std::nextafter(1e7, 0.0), 5e-6, std::nextafter(5e-6, 0.0)})
    ASSERT_EQ(formatMatrixCell(x, '.'), formatMatrixCellReference(x)) << std::hexfloat << x;
}

}  // namespace
}  // namespace ramovia
