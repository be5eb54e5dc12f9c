// The parts of a new slide, and placeholder shapes built or read from layouts.
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/slides/xml_placeholder_builders.hpp"
#include "core/slides/xml_slide_builders.hpp"

namespace pelvane {
namespace {

TEST(NewSlideParts, AreTheFixedTemplatesByteForByte) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
      "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">\n"
      "  <p:cSld>\n"
      "    <p:spTree>\n"
      "      <p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>\n"
      "      <p:grpSpPr/>\n"
      "      ";
  const std::string tail =
      "\n"
      "    </p:spTree>\n"
      "  </p:cSld>\n"
      "  <p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>\n"
      "</p:sld>\n";
  EXPECT_EQ(blank_slide_xml(""), head + tail);
  EXPECT_EQ(blank_slide_xml("<p:sp>1</p:sp><p:sp>2</p:sp>"),
            head + "<p:sp>1</p:sp><p:sp>2</p:sp>" + tail);

  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout\" "
      "Target=\"{}\"/></Relationships>\n";
  const auto with_target = [&](std::string_view target) {
    std::string text = rels;
    return text.replace(text.find("{}"), 2, target);
  };
  EXPECT_EQ(slide_layout_rels_xml("../slideLayouts/slideLayout2.xml"),
            with_target("../slideLayouts/slideLayout2.xml"));
  // A target read back from a relationship holding "&amp;" stays well-formed.
  EXPECT_EQ(slide_layout_rels_xml("../slideLayouts/a&b.xml"),
            with_target("../slideLayouts/a&amp;b.xml"));
}

// A layout placeholder as layouts write it: id, name, locks, ph, shape properties, prompt text.
std::string layout_shape(int id, std::string_view name, std::string_view ph) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + std::string(name) +
         "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr>" + std::string(ph) +
         "</p:nvPr></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"1\" y=\"2\"/><a:ext cx=\"3\" "
         "cy=\"4\"/></a:xfrm></p:spPr><p:txBody><a:bodyPr anchor=\"b\"/><a:lstStyle><a:lvl1pPr/>"
         "</a:lstStyle><a:p><a:r><a:t>Click to edit</a:t></a:r></a:p></p:txBody></p:sp>";
}

std::string emptied(int id, std::string_view name, std::string_view ph) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + std::string(name) +
         "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr>" + std::string(ph) +
         "</p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p/></p:txBody>"
         "</p:sp>";
}

// Title, body, a shape with attributes on its start tag, a picture, a plain shape without a
// placeholder, date, footer and slide number.
const std::string kLayout =
    "<p:sldLayout><p:cSld><p:spTree>" + layout_shape(2, "Title 1", "<p:ph type=\"title\"/>") +
    layout_shape(3, "Text 2", "<p:ph type=\"body\" orient=\"vert\" sz=\"half\" idx=\"1\"/>") +
    "<p:sp attr=\"x\"><p:nvSpPr><p:cNvPr id=\"4\" name=\"Skipped\"/><p:cNvSpPr/><p:nvPr>"
    "<p:ph type=\"pic\" idx=\"9\"/></p:nvPr></p:nvSpPr><p:spPr/></p:sp>" +
    layout_shape(5, "Note", "") + layout_shape(6, "Date 5", "<p:ph type=\"dt\" sz=\"half\"/>") +
    layout_shape(7, "Footer 6", "<p:ph type=\"ftr\" sz=\"quarter\" idx=\"11\"/>") +
    layout_shape(8, "Number 7", "<p:ph type=\"sldNum\" idx=\"12\"/>") +
    layout_shape(9, "Picture 8", "<p:ph type=\"pic\" idx=\"13\" hasCustomPrompt=\"1\"/>") +
    "</p:spTree></p:cSld></p:sldLayout>";

TEST(LayoutPlaceholders, EmptiedBlocksAndSpecificationsLeaveOutFootersAndAttributedShapes) {
  EXPECT_EQ(extract_placeholder_shape_blocks(kLayout),
            (std::vector<std::string>{
                emptied(2, "Title 1", "<p:ph type=\"title\"/>"),
                emptied(3, "Text 2", "<p:ph type=\"body\" orient=\"vert\" sz=\"half\" idx=\"1\"/>"),
                emptied(9, "Picture 8", "<p:ph type=\"pic\" idx=\"13\" hasCustomPrompt=\"1\"/>"),
            }));
  EXPECT_EQ(placeholder_specs_from_layout_xml(kLayout),
            (std::vector<PlaceholderShapeSpec>{
                {"title", std::nullopt, std::nullopt, std::nullopt},
                {"body", "vert", "half", "1"},
                {"pic", std::nullopt, std::nullopt, "13"},
            }));
  EXPECT_TRUE(extract_placeholder_shape_blocks("<p:sldLayout/>").empty());
  // A block that is never closed ends the scan.
  EXPECT_TRUE(placeholder_specs_from_layout_xml("<p:sp><p:ph type=\"title\"/>").empty());
}

