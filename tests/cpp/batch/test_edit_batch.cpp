// One slide's edits applied in memory: the order of the passes, the merged runs, the duplicate
// checks, the conversions made before a rewrite is called, and the multi-cell text pass.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/batch/edit_batch.hpp"
#include "core/tables/table_rewrite.hpp"

namespace pelvane {
namespace {

std::string text_sp(int id, std::string_view run) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"s\"/></p:nvSpPr><p:txBody><a:bodyPr/><a:p>" + std::string(run) +
         "</a:p></p:txBody></p:sp>";
}
std::string run(std::string_view text, std::string_view properties = "") {
  return "<a:r>" + std::string(properties) + "<a:t>" + std::string(text) + "</a:t></a:r>";
}
std::string group(int id, std::string_view children) {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(id) +
         "\" name=\"g\"/></p:nvGrpSpPr><p:grpSpPr/>" + std::string(children) + "</p:grpSp>";
}
std::string tree(std::string_view shapes) {
  return "<p:sld><p:cSld><p:spTree><p:nvGrpSpPr/><p:grpSpPr/>" + std::string(shapes) +
         "</p:spTree></p:cSld></p:sld>";
}
std::string cell(std::string_view content) {
  return "<a:tc><a:txBody><a:p>" + std::string(content) + "</a:p></a:txBody></a:tc>";
}
std::string table(std::string_view cells) {
  return "<a:tbl><a:tblGrid/><a:tr>" + std::string(cells) + "</a:tr></a:tbl>";
}

// Four text shapes A, B, C, D with ids 2 to 5.
const std::string kFour =
    tree(text_sp(2, run("A")) + text_sp(3, run("B")) + text_sp(4, run("C")) + text_sp(5, run("D")));

EditOperation bold(std::uint64_t run_index, bool value) {
  return edit::SetTextRunFormatting{.run_index = run_index, .set_bold = true, .bold = value};
}
EditOperation delete_shape(std::uint64_t index) { return edit::DeleteShape{.shape_index = index}; }
EditOperation delete_child(std::uint64_t group, std::uint64_t child) {
  return edit::DeleteGroupShapeChild{.group_shape_id = group, .child_shape_id = child};
}
EditOperation cell_text(std::uint64_t col, std::string text) {
  return edit::ReplaceTableCellText{.col_index = col, .replacement = std::move(text)};
}

struct Case {
  const char* what;
  std::string xml;
  std::vector<EditOperation> operations;
  std::string expected;
  std::uint64_t count;
};

TEST(SlideEditApplication, AppliesEditsThenGroupChildThenShapeDeletions) {
  const std::vector<Case> cases = {
      // Merged, the two patches of run 0 are one change; in two passes they would be two.
      {"formatting around a deletion is one pass",
       kFour,
       {bold(0, true), delete_shape(3), bold(0, false)},
       tree(text_sp(2, run("A", "<a:rPr b=\"0\"/>")) + text_sp(3, run("B")) + text_sp(4, run("C"))),
       2},
      {"an edit after a deletion addresses shapes as they were",
       kFour,
       {delete_shape(0), edit::SetShapeText{.shape_index = 1, .replacement = "X"}},
       tree(text_sp(3, run("X")) + text_sp(4, run("C")) + text_sp(5, run("D"))),
       2},
      {"indexes run largest first",
       kFour,
       {delete_shape(0), delete_shape(2)},
       tree(text_sp(3, run("B")) + text_sp(5, run("D"))),
       2},
      {"a group child goes before its group",
       tree(group(2, text_sp(3, "") + text_sp(4, "")) + text_sp(5, "")),
       {delete_shape(0), delete_child(2, 4)},
       tree(text_sp(5, "")),
       2},
      {"a repeated cell starts a new pass, whose text wins",
       tree(table(cell(run("a")) + cell(run("b")))),
       {cell_text(0, "x"), cell_text(1, "y"), cell_text(0, "z")},
       tree(table(cell(run("z")) + cell(run("y")))),
       3},
      {"no edits", kFour, {}, kFour, 0},
  };
  for (const Case& c : cases) {
    const auto out = apply_slide_edit_operations(c.xml, c.operations);
    ASSERT_TRUE(out) << c.what << ": " << out.error().to_string();
    EXPECT_EQ(out->bytes, c.expected) << c.what;
    EXPECT_EQ(out->count, c.count) << c.what;
  }
}

TEST(SlideEditApplication, GathersPruneIdsAsTheLastUserGoes) {
  const std::string pic =
      "<p:pic><p:nvPicPr><p:cNvPr id=\"7\"/></p:nvPicPr><p:blipFill>"
      "<a:blip r:embed=\"rId2\"/></p:blipFill></p:pic>";
  const std::string xml = tree(pic + pic + text_sp(8, run("T")));
  const auto one = apply_slide_edit_operations(xml, std::vector{delete_shape(0)});
  ASSERT_TRUE(one);
  EXPECT_TRUE(one->prune_ids.empty());
  const auto both = apply_slide_edit_operations(xml, std::vector{delete_shape(0), delete_shape(1)});
  ASSERT_TRUE(both);
  EXPECT_EQ(both->prune_ids, std::set<std::string>{"rId2"});
  EXPECT_EQ(both->bytes, tree(text_sp(8, run("T"))));
}

TEST(SlideEditApplication, RefusesBeforeDeletingAnything) {
  // The shapes and groups named do not exist: a pass would fail with "not found" instead.
  const std::vector<std::pair<std::vector<EditOperation>, std::string>> refusals = {
      {{delete_shape(9), delete_shape(9)}, "shape index 9 is deleted more than once"},
      {{delete_child(5, 6), delete_child(5, 6)},
       "group child shape id 6 in group 5 is deleted more than once"},
      {{delete_shape(3), delete_shape(3), delete_child(5, 6), delete_child(5, 6)},
       "group child shape id 6 in group 5 is deleted more than once"},
      {{bold(0, true), edit::ReorderSlides{}}, "slide reorder reached the slide edit loop"},
  };
  for (const auto& [operations, message] : refusals) {
    const auto out = apply_slide_edit_operations(kFour, operations);
    ASSERT_FALSE(out) << message;
    EXPECT_EQ(out.error(), PelvaneError::invalid_input(message));
  }
  for (const EditOperation& package_level :
       {EditOperation(edit::ReorderSlides{}), delete_shape(0), delete_child(2, 3)}) {
    const auto out = apply_to_slide(package_level, kFour);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error(),
              PelvaneError::invalid_input("package-level edit reached the slide edit loop"));
  }
}

