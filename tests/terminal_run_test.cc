// The real binary at a terminal: the final key wait, the key codes it ends
// with, and the terminal's mode left as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "run_support.h"

namespace {

void write_small_run(const scratch_dir& dir) {
  dir.write("files.in", "a.txt");
  dir.write("a.txt", "0 1\n0.001 2\n0.002 3\n0.003 4\n0.004 5\n");
}

TEST(terminal_run, key_pressed_at_the_end_is_the_exit_status) {
  struct key_case {
    const char* name;
    const char* bytes;
    int status;
  } cases[] = {
      {"Enter", "\r", 13},     {"Ctrl+C", "\x03", 3}, {"arrow up", "\x1b[A", 224},
      {"F1", "\x1bOP", 0},     {"F12", "\x1b[24~", 224}, {"letter", "x", 120},
      {"lone Esc", "\x1b", 27},
  };
  for (const key_case& c : cases) {
    scratch_dir dir;
    write_small_run(dir);
    const terminal_run run = run_tool_at_terminal(dir, "0.001 3 1\n", c.bytes);
    EXPECT_TRUE(run.raw_mode_seen) << c.name;
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_TRUE(run.mode_kept) << c.name;
    // The last prompt was on the screen before the wait began.
    EXPECT_NE(run.screen.find("Press any key to exit."), std::string::npos) << c.name;
    EXPECT_TRUE(dir.exists("composite.out")) << c.name;
  }
}

TEST(terminal_run, key_typed_before_the_wait_ends_it_at_once) {
  scratch_dir dir;
  write_small_run(dir);
  const terminal_run run = run_tool_at_terminal(dir, "0.001 3 1\nq", "");
  EXPECT_EQ(run.status, 'q');
  EXPECT_TRUE(run.mode_kept);
}

TEST(terminal_run, failed_data_file_waits_for_a_key_then_ends_with_1) {
  scratch_dir dir;
  dir.write("files.in", "missing.txt");
  const terminal_run run = run_tool_at_terminal(dir, "", "\r");
  EXPECT_TRUE(run.raw_mode_seen);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.mode_kept);
  EXPECT_NE(run.screen.find("  Press any key to exit. "), std::string::npos);
}

TEST(terminal_run, signal_during_the_wait_restores_the_mode) {
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
    scratch_dir dir;
    write_small_run(dir);
    const terminal_run run = run_tool_at_terminal(dir, "0 0 0\n", "", signal_number);
    EXPECT_TRUE(run.raw_mode_seen) << signal_number;
    EXPECT_EQ(run.status, 128 + signal_number);
    EXPECT_TRUE(run.mode_kept) << signal_number;
  }
}

}  // namespace

namespace {

// What is left of an answer's line belongs to the answers, not to the key wait.
TEST(terminal_run, rest_of_an_answer_line_is_not_the_key) {
  for (const char* typed : {"0.001 3 1   \n", "many words\n", "0.001\n3\n1 and more\n"}) {
    scratch_dir dir;
    write_small_run(dir);
    const terminal_run run = run_tool_at_terminal(dir, typed, "\r");
    EXPECT_TRUE(run.raw_mode_seen) << typed;
    EXPECT_EQ(run.status, 13) << typed;
    EXPECT_TRUE(run.mode_kept) << typed;
  }
}

}  // namespace