TEST(PlaceholderNames, FollowTheTypeTableAndTheVerticalOrientation) {
  const struct {
    std::optional<std::string_view> type, orient;
    std::string_view base;
  } cases[] = {
      {"title", std::nullopt, "Title"},
      {"ctrTitle", "horz", "Title"},
      {"subTitle", std::nullopt, "Subtitle"},
      {"body", "vert", "Vertical Text Placeholder"},
      {"dt", std::nullopt, "Date Placeholder"},
      {"ftr", std::nullopt, "Footer Placeholder"},
      {"sldNum", std::nullopt, "Slide Number Placeholder"},
      {"sldImg", std::nullopt, "Image Placeholder"},
      {"pic", std::nullopt, "Picture Placeholder"},
      {"media", std::nullopt, "Media Placeholder"},
      {"chart", std::nullopt, "Chart Placeholder"},
      {"clipArt", std::nullopt, "ClipArt Placeholder"},
      {"dgm", "vert", "Vertical SmartArt Placeholder"},
      {"tbl", "Vert", "Table Placeholder"},
      {"obj", std::nullopt, "Content Placeholder"},
      {"", std::nullopt, "Content Placeholder"},
      {std::nullopt, "vert", "Vertical Content Placeholder"},
      {"Title", std::nullopt, "Content Placeholder"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(placeholder_base_name(c.type, c.orient), c.base) << c.type.value_or("(none)");
}

TEST(PlaceholderShape, WritesOnlyAttributesThatDifferFromTheirDefaults) {
  const std::string head =
      "<p:sp><p:nvSpPr><p:cNvPr id=\"4\" name=\"A &amp; &quot;B&quot;\"/><p:cNvSpPr><a:spLocks "
      "noGrp=\"1\"/></p:cNvSpPr><p:nvPr><p:ph";
  const std::string tail =
      "/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p/></p:txBody></p:sp>";
  const struct {
    PlaceholderShapeSpec spec;
    std::string_view attributes;
  } cases[] = {
      {{}, ""},
      {{"", "", "", ""}, ""},
      {{"obj", "horz", "full", "0"}, ""},
      {{"body", "vert", "half", "1"}, " type=\"body\" orient=\"vert\" sz=\"half\" idx=\"1\""},
      {{std::nullopt, std::nullopt, "quarter", "10"}, " sz=\"quarter\" idx=\"10\""},
      {{"Obj", "Horz", "Full", "00"}, " type=\"Obj\" orient=\"Horz\" sz=\"Full\" idx=\"00\""},
      {{"a\"b", std::nullopt, std::nullopt, "1&2<3>'"},
       " type=\"a&quot;b\" idx=\"1&amp;2&lt;3&gt;'\""},
  };
  for (const auto& c : cases) {
    auto xml = placeholder_shape_xml(4, "A & \"B\"", c.spec);
    ASSERT_TRUE(xml) << c.attributes;
    EXPECT_EQ(*xml, head + std::string(c.attributes) + tail);
  }
  auto refused = placeholder_shape_xml(4, "x", {"ti\x01tle", {}, {}, {}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().to_string(),
            "invalid input: text contains a character that XML cannot hold: U+0001");
}

constexpr std::string_view kSlideHead =
    "<p:sld><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/>"
    "</p:nvGrpSpPr><p:grpSpPr/>";

std::string slide(std::string_view shapes) {
  return std::string(kSlideHead) + std::string(shapes) + "</p:spTree></p:cSld></p:sld>";
}

std::string named(int id, std::string_view name) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + std::string(name) +
         "\"/></p:nvSpPr></p:sp>";
}

TEST(PlaceholderOnSlide, NamesTheShapePastUsedNames) {
  const PlaceholderShapeSpec title{"title", {}, {}, {}};
  EXPECT_EQ(placeholder_shape_name(slide(named(3, "Box")), 4, title), "Title 3");
  EXPECT_EQ(placeholder_shape_name(slide(named(3, "Title 3")), 4, title), "Title 4");
  EXPECT_EQ(placeholder_shape_name(slide(named(3, "Title 3") + named(2, "Title 4")), 4, title),
            "Title 5");
  EXPECT_EQ(placeholder_shape_name(slide(named(3, "Title 5")), 4, title), "Title 3");
  EXPECT_EQ(placeholder_shape_name(slide(""), 0, title), "Title 0");
}

}  // namespace
}  // namespace pelvane
