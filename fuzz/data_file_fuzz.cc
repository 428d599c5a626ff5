// A whole data file read into the table: the pairs, the pair count and the
// zero slots after them are what a pair-by-pair reading of the text gives.
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>

#include "history_reader.h"
#include "history_table.h"
#include "reference_reader.h"

namespace {

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("data", 0);
  if (fd < 0) return 0;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  ::lseek(fd, 0, SEEK_SET);
  clear_histories();
  int pairs = -1;
  const file_read outcome = read_data_file(fd, 0, pairs);
  ::close(fd);
  if (outcome == file_read::failed) std::abort();

  int expected_pairs = 0;
  std::size_t at = 0;
  for (;;) {
    const reference::number_outcome time = reference::read_number(data, size, at);
    at = time.next;
    if (time.status != 0) break;
    const reference::number_outcome amplitude = reference::read_number(data, size, at);
    at = amplitude.next;
    const double expected_amplitude = amplitude.status == 0 ? amplitude.value : 0.0;
    if (!same(history_table.time[0][expected_pairs], time.value)) std::abort();
    if (!same(amplitude_at(0, expected_pairs), expected_amplitude)) std::abort();
    ++expected_pairs;
    if (expected_pairs == sample_capacity) break;
  }
  if (pairs != expected_pairs) std::abort();
  if ((outcome == file_read::too_many_pairs) != (expected_pairs == sample_capacity)) std::abort();
  for (int p = pairs; p < pairs + 8 && p < sample_capacity; ++p) {
    if (history_table.time[0][p] != 0.0 || amplitude_at(0, p) != 0.0) std::abort();
  }
  return 0;
}
