// The two shape deletions on literal slide XML: what goes, what stays, the ids left to prune,
// their refusals, and the refusal to remove a shape that an animation targets.
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "core/batch/shape_deletion.hpp"

namespace pelvane {
namespace {

using Deletion = std::function<Result<ShapeDeletion>(std::string_view xml)>;

Deletion at_index(std::uint64_t index) {
  return [=](std::string_view xml) { return delete_shape_at_index_in_slide(xml, index); };
}
Deletion child_of(std::uint64_t group, std::uint64_t child) {
  return [=](std::string_view xml) { return delete_group_shape_child_in_slide(xml, group, child); };
}

std::string sp(int id) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"s\"/></p:nvSpPr></p:sp>";
}
std::string pic(int id, std::string_view rel) {
  return "<p:pic><p:nvPicPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"p\"/></p:nvPicPr><p:blipFill><a:blip r:embed=\"" + std::string(rel) +
         "\"/></p:blipFill></p:pic>";
}
std::string group(int id, std::string_view children) {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"g\"/></p:nvGrpSpPr><p:grpSpPr/>" + std::string(children) + "</p:grpSp>";
}
std::string tree(std::string_view shapes, std::string_view after = "") {
  return "<p:sld><p:cSld><p:spTree><p:nvGrpSpPr/><p:grpSpPr/>" + std::string(shapes) +
         "</p:spTree></p:cSld>" + std::string(after) + "</p:sld>";
}
std::string timing(std::string_view targets) {
  return "<p:timing><p:tnLst><p:par>" + std::string(targets) + "</p:par></p:tnLst></p:timing>";
}

struct Case {
  const char* what;
  std::string xml;
  Deletion deletion;
  std::string expected;  // the whole output
  std::set<std::string> prune_ids;
};

TEST(ShapeDeletion, RemovesTheAddressedShapeWithEverythingInside) {
  const std::string wrapped =
      "<mc:AlternateContent><mc:Choice>" + sp(9) + "</mc:Choice></mc:AlternateContent>";
  const std::string shared = pic(4, "rId2") + pic(5, "rId2");
  const std::vector<Case> cases = {
      {"index 0 takes the group and its children",
       tree(group(2, sp(3) + pic(4, "rId2")) + sp(5)),
       at_index(0),
       tree(sp(5)),
       {"rId2"}},
      {"index 1 after a group",
       tree(group(2, sp(3)) + pic(4, "rId2")),
       at_index(1),
       tree(group(2, sp(3))),
       {"rId2"}},
      {"a wrapper is not counted",
       tree(sp(2) + wrapped + sp(3)),
       at_index(1),
       tree(sp(2) + wrapped),
       {}},
      {"a self-closing shape counts", tree("<p:sp/>" + sp(3)), at_index(0), tree(sp(3)), {}},
      {"an id still used is kept", tree(shared), at_index(0), tree(pic(5, "rId2")), {}},
      {"the last user of an id frees it", tree(pic(5, "rId2")), at_index(0), tree(""), {"rId2"}},
      {"a direct child of the group",
       tree(group(2, sp(3) + pic(4, "rId7"))),
       child_of(2, 4),
       tree(group(2, sp(3))),
       {"rId7"}},
      {"a group nested in another",
       tree(group(2, group(6, sp(7) + sp(8)))),
       child_of(6, 8),
       tree(group(2, group(6, sp(7)))),
       {}},
      {"a nested group as a child, whole",
       tree(group(2, sp(3) + group(6, pic(7, "rId3")))),
       child_of(2, 6),
       tree(group(2, sp(3))),
       {"rId3"}},
      {"every group of that id",
       tree(group(2, sp(3) + sp(4)) + group(2, sp(4))),
       child_of(2, 4),
       tree(group(2, sp(3)) + group(2, "")),
       {}},
      {"a self-closing child stays",
       tree(group(2, "<p:sp/>" + sp(3))),
       child_of(2, 3),
       tree(group(2, "<p:sp/>")),
       {}},
  };
  for (const Case& c : cases) {
    const auto out = c.deletion(c.xml);
    ASSERT_TRUE(out) << c.what << ": " << out.error().to_string();
    EXPECT_EQ(out->bytes, c.expected) << c.what;
    EXPECT_EQ(out->prune_ids, c.prune_ids) << c.what;
  }
}

struct Refusal {
  const char* what;
  std::string xml;
  Deletion deletion;
  PelvaneError error;
};

TEST(ShapeDeletion, RefusesWhatItCannotRemove) {
  const std::string two = tree(sp(2) + group(3, sp(4) + group(5, sp(6))));
  const std::string animated =
      tree(sp(2) + group(3, sp(4) + sp(6)), timing("<p:spTgt spid=\"6\"/><p:spTgt spid=\"4\"/>"));
  const auto invalid = PelvaneError::invalid_input;
  const std::vector<Refusal> refusals = {
      {"index past the last shape", two, at_index(2), invalid("shape index 2 was not found")},
      {"no such group", two, child_of(9, 4), invalid("group shape id 9 was not found")},
      {"not a direct child", two, child_of(3, 6),
       invalid("group child shape id 6 was not found in group 3")},
      {"input ends inside the shape", "<p:spTree><p:sp><p:nvSpPr>", at_index(0),
       PelvaneError::xml_text_decode("unexpected EOF while deleting shape")},
      {"input ends inside the child",
       "<p:spTree><p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"3\"/></p:nvGrpSpPr><p:sp><p:nvSpPr>",
       child_of(3, 4),
       PelvaneError::xml_text_decode("unexpected EOF while reading group child shape")},
      {"an animated shape", tree(sp(2), timing("<p:bldP spid=\"2\" grpId=\"0\"/>")), at_index(0),
       invalid("shape id 2 is the target of an animation")},
      {"the first animated shape inside, in document order", animated, at_index(1),
       invalid("shape id 4 is the target of an animation")},
      {"an animated group child", animated, child_of(3, 6),
       invalid("shape id 6 is the target of an animation")},
  };
  for (const Refusal& r : refusals) {
    const auto out = r.deletion(r.xml);
    ASSERT_FALSE(out) << r.what;
    EXPECT_EQ(out.error(), r.error) << r.what << ": " << out.error().to_string();
  }
}

TEST(ShapeDeletion, AnimationsOfOtherShapesDoNotStopIt) {
  const std::string xml = tree(sp(2) + sp(3), timing("<p:spTgt spid=\"3\"/>"));
  const auto out = delete_shape_at_index_in_slide(xml, 0);
  ASSERT_TRUE(out) << out.error().to_string();
  EXPECT_EQ(out->bytes, tree(sp(3), timing("<p:spTgt spid=\"3\"/>")));
}

}  // namespace
}  // namespace pelvane
