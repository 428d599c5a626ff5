#include "trial_search.h"

#include <cmath>

#include "composite_report.h"
#include "fast_search.h"
#include "random_source.h"

search_answers answers;
trial_entry trial_plan[history_capacity];
double composite_buffer[sample_capacity];
double best_rms = 0.0;
double shift_scale = 0.0;
std::int32_t inversion_threshold = 0;

std::int32_t truncate_to_int32(double value) {
  if (!std::isfinite(value)) return 0;
  const double whole = std::trunc(value);
  if (whole >= 2147483647.0) return 2147483647;
  if (whole <= -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(whole);
}

void prepare_search() {
  shift_scale = answers.max_time_shift / history_table.sample_step;
  inversion_threshold = truncate_to_int32(answers.trial_count * 0.2);
}

void plan_trial(std::int32_t k) {
  const bool may_invert = answers.inversion_choice == 1 && k > inversion_threshold;
  for (int i = 0; i < history_table.history_count; ++i) {
    trial_plan[i].sign = 1.0;
    if (may_invert && next_draw() / 32767.0 < 0.5) trial_plan[i].sign = -1.0;
    // Trial 0 is the plain sum, but it still takes its shift draws so that
    // every later trial sees the same sequence.
    const std::int32_t shift = shift_for_draw(next_draw());
    trial_plan[i].shift = k == 0 ? 0 : shift;
  }
}

double build_composite() {
  const int count = history_table.history_count;
  const std::int32_t length = history_table.composite_length;
  double sum = 0.0;
  for (std::int32_t j = 0; j < length; ++j) {
    double value = 0.0;
    for (int i = 0; i < count; ++i) {
      value = amplitude_at(i, std::int64_t{j} + trial_plan[i].shift) * trial_plan[i].sign + value;
    }
    composite_buffer[j] = value;
    sum = value * value + sum;
  }
  return std::sqrt(sum / length);
}

namespace {

void report_and_write(std::int32_t k, double) {
  report_best(k);
  write_composite_file();
}

}  // namespace

void run_trials() { run_search(report_and_write); }
