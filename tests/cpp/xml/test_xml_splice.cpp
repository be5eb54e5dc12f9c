#include <gtest/gtest.h>
#include <limits>

#include "core/base/utf8.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {
namespace {

TEST(FindTagStart, MatchesOnlyWholeNames) {
  EXPECT_EQ(find_tag_start("<a:pPr/><a:p>", 0, "a:p"), 8u);
  EXPECT_EQ(find_tag_start("x<a:p", 0, "a:p"), std::nullopt);
  EXPECT_EQ(find_tag_start("<a:p\nx=\"1\">", 0, "a:p"), 0u);
  EXPECT_EQ(find_tag_start("<a:p/>", 0, "a:p"), 0u);
  // Unicode white space after the name counts (U+00A0 and U+3000); other non-ASCII does not.
  EXPECT_EQ(find_tag_start("<a:p\xc2\xa0/>", 0, "a:p"), 0u);
  EXPECT_EQ(find_tag_start("<a:p\xe3\x80\x80/>", 0, "a:p"), 0u);
  EXPECT_EQ(find_tag_start("<a:p\xc3\xa9/>", 0, "a:p"), std::nullopt);
  EXPECT_EQ(find_tag_start("<a:p><a:p>", 1, "a:p"), 5u);
}

TEST(MarkupSearch, FindsTagsOnlyInMarkupAndEndsThemAfterQuotedValues) {
  constexpr std::size_t none = std::string_view::npos;
  struct Case {
    std::string_view text;
    std::size_t first, last;  // of "<a:p" in markup
    std::size_t end;          // of the element that starts at `first`
  } cases[] = {
      {"<!-- <a:p> --><a:p/>", 14, 14, 20},
      {"<a:p><![CDATA[</a:p><a:p>]]></a:p>", 0, 0, 34},
      {"<?pi <a:p>?><a:p x=\"?>\"/>", 12, 12, 25},
      {"<!DOCTYPE d [<!ENTITY e '<a:p>'>]><a:p/>", 34, 34, 40},
      {"<a:p descr=\"/>\" t='>'></a:p><!-- <a:p/>", 0, 0, 28},
      {"<a:p/><a:p><!-- unclosed <a:p/>", 0, 6, 6},
      {"<!-- <a:p/>", none, none, none},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_in_markup(c.text, "<a:p"), c.first) << c.text;
    EXPECT_EQ(rfind_in_markup(c.text, "<a:p"), c.last) << c.text;
    if (c.first != none) EXPECT_EQ(find_element_end(c.text, c.first, "a:p"), c.end) << c.text;
  }
  // A "<" cannot stand in a tag: the tag before it is not closed.
  EXPECT_EQ(tag_end("<a b=\"<\">", 0), none);
}

TEST(FindElementEnd, CountsNestingAndSelfClosingTags) {
  const std::string nested = "<p:grpSp><p:grpSp><p:grpSp/></p:grpSp></p:grpSp><p:sp/>";
  EXPECT_EQ(find_element_end(nested, 0, "p:grpSp"), nested.find("<p:sp/>"));
  EXPECT_EQ(find_element_end(nested, 9, "p:grpSp"), nested.find("</p:grpSp></p:grpSp>") + 10);
  EXPECT_EQ(find_element_end("<p:grpSp><p:sp/>", 0, "p:grpSp"), std::nullopt);
  // An end tag with white space before its ">" is not recognised.
  EXPECT_EQ(find_element_end("<a:tbl></a:tbl >", 0, "a:tbl"), std::nullopt);
  // Names that merely begin with the name do not nest.
  EXPECT_EQ(find_element_end("<a:p><a:pPr></a:pPr></a:p>", 0, "a:p"), 26u);
}

TEST(FindElementEnd, EndsASelfClosingElementAfterItsOwnTag) {
  // Called on "<p:sp/>", the element must not swallow its following sibling.
  const std::string text = "<p:sp id=\"1\"/><p:sp>x</p:sp>";
  EXPECT_EQ(find_element_end(text, 0, "p:sp"), 14u);
  EXPECT_EQ(find_element_end(text, 14, "p:sp"), text.size());
}

