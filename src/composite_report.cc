#include "composite_report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "console.h"
#include "history_table.h"
#include "number_format.h"
#include "trial_search.h"

namespace {

// Longest line: a blank, two signed numbers of 13 characters, three blanks, CR LF.
constexpr std::size_t longest_line = 64;

char file_buffer[1 << 16];
char temporary_name[64];
volatile std::sig_atomic_t temporary_exists = 0;

std::string_view field(const char* text, std::size_t length) { return {text, length}; }

// Writes every line of the composite to fd.
bool write_lines(int fd) {
  const std::int32_t length = history_table.composite_length;
  const double step = history_table.sample_step;
  std::size_t used = 0;
  for (std::int32_t j = 0; j < length; ++j) {
    if (used + longest_line > sizeof file_buffer) {
      if (!write_whole(fd, file_buffer, used)) return false;
      used = 0;
    }
    used += format_composite_line(file_buffer + used, j * step, composite_buffer[j]);
  }
  return write_whole(fd, file_buffer, used);
}

// The new content goes to a file of its own first; only a whole file is
// renamed over the old one, so a full disk or an interruption never leaves a
// damaged or empty "composite.out" behind.
bool replace_output_file() {
  if (temporary_name[0] == '\0') {
    std::snprintf(temporary_name, sizeof temporary_name, "%s.%ld.tmp", output_name,
                  static_cast<long>(::getpid()));
  }
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    temporary_exists = 1;
    fd = ::open(temporary_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      temporary_exists = 0;
      // Left by an earlier process of the same number that was killed.
      if (errno == EEXIST && attempt == 0) ::unlink(temporary_name);
    }
  }
  if (fd < 0) return false;
  bool written = write_lines(fd);
  if (::close(fd) != 0) written = false;
  if (written && ::rename(temporary_name, output_name) == 0) {
    temporary_exists = 0;
    return true;
  }
  ::unlink(temporary_name);
  temporary_exists = 0;
  return false;
}

}  // namespace

std::size_t format_composite_line(char* out, double time, double amplitude) {
  char* p = out;
  *p++ = ' ';
  p += format_e(p, time, 10, 5);
  *p++ = ' ';
  *p++ = ' ';
  p += format_e(p, amplitude, 10, 5);
  *p++ = ' ';
  *p++ = '\r';
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

void report_best(std::int32_t k) {
  char number[number_field_capacity];
  console_write("\n ");
  console_write(field(number, format_ld(number, k)));
  console_write(" ");
  console_write(field(number, format_g(number, best_rms, 10, 5)));
  console_write("\n");
  for (int i = 0; i < history_table.history_count; ++i) {
    console_write(" ");
    console_write(field(number, format_f(number, trial_plan[i].sign, 4, 1)));
    console_write("  ");
    console_write(field(number, format_ld(number, trial_plan[i].shift)));
    console_write(" \n");
  }
}

bool write_composite_file() {
  if (replace_output_file()) return true;
  console_write(" Failed to write file: ");
  console_write(output_name);
  console_write(" \n");
  return false;
}

void discard_temporary_composite() {
  if (temporary_exists) ::unlink(temporary_name);
}
