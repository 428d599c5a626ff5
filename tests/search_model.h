// A second, deliberately naive account of the search, written from its rules
// and kept apart from the tool's code, to say what a run must print and write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The inputs of one modelled run.
struct model_input {
  std::vector<std::vector<double>> amplitudes;  ///< one list per history, in load order
  double sample_step = 0.0;                     ///< the run's sample interval
  int composite_length = 0;                     ///< samples per composite
  double max_time_shift = 0.0;                  ///< first answer
  std::int32_t trial_count = 0;                 ///< second answer
  std::int32_t inversion_choice = 0;            ///< third answer
};

/// What the modelled run reports and leaves in "composite.out".
struct model_output {
  std::string report;          ///< every new-best report, CR LF line ends
  std::string composite_file;  ///< the last best composite, "" when none
  int best_trials = 0;         ///< how many trials were reported
};

/// Runs the search of the model.
model_output run_model(const model_input& input);

/// The data file text of a history whose times start at 0 and step by step;
/// amplitudes are written so that they read back exactly.
std::string history_file_text(const std::vector<double>& amplitudes, double step);

/// Amplitudes of a made-up shock: a decaying sine plus a little noise, from a seed.
std::vector<double> made_up_history(int count, unsigned seed);