TEST(ElementStartTag, SlicesThroughTheFirstGreaterThan) {
  EXPECT_EQ(element_start_tag("<a:xfrmX/><a:xfrm rot=\"5\"><a:off/>", "a:xfrm"),
            "<a:xfrm rot=\"5\">");
  EXPECT_EQ(element_start_tag("<a:off", "a:off"), std::nullopt);
  EXPECT_EQ(element_start_tag("<b/>", "a:off"), std::nullopt);
}

TEST(ReplaceElement, ReplacesTheFirstElementOrCopiesUnchanged) {
  EXPECT_EQ(replace_element("<p:sp><p:spPr/><x/></p:sp>", "p:spPr", "<N/>"),
            "<p:sp><N/><x/></p:sp>");
  EXPECT_EQ(replace_element("<p:sp><p:spPr><a/></p:spPr><b/></p:sp>", "p:spPr", "<N/>"),
            "<p:sp><N/><b/></p:sp>");
  EXPECT_EQ(replace_element("<p:sp><p:nvSpPr/></p:sp>", "p:spPr", "<N/>"),
            "<p:sp><p:nvSpPr/></p:sp>");
  EXPECT_EQ(replace_element("<p:spPr>open", "p:spPr", "<N/>"), "<p:spPr>open");
}

TEST(InsertBefore, InsertsBeforeTheLastMarker) {
  EXPECT_EQ(insert_before("<Types></Types><Types></Types>", "</Types>", "<O/>"),
            "<Types></Types><Types><O/></Types>");
  EXPECT_EQ(insert_before("<a>\xff\xe2\x82</a>", "</a>", "x"), "<a>\xef\xbf\xbd\xef\xbf\xbdx</a>");
  const auto missing = insert_before("<Types/>", "</Types>", "<O/>");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().to_string(), "xml text decode error: expected closing marker </Types>");
}

TEST(DecodeUtf8Lossy, ReplacesEachMaximalInvalidSequence) {
  EXPECT_EQ(decode_utf8_lossy("ok \xc3\xa9 \xf0\x9f\x98\x80"), "ok \xc3\xa9 \xf0\x9f\x98\x80");
  // A truncated sequence is one replacement; a stray continuation byte, an overlong lead and a
  // surrogate each byte by byte.
  EXPECT_EQ(decode_utf8_lossy("\xf0\x9f\x98z"), "\xef\xbf\xbdz");
  EXPECT_EQ(decode_utf8_lossy("\x80"), "\xef\xbf\xbd");
  EXPECT_EQ(decode_utf8_lossy("\xc0\xaf"), "\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_EQ(decode_utf8_lossy("\xed\xa0\x80"), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(AttributeValue, ReadsRawValuesByTextSearch) {
  const std::string tag = "<p:cNvPr id=\"2\" name=\"A &amp; B\" descr=\"\"/>";
  EXPECT_EQ(attribute_value(tag, "name"), "A &amp; B");
  EXPECT_EQ(attribute_value(tag, "descr"), "");
  EXPECT_EQ(attribute_value(tag, "title"), std::nullopt);
  EXPECT_EQ(attribute_value("<a:ext cx=\"5\"/>", "x"), "5");
  EXPECT_EQ(attribute_value("<a x=\"open", "x"), std::nullopt);
}

TEST(AttributeI64, ParsesStrictSignedDecimals) {
  const std::vector<std::pair<std::string_view, std::int64_t>> cases = {
      {"-12700", -12700},
      {"+5", 5},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", 0},
      {"1.5", 0},
      {"", 0},
      {" 1", 0},
      {"+-1", 0},
      {"-", 0},
      {"1e3", 0},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(attribute_i64("<a:off x=\"" + std::string(value) + "\"/>", "x"), expected) << value;
  EXPECT_EQ(attribute_i64("<a:off y=\"1\"/>", "x"), 0);
}

TEST(Escaping, AttributeKeepsTheApostrophe) {
  EXPECT_EQ(xml_attr("a&b\"c<d>e'f&amp;"), "a&amp;b&quot;c&lt;d&gt;e'f&amp;amp;");
}

}  // namespace
}  // namespace pelvane
