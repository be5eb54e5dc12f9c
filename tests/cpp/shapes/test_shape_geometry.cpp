// Exact outputs of the geometry rewrites on literal slide XML.
#include <gtest/gtest.h>

#include "core/shapes/shape_geometry.hpp"
#include "rewrite_cases.hpp"

namespace pelvane {
namespace {

Rewrite geometry(std::uint64_t shape_index, std::int64_t x = 1, std::int64_t cx = 3) {
  return [=](std::string_view xml) {
    return set_shape_geometry_at_index_in_slide(xml, shape_index, x, 2, cx, 4);
  };
}

Rewrite child_geometry(std::uint64_t group_index, std::uint64_t child_index) {
  return [=](std::string_view xml) {
    return set_group_shape_child_geometry_in_slide(xml, group_index, child_index, 1, 2, 3, 4);
  };
}

std::string transformed(std::string_view element, std::string_view properties,
                        std::string_view transform) {
  return "<p:" + std::string(element) + "><p:" + std::string(properties) + "><a:xfrm>" +
         std::string(transform) + "</a:xfrm></p:" + std::string(properties) +
         "></p:" + std::string(element) + ">";
}

TEST(ShapeGeometry, MovesATopLevelShapeOrAGroupChild) {
  const std::string old_xfrm = "<a:off x=\"9\" y=\"9\"/><a:ext cx=\"9\" cy=\"9\"/>";
  const std::string new_xfrm = "<a:off x=\"1\" y=\"2\"/><a:ext cx=\"3\" cy=\"4\"/>";
  const auto sp = [](std::string_view xfrm) { return transformed("sp", "spPr", xfrm); };
  const auto pic = [](std::string_view xfrm) { return transformed("pic", "spPr", xfrm); };
  const auto group = [&](std::string_view xfrm, std::string_view members) {
    return "<p:grpSp><p:grpSpPr><a:xfrm rot=\"5\">" + std::string(xfrm) +
           "<a:chOff x=\"9\" y=\"9\"/><a:chExt cx=\"9\" cy=\"9\"/></a:xfrm></p:grpSpPr>" +
           std::string(members) + "</p:grpSp>";
  };
  const std::string members = sp(old_xfrm) + sp(old_xfrm);
  const std::string tree = group(old_xfrm, members) + pic(old_xfrm) + sp(old_xfrm);
  const std::string nested =
      group(old_xfrm, sp(old_xfrm) + group(old_xfrm, sp(old_xfrm)) + pic(old_xfrm) + sp(old_xfrm));
  expect_rewrite_cases({
      {"a group is one shape; its child frame and members stay", tree, geometry(0),
       group(new_xfrm, members) + pic(old_xfrm) + sp(old_xfrm), 1},
      {"the picture is the second", tree, geometry(1),
       group(old_xfrm, members) + pic(new_xfrm) + sp(old_xfrm), 1},
      {"the shape the third", tree, geometry(2),
       group(old_xfrm, members) + pic(old_xfrm) + sp(new_xfrm), 1},
      {"a graphic frame through its p:xfrm",
       "<p:graphicFrame><p:xfrm><a:off x=\"9\" y=\"9\"/><a:ext cx=\"9\" cy=\"9\"/></p:xfrm>"
       "</p:graphicFrame>",
       geometry(0), "<p:graphicFrame><p:xfrm>" + new_xfrm + "</p:xfrm></p:graphicFrame>", 1},
      {"a bare self-closing off gains x then y; a start-tag ext keeps its form",
       sp("<a:off/><a:ext cy=\"9\" cx=\"9\"></a:ext>"), geometry(0),
       sp("<a:off x=\"1\" y=\"2\"/><a:ext cy=\"4\" cx=\"3\"></a:ext>"), 1},
      {"negative values as given", sp(old_xfrm), geometry(0, -5, -6),
       sp("<a:off x=\"-5\" y=\"2\"/><a:ext cx=\"-6\" cy=\"4\"/>"), 1},
      {"no transform, none created", "<p:sp><p:spPr/></p:sp>", geometry(0),
       "<p:sp><p:spPr/></p:sp>", 0},
      {"past the last shape", tree, geometry(3), tree, 0},
      {"a nested group is no child: child 1 is the picture", nested, child_geometry(0, 1),
       group(old_xfrm, sp(old_xfrm) + group(old_xfrm, sp(old_xfrm)) + pic(new_xfrm) + sp(old_xfrm)),
       1},
      {"the nested group by its own index, its direct child", nested, child_geometry(1, 0),
       group(old_xfrm, sp(old_xfrm) + group(old_xfrm, sp(new_xfrm)) + pic(old_xfrm) + sp(old_xfrm)),
       1},
      {"only the child's own transform", nested, child_geometry(0, 2),
       group(old_xfrm, sp(old_xfrm) + group(old_xfrm, sp(old_xfrm)) + pic(old_xfrm) + sp(new_xfrm)),
       1},
      {"past the last child", nested, child_geometry(0, 3), nested, 0},
      {"past the last group", nested, child_geometry(2, 0), nested, 0},
  });
}

TEST(ShapeGeometry, MalformedInputFailsWithTheReadersError) {
  const auto out = set_shape_geometry_at_index_in_slide("<p:sp><a:xfrm></p:sp>", 0, 1, 2, 3, 4);
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), PelvaneError::Kind::Xml);
}

}  // namespace
}  // namespace pelvane
