// Exact outputs and refusals of the table passes on literal slide XML.
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "core/tables/table_inspection.hpp"
#include "core/tables/table_rewrite.hpp"
#include "rewrite_cases.hpp"

namespace pelvane {
namespace {

using Case = RewriteCase;

void expect_cases(const std::vector<Case>& cases) { expect_rewrite_cases(cases); }

struct Refusal {
  const char* what;
  std::string xml;
  Rewrite rewrite;
  std::string message;  // without the "invalid input: " prefix
};

void expect_refusals(const std::vector<Refusal>& refusals) {
  for (const Refusal& r : refusals) {
    const auto out = r.rewrite(r.xml);
    ASSERT_FALSE(out) << r.what;
    EXPECT_EQ(out.error(), PelvaneError::invalid_input(r.message)) << r.what;
  }
}

// A cell holding one run of `text`, with the given attribute text (" gridSpan=\"2\"").
std::string tc(std::string_view text, std::string_view attributes = "") {
  return "<a:tc" + std::string(attributes) + "><a:txBody><a:bodyPr/><a:p><a:r><a:t>" +
         std::string(text) + "</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc>";
}
std::string tr(std::string_view cells, std::string_view height = "10") {
  return "<a:tr h=\"" + std::string(height) + "\">" + std::string(cells) + "</a:tr>";
}
std::string grid(std::initializer_list<std::string_view> widths) {
  std::string xml = "<a:tblGrid>";
  for (std::string_view w : widths) xml += "<a:gridCol w=\"" + std::string(w) + "\"/>";
  return xml + "</a:tblGrid>";
}
std::string tbl(std::string_view grid_xml, std::string_view rows) {
  return "<a:tbl><a:tblPr/>" + std::string(grid_xml) + std::string(rows) + "</a:tbl>";
}

// What the row and column insertions write.
const std::string kNewCell =
    "<a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t></a:t></a:r></a:p></a:txBody>"
    "<a:tcPr/></a:tc>";
std::string new_row(std::string_view height, int cells) {
  std::string xml = "<a:tr h=\"" + std::string(height) + "\">";
  for (int i = 0; i < cells; ++i) xml += kNewCell;
  return xml + "</a:tr>";
}

// Two rows of two cells, heights 400000 and 500000, widths 1000 and 2000.
const std::string k2x2 =
    tbl(grid({"1000", "2000"}), tr(tc("A") + tc("B"), "400000") + tr(tc("C") + tc("D"), "500000"));
// Row 0 holds a cell spanning two rows, row 1 its continuation.
const std::string kRowMergeRows =
    tr(tc("A", " rowSpan=\"2\"") + tc("B")) + tr(tc("", " vMerge=\"1\"") + tc("D"));
const std::string kRowMerge = tbl(grid({"1", "1"}), kRowMergeRows);
// One row whose first cell spans the two columns.
const std::string kColumnMerge =
    tbl(grid({"1", "1"}), tr(tc("A", " gridSpan=\"2\"") + tc("", " hMerge=\"1\"")));

// ---- Inspection ----

TEST(InspectSlideTable, ReadsGridRowsAndMergeAttributes) {
  const std::string xml =
      "<a:tbl><a:tblGrid><a:gridCol w=\"abc\"/><a:gridCol w=\"+7\"></a:gridCol></a:tblGrid>"
      "<a:tr h=\"5\"><a:tc rowSpan=\"+3\" gridSpan=\"0\"/><a:tc rowSpan=\"-1\" hMerge=\"true\"/>"
      "<a:tc gridSpan=\"abc\" vMerge=\"1\"/><a:tc rowSpan=\"99999999999999999999\" hMerge=\"0\"/>"
      "<a:tc a:gridSpan=\"4\" rowSpan=\"\" hMerge=\"TRUE\"/></a:tr><a:tr/><a:tr>" +
      tc("x") + "</a:tr></a:tbl>";
  const auto table = inspect_slide_table(xml, 0);
  ASSERT_TRUE(table) << table.error().to_string();
  EXPECT_EQ(table->column_widths, (std::vector<std::uint64_t>{0, 7}));
  EXPECT_EQ(table->row_heights, (std::vector<std::uint64_t>{5, 0}));  // a self-closing row: none
  EXPECT_EQ(table->column_count(), 2u);
  EXPECT_EQ(table->row_count(), 2u);
  const std::vector<std::vector<CellMergeFlags>> rows = {{{0, 3, false, false},
                                                          {1, 1, true, false},
                                                          {1, 1, false, true},
                                                          {1, 1, false, false},
                                                          {1, 1, false, false}},
                                                         {{1, 1, false, false}}};
  EXPECT_EQ(table->rows, rows);
}

TEST(InspectSlideTable, AddressesTablesInDocumentOrder) {
  const std::string one = tbl(grid({"1"}), tr(tc("a")));
  const std::string two = tbl(grid({"1", "2"}), tr(tc("a") + tc("b")));
  const std::string slide = "<p:grpSp>" + one + "</p:grpSp><a:tbl/>" + two;
  EXPECT_EQ(inspect_slide_table(slide, 0)->column_count(), 1u);
  EXPECT_EQ(inspect_slide_table(slide, 1)->column_count(), 2u);
  const auto missing = inspect_slide_table(slide, 3);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), PelvaneError::invalid_input("table index 3 was not found"));
}

