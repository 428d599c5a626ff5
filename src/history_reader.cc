#include "history_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "console.h"
#include "history_table.h"

namespace {

// Pairs a data file may hold; reaching this many ends the run.
constexpr int pair_limit = sample_capacity;
// Files a run may load; loading this many ends the run.
constexpr int file_limit = history_capacity;

unsigned char list_buffer[1 << 16];
unsigned char data_buffer[1 << 20];

// Opens a file for reading; -1 when it cannot be opened or is a directory,
// which can be opened but never read as text.
int open_for_reading(const char* name) {
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat status;
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Prints the name as it stands in the list, even when it is too long to be
// held: the bytes are read again from the list file.
void print_listed_name(const byte_stream& list, const list_entry& entry) {
  if (entry.length < name_capacity) {
    console_write(std::string_view(entry.name, static_cast<std::size_t>(entry.length)));
    return;
  }
  char chunk[4096];
  std::int64_t done = 0;
  while (done < entry.length) {
    const auto want = static_cast<std::size_t>(
        entry.length - done < static_cast<std::int64_t>(sizeof chunk) ? entry.length - done
                                                                       : sizeof chunk);
    const ssize_t got = ::pread(list.fd, chunk, want, entry.start + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    console_write(std::string_view(chunk, static_cast<std::size_t>(got)));
    done += got;
  }
}

load_result fail_data_file(const byte_stream& list, const list_entry& entry) {
  console_write("  Failed to open file: ");
  print_listed_name(list, entry);
  console_write(" \n");
  console_write("\n\n  Press any key to exit. \n");
  wait_for_key();
  return load_result::failed;
}

load_result fail_list_file() {
  console_write(" Failed to open file: ");
  console_write(list_name);
  console_write(" \n");
  return load_result::failed;
}

}  // namespace

int byte_stream::refill() {
  if (ended || failed) return -1;
  buffer_offset += static_cast<std::int64_t>(end);
  position = 0;
  end = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, capacity);
    if (got > 0) {
      end = static_cast<std::size_t>(got);
      return buffer[0];
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failed = true;
    } else {
      ended = true;
    }
    return -1;
  }
}

void open_stream(byte_stream& stream, int fd, unsigned char* buffer, std::size_t capacity) {
  stream = byte_stream{};
  stream.fd = fd;
  stream.buffer = buffer;
  stream.capacity = capacity;
}

file_read read_data_file(int fd, int row, int& pairs) {
  byte_stream data;
  open_stream(data, fd, data_buffer, sizeof data_buffer);
  pairs = 0;
  for (;;) {
    double time = 0.0;
    double amplitude = 0.0;
    const int stored = read_pair(data, time, amplitude);
    if (stored == 0) break;
    store_pair(row, pairs, time, stored == 2 ? amplitude : 0.0);
    ++pairs;
    if (pairs == pair_limit) return file_read::too_many_pairs;
  }
  return data.failed ? file_read::failed : file_read::complete;
}

load_result load_histories() {
  console_write("\n ref 3 \n");
  const int list_fd = open_for_reading(list_name);
  if (list_fd < 0) return fail_list_file();
  console_write(" File: ");
  console_write(list_name);
  console_write(" opened. \n");

  byte_stream list;
  open_stream(list, list_fd, list_buffer, sizeof list_buffer);
  list_entry entry;
  int row = 0;
  for (;;) {
    if (!read_list_name(list, entry)) break;
    // A name that is too long, or that holds a zero byte, names no file that
    // could be opened: it takes the same path as a missing file.
    const bool usable = entry.length < name_capacity && !entry.holds_zero;
    const int data_fd = usable ? open_for_reading(entry.name) : -1;
    if (data_fd < 0) return fail_data_file(list, entry);

    int pairs = 0;
    const file_read outcome = read_data_file(data_fd, row, pairs);
    ::close(data_fd);
    if (outcome == file_read::too_many_pairs) {
      console_write("\n error 2 \n");
      return load_result::failed;
    }
    // A file whose reading broke off part way is as unusable as one that
    // could not be opened.
    if (outcome == file_read::failed) return fail_data_file(list, entry);
    if (pairs - 1 > history_table.composite_length) history_table.composite_length = pairs - 1;

    ++row;
    history_table.history_count = row;
    if (row == file_limit) {
      console_write("\n error 1 \n");
      console_write("\n maximum file limit exceeded. \n");
      return load_result::failed;
    }
  }
  if (list.failed) {
    ::close(list_fd);
    return fail_list_file();
  }
  ::close(list_fd);
  history_table.history_count = row;
  return load_result::loaded;
}
