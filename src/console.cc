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

void write_all(const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to report a console that cannot be written
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

void send_buffer() {
  write_all(output_buffer, output_used);
  output_used = 0;
}

bool output_is_terminal() {
  if (output_mode < 0) output_mode = ::isatty(STDOUT_FILENO) ? 1 : 0;
  return output_mode == 1;
}

}  // namespace

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

int pending_input = -2;  // -2 none held, -1 end of input, else the byte
bool input_ended = false;

}  // namespace

int stdin_source::peek() {
  if (pending_input != -2) return pending_input;
  if (input_ended) return -1;
  unsigned char byte = 0;
  for (;;) {
    // One byte at a time: a read never takes more of standard input than the
    // answers use, so at a terminal each question waits for its own line.
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got == 1) {
      pending_input = byte;
      return pending_input;
    }
    if (got < 0 && errno == EINTR) continue;
    input_ended = true;
    return -1;
  }
}

void stdin_source::advance() {
  if (pending_input >= 0) pending_input = -2;
}

stdin_source& standard_input() {
  static stdin_source source;
  return source;
}
