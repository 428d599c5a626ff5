// wait_for_key run in a child on a pseudo-terminal of its own: the parent
// types on the master side and watches the terminal's mode through the slave.

#include "console.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Every wait on the other side gives up after this, so that a wait_for_key
// that never returns fails a test instead of hanging it.
constexpr int hang_guard_ms = 10000;
// And a child that is stuck dies of SIGALRM well after that.
constexpr unsigned child_alarm_seconds = 30;

bool write_all(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool readable_within(int fd, int timeout_ms) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int ready = poll(&entry, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

bool read_all(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (!readable_within(fd, hang_guard_ms)) return false;
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool same_mode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Takes whatever input the terminal still holds and returns how many bytes
// that was. Canonical mode would hide a line without its Enter, so the count
// is taken in non-canonical mode.
int take_pending_input(int tty) {
  termios mode{};
  if (tcgetattr(tty, &mode) != 0) return -1;
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  if (tcsetattr(tty, TCSANOW, &mode) != 0) return -1;
  int total = 0;
  char sink[256];
  for (;;) {
    const ssize_t n = read(tty, sink, sizeof sink);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return total;
    total += static_cast<int>(n);
  }
}

// The handler the program itself installs does the same before it ends.
extern "C" void restore_then_die(int signal_number) {
  restore_terminal_after_signal();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

struct child_report {
  int code;        // what wait_for_key returned
  termios after;   // the terminal's mode once it had returned
  int left_over;   // input bytes it left on the terminal
};

struct child_options {
  bool stdin_from_pipe = false;  // answers piped in, as in a scripted run
  bool wait_for_go = false;      // start waiting only when the parent says so
};

// The child's side: report the mode, wait for a key, report the outcome.
[[noreturn]] void run_child(int report_fd, int go_fd, const child_options& options) {
  alarm(child_alarm_seconds);
  struct sigaction action {};
  action.sa_handler = restore_then_die;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);

  const int tty = dup(STDIN_FILENO);
  if (options.stdin_from_pipe) {
    int answers[2];
    if (pipe(answers) != 0) _exit(2);
    if (!write_all(answers[1], "yes\n", 4)) _exit(2);
    close(answers[1]);
    dup2(answers[0], STDIN_FILENO);
    close(answers[0]);
  }
  termios before{};
  if (tcgetattr(tty, &before) != 0) _exit(2);
  if (!write_all(report_fd, &before, sizeof before)) _exit(2);
  if (options.wait_for_go) {
    char go = 0;
    if (!read_all(go_fd, &go, 1)) _exit(2);
  }
  child_report report{};
  report.code = wait_for_key();
  tcgetattr(tty, &report.after);
  report.left_over = take_pending_input(tty);
  if (!write_all(report_fd, &report, sizeof report)) _exit(2);
  _exit(0);
}

// A child waiting for a key on its own pseudo-terminal, seen from the parent.
struct pty_child {
  pid_t pid = -1;
  int master = -1;
  int slave = -1;   // held open so the mode outlives the child
  int report = -1;
  int go = -1;
  termios before{};

  ~pty_child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    for (const int fd : {master, slave, report, go}) {
      if (fd >= 0) close(fd);
    }
  }

  // Forks the child and takes its first message, the mode before the wait.
  ::testing::AssertionResult start(const child_options& options) {
    int report_pipe[2];
    int go_pipe[2];
    if (pipe2(report_pipe, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << "pipe";
    if (pipe2(go_pipe, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << "pipe";
    pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return ::testing::AssertionFailure() << "forkpty: " << std::strerror(errno);
    if (pid == 0) {
      close(report_pipe[0]);
      close(go_pipe[1]);
      run_child(report_pipe[1], go_pipe[0], options);
    }
    close(report_pipe[1]);
    close(go_pipe[0]);
    report = report_pipe[0];
    go = go_pipe[1];
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return ::testing::AssertionFailure() << "ptsname";
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return ::testing::AssertionFailure() << "open " << name;
    if (!read_all(report, &before, sizeof before)) {
      return ::testing::AssertionFailure() << "child sent no mode";
    }
    return ::testing::AssertionSuccess();
  }

  bool in_raw_mode() const {
    termios mode{};
    return tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
  }

  // Waits until the child has entered raw mode, or has already answered.
  ::testing::AssertionResult wait_for_raw_mode() const {
    for (int waited = 0; waited < hang_guard_ms; ++waited) {
      if (in_raw_mode()) return ::testing::AssertionSuccess();
      if (readable_within(report, 1)) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the terminal never left canonical mode";
  }

  bool type(std::string_view keys) const { return write_all(master, keys.data(), keys.size()); }

  // Waits until the terminal has echoed text, that is, until the line
  // discipline holds it as input.
  ::testing::AssertionResult wait_for_echo(std::string_view text) const {
    std::string seen;
    while (seen.find(text) == std::string::npos) {
      char chunk[64];
      if (!readable_within(master, hang_guard_ms)) {
        return ::testing::AssertionFailure() << "no echo of " << text;
      }
      const ssize_t n = read(master, chunk, sizeof chunk);
      if (n <= 0) return ::testing::AssertionFailure() << "master closed";
      seen.append(chunk, static_cast<std::size_t>(n));
    }
    return ::testing::AssertionSuccess();
  }

  // The child's report and its exit status.
  ::testing::AssertionResult finish(child_report& outcome, int& status) {
    if (!read_all(report, &outcome, sizeof outcome)) {
      return ::testing::AssertionFailure() << "wait_for_key did not return";
    }
    status = end();
    return ::testing::AssertionSuccess();
  }

  // Reaps the child; its alarm bounds how long this can take.
  int end() {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    return status;
  }
};

struct key_case {
  std::string_view keys;  // bytes typed during the wait
  int code;               // what wait_for_key returns
  int left_over;          // bytes it leaves on the terminal
};

std::string shown(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte >= 32 && byte < 127) ? std::string(1, c) : "\\x" + std::to_string(byte);
  }
  return out;
}

TEST(key_wait, keys_typed_during_the_wait) {
  const key_case cases[] = {
      {"\r", 13, 0},
      {"\x03", 3, 0},  // Ctrl+C is a key here, not a signal
      {"\x1a", 26, 0},
      {"q", 'q', 0},
      {"ab", 'a', 1},  // the next key stays for whoever reads next
      {"\x1b[A", 224, 0},
      {"\x1b[1;5D", 224, 0},
      {"\x1b[3~", 224, 0},
      {"\x1b[1;3A", 0, 0},
      {"\x1bOP", 0, 0},
      {"\x1b[15;2~", 0, 0},
      {"\x1b[24~", 224, 0},
      {"\x1b", 27, 0},
      {"\x1bxyz", 27, 0},  // an unknown sequence is drained
      {"\x1b[200~pasted\x1b[201~", 27, 0},
      {"\xc3\xa9", 0xc3, 0},
      {"\xe2\x82\xac", 0xe2, 0},
  };
  for (const key_case& c : cases) {
    SCOPED_TRACE(shown(c.keys));
    pty_child child;
    ASSERT_TRUE(child.start({}));
    ASSERT_TRUE(child.wait_for_raw_mode());
    ASSERT_TRUE(child.type(c.keys));
    child_report outcome{};
    int status = 0;
    ASSERT_TRUE(child.finish(outcome, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.left_over, c.left_over);
    EXPECT_TRUE(same_mode(outcome.after, child.before));
  }
}

TEST(key_wait, reads_the_terminal_when_stdin_is_a_pipe) {
  pty_child child;
  child_options options;
  options.stdin_from_pipe = true;
  ASSERT_TRUE(child.start(options));
  ASSERT_TRUE(child.wait_for_raw_mode());
  ASSERT_TRUE(child.type("\r"));
  child_report outcome{};
  int status = 0;
  ASSERT_TRUE(child.finish(outcome, status));
  EXPECT_EQ(outcome.code, 13);
  EXPECT_TRUE(same_mode(outcome.after, child.before));
}

TEST(key_wait, key_typed_before_the_wait_ends_it) {
  pty_child child;
  child_options options;
  options.wait_for_go = true;
  ASSERT_TRUE(child.start(options));
  ASSERT_TRUE(child.type("q"));
  // Once echoed, the key sits in the terminal's input, where flushing on the
  // switch to raw mode would lose it.
  ASSERT_TRUE(child.wait_for_echo("q"));
  ASSERT_TRUE(write_all(child.go, "g", 1));
  ASSERT_TRUE(child.wait_for_raw_mode());
  // Had the typed key been thrown away, this one would end the wait.
  ASSERT_TRUE(child.type("z"));
  child_report outcome{};
  int status = 0;
  ASSERT_TRUE(child.finish(outcome, status));
  EXPECT_EQ(outcome.code, 'q');
  EXPECT_TRUE(same_mode(outcome.after, child.before));
}

TEST(key_wait, sigterm_during_the_wait_restores_the_mode) {
  pty_child child;
  ASSERT_TRUE(child.start({}));
  ASSERT_TRUE(child.wait_for_raw_mode());
  ASSERT_TRUE(child.in_raw_mode());
  ASSERT_EQ(kill(child.pid, SIGTERM), 0);
  const int status = child.end();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  termios after{};
  ASSERT_EQ(tcgetattr(child.slave, &after), 0);
  EXPECT_TRUE(same_mode(after, child.before));
}

TEST(key_wait, no_controlling_terminal_returns_minus_one) {
  int result_pipe[2];
  ASSERT_EQ(pipe2(result_pipe, O_CLOEXEC), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(child_alarm_seconds);
    close(result_pipe[0]);
    if (setsid() < 0) _exit(2);
    const int code = wait_for_key();
    _exit(write_all(result_pipe[1], &code, sizeof code) ? 0 : 2);
  }
  close(result_pipe[1]);
  int code = 0;
  const bool reported = read_all(result_pipe[0], &code, sizeof code);
  close(result_pipe[0]);
  if (!reported) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(reported) << "wait_for_key did not return";
  EXPECT_EQ(code, -1);
}

}  // namespace
