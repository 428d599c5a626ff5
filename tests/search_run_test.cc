// The search as the user sees it: the reports on the console and the file
// "composite.out", from the real binary.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "run_support.h"
#include "search_model.h"

namespace {

constexpr double step = 0.001;

struct search_fixture {
  scratch_dir dir;
  model_input model;

  explicit search_fixture(const std::vector<int>& lengths) {
    std::string list;
    int longest = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const std::string name = "h" + std::to_string(i) + ".txt";
      model.amplitudes.push_back(made_up_history(lengths[i], static_cast<unsigned>(i)));
      dir.write(name, history_file_text(model.amplitudes.back(), step));
      list += name + "\n";
      if (lengths[i] > longest) longest = lengths[i];
    }
    dir.write("files.in", list);
    model.sample_step = step;
    model.composite_length = longest > 0 ? longest - 1 : 0;
  }

  std::string expected_output(const std::string& report) const {
    return completed_text("   0.001", report);
  }
};

TEST(search_run, one_history_worked_by_hand) {
  scratch_dir dir;
  dir.write("files.in", "a.txt");
  // Four composite samples 3, 4, 0, 0: RMS sqrt(25 / 4) = 2.5.
  dir.write("a.txt", "0 3\n0.001 4\n0.002 0\n0.003 0\n0.004 -0.0123\n");
  const tool_run run = run_tool(dir, "0 1 2");
  EXPECT_EQ(run.output, completed_text("   0.001", crlf("\n 0        2.5\n  1.0  0 \n")));
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(dir.read("composite.out"),
            " 0.00000e+000  3.00000e+000 \r\n"
            " 1.00000e-003  4.00000e+000 \r\n"
            " 2.00000e-003  0.00000e+000 \r\n"
            " 3.00000e-003  0.00000e+000 \r\n");
}

TEST(search_run, reports_and_file_match_the_model) {
  struct search_case {
    std::vector<int> lengths;
    double max_time_shift;
    std::int32_t trials;
    std::int32_t inversion;
    const char* answers;
  } cases[] = {
      {{300, 250}, 0.1, 2, 2, "0.1 2 2"},     // trial 1 shifts 19 and 80
      {{300, 250}, 0.1, 40, 2, "0.1\n40\n2\n"},
      {{200, 200, 120}, 0.05, 1, 1, "0.05 1 1"},   // only trial 0 runs
      {{200, 200, 120}, 0.05, 4, 1, "0.05 4 1"},   // sign draws from trial 1
      {{200, 200, 120}, 0.05, 10, 1, "0.05 10 1"}, // sign draws from trial 3
      {{200, 150}, 0.0, 25, 2, "0 25 2"},          // only trial 0 can be best
      {{200, 150}, 0.0, 60, 1, "0 60 1"},
      {{400, 30, 390, 100, 5, 250, 399}, 0.02, 300, 1, "0.02 300 1"},
      {{100, 100}, 1.0, 50, 1, "1 50 1"},          // shifts past the end of the rows
      {{100, 100}, -0.03, 50, 1, "-0.03 50 1"},    // negative shifts
  };
  for (const search_case& c : cases) {
    search_fixture fixture(c.lengths);
    fixture.model.max_time_shift = c.max_time_shift;
    fixture.model.trial_count = c.trials;
    fixture.model.inversion_choice = c.inversion;
    const model_output expected = run_model(fixture.model);
    ASSERT_GT(expected.best_trials, 0);
    const tool_run run = run_tool(fixture.dir, c.answers);
    EXPECT_EQ(run.output, fixture.expected_output(expected.report)) << c.answers;
    EXPECT_EQ(fixture.dir.read("composite.out"), expected.composite_file) << c.answers;
    if (c.max_time_shift == 0.0 && c.inversion != 1) {
      EXPECT_EQ(expected.best_trials, 1);
    }
  }
}

TEST(search_run, two_runs_give_the_same_output_and_file) {
  search_fixture fixture({500, 480, 460});
  const tool_run first = run_tool(fixture.dir, "0.1 200 1");
  const std::string first_file = fixture.dir.read("composite.out");
  const tool_run second = run_tool(fixture.dir, "0.1 200 1");
  EXPECT_EQ(first.output, second.output);
  EXPECT_EQ(first_file, fixture.dir.read("composite.out"));
  EXPECT_FALSE(first_file.empty());
}

TEST(search_run, nothing_reported_leaves_no_file) {
  struct quiet_case {
    const char* name;
    std::string data;
    const char* answers;
  } cases[] = {
      {"empty composite", "0 1\n", "0.1 20 1"},
      {"all zero", "0 0\n1 0\n2 0\n3 0\n4 0\n", "0.1 20 1"},
      {"no trials", "0 1\n1 2\n2 3\n3 4\n4 5\n", "0.1 0 1"},
      {"negative trial count", "0 1\n1 2\n2 3\n3 4\n4 5\n", "0.1 -5 1"},
      {"wrapped trial count", "0 1\n1 2\n2 3\n3 4\n4 5\n", "0.1 3000000000 1"},
      {"a word for an answer", "0 1\n1 2\n2 3\n3 4\n4 5\n", "many 20 1"},
  };
  for (const quiet_case& c : cases) {
    scratch_dir dir;
    dir.write("files.in", "a.txt");
    dir.write("a.txt", c.data);
    const tool_run run = run_tool(dir, c.answers);
    EXPECT_EQ(run.output.find("\r\n 0 "), std::string::npos) << c.name;
    EXPECT_FALSE(dir.exists("composite.out")) << c.name;
    EXPECT_EQ(run.status, 255) << c.name;
  }
}

