// Turns the bytes of one key press into the code the old console reported:
// a plain key is its byte; the cursor and editing keys are 224 (or 0 with
// Alt), the function keys 0 (F11 and F12 are 224), as the first half of a
// two-code key. Only that first half is ever given back.

#include "key_decode.h"

namespace {

constexpr unsigned char escape = 27;
constexpr int escape_code = 27;
constexpr int extended_code = 224;
constexpr int function_code = 0;

// Parameters above this are no key; stopping here keeps the parse from
// overflowing on a run of digits.
constexpr int largest_parameter = 999;

key_decode_result complete(int code) { return {key_decode_state::complete, code}; }
key_decode_result needs_more(int code) { return {key_decode_state::needs_more, code}; }
key_decode_result unknown() { return {key_decode_state::unknown, escape_code}; }

// How many continuation bytes a UTF-8 lead byte announces; 0 for a byte
// that leads nothing (ASCII, a stray continuation, an overlong or
// out-of-range lead), which then stands alone.
std::size_t utf8_continuations(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// A character is its first byte. The continuation bytes are waited for only
// so that they are taken from the terminal too; a byte that cannot continue
// the character ends it, so a terminal that is not UTF-8 still gets its key.
key_decode_result decode_character(const unsigned char* bytes, std::size_t count) {
  const std::size_t wanted = utf8_continuations(bytes[0]);
  for (std::size_t i = 1; i < count; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return complete(bytes[0]);
  }
  if (count - 1 < wanted) return needs_more(bytes[0]);
  return complete(bytes[0]);
}

// The kinds of key the escape sequences name, each with its own rule for
// the modifiers.
enum class key_kind {
  editing,          // arrows, Home, End, Page Up/Down, Insert, Delete
  function_key,     // F1 to F10
  high_function,    // F11, F12
};

// xterm sends the modifiers as 1 + (Shift 1 | Alt 2 | Ctrl 4 | Meta 8).
bool has_alt(int modifier) { return ((modifier - 1) & 2) != 0; }

int code_for(key_kind kind, int modifier) {
  switch (kind) {
    case key_kind::editing:
      return has_alt(modifier) ? function_code : extended_code;
    case key_kind::function_key:
      return function_code;
    case key_kind::high_function:
      return extended_code;
  }
  return extended_code;
}

// The key named by the final letter of a cursor-style sequence, or false.
bool letter_key(unsigned char final_byte, key_kind& kind) {
  switch (final_byte) {
    case 'A': case 'B': case 'C': case 'D': case 'H': case 'F':
      kind = key_kind::editing;
      return true;
    case 'P': case 'Q': case 'R': case 'S':
      kind = key_kind::function_key;
      return true;
    default:
      return false;
  }
}

// The key named by the number of a "CSI n ~" sequence, or false.
bool tilde_key(int number, key_kind& kind) {
  if (number >= 1 && number <= 8) {  // 7 and 8 are rxvt's Home and End
    kind = key_kind::editing;
    return true;
  }
  if ((number >= 11 && number <= 15) || (number >= 17 && number <= 21)) {
    kind = key_kind::function_key;
    return true;
  }
  if (number == 23 || number == 24) {
    kind = key_kind::high_function;
    return true;
  }
  return false;
}

// The parameters of a CSI sequence: at most two numbers split by ';', each
// of which may be left empty (-1).
struct csi_parameters {
  int values[2] = {-1, -1};
  bool valid = true;
};

csi_parameters parse_parameters(const unsigned char* begin, const unsigned char* end) {
  csi_parameters result;
  int index = 0;
  for (const unsigned char* p = begin; p != end; ++p) {
    if (*p == ';') {
      if (++index > 1) return {{-1, -1}, false};
    } else if (*p >= '0' && *p <= '9') {
      int& value = result.values[index];
      value = (value < 0 ? 0 : value * 10) + (*p - '0');
      if (value > largest_parameter) return {{-1, -1}, false};
    } else {
      // '?', '<', ':' and the like belong to replies and mouse reports.
      return {{-1, -1}, false};
    }
  }
  return result;
}

// A modifier left out means none; 0 is never sent.
bool modifier_of(int value, int& modifier) {
  modifier = value < 0 ? 1 : value;
  return modifier >= 1;
}

// Reads "ESC [ [ X", the linux console's F1 to F5.
key_decode_result decode_linux_function(const unsigned char* bytes, std::size_t count) {
  if (count == 3) return needs_more(escape_code);
  if (count == 4 && bytes[3] >= 'A' && bytes[3] <= 'E') return complete(function_code);
  return unknown();
}

// Reads "ESC [ parameters final". The bytes are taken in the order the
// standard allows (parameters, then intermediates, then one final byte), so
// that a sequence this program does not know is still read to its end.
key_decode_result decode_csi(const unsigned char* bytes, std::size_t count) {
  if (count >= 3 && bytes[2] == '[') return decode_linux_function(bytes, count);
  std::size_t i = 2;
  while (i < count && bytes[i] >= 0x30 && bytes[i] <= 0x3F) ++i;
  const std::size_t parameters_end = i;
  while (i < count && bytes[i] >= 0x20 && bytes[i] <= 0x2F) ++i;
  if (i == count) return needs_more(escape_code);
  const unsigned char final_byte = bytes[i];
  if (final_byte < 0x40 || final_byte > 0x7E) return unknown();
  if (i + 1 != count || parameters_end != i) return unknown();

  const csi_parameters parameters = parse_parameters(bytes + 2, bytes + parameters_end);
  if (!parameters.valid) return unknown();
  int modifier = 1;
  if (!modifier_of(parameters.values[1], modifier)) return unknown();
  key_kind kind{};
  if (final_byte == '~') {
    if (!tilde_key(parameters.values[0], kind)) return unknown();
    return complete(code_for(kind, modifier));
  }
  if (!letter_key(final_byte, kind)) return unknown();
  // "CSI A" alone, or "CSI 1 ; m A" with a modifier; "CSI 5 A" is a cursor
  // movement, not a key.
  if (parameters.values[0] != -1 && parameters.values[0] != 1) return unknown();
  return complete(code_for(kind, modifier));
}

// Reads "ESC O final", with the optional modifier digits a few terminals
// put before the final letter.
key_decode_result decode_ss3(const unsigned char* bytes, std::size_t count) {
  std::size_t i = 2;
  int digits = -1;
  while (i < count && bytes[i] >= '0' && bytes[i] <= '9') {
    digits = (digits < 0 ? 0 : digits * 10) + (bytes[i] - '0');
    if (digits > largest_parameter) return unknown();
    ++i;
  }
  if (i == count) return needs_more(escape_code);
  if (i + 1 != count) return unknown();
  key_kind kind{};
  if (!letter_key(bytes[i], kind)) return unknown();
  int modifier = 1;
  if (!modifier_of(digits, modifier)) return unknown();
  return complete(code_for(kind, modifier));
}

}  // namespace

key_decode_result decode_key(const unsigned char* bytes, std::size_t count) {
  if (count == 0) return needs_more(-1);
  if (count > longest_key_sequence) return unknown();
  if (bytes[0] != escape) return decode_character(bytes, count);
  // A lone Esc is a key of its own once nothing follows it in time.
  if (count == 1) return needs_more(escape_code);
  if (bytes[1] == '[') return decode_csi(bytes, count);
  if (bytes[1] == 'O') return decode_ss3(bytes, count);
  return unknown();
}