// ---- Cell text ----

TEST(ReplaceTableCellText, WritesTheWholeTextIntoTheFirstTextElement) {
  const auto text = [](std::uint64_t table, std::uint64_t row, std::uint64_t col,
                       std::string value) -> Rewrite {
    return [=](std::string_view xml) {
      return replace_table_cell_text_in_slide(xml, table, row, col, value);
    };
  };
  const std::string grouped = "<p:grpSp>" + tbl("", tr(tc("g"))) + "</p:grpSp>";
  const std::string two_paragraphs =
      "<a:tc><a:txBody><a:p><a:r><a:t>one</a:t></a:r></a:p><a:p><a:r><a:rPr b=\"1\"/>"
      "<a:t>two</a:t></a:r></a:p></a:txBody></a:tc>";
  expect_cases({
      {"a table in a group comes first", grouped + tbl("", tr(tc("x"))), text(1, 0, 0, "y"),
       grouped + tbl("", tr(tc("y"))), 1},
      {"continuation cells count, spans do not",
       tbl("", tr(tc("A", " gridSpan=\"2\"") + tc("", " hMerge=\"1\"") + tc("B"))),
       text(0, 0, 2, "C"),
       tbl("", tr(tc("A", " gridSpan=\"2\"") + tc("", " hMerge=\"1\"") + tc("C"))), 1},
      {"self-closing cells do not count", tbl("", tr("<a:tc/>" + tc("B"))), text(0, 0, 0, "C"),
       tbl("", tr("<a:tc/>" + tc("C"))), 1},
      {"later text elements are emptied", tbl("", tr(two_paragraphs)), text(0, 0, 0, "new"),
       tbl("", tr("<a:tc><a:txBody><a:p><a:r><a:t>new</a:t></a:r></a:p><a:p><a:r><a:rPr b=\"1\"/>"
                  "<a:t></a:t></a:r></a:p></a:txBody></a:tc>")),
       1},
      {"old references go, the new text is escaped", tbl("", tr(tc("Fish &amp; Chips"))),
       text(0, 0, 0, "a<b\nc"), tbl("", tr(tc("a&lt;b\nc"))), 1},
      {"an empty text element receives the text", tbl("", tr(tc(""))), text(0, 0, 0, "x"),
       tbl("", tr(tc("x"))), 1},
      {"a cell without a text element",
       tbl("", tr("<a:tc><a:txBody><a:p><a:endParaRPr/></a:p></a:txBody></a:tc>")),
       text(0, 0, 0, "x"),
       tbl("", tr("<a:tc><a:txBody><a:p><a:endParaRPr/></a:p></a:txBody></a:tc>")), 0},
  });
  expect_refusals({{"text XML cannot hold", tbl("", tr(tc("a"))), text(0, 0, 0, "\x0b"),
                    "text contains a character that XML cannot hold: U+000B"}});
}

