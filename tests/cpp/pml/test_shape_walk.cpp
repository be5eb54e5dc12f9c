#include <gtest/gtest.h>

#include "core/pml/shape_walk.hpp"

namespace pelvane {
namespace {

TEST(FindNextShapeStart, FindsTheEarliestShapeOfAnyKind) {
  const std::string text =
      "<p:spTree><p:sp><p:spPr/></p:sp><p:grpSp><p:grpSpPr/><p:pic/></p:grpSp></p:spTree>";
  const auto first = find_next_shape_start(text, 0);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->offset, 10u);
  EXPECT_EQ(first->tag, "p:sp");
  // From just after the p:sp start tag: not p:spPr, but the group and then its child.
  const auto group = find_next_shape_start(text, 16);
  ASSERT_TRUE(group.has_value());
  EXPECT_EQ(group->tag, "p:grpSp");
  const auto child = find_next_shape_start(text, group->offset + 1);
  ASSERT_TRUE(child.has_value());
  EXPECT_EQ(child->tag, "p:pic");
  EXPECT_EQ(find_next_shape_start(text, child->offset + 1), std::nullopt);
  EXPECT_EQ(find_next_shape_start("<x:sp/><p:spPr/>", 0), std::nullopt);
}

TEST(ExtractShapeBlocks, ReturnsTopLevelShapesWithGroupsWhole) {
  const std::string text_box = "<p:sp><p:txBody/></p:sp>";
  const std::string group = "<p:grpSp><p:pic>a</p:pic><p:pic>b</p:pic></p:grpSp>";
  const std::string connector = "<p:cxnSp/>";
  const std::string tree = "<p:nvGrpSpPr/>" + text_box + group + "\n" + connector;
  const auto blocks = extract_shape_blocks(tree);
  EXPECT_EQ(blocks, (std::vector<std::string_view>{text_box, group, connector}));
  EXPECT_TRUE(extract_shape_blocks("<p:spTree><p:nvGrpSpPr/></p:spTree>").empty());
}

TEST(ExtractShapeBlocks, PassesOverAlternateContentWhole) {
  const std::string wrapped =
      "<mc:AlternateContent><mc:Choice><p:sp>new</p:sp></mc:Choice>"
      "<mc:Fallback><p:pic>old</p:pic></mc:Fallback></mc:AlternateContent>";
  const std::string tree = "<p:sp>1</p:sp>" + wrapped + "<p:sp>2</p:sp>";
  const auto blocks = extract_shape_blocks(tree);
  EXPECT_EQ(blocks, (std::vector<std::string_view>{"<p:sp>1</p:sp>", "<p:sp>2</p:sp>"}));
}

TEST(ExtractShapeBlocks, ReturnsShapesAfterAWrapperThatHoldsThemNot) {
  // A wrapper that closes itself, or one left open, holds none of the shapes after it.
  EXPECT_EQ(extract_shape_blocks("<mc:AlternateContent/><p:sp>1</p:sp><p:pic>2</p:pic>"),
            (std::vector<std::string_view>{"<p:sp>1</p:sp>", "<p:pic>2</p:pic>"}));
  EXPECT_EQ(extract_shape_blocks("<mc:AlternateContent><p:sp>1</p:sp><p:pic>2</p:pic>"),
            (std::vector<std::string_view>{"<p:sp>1</p:sp>", "<p:pic>2</p:pic>"}));
  // Left open around a closed inner wrapper: the inner one is passed over, the rest returned.
  EXPECT_EQ(extract_shape_blocks("<mc:AlternateContent><p:sp>1</p:sp><mc:AlternateContent>"
                                 "<p:sp>2</p:sp></mc:AlternateContent><p:sp>3</p:sp>"),
            (std::vector<std::string_view>{"<p:sp>1</p:sp>", "<p:sp>3</p:sp>"}));
  // Many wrappers left open, each before a shape, and one closed wrapper at the end.
  std::string many;
  for (int i = 0; i < 3000; ++i)
    many += "<mc:AlternateContent><p:sp>" + std::to_string(i) + "</p:sp>";
  many += "<mc:AlternateContent><p:sp>x</p:sp></mc:AlternateContent>";
  const auto blocks = extract_shape_blocks(many);
  ASSERT_EQ(blocks.size(), 3000u);
  EXPECT_EQ(blocks.back(), "<p:sp>2999</p:sp>");
}

TEST(ExtractShapeBlocks, StopsAtAShapeWithoutEndTag) {
  const auto blocks = extract_shape_blocks("<p:sp>1</p:sp><p:pic>open<p:sp>3</p:sp>");
  EXPECT_EQ(blocks, (std::vector<std::string_view>{"<p:sp>1</p:sp>"}));
}

}  // namespace
}  // namespace pelvane
