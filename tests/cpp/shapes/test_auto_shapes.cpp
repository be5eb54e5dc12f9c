// Auto-shape and text-box fragments: the preset table and the exact XML written.
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "core/shapes/xml_auto_shape_builders.hpp"
#include "core/shapes/xml_text_box_builders.hpp"

namespace pelvane {
namespace {

TEST(AutoShapePresets, DisplayNamesAndRefusals) {
  const std::pair<std::string_view, std::string_view> accepted[] = {
      {"rect", "Rectangle"},
      {"ellipse", "Oval"},
      {"homePlate", "Pentagon"},
      {"plus", "Cross"},
      {"star5", "5-Point Star"},
      {"borderCallout2", "Line Callout 2"},
      {"flowChartInputOutput", "Flowchart Data"},
      {"flowChartOfflineStorage", "Flowchart Offline Storage"},
      {"star4", "Auto Shape"},
      {"arc", "Arc"},
      {"sun", "Auto Shape"},
      {"flowChartPredefinedProcess", "Auto Shape"},
      {"chartPlus", "Auto Shape"},
      {"lineInv", "Auto Shape"},
  };
  for (auto [preset, display] : accepted) {
    auto name = auto_shape_display_name(preset);
    ASSERT_TRUE(name.has_value()) << preset;
    EXPECT_EQ(*name, display);
  }
  const std::string_view refused[] = {
      "",
      "Rect",
      "rect ",
      " rect",
      "RECT",
      "line",
      "straightConnector1",
      "bentConnector3",
      "curvedConnector5",
      "ar",
      "flowChartPredefinedProcessX",
      std::string_view("rect\0", 5),
  };
  for (std::string_view preset : refused) {
    auto name = auto_shape_display_name(preset);
    ASSERT_FALSE(name.has_value()) << preset;
    EXPECT_EQ(name.error().to_string(),
              "invalid input: unsupported auto shape preset geometry: " + std::string(preset));
  }
}

constexpr std::string_view kStyle =
    "<p:style><a:lnRef idx=\"1\"><a:schemeClr val=\"accent1\"/></a:lnRef><a:fillRef idx=\"3\">"
    "<a:schemeClr val=\"accent1\"/></a:fillRef><a:effectRef idx=\"2\"><a:schemeClr "
    "val=\"accent1\"/></a:effectRef><a:fontRef idx=\"minor\"><a:schemeClr val=\"lt1\"/>"
    "</a:fontRef></p:style>";

TEST(AutoShapeFragment, WithoutTextOrGuides) {
  AutoShapeArgs args;
  args.preset_geometry = "rect";
  args.box.x = 1;
  args.box.y = 2;
  args.box.cx = 18446744073709551615ull;
  args.box.cy = 0;
  auto xml = auto_shape_xml(8, "Rectangle", args);
  ASSERT_TRUE(xml.has_value());
  EXPECT_EQ(*xml,
            "<p:sp><p:nvSpPr><p:cNvPr id=\"8\" name=\"Rectangle 7\"/><p:cNvSpPr/><p:nvPr/>"
            "</p:nvSpPr><p:spPr><a:xfrm><a:off x=\"1\" y=\"2\"/><a:ext "
            "cx=\"18446744073709551615\" cy=\"0\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst>"
            "</a:avLst></a:prstGeom></p:spPr>" +
                std::string(kStyle) +
                "<p:txBody><a:bodyPr rtlCol=\"0\" anchor=\"ctr\"/><a:lstStyle/><a:p><a:pPr "
                "algn=\"ctr\"/></a:p></p:txBody></p:sp>");
}

TEST(AutoShapeFragment, TextBecomesParagraphsAndGuidesKeepTheirOrder) {
  std::vector<AdjustmentGuide> guides{{"adj", 25000}, {"adj2", -5}};
  AutoShapeArgs args;
  args.preset_geometry = "roundRect";
  args.text = "a & b\nc";
  args.adjustment_guides = guides;
  auto xml = auto_shape_xml(0, "Rounded Rectangle", args);
  ASSERT_TRUE(xml.has_value());
  EXPECT_NE(xml->find("<p:cNvPr id=\"0\" name=\"Rounded Rectangle 0\"/>"), std::string::npos);
  EXPECT_NE(xml->find("<a:prstGeom prst=\"roundRect\"><a:avLst><a:gd name=\"adj\" "
                      "fmla=\"val 25000\"/><a:gd name=\"adj2\" fmla=\"val -5\"/></a:avLst>"),
            std::string::npos);
  EXPECT_TRUE(xml->ends_with(
      "<a:lstStyle/><a:p><a:r><a:t>a &amp; b</a:t></a:r></a:p><a:p><a:r><a:t>c</a:t></a:r>"
      "</a:p></p:txBody></p:sp>"));

  args.text = "";
  args.adjustment_guides = {};
  EXPECT_TRUE(auto_shape_xml(3, "x", args)
                  ->ends_with("<a:lstStyle/><a:p><a:r><a:t></a:t></a:r></a:p></p:txBody></p:sp>"));
}

TEST(AutoShapeFragment, GuideNamesAreEscapedForTheAttribute) {
  std::vector<AdjustmentGuide> guides{{"a\"<&>'", 1}};
  EXPECT_EQ(adjustment_guides_xml(guides), "<a:gd name=\"a&quot;&lt;&amp;&gt;'\" fmla=\"val 1\"/>");
  EXPECT_EQ(adjustment_guides_xml({}), "");
}

TEST(AutoShapeFragment, RefusesAPresetOutsideTheTable) {
  AutoShapeArgs args;
  args.preset_geometry = "line";
  auto xml = auto_shape_xml(2, "Rectangle", args);
  ASSERT_FALSE(xml.has_value());
  EXPECT_EQ(xml.error().message(), "unsupported auto shape preset geometry: line");
}

TEST(TextBoxFragment, ExactTemplate) {
  TextBoxArgs args;
  args.box.x = 10;
  args.box.y = 20;
  args.box.cx = 30;
  args.box.cy = 40;
  auto xml = text_box_shape_xml(5, args);
  ASSERT_TRUE(xml.has_value());
  EXPECT_EQ(*xml,
            "<p:sp><p:nvSpPr><p:cNvPr id=\"5\" name=\"TextBox 4\"/><p:cNvSpPr txBox=\"1\"/>"
            "<p:nvPr/></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"10\" y=\"20\"/><a:ext cx=\"30\" "
            "cy=\"40\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/>"
            "</p:spPr><p:txBody><a:bodyPr wrap=\"none\"><a:spAutoFit/></a:bodyPr><a:lstStyle/>"
            "<a:p/></p:txBody></p:sp>");

  args.text = "<x>\n\n'y\"";
  EXPECT_TRUE(text_box_shape_xml(1, args)->ends_with(
      "<a:lstStyle/><a:p><a:r><a:t>&lt;x&gt;</a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>"
      "<a:p><a:r><a:t>&apos;y&quot;</a:t></a:r></a:p></p:txBody></p:sp>"));
  EXPECT_NE(text_box_shape_xml(1, args)->find("name=\"TextBox 0\""), std::string::npos);
}

TEST(ShapeFragments, RefuseTextXmlCannotHold) {
  TextBoxArgs box;
  box.text = std::string_view(
      "a\x01"
      "b");
  auto text_box = text_box_shape_xml(2, box);
  ASSERT_FALSE(text_box.has_value());
  EXPECT_EQ(text_box.error().to_string(),
            "invalid input: text contains a character that XML cannot hold: U+0001");

  AutoShapeArgs shape;
  shape.preset_geometry = "rect";
  shape.text = "ok\xEF\xBF\xBE";  // U+FFFE
  auto auto_shape = auto_shape_xml(2, "Rectangle", shape);
  ASSERT_FALSE(auto_shape.has_value());
  EXPECT_EQ(auto_shape.error().message(), "text contains a character that XML cannot hold: U+FFFE");

  // Guide names are caller text written into an attribute: the same rule holds for them.
  const AdjustmentGuide guides[] = {{"adj", 1}, {"a\x1F", 2}};
  shape.text = std::nullopt;
  shape.adjustment_guides = guides;
  auto with_guides = auto_shape_xml(2, "Rectangle", shape);
  ASSERT_FALSE(with_guides.has_value());
  EXPECT_EQ(with_guides.error().message(),
            "text contains a character that XML cannot hold: U+001F");
}

}  // namespace
}  // namespace pelvane