// ---- Rows and columns ----

Rewrite insert_row(std::uint64_t i, std::uint64_t table = 0) {
  return [=](std::string_view xml) { return insert_table_row_in_slide(xml, table, i); };
}
Rewrite delete_row(std::uint64_t i, std::uint64_t table = 0) {
  return [=](std::string_view xml) { return delete_table_row_in_slide(xml, table, i); };
}
Rewrite insert_column(std::uint64_t i, std::uint64_t table = 0) {
  return [=](std::string_view xml) { return insert_table_column_in_slide(xml, table, i); };
}
Rewrite delete_column(std::uint64_t i, std::uint64_t table = 0) {
  return [=](std::string_view xml) { return delete_table_column_in_slide(xml, table, i); };
}

TEST(TableRowsAndColumns, InsertRows) {
  const std::string a = tr(tc("A") + tc("B"), "400000");
  const std::string c = tr(tc("C") + tc("D"), "500000");
  const std::string g = grid({"1000", "2000"});
  expect_cases({
      {"at 0: the first row's height", k2x2, insert_row(0), tbl(g, new_row("400000", 2) + a + c),
       1},
      {"in the middle: the height of the row before", k2x2, insert_row(1),
       tbl(g, a + new_row("400000", 2) + c), 1},
      {"at the row count: the last row", k2x2, insert_row(2), tbl(g, a + c + new_row("500000", 2)),
       1},
      {"one cell per grid column", tbl(grid({"1", "1"}), tr(tc("a") + tc("b") + tc("c"))),
       insert_row(1), tbl(grid({"1", "1"}), tr(tc("a") + tc("b") + tc("c")) + new_row("10", 2)), 1},
      {"a table without rows", tbl(grid({"1"}), ""), insert_row(0),
       tbl(grid({"1"}), new_row("370840", 1)), 1},
  });
}

TEST(TableRowsAndColumns, DeleteRows) {
  const std::string g = grid({"1000", "2000"});
  expect_cases({
      {"the row whole", k2x2, delete_row(0), tbl(g, tr(tc("C") + tc("D"), "500000")), 1},
      {"self-closing rows are numbered", tbl(g, tr(tc("A")) + "<a:tr h=\"1\"/>" + tr(tc("B"))),
       delete_row(1), tbl(g, tr(tc("A")) + tr(tc("B"))), 1},
  });
}

TEST(TableRowsAndColumns, InsertColumns) {
  const std::string ext = "<a:extLst><a:ext uri=\"u\"><x:rowId val=\"1\"/></a:ext></a:extLst>";
  expect_cases({
      {"at 0: the first column's width, a cell in every row", k2x2, insert_column(0),
       tbl("<a:tblGrid><a:gridCol w=\"1000\"/><a:gridCol w=\"1000\"/><a:gridCol w=\"2000\"/>"
           "</a:tblGrid>",
           tr(kNewCell + tc("A") + tc("B"), "400000") + tr(kNewCell + tc("C") + tc("D"), "500000")),
       3},
      {"a row without cells gets its cell before its end tag",
       tbl(grid({"5"}), tr(tc("A")) + tr("")), insert_column(0),
       tbl(grid({"5", "5"}), tr(kNewCell + tc("A")) + tr(kNewCell)), 3},
      {"at the column count: before the row's extension list, else its end tag; short rows none",
       tbl(grid({"1", "2"}), "<a:tr h=\"1\">" + tc("A") + tc("B") + ext + "</a:tr>" +
                                 tr(tc("C") + tc("D")) + tr(tc("E"))),
       insert_column(2),
       tbl(grid({"1", "2", "2"}), "<a:tr h=\"1\">" + tc("A") + tc("B") + kNewCell + ext +
                                      "</a:tr>" + tr(tc("C") + tc("D") + kNewCell) + tr(tc("E"))),
       3},
      {"a grid without columns", tbl("<a:tblGrid></a:tblGrid>", ""), insert_column(0),
       tbl("<a:tblGrid><a:gridCol w=\"2743200\"/></a:tblGrid>", ""), 1},
  });
}

