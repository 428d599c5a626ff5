// A second reader of number text for the fuzz targets to check against: the
// token is found by matching the grammar on the whole buffer, and its value
// comes from the C library's correctly rounded strtod.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace reference {

/// The outcome of one read: 0 stored, 1 failed, 2 ended.
struct number_outcome {
  int status = 2;           ///< 0 stored, 1 failed, 2 ended
  std::size_t next = 0;     ///< offset of the first byte left unread
  double value = 0.0;       ///< the number, when stored
};

inline bool white(std::uint8_t c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

/// Reads one number from data[at..size).
inline number_outcome read_number(const std::uint8_t* data, std::size_t size, std::size_t at) {
  number_outcome out;
  std::size_t p = at;
  while (p < size && white(data[p])) ++p;
  if (p == size) {
    out.next = p;
    return out;
  }
  const std::size_t start = p;
  if (data[p] == '+' || data[p] == '-') ++p;
  std::size_t mantissa_digits = 0;
  while (p < size && digit(data[p])) ++p, ++mantissa_digits;
  if (p < size && data[p] == '.') {
    ++p;
    while (p < size && digit(data[p])) ++p, ++mantissa_digits;
  }
  if (mantissa_digits == 0) {
    out.status = 1;
    out.next = p;
    return out;
  }
  std::size_t value_end = p;  // what strtod is given: no dangling exponent mark
  if (p < size && (data[p] == 'e' || data[p] == 'E')) {
    ++p;
    if (p < size && (data[p] == '+' || data[p] == '-')) ++p;
    if (p < size && digit(data[p])) {
      while (p < size && digit(data[p])) ++p;
      value_end = p;
    }
  }
  const std::string token(reinterpret_cast<const char*>(data) + start, value_end - start);
  out.status = 0;
  out.next = p;
  out.value = std::strtod(token.c_str(), nullptr);
  return out;
}

}  // namespace reference
