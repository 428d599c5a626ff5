// Integer answers: an optional sign and decimal digits, wrapped modulo 2^32;
// a failed read consumes only a lone sign.
#include <cstdint>
#include <cstdlib>

#include "memory_source.h"
#include "number_text.h"
#include "reference_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  memory_source in{data, size};
  while (in.taken < size) {
    std::size_t p = in.taken;
    while (p < size && reference::white(data[p])) ++p;
    std::int32_t value = 777;
    const number_read status = read_integer(in, value);
    if (p == size) {
      if (status != number_read::ended || in.taken != size || value != 777) std::abort();
      break;
    }
    const bool negative = data[p] == '-';
    if (data[p] == '+' || data[p] == '-') ++p;
    std::uint64_t wrapped = 0;
    const std::size_t first_digit = p;
    while (p < size && reference::digit(data[p])) {
      wrapped = (wrapped * 10 + (data[p] - '0')) % 4294967296u;
      ++p;
    }
    if (p == first_digit) {
      if (status != number_read::failed || in.taken != p || value != 777) std::abort();
      if (in.taken < size) in.advance();
      continue;
    }
    if (negative) wrapped = (4294967296u - wrapped) % 4294967296u;
    if (status != number_read::stored || in.taken != p) std::abort();
    if (static_cast<std::uint32_t>(value) != static_cast<std::uint32_t>(wrapped)) std::abort();
  }
  return 0;
}
