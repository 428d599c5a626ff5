// Number fields in the manner of the old C runtime the tool imitates.
//
// Every real number goes through two roundings, both half away from zero:
// first to 17 significant digits from its exact binary value, then from that
// 17-digit string to the digits the field shows. So 4.155735 (stored as
// 4.1557349999999999568...) becomes 4.1557350000000000 and then 4.15574.
//
// The exact expansion of a double can run to 767 digits, far too slow to
// produce for each of the hundreds of thousands of numbers in a result file.
// The fast path starts from the shortest round-trip digits S instead (n
// digits, P wanted). S lies within half an ulp of x and no shorter decimal
// lies in x's rounding interval, which settles the result from S alone:
//  - n <= P (and P <= 15, x normal): the ulp is too small against the P-th
//    digit for either rounding to move x off S, so S padded is the answer;
//  - n >= P+1 and S is not exactly a half at digit P+1: a P-digit half point
//    h between x and S would itself be a shorter (or, for n = P+1, a closer)
//    decimal in the interval. Nor can x sit in the half unit of digit 17
//    just below h (where the first rounding lifts it onto h) with S below h:
//    that half unit is narrower than half an ulp, so h would again be in the
//    interval. Rounding S half up to P digits is therefore exact;
//  - n = P+1 with last digit 5: S is the half point itself and x may lie on
//    either side, so the 17-digit stage is computed for real.
// The 17-digit stage comes from 20 correctly rounded digits; only when those
// end in exactly 500 (x at or within a hair of a 17-digit half) does it fall
// back to the full expansion.

#include "number_format.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Digits past the 17th are zeros by construction, so a larger precision only
// adds padding; the cap keeps every field inside number_field_capacity
// (the widest, "%f" of DBL_MAX, is 1 + 309 + 1 + 80 characters).
constexpr int max_precision = 80;

// Precision printf assumes when none is given (here: when it is negative).
constexpr int default_precision = 6;

// Significant digits d[0].d[1]d[2]... x 10^exponent of a non-negative value.
// Digits past count are zeros; zero itself is the single digit '0'.
struct decimal_digits {
  char digit[24];
  int count;
  int exponent;
};

int clamp_precision(int precision) {
  if (precision < 0) return default_precision;
  return std::min(precision, max_precision);
}

int clamp_width(int width) {
  return std::clamp(width, 0, static_cast<int>(number_field_capacity));
}

void set_zero(decimal_digits& d) {
  d.digit[0] = '0';
  d.count = 1;
  d.exponent = 0;
}

// Adds one unit in the last kept digit. A carry out of the leading digit
// (9.99 -> 10.0) leaves "1" one decade up.
void increment_last(decimal_digits& d) {
  for (int i = d.count - 1; i >= 0; --i) {
    if (d.digit[i] != '9') {
      ++d.digit[i];
      return;
    }
    d.digit[i] = '0';
  }
  d.digit[0] = '1';
  d.count = 1;
  ++d.exponent;
}

// Rounds half up to `significant` digits (>= 1); shorter strings already are.
void round_to_significant(decimal_digits& d, int significant) {
  if (d.count <= significant) return;
  const char next = d.digit[significant];
  d.count = significant;
  if (next >= '5') increment_last(d);
}

// Reads the exponent after the 'e' of std::to_chars scientific output.
int parse_exponent(const char* p, const char* last) {
  const bool negative = *p == '-';
  ++p;
  int e = 0;
  for (; p != last; ++p) e = e * 10 + (*p - '0');
  return negative ? -e : e;
}

// Splits std::to_chars scientific output ("d[.ddd]e+XX") into digits. A
// double's exponent has two or three digits, so the 'e' is found from the end.
void parse_scientific(const char* first, const char* last, decimal_digits& d) {
  const char* e = last[-4] == 'e' ? last - 4 : last - 5;
  d.digit[0] = first[0];
  int n = 1;
  for (const char* p = first + 2; p < e; ++p) d.digit[n++] = *p;
  d.count = n;
  d.exponent = parse_exponent(e + 1, last);
}

