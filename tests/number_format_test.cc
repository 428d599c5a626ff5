#include "number_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

using field_function = std::size_t (*)(char*, double, int, int);

// Runs one field and checks the returned length against the terminator.
std::string field(field_function f, double x, int width, int precision) {
  char buf[number_field_capacity + 1];
  std::memset(buf, '#', sizeof buf);
  const std::size_t n = f(buf, x, width, precision);
  EXPECT_LE(n, number_field_capacity);
  EXPECT_EQ(buf[n], '\0');
  return std::string(buf, n);
}

// The input in a form that pins down the double exactly, for failure messages.
std::string describe(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g (%a)", x, x);
  return buf;
}

struct e_case {
  double x;
  const char* expected;
};

// "%10.5e": exact halves round away from zero, values just below a half that
// reach it at 17 digits round up too, and carries move into the exponent.
const std::vector<e_case> e_ten_five_cases = {
    {0.01, "1.00000e-002"},
    {1e300, "1.00000e+300"},
    {1.0, "1.00000e+000"},
    {1.015625, "1.01563e+000"},
    {-1.015625, "-1.01563e+000"},
    {4.155735, "4.15574e+000"},
    {1.0000005, "1.00000e+000"},
    {0.1234565, "1.23457e-001"},
    {9.999995, "1.00000e+001"},
    {-9.999995, "-1.00000e+001"},
    {999999.5, "1.00000e+006"},
    {0.0, "0.00000e+000"},
    {-0.0, "0.00000e+000"},
    {123456.5, "1.23457e+005"},
    {-123456.5, "-1.23457e+005"},
    {std::nextafter(123456.5, 0.0), "1.23456e+005"},
    {std::nextafter(123456.5, inf), "1.23457e+005"},
    {4.9406564584124654e-324, "4.94066e-324"},
    {-4.9406564584124654e-324, "-4.94066e-324"},
    {1e-310, "1.00000e-310"},
    {2.2250738585072014e-308, "2.22507e-308"},
    {1.7976931348623157e308, "1.79769e+308"},
    {-1.7976931348623157e308, "-1.79769e+308"},
    {1e-300, "1.00000e-300"},
    {9.9999949999999999e-100, "1.00000e-099"},
    {0.1, "1.00000e-001"},
    {1e22, "1.00000e+022"},
    {1e23, "1.00000e+023"},
    {12345678901234.0625, "1.23457e+013"},
    {-273.15, "-2.73150e+002"},
};

TEST(FormatE, TenFiveTable) {
  for (const e_case& c : e_ten_five_cases) {
    EXPECT_EQ(field(format_e, c.x, 10, 5), c.expected) << describe(c.x);
    EXPECT_EQ(field(format_e_exact, c.x, 10, 5), c.expected) << describe(c.x);
  }
}

struct precision_case {
  double x;
  int precision;
  const char* expected;
};

// Other precisions, width 0. Past 17 significant digits only zeros follow,
// because the first rounding stage has already dropped the rest.
const std::vector<precision_case> e_precision_cases = {
    {0.1, 16, "1.0000000000000001e-001"},
    {0.1, 17, "1.00000000000000010e-001"},
    {0.1, 20, "1.00000000000000010000e-001"},
    {12345678901234.0625, 16, "1.2345678901234063e+013"},
    {12345678901234.0625, 17, "1.23456789012340630e+013"},
    // Just under a half at digit 18, though 20 rounded digits read ...500.
    {-0.05931408423378646, 16, "-5.9314084233786458e-002"},
    {4.298595972045442e-255, 16, "4.2985959720454420e-255"},
    {2.5, 0, "3e+000"},
    {1.5, 0, "2e+000"},
    {9.5, 0, "1e+001"},
    {0.45, 0, "5e-001"},
    {-0.0, 0, "0e+000"},
    {1.0000005, 6, "1.000001e+000"},
    {1.0000005, 5, "1.00000e+000"},
    {4.155735, 5, "4.15574e+000"},
    {4.155735, 6, "4.155735e+000"},
    {123456.5, 4, "1.2346e+005"},
    {4.9406564584124654e-324, 16, "4.9406564584124654e-324"},
    {1.7976931348623157e308, 16, "1.7976931348623157e+308"},
    {0.3, 15, "3.000000000000000e-001"},
    {2.0 / 3.0, 15, "6.666666666666666e-001"},
    {-1.0, -1, "-1.000000e+000"},
};

