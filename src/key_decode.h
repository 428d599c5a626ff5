// How the bytes a terminal sends for one key press become one key code.
#pragma once

#include <cstddef>

/// What a run of bytes read from the terminal amounts to.
enum class key_decode_state {
  complete,    ///< the bytes form one whole key; the code is known
  needs_more,  ///< the bytes begin a known sequence that is not finished yet
  unknown,     ///< the bytes form no sequence that is known
};

/// The outcome of decoding: the state and the code.
struct key_decode_result {
  key_decode_state state;  ///< whether the key is whole
  int code;                ///< the key's code when complete; 27 when unknown;
                           ///< when needs_more, the code if no more bytes come
};

/// The most bytes one key press may take; decode_key calls a longer run unknown.
inline constexpr std::size_t longest_key_sequence = 16;

/// Decodes bytes[0..count) read from the terminal for one key press.
key_decode_result decode_key(const unsigned char* bytes, std::size_t count);
