// The deterministic source of every random draw of the search: the same
// start on every run, never reseeded.
#pragma once

#include <cstdint>

/// The largest value next_draw() returns.
inline constexpr int largest_draw = 32767;

/// The generator's state: 1 when the program starts.
extern std::uint32_t random_state;

/// Advances the state and returns its bits 16 to 30 (0 ... 32767).
inline int next_draw() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int>((random_state >> 16) & 0x7FFFu);
}