TEST(TableRowsAndColumns, DeleteColumns) {
  expect_cases({
      {"the grid column and one cell per row",
       tbl("<a:tblGrid><a:gridCol w=\"1\"/><a:gridCol w=\"2\"><a:extLst/></a:gridCol>"
           "</a:tblGrid>",
           tr(tc("A") + tc("B")) + tr("<a:tc/><a:tc/>") + tr(tc("E"))),
       delete_column(1), tbl(grid({"1"}), tr(tc("A")) + tr("<a:tc/>") + tr(tc("E"))), 3},
  });
}

TEST(TableRowsAndColumns, RefusalsLeaveTheSlideAlone) {
  const std::string one_by_one = tbl(grid({"1"}), tr(tc("A")));
  const std::string three_columns = tbl(grid({"1", "1", "1"}), tr(tc("A") + tc("B") + tc("C")));
  expect_refusals({
      {"insert row past the end", k2x2, insert_row(3),
       "table row index 3 out of range (table has 2 rows)"},
      {"insert row inside a vertical merge", kRowMerge, insert_row(1),
       "cannot insert row 1 through merged cells"},
      {"delete the only row", one_by_one, delete_row(7), "cannot delete the only row of a table"},
      {"delete a row past the end", k2x2, delete_row(2),
       "table row index 2 out of range (table has 2 rows)"},
      {"delete a merged row", kRowMerge, delete_row(1),
       "cannot delete row 1 because it contains merged cells"},
      {"insert column past the end", k2x2, insert_column(5),
       "table column index 5 out of range (table has 2 columns)"},
      {"insert column inside a horizontal merge", kColumnMerge, insert_column(1),
       "cannot insert column 1 through merged cells"},
      {"delete the only column", one_by_one, delete_column(0),
       "cannot delete the only column of a table"},
      {"delete a column past the end", three_columns, delete_column(5),
       "table column index 5 out of range (table has 3 columns)"},
      {"delete a merged column", kRowMerge, delete_column(0),
       "cannot delete column 0 because it contains merged cells at row 0"},
  });
  for (const Rewrite& rewrite :
       {insert_row(0, 1), delete_row(0, 1), insert_column(0, 1), delete_column(0, 1)}) {
    expect_refusals({{"a missing table", k2x2, rewrite, "table index 1 was not found"}});
  }
  // Next to a merge, the same edits pass; a merge that begins at the new row moves down with it.
  EXPECT_EQ(insert_row(0)(kRowMerge)->bytes,
            tbl(grid({"1", "1"}), new_row("10", 2) + kRowMergeRows));
  EXPECT_TRUE(insert_row(2)(kRowMerge));
  EXPECT_TRUE(insert_column(0)(kColumnMerge));
  EXPECT_TRUE(insert_column(2)(kColumnMerge));
}

// ---- Merging ----

Rewrite merge(std::uint64_t row_min, std::uint64_t row_max, std::uint64_t col_min,
              std::uint64_t col_max, std::string kind = "merge",
              std::vector<std::string> paragraphs = {}) {
  return [=](std::string_view xml) {
    return set_table_cell_merge_in_slide(xml, 0, row_min, row_max, col_min, col_max, kind,
                                         paragraphs);
  };
}

std::string merged_cell(std::string_view attributes, std::string_view paragraphs) {
  return "<a:tc" + std::string(attributes) + "><a:txBody><a:bodyPr/>" + std::string(paragraphs) +
         "</a:txBody><a:tcPr/></a:tc>";
}

