// Shape ids, group lookup by index at every depth, and where fragments are spliced.
#include <gtest/gtest.h>
#include <string>
#include <string_view>

#include "core/pml/shape_tree.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {
namespace {

std::string shape(std::string_view tag, int id) {
  std::string body;
  if (tag == "p:sp")
    body = "<p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"s\"/></p:nvSpPr>";
  else
    body = "<p:nvX><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"x\"/></p:nvX>";
  return "<" + std::string(tag) + ">" + body + "</" + std::string(tag) + ">";
}

std::string group(int id, std::string_view children) {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"g\"/></p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x=\"1\" y=\"2\"/>"
         "<a:ext cx=\"3\" cy=\"4\"/><a:chOff x=\"5\" y=\"6\"/><a:chExt cx=\"7\" cy=\"8\"/></a:xfrm>"
         "</p:grpSpPr>" +
         std::string(children) + "</p:grpSp>";
}

std::string slide(std::string_view shapes) {
  return "<p:sld><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/></p:nvGrpSpPr>"
         "<p:grpSpPr/>" +
         std::string(shapes) + "</p:spTree></p:cSld></p:sld>";
}

// Top level: a picture, a table frame and a connector before the first group (none of them
// counts as a group), group 0 holding [picture, shape, group N], group 1, then a shape.
// Group N holds [shape, group D, picture]; group D holds one shape.
const std::string kDeepest = group(40, shape("p:sp", 41));
const std::string kNested = group(30, shape("p:sp", 31) + kDeepest + shape("p:pic", 32));
const std::string kGroup0 = group(20, shape("p:pic", 21) + shape("p:sp", 22) + kNested);
const std::string kGroup1 = group(50, shape("p:sp", 51));
const std::string kSlide = slide(shape("p:pic", 2) + shape("p:graphicFrame", 3) +
                                 shape("p:cxnSp", 4) + kGroup0 + kGroup1 + shape("p:sp", 60));

std::size_t closing_tag_of(std::string_view element) {
  std::size_t start = kSlide.find(element);
  EXPECT_NE(start, std::string::npos);
  return start + element.size() - std::string_view("</p:grpSp>").size();
}

TEST(MaxCnvPrId, ReadsOnlyUnsignedDecimals) {
  struct Case {
    std::string_view xml;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {"<p:spTree/>", 0},
      {R"(<p:cNvPr id="7" name="a"/><p:cNvPr id="3"/>)", 7},
      {R"(<p:cNvPr id="+12"/>)", 12},
      {R"(<p:cNvPr id="-40"/><p:cNvPr id="5"/>)", 5},
      {R"(<p:cNvPr id=""/><p:cNvPr id="+"/><p:cNvPr id=" 9"/><p:cNvPr id="9 "/>)", 0},
      {R"(<p:cNvPr id="0x10"/><p:cNvPr id="1e3"/><p:cNvPr id="4"/>)", 4},
      {R"(<p:cNvPr id="18446744073709551615"/>)", 18446744073709551615ull},
      {R"(<p:cNvPr id="18446744073709551616"/><p:cNvPr id="100000000000000000000"/><p:cNvPr id="2"/>)",
       2},
      // Only the attribute named `id` counts, in either quote, and never a value that holds it;
      // a reference stands for its character; comments are not markup.
      {R"(<p:cNvPr xid="90" id="2"/>)", 2},
      {R"(<p:cNvPr descr="a>b id=&quot;9&quot;" id='3'/><p:cNvPr id="&#52;"/>)", 4},
      {R"(<!-- <p:cNvPr id="70"/> --><p:cNvPr id="5"/>)", 5},
      // Every depth counts: groups, frames, both branches of alternate content.
      {R"(<p:grpSp><p:cNvPr id="3"/><p:graphicFrame><p:cNvPr id="11"/></p:graphicFrame></p:grpSp>)"
       R"(<mc:AlternateContent><mc:Choice><p:cNvPr id="13"/></mc:Choice>)"
       R"(<mc:Fallback><p:cNvPr id="12"/></mc:Fallback></mc:AlternateContent>)",
       13},
      // Picture and group non-visual properties are other elements.
      {R"(<p:cNvPicPr id="99"/><p:cNvGrpSpPr id="98"/>)", 0},
      // A tag that never closes ends the scan.
      {R"(<p:cNvPr id="8"/><p:cNvPr id="9")", 8},
  };
  for (const Case& c : cases) EXPECT_EQ(max_cnvpr_id(c.xml), c.expected) << c.xml;
}

TEST(NextShapeId, RefusesIdsThatWouldNotFit) {
  EXPECT_EQ(next_shape_id("<p:spTree/>"), 1u);
  EXPECT_EQ(next_shape_id(R"(<p:cNvPr id="18446744073709551613"/>)"), 18446744073709551614ull);
  for (std::string_view xml :
       {R"(<p:cNvPr id="18446744073709551614"/>)", R"(<p:cNvPr id="18446744073709551615"/>)"}) {
    auto id = next_shape_id(xml);
    ASSERT_FALSE(id.has_value()) << xml;
    EXPECT_EQ(id.error().to_string(), "invalid input: shape id space is exhausted");
  }
  // Three new shapes at once need room for the third.
  EXPECT_EQ(next_shape_id(R"(<p:cNvPr id="18446744073709551612"/>)", 3), 18446744073709551613ull);
  EXPECT_FALSE(next_shape_id(R"(<p:cNvPr id="18446744073709551613"/>)", 3).has_value());
}

TEST(ShapeIdFromEvent, ReadsCnvPrUnderAnyPrefix) {
  auto first_tag_id = [](std::string_view xml) -> std::optional<std::uint64_t> {
    XmlReader reader(xml);
    for (;;) {
      auto event = reader.next();
      if (!event || event->is_eof()) return std::nullopt;
      if (event->is_tag()) return extract_shape_id_from_event(*event);
    }
  };
  EXPECT_EQ(first_tag_id(R"(<x:cNvPr name="a" id="12"/>)"), 12u);
  EXPECT_EQ(first_tag_id(R"(<cNvPr id="+3"></cNvPr>)"), 3u);
  EXPECT_EQ(first_tag_id(R"(<p:cNvPr id="&#52;&#x32;"/>)"), 42u);
  EXPECT_EQ(first_tag_id(R"(<p:cNvPicPr id="5"/>)"), std::nullopt);
  EXPECT_EQ(first_tag_id(R"(<p:cNvPr id="-5"/>)"), std::nullopt);
  EXPECT_TRUE(is_shape_element_name("graphicFrame"));
  EXPECT_FALSE(is_shape_element_name("spTree"));
}

TEST(GroupLookup, CountsOnlyTopLevelGroups) {
  auto g0 = top_level_group_bounds(kSlide, 0);
  ASSERT_TRUE(g0.has_value());
  EXPECT_EQ(g0->in(kSlide), kGroup0);
  auto g1 = top_level_group_bounds(kSlide, 1);
  ASSERT_TRUE(g1.has_value());
  EXPECT_EQ(g1->in(kSlide), kGroup1);
  auto g2 = top_level_group_bounds(kSlide, 2);
  ASSERT_FALSE(g2.has_value());
  EXPECT_EQ(g2.error().to_string(), "invalid input: group shape index 2 was not found");
  EXPECT_EQ(top_level_group_bounds(slide(shape("p:sp", 2)), 0).error().message(),
            "group shape index 0 was not found");
}

TEST(GroupLookup, ChildrenOfAGroupCountEveryShapeKind) {
  auto child = direct_group_child_bounds(kGroup0, 2);
  ASSERT_TRUE(child.has_value());
  EXPECT_EQ(child->tag, "p:grpSp");
  EXPECT_EQ(child->range.in(kGroup0), kNested);
  EXPECT_EQ(direct_group_child_bounds(kGroup0, 0)->tag, "p:pic");
  EXPECT_FALSE(direct_group_child_bounds(kGroup0, 3).has_value());
  EXPECT_FALSE(direct_group_child_bounds("<p:grpSp></p:grpSp>", 0).has_value());

  // Group properties written empty: the children still count from the first one, and the end
  // tag of a child group's properties is not taken for the group's own.
  const std::string empty_properties =
      "<p:grpSp><p:nvGrpSpPr/><p:grpSpPr/>" + shape("p:sp", 2) + kDeepest + "</p:grpSp>";
  EXPECT_EQ(direct_group_child_bounds(empty_properties, 0)->tag, "p:sp");
  EXPECT_EQ(direct_group_child_bounds(empty_properties, 1)->range.in(empty_properties), kDeepest);
  EXPECT_FALSE(direct_group_child_bounds(empty_properties, 2).has_value());

  auto nested = nested_group_child_bounds(kSlide, 0, 2);
  ASSERT_TRUE(nested.has_value());
  EXPECT_EQ(nested->in(kSlide), kNested);
  EXPECT_EQ(nested_group_child_bounds(kSlide, 0, 0).error().message(),
            "nested group child index 0 is not a group shape");
  EXPECT_EQ(nested_group_child_bounds(kSlide, 0, 3).error().message(),
            "nested group child index 3 was not found");
  EXPECT_EQ(nested_group_child_bounds(kSlide, 5, 0).error().message(),
            "group shape index 5 was not found");
}

TEST(InsertionPoint, StandsBeforeTheTargetsClosingTag) {
  struct Case {
    InsertionTarget target;
    std::size_t expected;
  };
  const Case cases[] = {
      {InsertionTarget::slide(), kSlide.rfind("</p:spTree>")},
      {InsertionTarget::group(0), closing_tag_of(kGroup0)},
      {InsertionTarget::group(1), closing_tag_of(kGroup1)},
      {InsertionTarget::new_group_in_group(1), closing_tag_of(kGroup1)},
      {InsertionTarget::nested_group(0, 2), closing_tag_of(kNested)},
      {InsertionTarget::deeper_nested_group(0, 2, 1), closing_tag_of(kDeepest)},
  };
  for (const Case& c : cases) {
    auto offset = locate_insertion_point(kSlide, c.target);
    ASSERT_TRUE(offset.has_value()) << offset.error().to_string();
    EXPECT_EQ(*offset, c.expected);
  }
}

TEST(InsertionPoint, ReportsEachMissingTarget) {
  struct Case {
    std::string xml;
    InsertionTarget target;
    std::string_view message;
  };
  const Case cases[] = {
      {"<p:sld><p:spTree></p:sld>", InsertionTarget::slide(), "slide XML is missing </p:spTree>"},
      {kSlide, InsertionTarget::group(2), "group shape index 2 was not found"},
      {kSlide, InsertionTarget::new_group_in_group(7), "group shape index 7 was not found"},
      {kSlide, InsertionTarget::nested_group(1, 0),
       "nested group child index 0 is not a group shape"},
      {kSlide, InsertionTarget::nested_group(1, 1), "nested group child index 1 was not found"},
      {kSlide, InsertionTarget::deeper_nested_group(0, 2, 0),
       "deeper nested group child index 0 is not a group shape"},
      {kSlide, InsertionTarget::deeper_nested_group(0, 2, 2),
       "deeper nested group child index 2 is not a group shape"},
      {kSlide, InsertionTarget::deeper_nested_group(0, 2, 3),
       "deeper nested group child index 3 was not found"},
      {kSlide, InsertionTarget::deeper_nested_group(0, 1, 0),
       "nested group child index 1 is not a group shape"},
  };
  for (const Case& c : cases) {
    auto offset = locate_insertion_point(c.xml, c.target);
    ASSERT_FALSE(offset.has_value()) << c.message;
    EXPECT_EQ(offset.error().kind(), PelvaneError::Kind::InvalidInput);
    EXPECT_EQ(offset.error().message(), c.message);
  }
}

TEST(InsertionPoint, UsesTheLastClosingShapeTree) {
  std::string xml = "<p:sld><p:spTree><!-- </p:spTree> --></p:spTree></p:sld>";
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::slide()), xml.rfind("</p:spTree>"));
}

TEST(InsertionPoint, KeepsAContainersExtensionListLast) {
  std::string ext = "<p:extLst><p:ext uri=\"{X}\"><p:extLst/></p:ext></p:extLst>";
  std::string xml = slide(shape("p:sp", 2) + ext + "\n");
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::slide()), xml.find(ext));

