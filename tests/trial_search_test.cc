#include "trial_search.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "history_table.h"
#include "random_source.h"

namespace {

// Puts the run's state back to how a run starts, with the given histories.
void load_rows(const std::vector<std::vector<double>>& rows, int composite_length) {
  clear_histories();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t p = 0; p < rows[r].size(); ++p) {
      store_pair(static_cast<int>(r), static_cast<int>(p), static_cast<double>(p), rows[r][p]);
    }
  }
  history_table.history_count = static_cast<std::int32_t>(rows.size());
  history_table.composite_length = composite_length;
  random_state = 1;
  best_rms = 0.0;
}

TEST(random_source, first_eight_draws) {
  random_state = 1;
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (const int draw : expected) EXPECT_EQ(next_draw(), draw);
}

TEST(trial_search, whole_counts_from_real_quotients) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct count_case {
    double value;
    std::int32_t expected;
  } cases[] = {
      {0.0, 0},
      {19.33, 19},
      {-0.99, 0},
      {-2.5, -2},
      {2147483647.9, 2147483647},
      {2147483648.0, 2147483647},
      {1e300, 2147483647},
      {-2147483648.9, -2147483647 - 1},
      {-1e300, -2147483647 - 1},
      {inf, 0},
      {-inf, 0},
      {std::nan(""), 0},
  };
  for (const count_case& c : cases) EXPECT_EQ(truncate_to_int32(c.value), c.expected) << c.value;
}

TEST(trial_search, two_histories_without_inversion) {
  load_rows({{1, 2}, {3, 4}}, 1);
  answers = {0.1, 100, 2};
  history_table.sample_step = 0.001;
  prepare_search();
  EXPECT_EQ(shift_scale, 100.0);
  plan_trial(0);  // takes 41 and 18467, both shifts forced to 0
  EXPECT_EQ(trial_plan[0].shift, 0);
  EXPECT_EQ(trial_plan[1].shift, 0);
  plan_trial(1);  // 6334 and 26500
  EXPECT_EQ(trial_plan[0].shift, 19);
  EXPECT_EQ(trial_plan[1].shift, 80);
  EXPECT_EQ(trial_plan[0].sign, 1.0);
  EXPECT_EQ(trial_plan[1].sign, 1.0);
}

// Counts the draws each trial takes by watching the generator's state.
std::vector<int> draws_per_trial(std::int32_t trial_count, int histories) {
  load_rows(std::vector<std::vector<double>>(static_cast<std::size_t>(histories), {1.0}), 0);
  answers = {1.0, trial_count, 1};
  history_table.sample_step = 1.0;
  prepare_search();
  std::vector<int> counts;
  for (std::int32_t k = 0; k < trial_count; ++k) {
    const std::uint32_t before = random_state;
    plan_trial(k);
    int taken = 0;
    for (std::uint32_t s = before; s != random_state; s = s * 214013u + 2531011u) ++taken;
    counts.push_back(taken);
  }
  return counts;
}

TEST(trial_search, sign_draws_follow_the_threshold) {
  EXPECT_EQ(draws_per_trial(10, 2), (std::vector<int>{2, 2, 2, 4, 4, 4, 4, 4, 4, 4}));
  EXPECT_EQ(draws_per_trial(4, 3), (std::vector<int>{3, 6, 6, 6}));
  EXPECT_EQ(draws_per_trial(1, 2), (std::vector<int>{2}));
  EXPECT_EQ(inversion_threshold, 0);
}

TEST(trial_search, sign_comes_from_the_draw_before_the_shift) {
  load_rows({{1.0}}, 0);
  answers = {1.0, 4, 1};
  history_table.sample_step = 0.001;  // shift_scale 1000
  prepare_search();
  plan_trial(0);             // 41
  plan_trial(1);             // sign from 18467 (kept +1), shift from 6334
  EXPECT_EQ(trial_plan[0].sign, 1.0);
  EXPECT_EQ(trial_plan[0].shift, 193);
  plan_trial(2);             // sign from 26500 (+1), shift from 19169
  EXPECT_EQ(trial_plan[0].sign, 1.0);
  EXPECT_EQ(trial_plan[0].shift, 585);
  plan_trial(3);             // sign from 15724 (-1), shift from 11478
  EXPECT_EQ(trial_plan[0].sign, -1.0);
  EXPECT_EQ(trial_plan[0].shift, 350);
}

TEST(trial_search, composite_reads_zero_outside_the_rows) {
  load_rows({{1.0, 2.0, 3.0}, {10.0, 20.0, 30.0, 40.0, 50.0}}, 4);
  struct composite_case {
    std::int32_t shift0, shift1;
    double sign1;
    std::vector<double> expected;
  } cases[] = {
      {0, 0, 1.0, {11.0, 22.0, 33.0, 40.0}},
      {2, 1, 1.0, {23.0, 30.0, 40.0, 50.0}},
      {-1, 0, -1.0, {-10.0, -19.0, -28.0, -37.0}},
      {2147483647, -2147483647 - 1, 1.0, {0.0, 0.0, 0.0, 0.0}},
      {199'998, 199'999, 1.0, {0.0, 0.0, 0.0, 0.0}},
  };
  for (const composite_case& c : cases) {
    trial_plan[0] = {1.0, c.shift0};
    trial_plan[1] = {c.sign1, c.shift1};
    const double rms = build_composite();
    double sum = 0.0;
    for (std::size_t j = 0; j < c.expected.size(); ++j) {
      EXPECT_EQ(composite_buffer[j], c.expected[j]) << c.shift0 << " " << c.shift1 << " " << j;
      sum = c.expected[j] * c.expected[j] + sum;
    }
    EXPECT_EQ(std::bit_cast<std::uint64_t>(rms), std::bit_cast<std::uint64_t>(std::sqrt(sum / 4)));
  }
}

TEST(trial_search, negated_zero_sums_to_positive_zero) {
  load_rows({{0.0, 0.0}}, 1);
  trial_plan[0] = {-1.0, 0};
  build_composite();
  EXPECT_FALSE(std::signbit(composite_buffer[0]));
}

TEST(trial_search, empty_composite_is_never_best) {
  load_rows({{1.0}}, 0);
  trial_plan[0] = {1.0, 0};
  EXPECT_TRUE(std::isnan(build_composite()));
}

}  // namespace
