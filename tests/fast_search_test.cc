#include "fast_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "history_table.h"
#include "random_source.h"
#include "trial_search.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();

// What the amplitudes of a generated history look like.
enum class data_kind {
  smooth,       // a few sines, values of order 1
  signed_zero,  // mostly -0.0 and +0.0, a few values
  extremes,     // huge (squares overflow), tiny (squares underflow) and subnormal values
  infinite,     // order-1 values with some +inf and -inf among them
};

double generated_amplitude(data_kind kind, int row, int p, std::mt19937_64& rng) {
  const double noise = std::ldexp(static_cast<double>(rng() >> 11), -53) - 0.5;
  const double smooth = std::sin(0.01 * (row + 1) * p + row) + 0.25 * noise;
  switch (kind) {
    case data_kind::smooth: return smooth;
    case data_kind::signed_zero: return rng() % 5 == 0 ? smooth : (rng() % 2 ? -0.0 : 0.0);
    case data_kind::extremes: {
      const int pick = static_cast<int>(rng() % 6);
      if (pick == 0) return 1e300 * noise;
      if (pick == 1) return 1e-300 * noise;
      if (pick == 2) return 4.9e-324 * static_cast<double>(rng() % 7) * (noise < 0 ? -1 : 1);
      if (pick == 3) return -0.0;
      return smooth;
    }
    case data_kind::infinite: {
      const int pick = static_cast<int>(rng() % 97);
      if (pick == 0) return inf;
      if (pick == 1) return -inf;
      return smooth;
    }
  }
  return 0.0;
}

// Loads `histories` rows of the given lengths (cycled) and sets the composite length.
void load_generated(int histories, const std::vector<int>& lengths, int composite_length,
                    data_kind kind, unsigned seed) {
  clear_histories();
  std::mt19937_64 rng(seed);
  for (int i = 0; i < histories; ++i) {
    const int filled = lengths[static_cast<std::size_t>(i) % lengths.size()];
    for (int p = 0; p < filled; ++p) store_pair(i, p, p * 0.001, generated_amplitude(kind, i, p, rng));
  }
  history_table.history_count = histories;
  history_table.composite_length = composite_length;
  history_table.sample_step = 0.001;
}

// How the shifts of generated plans are drawn.
enum class shift_kind {
  near,        // 0 ... 30: every window of a block overlaps the others
  spread,      // 0 ... 3,000
  wide,        // -25,000 ... 25,000
  awkward,     // the edges: far negative, past the end of a row, saturated, row ends
};

