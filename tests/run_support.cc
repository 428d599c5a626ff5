#include "run_support.h"

#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

scratch_dir::scratch_dir() {
  char pattern[] = "/tmp/tavrelle-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

scratch_dir::~scratch_dir() {
  std::error_code ignored;
  // A test may have made the directory read-only.
  ::chmod(path.c_str(), 0700);
  std::filesystem::remove_all(path, ignored);
}

void scratch_dir::write(const std::string& name, std::string_view bytes) const {
  std::ofstream out(path + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string scratch_dir::read(const std::string& name) const {
  std::ifstream in(path + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool scratch_dir::exists(const std::string& name) const {
  struct stat status;
  return ::lstat((path + "/" + name).c_str(), &status) == 0;
}

std::string scratch_dir::listing() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const auto& name : names) joined += name + "\n";
  return joined;
}

namespace {

// The build tree may lie where a plain user cannot reach (a clone in a 0700
// directory): unprivileged runs start a copy in a directory anyone may enter.
const std::string& binary_for_anyone() {
  static const std::string copy = [] {
    static scratch_dir place;
    ::chmod(place.path.c_str(), 0755);
    const std::string path = place.path + "/tavrelle";
    std::filesystem::copy_file(TAVRELLE_BINARY, path);
    ::chmod(path.c_str(), 0755);
    return path;
  }();
  return copy;
}

}  // namespace

tool_run run_tool(const scratch_dir& dir, std::string_view input, run_options options) {
  const std::string binary =
      options.unprivileged && ::geteuid() == 0 ? binary_for_anyone() : std::string(TAVRELLE_BINARY);
  char input_path[] = "/tmp/tavrelle-input-XXXXXX";
  const int input_fd = ::mkstemp(input_path);
  if (input_fd < 0) throw std::runtime_error("mkstemp failed");
  ::unlink(input_path);
  if (::write(input_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot write the input");
  }
  ::lseek(input_fd, 0, SEEK_SET);
  int output_pipe[2];
  if (::pipe(output_pipe) != 0) throw std::runtime_error("pipe failed");

  const pid_t child = ::fork();
  if (child == 0) {
    // A session of its own has no controlling terminal, so the key wait
    // finds none, whatever terminal the tests run at.
    ::setsid();
    ::dup2(input_fd, STDIN_FILENO);
    ::dup2(output_pipe[1], STDOUT_FILENO);
    ::close(output_pipe[0]);
    if (options.file_size_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.ignore_sigxfsz) ::signal(SIGXFSZ, SIG_IGN);
    if (options.unprivileged && ::geteuid() == 0) {
      // Root may write anywhere; a plain user shows what a read-only
      // directory does to the tool.
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(122);
    }
    if (::chdir(dir.path.c_str()) != 0) ::_exit(120);
    ::execl(binary.c_str(), "tavrelle", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  ::close(input_fd);
  ::close(output_pipe[1]);
  tool_run run;
  if (options.signal_when_file != 0) {
    // The output is a pipe, so the reports stay in the tool's buffer: watch
    // the directory instead.
    const std::string file = dir.path + "/composite.out";
    struct stat status;
    for (int waited = 0; waited < 20000 && ::stat(file.c_str(), &status) != 0; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(child, options.signal_when_file);
  }
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(output_pipe[0], chunk, sizeof chunk);
    if (got <= 0) break;
    run.output.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(output_pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string crlf(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string banner_text() {
  return crlf(
      "\n tavrelle   version 1.2   March 10, 2006\n"
      " Written and maintained by the tavrelle developers\n"
      "\n This program adds shock time histories to form a composite "
      "\n time history. The time histories are inverted and shifted "
      "\n as necessary to maximize the RMS value. \n"
      "\n The names of the individual files must be in a file called: \n files.in. \n"
      "\n Each time history must have the same sample rate.   "
      "\n Synchronization is not required, however.         \n"
      "\n ref 3 \n");
}

std::string opening_text() { return banner_text() + crlf(" File: files.in opened. \n"); }

std::string questions_text(std::string_view dt) {
  return crlf("\n dt=" + std::string(dt) +
              " \n"
              "\n Enter maximum time shift \n"
              "\n Enter number of trials \n"
              "\n Allow inversion? "
              "\n 1=yes 2=no \n");
}

std::string closing_text() {
  return crlf(
      "\n The output time history is: composite.out \n"
      "\n\n Calculation complete. \n Press any key to exit.");
}

tool_run run_tool_unprivileged(const scratch_dir& dir, std::string_view input) {
  // The user must be able to read what the test wrote there.
  ::chmod(dir.path.c_str(), 0555);
  run_options options;
  options.unprivileged = true;
  return run_tool(dir, input, options);
}

tool_run run_tool_until_file_then_signal(const scratch_dir& dir, std::string_view input,
                                         int signal_number) {
  run_options options;
  options.signal_when_file = signal_number;
  return run_tool(dir, input, options);
}

namespace {

bool terminal_is_raw(int master) {
  termios mode{};
  return ::tcgetattr(master, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
}

bool same_mode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Reads what the terminal shows into screen, waiting at most wait_ms.
void drain_screen(int master, std::string& screen, int wait_ms) {
  pollfd entry{master, POLLIN, 0};
  char chunk[4096];
  while (::poll(&entry, 1, wait_ms) > 0) {
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got <= 0) break;
    screen.append(chunk, static_cast<std::size_t>(got));
  }
}

// Takes the last of the screen, the child's status and the mode it left.
void finish_terminal_run(terminal_run& run, int master, const termios& before, int status) {
  drain_screen(master, run.screen, 20);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  termios after{};
  ::tcgetattr(master, &after);
  run.mode_kept = same_mode(before, after);
  ::close(master);
}

}  // namespace

terminal_run run_tool_at_terminal(const scratch_dir& dir, std::string_view typed_ahead,
                                  std::string_view key, int signal_number) {
  terminal_run run;
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    ::alarm(60);
    if (::chdir(dir.path.c_str()) != 0) ::_exit(120);
    ::execl(TAVRELLE_BINARY, "tavrelle", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  termios before{};
  ::tcgetattr(master, &before);
  if (!typed_ahead.empty()) {
    if (::write(master, typed_ahead.data(), typed_ahead.size()) < 0) {
      throw std::runtime_error("cannot type");
    }
  }
  // Wait for the key wait to take the terminal into raw mode.
  for (int waited = 0; waited < 20000 && !run.raw_mode_seen; ++waited) {
    drain_screen(master, run.screen, 0);
    if (terminal_is_raw(master)) {
      run.raw_mode_seen = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      finish_terminal_run(run, master, before, status);
      return run;
    }
  }
  if (signal_number != 0) {
    ::kill(child, signal_number);
  } else if (::write(master, key.data(), key.size()) < 0) {
    throw std::runtime_error("cannot type the key");
  }
  int status = 0;
  for (;;) {
    drain_screen(master, run.screen, 10);
    if (::waitpid(child, &status, WNOHANG) == child) break;
  }
  finish_terminal_run(run, master, before, status);
  return run;
}

std::string completed_text(std::string_view dt, std::string_view report) {
  return opening_text() + questions_text(dt) + std::string(report) + closing_text();
}
