#include "key_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

constexpr auto complete = key_decode_state::complete;
constexpr auto needs_more = key_decode_state::needs_more;
constexpr auto unknown = key_decode_state::unknown;

key_decode_result decode(std::string_view bytes) {
  return decode_key(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string shown(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 27) {
      out += "ESC ";
    } else if (byte < 32 || byte >= 127) {
      out += "\\x" + std::to_string(byte) + " ";
    } else {
      out += c;
      out += ' ';
    }
  }
  return out;
}

struct decode_case {
  std::string_view bytes;
  key_decode_state state;
  int code;
};

void expect_decodes(const decode_case& c) {
  const key_decode_result result = decode(c.bytes);
  EXPECT_EQ(result.state, c.state) << shown(c.bytes);
  EXPECT_EQ(result.code, c.code) << shown(c.bytes);
}

TEST(key_decode, plain_bytes_are_their_own_code) {
  const decode_case cases[] = {
      {"a", complete, 'a'},
      {"\r", complete, 13},
      {"\x03", complete, 3},
      {"\x1a", complete, 26},
      {"\x7f", complete, 127},
      {std::string_view("\0", 1), complete, 0},
      {"\x80", complete, 0x80},  // a stray continuation byte stands alone
      {"\xc0", complete, 0xc0},  // an overlong lead announces nothing
      {"\xff", complete, 0xff},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, utf8_character_is_its_first_byte_once_whole) {
  const decode_case cases[] = {
      {"\xc3", needs_more, 0xc3},
      {"\xc3\xa9", complete, 0xc3},              // é
      {"\xe2\x82", needs_more, 0xe2},
      {"\xe2\x82\xac", complete, 0xe2},          // €
      {"\xf0\x9f\x98", needs_more, 0xf0},
      {"\xf0\x9f\x98\x80", complete, 0xf0},      // an emoji
      {"\xc3" "a", complete, 0xc3},              // not UTF-8: the lead alone
      {"\xe2\x82" "a", complete, 0xe2},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, cursor_and_editing_keys_are_224_or_0_with_alt) {
  const decode_case cases[] = {
      {"\x1b[A", complete, 224},  {"\x1b[B", complete, 224},
      {"\x1b[C", complete, 224},  {"\x1b[D", complete, 224},
      {"\x1b[H", complete, 224},  {"\x1b[F", complete, 224},
      {"\x1bOA", complete, 224},  {"\x1bOB", complete, 224},
      {"\x1bOC", complete, 224},  {"\x1bOD", complete, 224},
      {"\x1bOH", complete, 224},  {"\x1bOF", complete, 224},
      {"\x1b[1~", complete, 224}, {"\x1b[2~", complete, 224},
      {"\x1b[3~", complete, 224}, {"\x1b[4~", complete, 224},
      {"\x1b[5~", complete, 224}, {"\x1b[6~", complete, 224},
      {"\x1b[7~", complete, 224}, {"\x1b[8~", complete, 224},
      // Shift, Ctrl, Ctrl+Shift and no modifier at all
      {"\x1b[1;2A", complete, 224}, {"\x1b[1;5D", complete, 224},
      {"\x1b[1;6H", complete, 224}, {"\x1b[1;1F", complete, 224},
      {"\x1b[;5C", complete, 224},  {"\x1b[3;5~", complete, 224},
      {"\x1b[5;2~", complete, 224}, {"\x1b[2;6~", complete, 224},
      {"\x1bO5A", complete, 224},
      // Alt, alone or with others
      {"\x1b[1;3A", complete, 0}, {"\x1b[1;4B", complete, 0},
      {"\x1b[1;7C", complete, 0}, {"\x1b[1;8F", complete, 0},
      {"\x1b[3;3~", complete, 0}, {"\x1b[6;7~", complete, 0},
      {"\x1b[1;11H", complete, 0}, {"\x1bO3D", complete, 0},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, function_keys_are_0_except_f11_and_f12) {
  const decode_case cases[] = {
      {"\x1bOP", complete, 0},    {"\x1bOQ", complete, 0},
      {"\x1bOR", complete, 0},    {"\x1bOS", complete, 0},
      {"\x1b[11~", complete, 0},  {"\x1b[12~", complete, 0},
      {"\x1b[13~", complete, 0},  {"\x1b[14~", complete, 0},
      {"\x1b[15~", complete, 0},  {"\x1b[17~", complete, 0},
      {"\x1b[18~", complete, 0},  {"\x1b[19~", complete, 0},
      {"\x1b[20~", complete, 0},  {"\x1b[21~", complete, 0},
      {"\x1b[1;2P", complete, 0}, {"\x1b[1;5Q", complete, 0},
      {"\x1b[1;3R", complete, 0}, {"\x1b[1;8S", complete, 0},
      {"\x1b[15;5~", complete, 0}, {"\x1b[21;3~", complete, 0},
      {"\x1b[[A", complete, 0},   {"\x1b[[B", complete, 0},
      {"\x1b[[C", complete, 0},   {"\x1b[[D", complete, 0},
      {"\x1b[[E", complete, 0},
      {"\x1b[23~", complete, 224}, {"\x1b[24~", complete, 224},
      {"\x1b[23;2~", complete, 224}, {"\x1b[24;3~", complete, 224},
      {"\x1b[24;8~", complete, 224},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, unfinished_sequences_need_more_and_end_as_esc) {
  const decode_case cases[] = {
      {"\x1b", needs_more, 27},    {"\x1b[", needs_more, 27},
      {"\x1bO", needs_more, 27},   {"\x1b[[", needs_more, 27},
      {"\x1b[1", needs_more, 27},  {"\x1b[1;", needs_more, 27},
      {"\x1b[1;5", needs_more, 27}, {"\x1b[24", needs_more, 27},
      {"\x1bO5", needs_more, 27},
      {"\x1b[?25", needs_more, 27},  // unknown, but read to its final byte
      {"\x1b[1 ", needs_more, 27},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, sequences_not_known_are_unknown_esc) {
  const decode_case cases[] = {
      {"\x1bx", unknown, 27},       // Alt+x
      {"\x1b\x1b", unknown, 27},
      {"\x1b\r", unknown, 27},
      {"\x1b[Z", unknown, 27},      // Shift+Tab
      {"\x1b[9~", unknown, 27},     {"\x1b[10~", unknown, 27},
      {"\x1b[16~", unknown, 27},    {"\x1b[22~", unknown, 27},
      {"\x1b[25~", unknown, 27},    {"\x1b[200~", unknown, 27},
      {"\x1b[~", unknown, 27},
      {"\x1b[5A", unknown, 27},     // a cursor movement, not a key
      {"\x1b[1;2;3A", unknown, 27},
      {"\x1b[1;0A", unknown, 27},
      {"\x1b[?1A", unknown, 27},
      {"\x1b[1:2A", unknown, 27},
      {"\x1b[1 A", unknown, 27},    // an intermediate byte
      {"\x1b[1\x01", unknown, 27},  // a control byte inside the sequence
      {"\x1b[1000~", unknown, 27},
      {"\x1b[[F", unknown, 27},     {"\x1b[[1", unknown, 27},
      {"\x1bOx", unknown, 27},      {"\x1bOM", unknown, 27},
      {"\x1bO1;2A", unknown, 27},
      {"\x1b[Ax", unknown, 27},     // bytes after a whole key
      {"\x1bOPx", unknown, 27},
      {"\x1b[[Ax", unknown, 27},
  };
  for (const decode_case& c : cases) expect_decodes(c);
}

TEST(key_decode, every_prefix_of_a_known_sequence_needs_more) {
  const std::string_view sequences[] = {
      "\x1b[A", "\x1bOH", "\x1b[1;5C", "\x1b[3;3~", "\x1b[21~", "\x1b[24;8~",
      "\x1b[[E", "\x1bO5A", "\x1b[1;2P", "\xf0\x9f\x98\x80",
  };
  for (const std::string_view sequence : sequences) {
    ASSERT_EQ(decode(sequence).state, complete) << shown(sequence);
    for (std::size_t length = 1; length < sequence.size(); ++length) {
      EXPECT_EQ(decode(sequence.substr(0, length)).state, needs_more)
          << shown(sequence.substr(0, length));
    }
  }
}

TEST(key_decode, run_longer_than_any_key_is_unknown) {
  const std::string digits(longest_key_sequence, '1');
  EXPECT_EQ(decode("\x1b[" + digits).state, unknown);
  const std::string spaces(longest_key_sequence, ' ');
  EXPECT_EQ(decode("\x1b[" + spaces).state, unknown);
  // The longest key that is known fits.
  EXPECT_EQ(decode("\x1b[24;8~").state, complete);
}

TEST(key_decode, nothing_read_yet_needs_more) {
  EXPECT_EQ(decode_key(nullptr, 0).state, needs_more);
}

}  // namespace
