// Which start tags lie inside the shape a text pass addresses, for each way of addressing it.
#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "core/pml/shape_cursor.hpp"

namespace pelvane {
namespace {

// Shapes 0 to 5; shape 1 stands inside shape 0, shape 2 is self-closing (never counted), shape
// 4 is in a group nested in the first group.
constexpr std::string_view kSlide =
    "<p:spTree><p:sp n='0'><x/><a:sp n='1'></a:sp><y/></p:sp>"
    "<p:grpSp><p:sp n='2'/><p:sp n='3'><p/></p:sp><p:grpSp><p:sp n='4'></p:sp></p:grpSp>"
    "<p:sp n='5'></p:sp></p:grpSp></p:spTree>";

// The tags met inside the addressed shape, its own included: local name and `n`.
std::string inside(ShapeCursor cursor) {
  XmlReader reader(kSlide);
  std::string seen;
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    cursor.start(*event);
    if (event->is_tag() && cursor.in_shape()) {
      seen += std::string(event->local_name());
      for (const XmlAttribute& attribute : event->attributes()) seen += attribute.value;
      seen += ' ';
    }
    cursor.end(*event);
  }
  return seen;
}

TEST(ShapeCursor, FollowsTheAddressedShapeToItsEnd) {
  const std::pair<ShapeCursor, std::string_view> cases[] = {
      {ShapeCursor::shape(0), "sp0 x sp1 "},
      // The formatting passes leave it at the next shape's start tag.
      {ShapeCursor::shape(0, {.next_shape_leaves = true}), "sp0 x "},
      {ShapeCursor::shape(2), "sp3 p "},
      {ShapeCursor::shape(6), ""},
      // Children of a group: its own shapes, not those of a group inside it.
      {ShapeCursor::group_child(0, 1), "sp5 "},
      {ShapeCursor::group_child(1, 0), "sp4 "},
      {ShapeCursor::group_child(0, 2), ""},
  };
  for (const auto& [cursor, expected] : cases) EXPECT_EQ(inside(cursor), expected);
}

// Top-level shapes 0 to 4: shape 1 inside an alternate-content block, shape 2 self-closing,
// shape 4 inside the group 3.
constexpr std::string_view kTree =
    "<p:spTree><p:sp n='0'><x/></p:sp><mc:AlternateContent><p:sp n='1'/><p:sp n='1'></p:sp>"
    "</mc:AlternateContent><p:pic n='2'/><p:grpSp n='3'><p:sp n='4'><y/></p:sp><z/></p:grpSp>"
    "</p:spTree>";

// The events in the addressed top-level shape, each as its place (Addressed, Own, Nested), its
// local name (end tags after "/") and `n`.
std::string top_level(std::uint64_t index, TopLevel reading) {
  TopLevelShapeCursor cursor(index, reading);
  XmlReader reader(kTree);
  std::string seen;
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    const TopLevelPlace place = cursor.place(*event);
    if (place == TopLevelPlace::Outside) continue;
    seen += "?AON"[static_cast<int>(place)];
    if (event->is_end()) seen += '/';
    seen += std::string(event->local_name());
    for (const XmlAttribute& attribute : event->attributes()) seen += attribute.value;
    seen += ' ';
  }
  return seen;
}

TEST(TopLevelShapeCursor, CountsTheTreeChildrenOrTheShapesOutsideShapes) {
  const std::tuple<std::uint64_t, TopLevel, std::string_view> cases[] = {
      {0, TopLevel::TreeChildren, "Asp0 Ox O/sp "},
      {1, TopLevel::TreeChildren, "Apic2 "},
      {2, TopLevel::TreeChildren, "AgrpSp3 Nsp4 Ny O/sp Oz O/grpSp "},
      {3, TopLevel::TreeChildren, ""},
      {1, TopLevel::OutsideShapes, "Asp1 O/sp "},
      {2, TopLevel::OutsideShapes, "AgrpSp3 Nsp4 Ny O/sp Oz O/grpSp "},
      {3, TopLevel::OutsideShapes, ""},
  };
  for (const auto& [index, reading, expected] : cases)
    EXPECT_EQ(top_level(index, reading), expected) << index;
}

}  // namespace
}  // namespace pelvane
