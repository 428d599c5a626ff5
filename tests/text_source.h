// A byte source over a string, for feeding the readers in tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// Hands out the bytes of a string with the peek()/advance() of the readers.
struct text_source {
  std::string text;        ///< the bytes to hand out
  std::size_t offset = 0;  ///< how many have been taken

  /// The next byte, or -1 at the end.
  int peek() const {
    return offset < text.size() ? static_cast<unsigned char>(text[offset]) : -1;
  }
  /// Takes the next byte.
  void advance() { ++offset; }
  /// What has not been taken yet.
  std::string_view rest() const { return std::string_view(text).substr(offset); }
};
