// The console: standard output in text mode, standard input read one byte
// at a time, and the single key press read from the terminal itself.
#pragma once

#include <cstddef>
#include <string_view>

/// Writes all count bytes to the open file fd, going on after interruptions;
/// false when a write fails.  Safe in a signal handler.
bool write_whole(int fd, const char* bytes, std::size_t count);

/// Writes text to standard output, each "\n" as CR LF; at a terminal it is
/// on the screen before the call returns, otherwise it is sent in 4096-byte blocks.
void console_write(std::string_view text);

/// Sends whatever standard output still holds.
void console_flush();

/// Sends what standard output holds from inside a signal handler.
void console_flush_after_signal();

/// Standard input with one byte of look-ahead that stays unread until it is
/// taken; the source of the three answers (a line at a time from a terminal,
/// a byte at a time otherwise).
struct stdin_source {
  /// The next byte without taking it, or -1 when standard input has ended.
  int peek();
  /// Takes the byte that peek() returned.
  void advance();
};

/// The program's one reader of standard input.
stdin_source& standard_input();

/// Waits for one key press on the terminal and returns its code (1-255, or 0
/// for a key that starts a two-code sequence with 0); -1 at once when there is
/// no terminal.
int wait_for_key();

/// Puts the terminal back into the mode it had before wait_for_key, from a
/// signal handler.
void restore_terminal_after_signal();
