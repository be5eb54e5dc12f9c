#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/utf8.hpp"
#include "core/inspect/manifest.hpp"
#include "core/inspect/summary_package_extract.hpp"
#include "core/inspect/summary_shape_extract.hpp"
#include "core/inspect/summary_table_extract.hpp"
#include "core/inspect/text_runs.hpp"
#include "core/json/json_out.hpp"
#include "core/package/slide_order.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_splice.hpp"
#include "core/zip/package_archive.hpp"
#include "inspect/run_property_oracle.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using Texts = std::vector<std::string>;
using std::nullopt;
using test::extract_paragraph_run_bool_attribute;
using test::extract_paragraph_run_font_size;
using test::extract_paragraph_run_property;
using test::extract_paragraph_run_underline;

std::string slide_with(std::string_view tree_inside) {
  return "<p:sld xmlns:p=\"p\" xmlns:a=\"a\" xmlns:r=\"r\"><p:cSld><p:spTree>"
         "<p:nvGrpSpPr/><p:grpSpPr/>" +
         std::string(tree_inside) + "</p:spTree></p:cSld></p:sld>";
}

std::string text_shape(std::string_view id, std::string_view paragraphs) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::string(id) +
         "\" name=\"S\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/>" +
         std::string(paragraphs) + "</p:txBody></p:sp>";
}

// The top-level shapes of a slide's text, as its summary reads them.
std::vector<ShapeSummary> shapes_of(std::string_view slide_text) {
  std::vector<ShapeSummary> shapes;
  extract_shapes_in_text(slide_text, shapes);
  return shapes;
}

// The summary of one shape, read as the only shape of a slide.
ShapeSummary shape_of(std::string_view block) {
  auto shapes = shapes_of(slide_with(block));
  EXPECT_EQ(shapes.size(), 1u) << block;
  return shapes.empty() ? ShapeSummary{} : std::move(shapes[0]);
}

// ---- Slide text runs and paragraph texts ----

TEST(TextRuns, TrimsEachPieceAndSkipsEmptyElements) {
  const struct {
    std::string xml;
    Texts runs;
  } cases[] = {
      {"<a:p><a:r><a:t>A &amp; B</a:t></a:r></a:p>", {"A&B"}},
      {"<a:t>   </a:t><a:t> x </a:t>", {"x"}},
      {"<t>plain</t><x:t>other</x:t><a:tx>not a run</a:tx>", {"plain", "other"}},
      {"<a:t/><a:t>&#65;&#x42;&nbsp;</a:t>", {"AB&nbsp;"}},
      {"<a:t>one</a:t><a:t>cut off", {"one"}},
      {"<a:t>kept</a:t></wrong><a:t>after error</a:t>", {"kept"}},
      {"<a:t>line\r\nend</a:t>", {"line\nend"}},
  };
  for (const auto& c : cases) EXPECT_EQ(extract_text_runs(c.xml), c.runs) << c.xml;
}

TEST(TextRuns, ParagraphTextsKeepSpacesAndMarkLineBreaks) {
  const struct {
    std::string xml;
    Texts paragraphs;
  } cases[] = {
      {"<a:p><a:r><a:t>A &amp; B</a:t></a:r></a:p>", {"A & B"}},
      {"<a:p><a:r><a:t>  </a:t></a:r></a:p>", {"  "}},
      {"<a:p><a:r><a:t>x</a:t></a:r><a:br/><a:r><a:t>y</a:t></a:r></a:p><a:p/>", {"x\vy", ""}},
      {"<a:p><a:r><a:t>A</a:t></a:r><a:fld id=\"1\"><a:t>3</a:t></a:fld></a:p><a:p>B", {"A3"}},
      {"<a:t>outside</a:t><a:p><a:r><a:t>in</a:t></a:r></a:p>", {"in"}},
  };
  for (const auto& c : cases) EXPECT_EQ(extract_paragraph_texts(c.xml), c.paragraphs) << c.xml;
}

// The oracle of the slide scan's flags: true when a start or empty-element tag has the local
// name; a reader error ends the search with false.
bool has_element(std::string_view xml, std::string_view local_name) {
  XmlReader reader(xml);
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next())
    if (event->is_tag() && event->local_name() == local_name) return true;
  return false;
}

TEST(TextRuns, SlideScanFindsTransitionAndTimingAnywhere) {
  // Only a start or empty tag counts, only the whole local name, and only before a lexer error.
  const struct {
    const char* xml;
    bool transition, timing;
  } cases[] = {
      {"<p:sld><a:t>x</a:t></p:sld>", false, false},
      {"<p:sld><mc:AlternateContent><mc:Choice><p:transition/></mc:Choice></mc:AlternateContent>"
       "<timing></timing></p:sld>",
       true, true},
      {"<p:sld><p:timing>x</p:timing></p:sld>", false, true},
      {"<p:sld><p:timingX/><p:transitions/></p:sld>", false, false},
      {"<p:sld></p:timing></p:sld>", false, false},
      {"<p:sld><p:transition/></b><timing/></p:sld>", true, false},
  };
  for (const auto& c : cases) {
    const auto scan = scan_slide_text(c.xml);
    EXPECT_EQ(scan.has_transition, c.transition) << c.xml;
    EXPECT_EQ(scan.has_timing, c.timing) << c.xml;
    EXPECT_EQ(has_element(c.xml, "transition"), c.transition) << c.xml;
    EXPECT_EQ(has_element(c.xml, "timing"), c.timing) << c.xml;
  }
}

