// How long one result file's worth of "%10.5e" fields takes: 400,000 numbers,
// half of them composite-history-like values (sums of sines with noise), half
// sample times j * 0.001.

#include "number_format.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int numbers_per_file = 400000;

std::vector<double> composite_values() {
  std::mt19937_64 rng(12345);
  std::vector<double> values(numbers_per_file);
  for (int j = 0; j < numbers_per_file; ++j) {
    const double t = j * 0.001;
    const double noise = std::ldexp(static_cast<double>(rng() >> 11), -53) - 0.5;
    const double w = 2.0 * std::numbers::pi * t;
    values[j] = 3.7 * std::sin(1.3 * w) + 1.1 * std::sin(17.9 * w + 0.4) +
                0.35 * std::sin(61.0 * w + 1.2) + 0.05 * noise;
  }
  return values;
}

std::vector<double> time_values() {
  std::vector<double> values(numbers_per_file);
  for (int j = 0; j < numbers_per_file; ++j) values[j] = j * 0.001;
  return values;
}

// The same field (finite values; none here is narrower than 10) from 17 digits
// printed by snprintf ("%.16e"), rounded half up to six: one libc conversion
// per number, for comparison. It can differ from format_e when digit 18 is an
// exact half, as snprintf rounds those to even.
std::size_t snprintf_e_ten_five(char* out, double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16e", x);
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[17];
  digits[0] = p[0];
  for (int i = 1; i < 17; ++i) digits[i] = p[i + 1];
  int exponent = std::atoi(p + 19);
  if (digits[6] >= '5') {
    int i = 5;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits[0] = '1';
      ++exponent;
    } else {
      ++digits[i];
    }
  }
  const bool zero = x == 0;
  if (zero) exponent = 0;
  return static_cast<std::size_t>(std::snprintf(out, number_field_capacity + 1, "%s%c.%.5se%c%03d",
                                                negative && !zero ? "-" : "", digits[0], digits + 1,
                                                exponent < 0 ? '-' : '+', std::abs(exponent)));
}

// Formats every value into one text buffer, as the result writer does.
template <typename Format>
void run_file(benchmark::State& state, const std::vector<double>& values, Format format) {
  std::string text(values.size() * 32 + number_field_capacity, '\0');
  std::size_t length = 0;
  for (auto _ : state) {
    length = 0;
    for (double v : values) {
      length += format(text.data() + length, v);
      text[length++] = '\n';
    }
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  const auto per_file = static_cast<double>(values.size());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(length));
  state.counters["time_per_number"] =
      benchmark::Counter(per_file, benchmark::Counter::kIsIterationInvariantRate |
                                       benchmark::Counter::kInvert);
}

// Only the shortest round-trip digits, the fast field's starting point: the
// floor for any design built on them.
std::size_t shortest_digits(char* out, double x) {
  return static_cast<std::size_t>(
      std::to_chars(out, out + number_field_capacity, x, std::chars_format::scientific).ptr - out);
}

std::size_t fast_field(char* out, double x) { return format_e(out, x, 10, 5); }
std::size_t exact_field(char* out, double x) { return format_e_exact(out, x, 10, 5); }

void bm_format_e_composite(benchmark::State& state) {
  run_file(state, composite_values(), fast_field);
}

void bm_format_e_times(benchmark::State& state) {
  run_file(state, time_values(), fast_field);
}

void bm_shortest_digits_composite(benchmark::State& state) {
  run_file(state, composite_values(), shortest_digits);
}

void bm_snprintf_e_composite(benchmark::State& state) {
  run_file(state, composite_values(), snprintf_e_ten_five);
}

void bm_format_e_exact_composite(benchmark::State& state) {
  run_file(state, composite_values(), exact_field);
}

}  // namespace

BENCHMARK(bm_format_e_composite)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_format_e_times)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_shortest_digits_composite)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_snprintf_e_composite)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_format_e_exact_composite)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