  std::string grouped = group(5, shape("p:sp", 6) + ext);
  std::string with_group = slide(grouped);
  EXPECT_EQ(locate_insertion_point(with_group, InsertionTarget::group(0)), with_group.find(ext));
  // An extension list inside the last child is not the group's own.
  std::string inner = group(5, group(6, shape("p:sp", 7) + ext));
  std::string with_inner = slide(inner);
  EXPECT_EQ(locate_insertion_point(with_inner, InsertionTarget::group(0)),
            with_inner.rfind("</p:grpSp>"));

  // An empty list is kept last too; an empty element of another name is not a list.
  std::string empty_list = slide(group(5, shape("p:sp", 6) + "<p:extLst/>") + "<p:extLst />\n");
  EXPECT_EQ(locate_insertion_point(empty_list, InsertionTarget::slide()),
            empty_list.rfind("<p:extLst />"));
  EXPECT_EQ(locate_insertion_point(empty_list, InsertionTarget::group(0)),
            empty_list.find("<p:extLst/>"));
  std::string commented = slide(shape("p:sp", 2) + ext + "<!-- a --> <!---->\n");
  EXPECT_EQ(locate_insertion_point(commented, InsertionTarget::slide()), commented.find(ext));
  std::string empty_other = slide("<p:extLst/>" + shape("p:sp", 2) + "<p:custDataLst/>");
  EXPECT_EQ(locate_insertion_point(empty_other, InsertionTarget::slide()),
            empty_other.rfind("</p:spTree>"));
}

