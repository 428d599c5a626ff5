// Loading: the list file "files.in" and the data files it names, read into
// the history table with the loading messages, limits and failure paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "number_text.h"

/// The list of data file names, read from the working directory.
inline constexpr char list_name[] = "files.in";
/// Bytes a data file name may have, its terminator included.
inline constexpr int name_capacity = 260;

/// Bytes of a file read through a fixed buffer, with one byte of look-ahead.
struct byte_stream {
  int fd = -1;                    ///< the open file
  unsigned char* buffer = nullptr; ///< the fixed buffer bytes are read into
  std::size_t capacity = 0;       ///< size of buffer
  std::size_t position = 0;       ///< next byte of buffer to hand out
  std::size_t end = 0;            ///< bytes of buffer that hold file data
  std::int64_t buffer_offset = 0; ///< file offset of buffer[0]
  bool ended = false;             ///< the file has no more bytes
  bool failed = false;            ///< a read failed part way

  /// The next byte without taking it, or -1 at the end of the file.
  int peek() {
    if (position < end) return buffer[position];
    return refill();
  }
  /// Takes the byte that peek() returned.
  void advance() { ++position; }
  /// File offset of the next byte.
  std::int64_t offset() const { return buffer_offset + static_cast<std::int64_t>(position); }
  /// Reads the next block; the next byte, or -1 at the end or on failure.
  int refill();
};

/// Attaches an open file to a stream that reads it through buffer.
void open_stream(byte_stream& stream, int fd, unsigned char* buffer, std::size_t capacity);

/// Reads one (time, amplitude) pair; returns how many of the two numbers were stored.
template <class source>
int read_pair(source& in, double& time, double& amplitude) {
  if (read_number(in, time) != number_read::stored) return 0;
  if (read_number(in, amplitude) != number_read::stored) return 1;
  return 2;
}

/// One name taken from the list file.
struct list_entry {
  char name[name_capacity];  ///< the name and a terminator, when it fits
  std::int64_t length = 0;   ///< bytes of the name as written
  std::int64_t start = 0;    ///< offset of its first byte in the list file
  bool holds_zero = false;   ///< a zero byte stands in the name
};

/// Reads the next white-space-delimited name; false when the list has none left.
template <class source>
bool read_list_name(source& list, list_entry& entry) {
  int c = list.peek();
  while (is_white_space(c)) {
    list.advance();
    c = list.peek();
  }
  if (c < 0) return false;
  entry.length = 0;
  entry.holds_zero = false;
  entry.start = list.offset();
  while (c >= 0 && !is_white_space(c)) {
    if (entry.length < name_capacity - 1) entry.name[entry.length] = static_cast<char>(c);
    if (c == 0) entry.holds_zero = true;
    ++entry.length;
    list.advance();
    c = list.peek();
  }
  entry.name[entry.length < name_capacity - 1 ? entry.length : name_capacity - 1] = '\0';
  return true;
}

/// How reading one data file ended.
enum class file_read {
  complete,        ///< the file ended, or a byte that cannot begin a number stopped it
  too_many_pairs,  ///< the pair limit was reached
  failed,          ///< reading broke off part way
};

/// Reads the pairs of the open data file fd into row; pairs is how many were stored.
file_read read_data_file(int fd, int row, int& pairs);

/// How loading ended.
enum class load_result {
  loaded,  ///< the table holds every listed file
  failed,  ///< a failure was reported; the run ends with status 1
};

/// Fills the history table from "files.in" and the files it names, printing
/// the loading messages; sets history_count and composite_length.
load_result load_histories();