// ---- Run formatting ----

TEST(RunFormatting, TypedValuesFollowTheStoredText) {
  const std::optional<std::string> absent;
  EXPECT_EQ(bool_attribute_value(std::string("1")), true);
  EXPECT_EQ(bool_attribute_value(std::string("on")), true);
  EXPECT_EQ(bool_attribute_value(std::string("false")), false);
  EXPECT_EQ(bool_attribute_value(std::string("True")), nullopt);
  EXPECT_EQ(bool_attribute_value(absent), nullopt);

  EXPECT_EQ(underline_value(std::string("none")), false);
  EXPECT_EQ(underline_value(std::string("None")), true);
  EXPECT_EQ(underline_value(std::string("dbl")), true);
  EXPECT_EQ(underline_value(absent), nullopt);

  const struct {
    const char* text;
    std::optional<std::int64_t> emu;
  } sizes[] = {
      {"1800", 228600},
      {"-1", -127},
      {"+2", 254},
      {"18.5", nullopt},
      {"", nullopt},
      {"+-3", nullopt},
      {" 12", nullopt},
      {"9223372036854775808", nullopt},
      // Past the EMU range the product wraps around instead of overflowing.
      {"9223372036854775807",
       static_cast<std::int64_t>(std::uint64_t{9223372036854775807u} * 127u)},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& s : sizes) EXPECT_EQ(font_size_emu(std::string(s.text)), s.emu) << s.text;
  EXPECT_EQ(font_size_emu(absent), nullopt);
}

TEST(RunFormatting, OneValuePerRunWithTheLastMatchingElement) {
  const std::string xml =
      "<a:p><a:r><a:rPr b=\"1\" sz=\"1800\"/><a:t>x</a:t></a:r><a:r><a:t>y</a:t></a:r>"
      "<a:br/><a:fld><a:rPr b=\"0\"/><a:t>f</a:t></a:fld><a:endParaRPr b=\"0\"/></a:p>"
      "<a:p/><a:p><a:r/><a:r><a:rPr b=\"1\"/><a:rPr/></a:r></a:p>";
  using Values = RunValues<std::string>;
  EXPECT_EQ(extract_paragraph_run_property(xml, "rPr", "b"),
            (Values{{std::string("1"), nullopt}, {}, {nullopt, nullopt}}));
  const auto typeface = extract_paragraph_run_property(
      "<a:p><a:r><a:rPr><a:latin typeface=\"A &amp; B\"/></a:rPr></a:r></a:p>", "latin",
      "typeface");
  EXPECT_EQ(typeface, (Values{{std::string("A &amp; B")}}));
}

// The shape summary reads every paragraph list in one pass; each must equal what its own
// reader gives, on well-formed and on broken text alike.
TEST(RunFormatting, SinglePassMatchesTheSeparateReaders) {
  const std::string inputs[] = {
      "<a:p><a:r><a:rPr b=\"1\" i=\"off\" u=\"sng\" sz=\"1200\"><a:latin typeface=\"X\"/></a:rPr>"
      "<a:t>A</a:t></a:r><a:br/><a:fld type=\"slidenum\"><a:t>3</a:t></a:fld>"
      "<a:r><a:t>B &lt; C</a:t></a:r></a:p><a:p/>",
      "<a:p><a:r><a:t>x</a:t></a:r></a:p><a:p><a:r><a:t>unterminated",
      "<a:p><a:r><a:t>x</a:t></a:r></b></a:p><a:p><a:r><a:t>after</a:t></a:r></a:p>",
      "<a:tbl><a:tr><a:tc><a:txBody><a:p><a:r><a:t>cell</a:t></a:r></a:p></a:txBody></a:tc>"
      "</a:tr></a:tbl>",
  };
  for (const auto& xml : inputs) {
    const ShapeParagraphs all = scan_shape_paragraphs(xml);
    EXPECT_EQ(all.paragraphs, extract_paragraph_texts(xml)) << xml;
    EXPECT_EQ(all.bold, extract_paragraph_run_bool_attribute(
                            extract_paragraph_run_property(xml, "rPr", "b")));
    EXPECT_EQ(all.italic, extract_paragraph_run_bool_attribute(
                              extract_paragraph_run_property(xml, "rPr", "i")));
    EXPECT_EQ(all.underline,
              extract_paragraph_run_underline(extract_paragraph_run_property(xml, "rPr", "u")));
    EXPECT_EQ(all.font_size,
              extract_paragraph_run_font_size(extract_paragraph_run_property(xml, "rPr", "sz")));
    EXPECT_EQ(all.font_name, extract_paragraph_run_property(xml, "latin", "typeface"));
    // Every per-paragraph list has one entry per finished paragraph.
    EXPECT_EQ(all.runs.size(), all.paragraphs.size());
    EXPECT_EQ(all.line_breaks.size(), all.paragraphs.size());
    EXPECT_EQ(all.fields.size(), all.paragraphs.size());
  }
}

