// The search evaluated many trials at a time: trials are planned ahead in
// batches, their composites are summed block by block of samples over every
// trial of the batch on all hardware threads, and the results are scanned in
// trial order. Every RMS is bit for bit the one build_composite gives.
#pragma once

#include <cstdint>

#include "history_table.h"
#include "trial_search.h"

/// The ways of evaluating a batch; each one gives the same bits.
enum class search_path { portable, avx2, avx512 };

/// Whether this machine can run the path.
bool search_path_available(search_path path);

/// Selects the path for later batches; false (and no change) when it is not available.
bool set_search_path(search_path path);

/// The path later batches use; the fastest available one until set.
search_path current_search_path();

/// Most threads that evaluate one batch, the calling thread included.
inline constexpr int max_search_threads = 8;

/// Sets how many threads evaluate a batch, clamped to 1 ... max_search_threads.
void set_search_threads(int count);

/// How many threads evaluate a batch; the hardware threads until set.
int search_threads();

/// Most trials planned and evaluated together.
inline constexpr int batch_capacity = 512;

/// Trials planned ahead and their results.
struct trial_batch {
  std::int32_t first_trial = 0;                      ///< number of the batch's first trial
  int size = 0;                                      ///< trials in the batch
  trial_entry plan[batch_capacity][history_capacity];  ///< each trial's plan, as plan_trial left it
  double rms[batch_capacity];                        ///< each trial's RMS, once evaluated
};

/// Fills batch.rms for every trial of the batch from the history table; signs are +1.0 or -1.0.
void evaluate_batch(trial_batch& batch);

/// Trials per batch for the loaded table and thread count: many, so that each block of
/// samples is shared by many trials, yet few enough that a batch takes about 100 ms.
int batch_size_for_table();

/// What the search does with a new best: trial_plan, best_rms and composite_buffer
/// already hold it; rebuilt_rms is what build_composite returned for it.
using best_handler = void (*)(std::int32_t k, double rebuilt_rms);

/// Runs every trial of the answers in batches and hands each new best to on_best,
/// in trial order, exactly as the trial-by-trial loop would find them.
void run_search(best_handler on_best);