TEST(FormatE, PrecisionTable) {
  for (const precision_case& c : e_precision_cases) {
    EXPECT_EQ(field(format_e, c.x, 0, c.precision), c.expected)
        << describe(c.x) << " precision " << c.precision;
    EXPECT_EQ(field(format_e_exact, c.x, 0, c.precision), c.expected)
        << describe(c.x) << " precision " << c.precision;
  }
}

struct g_case {
  double x;
  const char* ten_five;
  const char* eight_four;
};

// "%10.5g" and "%8.4g": the form follows the exponent after rounding, and
// trailing zeros and a bare point are dropped.
const std::vector<g_case> g_cases = {
    {100.0, "       100", "     100"},
    {1.2345e-05, "1.2345e-005", "1.235e-005"},
    {0.012345678, "  0.012346", " 0.01235"},
    {0.0, "         0", "       0"},
    {-0.0, "         0", "       0"},
    {99999.5, "    1e+005", "  1e+005"},
    {std::nextafter(99999.5, 0.0), "     99999", "  1e+005"},
    {99999.4, "     99999", "  1e+005"},
    {0.0001, "    0.0001", "  0.0001"},
    {1e-05, "    1e-005", "  1e-005"},
    {9.9999e-05, "9.9999e-005", "  0.0001"},
    {9.999951e-05, "    0.0001", "  0.0001"},
    {9.9999949999999e-05, "    0.0001", "  0.0001"},
    {123456.0, "1.2346e+005", "1.235e+005"},
    {12345.0, "     12345", "1.235e+004"},
    {-12345.0, "    -12345", "-1.235e+004"},
    {1234.5, "    1234.5", "    1235"},
    {9999.5, "    9999.5", "  1e+004"},
    {-1.5, "      -1.5", "    -1.5"},
    {4.9406564584124654e-324, "4.9407e-324", "4.941e-324"},
    {1.7976931348623157e+308, "1.7977e+308", "1.798e+308"},
    {1234567.0, "1.2346e+006", "1.235e+006"},
    {0.5, "       0.5", "     0.5"},
    {1.0, "         1", "       1"},
    {-1.0, "        -1", "      -1"},
    {4.155735, "    4.1557", "   4.156"},
    {1.015625, "    1.0156", "   1.016"},
    {0.1234565, "   0.12346", "  0.1235"},
    {12.5, "      12.5", "    12.5"},
    {0.00012345, "0.00012345", "0.0001234"},
    {3.14159265358979, "    3.1416", "   3.142"},
};

TEST(FormatG, TenFiveAndEightFourTable) {
  for (const g_case& c : g_cases) {
    EXPECT_EQ(field(format_g, c.x, 10, 5), c.ten_five) << describe(c.x);
    EXPECT_EQ(field(format_g_exact, c.x, 10, 5), c.ten_five) << describe(c.x);
    EXPECT_EQ(field(format_g, c.x, 8, 4), c.eight_four) << describe(c.x);
    EXPECT_EQ(field(format_g_exact, c.x, 8, 4), c.eight_four) << describe(c.x);
  }
}

// Other precisions, width 0; precision 0 means one digit.
const std::vector<precision_case> g_precision_cases = {
    {0.25, 0, "0.3"},
    {0.25, 1, "0.3"},
    {35.0, 0, "4e+001"},
    {35.0, 1, "4e+001"},
    {0.1, 17, "0.10000000000000001"},
    {0.1, 16, "0.1"},
    {100.0, 2, "1e+002"},
    {100.0, 3, "100"},
    {0.0001, 1, "0.0001"},
    {9.999999e-05, 3, "0.0001"},
    {2.0 / 3.0, 17, "0.66666666666666663"},
    {1e-310, 17, "9.9999999999999694e-311"},
    {123456789.0, 9, "123456789"},
    {123456789.0, 8, "1.2345679e+008"},
    {0.0, 0, "0"},
};