// ---- Shape summaries ----

TEST(ShapeSummaries, KindComesFromTheElementAndItsMarkers) {
  const struct {
    std::string block;
    std::string kind;
    bool has_picture;
    bool has_group;
  } cases[] = {
      {"<p:sp></p:sp>", "shape", false, false},
      {"<p:pic><p:nvPicPr><p:nvPr><a:videoFile r:link=\"rId2\"/></p:nvPr></p:nvPicPr></p:pic>",
       "movie", false, false},
      {"<p:pic></p:pic>", "picture", true, false},
      {"<p:graphicFrame><a:graphic><p:oleObj r:id=\"rId3\"/></a:graphic></p:graphicFrame>",
       "ole_object", false, false},
      {"<p:graphicFrame><c:chart r:id=\"rId4\"/></p:graphicFrame>", "graphic_frame", false, false},
      {"<p:grpSp><p:grpSpPr></p:grpSpPr></p:grpSp>", "group", false, true},
      {"<p:cxnSp></p:cxnSp>", "connector", false, false},
  };
  for (const auto& c : cases) {
    const ShapeSummary shape = shape_of(c.block);
    EXPECT_EQ(shape.kind, c.kind) << c.block;
    EXPECT_EQ(shape.has_picture, c.has_picture) << c.block;
    EXPECT_EQ(shape.has_group, c.has_group) << c.block;
  }
}

TEST(ShapeSummaries, IdentityPlaceholderAndReferencesAreReadAsWritten) {
  const ShapeSummary shape = shape_of(
      "<p:sp><p:nvSpPr><p:cNvPr id=\"4\" name=\"A &amp; B\"/><p:nvPr><p:ph type=\"title\"/>"
      "</p:nvPr></p:nvSpPr><p:blipFill><a:blip r:embed=\"rId10\"/></p:blipFill>"
      "<a:hlinkClick r:id=\"rId2\"/><a:blip r:embed=\"rId10\"/><a:hlinkClick r:id=\"\"/>"
      "<p:txBody><a:p><a:r><a:t>mentions x:chart</a:t></a:r></a:p></p:txBody></p:sp>");
  EXPECT_EQ(shape.id, "4");
  EXPECT_EQ(shape.name, "A &amp; B");
  EXPECT_TRUE(shape.is_placeholder);
  EXPECT_EQ(shape.placeholder_type, "title");
  EXPECT_EQ(shape.placeholder_idx, nullopt);
  EXPECT_EQ(shape.relationship_ids, (Texts{"", "rId10", "rId2"}));
  EXPECT_TRUE(shape.has_chart);
  EXPECT_EQ(shape.transform, nullopt);
  EXPECT_EQ(shape.effective_transform, nullopt);

  // A search resumes after the value's closing quote, so a pattern inside a value is skipped.
  EXPECT_EQ(shape_of("<p:sp><x r:id=\"xr:id=\" y=\"1\" r:link=\"L\"/></p:sp>").relationship_ids,
            (Texts{"L", "xr:id="}));

  const ShapeSummary bare = shape_of("<p:sp><p:spPr/></p:sp>");
  EXPECT_EQ(bare.id, nullopt);
  EXPECT_EQ(bare.name, nullopt);
  EXPECT_FALSE(bare.is_placeholder);
  EXPECT_EQ(bare.text, "");
}

TEST(ShapeSummaries, ParagraphListsLineUpPerParagraph) {
  const ShapeSummary shape =
      shape_of(text_shape("2",
                          "<a:p><a:r><a:rPr b=\"1\" sz=\"1800\"/><a:t>Hello</a:t></a:r><a:br/>"
                          "<a:r><a:t> world</a:t></a:r></a:p>"
                          "<a:p><a:r><a:t>A</a:t></a:r><a:fld id=\"f\"><a:t>3</a:t></a:fld>"
                          "<a:r><a:t>B</a:t></a:r></a:p><a:p/>"));
  EXPECT_EQ(shape.paragraphs, (Texts{"Hello\v world", "A3B", ""}));
  EXPECT_EQ(shape.text, "Hello\v world\nA3B\n");
  EXPECT_EQ(shape.paragraph_runs, (std::vector<Texts>{{"Hello", " world"}, {"A", "B"}, {}}));
  EXPECT_EQ(shape.paragraph_line_breaks, (std::vector<std::vector<std::uint64_t>>{{1}, {}, {}}));
  ASSERT_EQ(shape.paragraph_fields.size(), 3u);
  EXPECT_TRUE(shape.paragraph_fields[0].empty());
  EXPECT_EQ(shape.paragraph_fields[1], (std::vector<ParagraphFieldSummary>{{1, 0, "3"}}));
  EXPECT_EQ(shape.paragraph_run_bold[0], (std::vector<std::optional<bool>>{true, nullopt}));
  EXPECT_EQ(shape.paragraph_run_font_size[0],
            (std::vector<std::optional<std::int64_t>>{228600, nullopt}));
  EXPECT_EQ(shape.paragraph_run_font_name[0],
            (std::vector<std::optional<std::string>>{nullopt, nullopt}));
}

