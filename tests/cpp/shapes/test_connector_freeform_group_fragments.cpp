// Connector, freeform and empty-group fragments: the exact XML written, compared with the
// templates filled in here by hand.
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/shapes/xml_connector_builders.hpp"
#include "core/shapes/xml_freeform_builders.hpp"
#include "core/shapes/xml_group_builders.hpp"

namespace pelvane {
namespace {

// `pattern` with each "{i}" replaced by the i-th value.
std::string fill(std::string pattern, std::initializer_list<std::string_view> values) {
  std::size_t i = 0;
  for (std::string_view value : values) {
    const std::string key = "{" + std::to_string(i++) + "}";
    for (std::size_t at = pattern.find(key); at != std::string::npos; at = pattern.find(key, at)) {
      pattern.replace(at, key.size(), value);
      at += value.size();
    }
  }
  return pattern;
}

constexpr std::string_view kConnectorTemplate =
    "<p:cxnSp><p:nvCxnSpPr><p:cNvPr id=\"{0}\" name=\"Connector {1}\"/>{2}<p:nvPr/>"
    "</p:nvCxnSpPr><p:spPr><a:xfrm{3}><a:off x=\"{4}\" y=\"{5}\"/><a:ext cx=\"{6}\" cy=\"{7}\"/>"
    "</a:xfrm><a:prstGeom prst=\"{8}\"><a:avLst/></a:prstGeom></p:spPr><p:style><a:lnRef "
    "idx=\"2\"><a:schemeClr val=\"accent1\"/></a:lnRef><a:fillRef idx=\"0\"><a:schemeClr "
    "val=\"accent1\"/></a:fillRef><a:effectRef idx=\"1\"><a:schemeClr val=\"accent1\"/>"
    "</a:effectRef><a:fontRef idx=\"minor\"><a:schemeClr val=\"tx1\"/></a:fontRef></p:style>"
    "</p:cxnSp>";

constexpr std::string_view kShapeStyle =
    "<p:style><a:lnRef idx=\"1\"><a:schemeClr val=\"accent1\"/></a:lnRef><a:fillRef idx=\"3\">"
    "<a:schemeClr val=\"accent1\"/></a:fillRef><a:effectRef idx=\"2\"><a:schemeClr "
    "val=\"accent1\"/></a:effectRef><a:fontRef idx=\"minor\"><a:schemeClr val=\"lt1\"/>"
    "</a:fontRef></p:style>";

constexpr std::string_view kEmptyGroupTemplate =
    "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"{0}\" name=\"Group {1}\"/><p:cNvGrpSpPr/><p:nvPr/>"
    "</p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/>"
    "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/></a:xfrm></p:grpSpPr>{2}</p:grpSp>";

std::string freeform(std::string_view head, std::string_view path, std::string_view body) {
  return fill(
      "<p:sp><p:nvSpPr><p:cNvPr id=\"3\" name=\"Freeform 2\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr>"
      "<p:spPr>{0}<a:custGeom><a:avLst/><a:gdLst/><a:ahLst/><a:cxnLst/><a:rect l=\"l\" t=\"t\" "
      "r=\"r\" b=\"b\"/><a:pathLst>{1}</a:pathLst></a:custGeom></p:spPr>{3}<p:txBody><a:bodyPr "
      "rtlCol=\"0\" anchor=\"ctr\"/><a:lstStyle/>{2}</p:txBody></p:sp>",
      {head, path, body, kShapeStyle});
}

TEST(FreeformFragment, ExactTemplate) {
  using Step = FreeformPathOperation;
  const std::vector<Step> path{Step::move_to(-1, -2), Step::line_to(3, -4), Step::close()};
  const std::vector<Step> only_close{Step::close()};
  const std::string head =
      "<a:xfrm><a:off x=\"-10\" y=\"20\"/><a:ext cx=\"300\" cy=\"-400\"/></a:xfrm>";
  const std::string steps =
      "<a:path w=\"-5\" h=\"6\"><a:moveTo><a:pt x=\"-1\" y=\"-2\"/></a:moveTo><a:lnTo><a:pt "
      "x=\"3\" y=\"-4\"/></a:lnTo><a:close/></a:path>";
  struct Case {
    std::vector<Step> operations;
    std::optional<std::string_view> text;
    std::string path;
    std::string body;
  };
  const Case cases[] = {
      {path, std::nullopt, steps, "<a:p><a:pPr algn=\"ctr\"/></a:p>"},
      {path, "", steps, "<a:p><a:r><a:t></a:t></a:r></a:p>"},
      {path, "a<\nb", steps,
       "<a:p><a:r><a:t>a&lt;</a:t></a:r></a:p><a:p><a:r><a:t>b</a:t></a:r></a:p>"},
      {only_close, std::nullopt, "<a:path w=\"-5\" h=\"6\"><a:close/></a:path>",
       "<a:p><a:pPr algn=\"ctr\"/></a:p>"},
  };
  for (const Case& c : cases) {
    auto xml =
        freeform_shape_xml(3, FreeformArgs{{-10, 20, 300, -400}, -5, 6, c.operations, c.text});
    ASSERT_TRUE(xml.has_value()) << xml.error().to_string();
    EXPECT_EQ(*xml, freeform(head, c.path, c.body));
  }
}

TEST(FreeformFragment, EmptyPathIsRefused) {
  auto empty = freeform_shape_xml(1, FreeformArgs{});
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().to_string(),
            "invalid input: freeform shape requires at least one path operation");
}

TEST(ConnectorFragment, BoxFlipsAndGlue) {
  constexpr std::uint64_t kMax = 18446744073709551615ull;
  const std::string none = "<p:cNvCxnSpPr/>";
  struct Case {
    std::uint64_t bx, by, ex, ey;
    std::optional<ConnectorEnd> begin, end;
    std::string_view flips;
    std::string off_x, off_y, cx, cy;
    std::string glue;
  };
  const Case cases[] = {
      {10, 20, 30, 50, {}, {}, "", "10", "20", "20", "30", none},
      {30, 20, 10, 50, {}, {}, " flipH=\"1\"", "10", "20", "20", "30", none},
      {10, 50, 30, 20, {}, {}, " flipV=\"1\"", "10", "20", "20", "30", none},
      {30, 50, 10, 20, {}, {}, " flipH=\"1\" flipV=\"1\"", "10", "20", "20", "30", none},
      {7, 7, 7, 7, {}, {}, "", "7", "7", "0", "0", none},
      {kMax,
       0,
       0,
       kMax,
       {},
       {},
       " flipH=\"1\"",
       "0",
       "0",
       std::to_string(kMax),
       std::to_string(kMax),
       none},
      {1,
       2,
       3,
       4,
       ConnectorEnd{5, 2},
       {},
       "",
       "1",
       "2",
       "2",
       "2",
       "<p:cNvCxnSpPr><a:stCxn id=\"5\" idx=\"2\"/></p:cNvCxnSpPr>"},
      {1,
       2,
       3,
       4,
       {},
       ConnectorEnd{6, 1},
       "",
       "1",
       "2",
       "2",
       "2",
       "<p:cNvCxnSpPr><a:endCxn id=\"6\" idx=\"1\"/></p:cNvCxnSpPr>"},
      {1, 2, 3, 4, ConnectorEnd{5, 2}, ConnectorEnd{6, 1}, "", "1", "2", "2", "2",
       "<p:cNvCxnSpPr><a:stCxn id=\"5\" idx=\"2\"/><a:endCxn id=\"6\" idx=\"1\"/></p:cNvCxnSpPr>"},
  };
  for (const Case& c : cases) {
    auto xml = connector_shape_xml(
        4, ConnectorArgs{"bentConnector3", {c.bx, c.by}, {c.ex, c.ey}, c.begin, c.end});
    ASSERT_TRUE(xml.has_value());
    EXPECT_EQ(*xml, fill(std::string(kConnectorTemplate), {"4", "3", c.glue, c.flips, c.off_x,
                                                           c.off_y, c.cx, c.cy, "bentConnector3"}));
  }
  // A slide without ids gives id 1, named 0 less one (clamped).
  EXPECT_NE(connector_shape_xml(0, ConnectorArgs{"line"})->find("id=\"0\" name=\"Connector 0\""),
            std::string::npos);
}

TEST(ConnectorFragment, EndsAreGluedOnlyWithAShapeId) {
  EXPECT_FALSE(connector_end(std::nullopt, 3).has_value());
  auto glued = connector_end(9, std::nullopt);
  ASSERT_TRUE(glued.has_value());
  EXPECT_EQ(glued->shape_id, 9u);
  EXPECT_EQ(glued->site_index, 0u);
  EXPECT_EQ(connector_end(9, 4)->site_index, 4u);
}

TEST(ConnectorPresets, OnlyTheThreeConnectorWords) {
  for (std::string_view preset : {"line", "bentConnector3", "curvedConnector3"}) {
    EXPECT_EQ(connector_preset_geometry(preset), std::string_view("Connector"));
  }
  for (std::string_view preset :
       {"Line", "straightConnector1", "bentConnector2", "curvedConnector4", "", "rect"}) {
    auto refused = connector_preset_geometry(preset);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().to_string(),
              "invalid input: unsupported connector preset geometry: " + std::string(preset));
    EXPECT_FALSE(connector_shape_xml(2, ConnectorArgs{preset}).has_value());
  }
}

