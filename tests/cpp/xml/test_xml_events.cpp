#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/xml/xml_events.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

// Copies every event of `xml` through the writer, as a streaming pass that changes nothing does.
Result<std::string> copy_events(std::string_view xml) {
  XmlReader reader(xml);
  XmlWriter writer(xml.size());
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    writer.write_event(event);
  }
  return std::move(writer).take();
}

std::vector<XmlEvent> all_events(std::string_view xml, XmlReaderOptions options = {}) {
  XmlReader reader(xml, options);
  std::vector<XmlEvent> events;
  for (;;) {
    auto event = reader.next();
    EXPECT_TRUE(event.has_value()) << event.error().to_string();
    if (!event || event->is_eof()) return events;
    events.push_back(*event);
  }
}

std::string first_error(std::string_view xml) {
  XmlReader reader(xml);
  for (;;) {
    auto event = reader.next();
    if (!event) return event.error().to_string();
    if (event->is_eof()) return "no error";
  }
}

// Copies every event of every XML and relationships part of the package at `path` and checks
// that the copy is the part byte for byte; returns how many parts were copied.
std::size_t copy_every_xml_part(const std::filesystem::path& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  EXPECT_NE(archive, nullptr) << path;
  if (archive == nullptr) return 0;
  std::size_t parts = 0;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const std::string name = zip_get_name(archive, i, 0);
    if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
    zip_stat_t stat;
    EXPECT_EQ(zip_stat_index(archive, i, 0, &stat), 0);
    std::string bytes(stat.size, '\0');
    zip_file_t* entry = zip_fopen_index(archive, i, 0);
    EXPECT_NE(entry, nullptr) << path.filename() << " " << name;
    if (entry == nullptr) continue;
    EXPECT_EQ(zip_fread(entry, bytes.data(), stat.size), static_cast<zip_int64_t>(stat.size));
    zip_fclose(entry);
    auto copy = copy_events(bytes);
    EXPECT_TRUE(copy.has_value()) << path.filename() << " " << name << ": "
                                  << copy.error().to_string();
    if (copy) EXPECT_EQ(*copy, bytes) << path.filename() << " " << name;
    ++parts;
  }
  zip_close(archive);
  return parts;
}

TEST(XmlReader, CopiesEveryXmlPartOfTheRealDecksByteForByte) {
  const auto decks = test::decks_dir();
  if (!decks) GTEST_SKIP() << test::missing_decks_reason();
  std::size_t parts = 0;
  for (const auto& file : std::filesystem::directory_iterator(*decks)) {
    const std::string ext = file.path().extension().string();
    if (ext == ".pptx" || ext == ".pptm") parts += copy_every_xml_part(file.path());
  }
  EXPECT_GT(parts, 500u);
}

TEST(XmlReader, CopiesEveryXmlPartOfAGeneratedDeckByteForByte) {
  test::TempDir dir;
  const std::string deck = dir.file("generated.pptx");
  const std::string command = "python3 " PELVANE_SOURCE_DIR "/tests/fixtures/deck_builder.py '" +
                              deck + "' --slides 3 --notes --images 2 > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_GT(copy_every_xml_part(deck), 20u);
}

