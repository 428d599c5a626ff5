#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "history_reader.h"
#include "history_table.h"
#include "text_source.h"

namespace {

using pair_list = std::vector<std::pair<double, double>>;

// Reads pairs as loading does: until a read stores nothing.
pair_list read_all_pairs(const std::string& text) {
  text_source in{text};
  pair_list pairs;
  for (;;) {
    double time = 0.0;
    double amplitude = 0.0;
    const int stored = read_pair(in, time, amplitude);
    if (stored == 0) break;
    pairs.emplace_back(time, stored == 2 ? amplitude : 0.0);
  }
  return pairs;
}

TEST(history_reader, pairs_of_a_data_file) {
  struct pair_case {
    const char* text;
    pair_list expected;
  } cases[] = {
      {"0 1\n0.001 2\n", {{0, 1}, {0.001, 2}}},
      {"0 1\r\n0.001 2\r\n", {{0, 1}, {0.001, 2}}},
      {"1 2 3\n4 5 6\n", {{1, 2}, {3, 4}, {5, 6}}},
      {"1 2 3", {{1, 2}, {3, 0}}},
      {"1,2\n3,4\n", {{1, 0}}},
      {"1.0 - 2.0 3.0", {{1, 0}, {2, 3}}},
      {"1 2 - 3 4", {{1, 2}}},
      {"1-2+3-4", {{1, -2}, {3, -4}}},
      {"1.2.3.4", {{1.2, .3}, {.4, 0}}},
      {"time accel\n0 1\n", {}},
      {"\xEF\xBB\xBF" "0 1\n", {}},
      {"0 1\n2 3\nend\n4 5\n", {{0, 1}, {2, 3}}},
      {"0 1e\n2E+ 3\n", {{0, 1}, {2, 3}}},
      {"", {}},
  };
  for (const pair_case& c : cases) {
    EXPECT_EQ(read_all_pairs(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(history_table, amplitude_outside_a_row_is_zero) {
  clear_histories();
  store_pair(2, 0, 0.0, 1.5);
  store_pair(2, 1, 0.1, 2.5);
  store_pair(2, 2, 0.2, 3.5);
  history_table.composite_length = 10;
  EXPECT_EQ(amplitude_at(2, 2), 3.5);
  for (int p = 3; p < 10; ++p) EXPECT_EQ(amplitude_at(2, p), 0.0) << p;
  for (const std::int64_t p : {std::int64_t{-1}, std::int64_t{-2147483648LL}, std::int64_t{200'000},
                               std::int64_t{4'294'967'296LL}}) {
    EXPECT_EQ(amplitude_at(2, p), 0.0) << p;
  }
  clear_histories();
  EXPECT_EQ(amplitude_at(2, 0), 0.0);
  EXPECT_EQ(history_table.time[2][2], 0.0);
}

TEST(history_table, sample_step_from_the_first_row) {
  struct step_case {
    pair_list first_row;
    double expected;
  } cases[] = {
      {{{0, 1}, {0.001, 1}, {0.002, 1}, {0.003, 1}, {0.004, 1}, {0.1, 1}}, 0.001},
      {{{5.0, 1}}, -1.25},
      {{}, 0.0},
      {{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {9, 1}}, 2.0},
  };
  for (const step_case& c : cases) {
    clear_histories();
    for (std::size_t p = 0; p < c.first_row.size(); ++p) {
      store_pair(0, static_cast<int>(p), c.first_row[p].first, c.first_row[p].second);
    }
    EXPECT_EQ(compute_sample_step(), c.expected);
    EXPECT_EQ(history_table.sample_step, c.expected);
  }
}

}  // namespace