TEST(ShapeSummaries, TopLevelShapesSkipAlternateContentAndNeedAClosedTree) {
  const std::string wrapped =
      slide_with(text_shape("2", "<a:p><a:r><a:t>first</a:t></a:r></a:p>") +
                 "<mc:AlternateContent><mc:Choice Requires=\"p14\">" + text_shape("3", "") +
                 "</mc:Choice><mc:Fallback><p:pic></p:pic></mc:Fallback></mc:AlternateContent>" +
                 "<p:cxnSp><p:nvCxnSpPr><p:cNvPr id=\"5\" name=\"C\"/></p:nvCxnSpPr></p:cxnSp>");
  const auto shapes = shapes_of(wrapped);
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0].id, "2");
  EXPECT_EQ(shapes[1].kind, "connector");

  EXPECT_TRUE(shapes_of("<p:sld><p:cSld></p:cSld></p:sld>").empty());
  EXPECT_TRUE(shapes_of("<p:sld><p:spTree><p:sp></p:sp>").empty());
  EXPECT_TRUE(shapes_of("<p:sld><p:spTree/></p:sld>").empty());
  EXPECT_TRUE(shapes_of(slide_with("")).empty());
}

TEST(ShapeSummaries, InvalidUtf8BecomesReplacementCharacters) {
  // A slide's text is decoded once for its shapes and tables, as its summary reads it.
  std::string decoded;
  const auto shapes = shapes_of(utf8_lossy_view(
      slide_with("<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"bad\xff\xfename\"/></p:nvSpPr></p:sp>"),
      decoded));
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].name, "bad\xEF\xBF\xBD\xEF\xBF\xBDname");
  EXPECT_TRUE(is_valid_utf8(to_json(shapes[0]).value()));
}

std::string group_xml(std::string_view xfrm, std::string_view children) {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"10\" name=\"G\"/></p:nvGrpSpPr><p:grpSpPr>" +
         std::string(xfrm) + "</p:grpSpPr>" + std::string(children) + "</p:grpSp>";
}

std::string placed_shape(std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy) {
  return "<p:sp><p:spPr><a:xfrm><a:off x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\"/><a:ext cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
         "\"/></a:xfrm></p:spPr></p:sp>";
}

TEST(ShapeSummaries, GroupsPlaceTheirChildrenOnTheSlide) {
  const struct {
    std::string xfrm;
    TransformSummary child;
    TransformSummary effective;
  } cases[] = {
      {"<a:xfrm><a:off x=\"1000\" y=\"2000\"/><a:ext cx=\"4000\" cy=\"2000\"/>"
       "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"2000\" cy=\"1000\"/></a:xfrm>",
       {500, 500, 1000, 1000},
       {2000, 3000, 2000, 2000}},
      // A zero child extent only moves that axis.
      {"<a:xfrm><a:off x=\"1000\" y=\"2000\"/><a:ext cx=\"4000\" cy=\"2000\"/>"
       "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"1000\"/></a:xfrm>",
       {500, 500, 1000, 1000},
       {1500, 3000, 1000, 2000}},
      // Without a:chOff and a:chExt the children keep their scale and are moved.
      {"<a:xfrm><a:off x=\"10\" y=\"20\"/><a:ext cx=\"300\" cy=\"400\"/></a:xfrm>",
       {1, 2, 30, 40},
       {11, 22, 30, 40}},
      // Halves round away from zero.
      {"<a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"3\" cy=\"3\"/><a:chOff x=\"0\" y=\"0\"/>"
       "<a:chExt cx=\"2\" cy=\"2\"/></a:xfrm>",
       {1, -1, 1, 1},
       {2, -2, 2, 2}},
  };
  for (const auto& c : cases) {
    const ShapeSummary group =
        shape_of(group_xml(c.xfrm, placed_shape(c.child.x, c.child.y, c.child.cx, c.child.cy)));
    ASSERT_EQ(group.children.size(), 1u) << c.xfrm;
    EXPECT_EQ(group.children[0].transform, c.child);
    EXPECT_EQ(group.children[0].effective_transform, c.effective) << c.xfrm;
  }

  // A group without a transform of its own hands nothing down.
  const ShapeSummary loose =
      shape_of(group_xml("",
                         "<p:sp><p:spPr><p:xfrm><a:off x=\"5\" y=\"6\"/><a:ext cx=\"7\" cy=\"8\"/>"
                         "</p:xfrm></p:spPr></p:sp>"));
  ASSERT_EQ(loose.children.size(), 1u);
  EXPECT_EQ(loose.children[0].effective_transform, (TransformSummary{5, 6, 7, 8}));
  // The group's own transform is the first one found in its text: its child's.
  EXPECT_EQ(loose.transform, (TransformSummary{5, 6, 7, 8}));
}

TEST(ShapeSummaries, ExtremeTransformsStayDefined) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  // Scaling far past the range clamps to its bounds.
  const ChildTransformMapping huge{0, 0, kMax, kMax, 0, 0, 1, 1};
  const TransformSummary scaled = map_child_transform({kMax, kMin, kMax, 3}, huge);
  EXPECT_EQ(scaled.x, kMax);
  EXPECT_EQ(scaled.y, kMin);
  EXPECT_EQ(scaled.cx, kMax);
  EXPECT_EQ(scaled.cy, kMax);
  // Offsets add and subtract with wrap-around.
  const ChildTransformMapping moved{kMax, 0, 5, 5, kMin, 0, 0, 0};
  const TransformSummary wrapped = map_child_transform({0, 0, 1, 1}, moved);
  EXPECT_EQ(wrapped.x,
            static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(kMin) +
                                      static_cast<std::uint64_t>(kMax)));
  EXPECT_EQ(wrapped.cx, 1);
}

