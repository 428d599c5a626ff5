#include "number_text.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace {

// Powers of ten that a double holds exactly.
constexpr double exact_powers_of_ten[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t exact_mantissa_limit = std::uint64_t{1} << 53;

}  // namespace

double decimal_to_double(const decimal_text& text) {
  const double zero = text.negative ? -0.0 : 0.0;
  const double infinity = text.negative ? -std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::infinity();
  if (text.digit_count == 0) return zero;
  // value = 0.d1d2...dn x 10^k, so 10^(k-1) <= |value| < 10^k.
  const std::int64_t k = text.point_shift + text.exponent;
  if (k > 310) return infinity;
  if (k < -330) return zero;

  const int count = text.digit_count;
  const std::int64_t scale = k - count;  // value = digits x 10^scale
  if (count <= 19 && !text.dropped_nonzero && text.leading <= exact_mantissa_limit &&
      scale >= -22 && scale <= 22) {
    // Both operands are exact doubles, so the one rounding of the product or
    // quotient is the correct rounding of the decimal value.
    const double mantissa = static_cast<double>(text.leading);
    const double magnitude = scale < 0 ? mantissa / exact_powers_of_ten[-scale]
                                       : mantissa * exact_powers_of_ten[scale];
    return text.negative ? -magnitude : magnitude;
  }

  // Rare: many digits or a far exponent.  Hand the digits over in a plain
  // form; a digit 1 after the kept ones stands for the nonzero digits
  // dropped, which is all that correct rounding needs of them.
  char buffer[decimal_text::digit_capacity + 32];
  char* end = buffer;
  for (int i = 0; i < count; ++i) *end++ = text.digits[i];
  std::int64_t written_scale = scale;
  if (text.dropped_nonzero) {
    *end++ = '1';
    --written_scale;
  }
  *end++ = 'e';
  end = std::to_chars(end, buffer + sizeof buffer, written_scale).ptr;
  double magnitude = 0.0;
  const auto result = std::from_chars(buffer, end, magnitude);
  if (result.ec == std::errc::result_out_of_range) {
    magnitude = k > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return text.negative ? -magnitude : magnitude;
}