// First stage from the exact expansion: 767 significant digits hold every
// finite double exactly, and the 18th of them decides the half-up rounding.
void exact_seventeen_digits(double ax, decimal_digits& d) {
  char buf[800];
  const auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, 766);
  d.digit[0] = buf[0];
  std::memcpy(d.digit + 1, buf + 2, 16);
  d.count = 17;
  d.exponent = parse_exponent(buf + 2 + 766 + 1, r.ptr);
  if (buf[2 + 16] >= '5') increment_last(d);
}

// First stage from 20 correctly rounded digits. Their tail (digits 18-20)
// tells the half-up decision at digit 18 unless it is exactly 500, where the
// unrounded value may be just under, at, or just over the half.
void seventeen_digits(double ax, decimal_digits& d) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, 19);
  const char* tail = buf + 2 + 16;
  if (tail[0] == '5' && tail[1] == '0' && tail[2] == '0') {
    exact_seventeen_digits(ax, d);
    return;
  }
  d.digit[0] = buf[0];
  std::memcpy(d.digit + 1, buf + 2, 16);
  d.count = 17;
  d.exponent = parse_exponent(buf + 2 + 19 + 1, r.ptr);
  if (tail[0] >= '5') increment_last(d);
}

// Both stages for a finite ax > 0, ending with `significant` (>= 1) digits.
void rounded_digits(double ax, int significant, decimal_digits& d) {
  if (significant <= 15 && ax >= DBL_MIN) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific);
    parse_scientific(buf, r.ptr, d);
    if (d.count <= significant) return;
    if (d.count != significant + 1 || d.digit[significant] != '5') {
      round_to_significant(d, significant);
      return;
    }
  }
  seventeen_digits(ax, d);
  round_to_significant(d, significant);
}

// The reference: both stages straight from the exact expansion.
void exact_rounded_digits(double ax, int significant, decimal_digits& d) {
  exact_seventeen_digits(ax, d);
  round_to_significant(d, significant);
}

char digit_at(const decimal_digits& d, int i) {
  return i >= 0 && i < d.count ? d.digit[i] : '0';
}

// Drops trailing zeros, keeping at least one digit.
int trimmed_count(const decimal_digits& d) {
  int n = d.count;
  while (n > 1 && d.digit[n - 1] == '0') --n;
  return n;
}

// Writes "e", a sign and exactly three digits; |exponent| stays below 1000.
char* put_exponent(char* p, int exponent) {
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const int e = exponent < 0 ? -exponent : exponent;
  *p++ = static_cast<char>('0' + e / 100);
  *p++ = static_cast<char>('0' + e / 10 % 10);
  *p++ = static_cast<char>('0' + e % 10);
  return p;
}

// Places body right-aligned in a field of width blanks, then a NUL.
std::size_t put_field(char* out, const char* body, std::size_t length, int width) {
  const std::size_t field = std::max(length, static_cast<std::size_t>(width));
  const std::size_t blanks = field - length;
  std::memset(out, ' ', blanks);
  std::memcpy(out + blanks, body, length);
  out[field] = '\0';
  return field;
}

std::size_t put_non_finite(char* out, double x, int width) {
  if (std::isnan(x)) return put_field(out, "nan", 3, width);
  if (x < 0) return put_field(out, "-inf", 4, width);
  return put_field(out, "inf", 3, width);
}

// The hot field of the result file, so it is written in place: its length is
// known before any digit is placed.
std::size_t put_e(char* out, bool negative, const decimal_digits& d, int width, int precision) {
  const std::size_t fraction = precision > 0 ? 1u + static_cast<std::size_t>(precision) : 0u;
  const std::size_t length = (negative ? 1u : 0u) + 1u + fraction + 5u;
  const std::size_t field = std::max(length, static_cast<std::size_t>(width));
  if (field > length) std::memset(out, ' ', field - length);
  char* p = out + (field - length);
  if (negative) *p++ = '-';
  *p++ = d.digit[0];
  if (precision > 0) {
    *p++ = '.';
    for (int i = 1; i <= precision; ++i) *p++ = digit_at(d, i);
  }
  p = put_exponent(p, d.exponent);
  *p = '\0';
  return field;
}