TEST(ShapeSummaries, GroupsReportWhatTheirChildrenHold) {
  const std::string table =
      "<p:graphicFrame><a:graphic><a:graphicData><a:tbl><a:tr><a:tc><a:txBody><a:p><a:r>"
      "<a:t>cell</a:t></a:r></a:p></a:txBody></a:tc></a:tr></a:tbl></a:graphicData></a:graphic>"
      "</p:graphicFrame>";
  const std::string inner = group_xml(
      "",
      "<p:sp><p:nvSpPr><p:nvPr><p:ph type=\"body\" idx=\"1\"/></p:nvPr></p:nvSpPr></p:sp>" + table);
  const ShapeSummary outer =
      shape_of(group_xml("", text_shape("3", "<a:p><a:r><a:t>t</a:t></a:r></a:p>") + inner));
  EXPECT_TRUE(outer.is_placeholder);
  EXPECT_EQ(outer.placeholder_idx, "1");
  EXPECT_EQ(outer.paragraphs, (Texts{"t", "cell"}));
  ASSERT_EQ(outer.tables.size(), 1u);
  ASSERT_EQ(outer.children.size(), 2u);
  EXPECT_EQ(outer.children[1].kind, "group");
  ASSERT_EQ(outer.children[1].children.size(), 2u);
  EXPECT_EQ(outer.children[1].children[1].kind, "graphic_frame");
  EXPECT_EQ(outer.children[1].children[1].tables[0].rows, (std::vector<Texts>{{"cell"}}));
  EXPECT_TRUE(outer.children[0].children.empty());
}

TEST(ShapeSummaries, DeepNestingIsCappedAndStillPrints) {
  // Every group above the cap scans its whole block, which the address sanitizer slows many
  // times over; a few thousand levels take the same road past the cap there.
#if defined(__SANITIZE_ADDRESS__)
  constexpr int kDepth = 3000;
#else
  constexpr int kDepth = 100000;
#endif
  std::string tree;
  for (int i = 0; i < kDepth; ++i) tree += "<p:grpSp><p:grpSpPr></p:grpSpPr>";
  tree += text_shape("2", "<a:p><a:r><a:t>deep</a:t></a:r></a:p>");
  for (int i = 0; i < kDepth; ++i) tree += "</p:grpSp>";

  SlideSummary slide;
  slide.shapes = shapes_of(slide_with(tree));
  ASSERT_EQ(slide.shapes.size(), 1u);
  std::size_t levels = 1;
  const ShapeSummary* shape = &slide.shapes[0];
  while (!shape->children.empty()) {
    ASSERT_EQ(shape->children.size(), 1u);
    shape = &shape->children[0];
    ++levels;
  }
  // Groups down to the cap list their children; the group below it is listed without them,
  // though its text still covers everything inside it.
  EXPECT_EQ(levels, kMaxGroupNesting + 1);
  EXPECT_EQ(shape->kind, "group");
  EXPECT_EQ(shape->paragraphs, (Texts{"deep"}));
  EXPECT_TRUE(to_json(slide).has_value());
}

// ---- Element searches ----

// The start-tag and element-end rules written out byte by byte, to hold the searches to.
std::optional<std::size_t> bytewise_tag_start(std::string_view text, std::size_t from,
                                              std::string_view tag) {
  const std::string opening = "<" + std::string(tag);
  for (std::size_t at = from; at + opening.size() <= text.size(); ++at) {
    if (text.substr(at, opening.size()) != opening) continue;
    if (at + opening.size() == text.size()) return nullopt;
    const char next = text[at + opening.size()];
    if (next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '/' || next == '>')
      return at;
  }
  return nullopt;
}

std::optional<std::size_t> bytewise_element_end(std::string_view text, std::size_t start,
                                                std::string_view tag) {
  constexpr auto npos = std::string_view::npos;
  const std::string closing = "</" + std::string(tag) + ">";
  const auto closes_itself = [&](std::size_t lt) {
    const std::size_t gt = text.find('>', lt);
    return gt != npos && text[gt - 1] == '/';
  };
  if (closes_itself(start)) return text.find('>', start) + 1;
  std::size_t pos = start + 1 + tag.size();
  std::size_t depth = 1;
  for (;;) {
    const std::size_t close = text.find(closing, pos);
    const auto open = bytewise_tag_start(text, pos, tag);
    if (close != npos && (!open || close < *open)) {
      pos = close + closing.size();
      if (--depth == 0) return pos;
      continue;
    }
    if (!open) return nullopt;
    if (!closes_itself(*open)) ++depth;
    pos = *open + 1 + tag.size();
  }
}