TEST(FormatG, PrecisionTable) {
  for (const precision_case& c : g_precision_cases) {
    EXPECT_EQ(field(format_g, c.x, 0, c.precision), c.expected)
        << describe(c.x) << " precision " << c.precision;
    EXPECT_EQ(field(format_g_exact, c.x, 0, c.precision), c.expected)
        << describe(c.x) << " precision " << c.precision;
  }
}

struct f_case {
  double x;
  int width;
  int precision;
  const char* expected;
};

// Fixed form rounds the 17-digit string at the last shown place; whatever
// rounds to zero loses its minus sign.
const std::vector<f_case> f_cases = {
    {1.0, 4, 1, " 1.0"},
    {-1.0, 4, 1, "-1.0"},
    {0.0, 4, 1, " 0.0"},
    {-0.0, 4, 1, " 0.0"},
    {0.05, 4, 1, " 0.1"},
    {-0.05, 4, 1, "-0.1"},
    {-0.04, 4, 1, " 0.0"},
    {0.25, 4, 1, " 0.3"},
    {-0.25, 4, 1, "-0.3"},
    {0.35, 4, 1, " 0.3"},
    {0.95, 4, 1, " 0.9"},
    {2.5, 4, 1, " 2.5"},
    {9.96, 4, 1, "10.0"},
    {-9.96, 4, 1, "-10.0"},
    {123.456, 4, 1, "123.5"},
    {1e+20, 4, 1, "100000000000000000000.0"},
    {0.5, 4, 0, "   1"},
    {2.5, 4, 0, "   3"},
    {0.4, 4, 0, "   0"},
    {-0.4, 4, 0, "   0"},
    {-0.5, 4, 0, "  -1"},
    {4.9406564584124654e-324, 10, 3, "     0.000"},
    {-4.9406564584124654e-324, 10, 3, "     0.000"},
    {1.005, 0, 2, "1.00"},
    {0.125, 0, 2, "0.13"},
    {-0.125, 0, 2, "-0.13"},
    {0.1, 0, 20, "0.10000000000000001000"},
    {0.0004, 0, 3, "0.000"},
    {0.0005, 0, 3, "0.001"},
    {-0.00049, 0, 3, "0.000"},
    {1e-05, 0, 1, "0.0"},
    {12345.678, 10, 2, "  12345.68"},
};

TEST(FormatF, Table) {
  for (const f_case& c : f_cases) {
    EXPECT_EQ(field(format_f, c.x, c.width, c.precision), c.expected)
        << describe(c.x) << " width " << c.width << " precision " << c.precision;
  }
}

TEST(FormatFields, NonFiniteValuesFillTheWidth) {
  const field_function all[] = {format_e, format_g, format_f, format_e_exact, format_g_exact};
  for (field_function f : all) {
    EXPECT_EQ(field(f, inf, 10, 5), "       inf");
    EXPECT_EQ(field(f, -inf, 10, 5), "      -inf");
    EXPECT_EQ(field(f, nan_value, 10, 5), "       nan");
    EXPECT_EQ(field(f, -nan_value, 10, 5), "       nan");
    EXPECT_EQ(field(f, -inf, 0, 5), "-inf");
    EXPECT_EQ(field(f, nan_value, 2, 5), "nan");
  }
}

TEST(FormatFields, WidthPadsOnTheLeftAndNeverCuts) {
  EXPECT_EQ(field(format_e, 1.5, 0, 5), "1.50000e+000");
  EXPECT_EQ(field(format_e, 1.5, 20, 5), "        1.50000e+000");
  EXPECT_EQ(field(format_e, -1.5, 10, 5), "-1.50000e+000");
  EXPECT_EQ(field(format_g, 1.5, 1, 5), "1.5");
  EXPECT_EQ(field(format_g, -1.5, 6, 5), "  -1.5");
  EXPECT_EQ(field(format_f, -123.25, 2, 1), "-123.3");
  EXPECT_EQ(field(format_e, 1.5, -3, 1), "1.5e+000");
}