std::size_t put_g(char* out, bool negative, const decimal_digits& d, int width, int significant) {
  char body[number_field_capacity];
  char* p = body;
  if (negative) *p++ = '-';
  const int n = trimmed_count(d);
  const int e = d.exponent;
  if (e < -4 || e >= significant) {
    *p++ = d.digit[0];
    if (n > 1) {
      *p++ = '.';
      for (int i = 1; i < n; ++i) *p++ = d.digit[i];
    }
    p = put_exponent(p, e);
  } else if (e < 0) {
    *p++ = '0';
    *p++ = '.';
    for (int i = -1; i > e; --i) *p++ = '0';
    for (int i = 0; i < n; ++i) *p++ = d.digit[i];
  } else {
    for (int i = 0; i <= e; ++i) *p++ = digit_at(d, i);
    if (n > e + 1) {
      *p++ = '.';
      for (int i = e + 1; i < n; ++i) *p++ = d.digit[i];
    }
  }
  return put_field(out, body, static_cast<std::size_t>(p - body), width);
}

std::size_t format_e_with(void (*digits)(double, int, decimal_digits&), char* out, double x,
                          int width, int precision) {
  width = clamp_width(width);
  precision = clamp_precision(precision);
  if (!std::isfinite(x)) return put_non_finite(out, x, width);
  decimal_digits d;
  const bool nonzero = x != 0;
  if (nonzero) {
    digits(std::fabs(x), precision + 1, d);
  } else {
    set_zero(d);
  }
  return put_e(out, nonzero && x < 0, d, width, precision);
}

std::size_t format_g_with(void (*digits)(double, int, decimal_digits&), char* out, double x,
                          int width, int precision) {
  width = clamp_width(width);
  const int significant = std::max(clamp_precision(precision), 1);
  if (!std::isfinite(x)) return put_non_finite(out, x, width);
  decimal_digits d;
  const bool nonzero = x != 0;
  if (nonzero) {
    digits(std::fabs(x), significant, d);
  } else {
    set_zero(d);
  }
  return put_g(out, nonzero && x < 0, d, width, significant);
}

}  // namespace

std::size_t format_e(char* out, double x, int width, int precision) {
  return format_e_with(rounded_digits, out, x, width, precision);
}

std::size_t format_g(char* out, double x, int width, int precision) {
  return format_g_with(rounded_digits, out, x, width, precision);
}

std::size_t format_e_exact(char* out, double x, int width, int precision) {
  return format_e_with(exact_rounded_digits, out, x, width, precision);
}

std::size_t format_g_exact(char* out, double x, int width, int precision) {
  return format_g_with(exact_rounded_digits, out, x, width, precision);
}

std::size_t format_f(char* out, double x, int width, int precision) {
  width = clamp_width(width);
  precision = clamp_precision(precision);
  if (!std::isfinite(x)) return put_non_finite(out, x, width);
  decimal_digits d;
  set_zero(d);
  if (x != 0) {
    decimal_digits full;
    seventeen_digits(std::fabs(x), full);
    // Digits kept: those down to the precision-th place after the point.
    const int kept = full.exponent + 1 + precision;
    if (kept > 0) {
      d = full;
      round_to_significant(d, kept);
    } else if (kept == 0 && full.digit[0] >= '5') {
      // The leading digit sits just right of the last shown place.
      d.digit[0] = '1';
      d.exponent = full.exponent + 1;
    }
  }
  const bool negative = x < 0 && !(d.count == 1 && d.digit[0] == '0');
  char body[number_field_capacity];
  char* p = body;
  if (negative) *p++ = '-';
  if (d.exponent < 0) {
    *p++ = '0';
  } else {
    for (int i = 0; i <= d.exponent; ++i) *p++ = digit_at(d, i);
  }
  if (precision > 0) {
    *p++ = '.';
    for (int i = 1; i <= precision; ++i) *p++ = digit_at(d, d.exponent + i);
  }
  return put_field(out, body, static_cast<std::size_t>(p - body), width);
}

std::size_t format_ld(char* out, std::int64_t value) {
  const auto r = std::to_chars(out, out + number_field_capacity, value);
  *r.ptr = '\0';
  return static_cast<std::size_t>(r.ptr - out);
}
