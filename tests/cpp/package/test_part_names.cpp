#include <algorithm>
#include <charconv>
#include <compare>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/package/part_names.hpp"

namespace pelvane {
namespace {

// The oracle of the natural order: each name split into its runs, held as values, and the lists
// compared. At one position a text run sorts before a number run.
struct NaturalChunk {
  enum class Kind { Text, Number };  // declaration order is the sort order
  Kind kind = Kind::Text;
  std::string text;          // Text chunks only
  std::uint64_t number = 0;  // Number chunks only; a run too large for 64 bits reads as 0

  friend bool operator==(const NaturalChunk&, const NaturalChunk&) = default;
  friend std::strong_ordering operator<=>(const NaturalChunk& a, const NaturalChunk& b) {
    if (a.kind != b.kind) return a.kind <=> b.kind;
    if (a.kind == Kind::Number) return a.number <=> b.number;
    return std::string_view(a.text).compare(b.text) <=> 0;
  }
};

std::vector<NaturalChunk> natural_key(std::string_view name) {
  std::vector<NaturalChunk> key;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t at = 0; at < name.size();) {
    std::size_t end = at;
    while (end < name.size() && digit(name[end]) == digit(name[at])) ++end;
    const std::string_view run = name.substr(at, end - at);
    NaturalChunk chunk;
    if (digit(run[0])) {
      chunk.kind = NaturalChunk::Kind::Number;
      if (std::from_chars(run.data(), run.data() + run.size(), chunk.number).ec != std::errc{}) {
        chunk.number = 0;
      }
    } else {
      chunk.text = std::string(run);
    }
    key.push_back(std::move(chunk));
    at = end;
  }
  return key;
}

// The slide listing's natural order: a stable sort by `natural_less`.
void sort_natural(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return natural_less(a, b); });
}