// Each inner list used to be measured by a search of its own, in time the square of the depth.
TEST(InsertionPoint, NestedExtensionListsAreMeasuredInOnePass) {
  constexpr int kDepth = 100000;
  std::string ext;
  for (int i = 0; i < kDepth; ++i) ext += "<p:extLst><p:ext uri=\"{X}\">";
  ext += "<p:extLst/>";
  for (int i = 0; i < kDepth; ++i) ext += "</p:ext></p:extLst>";
  const std::string grouped = group(5, shape("p:sp", 6) + ext);
  const std::string xml = slide(grouped + ext + "\n");
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::slide()), xml.rfind(ext));
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::group(0)), xml.find(ext));
}

// Each closing tag of a deep nest used to restart the search for the next start tag, so
// locating a group's end took time in the square of the depth.
TEST(InsertionPoint, DeeplyNestedGroupsAreLocatedInOnePass) {
  constexpr int kDepth = 100000;
  std::string shapes;
  for (int i = 0; i < kDepth; ++i) {
    shapes += "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(i + 10) +
              "\" name=\"g\"/></p:nvGrpSpPr><p:grpSpPr/>";
  }
  shapes += shape("p:sp", 2);
  for (int i = 0; i < kDepth; ++i) shapes += "</p:grpSp>";
  const std::string xml = slide(shapes);
  const std::size_t outer_close = xml.rfind("</p:grpSp>");
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::group(0)), outer_close);
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::nested_group(0, 0)), outer_close - 10);
  EXPECT_EQ(locate_insertion_point(xml, InsertionTarget::deeper_nested_group(0, 0, 0)),
            outer_close - 20);
  EXPECT_EQ(next_shape_id(xml), kDepth + 10);
  std::string spliced = xml;
  auto id = insert_new_shape(spliced, InsertionTarget::new_group_in_group(0),
                             [](std::uint64_t) { return Result<std::string>("<X/>"); });
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(spliced.substr(outer_close, 9), "<p:grpSp>");
  EXPECT_EQ(spliced.size(), xml.size() + group_shape_with_child_xml(kDepth + 10, "<X/>").size());
}