TEST(TableCellMerge, MergesAndSplitsRanges) {
  const std::string empty = "<a:p><a:r><a:t></a:t></a:r></a:p>";
  const std::string g = grid({"1000", "2000"});
  const std::string row_of_four =
      tbl(grid({"1", "1", "1", "1"}), tr(tc("a") + tc("b") + tc("c") + tc("d")));
  const std::string wide =
      tbl(grid({"1", "1", "1"}), tr(tc("A", " gridSpan=\"5\" id=\"k\"") + tc("B") + tc("C")) +
                                     tr(tc("D") + tc("E") + tc("F")));
  expect_cases({
      {"2x2 with two paragraphs", k2x2, merge(0, 1, 0, 1, "merge", {"A", "B"}),
       tbl(g,
           tr(merged_cell(" rowSpan=\"2\" gridSpan=\"2\"",
                          "<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>") +
                  merged_cell(" rowSpan=\"2\" hMerge=\"1\"", empty),
              "400000") +
               tr(merged_cell(" gridSpan=\"2\" vMerge=\"1\"", empty) +
                      merged_cell(" hMerge=\"1\" vMerge=\"1\"", empty),
                  "500000")),
       8},
      {"one row: no row span", row_of_four, merge(0, 0, 1, 3),
       tbl(grid({"1", "1", "1", "1"}),
           tr(tc("a") + merged_cell(" gridSpan=\"3\"", empty) +
              merged_cell(" hMerge=\"1\"", empty) + merged_cell(" hMerge=\"1\"", empty))),
       6},
      {"an anchor's span keeps its place", wide, merge(0, 1, 0, 2, "merge", {"X"}),
       tbl(grid({"1", "1", "1"}), tr(merged_cell(" gridSpan=\"3\" id=\"k\" rowSpan=\"2\"",
                                                 "<a:p><a:r><a:t>X</a:t></a:r></a:p>") +
                                     merged_cell(" rowSpan=\"2\" hMerge=\"1\"", empty) +
                                     merged_cell(" rowSpan=\"2\" hMerge=\"1\"", empty)) +
                                      tr(merged_cell(" gridSpan=\"3\" vMerge=\"1\"", empty) +
                                         merged_cell(" hMerge=\"1\" vMerge=\"1\"", empty) +
                                         merged_cell(" hMerge=\"1\" vMerge=\"1\"", empty))),
       12},
      {"a single cell loses its merge attributes",
       tbl(grid({"1"}), tr(tc("a", " rowSpan=\"2\" x=\"1\" hMerge=\"1\""))), merge(0, 0, 0, 0),
       tbl(grid({"1"}), tr(merged_cell(" x=\"1\"", empty))), 2},
      {"self-closing cells count and are rewritten", tbl(grid({"1", "1"}), tr("<a:tc/>" + tc("b"))),
       merge(0, 0, 0, 1, "merge", {"M"}),
       tbl(grid({"1", "1"}), tr("<a:tc gridSpan=\"2\"/>" + merged_cell(" hMerge=\"1\"", empty))),
       3},
      {"split: attributes go, texts stay", kRowMerge, merge(0, 1, 0, 0, "split", {"ignored"}),
       tbl(grid({"1", "1"}), tr(tc("A") + tc("B")) + tr(tc("") + tc("D"))), 2},
      {"split past the table changes what exists", kColumnMerge, merge(0, 9, 0, 9, "split"),
       tbl(grid({"1", "1"}), tr(tc("A") + tc(""))), 2},
      {"a missing table", "<p:spTree/>", merge(0, 0, 0, 0), "<p:spTree/>", 0},
  });
}