TEST(XmlReader, DeliversEveryKindOfEventWithItsSpan) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE r [<!ENTITY e \"a>b\"> <!-- ] > -->]>"
      "<!--c--><?pi data?>"
      "<r a=\"x>y\" b='1'><e/>t&amp;u&#65;<![CDATA[<raw>]]></r >";
  const std::vector<XmlEvent> events = all_events(xml);
  struct Expected {
    XmlEventKind kind;
    std::string_view name;
    std::string_view raw;
  };
  const std::vector<Expected> expected = {
      {XmlEventKind::Declaration, "xml", "<?xml version=\"1.0\"?>"},
      {XmlEventKind::Text, "", "\n"},
      {XmlEventKind::DocType, "DOCTYPE", "<!DOCTYPE r [<!ENTITY e \"a>b\"> <!-- ] > -->]>"},
      {XmlEventKind::Comment, "", "<!--c-->"},
      {XmlEventKind::ProcessingInstruction, "pi", "<?pi data?>"},
      {XmlEventKind::Start, "r", "<r a=\"x>y\" b='1'>"},
      {XmlEventKind::Empty, "e", "<e/>"},
      {XmlEventKind::Text, "", "t"},
      {XmlEventKind::GeneralRef, "amp", "&amp;"},
      {XmlEventKind::Text, "", "u"},
      {XmlEventKind::GeneralRef, "#65", "&#65;"},
      {XmlEventKind::CData, "", "<![CDATA[<raw>]]>"},
      {XmlEventKind::End, "r", "</r >"},
  };
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].kind, expected[i].kind) << i;
    EXPECT_EQ(events[i].name, expected[i].name) << i;
    EXPECT_EQ(events[i].raw, expected[i].raw) << i;
    EXPECT_EQ(xml.substr(events[i].offset, events[i].raw.size()), events[i].raw) << i;
  }
  EXPECT_EQ(events[11].content, "<raw>");
  // The copy differs only in the white space inside the end tag.
  EXPECT_EQ(*copy_events(xml), xml.substr(0, xml.size() - 5) + "</r>");
}

TEST(XmlReader, TrimsTextAndDropsBlankTextWhenAsked) {
  const auto events =
      all_events("<t> \r\n a b \t</t><t>  </t><t> x &amp; y </t>", {.trim_text = true});
  std::vector<std::string_view> texts;
  for (const auto& event : events)
    if (event.kind == XmlEventKind::Text || event.kind == XmlEventKind::GeneralRef)
      texts.push_back(event.raw);
  EXPECT_EQ(texts, (std::vector<std::string_view>{"a b", "x", "&amp;", "y"}));
}

TEST(XmlReader, ReportsMalformedInputWithItsByteOffset) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"<a><b></a>", "xml error: mismatched end tag: expected </b>, found </a> at byte 6"},
      {"<a/></a>", "xml error: unexpected end tag </a> at byte 4"},
      {"<a x=\"1>text</a>", "xml error: unclosed tag <a> at byte 0"},
      {"<a", "xml error: unclosed tag <a> at byte 0"},
      {"<a>x</a", "xml error: unclosed end tag at byte 4"},
      {"<a></a b>", "xml error: malformed end tag at byte 3"},
      {"<!-- open", "xml error: unclosed comment at byte 0"},
      {"<![CDATA[x", "xml error: unclosed CDATA section at byte 0"},
      {"<?pi", "xml error: unclosed processing instruction at byte 0"},
      {"<!DOCTYPE r [", "xml error: unclosed document type at byte 0"},
      {"<!ELEMENT x>", "xml error: unknown markup at byte 0"},
      {"<a>x & y</a>", "xml error: unterminated reference at byte 5"},
      {"<a>&;</a>", "xml error: empty reference at byte 3"},
      {"<a>&#x;&#12a;</a>", "xml error: malformed character reference &#x; at byte 3"},
      {"<a>1 < 2</a>", "xml error: invalid element name at byte 5"},
      {"<a/ b>", "xml error: malformed tag at byte 0"},
  };
  for (const auto& [xml, message] : cases) EXPECT_EQ(first_error(xml), message) << xml;
}

TEST(XmlReader, EndsNormallyWithElementsOpenAndRepeatsAnError) {
  XmlReader open_reader("<a><b>text");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(open_reader.next().has_value());
  EXPECT_TRUE(open_reader.next()->is_eof());
  EXPECT_EQ(open_reader.depth(), 2u);
  EXPECT_TRUE(open_reader.next()->is_eof());

  XmlReader bad("</x><a/>");
  const auto first = bad.next();
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(bad.next().error(), first.error());
}

