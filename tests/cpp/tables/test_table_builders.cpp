// The new table's frame: its exact XML, and the index it gets.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/inspect/summary_table_extract.hpp"
#include "core/tables/xml_table_builders.hpp"

namespace pelvane {
namespace {

std::string cell(std::string_view paragraphs) {
  return "<a:tc><a:txBody><a:bodyPr/><a:lstStyle/>" + std::string(paragraphs) +
         "</a:txBody><a:tcPr/></a:tc>";
}

constexpr std::string_view kEmpty = "<a:p><a:r><a:t></a:t></a:r></a:p>";

TEST(TableShapeXml, ExactTemplate) {
  const std::vector<TableCellText> texts = {{0, 1, "A&B"}};
  const auto xml = table_shape_xml(7, 1, 2, 10, 20, 1000, 500, texts);
  ASSERT_TRUE(xml) << xml.error().to_string();
  EXPECT_EQ(*xml,
            "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"7\" name=\"Table 7\"/>"
            "<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr>"
            "<p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x=\"10\" y=\"20\"/>"
            "<a:ext cx=\"1000\" cy=\"500\"/></p:xfrm><a:graphic><a:graphicData "
            "uri=\"http://schemas.openxmlformats.org/drawingml/2006/table\"><a:tbl>"
            "<a:tblPr firstRow=\"1\" bandRow=\"1\"><a:tableStyleId>"
            "{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}</a:tableStyleId></a:tblPr><a:tblGrid>"
            "<a:gridCol w=\"500\"/><a:gridCol w=\"500\"/></a:tblGrid><a:tr h=\"500\">"
            "<a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t></a:t></a:r></a:p>"
            "</a:txBody><a:tcPr/></a:tc><a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r>"
            "<a:t>A&amp;B</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc></a:tr></a:tbl>"
            "</a:graphicData></a:graphic></p:graphicFrame>");
}

TEST(TableShapeXml, SizesAndCellTexts) {
  const auto sized = table_shape_xml(1, 2, 3, 0, 0, 1000, 999, {});
  ASSERT_TRUE(sized);
  EXPECT_EQ(sized->find("<a:gridCol w=\"333\"/><a:gridCol w=\"333\"/><a:gridCol w=\"333\"/>"
                        "</a:tblGrid>"),
            sized->find("<a:gridCol"));
  std::size_t rows = 0;
  for (std::size_t at = 0; (at = sized->find("<a:tr h=\"499\">", at)) != std::string::npos; ++at)
    ++rows;
  EXPECT_EQ(rows, 2u);
  EXPECT_NE(sized->find("<a:ext cx=\"1000\" cy=\"999\"/>"), std::string::npos);
  EXPECT_NE(table_shape_xml(1, 1, 3, 0, 0, 2, 1, {})->find("<a:gridCol w=\"0\"/>"),
            std::string::npos);

  // The first triple of a cell wins; line feeds make paragraphs; an empty text is no text.
  const std::vector<TableCellText> texts = {
      {0, 0, "first"}, {0, 0, "second"}, {0, 1, "a\n\nb"}, {0, 2, ""}};
  const auto filled = table_shape_xml(1, 1, 3, 0, 0, 3, 3, texts);
  ASSERT_TRUE(filled);
  const std::string row = cell("<a:p><a:r><a:t>first</a:t></a:r></a:p>") +
                          cell("<a:p><a:r><a:t>a</a:t></a:r></a:p>" + std::string(kEmpty) +
                               "<a:p><a:r><a:t>b</a:t></a:r></a:p>") +
                          cell(kEmpty);
  EXPECT_NE(filled->find("<a:tr h=\"3\">" + row + "</a:tr></a:tbl>"), std::string::npos);
  EXPECT_EQ(filled->find("second"), std::string::npos);

  const auto refused =
      table_shape_xml(1, 1, 1, 0, 0, 1, 1, std::vector<TableCellText>{{0, 0, "\x01"}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().to_string(),
            "invalid input: text contains a character that XML cannot hold: U+0001");
}

TEST(SummarizedTableCount, CountsWhatTheSlideSummaryLists) {
  const std::string table = "<a:tbl><a:tr><a:tc/></a:tr></a:tbl>";
  const std::string slides[] = {
      "<p:spTree/>",
      "<p:grpSp>" + table + "</p:grpSp>" + table,
      "<a:tbl><a:tc>" + table + "</a:tc></a:tbl>",  // a table in a cell is its cell's text
      table + "<a:tblPr/><x:tbl></x:tbl><a:tbl/>" + table,
      table + "<a:tbl>",  // not closed
  };
  const std::uint64_t expected[] = {0, 2, 1, 3, 1};
  for (std::size_t i = 0; i < std::size(slides); ++i) {
    EXPECT_EQ(summarized_table_count(slides[i]), expected[i]) << slides[i];
    EXPECT_EQ(summarized_table_count(slides[i]), extract_tables_in_text(slides[i]).size())
        << slides[i];
  }
}

}  // namespace
}  // namespace pelvane