// The searches skip ahead many bytes at a time and look for start tags only before the next end
// tag; they must find exactly what the rules find.
TEST(ElementSearches, AgreeWithTheSplicingRules) {
  const std::string texts[] = {
      "<a:tbl><a:tr></a:tr></a:tbl>",
      "<a:tbl><a:tbl></a:tbl></a:tbl>x</a:tbl>",
      "<a:tbl><a:tbl/></a:tbl></a:tbl>",
      "<a:tbl/><a:tbl></a:tbl>",
      "<a:tblPr/><a:tbl><a:tblGrid/></a:tbl>",
      "<a:tbl>no end",
      "<a:tbl><a:tbl></a:tbl>",
      "<a:tbl x='>'></a:tbl>",
      "<a:tbl\n></a:tbl >",
      "<a:tbl><a:tblPr/><a:tbl x=\"1\"><a:tbl/></a:tbl><a:tbl></a:tbl></a:tbl>"
      "<a:tbl><a:tbl></a:tbl><a:tbl",
      "<p:x><a:tbl>0123456789abcdef</a:tbl></a:tbl><a:tbl>0123456789abcdef<a:tbl>"
      "</a:tbl>0123456789abcdef</a:tbl><a:tbl",
  };
  for (const std::string& text : texts) {
    for (std::size_t from = 0; from <= text.size(); ++from) {
      const auto expected = bytewise_tag_start(text, from, "a:tbl");
      EXPECT_EQ(find_tag_start(text, from, "a:tbl"), expected) << text << " " << from;
      if (expected) {
        EXPECT_EQ(find_element_end(text, *expected, "a:tbl"),
                  bytewise_element_end(text, *expected, "a:tbl"))
            << text << " " << *expected;
      }
    }
  }
}

// ---- Tables ----

TEST(TableSummaries, CellsRowByRowAsWritten) {
  const auto tables = extract_tables_in_text(
      "<a:tbl><a:tblPr/><a:tblGrid><a:gridCol w=\"1\"/></a:tblGrid>"
      "<a:tr><a:tc gridSpan=\"2\"><a:txBody><a:p><a:r><a:t>A</a:t></a:r></a:p>"
      "<a:p><a:r><a:t>B</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc>"
      "<a:tc hMerge=\"1\"><a:txBody><a:p/></a:txBody></a:tc><a:tc><a:txBody><a:p><a:r><a:t>x"
      "</a:t></a:r><a:br/><a:r><a:t>y</a:t></a:r></a:p></a:txBody></a:tc></a:tr>"
      "<a:tr><a:tc></a:tc><a:tc><a:txBody><a:p><a:r><a:t>2</a:t></a:r></a:p></a:txBody></a:tc>"
      "</a:tr></a:tbl><a:tbl></a:tbl><a:tbl><a:tr>");
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].rows, (std::vector<Texts>{{"A\nB", "", "x\vy"}, {"", "2"}}));
  EXPECT_EQ(tables[0].row_count, 2u);
  EXPECT_EQ(tables[0].col_count, 3u);
  EXPECT_EQ(tables[1], (TableSummary{{}, 0, 0}));
  EXPECT_TRUE(extract_tables_in_text("<p:sld/>").empty());
}

TEST(TableSummaries, NestedTableBelongsToItsCell) {
  const auto tables = extract_tables_in_text(
      "<a:tbl><a:tr><a:tc><a:tbl><a:tr><a:tc><a:p><a:r><a:t>in</a:t></a:r></a:p></a:tc></a:tr>"
      "</a:tbl></a:tc></a:tr></a:tbl>");
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, (std::vector<Texts>{{"in"}}));
}

// ---- Package summaries ----

class PackageSummaries : public ::testing::Test {
 protected:
  test::TempDir dir;

  std::string package(std::vector<test::ZipEntry> entries) {
    const std::string path = dir.file("p" + std::to_string(counter_++) + ".pptx");
    test::write_zip(path, entries);
    return path;
  }

 private:
  int counter_ = 0;
};

