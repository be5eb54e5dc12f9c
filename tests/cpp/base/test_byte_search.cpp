#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "core/base/byte_search.hpp"

namespace pelvane {
namespace {

// The search tests sixteen places per step and the rest one by one: every length of text
// around those steps, every start and patterns of one to several bytes must give exactly what
// std::string_view::find gives.
TEST(FindPattern, AgreesWithFindAcrossBlockBoundaries) {
  std::uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 16;
  };
  const std::string alphabet = "<p:/>a";
  for (int round = 0; round < 4000; ++round) {
    std::string text(next() % 70, ' ');
    for (char& c : text) c = alphabet[next() % alphabet.size()];
    std::string pattern(next() % 6, ' ');
    for (char& c : pattern) c = alphabet[next() % alphabet.size()];
    for (std::size_t from = 0; from <= text.size() + 1; ++from) {
      const std::size_t expected =
          from > text.size() ? std::string_view::npos : std::string_view(text).find(pattern, from);
      ASSERT_EQ(find_pattern(text, pattern, from), expected)
          << "text '" << text << "' pattern '" << pattern << "' from " << from;
    }
  }
}

TEST(FindPattern, FindsMarkupAtTheVeryEndAndNotPastIt) {
  const std::string text = std::string(40, 'x') + "</p:spTree>";
  EXPECT_EQ(find_pattern(text, "</p:spTree>"), 40u);
  EXPECT_EQ(find_pattern(text, "</p:spTree>", 41), std::string_view::npos);
  // A pattern cut off by the end of the text is no match, even where the bytes beyond the
  // view's end would complete it.
  const std::string_view cut = std::string_view(text).substr(0, text.size() - 1);
  EXPECT_EQ(find_pattern(cut, "</p:spTree>"), std::string_view::npos);
  EXPECT_EQ(find_pattern(text, "", 51), 51u);
  EXPECT_EQ(find_pattern(text, "", 52), std::string_view::npos);
}

}  // namespace
}  // namespace pelvane
