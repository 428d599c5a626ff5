// The printf-style number fields the tool prints, rounded in two stages
// (17 significant digits half up, then half up again to the field's digits),
// with three-digit exponents and no minus sign on zero.
#pragma once

#include <cstddef>
#include <cstdint>

/// Longest text any field below can produce, terminator excluded (each also writes a NUL).
inline constexpr std::size_t number_field_capacity = 400;

/// Writes x as "%<width>.<precision>e" to out and returns the length written.
std::size_t format_e(char* out, double x, int width, int precision);

/// Writes x as "%<width>.<precision>g" to out and returns the length written.
std::size_t format_g(char* out, double x, int width, int precision);

/// Writes x as "%<width>.<precision>f" to out and returns the length written.
std::size_t format_f(char* out, double x, int width, int precision);

/// Writes value as "%ld" to out and returns the length written.
std::size_t format_ld(char* out, std::int64_t value);

/// The same fields computed only from the full decimal expansion of x; the
/// reference that the fast fields above are checked against.
std::size_t format_e_exact(char* out, double x, int width, int precision);
/// See format_e_exact.
std::size_t format_g_exact(char* out, double x, int width, int precision);
