// The random search: every trial gives each history a sign and a shift in
// samples, sums them into a composite and scores it by its RMS; every strict
// improvement is reported and written.
#pragma once

#include <cstdint>

#include "history_table.h"

/// The three answers of the dialogue; all 0 until read.
struct search_answers {
  double max_time_shift = 0.0;       ///< largest shift, in the time unit of the data
  std::int32_t trial_count = 0;      ///< trials to run
  std::int32_t inversion_choice = 0; ///< 1 allows inversion
};

/// One history's part in a trial.
struct trial_entry {
  double sign = 1.0;       ///< +1.0 or -1.0
  std::int32_t shift = 0;  ///< samples dropped from the start of the history
};

/// The run's answers, read by the run driver.
extern search_answers answers;
/// The plan of the current trial, one entry per loaded history.
extern trial_entry trial_plan[history_capacity];
/// The current trial's composite; the first composite_length slots are used.
extern double composite_buffer[sample_capacity];
/// The largest RMS seen so far.
extern double best_rms;
/// max_time_shift / sample_step, fixed before the first trial.
extern double shift_scale;
/// Trials up to this one never invert.
extern std::int32_t inversion_threshold;

/// A real number as a whole count: truncated toward zero, 0 when infinite or
/// not a number, saturated to the 32-bit range.
std::int32_t truncate_to_int32(double value);

/// The shift that a draw gives at the run's shift_scale.
inline std::int32_t shift_for_draw(int draw) {
  return truncate_to_int32((draw * shift_scale) / 32767.0);
}

/// Sets shift_scale and inversion_threshold from the answers and the sample step.
void prepare_search();

/// Fills trial_plan for trial k, taking its draws from the random source.
void plan_trial(std::int32_t k);

/// Fills composite_buffer from trial_plan in the plain order and returns its RMS.
double build_composite();

/// Runs every trial, reporting and writing each new best.
void run_trials();