TEST(XmlReader, ReadsTagsAlikeWhereverTheirBytesFallInScanBlocks) {
  // Tags are scanned sixteen bytes at a time, the last block of a text ending at its end: names,
  // quotes, values holding ">" or the other quote, and a tag that ends the input are read alike
  // at every offset; so are values tested for ASCII without references before unescaping.
  for (std::size_t size = 0; size < 40; ++size) {
    const std::string name = "e" + std::string(size % 19, 'n');
    const std::string key = "k" + std::string(size % 7, 'k');
    const std::string value(size, 'v');
    const std::string xml = std::string(size, ' ') + "<" + name + " " + key + "=\"" + value +
                            ">'\" q='" + value + "\"' " + key + "=\"again\"/>";
    const auto events = all_events(xml);
    ASSERT_FALSE(events.empty());
    const XmlEvent& tag = events.back();
    EXPECT_TRUE(tag.is_empty()) << size;
    EXPECT_EQ(tag.name, name);
    std::vector<XmlAttribute> seen(tag.attributes().begin(), tag.attributes().end());
    ASSERT_EQ(seen.size(), 3u) << size;
    EXPECT_EQ(seen[0].value, value + ">'");
    EXPECT_EQ(seen[1].value, value + "\"");
    EXPECT_EQ(seen[1].quote, '\'');
    EXPECT_EQ(std::vector<bool>({seen[0].malformed, seen[1].malformed, seen[2].malformed}),
              std::vector<bool>({false, false, true}));
    EXPECT_EQ(tag.attributes().find(key), value + ">'");
    EXPECT_EQ(unescape_xml(value), value);
    EXPECT_EQ(unescape_xml(value + "&"), std::nullopt) << size;
    EXPECT_EQ(unescape_xml(value + "\xC3\xA9" + value), value + "\u00E9" + value) << size;
    EXPECT_EQ(unescape_xml(value + "\xC3"), std::nullopt) << size;
  }
}

// A tag read as a simple empty tag is the very Empty event `next` gives, attributes and all, and
// leaves the reader where `next` would; any other leaves the reader untouched.
TEST(XmlReader, ReadsASimpleEmptyTagAsNextWould) {
  const struct {
    std::string_view xml;
    bool simple;
  } cases[] = {
      {"<R a=\"1\" b='2>\"'/>", true},
      {"<p:R \t a=\"\"\n/>tail", true},
      {"<R />", true},
      {"<R a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\"/>", true},
      {"<R a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\" i=\"9\"/>", false},
      {"<R/>", false},
      {"<Rx a=\"1\"/>", false},
      {"<x:Q a=\"1\"/>", false},
      {"<R a=\"1\" a=\"2\"/>", false},
      {"<R a=\"1\"b=\"2\"/>", false},
      {"<R a=\"1\">", false},
      {"<R a=\"1\" / >", false},
      {"<R a=1/>", false},
      {"<R a = \"1\"/>", false},
      {"<R a>b=\"1\"/>", false},
      {"<R a=\"1/>", false},
      {"<R\xC3 a=\"1\"/>", false},
  };
  const auto check = [](std::string_view xml, bool simple) {
    XmlReader fast(xml);
    SimpleEmptyTag tag;
    ASSERT_EQ(fast.next_simple_empty_tag("R", tag), simple) << xml;
    if (!simple) {
      EXPECT_EQ(fast.position(), 0u) << xml;
      return;
    }
    XmlReader general(xml);
    const auto event = general.next();
    ASSERT_TRUE(event && event->is_empty()) << xml;
    EXPECT_EQ(tag.raw, event->raw);
    EXPECT_EQ(tag.name, event->name);
    EXPECT_EQ(tag.offset, event->offset);
    EXPECT_EQ(fast.position(), general.position());
    std::vector<std::pair<std::string_view, std::string_view>> read, expected;
    for (const SimpleAttribute& item : tag) read.emplace_back(item.name, item.value);
    for (const XmlAttribute& item : event->attributes()) {
      EXPECT_FALSE(item.malformed) << xml;
      expected.emplace_back(item.name, item.value);
    }
    EXPECT_EQ(read, expected) << xml;
  };
  // Each tag alone, and followed by text enough that its items are read a block at a time.
  for (const auto& [xml, simple] : cases) {
    check(xml, simple);
    check(std::string(xml) + std::string(32, 'x'), simple);
  }
}