TEST(NaturalOrder, SortsEmbeddedNumbersByValueAndKeepsTies) {
  struct Case {
    std::vector<std::string> input;
    std::vector<std::string> sorted;
  };
  const Case cases[] = {
      {{"ppt/slides/slide10.xml", "ppt/slides/slide9.xml", "ppt/slides/slide1.xml"},
       {"ppt/slides/slide1.xml", "ppt/slides/slide9.xml", "ppt/slides/slide10.xml"}},
      // Equal keys keep their input order, both ways round.
      {{"slide02.xml", "slide2.xml"}, {"slide02.xml", "slide2.xml"}},
      {{"slide2.xml", "slide02.xml"}, {"slide2.xml", "slide02.xml"}},
      // A key that is a prefix of another sorts first; a text chunk sorts before a number.
      {{"a1", "a"}, {"a", "a1"}},
      {{"10", "abc"}, {"abc", "10"}},
      // Twenty-one nines overflow and read as 0, so they sort before 1.
      {{"x1", "x999999999999999999999"}, {"x999999999999999999999", "x1"}},
      {{"x18446744073709551615", "x18446744073709551614"},
       {"x18446744073709551614", "x18446744073709551615"}},
      // Text runs compare as unsigned bytes: non-ASCII after ASCII.
      {{"\xc3\xa9", "z"}, {"z", "\xc3\xa9"}},
      {{"", "a", "1"}, {"", "a", "1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = c.input;
    sort_natural(names);
    EXPECT_EQ(names, c.sorted) << c.input.front();
  }
}

TEST(NaturalOrder, KeyChunksAgreeWithDirectComparison) {
  const auto key = natural_key("ppt/slides/slide012.xml");
  ASSERT_EQ(key.size(), 3u);
  EXPECT_EQ(key[0].text, "ppt/slides/slide");
  EXPECT_EQ(key[1].kind, NaturalChunk::Kind::Number);
  EXPECT_EQ(key[1].number, 12u);
  EXPECT_EQ(key[2].text, ".xml");
  EXPECT_TRUE(natural_key("").empty());

  const std::vector<std::string> names = {"",
                                          "a",
                                          "a1",
                                          "a01",
                                          "a2",
                                          "a10",
                                          "a10b",
                                          "1",
                                          "01a",
                                          "b",
                                          "x99999999999999999999999",
                                          "ab1c2",
                                          "ab1c10",
                                          "ab"};
  for (const auto& a : names) {
    for (const auto& b : names) {
      EXPECT_EQ(natural_compare(a, b), natural_key(a) <=> natural_key(b)) << a << " vs " << b;
    }
  }
}

TEST(PartNames, RecognisesSlideAndLayoutParts) {
  EXPECT_TRUE(is_slide_part("ppt/slides/slide1.xml"));
  EXPECT_TRUE(is_slide_part("ppt/slides/slide01.xml"));
  for (const char* name :
       {"ppt/slides/slide.xml", "ppt/slides/slide1a.xml", "ppt/slides/Slide1.xml",
        "ppt/slides/_rels/slide1.xml.rels", "ppt/slides/slide+1.xml",
        "ppt/slides/slide\xd9\xa1.xml", "/ppt/slides/slide1.xml", "ppt/slides/slide1.xml.bak"}) {
    EXPECT_FALSE(is_slide_part(name)) << name;
  }
  EXPECT_TRUE(is_slide_layout_part("ppt/slideLayouts/slideLayout11.xml"));
  EXPECT_FALSE(is_slide_layout_part("ppt/slideLayouts/slideLayout.xml"));
  EXPECT_FALSE(is_slide_layout_part("ppt/slideLayouts/_rels/slideLayout1.xml.rels"));
  EXPECT_FALSE(is_slide_layout_part("ppt/slides/slide1.xml"));
}

TEST(PartNames, ReadsSlideNumbers) {
  EXPECT_EQ(slide_number("ppt/slides/slide01.xml"), 1u);
  EXPECT_EQ(slide_number("ppt/slides/slide+3.xml"), 3u);
  EXPECT_EQ(slide_number("ppt/slides/slide18446744073709551615.xml"), UINT64_MAX);
  for (const char* name :
       {"ppt/slides/slide-3.xml", "ppt/slides/slide.xml", "ppt/slides/slide+.xml",
        "ppt/slides/slide18446744073709551616.xml", "ppt/slides/slide1a.xml",
        "ppt/slideLayouts/slideLayout1.xml", "ppt/slides/slide1.xm"}) {
    EXPECT_EQ(slide_number(name), std::nullopt) << name;
  }
}

TEST(PartNames, NamesRelationshipsParts) {
  EXPECT_EQ(relationship_part_name("ppt/slides/slide1.xml"), "ppt/slides/_rels/slide1.xml.rels");
  EXPECT_EQ(relationship_part_name("ppt/presentation.xml"), "ppt/_rels/presentation.xml.rels");
  EXPECT_EQ(relationship_part_name("docProps/app.xml"), "docProps/_rels/app.xml.rels");
  EXPECT_EQ(relationship_part_name(""), "_rels/.rels");
  EXPECT_EQ(relationship_part_name("top.xml"), "_rels/top.xml.rels");
  EXPECT_EQ(relationship_part_name("ppt/media/"), "ppt/media/_rels/.rels");
}

TEST(PartNames, ChoosesTheSmallestFreeNumber) {
  std::set<std::string> in_use = {"ppt/charts/chart1.xml", "ppt/charts/chart2.xml"};
  EXPECT_EQ(next_free_numbered_part(in_use, "ppt/charts/chart7.xml"), "ppt/charts/chart3.xml");
  EXPECT_EQ(next_free_numbered_part(in_use, "ppt/charts/chart7.xml"), "ppt/charts/chart4.xml");
  EXPECT_TRUE(in_use.contains("ppt/charts/chart4.xml"));

  std::set<std::string> empty;
  EXPECT_EQ(next_free_numbered_part(empty, "ppt/media/12.png"), "ppt/media/1.png");
  EXPECT_EQ(next_free_numbered_part(empty, "ppt/embeddings/oleObject3"),
            "ppt/embeddings/oleObject1");
  EXPECT_EQ(next_free_numbered_part(empty, "file9.tar.gz"), "file9.tar1.gz");
  EXPECT_EQ(next_free_numbered_part(empty, "dir.v2/name"), "dir.v2/name1");
}

}  // namespace
}  // namespace pelvane