TEST_F(PackageSummaries, FailuresCarryTheirKindAndText) {
  const std::string no_slides = package({{"ppt/presentation.xml", "<p:presentation/>"}});
  const auto empty = summarize_presentation(no_slides);
  ASSERT_TRUE(empty.has_value());
  EXPECT_NE(to_json(*empty).value().find("\"slide_count\": 0,"), std::string::npos);
  EXPECT_EQ(summarize_slide_at_index(no_slides, 0).error().to_string(),
            "invalid input: slide index 0 was not found");

  const std::string two = package(
      {{"ppt/slides/slide1.xml", slide_with("")}, {"ppt/slides/slide2.xml", slide_with("")}});
  EXPECT_TRUE(summarize_slide_at_index(two, 1).has_value());
  EXPECT_EQ(summarize_slide_at_index(two, 2).error().to_string(),
            "invalid input: slide index 2 was not found");

  EXPECT_EQ(summarize_presentation(dir.file("missing.pptx")).error().kind(),
            PelvaneError::Kind::Io);
  test::write_file(dir.file("text.pptx"), "not a zip");
  EXPECT_EQ(summarize_presentation(dir.file("text.pptx")).error().kind(), PelvaneError::Kind::Zip);

  // An entry that cannot be opened fails the slide listing, and so both summaries.
  test::ZipEntry locked{"docProps/secret.xml", "x"};
  locked.password = "pw";
  const std::string encrypted = package({{"ppt/slides/slide1.xml", slide_with("")}, locked});
  EXPECT_EQ(summarize_presentation(encrypted).error().kind(), PelvaneError::Kind::Zip);
  EXPECT_EQ(summarize_slide_at_index(encrypted, 0).error().to_string(),
            "zip error: No password provided");
  // The texts are those of the archive library opening the entry to read it, also for an entry
  // whose compression method it cannot decompress (the method of both headers rewritten to 18).
  EXPECT_EQ(summarize_presentation(encrypted).error().to_string(),
            "zip error: No password provided");
  std::string odd = test::read_file(
      package({{"ppt/slides/slide1.xml", slide_with("")}, {"docProps/odd.bin", "packed bytes"}}));
  for (std::size_t at = odd.find("docProps/odd.bin"); at != std::string::npos;
       at = odd.find("docProps/odd.bin", at + 1)) {
    const bool local = at >= 30 && odd.compare(at - 30, 4, "PK\x03\x04") == 0;
    const bool central = at >= 46 && odd.compare(at - 46, 4, "PK\x01\x02") == 0;
    ASSERT_TRUE(local || central);
    odd[local ? at - 30 + 8 : at - 46 + 10] = 18;
  }
  test::write_file(dir.file("odd.pptx"), odd);
  EXPECT_EQ(summarize_presentation(dir.file("odd.pptx")).error().to_string(),
            "zip error: Compression method not supported");
  EXPECT_EQ(summarize_slide_at_index(dir.file("odd.pptx"), 0).error().to_string(),
            "zip error: Compression method not supported");
}

TEST_F(PackageSummaries, MalformedSlidesStillSummarise) {
  const std::string path = package(
      {{"ppt/slides/slide1.xml", "<p:sld><p:cSld><p:spTree>" +
                                     text_shape("2", "<a:p><a:r><a:t>ok</a:t></a:r></a:p>") +
                                     "</p:spTree></p:cSld><a:t>late</b></p:sld>"},
       {"ppt/slides/_rels/slide1.xml.rels",
        "<Relationships><Relationship Id=\"rId1\" Type=\"x/notesSlide\" "
        "Target=\"../notesSlides/missing.xml\"/><Relationship Id=\"rId2\" Type=\"x/image\" "
        "Target=\"a.png\" TargetMode=\"External\"/></Wrong>"}});
  const auto slide = summarize_slide_at_index(path, 0);
  ASSERT_TRUE(slide.has_value());
  EXPECT_EQ(slide->texts, (Texts{"ok"}));
  EXPECT_EQ(slide->shapes.size(), 1u);
  EXPECT_TRUE(slide->notes.empty());
  EXPECT_EQ(slide->relationships.size(), 2u);
  ASSERT_EQ(slide->image_relationships.size(), 1u);
  EXPECT_EQ(slide->image_relationships[0].target_mode, "External");
}

// The oracle of the presentation summary: every slide's record held at once, in one list.
struct PresentationRecord {
  std::string path;
  std::uint64_t slide_count = 0;
  std::vector<SlideSummary> slides;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_count", slide_count);
    v.field("slides", slides);
    v.field("has_vba", has_vba);
  }
};

Result<PresentationRecord> presentation_record(const std::string& path) {
  auto archive = PELVANE_TRY(PackageArchive::open_file(path));
  PELVANE_TRY_VOID(check_unique_entry_names(archive));
  PresentationRecord record{.path = path};
  const std::vector<std::string> parts = PELVANE_TRY(slide_parts(archive));
  for (std::uint64_t index = 0; index < archive.entry_count(); ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    record.has_vba |= part_kind(archive.entry_name(index)) == PartKind::Vba;
  }
  for (const std::string& part : parts) {
    record.slides.push_back(PELVANE_TRY(summarize_slide(archive, part)));
  }
  record.slide_count = record.slides.size();
  return record;
}