TEST(search_run, earlier_file_stays_when_nothing_is_reported) {
  scratch_dir dir;
  dir.write("files.in", "a.txt");
  dir.write("a.txt", "0 0\n1 0\n2 0\n");
  dir.write("composite.out", "from an earlier run\r\n");
  run_tool(dir, "0 10 1");
  EXPECT_EQ(dir.read("composite.out"), "from an earlier run\r\n");
}

TEST(search_run, negative_sample_step_writes_time_zero_without_sign) {
  scratch_dir dir;
  dir.write("files.in", "a.txt");
  dir.write("a.txt", "0 1\n-0.001 2\n-0.002 3\n-0.003 4\n-0.004 5\n");
  const tool_run run = run_tool(dir, "0.002 1 2");
  EXPECT_EQ(run.output, completed_text("  -0.001", crlf("\n 0     2.7386\n  1.0  0 \n")));
  EXPECT_EQ(dir.read("composite.out"),
            " 0.00000e+000  1.00000e+000 \r\n"
            " -1.00000e-003  2.00000e+000 \r\n"
            " -2.00000e-003  3.00000e+000 \r\n"
            " -3.00000e-003  4.00000e+000 \r\n");
}

// The result file stays whole: a failed write keeps the earlier file, and the
// search goes on with the message after the trial's report.
TEST(search_run, failed_write_keeps_the_earlier_file) {
  search_fixture fixture({300, 280});
  fixture.model.max_time_shift = 0.05;
  fixture.model.trial_count = 30;
  fixture.model.inversion_choice = 1;
  const model_output expected = run_model(fixture.model);
  std::string report_with_failures;
  // Each report ends with the lines of its histories; the message follows it.
  std::size_t at = 0;
  for (int b = 0; b < expected.best_trials; ++b) {
    std::size_t next = expected.report.find("\r\n\r\n", at + 2);
    next = next == std::string::npos ? expected.report.size() : next + 2;
    report_with_failures += expected.report.substr(at, next - at);
    report_with_failures += " Failed to write file: composite.out \r\n";
    at = next;
  }
  fixture.dir.write("composite.out", "from an earlier run\r\n");
  run_options small_disk;
  small_disk.file_size_limit = 1000;
  small_disk.ignore_sigxfsz = true;
  const tool_run run = run_tool(fixture.dir, "0.05 30 1", small_disk);
  EXPECT_EQ(run.output, fixture.expected_output(report_with_failures));
  EXPECT_EQ(fixture.dir.read("composite.out"), "from an earlier run\r\n");
  EXPECT_EQ(fixture.dir.listing(), "composite.out\nfiles.in\nh0.txt\nh1.txt\n");
}

}  // namespace

namespace {

TEST(search_run, read_only_directory_reports_each_failed_write) {
  if (::geteuid() != 0 && ::access("/tmp", W_OK) != 0) GTEST_SKIP() << "no scratch space";
  search_fixture fixture({300, 280});
  fixture.model.max_time_shift = 0.05;
  fixture.model.trial_count = 12;
  fixture.model.inversion_choice = 1;
  const model_output expected = run_model(fixture.model);
  const tool_run run = run_tool_unprivileged(fixture.dir, "0.05 12 1");
  if (run.status == 122) GTEST_SKIP() << "cannot run as an unprivileged user here";
  // Every report is followed by the message; the dialogue is otherwise whole.
  std::string output = run.output;
  int messages = 0;
  const std::string message = " Failed to write file: composite.out \r\n";
  for (std::size_t at = output.find(message); at != std::string::npos; at = output.find(message)) {
    output.erase(at, message.size());
    ++messages;
  }
  EXPECT_EQ(messages, expected.best_trials);
  EXPECT_EQ(output, fixture.expected_output(expected.report));
  EXPECT_FALSE(fixture.dir.exists("composite.out"));
  EXPECT_EQ(run.status, 255);
}

TEST(search_run, interrupted_search_leaves_a_whole_file_and_no_temporary) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    // Large enough that the search is still running when the signal comes.
    search_fixture fixture({60'000, 60'000, 60'000});
    const tool_run run =
        run_tool_until_file_then_signal(fixture.dir, "20 2000000000 1", signal_number);
    EXPECT_EQ(run.status, 128 + signal_number);
    const std::string file = fixture.dir.read("composite.out");
    // Whole: every one of the composite's lines, each complete.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = file.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 59'999u) << signal_number;
    EXPECT_TRUE(file.ends_with(" \r\n")) << signal_number;
    if (signal_number != SIGKILL) {
      EXPECT_EQ(fixture.dir.listing(), "composite.out\nfiles.in\nh0.txt\nh1.txt\nh2.txt\n")
          << signal_number;
      // What had been reported reaches the output even though it was a pipe.
      EXPECT_NE(run.output.find("\r\n 0 "), std::string::npos) << signal_number;
    }
  }
}

}  // namespace
