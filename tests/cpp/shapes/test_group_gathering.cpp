// Gathering existing children of a group into a new group: which children move, in which order,
// the frame computed from theirs, what stays of the container, and each refusal.
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/shapes/xml_group_builders.hpp"

namespace pelvane {
namespace {

std::string frame(std::string_view x, std::string_view y, std::string_view cx,
                  std::string_view cy) {
  return "<a:xfrm><a:off x=\"" + std::string(x) + "\" y=\"" + std::string(y) + "\"/><a:ext cx=\"" +
         std::string(cx) + "\" cy=\"" + std::string(cy) + "\"/></a:xfrm>";
}

std::string sp(int id, std::string_view xfrm) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"s\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>" + std::string(xfrm) +
         "</p:spPr></p:sp>";
}

std::string group(int id, std::string_view children,
                  std::string_view properties =
                      "<p:grpSpPr><a:xfrm><a:off x=\"1\" y=\"2\"/><a:ext "
                      "cx=\"3\" cy=\"4\"/><a:chOff x=\"5\" y=\"6\"/>"
                      "<a:chExt cx=\"7\" cy=\"8\"/></a:xfrm></p:grpSpPr>") {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"g\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>" + std::string(properties) +
         std::string(children) + "</p:grpSp>";
}

std::string slide(std::string_view shapes) {
  return "<p:sld><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/></p:nvGrpSpPr>"
         "<p:grpSpPr/>" +
         std::string(shapes) + "</p:spTree></p:cSld></p:sld>";
}

// The new group as the template gives it, for id 20.
std::string gathered(std::string_view x, std::string_view y, std::string_view cx,
                     std::string_view cy, std::string_view children) {
  const std::string off = "x=\"" + std::string(x) + "\" y=\"" + std::string(y) + "\"";
  const std::string ext = "cx=\"" + std::string(cx) + "\" cy=\"" + std::string(cy) + "\"";
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"20\" name=\"Group 19\"/><p:cNvGrpSpPr/><p:nvPr/>"
         "</p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off " +
         off + "/><a:ext " + ext + "/><a:chOff " + off + "/><a:chExt " + ext +
         "/></a:xfrm></p:grpSpPr>" + std::string(children) + "</p:grpSp>";
}

// The container's children, with white space between them: a shape, one with negative
// offsets, a group (its own transform counts), one without any transform, one without `y`.
const std::vector<std::string> kChildren = {
    sp(11, frame("100", "200", "300", "400")),
    sp(12, frame("-50", "-10", "20", "30")),
    group(13, sp(14, frame("0", "0", "5", "5")),
          "<p:grpSpPr><a:xfrm><a:off x=\"1000\" y=\"2000\"/><a:ext cx=\"10\" cy=\"10\"/>"
          "</a:xfrm></p:grpSpPr>"),
    sp(15, ""),
    sp(16, "<a:xfrm><a:off x=\"7\"/><a:ext cx=\"1\" cy=\"1\"/></a:xfrm>"),
};

// The container's inside with the listed children cut out (their white space kept).
std::string children_without(std::initializer_list<std::size_t> cut) {
  std::string inside;
  for (std::size_t i = 0; i < kChildren.size(); ++i) {
    inside += "\n  ";
    if (std::find(cut.begin(), cut.end(), i) == cut.end()) inside += kChildren[i];
  }
  return inside + "\n";
}

const std::string kContainer = group(10, children_without({}));

struct Case {
  std::string name;
  std::string slide_xml;
  GroupAddress address;
  std::vector<std::uint64_t> indices;
  std::string expected;  // the whole slide, or the error message
  bool fails = false;
};

std::vector<Case> cases() {
  constexpr std::string_view kExt = "<p:extLst><p:ext uri=\"{X}\"/></p:extLst>";
  const std::string a = kChildren[0];
  const std::string b = kChildren[1];
  const std::string top = slide(sp(2, frame("0", "0", "1", "1")) + kContainer);
  return {
      {"children in list order, cut from their places, the new group last",
       top,
       {0},
       {2, 0},
       slide(sp(2, frame("0", "0", "1", "1")) +
             group(10, children_without({0, 2}) +
                           gathered("100", "200", "910", "1810", kChildren[2] + a)))},
      {"one child",
       top,
       {0},
       {0},
       slide(sp(2, frame("0", "0", "1", "1")) +
             group(10, children_without({0}) + gathered("100", "200", "300", "400", a)))},
      {"negative offsets",
       top,
       {0},
       {1},
       slide(sp(2, frame("0", "0", "1", "1")) +
             group(10, children_without({1}) + gathered("-50", "-10", "20", "30", b)))},
      {"a missing y reads 0",
       top,
       {0},
       {4},
       slide(sp(2, frame("0", "0", "1", "1")) +
             group(10, children_without({4}) + gathered("7", "0", "1", "1", kChildren[4])))},
      {"a repeated index moves its child once",
       top,
       {0},
       {0, 0, 1, 0},
       slide(sp(2, frame("0", "0", "1", "1")) +
             group(10, children_without({0, 1}) + gathered("-50", "-10", "450", "610", a + b)))},
      {"every child",
       slide(group(30, "\n" + a + "\n" + b + "\n")),
       {0},
       {1, 0},
       slide(group(30, "\n\n\n" + gathered("-50", "-10", "450", "610", b + a)))},
      {"nested container",
       slide(group(40, sp(41, "") + kContainer)),
       {0, 1},
       {0},
       slide(group(40, sp(41, "") + group(10, children_without({0}) +
                                                  gathered("100", "200", "300", "400", a))))},
      {"deeper container",
       slide(group(50, group(51, sp(52, "") + kContainer))),
       {0, 0, 1},
       {1},
       slide(group(50,
                   group(51, sp(52, "") + group(10, children_without({1}) +
                                                        gathered("-50", "-10", "20", "30", b)))))},
      {"group properties written empty",
       slide(group(10, a + b, "<p:grpSpPr/>")),
       {0},
       {1},
       slide(group(10, a + gathered("-50", "-10", "20", "30", b), "<p:grpSpPr/>"))},
      {"a trailing extension list stays last",
       slide(group(10, a + b + std::string(kExt))),
       {0},
       {0},
       slide(group(10, b + gathered("100", "200", "300", "400", a) + std::string(kExt)))},
      {"edges past the 64-bit range wrap",
       slide(group(10, sp(60, frame("9223372036854775807", "0", "1", "1")))),
       {0},
       {0},
       slide(group(10, gathered("9223372036854775807", "0", "1", "1",
                                sp(60, frame("9223372036854775807", "0", "1", "1")))))},
      {"empty list, even without the group",
       top,
       {9},
       {},
       "at least one group child is required",
       true},
      {"missing group", top, {1}, {0}, "group shape index 1 was not found", true},
      {"index equal to the child count",
       top,
       {0},
       {1, 5},
       "group child index 5 was not found",
       true},
      {"child without transform",
       top,
       {0},
       {0, 3},
       "selected group child is missing transform",
       true},
      {"deeper child not a group",
       slide(group(50, group(51, sp(52, "") + kContainer))),
       {0, 0, 0},
       {0},
       "deeper nested group child index 0 is not a group shape",
       true},
      {"deeper child missing",
       slide(group(50, group(51, sp(52, "") + kContainer))),
       {0, 0, 2},
       {0},
       "deeper nested group child index 2 was not found",
       true},
      {"nested child not a group",
       top,
       {0, 0},
       {0},
       "nested group child index 0 is not a group shape",
       true},
  };
}

TEST(GroupGathering, Cases) {
  for (const Case& c : cases()) {
    auto result = group_existing_group_children_xml(c.slide_xml, c.address, c.indices, 20);
    if (c.fails) {
      ASSERT_FALSE(result.has_value()) << c.name;
      EXPECT_EQ(result.error().kind(), PelvaneError::Kind::InvalidInput) << c.name;
      EXPECT_EQ(result.error().message(), c.expected) << c.name;
    } else {
      ASSERT_TRUE(result.has_value()) << c.name << ": " << result.error().to_string();
      EXPECT_EQ(*result, c.expected) << c.name;
    }
  }
}

}  // namespace
}  // namespace pelvane
