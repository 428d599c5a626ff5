// The list's names are exactly its runs of bytes between white space, with
// their offsets, lengths and zero bytes known even past the name buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "history_reader.h"
#include "memory_source.h"
#include "reference_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  memory_source in{data, size};
  list_entry entry;
  std::size_t p = 0;
  for (;;) {
    while (p < size && reference::white(data[p])) ++p;
    const bool got = read_list_name(in, entry);
    if (p == size) {
      if (got) std::abort();
      break;
    }
    if (!got) std::abort();
    const std::size_t start = p;
    bool zero = false;
    while (p < size && !reference::white(data[p])) zero |= data[p++] == 0;
    const auto length = static_cast<std::int64_t>(p - start);
    if (entry.start != static_cast<std::int64_t>(start) || entry.length != length) std::abort();
    if (entry.holds_zero != zero) std::abort();
    const std::size_t kept = length < name_capacity - 1 ? p - start : name_capacity - 1;
    if (std::memcmp(entry.name, data + start, kept) != 0 || entry.name[kept] != '\0') std::abort();
    if (in.taken != p) std::abort();
  }
  return 0;
}
