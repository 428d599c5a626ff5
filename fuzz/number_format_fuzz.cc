// The fast number fields give the same text as the fields computed from the
// full decimal expansion of the double, for any double and near any tie.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "number_format.h"

namespace {

void check(double x) {
  char fast[number_field_capacity];
  char exact[number_field_capacity];
  const struct {
    int width, precision;
  } fields[] = {{10, 5}, {8, 4}, {1, 1}, {12, 8}};
  for (const auto& f : fields) {
    const std::size_t a = format_e(fast, x, f.width, f.precision);
    const std::size_t b = format_e_exact(exact, x, f.width, f.precision);
    if (a != b || std::memcmp(fast, exact, a) != 0) std::abort();
    const std::size_t c = format_g(fast, x, f.width, f.precision);
    const std::size_t d = format_g_exact(exact, x, f.width, f.precision);
    if (c != d || std::memcmp(fast, exact, c) != 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 8) {
    double x;
    std::memcpy(&x, data, 8);
    check(x);
    check(std::nextafter(x, 0.0));
  }
  // The rest, as decimal text, lands near a rounding boundary: check the
  // doubles on both sides of it.
  if (size > 8) {
    double near = 0.0;
    const char* text = reinterpret_cast<const char*>(data + 8);
    const auto parsed = std::from_chars(text, text + (size - 8), near);
    if (parsed.ec == std::errc{} && std::isfinite(near)) {
      check(near);
      check(std::nextafter(near, INFINITY));
      check(std::nextafter(near, -INFINITY));
    }
  }
  return 0;
}
