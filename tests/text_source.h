// A byte source over a string, for feeding the readers in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Hands out the bytes of a string with the peek()/advance() of the readers.
struct text_source {
  std::string text;       ///< the bytes to hand out
  std::size_t taken = 0;  ///< how many have been taken

  /// The next byte, or -1 at the end.
  int peek() const { return taken < text.size() ? static_cast<unsigned char>(text[taken]) : -1; }
  /// Takes the next byte.
  void advance() { ++taken; }
  /// Where the next byte stands in the text.
  std::int64_t offset() const { return static_cast<std::int64_t>(taken); }
  /// What has not been taken yet.
  std::string_view rest() const { return std::string_view(text).substr(taken); }
};
