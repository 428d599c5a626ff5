// The peek()/advance() byte source of the readers, over a fuzzer's input.
#pragma once

#include <cstddef>
#include <cstdint>

/// Hands out the bytes of a buffer.
struct memory_source {
  const std::uint8_t* data;  ///< the bytes
  std::size_t size;          ///< how many there are
  std::size_t taken = 0;     ///< how many have been taken

  /// The next byte, or -1 at the end.
  int peek() const { return taken < size ? data[taken] : -1; }
  /// Takes the next byte.
  void advance() { ++taken; }
  /// Offset of the next byte.
  std::int64_t offset() const { return static_cast<std::int64_t>(taken); }
};
