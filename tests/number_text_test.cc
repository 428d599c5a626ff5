#include "number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "text_source.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct number_case {
  const char* text;
  number_read status;
  double value;       // compared bit for bit when stored
  const char* rest;   // what the read leaves unread
};

const number_case number_cases[] = {
    {"1.5", number_read::stored, 1.5, ""},
    {"  \t\r\n\v\f-2.25 ", number_read::stored, -2.25, " "},
    {"+7", number_read::stored, 7.0, ""},
    {".5", number_read::stored, 0.5, ""},
    {"5.", number_read::stored, 5.0, ""},
    {"5.x", number_read::stored, 5.0, "x"},
    {"-0", number_read::stored, -0.0, ""},
    {"0.000", number_read::stored, 0.0, ""},
    {"1e3", number_read::stored, 1000.0, ""},
    {"1E-3", number_read::stored, 0.001, ""},
    {"1.e2", number_read::stored, 100.0, ""},
    {"2e", number_read::stored, 2.0, ""},
    {"2e+", number_read::stored, 2.0, ""},
    {"2e-x", number_read::stored, 2.0, "x"},
    {"1.5ex", number_read::stored, 1.5, "x"},
    {"1.5q", number_read::stored, 1.5, "q"},
    {"1.2.3", number_read::stored, 1.2, ".3"},
    {"1-2", number_read::stored, 1.0, "-2"},
    {"3,5", number_read::stored, 3.0, ",5"},
    {"0x10", number_read::stored, 0.0, "x10"},
    {"010", number_read::stored, 10.0, ""},
    {"4.155735", number_read::stored, 4.155735, ""},
    {"0.1", number_read::stored, 0.1, ""},
    {"1e308", number_read::stored, 1e308, ""},
    {"1.7976931348623157e308", number_read::stored, 1.7976931348623157e308, ""},
    {"1.8e308", number_read::stored, inf, ""},
    {"-1e400", number_read::stored, -inf, ""},
    {"1e99999999999999999999", number_read::stored, inf, ""},
    {"1e-400", number_read::stored, 0.0, ""},
    {"-1e-400", number_read::stored, -0.0, ""},
    {"4.9406564584124654e-324", number_read::stored, 4.9406564584124654e-324, ""},
    {"2.4703282292062328e-324", number_read::stored, 4.9406564584124654e-324, ""},
    {"2.4703282292062327e-324", number_read::stored, 0.0, ""},
    {"2.2250738585072011e-308", number_read::stored, 2.2250738585072011e-308, ""},
    {"123456789012345678901234567890", number_read::stored, 1.2345678901234568e29, ""},
    {"9007199254740993", number_read::stored, 9007199254740992.0, ""},
    {"9007199254740993.0000000000000000001", number_read::stored, 9007199254740994.0, ""},
    {"0.00000000000000000000000000001e29", number_read::stored, 1.0, ""},
    {"inf", number_read::failed, 0.0, "inf"},
    {"nan", number_read::failed, 0.0, "nan"},
    {"-", number_read::failed, 0.0, ""},
    {"- 5", number_read::failed, 0.0, " 5"},
    {"+.x", number_read::failed, 0.0, "x"},
    {".e5", number_read::failed, 0.0, "e5"},
    {"--5", number_read::failed, 0.0, "-5"},
    {",5", number_read::failed, 0.0, ",5"},
    {"\xEF\xBB\xBF" "1", number_read::failed, 0.0, "\xEF\xBB\xBF" "1"},
    {"", number_read::ended, 0.0, ""},
    {" \r\n ", number_read::ended, 0.0, ""},
};

TEST(number_text, reads_each_case) {
  for (const number_case& c : number_cases) {
    text_source in{c.text};
    double value = 0.0;
    const number_read status = read_number(in, value);
    EXPECT_EQ(status, c.status) << '"' << c.text << '"';
    if (status == number_read::stored) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(c.value))
          << '"' << c.text << "\" read as " << value;
    }
    EXPECT_EQ(in.rest(), c.rest) << '"' << c.text << '"';
  }
}

TEST(number_text, long_digit_strings_round_correctly) {
  // Just above and just below the halfway point between 1 and its successor,
  // decided by a digit far beyond the 17th.
  const std::string half = "1.00000000000000011102230246251565404236316680908203125";
  struct long_case {
    std::string text;
    double value;
  } cases[] = {
      {half, 1.0},                                       // exact tie: to even
      {half + "000000000000000000001", 1.0000000000000002},
      {"1.000000000000000111022302462515654042363166809082031249999", 1.0},
      {std::string(100000, '0') + "2.5", 2.5},
      {"0." + std::string(100000, '0') + "1e100010", 1e9},
      {std::string(5000, '9'), inf},
      {"1" + std::string(300, '0'), 1e300},
      {"0." + std::string(400, '0') + "1", 0.0},
  };
  for (const long_case& c : cases) {
    text_source in{c.text};
    double value = -1.0;
    ASSERT_EQ(read_number(in, value), number_read::stored) << c.text.substr(0, 40);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(c.value))
        << c.text.substr(0, 60) << " read as " << value;
    EXPECT_TRUE(in.rest().empty());
  }
}

TEST(number_text, reads_integers) {
  struct integer_case {
    const char* text;
    number_read status;
    std::int32_t value;
    const char* rest;
  } cases[] = {
      {"100", number_read::stored, 100, ""},
      {"  -42\n", number_read::stored, -42, "\n"},
      {"+7", number_read::stored, 7, ""},
      {"010", number_read::stored, 10, ""},
      {"100.0", number_read::stored, 100, ".0"},
      {"1e5", number_read::stored, 1, "e5"},
      {"0x1F", number_read::stored, 0, "x1F"},
      {"2147483647", number_read::stored, 2147483647, ""},
      {"2147483648", number_read::stored, -2147483647 - 1, ""},
      {"4294967295", number_read::stored, -1, ""},
      {"4294967296", number_read::stored, 0, ""},
      {"4294967397", number_read::stored, 101, ""},
      {"-2147483649", number_read::stored, 2147483647, ""},
      {"99999999999999999999", number_read::stored, 1661992959, ""},
      {"-", number_read::failed, 0, ""},
      {"-x", number_read::failed, 0, "x"},
      {"yes", number_read::failed, 0, "yes"},
      {".5", number_read::failed, 0, ".5"},
      {"", number_read::ended, 0, ""},
  };
  for (const integer_case& c : cases) {
    text_source in{c.text};
    std::int32_t value = 0;
    EXPECT_EQ(read_integer(in, value), c.status) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    EXPECT_EQ(in.rest(), c.rest) << '"' << c.text << '"';
  }
}

}  // namespace