std::int32_t generated_shift(shift_kind kind, std::mt19937_64& rng, int length) {
  switch (kind) {
    case shift_kind::near: return static_cast<std::int32_t>(rng() % 31);
    case shift_kind::spread: return static_cast<std::int32_t>(rng() % 3001);
    case shift_kind::wide: return static_cast<std::int32_t>(rng() % 50'001) - 25'000;
    case shift_kind::awkward: {
      const std::int32_t edges[] = {int32_min,
                                    int32_max,
                                    -length,
                                    -length + 1,
                                    -1,
                                    0,
                                    1,
                                    length - 1,
                                    length,
                                    199'998,
                                    199'999,
                                    200'000,
                                    -sample_pad,
                                    -sample_pad - 1,
                                    -4'100,
                                    static_cast<std::int32_t>(rng() % 200) - 100};
      return edges[rng() % (sizeof edges / sizeof edges[0])];
    }
  }
  return 0;
}

void fill_plans(trial_batch& batch, int trials, shift_kind kind, unsigned seed) {
  std::mt19937_64 rng(seed);
  batch.first_trial = 0;
  batch.size = trials;
  const int length = history_table.composite_length;
  for (int t = 0; t < trials; ++t) {
    for (int i = 0; i < history_table.history_count; ++i) {
      batch.plan[t][i].sign = rng() % 2 ? -1.0 : 1.0;
      batch.plan[t][i].shift = generated_shift(kind, rng, length);
    }
  }
}

// Bits of a result; every NaN counts as one value, since a NaN is never a best.
std::uint64_t result_bits(double x) {
  return std::isnan(x) ? 0x7FF8'0000'0000'0000u : std::bit_cast<std::uint64_t>(x);
}

std::vector<search_path> available_paths() {
  std::vector<search_path> paths;
  for (const search_path path : {search_path::portable, search_path::avx2, search_path::avx512}) {
    if (search_path_available(path)) paths.push_back(path);
  }
  return paths;
}

const char* path_name(search_path path) {
  switch (path) {
    case search_path::portable: return "portable";
    case search_path::avx2: return "avx2";
    case search_path::avx512: return "avx512";
  }
  return "?";
}

trial_batch batch;
double expected_rms[batch_capacity];

// The reference: each trial's plan through build_composite, one after another.
void plain_results(const trial_batch& b) {
  for (int t = 0; t < b.size; ++t) {
    for (int i = 0; i < history_table.history_count; ++i) trial_plan[i] = b.plan[t][i];
    expected_rms[t] = build_composite();
  }
}

// Evaluates the batch with every path and thread count and compares each trial.
void expect_all_paths_match(const std::string& label) {
  plain_results(batch);
  for (const search_path path : available_paths()) {
    ASSERT_TRUE(set_search_path(path));
    for (const int threads : {1, 2, 3}) {
      set_search_threads(threads);
      for (int t = 0; t < batch.size; ++t) batch.rms[t] = -1.0;
      evaluate_batch(batch);
      for (int t = 0; t < batch.size; ++t) {
        ASSERT_EQ(result_bits(batch.rms[t]), result_bits(expected_rms[t]))
            << label << " path " << path_name(path) << " threads " << threads << " trial " << t
            << ": " << batch.rms[t] << " vs " << expected_rms[t];
      }
    }
  }
}

struct evaluation_case {
  int histories;
  std::vector<int> lengths;  // slots filled, cycled over the histories
  int composite_length;
  data_kind data;
  shift_kind shifts;
  int trials;
};

TEST(fast_search, every_path_gives_the_plain_bits) {
  const evaluation_case cases[] = {
      // composite lengths 0, 1 and 2
      {1, {1}, 0, data_kind::smooth, shift_kind::near, 3},
      {2, {2, 1}, 1, data_kind::smooth, shift_kind::near, 9},
      {2, {3, 2}, 2, data_kind::signed_zero, shift_kind::awkward, 17},
      // lengths that are no multiple of any vector width or tile
      {1, {1000}, 999, data_kind::smooth, shift_kind::near, 1},
      {7, {1237, 1001, 300}, 1236, data_kind::smooth, shift_kind::spread, 37},
      {7, {5003}, 5002, data_kind::signed_zero, shift_kind::near, 24},
      {7, {9001, 8000}, 9000, data_kind::extremes, shift_kind::spread, 19},
      {2, {20'011}, 20'010, data_kind::infinite, shift_kind::wide, 21},
      {7, {6007}, 6006, data_kind::smooth, shift_kind::awkward, 45},
      {39, {3001, 2999, 17}, 3000, data_kind::smooth, shift_kind::spread, 70},
      {39, {777}, 776, data_kind::extremes, shift_kind::awkward, 23},
      {39, {4500}, 4499, data_kind::smooth, shift_kind::near, 130},
      // the largest table, few trials: the suite also runs with sanitizers
      {39, {199'999}, 199'998, data_kind::smooth, shift_kind::spread, 5},
      {39, {199'999, 150'000}, 199'998, data_kind::signed_zero, shift_kind::awkward, 5},
  };
  unsigned seed = 1;
  for (const evaluation_case& c : cases) {
    load_generated(c.histories, c.lengths, c.composite_length, c.data, seed);
    fill_plans(batch, c.trials, c.shifts, seed * 7919u);
    ++seed;
    expect_all_paths_match(std::to_string(c.histories) + " histories, length " +
                           std::to_string(c.composite_length) + ", case " +
                           std::to_string(seed - 1));
  }
}

TEST(fast_search, a_full_batch_of_plans_from_the_draws) {
  load_generated(5, {2500, 2400}, 2499, data_kind::smooth, 42);
  answers = {0.4, 1000, 1};
  prepare_search();
  random_state = 1;
  batch.size = batch_capacity;
  for (int t = 0; t < batch.size; ++t) {
    plan_trial(t);
    for (int i = 0; i < history_table.history_count; ++i) batch.plan[t][i] = trial_plan[i];
  }
  expect_all_paths_match("drawn plans");
}

TEST(fast_search, inverted_zero_still_sums_to_positive_zero) {
  load_generated(3, {64}, 63, data_kind::signed_zero, 5);
  // All of every history negated or shifted away: the composite is all +0.0
  // or -0.0 added to +0.0, and the RMS is exactly +0.0.
  batch.size = 2;
  for (int i = 0; i < 3; ++i) {
    batch.plan[0][i] = {-1.0, 0};
    batch.plan[1][i] = {1.0, int32_max};
  }
  for (int p = 0; p < 64; ++p) {
    for (int i = 0; i < 3; ++i) store_pair(i, p, p * 0.001, -0.0);
  }
  expect_all_paths_match("zeros");
  EXPECT_EQ(std::bit_cast<std::uint64_t>(batch.rms[0]), std::bit_cast<std::uint64_t>(0.0));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(batch.rms[1]), std::bit_cast<std::uint64_t>(0.0));
}

// Half of the trials read nothing but zeros, so the thread that starts with
// them runs out of work at once and takes groups over from the other, which
// hands them on at a block boundary; either half may be the empty one.
TEST(fast_search, groups_handed_between_threads_give_the_same_bits) {
  load_generated(39, {20'011, 19'000}, 20'010, data_kind::smooth, 77);
  for (const bool empty_first : {true, false}) {
    fill_plans(batch, 64, shift_kind::spread, empty_first ? 3u : 4u);
    for (int t = 0; t < batch.size; ++t) {
      if ((t < batch.size / 2) != empty_first) continue;
      for (int i = 0; i < history_table.history_count; ++i) batch.plan[t][i].shift = int32_max;
    }
    expect_all_paths_match(empty_first ? "first half empty" : "second half empty");
  }
}

// The knobs keep what they were given within their range.
TEST(fast_search, knobs_hold_their_settings) {
  set_search_threads(0);
  EXPECT_EQ(search_threads(), 1);
  set_search_threads(3);
  EXPECT_EQ(search_threads(), 3);
  set_search_threads(1000);
  EXPECT_EQ(search_threads(), max_search_threads);
  EXPECT_TRUE(search_path_available(search_path::portable));
  for (const search_path path : available_paths()) {
    EXPECT_TRUE(set_search_path(path));
    EXPECT_EQ(current_search_path(), path);
  }
}

// Every new best of a run, as the handler saw it.
struct best_record {
  std::int32_t k;
  double rms;
};
constexpr int most_records = 4096;
best_record records[most_records];
int record_count = 0;

void record_best(std::int32_t k, double rebuilt_rms) {
  // The rebuilt composite is the one that earned the report.
  ASSERT_EQ(std::bit_cast<std::uint64_t>(rebuilt_rms), std::bit_cast<std::uint64_t>(best_rms)) << k;
  double sum = 0.0;
  for (std::int32_t j = 0; j < history_table.composite_length; ++j) {
    sum = composite_buffer[j] * composite_buffer[j] + sum;
  }
  ASSERT_EQ(std::bit_cast<std::uint64_t>(std::sqrt(sum / history_table.composite_length)),
            std::bit_cast<std::uint64_t>(best_rms))
      << k;
  ASSERT_LT(record_count, most_records);
  records[record_count++] = {k, best_rms};
}

// The bests of the trial-by-trial loop, with the same answers and draws.
std::vector<best_record> plain_bests() {
  random_state = 1;
  best_rms = 0.0;
  prepare_search();
  std::vector<best_record> bests;
  for (std::int32_t k = 0; k < answers.trial_count; ++k) {
    plan_trial(k);
    const double rms = build_composite();
    if (rms > best_rms) {
      best_rms = rms;
      bests.push_back({k, rms});
    }
  }
  return bests;
}

struct search_case {
  int histories;
  std::vector<int> lengths;
  data_kind data;
  search_answers answers;
};

TEST(fast_search, batched_search_finds_the_same_bests) {
  const search_case cases[] = {
      {2, {300, 250}, data_kind::smooth, {0.1, 40, 2}},
      {3, {200, 200, 120}, data_kind::smooth, {0.05, 10, 1}},
      {7, {400, 30, 390, 100, 5, 250, 399}, data_kind::smooth, {0.02, 300, 1}},
      {2, {100, 100}, data_kind::smooth, {1.0, 50, 1}},
      {2, {100, 100}, data_kind::smooth, {-0.03, 50, 1}},
      {5, {3000}, data_kind::smooth, {2.0, 1500, 1}},
      {4, {1500}, data_kind::infinite, {0.5, 700, 1}},
      {39, {2000, 1900}, data_kind::extremes, {0.3, 600, 1}},
      {1, {1}, data_kind::smooth, {0.1, 20, 1}},
      {2, {50}, data_kind::smooth, {0.0, 0, 1}},
      {6, {20'000}, data_kind::smooth, {1e9, 300, 1}},
  };
  unsigned seed = 100;
  for (const search_case& c : cases) {
    const int longest = *std::max_element(c.lengths.begin(), c.lengths.end());
    load_generated(c.histories, c.lengths, longest > 0 ? longest - 1 : 0, c.data, seed++);
    answers = c.answers;
    const std::vector<best_record> expected = plain_bests();
    const std::uint32_t state_after = random_state;
    for (const search_path path : available_paths()) {
      ASSERT_TRUE(set_search_path(path));
      for (const int threads : {1, 2, 3}) {
        set_search_threads(threads);
        random_state = 1;
        best_rms = 0.0;
        record_count = 0;
        run_search(record_best);
        const std::string label = std::string(path_name(path)) + " threads " +
                                  std::to_string(threads) + " case " + std::to_string(seed - 1);
        EXPECT_EQ(random_state, state_after) << label;
        ASSERT_EQ(record_count, static_cast<int>(expected.size())) << label;
        for (int r = 0; r < record_count; ++r) {
          EXPECT_EQ(records[r].k, expected[static_cast<std::size_t>(r)].k) << label;
          EXPECT_EQ(std::bit_cast<std::uint64_t>(records[r].rms),
                    std::bit_cast<std::uint64_t>(expected[static_cast<std::size_t>(r)].rms))
              << label;
        }
      }
    }
  }
}

}  // namespace
