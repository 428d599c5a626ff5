#include "search_model.h"

#include <cmath>
#include <cstdio>

#include "number_format.h"

namespace {

struct model_random {
  std::uint32_t state = 1;
  int draw() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  }
};

std::int32_t whole_samples(double quotient) {
  if (std::isnan(quotient) || std::isinf(quotient)) return 0;
  const double t = std::trunc(quotient);
  if (t > 2147483647.0) return 2147483647;
  if (t < -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(t);
}

std::string field_e(double x) {
  char text[number_field_capacity];
  return std::string(text, format_e(text, x, 10, 5));
}

}  // namespace

model_output run_model(const model_input& in) {
  model_output out;
  model_random random;
  const double scale = in.max_time_shift / in.sample_step;
  const auto threshold = static_cast<std::int32_t>(std::trunc(in.trial_count * 0.2));
  const std::size_t count = in.amplitudes.size();
  double best = 0.0;
  for (std::int32_t k = 0; k < in.trial_count; ++k) {
    std::vector<double> sign(count, 1.0);
    std::vector<std::int32_t> shift(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      if (in.inversion_choice == 1 && k > threshold && random.draw() <= 16383) sign[i] = -1.0;
      const int r = random.draw();
      shift[i] = k == 0 ? 0 : whole_samples((r * scale) / 32767.0);
    }
    std::vector<double> composite(static_cast<std::size_t>(in.composite_length));
    double sum = 0.0;
    for (int j = 0; j < in.composite_length; ++j) {
      double value = 0.0;
      for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t p = std::int64_t{j} + shift[i];
        const auto& row = in.amplitudes[i];
        const double a = p >= 0 && p < static_cast<std::int64_t>(row.size()) ? row[p] : 0.0;
        value = a * sign[i] + value;
      }
      composite[static_cast<std::size_t>(j)] = value;
      sum = value * value + sum;
    }
    const double rms = std::sqrt(sum / in.composite_length);
    if (!(rms > best)) continue;
    best = rms;
    ++out.best_trials;
    char rms_text[number_field_capacity];
    out.report.append("\r\n ").append(std::to_string(k)).append(" ");
    out.report.append(rms_text, format_g(rms_text, rms, 10, 5)).append("\r\n");
    for (std::size_t i = 0; i < count; ++i) {
      out.report.append(sign[i] > 0 ? "  1.0  " : " -1.0  ");
      out.report.append(std::to_string(shift[i])).append(" \r\n");
    }
    out.composite_file.clear();
    for (int j = 0; j < in.composite_length; ++j) {
      out.composite_file.append(" ").append(field_e(j * in.sample_step)).append("  ");
      out.composite_file.append(field_e(composite[static_cast<std::size_t>(j)])).append(" \r\n");
    }
  }
  return out;
}

std::string history_file_text(const std::vector<double>& amplitudes, double step) {
  std::string text;
  char line[96];
  for (std::size_t j = 0; j < amplitudes.size(); ++j) {
    std::snprintf(line, sizeof line, "%.17g\t%.17g\n", static_cast<double>(j) * step,
                  amplitudes[j]);
    text += line;
  }
  return text;
}

std::vector<double> made_up_history(int count, unsigned seed) {
  std::vector<double> values(static_cast<std::size_t>(count));
  std::uint32_t noise = seed * 2654435761u + 1;
  for (int j = 0; j < count; ++j) {
    noise = noise * 1664525u + 1013904223u;
    const double t = j / 500.0;
    values[static_cast<std::size_t>(j)] =
        std::exp(-t * (1.0 + seed % 3)) * std::sin(t * (40.0 + seed * 7.0)) * (2.0 + seed) +
        ((noise >> 8) / 16777216.0 - 0.5) * 0.1;
  }
  return values;
}