TEST(XmlAttributes, YieldsRawValuesAndMarksMalformedItems) {
  const auto events = all_events(
      "<a p:x=\"1 &amp; 2\" y='say \"hi\"' bare z=unquoted x=\"dup\" p:x=\"again\" novalue=/>");
  ASSERT_EQ(events.size(), 1u);
  struct Expected {
    std::string_view name, value;
    bool malformed;
  };
  const std::vector<Expected> expected = {
      {"p:x", "1 &amp; 2", false}, {"y", "say \"hi\"", false}, {"bare", "", true},
      {"z", "unquoted", true},     {"x", "dup", false},        {"p:x", "again", true},
      {"novalue", "", true},
  };
  std::vector<XmlAttribute> seen(events[0].attributes().begin(), events[0].attributes().end());
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].name, expected[i].name) << i;
    EXPECT_EQ(seen[i].value, expected[i].value) << i;
    EXPECT_EQ(seen[i].malformed, expected[i].malformed) << i;
  }
  EXPECT_EQ(seen[0].local_name(), "x");
  EXPECT_EQ(seen[1].quote, '\'');
}

TEST(XmlAttributes, FindsTheFirstWellFormedAttributeOfAName) {
  const XmlAttributes tag(" bare r:id=\"rId2\" x:t=\"s\" id=\"A&amp;1\" t=v");
  struct Case {
    std::string_view name;
    AttributeNaming naming;
    std::optional<std::string_view> value;
  };
  const Case cases[] = {
      {"id", AttributeNaming::Qualified, "A&amp;1"},
      {"id", AttributeNaming::Local, "rId2"},
      {"x:t", AttributeNaming::Qualified, "s"},
      {"t", AttributeNaming::Qualified, std::nullopt},
      {"t", AttributeNaming::Local, "s"},
      {"bare", AttributeNaming::Local, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(tag.find(c.name, c.naming), c.value) << c.name;
}

TEST(XmlAttributes, MarksRepeatedNamesInATagOfManyAttributes) {
  // Repeats met early and late in a long tag, next to malformed items, are found as in a short
  // one; the earlier item stands.
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  text += " bare a7=\"again\" z=\"1\" a4999=\"again\" z=\"2\" a0=\"again\" b=\"3\"";
  std::vector<XmlAttribute> seen;
  for (const auto& attribute : XmlAttributes(text)) seen.push_back(attribute);
  ASSERT_EQ(seen.size(), 5007u);
  for (std::size_t i = 0; i < 5000; ++i) ASSERT_FALSE(seen[i].malformed) << i;
  const std::vector<std::pair<std::string_view, bool>> tail = {
      {"bare", true}, {"a7", true}, {"z", false}, {"a4999", true},
      {"z", true},    {"a0", true}, {"b", false},
  };
  for (std::size_t i = 0; i < tail.size(); ++i) {
    EXPECT_EQ(seen[5000 + i].name, tail[i].first) << i;
    EXPECT_EQ(seen[5000 + i].malformed, tail[i].second) << i;
  }
  EXPECT_EQ(seen[5002].value, "1");
}

TEST(XmlAttributes, ACopiedIteratorKnowsTheNamesReadBeforeIt) {
  // Copies taken after a few items and after many (names kept in a set) go on alone, and still
  // find a repeat of a name read before they were taken.
  for (const int before : {2, 40}) {
    std::string text;
    for (int i = 0; i < before; ++i) text += " a" + std::to_string(i) + "=\"v\"";
    text += " a1=\"again\" b=\"1\"";
    const XmlAttributes tag(text);
    auto original = tag.begin();
    for (int i = 1; i < before; ++i) ++original;
    auto copied = original;
    XmlAttributes::iterator assigned;
    assigned = original;
    for (auto* it : {&copied, &original, &assigned}) {
      ++*it;
      EXPECT_EQ((*it)->name, "a1") << before;
      EXPECT_TRUE((*it)->malformed) << before;
      ++*it;
      EXPECT_FALSE((*it)->malformed) << before;
      EXPECT_TRUE(++*it == tag.end()) << before;
    }
  }
}

TEST(XmlAttributes, KeepsAQuotedRunInsideAnUnquotedValueWhole) {
  // The tag's ">" was found past the quoted run; the items must agree with that, or a ">" would
  // end up inside the next item's name.
  const auto events = all_events("<a x=v\"1> y=2\" y=\"3\"/>");
  ASSERT_EQ(events.size(), 1u);
  std::vector<XmlAttribute> seen(events[0].attributes().begin(), events[0].attributes().end());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].malformed);
  EXPECT_EQ(seen[0].value, "v\"1> y=2\"");
  EXPECT_FALSE(seen[1].malformed);
  EXPECT_EQ(seen[1].value, "3");
}