// The presentation printed slide by slide, each slide written over the one before, must be the
// text of all its records held at once, byte for byte, and fail as they do.
TEST_F(PackageSummaries, PrintedSlideBySlideAsTheRecordPrints) {
  std::vector<std::string> paths = {
      package({{"ppt/presentation.xml", "<p:presentation/>"}}),
      package({{"ppt/slides/slide1.xml", slide_with(text_shape("2",
                                                               "<a:p><a:r><a:t>\"q\"\t</a:t>"
                                                               "</a:r></a:p>"))},
               {"ppt/slides/slide2.xml", slide_with("")},
               {"ppt/vbaProject.bin", "x"}}),
      dir.file("missing.pptx"),
  };
  // A slide that opens but cannot be read (its stored bytes changed under their checksum) fails
  // the summary after the slides before it are written.
  std::string damaged = test::read_file(package({{"ppt/slides/slide1.xml", slide_with("")},
                                                 {"ppt/slides/slide2.xml", slide_with(""),
                                                  /*deflate=*/false}}));
  damaged[damaged.rfind("</p:sld>") + 2] = 'q';
  test::write_file(dir.file("damaged.pptx"), damaged);
  paths.push_back(dir.file("damaged.pptx"));
  // Each slide is written over the summary of the one before: a rich slide followed by poorer
  // ones (fewer shapes, paragraphs and runs, no group, placeholder, transform, formatting,
  // field, break or table) must print nothing of it.
  const std::string rich = slide_with(
      "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"10\" name=\"G\"/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>"
      "<a:off x=\"10\" y=\"20\"/><a:ext cx=\"100\" cy=\"200\"/><a:chOff x=\"0\" y=\"0\"/>"
      "<a:chExt cx=\"50\" cy=\"50\"/></a:xfrm></p:grpSpPr>" +
      text_shape("11",
                 "<a:p><a:r><a:rPr b=\"1\" i=\"0\" u=\"sng\" sz=\"1800\"><a:latin "
                 "typeface=\"Arial\"/></a:rPr><a:t>the first run of a long paragraph</a:t></a:r>"
                 "<a:br/><a:r><a:t>second</a:t></a:r><a:fld id=\"f\"><a:t>7</a:t></a:fld></a:p>"
                 "<a:p/><a:p><a:r><a:t>a third paragraph, longer than a short text</a:t></a:r>"
                 "</a:p>") +
      "</p:grpSp><p:sp><p:nvSpPr><p:cNvPr id=\"3\" name=\"Title\"/><p:nvPr><p:ph "
      "type=\"title\" idx=\"1\"/></p:nvPr></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"1\" y=\"2\"/>"
      "<a:ext cx=\"3\" cy=\"4\"/></a:xfrm></p:spPr><p:txBody><a:p><a:r><a:t>a title that is "
      "long enough</a:t></a:r></a:p></p:txBody></p:sp><p:graphicFrame><p:nvGraphicFramePr>"
      "<p:cNvPr id=\"4\" name=\"T\"/></p:nvGraphicFramePr><a:graphic><a:graphicData><a:tbl>"
      "<a:tr><a:tc><a:txBody><a:p><a:r><a:t>cell</a:t></a:r></a:p></a:txBody></a:tc></a:tr>"
      "</a:tbl></a:graphicData></a:graphic></p:graphicFrame><p:pic><p:nvPicPr><p:cNvPr "
      "id=\"5\" name=\"P\"/></p:nvPicPr><p:blipFill><a:blip r:embed=\"rId2\"/></p:blipFill>"
      "</p:pic><a:t>loose text</a:t>");
  paths.push_back(package({
      {"ppt/slides/slide1.xml", rich},
      {"ppt/slides/slide2.xml", slide_with(text_shape("2", "<a:p><a:r><a:t>x</a:t></a:r></a:p>"))},
      {"ppt/slides/slide3.xml", slide_with("")},
      {"ppt/slides/slide4.xml", rich},
      {"ppt/slides/slide5.xml",
       slide_with("<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"6\"/></p:nvGrpSpPr><p:grpSpPr/>" +
                  text_shape("7",
                             "<a:p/><a:p><a:r><a:t>y</a:t></a:r><a:r><a:t>z</a:t></a:r>"
                             "</a:p>") +
                  "</p:grpSp><p:sp/>")},
  }));
  if (const auto decks = test::decks_dir()) {
    for (const auto& entry : std::filesystem::directory_iterator(*decks)) {
      if (entry.path().extension() == ".pptx" || entry.path().extension() == ".pptm") {
        paths.push_back(entry.path().string());
      }
    }
  }
  for (const std::string& path : paths) {
    const auto record = presentation_record(path);
    const auto summary = summarize_presentation(path);
    const auto text = summary ? to_json(*summary) : std::unexpected(summary.error().to_string());
    ASSERT_EQ(record.has_value(), text.has_value()) << path;
    if (record) {
      EXPECT_EQ(*text, to_json(*record).value()) << path;
    } else if (path.ends_with("damaged.pptx")) {
      EXPECT_EQ(text.error(), "io error: CRC error") << path;
    } else {
      EXPECT_EQ(text.error(), record.error().to_string()) << path;
    }
  }
}

TEST_F(PackageSummaries, PrintsADeckWhoseFirstSlidePrintsFarLargerThanTheRest) {
  // The first slide prints tens of megabytes (its text repeated at every group level), the
  // thousands after it almost nothing: no room is set aside for thousands of first slides.
  std::string nested =
      text_shape("1", "<a:p><a:r><a:t>" + std::string(256 * 1024, 'w') + "</a:t></a:r></a:p>");
  for (int level = 0; level < 40; ++level) {
    nested = "<p:grpSp><p:nvGrpSpPr/><p:grpSpPr></p:grpSpPr>" + nested + "</p:grpSp>";
  }
  std::vector<test::ZipEntry> entries = {{"ppt/slides/slide1.xml", slide_with(nested)}};
  for (int i = 2; i <= 4000; ++i) {
    entries.push_back({"ppt/slides/slide" + std::to_string(i) + ".xml", slide_with("")});
  }
  const auto summary = summarize_presentation(package(std::move(entries)));
  ASSERT_TRUE(summary.has_value()) << summary.error().to_string();
  const auto text = to_json(*summary);
  ASSERT_TRUE(text.has_value()) << text.error();
  EXPECT_TRUE(text->ends_with("\n  ],\n  \"has_vba\": false\n}"));
  EXPECT_NE(text->find("\"part\": \"ppt/slides/slide4000.xml\""), std::string::npos);
}

}  // namespace
}  // namespace pelvane