TEST(Splice, NewGroupWrapsTheFragmentAndLeavesTheTargetTransform) {
  const std::string expected_group =
      "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"8\" name=\"Group 7\"/><p:cNvGrpSpPr/><p:nvPr/>"
      "</p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/>"
      "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/></a:xfrm></p:grpSpPr><X/></p:grpSp>";
  EXPECT_EQ(group_shape_with_child_xml(8, "<X/>"), expected_group);
  EXPECT_NE(group_shape_with_child_xml(0, "").find("<p:cNvPr id=\"0\" name=\"Group 0\"/>"),
            std::string::npos);
}

// Every family adds its shapes this way: ids from the largest plus one on (a new group around
// the fragment first), then the target, then the fragment, then the splice.
TEST(InsertNewShape, TakesIdsThenFindsTheTargetThenBuildsTheFragment) {
  const std::string near_limit =
      slide("<p:sp><p:nvSpPr><p:cNvPr id=\"18446744073709551613\"/></p:nvSpPr></p:sp>");
  const std::size_t tree_end = kSlide.rfind("</p:spTree>");
  const std::size_t group1_end = closing_tag_of(kGroup1);
  struct Case {
    std::string xml;
    InsertionTarget target;
    std::uint64_t fragment_ids;
    bool fragment_fails;
    std::string_view error;  // empty: the shape is added with these ids, there
    std::uint64_t first_id = 0, shape_id = 0, at = 0;
    std::string inserted;
  };
  const Case cases[] = {
      {kSlide, InsertionTarget::slide(), 1, false, "", 61, 61, tree_end, "<X61/>"},
      // The new group takes the id before the fragment's; the shape's id is reported.
      {kSlide, InsertionTarget::new_group_in_group(1), 1, false, "", 62, 62, group1_end,
       group_shape_with_child_xml(61, "<X62/>")},
      // A fragment of three shapes reports its last id.
      {kSlide, InsertionTarget::group(1), 3, false, "", 61, 63, group1_end, "<X61/>"},
      // A missing target is reported before the fragment's own fault.
      {kSlide, InsertionTarget::group(2), 1, true, "group shape index 2 was not found"},
      {kSlide, InsertionTarget::slide(), 1, true, "bad fragment"},
      {near_limit, InsertionTarget::slide(), 3, false, "shape id space is exhausted"},
  };
  for (const Case& c : cases) {
    std::string xml = c.xml;
    std::uint64_t built_with = 0;
    auto id = insert_new_shape(
        xml, c.target,
        [&](std::uint64_t first_id) -> Result<std::string> {
          built_with = first_id;
          if (c.fragment_fails) return fail(PelvaneError::invalid_input("bad fragment"));
          return "<X" + std::to_string(first_id) + "/>";
        },
        c.fragment_ids);
    if (!c.error.empty()) {
      ASSERT_FALSE(id.has_value()) << c.error;
      EXPECT_EQ(id.error().message(), c.error);
      EXPECT_EQ(xml, c.xml) << c.error;
      continue;
    }
    EXPECT_EQ(id.value(), c.shape_id);
    EXPECT_EQ(built_with, c.first_id);
    EXPECT_EQ(xml, c.xml.substr(0, c.at) + c.inserted + c.xml.substr(c.at));
  }
}

}  // namespace
}  // namespace pelvane
