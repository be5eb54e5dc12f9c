#include <gtest/gtest.h>

#include "core/base/utf8.hpp"

namespace pelvane {
namespace {

TEST(DescribeInvalidUtf8, NamesTheFirstFaultByByteIndex) {
  struct Case {
    std::string_view bytes;
    std::optional<std::string> description;
  };
  const Case cases[] = {
      {"plain \xc3\xa9 \xf0\x9f\x98\x80", std::nullopt},
      {"ab\x80", "invalid utf-8 sequence of 1 bytes from index 2"},
      {"\xe2\x82", "incomplete utf-8 byte sequence from index 0"},
      {"x\xf0\x9f\x98", "incomplete utf-8 byte sequence from index 1"},
      {"\xe2\x82"
       "A",
       "invalid utf-8 sequence of 2 bytes from index 0"},
      {"\xf0\x90\x80"
       "A",
       "invalid utf-8 sequence of 3 bytes from index 0"},
      {"\xed\xa0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // a surrogate
      {"\xf5", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"\xc0\xaf", "invalid utf-8 sequence of 1 bytes from index 0"},  // overlong
      {"\xc3\xa9\xe0\x80", "invalid utf-8 sequence of 1 bytes from index 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describe_invalid_utf8(c.bytes), c.description) << testing::PrintToString(c.bytes);
    EXPECT_EQ(is_valid_utf8(c.bytes), !c.description.has_value());
  }
}

TEST(DecodeCodePoint, DecodesOneWellFormedSequence) {
  struct Case {
    std::string_view text;
    std::size_t at;
    std::optional<std::pair<char32_t, std::size_t>> decoded;
  };
  const Case cases[] = {
      {"a", 0, std::pair{U'a', 1}},
      {"x\xc3\xa9", 1, std::pair{U'\u00e9', 2}},
      {"\xe3\x80\x80", 0, std::pair{U'\u3000', 3}},
      {"\xf0\x9f\x98\x80", 0, std::pair{U'\U0001F600', 4}},
      {"\xc0\xaf", 0, std::nullopt},      // overlong
      {"\xed\xa0\x80", 0, std::nullopt},  // a surrogate
      {"\xe2\x82", 0, std::nullopt},      // cut short
      {"\xa9", 0, std::nullopt},          // a continuation byte
      {"a", 1, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto decoded = decode_code_point(c.text, c.at);
    ASSERT_EQ(decoded.has_value(), c.decoded.has_value()) << testing::PrintToString(c.text);
    if (decoded) EXPECT_EQ(std::pair(decoded->code_point, decoded->length), *c.decoded);
  }
}

}  // namespace
}  // namespace pelvane
