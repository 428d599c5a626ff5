#include "run_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

tool_run run_tool(const scratch_dir& dir, std::string_view input, run_options options) {
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
    if (::chdir(dir.path.c_str()) != 0) ::_exit(120);
    ::execl(TAVRELLE_BINARY, "tavrelle", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  ::close(input_fd);
  ::close(output_pipe[1]);
  tool_run run;
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
