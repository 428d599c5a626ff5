// Files an engineer may point the tool at by mistake, and inputs far beyond
// what it holds: it must end the way its rules say, never crash or hang.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>

#include "run_support.h"
#include "search_model.h"

namespace {

const char five_pairs[] = "0 1\n0.001 2\n0.002 3\n0.003 4\n0.004 5\n";

TEST(fault_run, files_that_are_not_data_end_reading_quietly) {
  std::string binary;
  std::uint32_t state = 12345;
  for (int i = 0; i < 100'000; ++i) {
    state = state * 1103515245u + 12345u;
    binary += static_cast<char>(state >> 24);
  }
  struct odd_file {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"binary", binary},
      {"zero bytes", std::string(1 << 20, '\0')},
      {"one long line of words", std::string(10 << 20, 'x') + "\n0 1\n"},
      {"empty", ""},
  };
  for (const odd_file& c : cases) {
    scratch_dir dir;
    dir.write("files.in", "a.txt odd.bin");
    dir.write("a.txt", five_pairs);
    dir.write("odd.bin", c.bytes);
    // The first file sets the step; the odd one loads what it can (if anything).
    const tool_run run = run_tool(dir, "0 0 0");
    EXPECT_EQ(run.output, completed_text("   0.001", "")) << c.name;
    EXPECT_EQ(run.status, 255) << c.name;
  }
}

TEST(fault_run, long_numbers_and_long_lines_read_exactly) {
  scratch_dir dir;
  dir.write("files.in", "a.txt");
  // One amplitude of 100,000 digits, then a 10 MB line of long numbers.
  std::string text = "0 0." + std::string(99'990, '3') + "\n";
  const std::string long_number = "0.000000000000000000000000000000000000001000000000000000000000 ";
  std::string line;
  while (line.size() < (10u << 20)) line += "0.001 " + long_number;
  text += line + "\n";
  dir.write("a.txt", text);
  const tool_run run = run_tool(dir, "0 1 2");
  EXPECT_EQ(run.status, 255);
  const std::string file = dir.read("composite.out");
  EXPECT_TRUE(file.starts_with(" 0.00000e+000  3.33333e-001 \r\n")) << file.substr(0, 40);
  EXPECT_NE(file.find("  1.00000e-039 \r\n"), std::string::npos);
}

TEST(fault_run, values_beyond_the_double_range_flow_through) {
  scratch_dir dir;
  dir.write("files.in", "a.txt");
  dir.write("a.txt", "0 1e400\n0.001 -1e999\n0.002 1e-400\n0.003 4\n0.004 5\n");
  const tool_run run = run_tool(dir, "0 3 2");
  EXPECT_EQ(run.output, completed_text("   0.001", crlf("\n 0        inf\n  1.0  0 \n")));
  EXPECT_EQ(dir.read("composite.out"),
            " 0.00000e+000         inf \r\n"
            " 1.00000e-003        -inf \r\n"
            " 2.00000e-003  0.00000e+000 \r\n"
            " 3.00000e-003  4.00000e+000 \r\n");
}

TEST(fault_run, unreadable_data_file_takes_the_failure_path) {
  scratch_dir dir;
  dir.write("files.in", "a.txt secret.txt");
  dir.write("a.txt", five_pairs);
  dir.write("secret.txt", five_pairs);
  ::chmod((dir.path + "/secret.txt").c_str(), 0);
  const tool_run run = run_tool_unprivileged(dir, "0 0 0");
  if (run.status == 122) GTEST_SKIP() << "cannot run as an unprivileged user here";
  EXPECT_EQ(run.output, opening_text() + crlf("  Failed to open file: secret.txt \n"
                                              "\n\n  Press any key to exit. \n"));
  EXPECT_EQ(run.status, 1);
}

// Feeds a data file through a FIFO and counts what the tool took before it
// stopped reading.
struct fifo_feed {
  std::atomic<std::int64_t> written{0};
  std::thread writer;

  fifo_feed(const std::string& path, std::string head, std::string repeated, std::int64_t limit) {
    ::mkfifo(path.c_str(), 0644);
    writer = std::thread([this, path, head = std::move(head), repeated = std::move(repeated),
                          limit] {
      ::signal(SIGPIPE, SIG_IGN);
      // Without a reader a plain open would wait for ever; try for ten seconds.
      int fd = -1;
      for (int tries = 0; tries < 10'000 && fd < 0; ++tries) {
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (fd < 0) return;
      ::fcntl(fd, F_SETFL, 0);
      auto send = [&](const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
          const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
          if (n <= 0) return false;
          done += static_cast<std::size_t>(n);
          written += n;
        }
        return true;
      };
      if (send(head)) {
        while (written < limit && send(repeated)) {
        }
      }
      ::close(fd);
    });
  }
  /// Waits for the writer to give up and returns how many bytes were taken.
  std::int64_t finish() {
    if (writer.joinable()) writer.join();
    return written;
  }
  ~fifo_feed() { finish(); }
};

std::string block_of(const std::string& unit, std::size_t bytes) {
  std::string block;
  while (block.size() < bytes) block += unit;
  return block;
}

TEST(fault_run, endless_pairs_stop_at_the_pair_limit) {
  scratch_dir dir;
  dir.write("files.in", "stream.txt");
  const std::int64_t offered = std::int64_t{600} << 20;  // several hundred MB
  std::int64_t taken = 0;
  {
    fifo_feed feed(dir.path + "/stream.txt", "", block_of("0.001 2.5\n", 1 << 16), offered);
    const tool_run run = run_tool(dir, "0 0 0");
    EXPECT_EQ(run.output, opening_text() + crlf("\n error 2 \n"));
    EXPECT_EQ(run.status, 1);
    taken = feed.finish();
  }
  // 200,000 pairs are 2 MB; the reader's buffer and the pipe add a little.
  EXPECT_LT(taken, std::int64_t{8} << 20);
}

TEST(fault_run, pairs_followed_by_other_text_stop_at_the_first_word) {
  scratch_dir dir;
  dir.write("files.in", "stream.txt");
  std::int64_t taken = 0;
  {
    fifo_feed feed(dir.path + "/stream.txt", five_pairs, block_of("end of data ", 1 << 16),
                   std::int64_t{600} << 20);
    const tool_run run = run_tool(dir, "0 0 0");
    EXPECT_EQ(run.output, completed_text("   0.001", ""));
    taken = feed.finish();
  }
  EXPECT_LT(taken, std::int64_t{8} << 20);
}

}  // namespace
