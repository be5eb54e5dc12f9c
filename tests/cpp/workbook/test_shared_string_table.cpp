#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/workbook/shared_string_table.hpp"
#include "core/workbook/workbook_xml.hpp"

namespace pelvane {
namespace {

SharedStringTable parsed(std::string_view part) {
  auto table = SharedStringTable::parse(part);
  EXPECT_TRUE(table) << table.error().to_string();
  return table ? std::move(*table) : SharedStringTable{};
}

TEST(SharedStringTable, IndexesOnlyItemsOfOneTextChild) {
  const SharedStringTable table = parsed(
      "<sst><si><t>A</t></si>"
      "<si><r><t>rich</t></r><r><rPr/><t>text</t></r></si>"
      "<si><t>A</t></si><si/>"
      "<si><t>C</t></si>"
      "<si><t>two</t><t>ts</t></si>"
      "<si><t>other</t><phoneticPr fontId=\"1\"/></si>"
      "<si><t>a &amp; b&#x21;</t></si>"
      "<si><t><![CDATA[<raw> & ]]></t></si>"
      "<si><t/></si>"
      "<si><t>line\r\nend</t></si></sst>");
  EXPECT_EQ(table.unique_count(), 11u);
  EXPECT_EQ(table.find("A"), 0u);
  EXPECT_EQ(table.find("C"), 4u);
  EXPECT_EQ(table.find("richtext"), std::nullopt);
  EXPECT_EQ(table.find("twots"), std::nullopt);
  EXPECT_EQ(table.find("other"), std::nullopt);
  EXPECT_EQ(table.find("a & b!"), 7u);
  EXPECT_EQ(table.find("<raw> & "), 8u);
  EXPECT_EQ(table.find(""), 9u);
  EXPECT_EQ(table.find("line\nend"), 10u);
}

TEST(SharedStringTable, AppendsEachNewTextOnce) {
  SharedStringTable table = parsed("<sst><si><t>A</t></si><si><t>B</t><t>B</t></si></sst>");
  EXPECT_EQ(table.string_index("A"), 0u);
  EXPECT_EQ(table.string_index("B"), 2u);  // the item of two `t` children is not reused
  EXPECT_EQ(table.string_index("new"), 3u);
  EXPECT_EQ(table.string_index("B"), 2u);
  EXPECT_EQ(table.appended(), (std::vector<std::string>{"B", "new"}));
}

TEST(SharedStringTable, RewritesCountersAndAppendsItemsExactly) {
  struct Case {
    std::string part;
    std::vector<std::string> appended;
    std::int64_t delta;
    std::string expected;
  };
  const Case cases[] = {
      // Counters: count plus delta (never below 0), uniqueCount the items there are.
      {"<sst count=\"10\" uniqueCount=\"8\"><si><t>x</t></si></sst>",
       {"n1", "n2"},
       3,
       "<sst count=\"13\" uniqueCount=\"3\"><si><t>x</t></si><si><t>n1</t></si><si><t>n2</t>"
       "</si></sst>"},
      {"<sst count='10' a=\"1\" uniqueCount='8'></sst>",
       {},
       -15,
       "<sst count=\"0\" a=\"1\" uniqueCount=\"0\"></sst>"},
      {"<sst count=\"many\" uniqueCount=\"7\"><si><t>x</t></si></sst>",
       {},
       4,
       "<sst count=\"many\" uniqueCount=\"1\"><si><t>x</t></si></sst>"},
      {"<sst count=\"+2\"><si><t>x</t></si></sst>",
       {"y"},
       1,
       "<sst count=\"3\"><si><t>x</t></si><si><t>y</t></si></sst>"},
      {"<sst><si><t>x</t></si></sst>", {"y"}, 1, "<sst><si><t>x</t></si><si><t>y</t></si></sst>"},
      // Nothing appended: the items stay byte for byte, only the root tag changes.
      {"<?xml version=\"1.0\"?>\r\n<sst  count=\"2\"  uniqueCount=\"2\" >"
       "<si><t xml:space='preserve'> a </t></si><!-- c --><si><r><t>b</t></r></si></sst>",
       {},
       -1,
       "<?xml version=\"1.0\"?>\r\n<sst count=\"1\" uniqueCount=\"2\">"
       "<si><t xml:space='preserve'> a </t></si><!-- c --><si><r><t>b</t></r></si></sst>"},
      // A prefixed root gives prefixed items; edge white space is preserved, text escaped.
      {"<x:sst xmlns:x=\"u\" count=\"0\"></x:sst>",
       {" lead", "it's <b> & \"q\"", "a b", "\xC2\xA0"},
       4,
       "<x:sst xmlns:x=\"u\" count=\"4\"><x:si><x:t xml:space=\"preserve\"> lead</x:t></x:si>"
       "<x:si><x:t>it&apos;s &lt;b&gt; &amp; &quot;q&quot;</x:t></x:si>"
       "<x:si><x:t>a b</x:t></x:si><x:si><x:t "
       "xml:space=\"preserve\">\xC2\xA0</x:t></x:si></x:sst>"},
      // A self-closing root is opened for its new items.
      {"<sst count=\"0\"/>", {""}, 1, "<sst count=\"1\"><si><t></t></si></sst>"},
      // New items go before the root's extension list, not after it.
      {"<sst uniqueCount=\"1\"><si><t>x</t></si><extLst><ext uri=\"u\"><y/></ext></extLst></sst>",
       {"y"},
       0,
       "<sst uniqueCount=\"2\"><si><t>x</t></si><si><t>y</t></si><extLst><ext uri=\"u\"><y/>"
       "</ext></extLst></sst>"},
      // A kept value written in single quotes around a double quote stays well-formed.
      {"<sst note='say \"hi\"' count=\"1\"></sst>",
       {},
       1,
       "<sst note=\"say &quot;hi&quot;\" count=\"2\"></sst>"},
  };
  for (const Case& c : cases) {
    SharedStringTable table = parsed(c.part);
    for (const std::string& text : c.appended) table.string_index(text);
    const auto rewritten = table.rewrite(c.part, c.delta);
    ASSERT_TRUE(rewritten) << rewritten.error().to_string();
    EXPECT_EQ(*rewritten, c.expected) << c.part;
  }
}

TEST(SharedStringTable, MalformedPartsAreXmlErrors) {
  for (std::string_view part : {"<sst><si><t>x</si></sst>", "<sst><si></t></si></sst>"}) {
    const auto table = SharedStringTable::parse(part);
    ASSERT_FALSE(table) << part;
    EXPECT_EQ(table.error().kind(), PelvaneError::Kind::Xml);
    EXPECT_FALSE(SharedStringTable{}.rewrite(part, 0)) << part;
  }
}

TEST(WorkbookXml, RebuildsStartTagsWithRawValues) {
  struct Case {
    std::string tag;
    std::vector<std::string_view> drop;
    std::vector<RawAttribute> replacements;
    std::string expected;
  };
  const Case cases[] = {
      {"<c r=\"C3\" s=\"4\" t=\"s\" vm=\"1\">", {"t", "vm", "cm"}, {}, "<c r=\"C3\" s=\"4\">"},
      {"<c x:t=\"s\" t=\"n\" cm='2'>", {"t", "vm", "cm"}, {}, "<c x:t=\"s\">"},
      {"<row r=\"1\" spans=\"1:3\" ht=\"15\">",
       {},
       {{"spans", "1:5"}},
       "<row r=\"1\" spans=\"1:5\" ht=\"15\">"},
      {"<d ref=\"A1\" a=\"1\" a=\"2\" broken>",
       {},
       {{"ref", "A1:B2"}, {"new", "&v"}},
       "<d ref=\"A1:B2\" a=\"1\" new=\"&v\">"},
      {"<c r='A1' note='say \"hi\" &amp; more'>",
       {},
       {},
       "<c r=\"A1\" note=\"say &quot;hi&quot; &amp; more\">"},
  };
  for (const Case& c : cases) {
    XmlReader reader(c.tag);
    const XmlEvent event = *reader.next();
    XmlWriter writer;
    writer.write_start(with_raw_attributes(event, c.drop, c.replacements));
    EXPECT_EQ(writer.buffer(), c.expected) << c.tag;
  }
}

TEST(WorkbookXml, ReadsPrefixesAsStored) {
  EXPECT_EQ(element_prefix("x:c"), "x:");
  EXPECT_EQ(element_prefix("a:b:c"), "a:b:");
  EXPECT_EQ(element_prefix("c"), "");
}

TEST(WorkbookXml, WritesTextElementsPreservingEdgeWhiteSpace) {
  struct Case {
    std::string_view text;
    std::string_view expected;
  };
  const Case cases[] = {
      {"", "<t></t>"},
      {"a b", "<t>a b</t>"},
      {" ", "<t xml:space=\"preserve\"> </t>"},
      {"x\t", "<t xml:space=\"preserve\">x\t</t>"},
      {"\xE3\x80\x80x", "<t xml:space=\"preserve\">\xE3\x80\x80x</t>"},  // U+3000
      {"x\xE2\x80\x8B", "<t>x\xE2\x80\x8B</t>"},                         // U+200B is not
      {"<&>'\"", "<t>&lt;&amp;&gt;&apos;&quot;</t>"},
  };
  for (const Case& c : cases) {
    XmlWriter writer;
    write_text_element(writer, "t", c.text);
    EXPECT_EQ(writer.buffer(), c.expected);
  }
}

}  // namespace
}  // namespace pelvane