TEST(ConnectorFragment, TwoAutoShapesThenTheConnectorGluedToThem) {
  ConnectedShapesArgs args{
      AutoShapeArgs{"rect", {1, 2, 3, 4}, std::nullopt, {}},
      AutoShapeArgs{"ellipse", {5, 6, 7, 8}, std::nullopt, {}},
      ConnectorArgs{"curvedConnector3", {4, 4}, {5, 6}, std::nullopt, std::nullopt}, 3, 1};
  auto auto_shape = [](std::string_view id, std::string_view name, std::string_view preset,
                       std::string_view box) {
    return fill(
        "<p:sp><p:nvSpPr><p:cNvPr id=\"{0}\" name=\"{1}\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr>"
        "<p:spPr><a:xfrm>{3}</a:xfrm><a:prstGeom prst=\"{2}\"><a:avLst></a:avLst></a:prstGeom>"
        "</p:spPr>{4}<p:txBody><a:bodyPr rtlCol=\"0\" anchor=\"ctr\"/><a:lstStyle/><a:p><a:pPr "
        "algn=\"ctr\"/></a:p></p:txBody></p:sp>",
        {id, name, preset, box, kShapeStyle});
  };
  const std::string expected =
      auto_shape("8", "Rectangle 7", "rect", "<a:off x=\"1\" y=\"2\"/><a:ext cx=\"3\" cy=\"4\"/>") +
      auto_shape("9", "Oval 8", "ellipse", "<a:off x=\"5\" y=\"6\"/><a:ext cx=\"7\" cy=\"8\"/>") +
      fill(std::string(kConnectorTemplate),
           {"10", "9",
            "<p:cNvCxnSpPr><a:stCxn id=\"8\" idx=\"3\"/><a:endCxn id=\"9\" idx=\"1\"/>"
            "</p:cNvCxnSpPr>",
            "", "4", "4", "1", "2", "curvedConnector3"});
  EXPECT_EQ(connected_connector_with_auto_shapes_xml(8, args).value(), expected);

  // The presets are checked begin shape, end shape, then connector.
  args.connector.preset_geometry = "Line";
  EXPECT_EQ(connected_connector_with_auto_shapes_xml(8, args).error().message(),
            "unsupported connector preset geometry: Line");
  args.end_shape.preset_geometry = "oval";
  EXPECT_EQ(connected_connector_with_auto_shapes_xml(8, args).error().message(),
            "unsupported auto shape preset geometry: oval");
}

TEST(GroupFragments, EmptyGroup) {
  EXPECT_EQ(empty_group_shape_xml(1), fill(std::string(kEmptyGroupTemplate), {"1", "0", ""}));
  EXPECT_EQ(empty_group_shape_xml(0), fill(std::string(kEmptyGroupTemplate), {"0", "0", ""}));
}

}  // namespace
}  // namespace pelvane
