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

namespace {

TEST(history_reader, names_of_the_list) {
  struct list_case {
    std::string text;
    std::vector<std::string> names;
  } cases[] = {
      {"a.txt b.txt", {"a.txt", "b.txt"}},
      {"\r\n a.txt\r\n\tb c\n", {"a.txt", "b", "c"}},
      {"\"quoted name\".txt", {"\"quoted", "name\".txt"}},
      {"\xEF\xBB\xBF" "a.txt\x1A", {"\xEF\xBB\xBF" "a.txt\x1A"}},
      {"caf\xC3\xA9.txt", {"caf\xC3\xA9.txt"}},
      {"", {}},
      {" \n\n ", {}},
  };
  for (const list_case& c : cases) {
    text_source in{c.text};
    list_entry entry;
    std::vector<std::string> names;
    while (read_list_name(in, entry)) {
      names.emplace_back(entry.name, static_cast<std::size_t>(entry.length));
      EXPECT_EQ(c.text.substr(static_cast<std::size_t>(entry.start), names.back().size()),
                names.back());
    }
    EXPECT_EQ(names, c.names) << c.text;
  }
}

TEST(history_reader, long_names_and_zero_bytes_are_marked) {
  const std::string longest(259, 'x');
  text_source in{longest + " " + std::string(300, 'y') + " a" + std::string(1, '\0') + "b"};
  list_entry entry;
  ASSERT_TRUE(read_list_name(in, entry));
  EXPECT_EQ(entry.length, 259);
  EXPECT_EQ(std::string(entry.name), longest);
  ASSERT_TRUE(read_list_name(in, entry));
  EXPECT_EQ(entry.length, 300);
  EXPECT_EQ(entry.start, 260);
  ASSERT_TRUE(read_list_name(in, entry));
  EXPECT_EQ(entry.length, 3);
  EXPECT_TRUE(entry.holds_zero);
  EXPECT_FALSE(read_list_name(in, entry));
}

}  // namespace
