// The store of every loaded time history: fixed rows of (time, amplitude)
// slots, made once for the run and zero wherever no pair was read.
#pragma once

#include <cstdint>

/// Rows in the table; loading never fills the last one.
inline constexpr int history_capacity = 40;
/// Slots per row; a data file fills at most one less.
inline constexpr int sample_capacity = 200'000;
/// Zero slots kept before and after every amplitude row, so that a block of
/// samples that starts inside a row may be read whole, past either end.
inline constexpr int sample_pad = 4096;
/// Distance between two amplitude rows.
inline constexpr int amplitude_row_stride = sample_pad + sample_capacity + sample_pad;

/// The two fixed arrays and what loading learned about them.
struct history_store {
  double time[history_capacity][sample_capacity];       ///< the times, row by row
  double amplitude[history_capacity][amplitude_row_stride];  ///< the amplitudes, each row padded with zeros
  int filled[history_capacity];  ///< slots of each row that may hold a value other than 0.0
  std::int32_t history_count;    ///< rows that hold a loaded file
  std::int32_t composite_length; ///< samples built and written by every trial
  double sample_step;            ///< the run's sample interval
};

/// The run's one history table.
extern history_store history_table;

/// Sets every slot to 0.0; only slots that can have been written are touched.
void clear_histories();

/// Stores one pair at (row, position), remembering how far the row is filled.
inline void store_pair(int row, int position, double time, double amplitude) {
  history_table.time[row][position] = time;
  history_table.amplitude[row][sample_pad + position] = amplitude;
  if (position >= history_table.filled[row]) history_table.filled[row] = position + 1;
}

/// The amplitude at (row, position); 0.0 for every position outside the row.
inline double amplitude_at(int row, std::int64_t position) {
  if (position < 0 || position >= sample_capacity) return 0.0;
  return history_table.amplitude[row][sample_pad + position];
}

/// Slot 0 of an amplitude row; sample_pad zero slots stand before it and after slot
/// sample_capacity - 1.
inline const double* amplitude_row(int row) { return &history_table.amplitude[row][sample_pad]; }

/// Sets sample_step from the first five times of row 0 and returns it.
double compute_sample_step();