TEST(FormatFields, ExtremeRequestsStayWithinCapacity) {
  const std::string widest = field(format_e, 1.0, 100000, 2);
  EXPECT_EQ(widest.size(), number_field_capacity);
  EXPECT_EQ(widest.substr(widest.size() - 9), "1.00e+000");
  // Precision is capped; the largest double in fixed form still fits.
  const std::string longest = field(format_f, -1.7976931348623157e308, 0, 100000);
  EXPECT_EQ(longest.substr(0, 20), "-1797693134862315700");
  const std::string many_digits = field(format_e, 0.1, 0, 100000);
  EXPECT_EQ(many_digits.substr(0, 20), "1.000000000000000100");
  EXPECT_EQ(many_digits.substr(many_digits.size() - 7), "00e-001");
  EXPECT_EQ(field(format_g, 0.1, 0, 100000), "0.10000000000000001");
}

TEST(FormatLd, Table) {
  struct ld_case {
    std::int64_t value;
    const char* expected;
  };
  const ld_case cases[] = {
      {0, "0"},
      {7, "7"},
      {-1, "-1"},
      {400000, "400000"},
      {-1234567890123, "-1234567890123"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const ld_case& c : cases) {
    char buf[number_field_capacity + 1];
    const std::size_t n = format_ld(buf, c.value);
    EXPECT_EQ(std::string(buf, n), c.expected);
    EXPECT_EQ(buf[n], '\0');
  }
}

// Fast and exact fields agree for one value in the forms the tool prints and
// at the given number of significant digits.
void expect_fast_matches_exact(double x, int significant) {
  const int e_precision = significant - 1;
  ASSERT_EQ(field(format_e, x, 10, e_precision), field(format_e_exact, x, 10, e_precision))
      << describe(x);
  ASSERT_EQ(field(format_g, x, 10, significant), field(format_g_exact, x, 10, significant))
      << describe(x);
}

double double_from_bits(std::uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

TEST(FormatFastPath, MatchesExactForRandomBitPatterns) {
  std::mt19937_64 rng(20240611);
  for (int i = 0; i < 100000; ++i) {
    const double x = double_from_bits(rng());
    if (!std::isfinite(x)) continue;
    const int significant = 1 + static_cast<int>(rng() % 19);
    expect_fast_matches_exact(x, significant);
    expect_fast_matches_exact(x, 6);
  }
}

TEST(FormatFastPath, MatchesExactForShortBinaryFractions) {
  // Integers over powers of two have short exact expansions that often end
  // in 5, so they land on exact halves of the 17-digit and shorter stages.
  std::mt19937_64 rng(77);
  for (int i = 0; i < 50000; ++i) {
    const int mantissa_bits = 1 + static_cast<int>(rng() % 53);
    const auto mantissa = static_cast<double>(rng() >> (64 - mantissa_bits));
    const double x = std::ldexp(mantissa, -static_cast<int>(rng() % 64));
    expect_fast_matches_exact(x, 1 + static_cast<int>(rng() % 19));
    expect_fast_matches_exact(-x, 6);
  }
}

// The double nearest <mantissa>5e<exponent>: a decimal half right after the
// mantissa's digits.
double decimal_half(std::uint64_t mantissa, int exponent) {
  char text[64];
  char* p = std::to_chars(text, text + 40, mantissa).ptr;
  *p++ = '5';
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exponent).ptr;
  double x = 0;
  std::from_chars(text, p, x);
  return x;
}

TEST(FormatFastPath, MatchesExactAroundDecimalHalves) {
  // The neighbours of the double nearest a half are where the shortest
  // digits end in that 5 while the value itself sits on either side.
  EXPECT_EQ(decimal_half(1000000, -7), 1.0000005);
  EXPECT_EQ(decimal_half(415573, -6), 4.155735);
  EXPECT_EQ(decimal_half(123456, -7), 0.1234565);
  std::mt19937_64 rng(5);
  for (int i = 0; i < 12000; ++i) {
    const int significant = 4 + i % 3;
    std::uint64_t low = 1;
    for (int k = 1; k < significant; ++k) low *= 10;
    const std::uint64_t mantissa = low + rng() % (9 * low);
    const int exponent = static_cast<int>(rng() % 640) - 330;
    const double half = decimal_half(mantissa, exponent);
    if (half == 0 || !std::isfinite(half)) continue;
    double x = std::nextafter(std::nextafter(half, 0.0), 0.0);
    for (int step = 0; step < 5; ++step) {
      expect_fast_matches_exact(x, significant);
      expect_fast_matches_exact(-x, significant);
      x = std::nextafter(x, inf);
    }
  }
}

}  // namespace
