// Every read of number text consumes what the grammar says and stores the
// correctly rounded double of the text it consumed.
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "memory_source.h"
#include "number_text.h"
#include "reference_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  memory_source in{data, size};
  for (int reads = 0; reads < 100000; ++reads) {
    const std::size_t at = in.taken;
    const reference::number_outcome expected = reference::read_number(data, size, at);
    double value = 12345.0;
    const number_read status = read_number(in, value);
    if (static_cast<int>(status) != expected.status) std::abort();
    if (in.taken != expected.next) std::abort();
    if (status == number_read::stored &&
        std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(expected.value)) {
      std::abort();
    }
    if (status != number_read::stored && value != 12345.0) std::abort();
    if (status == number_read::ended) break;
    // A failed read stops a data file; step over the byte to read on.
    if (status == number_read::failed && in.taken < size) in.advance();
  }
  return 0;
}
