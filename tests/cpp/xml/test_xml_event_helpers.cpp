#include <gtest/gtest.h>

#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {
namespace {

XmlEvent first_tag(std::string_view xml) {
  XmlReader reader(xml);
  auto event = reader.next();
  EXPECT_TRUE(event && event->is_tag());
  return *event;
}

// The rebuilt tag written as the kind of tag it was read as.
std::string written(const XmlEvent& event, const XmlStartTag& tag) {
  XmlWriter writer;
  writer.write_tag_as(event, tag);
  return std::move(writer).take();
}

TEST(RewriteEventAttributes, ReplacesInPlaceAndAppendsTheRest) {
  const XmlEvent both = first_tag("<a:off x=\"1\" y=\"2\"/>");
  EXPECT_EQ(written(both, rewrite_event_attributes(both, {{"x", "10"}, {"y", "20"}})),
            "<a:off x=\"10\" y=\"20\"/>");
  const XmlEvent only_y = first_tag("<a:off y=\"2\">");
  EXPECT_EQ(written(only_y, rewrite_event_attributes(only_y, {{"x", "10"}, {"y", "20"}})),
            "<a:off y=\"20\" x=\"10\">");
  // Names match exactly, prefix included; new values are escaped, kept ones stay as written.
  const XmlEvent rel = first_tag("<Relationship Id=\"rId1\" r:Target=\"a\" Target=\"a&amp;b\"/>");
  EXPECT_EQ(written(rel, rewrite_event_attributes(rel, {{"Target", "c&d\"'"}})),
            "<Relationship Id=\"rId1\" r:Target=\"a\" Target=\"c&amp;d&quot;&apos;\"/>");
  EXPECT_EQ(written(rel, rewrite_event_attributes(rel, {{"Id", "rId2"}})),
            "<Relationship Id=\"rId2\" r:Target=\"a\" Target=\"a&amp;b\"/>");
}

TEST(RewriteEventAttributes, KeepsSingleQuotedValuesWellFormedAndDropsMalformedOnes) {
  // A double quote may stand bare only inside single quotes; rewritten in double quotes it must
  // be escaped or the tag breaks.
  const XmlEvent tag = first_tag("<a:t descr='say \"hi\"' odd x=\"1\" x=\"2\" q='&amp;'/>");
  const std::string out = written(tag, rewrite_event_attributes(tag, {{"x", "3"}}));
  EXPECT_EQ(out, "<a:t descr=\"say &quot;hi&quot;\" x=\"3\" q=\"&amp;\"/>");
  XmlReader reread(out);
  const XmlEvent again = *reread.next();
  std::vector<std::string> values;
  for (const auto& attribute : again.attributes()) {
    EXPECT_FALSE(attribute.malformed);
    values.push_back(*unescape_xml(attribute.value));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"say \"hi\"", "3", "&"}));
}

TEST(RewriteEventOptionalAttributes, SetsRemovesAndAppends) {
  const XmlEvent run = first_tag("<a:rPr lang=\"en-US\" b=\"1\" sz=\"1200\"/>");
  const OptionalAttributeUpdate updates[] = {
      {"b", std::nullopt}, {"i", "1"}, {"sz", "2400"}, {"u", std::nullopt}};
  EXPECT_EQ(written(run, rewrite_event_optional_attributes(run, updates)),
            "<a:rPr lang=\"en-US\" sz=\"2400\" i=\"1\"/>");
  const XmlEvent quoted = first_tag("<a:pPr algn='\"'>");
  EXPECT_EQ(written(quoted, rewrite_event_optional_attributes(quoted, {{"lvl", "1"}})),
            "<a:pPr algn=\"&quot;\" lvl=\"1\">");
}

TEST(SkipCurrentElement, DropsNestedElementsOfTheSameName) {
  XmlReader reader("<r><a:tr><a:tr/><a:tr>x</a:tr></a:tr><next/></r>");
  ASSERT_TRUE(reader.next().has_value());
  ASSERT_EQ(reader.next()->name, "a:tr");
  ASSERT_TRUE(skip_current_element(reader).has_value());
  EXPECT_EQ(reader.next()->name, "next");

  XmlReader truncated("<a:tr><a:tc>");
  ASSERT_TRUE(truncated.next().has_value());
  EXPECT_EQ(skip_current_element(truncated).error().to_string(),
            "xml text decode error: unexpected end of XML while skipping element");

  XmlReader broken("<a:tr><a:tc></a:tr>");
  ASSERT_TRUE(broken.next().has_value());
  EXPECT_EQ(skip_current_element(broken).error().kind(), PelvaneError::Kind::Xml);
}

TEST(TextAndReferenceContent, DecodeAndResolve) {
  XmlReader reader("<t>a\r\nb&#65;&#x41;&amp;&nbsp;&#0;</t><t></t>");
  std::vector<std::optional<std::string>> pieces;
  for (;;) {
    const XmlEvent event = *reader.next();
    if (event.is_eof()) break;
    if (event.kind == XmlEventKind::Text) pieces.push_back(xml_text_content(event));
    if (event.kind == XmlEventKind::GeneralRef) pieces.push_back(xml_reference_content(event));
  }
  EXPECT_EQ(pieces,
            (std::vector<std::optional<std::string>>{"a\nb", "A", "A", "&", "&nbsp;", "&#0;"}));
  XmlEvent invalid;
  invalid.kind = XmlEventKind::Text;
  invalid.content = "\xff";
  EXPECT_EQ(xml_text_content(invalid), std::nullopt);
}

TEST(CheckXmlText, RefusesCharactersXmlCannotHoldBeforeWriting) {
  const std::vector<std::pair<std::string_view, std::string_view>> refused = {
      {std::string_view("a\0b", 3), "U+0000"},
      {"\x08", "U+0008"},
      {"\x0b", "U+000B"},
      {"\x0c", "U+000C"},
      {"ok\x1f", "U+001F"},
      {"\xef\xbf\xbe", "U+FFFE"},
      {"\xef\xbf\xbf\x01", "U+FFFF"},
  };
  for (const auto& [text, code] : refused) {
    const auto result = check_xml_text(text);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(
        result.error().to_string(),
        "invalid input: text contains a character that XML cannot hold: " + std::string(code));
  }
  EXPECT_TRUE(check_xml_text("tab\t lf\n cr\r \xef\xbf\xbd \xf0\x9f\x98\x80").has_value());
}

}  // namespace
}  // namespace pelvane
