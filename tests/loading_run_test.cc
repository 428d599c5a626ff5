// The loading dialogue of the real binary: what it prints for each list and
// data file, and how it ends.
#include <gtest/gtest.h>

#include <string>

#include "run_support.h"

namespace {

// Five pairs a millisecond apart: a sample step of 0.001.
const char five_pairs[] = "0 1\n0.001 2\n0.002 3\n0.003 4\n0.004 5\n";

std::string pairs_text(int count) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 12);
  for (int p = 0; p < count; ++p) text += std::to_string(p) + " 0.5\n";
  return text;
}

std::string repeated_names(const std::string& name, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += name + "\n";
  return list;
}

std::string failed_data_file(const std::string& name) {
  return crlf("  Failed to open file: " + name + " \n\n\n  Press any key to exit. \n");
}

TEST(loading_run, whole_dialogue_without_trials) {
  scratch_dir dir;
  dir.write("files.in", "a.txt\r\nb.txt\r\n");
  dir.write("a.txt", five_pairs);
  dir.write("b.txt", "0 7\r\n1 8\r\n");
  // Answers on separate lines and on one line read the same.
  for (const char* input : {"0.01\n0\n1\n", "0.01 0 1"}) {
    const tool_run run = run_tool(dir, input);
    EXPECT_EQ(run.output, completed_text("   0.001")) << input;
    EXPECT_EQ(run.status, 255) << "no terminal: the key wait gives -1";
    EXPECT_FALSE(dir.exists("composite.out"));
  }
}

TEST(loading_run, list_file_that_cannot_be_opened) {
  scratch_dir missing;
  const tool_run run = run_tool(missing, "");
  EXPECT_EQ(run.output, banner_text() + crlf(" Failed to open file: files.in \n"));
  EXPECT_EQ(run.status, 1);

  scratch_dir directory;
  ASSERT_EQ(std::system(("mkdir " + directory.path + "/files.in").c_str()), 0);
  EXPECT_EQ(run_tool(directory, "").output, run.output);
}

TEST(loading_run, data_file_that_cannot_be_opened) {
  const std::string long_name(260, 'n');
  const std::string longest_name(259, 'm');
  struct failure_case {
    std::string list;
    std::string printed_name;
  } cases[] = {
      {"a.txt missing.txt a.txt", "missing.txt"},
      {"a.txt subdir", "subdir"},
      {"a.txt " + long_name, long_name},
      {"a.txt " + longest_name, longest_name},
      {std::string("a.txt bad\0name", 14), std::string("bad\0name", 8)},
      {"\xEF\xBB\xBF" "a.txt", "\xEF\xBB\xBF" "a.txt"},
      {"a.txt \x1A", "\x1A"},
  };
  for (const failure_case& c : cases) {
    scratch_dir dir;
    dir.write("files.in", c.list);
    dir.write("a.txt", five_pairs);
    ASSERT_EQ(std::system(("mkdir " + dir.path + "/subdir").c_str()), 0);
    const tool_run run = run_tool(dir, "0.01 10 1\n");
    EXPECT_EQ(run.output, opening_text() + failed_data_file(c.printed_name))
        << c.list.substr(0, 30);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(dir.exists("composite.out"));
  }
}

TEST(loading_run, pair_limit) {
  scratch_dir dir;
  dir.write("files.in", "big.txt");
  dir.write("big.txt", pairs_text(199'999));
  // Whole numbers as times: the sample step is 1.
  EXPECT_EQ(run_tool(dir, "0 0 0").output, completed_text("       1"));

  dir.write("big.txt", pairs_text(200'000));
  const tool_run run = run_tool(dir, "0 0 0");
  EXPECT_EQ(run.output, opening_text() + crlf("\n error 2 \n"));
  EXPECT_EQ(run.status, 1);
}

TEST(loading_run, file_limit) {
  scratch_dir dir;
  dir.write("a.txt", five_pairs);
  dir.write("files.in", repeated_names("a.txt", 39));
  const tool_run loaded = run_tool(dir, "0 0 0");
  EXPECT_EQ(loaded.output, completed_text("   0.001"));
  EXPECT_EQ(loaded.status, 255);

  // The 40th file ends the run once it has been read, with no 41st name after it.
  for (const int names : {40, 41, 10'000}) {
    dir.write("files.in", repeated_names("a.txt", names));
    const tool_run run = run_tool(dir, "0 0 0");
    EXPECT_EQ(run.output,
              opening_text() + crlf("\n error 1 \n\n maximum file limit exceeded. \n"))
        << names;
    EXPECT_EQ(run.status, 1);
  }
}

TEST(loading_run, sample_step_from_the_first_file) {
  struct step_case {
    std::string list;
    std::string printed_dt;
  } cases[] = {
      {"", "       0"},                  // empty list: nothing loaded
      {"header.txt a.txt", "       0"},  // a header yields no pairs
      {"one.txt a.txt", "   -1.25"},     // (0 - 5) x 0.25
      {"a.txt one.txt", "   0.001"},
      {"crlf.txt", "   0.001"},
  };
  for (const step_case& c : cases) {
    scratch_dir dir;
    dir.write("files.in", c.list);
    dir.write("a.txt", five_pairs);
    dir.write("header.txt", "time,accel\n0 1\n0.001 2\n0.002 3\n0.003 4\n0.004 5\n");
    dir.write("one.txt", "5.0 2.0");
    dir.write("crlf.txt", "0 1\r\n0.001 2\r\n0.002 3\r\n0.003 4\r\n0.004 5\r\n");
    const tool_run run = run_tool(dir, "0.01 0 1");
    EXPECT_EQ(run.output, completed_text(c.printed_dt))
        << c.list;
    EXPECT_EQ(run.status, 255);
  }
}

}  // namespace
