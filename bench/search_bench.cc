// Time per trial of the search: the plain trial-by-trial loop against the
// batched evaluation, on synthetic histories of the sizes a user loads.
//
//   full:   39 histories x 199,999 samples, shift_scale 1,000 and 20,000
//   medium:  8 histories x  20,000 samples, shift_scale 1,000
//
// Inversion is allowed from trial 1 on. Each benchmark reports per_trial
// (seconds per trial) and trials_per_s.

#include "fast_search.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "history_table.h"
#include "random_source.h"
#include "trial_search.h"

namespace {

struct table_case {
  int histories;
  int samples;
  double max_time_shift;  // in seconds, at a sample step of 0.001
};

constexpr table_case cases[] = {
    {39, 199'999, 1.0},   // shift_scale 1,000
    {39, 199'999, 20.0},  // shift_scale 20,000
    {8, 20'000, 1.0},     // medium
};

// A decaying shock per history: a few sines of its own frequencies.
void load_case(const table_case& c) {
  static int loaded = -1;
  const int index = static_cast<int>(&c - cases);
  if (loaded != index) {
    clear_histories();
    for (int i = 0; i < c.histories; ++i) {
      const double f = 7.0 + 3.1 * i;
      for (int p = 0; p < c.samples; ++p) {
        const double t = p * 0.001;
        const double w = 2.0 * std::numbers::pi * t;
        const double a = std::exp(-0.2 * t) * (std::sin(f * w) + 0.3 * std::sin(5.3 * f * w + i));
        store_pair(i, p, t, a);
      }
    }
    history_table.history_count = c.histories;
    history_table.composite_length = c.samples - 1;
    history_table.sample_step = 0.001;
    loaded = index;
  }
  answers = {c.max_time_shift, 1, 1};
  prepare_search();
  random_state = 1;
  best_rms = 0.0;
}

void set_counters(benchmark::State& state, std::int64_t trials_per_iteration) {
  const auto trials = static_cast<double>(trials_per_iteration);
  state.counters["per_trial"] = benchmark::Counter(
      trials, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["trials_per_s"] =
      benchmark::Counter(trials, benchmark::Counter::kIsIterationInvariantRate);
}

// The original loop: plan one trial, build its composite.
void plain_loop(benchmark::State& state) {
  load_case(cases[state.range(0)]);
  std::int32_t k = 1;
  for (auto _ : state) {
    plan_trial(k++);
    benchmark::DoNotOptimize(build_composite());
  }
  set_counters(state, 1);
}

trial_batch bench_batch;

search_path fastest_available_path() {
  for (const search_path path : {search_path::avx512, search_path::avx2}) {
    if (search_path_available(path)) return path;
  }
  return search_path::portable;
}

// Plan batches of `size` trials and evaluate them: what run_search does
// between two scans.
void run_batches(benchmark::State& state, int size) {
  const int count = history_table.history_count;
  std::int32_t k = 1;
  for (auto _ : state) {
    bench_batch.first_trial = k;
    bench_batch.size = size;
    for (int t = 0; t < size; ++t) {
      plan_trial(k++);
      for (int i = 0; i < count; ++i) bench_batch.plan[t][i] = trial_plan[i];
    }
    evaluate_batch(bench_batch);
    benchmark::DoNotOptimize(bench_batch.rms[0]);
  }
  set_counters(state, size);
  state.counters["batch"] = size;
}

// At the batch size the search uses for the table and thread count.
void batched(benchmark::State& state) {
  load_case(cases[state.range(0)]);
  if (!set_search_path(static_cast<search_path>(state.range(1)))) {
    state.SkipWithError("path not available on this machine");
    return;
  }
  set_search_threads(static_cast<int>(state.range(2)));
  run_batches(state, batch_size_for_table());
}

// The largest table on two threads at other batch sizes: what a shorter
// wait for each report costs.
void batch_sizes(benchmark::State& state) {
  load_case(cases[0]);
  set_search_path(fastest_available_path());
  set_search_threads(2);
  run_batches(state, static_cast<int>(state.range(0)));
}

void ignore_best(std::int32_t, double) {}

// The whole search of 2,000 trials, new bests rebuilt by the plain loop.
void whole_search(benchmark::State& state) {
  load_case(cases[state.range(0)]);
  answers.trial_count = 2000;
  set_search_path(fastest_available_path());
  set_search_threads(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    random_state = 1;
    best_rms = 0.0;
    run_search(ignore_best);
    benchmark::DoNotOptimize(best_rms);
  }
  set_counters(state, answers.trial_count);
}

constexpr int portable = static_cast<int>(search_path::portable);
constexpr int avx2 = static_cast<int>(search_path::avx2);
constexpr int avx512 = static_cast<int>(search_path::avx512);

}  // namespace

BENCHMARK(plain_loop)->ArgName("case")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(batched)
    ->ArgNames({"case", "path", "threads"})
    ->ArgsProduct({{0, 1, 2}, {avx512, avx2, portable}, {1, 2}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(batch_sizes)
    ->ArgName("size")
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(whole_search)
    ->ArgNames({"case", "threads"})
    ->ArgsProduct({{0, 1, 2}, {2}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
