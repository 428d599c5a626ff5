// The number text the tool reads: from the data files and from the answers
// on standard input.  A number is an optional sign, digits with an optional
// point (at least one digit), and an optional exponent; nothing else (no inf,
// nan, hexadecimal or decimal comma).  The readers take bytes from any source
// with peek() and advance(), and never take the byte that ends a number.
#pragma once

#include <cstdint>

/// True for the six bytes that separate numbers and names: tab, LF, VT, FF, CR, blank.
inline bool is_white_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// How one read of a number ended.
enum class number_read {
  stored,  ///< a number was read and stored
  failed,  ///< the text there is no number; what could not start one stays unread
  ended,   ///< the source ended before a number began
};

/// The digits of one number, gathered while it is scanned; any length fits.
struct decimal_text {
  static constexpr int digit_capacity = 800;  ///< more digits than any double needs
  bool negative = false;                       ///< a "-" sign was read
  int digit_count = 0;                         ///< significant digits kept in digits
  bool dropped_nonzero = false;                ///< a nonzero digit beyond the capacity was seen
  std::int64_t point_shift = 0;                ///< value = 0.digits x 10^(point_shift + exponent)
  std::int64_t exponent = 0;                   ///< the exponent part, saturated
  std::uint64_t leading = 0;                   ///< the first (up to 19) significant digits as an integer
  char digits[digit_capacity];                 ///< significant digits, leading zeros left out
};

/// The correctly rounded double of the gathered digits (infinity of its sign on
/// overflow, zero of its sign on underflow).
double decimal_to_double(const decimal_text& text);

/// Adds one digit (0-9) to the text; before_point tells whether it stands before the point.
inline void add_digit(decimal_text& text, int digit, bool before_point) {
  if (text.digit_count == 0 && !text.dropped_nonzero && digit == 0) {
    // A leading zero only moves the point when it follows the point.
    if (!before_point) --text.point_shift;
    return;
  }
  if (before_point) ++text.point_shift;
  if (text.digit_count < decimal_text::digit_capacity) {
    if (text.digit_count < 19) text.leading = text.leading * 10 + static_cast<unsigned>(digit);
    text.digits[text.digit_count++] = static_cast<char>('0' + digit);
  } else if (digit != 0) {
    text.dropped_nonzero = true;
  }
}

/// Skips white space, then reads one number into value.  A lone sign or point
/// that no digit follows is consumed; the byte after it stays unread.
template <class source>
number_read read_number(source& in, double& value) {
  int c = in.peek();
  while (is_white_space(c)) {
    in.advance();
    c = in.peek();
  }
  if (c < 0) return number_read::ended;
  decimal_text text;
  if (c == '+' || c == '-') {
    text.negative = c == '-';
    in.advance();
    c = in.peek();
  }
  bool any_digit = false;
  while (c >= '0' && c <= '9') {
    add_digit(text, c - '0', true);
    any_digit = true;
    in.advance();
    c = in.peek();
  }
  if (c == '.') {
    in.advance();
    c = in.peek();
    while (c >= '0' && c <= '9') {
      add_digit(text, c - '0', false);
      any_digit = true;
      in.advance();
      c = in.peek();
    }
  }
  if (!any_digit) {
    // Only a sign or a point was taken (or nothing, when c could not begin a
    // number): the read fails and keeps what it consumed.
    return number_read::failed;
  }
  if (c == 'e' || c == 'E') {
    in.advance();
    c = in.peek();
    bool exponent_negative = false;
    if (c == '+' || c == '-') {
      exponent_negative = c == '-';
      in.advance();
      c = in.peek();
    }
    std::int64_t exponent = 0;
    while (c >= '0' && c <= '9') {
      // Saturate far beyond any double's range; the value is then 0 or infinite.
      if (exponent < 1'000'000'000'000) exponent = exponent * 10 + (c - '0');
      in.advance();
      c = in.peek();
    }
    text.exponent = exponent_negative ? -exponent : exponent;
  }
  value = decimal_to_double(text);
  return number_read::stored;
}

/// Skips white space, then reads integer text (an optional sign and decimal
/// digits) into value, wrapping modulo 2^32.  A lone sign is consumed.
template <class source>
number_read read_integer(source& in, std::int32_t& value) {
  int c = in.peek();
  while (is_white_space(c)) {
    in.advance();
    c = in.peek();
  }
  if (c < 0) return number_read::ended;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.advance();
    c = in.peek();
  }
  if (c < '0' || c > '9') return number_read::failed;
  std::uint32_t magnitude = 0;
  while (c >= '0' && c <= '9') {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(c - '0');
    in.advance();
    c = in.peek();
  }
  if (negative) magnitude = 0u - magnitude;
  value = static_cast<std::int32_t>(magnitude);
  return number_read::stored;
}
