// The wait for one key press at the end of a run. It reads the terminal
// itself, not standard input, because the answers are often piped in and the
// wait must still be for a person at the keyboard.

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "console.h"
#include "key_decode.h"

namespace {

// How long the rest of an escape sequence or of a character may take to
// arrive. A terminal sends one key's bytes together, and nobody types a second
// key this soon after Esc, so this tells a lone Esc from the start of a
// sequence.
constexpr int sequence_gap_ms = 50;

// The most bytes thrown away after an unknown sequence, so that a key held
// down (auto-repeat) cannot keep the drain going for ever.
constexpr std::size_t drain_limit = 4096;

// What a signal handler needs to put the terminal back. The fd and the mode
// are written before the flag goes up and are read only while it is up.
volatile std::sig_atomic_t raw_mode_active = 0;
int raw_mode_fd = -1;
termios saved_mode{};

void leave_raw_mode() {
  while (tcsetattr(raw_mode_fd, TCSANOW, &saved_mode) != 0 && errno == EINTR) {
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  raw_mode_active = 0;
}

// Keys arrive one by one, unechoed, with Ctrl+C as byte 3 rather than a
// signal and Enter as 13; output processing is left alone so that whatever
// the program writes next still gets its CR LF.
bool enter_raw_mode(int fd) {
  termios mode{};
  if (tcgetattr(fd, &mode) != 0) return false;
  saved_mode = mode;
  raw_mode_fd = fd;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  // Up before the mode changes, so that a signal at any moment after the
  // change finds the way back.
  raw_mode_active = 1;
  mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | ISIG | IEXTEN);
  mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  // TCSANOW, not TCSAFLUSH: a key pressed while the program was still busy is
  // the answer to the wait and must not be thrown away.
  if (tcsetattr(fd, TCSANOW, &mode) != 0) {
    leave_raw_mode();
    return false;
  }
  return true;
}

// Reads one byte; false when the terminal has gone or fails.
bool read_byte(int fd, unsigned char& byte) {
  for (;;) {
    const ssize_t n = read(fd, &byte, 1);
    if (n == 1) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// Whether another byte is there, or arrives within the sequence gap.
bool byte_arrives(int fd) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int ready = poll(&entry, 1, sequence_gap_ms);
    if (ready > 0) return true;
    if (ready < 0 && errno == EINTR) continue;
    return false;
  }
}

// Reads and throws away the rest of a sequence this program does not know,
// so that it is not typed into the shell once the program has ended.
void drain(int fd) {
  unsigned char sink[64];
  std::size_t total = 0;
  while (total < drain_limit && byte_arrives(fd)) {
    const ssize_t n = read(fd, sink, sizeof sink);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    total += static_cast<std::size_t>(n);
  }
}

int read_key(int fd) {
  // One more than a key may take, so that decode_key sees an overlong run and
  // calls it unknown.
  unsigned char bytes[longest_key_sequence + 1];
  if (!read_byte(fd, bytes[0])) return -1;
  std::size_t count = 1;
  for (;;) {
    const key_decode_result result = decode_key(bytes, count);
    if (result.state == key_decode_state::complete) return result.code;
    if (result.state == key_decode_state::unknown) {
      drain(fd);
      return result.code;
    }
    // Bytes read one at a time, so a key typed right after this one stays
    // for whoever reads next.
    if (!byte_arrives(fd) || !read_byte(fd, bytes[count])) return result.code;
    ++count;
  }
}

}  // namespace

int wait_for_key() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  int code = -1;
  if (enter_raw_mode(fd)) {
    code = read_key(fd);
    leave_raw_mode();
  }
  close(fd);
  return code;
}

void restore_terminal_after_signal() {
  if (raw_mode_active == 0) return;
  const int saved_errno = errno;
  tcsetattr(raw_mode_fd, TCSANOW, &saved_mode);
  raw_mode_active = 0;
  errno = saved_errno;
}