TEST(SlideEditApplication, ConvertsRunValuesBeforeTheRewrite) {
  const std::string formatted = tree(text_sp(2, run("A", "<a:rPr b=\"1\" sz=\"900\"/>")));
  const std::vector<std::pair<EditOperation, std::string>> cases = {
      {edit::SetTextRunFontSize{.size = 1270}, "<a:rPr b=\"1\" sz=\"10\"/>"},
      {edit::SetTextRunFontSize{.size = -254}, "<a:rPr b=\"1\" sz=\"-2\"/>"},
      {edit::SetTextRunFontSize{.size = 126}, "<a:rPr b=\"1\" sz=\"0\"/>"},
      {edit::SetTextRunFontSize{}, "<a:rPr b=\"1\"/>"},
      {edit::SetTextRunBold{}, "<a:rPr sz=\"900\"/>"},
  };
  for (const auto& [operation, properties] : cases) {
    const auto out = apply_to_slide(operation, formatted);
    ASSERT_TRUE(out) << operation.tag();
    EXPECT_EQ(out->bytes, tree(text_sp(2, run("A", properties)))) << operation.tag();
    EXPECT_EQ(out->count, 1u) << operation.tag();
  }
}

TEST(TableCellTexts, WritesEveryCellOfTheMapInOnePass) {
  const std::string xml =
      tree(table(cell(run("a") + run("b")) + cell("<a:r><a:t/></a:r>") + cell(run("c"))) +
           "<p:grpSp>" + table(cell(run("d") + "<a:br/>" + run("e"))) + "</p:grpSp>");
  const CellTextMap cells = {{{0, 0, 0}, "A & B"},
                             {{0, 0, 1}, "never written"},
                             {{1, 0, 0}, "D"},
                             {{0, 1, 0}, "no such row"},
                             {{3, 0, 0}, "no such table"}};
  const auto out = replace_table_cell_texts_in_slide(xml, cells);
  ASSERT_TRUE(out) << out.error().to_string();
  EXPECT_EQ(
      out->bytes,
      tree(table(cell(run("A &amp; B") + run("")) + cell("<a:r><a:t/></a:r>") + cell(run("c"))) +
           "<p:grpSp>" + table(cell(run("D") + "<a:br/>" + run(""))) + "</p:grpSp>"));
  EXPECT_EQ(out->count, 2u);

  const auto refused = replace_table_cell_texts_in_slide(xml, {{{0, 0, 0}, "bell \a"}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), PelvaneError::Kind::InvalidInput);
}

}  // namespace
}  // namespace pelvane
