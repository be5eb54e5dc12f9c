// Every form of every scan the build has gives what a plain search gives, at every start and
// for every length around the eight- and sixteen-byte steps. The texts stand in buffers of their
// exact size, so that a read past the end shows under the sanitizers.
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/base/byte_search.hpp"

namespace pelvane {
namespace {

// Random texts from `alphabet`, of every length up to 69 in turn.
class RandomTexts {
 public:
  explicit RandomTexts(std::string alphabet) : alphabet_(std::move(alphabet)) {}
  std::vector<char> text(std::size_t size) {
    std::vector<char> out(size);
    for (char& c : out) c = alphabet_[next() % alphabet_.size()];
    return out;
  }
  std::uint32_t next() {
    state_ = state_ * 1103515245u + 12345u;
    return state_ >> 16;
  }

 private:
  std::string alphabet_;
  std::uint32_t state_ = 12345;
};

using Accept = std::function<bool(std::size_t)>;
using PatternForm =
    std::function<std::size_t(std::string_view, std::string_view, std::size_t, const Accept&)>;

// Every form, each asking `accept` of the places it finds, or, given none, the plain search.
std::vector<std::pair<const char*, PatternForm>> pattern_forms() {
  const auto with = [](auto find) -> PatternForm {
    return [find](auto t, auto p, auto f, const Accept& accept) {
      return accept ? find(t, p, f, accept) : find(t, p, f, byte_scan::AnyPlace{});
    };
  };
  std::vector<std::pair<const char*, PatternForm>> forms = {
      {"bytes", with([](auto... a) { return byte_scan::find_pattern_bytes(a...); })},
      {"chosen", with([](auto... a) { return find_pattern(a...); })}};
#if defined(PELVANE_BYTE_BLOCKS)
  forms.emplace_back("blocks",
                     with([](auto... a) { return byte_scan::find_pattern_blocks(a...); }));
#endif
  return forms;
}

// Plain, and passing over the places that a test refuses (every third, or all): the first place
// found again from the one after each refused.
TEST(FindPattern, EveryFormAgreesWithFindAcrossBlockBoundaries) {
  const std::vector<Accept> accepts = {nullptr, [](std::size_t at) { return at % 3 != 0; },
                                       [](std::size_t) { return false; }};
  RandomTexts random("<p:/>a");
  for (int round = 0; round < 4000; ++round) {
    const std::vector<char> buffer = random.text(random.next() % 70);
    const std::string_view text(buffer.data(), buffer.size());
    const std::vector<char> pattern_bytes = random.text(random.next() % 6);
    const std::string pattern(pattern_bytes.begin(), pattern_bytes.end());
    for (std::size_t from = 0; from <= text.size() + 1; ++from) {
      for (const Accept& accept : accepts) {
        // An empty pattern is found at `from`, unasked.
        std::size_t expected =
            from > text.size() ? std::string_view::npos : text.find(pattern, from);
        while (accept && !pattern.empty() && expected != std::string_view::npos &&
               !accept(expected))
          expected = text.find(pattern, expected + 1);
        for (const auto& [form, find] : pattern_forms()) {
          ASSERT_EQ(find(text, pattern, from, accept), expected)
              << form << ": text '" << text << "' pattern '" << pattern << "' from " << from;
        }
      }
    }
  }
}

TEST(FindPattern, FindsMarkupAtTheVeryEndAndNotPastIt) {
  const std::string text = std::string(40, 'x') + "</p:spTree>";
  // A pattern cut off by the end of the text is no match, even where the bytes beyond the
  // view's end would complete it.
  const std::string_view cut = std::string_view(text).substr(0, text.size() - 1);
  for (const auto& [form, find] : pattern_forms()) {
    EXPECT_EQ(find(text, "</p:spTree>", 0, nullptr), 40u) << form;
    EXPECT_EQ(find(text, "</p:spTree>", 41, nullptr), std::string_view::npos) << form;
    EXPECT_EQ(find(cut, "</p:spTree>", 0, nullptr), std::string_view::npos) << form;
    EXPECT_EQ(find(text, "", 51, nullptr), 51u) << form;
    EXPECT_EQ(find(text, "", 52, nullptr), std::string_view::npos) << form;
  }
}

// Each form of `find_in_set` over `set` finds what `in_set`, the test's own reading of the set,
// finds first, from every start of random texts over bytes in and around the set.
template <class Set>
void expect_every_form_finds_the_set(const char* name, const Set& set,
                                     bool (*in_set)(unsigned char)) {
  RandomTexts random(std::string("a~ \t\x1F\x7F\x80\xC3\xFF\"\\&!?<>'/=", 19));
  for (int round = 0; round < 2000; ++round) {
    const std::vector<char> text = random.text(static_cast<std::size_t>(round % 70));
    const char* data = text.data();
    const std::size_t end = text.size();
    for (std::size_t from = 0; from <= end; ++from) {
      std::size_t expected = from;
      while (expected < end && !in_set(static_cast<unsigned char>(data[expected]))) ++expected;
      ASSERT_EQ(byte_scan::find_in_set_bytes(data, from, end, set), expected) << name << from;
      ASSERT_EQ(byte_scan::find_in_set_words(data, from, end, set), expected) << name << from;
#if defined(PELVANE_BYTE_BLOCKS)
      ASSERT_EQ(byte_scan::find_in_set_blocks(data, from, end, set), expected) << name << from;
#endif
      ASSERT_EQ(byte_scan::find_in_set(data, from, end, set), expected) << name << from;
    }
  }
}

TEST(FindInSet, EveryFormFindsTheFirstByteOfEachSetAtEveryOffset) {
  expect_every_form_finds_the_set("one byte", byte_scan::OneByte{'\''},
                                  [](unsigned char c) { return c == '\''; });
  expect_every_form_finds_the_set("two bytes", byte_scan::TwoBytes{'!', '?'},
                                  [](unsigned char c) { return c == '!' || c == '?'; });
  expect_every_form_finds_the_set("non-ASCII", byte_scan::NonAscii{},
                                  [](unsigned char c) { return c > 127; });
  expect_every_form_finds_the_set("control or non-ASCII", byte_scan::ControlOrNonAscii{},
                                  [](unsigned char c) { return c < 32 || c > 127; });
  expect_every_form_finds_the_set("ampersand or non-ASCII", byte_scan::AmpersandOrNonAscii{},
                                  [](unsigned char c) { return c == '&' || c > 127; });
  expect_every_form_finds_the_set("JSON escapes", byte_scan::QuoteBackslashOrControl{},
                                  [](unsigned char c) { return c == '"' || c == '\\' || c < 32; });
}

}  // namespace
}  // namespace pelvane