TEST(TableCellMerge, Refusals) {
  const std::uint64_t far = std::numeric_limits<std::uint64_t>::max();
  expect_refusals({
      {"a bound below its minimum, even with an unknown kind", k2x2, merge(2, 1, 0, 0, "x"),
       "table merge range is invalid"},
      {"kinds are case-sensitive", k2x2, merge(0, 0, 0, 0, "Merge"),
       "unknown table cell merge edit: Merge"},
      {"columns past the table", k2x2, merge(0, 0, 0, 3), "table merge range is outside 2x2 table"},
      {"rows past the table", k2x2, merge(1, 5, 0, 0), "table merge range is outside 2x2 table"},
      {"a row count that would wrap", k2x2, merge(0, far, 0, 0),
       "table merge range is outside 2x2 table"},
      {"paragraphs XML cannot hold", k2x2, merge(0, 0, 0, 0, "merge", {"a", "\x02"}),
       "text contains a character that XML cannot hold: U+0002"},
  });
}

// ---- Style flags ----

Rewrite style(std::map<std::string, bool> flags, std::uint64_t table = 0) {
  return [=](std::string_view xml) { return set_table_style_flags_in_slide(xml, table, flags); };
}

TEST(TableStyleFlags, SetsAndCreatesProperties) {
  const std::string rest = "<a:tblGrid/><a:tr h=\"1\"/></a:tbl>";
  expect_cases({
      {"the flags of the example",
       "<a:tbl><a:tblPr firstRow=\"1\" bandRow=\"1\"><a:tableStyleId>s</a:tableStyleId></a:tblPr>" +
           rest,
       style({{"firstRow", false}, {"lastRow", true}, {"firstCol", true}}),
       "<a:tbl><a:tblPr bandRow=\"1\" firstCol=\"1\" lastRow=\"1\"><a:tableStyleId>s"
       "</a:tableStyleId></a:tblPr>" +
           rest,
       1},
      {"a flag on replaces its value in place; off and absent changes nothing",
       "<a:tbl><a:tblPr lastCol=\"0\" x=\"y\"/>" + rest,
       style({{"lastCol", true}, {"bandCol", false}}),
       "<a:tbl><a:tblPr lastCol=\"1\" x=\"y\"/>" + rest, 1},
      {"no properties: a new element before the grid, in the fixed order",
       "<t:tbl>" + std::string("<t:tblGrid/></t:tbl>"),
       style({{"lastCol", false}, {"bandRow", true}, {"firstRow", true}}),
       "<t:tbl><a:tblPr firstRow=\"1\" bandRow=\"1\"/><t:tblGrid/></t:tbl>", 1},
      {"an empty map still counts", "<a:tbl>" + rest, style({}), "<a:tbl><a:tblPr/>" + rest, 1},
      {"a late tblPr is rewritten too", "<a:tbl><a:tr h=\"1\"/><a:tblPr/></a:tbl>",
       style({{"bandCol", true}}),
       "<a:tbl><a:tblPr bandCol=\"1\"/><a:tr h=\"1\"/><a:tblPr bandCol=\"1\"/></a:tbl>", 2},
      {"the second table sits in a group; self-closing tables do not count",
       "<a:tbl><a:tblPr/></a:tbl><a:tbl/><p:grpSp><a:tbl><a:tblPr/></a:tbl></p:grpSp>",
       style({{"firstCol", true}}, 1),
       "<a:tbl><a:tblPr/></a:tbl><a:tbl/><p:grpSp><a:tbl><a:tblPr firstCol=\"1\"/></a:tbl>"
       "</p:grpSp>",
       1},
      {"a missing table", "<a:tbl>" + rest, style({{"firstCol", true}}, 1), "<a:tbl>" + rest, 0},
  });
  expect_refusals({
      {"letter case matters", "<a:tbl/>", style({{"FirstRow", true}}),
       "unsupported table style flag: FirstRow"},
      {"the first unknown name in byte order", "<a:tbl/>", style({{"zz", true}, {"aa", false}}),
       "unsupported table style flag: aa"},
  });
}

}  // namespace
}  // namespace pelvane
