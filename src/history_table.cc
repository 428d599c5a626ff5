#include "history_table.h"

#include <cstring>

// Static storage starts as zero pages that the system maps only when they are
// touched, so a small run stays small although the table is 128 MB.
history_store history_table;

void clear_histories() {
  for (int row = 0; row < history_capacity; ++row) {
    const auto bytes = static_cast<std::size_t>(history_table.filled[row]) * sizeof(double);
    std::memset(history_table.time[row], 0, bytes);
    std::memset(&history_table.amplitude[row][sample_pad], 0, bytes);
    history_table.filled[row] = 0;
  }
  history_table.history_count = 0;
  history_table.composite_length = 0;
  history_table.sample_step = 0.0;
}

double compute_sample_step() {
  history_table.sample_step = (history_table.time[0][4] - history_table.time[0][0]) * 0.25;
  return history_table.sample_step;
}