TEST(XmlAttributes, MarksAnUnterminatedQuoteInsideASingleTagText) {
  std::vector<XmlAttribute> seen;
  for (const auto& attribute : XmlAttributes(" a=\"1\" b=\"open")) seen.push_back(attribute);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen[0].malformed);
  EXPECT_TRUE(seen[1].malformed);
}

TEST(XmlUnescape, ResolvesPredefinedAndCharacterReferences) {
  EXPECT_EQ(unescape_xml("a &lt;&gt;&amp;&quot;&apos; &#65;&#x42;&#x20AC;"), "a <>&\"' AB\u20AC");
  EXPECT_EQ(unescape_xml("no references"), "no references");
  // Unknown, malformed and invalid references: refused by default, kept as written on request.
  for (std::string_view raw :
       {"&nbsp;", "a & b", "&#0;", "&#xD800;", "&#x110000;", "&;", "tail &amp"}) {
    EXPECT_EQ(unescape_xml(raw), std::nullopt) << raw;
    EXPECT_EQ(unescape_xml(raw, UnknownReferences::Keep), std::string(raw)) << raw;
  }
  EXPECT_EQ(unescape_xml("\xff"), std::nullopt);
  EXPECT_EQ(resolve_character_reference("#x41"), U'A');
  EXPECT_EQ(resolve_character_reference("#X41"), std::nullopt);
}

TEST(XmlText, DecodesUtf8AndNormalisesLineEnds) {
  EXPECT_EQ(decode_xml_text("a\r\nb\rc\n\r\r\nd"), "a\nb\nc\n\n\nd");
  EXPECT_EQ(decode_xml_text("\xc3\xa9"), "\xc3\xa9");
  EXPECT_EQ(decode_xml_text("\xc3"), std::nullopt);
}

TEST(XmlWriter, RebuildsTagsAndEscapesTextWithAllFiveEntities) {
  const auto events = all_events("<a:off x='a\"b' y=\"&amp;\"/>");
  XmlStartTag tag = XmlStartTag::from_event(events[0]);
  XmlWriter writer;
  writer.write_tag_as(events[0], tag);
  tag.clear_attributes();
  for (const auto& attribute : events[0].attributes()) tag.push_source_attribute(attribute);
  tag.push_attribute("n", "<&'\">");
  writer.write_start(tag);
  writer.write_text("<&'\">");
  writer.write_end_tag("a:off");
  EXPECT_EQ(writer.buffer(),
            "<a:off x='a\"b' y=\"&amp;\"/>"
            "<a:off x=\"a&quot;b\" y=\"&amp;\" n=\"&lt;&amp;&apos;&quot;&gt;\">"
            "&lt;&amp;&apos;&quot;&gt;</a:off>");
  EXPECT_EQ(xml_local_name("p:cNvPr"), "cNvPr");
  EXPECT_EQ(xml_local_name("timing"), "timing");
}

}  // namespace
}  // namespace pelvane
