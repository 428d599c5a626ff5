#include "console.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

constexpr std::size_t output_block = 4096;

char output_buffer[output_block];
std::size_t output_used = 0;
// Set while the main flow changes output_buffer, so that a signal handler
// never sends a block that is half written.
volatile std::sig_atomic_t output_busy = 0;
int output_mode = -1;  // -1 not yet known, 0 blocks, 1 terminal

void send_buffer() {
  // A console that cannot be written has nowhere to report it.
  write_whole(STDOUT_FILENO, output_buffer, output_used);
  output_used = 0;
}

bool output_is_terminal() {
  if (output_mode < 0) output_mode = ::isatty(STDOUT_FILENO) ? 1 : 0;
  return output_mode == 1;
}

}  // namespace

bool write_whole(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

void console_write(std::string_view text) {
  const bool terminal = output_is_terminal();
  output_busy = 1;
  for (const char c : text) {
    if (c == '\n') {
      if (output_used == output_block) send_buffer();
      output_buffer[output_used++] = '\r';
    }
    if (output_used == output_block) send_buffer();
    output_buffer[output_used++] = c;
  }
  // At a terminal the text must be on the screen before the caller goes on
  // (a prompt before its read); elsewhere only full blocks are sent.
  if (terminal) send_buffer();
  output_busy = 0;
}

void console_flush() {
  output_busy = 1;
  send_buffer();
  output_busy = 0;
}

void console_flush_after_signal() {
  if (output_busy) return;
  const int saved_errno = errno;
  send_buffer();
  errno = saved_errno;
}

namespace {

// At a terminal a read returns one whole line, as the C library's line
// buffering would take it: the rest of the line stays here, answers the next
// questions, and is never mistaken for the key press at the end.  From a
// pipe or a file one byte is read at a time, so that no more of the input is
// taken than the answers use.
unsigned char input_buffer[4096];
std::size_t input_position = 0;
std::size_t input_end = 0;
bool input_ended = false;
int input_mode = -1;  // -1 not yet known, 0 byte at a time, 1 line at a time

}  // namespace

int stdin_source::peek() {
  if (input_position < input_end) return input_buffer[input_position];
  if (input_ended) return -1;
  if (input_mode < 0) input_mode = ::isatty(STDIN_FILENO) ? 1 : 0;
  const std::size_t want = input_mode == 1 ? sizeof input_buffer : 1;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, input_buffer, want);
    if (got > 0) {
      input_position = 0;
      input_end = static_cast<std::size_t>(got);
      return input_buffer[0];
    }
    if (got < 0 && errno == EINTR) continue;
    // End of input, or input that cannot be read: every later answer stays 0.
    input_ended = true;
    return -1;
  }
}

void stdin_source::advance() {
  if (input_position < input_end) ++input_position;
}

stdin_source& standard_input() {
  static stdin_source source;
  return source;
}
