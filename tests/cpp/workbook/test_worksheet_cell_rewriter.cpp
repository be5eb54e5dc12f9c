#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "core/workbook/worksheet_cell_rewriter.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kStrings = "<sst><si><t>old</t></si></sst>";

struct Pass {
  std::string part;
  std::uint64_t added = 0;
  std::uint64_t removed = 0;
  std::vector<std::string> appended;
};

// One pass over `sheet` with the planned updates, with a table parsed from `strings` if any.
Result<Pass> rewrite(std::string_view sheet, const std::vector<WorkbookCellUpdate>& updates,
                     std::optional<std::string_view> strings = std::nullopt) {
  const WorkbookCellPlan plan = PELVANE_TRY(plan_workbook_cell_updates(updates));
  std::optional<SharedStringTable> table;
  if (strings) table = PELVANE_TRY(SharedStringTable::parse(*strings));
  WorksheetCellRewriter rewriter(plan, table ? &*table : nullptr, sheet.size());
  PELVANE_TRY_VOID(rewriter.rewrite(sheet));
  Pass pass{"", rewriter.added_references(), rewriter.removed_references(), {}};
  pass.part = std::move(rewriter).take();
  if (table) pass.appended = table->appended();
  return pass;
}

std::string sheet(std::string_view rows, std::string_view dimension = "") {
  return "<worksheet>" + std::string(dimension) + "<sheetData>" + std::string(rows) +
         "</sheetData></worksheet>";
}

const auto n = WorkbookCellValue::number;
const auto s = WorkbookCellValue::string;
const auto e = WorkbookCellValue::clear;

TEST(WorksheetCellRewriter, WritesInsertsAndClearsCellsExactly) {
  struct Case {
    std::string name;
    std::string input;
    std::vector<WorkbookCellUpdate> updates;
    std::optional<std::string_view> strings;
    std::string expected;
    std::uint64_t added = 0;
    std::uint64_t removed = 0;
  };
  const std::string c3 =
      sheet("<row r=\"3\"><c r=\"C3\" s=\"4\" t=\"s\" vm=\"1\"><v>0</v></c></row>");
  const Case cases[] = {
      {"number over a shared string",
       c3,
       {{"C3", n("2.5")}},
       kStrings,
       sheet("<row r=\"3\"><c r=\"C3\" s=\"4\"><v>2.5</v></c></row>"),
       0,
       1},
      {"string over a shared string",
       c3,
       {{"C3", s("old")}},
       kStrings,
       sheet("<row r=\"3\"><c r=\"C3\" s=\"4\" t=\"s\"><v>0</v></c></row>"),
       1,
       1},
      {"clear",
       c3,
       {{"C3", e()}, {"D3", e()}, {"C9", e()}},
       kStrings,
       sheet("<row r=\"3\"><c r=\"C3\" s=\"4\"/></row>"),
       0,
       1},
      {"self-closing cell gets a value",
       sheet("<row r=\"1\"><c r=\"A1\" s=\"1\"/><c r=\"B1\"><f>A1</f><v>1</v></c></row>"),
       {{"A1", n("1e3")}},
       std::nullopt,
       sheet("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1e3</v></c><c "
             "r=\"B1\"><f>A1</f><v>1</v></c></row>")},
      {"cells around an existing one",
       sheet("<row r=\"5\"><c r=\"C5\"><v>1</v></c></row>"),
       {{"D5", s(" Total")}, {"B5", n("-0")}},
       std::nullopt,
       sheet("<row r=\"5\"><c r=\"B5\"><v>-0</v></c><c r=\"C5\"><v>1</v></c><c r=\"D5\" "
             "t=\"inlineStr\"><is><t xml:space=\"preserve\"> Total</t></is></c></row>")},
      {"rows between existing rows and past the last",
       sheet("<row r=\"1\"/><row r=\"5\"></row><row r=\"9\"/>"),
       {{"A7", n("7")}, {"B2", s("two")}, {"A10", s("old")}, {"C2", s("two")}},
       kStrings,
       sheet("<row r=\"1\"/><row r=\"2\"><c r=\"B2\" t=\"s\"><v>1</v></c><c r=\"C2\" t=\"s\">"
             "<v>1</v></c></row><row r=\"5\"></row><row r=\"7\"><c r=\"A7\"><v>7</v></c></row>"
             "<row r=\"9\"/><row r=\"10\"><c r=\"A10\" t=\"s\"><v>0</v></c></row>"),
       3,
       0},
      {"empty sheetData",
       "<worksheet><sheetData/></worksheet>",
       {{"A4", n("1")}},
       std::nullopt,
       "<worksheet><sheetData><row r=\"4\"><c r=\"A4\"><v>1</v></c></row></sheetData></worksheet>"},
      {"empty sheetData, nothing to write",
       "<worksheet><sheetData /></worksheet>",
       {},
       std::nullopt,
       "<worksheet><sheetData ></sheetData></worksheet>"},
      {"spans widen only for columns outside them",
       sheet("<row r=\"1\" spans=\"1:3\"/><row r=\"2\" spans=\"1:3\"></row>"
             "<row r=\"3\" spans=\"2:3 6:8\"></row><row r=\"4\" spans=\"1-3\"></row>"
             "<row r=\"5\" spans=\"1:3\"></row>"),
       {{"E1", n("1")}, {"B2", n("2")}, {"J3", n("3")}, {"E4", n("4")}},
       std::nullopt,
       sheet("<row r=\"1\" spans=\"1:5\"><c r=\"E1\"><v>1</v></c></row>"
             "<row r=\"2\" spans=\"1:3\"><c r=\"B2\"><v>2</v></c></row>"
             "<row r=\"3\" spans=\"2:10\"><c r=\"J3\"><v>3</v></c></row>"
             "<row r=\"4\" spans=\"1-3\"><c r=\"E4\"><v>4</v></c></row>"
             "<row r=\"5\" spans=\"1:3\"></row>")},
      {"dimension widens",
       sheet("", "<dimension ref=\"A1:C5\"/>"),
       {{"E9", n("1")}},
       std::nullopt,
       sheet("<row r=\"9\"><c r=\"E9\"><v>1</v></c></row>", "<dimension ref=\"A1:E9\"/>")},
      {"dimension inside the range",
       sheet("<row r=\"2\"/>", "<dimension ref='A1:C5'/>"),
       {{"B2", n("1")}},
       std::nullopt,
       sheet("<row r=\"2\"><c r=\"B2\"><v>1</v></c></row>", "<dimension ref='A1:C5'/>")},
      {"dimension of one cell",
       sheet("", "<dimension ref=\"A1\"/>"),
       {{"A1", n("1")}},
       std::nullopt,
       sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "<dimension ref=\"A1\"/>")},
      {"dimension that is not a reference",
       sheet("", "<dimension ref=\"A1:all\"/>"),
       {{"B2", n("1")}},
       std::nullopt,
       sheet("<row r=\"2\"><c r=\"B2\"><v>1</v></c></row>", "<dimension ref=\"A1:all\"/>")},
      {"prefixed sheet",
       "<x:worksheet xmlns:x=\"u\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\"><x:v>1</x:v></x:c>"
       "</x:row></x:sheetData></x:worksheet>",
       {{"B1", s("a<b")}, {"A3", n("3")}},
       std::nullopt,
       "<x:worksheet xmlns:x=\"u\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\"><x:v>1</x:v></x:c>"
       "<x:c r=\"B1\" t=\"inlineStr\"><x:is><x:t>a&lt;b</x:t></x:is></x:c></x:row><x:row r=\"3\">"
       "<x:c r=\"A3\"><x:v>3</x:v></x:c></x:row></x:sheetData></x:worksheet>"},
      {"no sheetData, only clears",
       "<chartsheet><sheetPr/></chartsheet>",
       {{"A1", e()}},
       std::nullopt,
       "<chartsheet><sheetPr/></chartsheet>"},
      // New cells go before the row's extension list, not after it.
      {"row with an extension list",
       sheet("<row r=\"1\"><c r=\"A1\"/><extLst><ext uri=\"u\"><x/></ext></extLst></row>"),
       {{"B1", n("2")}},
       std::nullopt,
       sheet("<row r=\"1\"><c r=\"A1\"/><c r=\"B1\"><v>2</v></c><extLst><ext uri=\"u\"><x/></ext>"
             "</extLst></row>")},
      // A kept value written in single quotes around a double quote stays well-formed.
      {"single-quoted value holding a double quote",
       sheet("<row r=\"1\"><c r=\"A1\" x14ac:note='say \"hi\"' t=\"n\"><v>1</v></c></row>"),
       {{"A1", n("2")}},
       std::nullopt,
       sheet("<row r=\"1\"><c r=\"A1\" x14ac:note=\"say &quot;hi&quot;\"><v>2</v></c></row>")},
  };
  for (const Case& c : cases) {
    const auto pass = rewrite(c.input, c.updates, c.strings);
    ASSERT_TRUE(pass) << c.name << ": " << pass.error().to_string();
    EXPECT_EQ(pass->part, c.expected) << c.name;
    EXPECT_EQ(pass->added, c.added) << c.name;
    EXPECT_EQ(pass->removed, c.removed) << c.name;
  }
}

TEST(WorksheetCellRewriter, AppendsNewStringsOnceToTheTable) {
  const auto pass = rewrite(sheet("<row r=\"1\"/>"),
                            {{"A1", s("new")}, {"B1", s("old")}, {"C1", s("new")}}, kStrings);
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->part, sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\" t=\"s\">"
                              "<v>0</v></c><c r=\"C1\" t=\"s\"><v>1</v></c></row>"));
  EXPECT_EQ(pass->appended, std::vector<std::string>{"new"});
  EXPECT_EQ(pass->added, 3u);
}

TEST(WorksheetCellRewriter, RefusesWhatItCannotPlace) {
  struct Case {
    std::string input;
    std::vector<WorkbookCellUpdate> updates;
    std::string error;
  };
  const Case cases[] = {
      {sheet("<row/>"), {}, "invalid input: worksheet row has no index"},
      {sheet("<row r=\"-1\"></row>"), {}, "invalid input: worksheet row has no index"},
      {sheet("<row r=\"4294967296\"/>"), {}, "invalid input: worksheet row has no index"},
      {sheet("<row r=\"1\"><c s=\"1\"/></row>"),
       {},
       "invalid input: worksheet cell has no reference"},
      {sheet("<row r=\"1\"><c r=\"B2\"/></row>"),
       {},
       "invalid input: worksheet cell reference is outside its row"},
      {sheet("<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c></row>"),
       {{"A1", e()}},
       "invalid input: worksheet cell to update holds a formula"},
      {sheet("<row r=\"1\"><c r=\"A1\"><v>2</v><x:f/></c></row>"),
       {{"A1", n("1")}},
       "invalid input: worksheet cell to update holds a formula"},
      {"<chartsheet/>", {{"A1", n("1")}}, "invalid input: worksheet has no sheetData"},
      // Rows or cells out of order would get a second row or cell of one number.
      {sheet("<row r=\"1\"/><row r=\"3\"/><row r=\"2\"/>"),
       {{"E2", n("1")}},
       "invalid input: worksheet rows are not in ascending order"},
      {sheet("<row r=\"1\"/><row r=\"1\"/>"),
       {},
       "invalid input: worksheet rows are not in ascending order"},
      {sheet("<row r=\"7\"><c r=\"B7\"/><c r=\"A7\"/></row>"),
       {{"A7", n("1")}},
       "invalid input: worksheet cells are not in ascending order in row 7"},
      {sheet("<row r=\"7\"><c r=\"A7\"/><c r=\"$A$7\"/></row>"),
       {},
       "invalid input: worksheet cells are not in ascending order in row 7"},
  };
  for (const Case& c : cases) {
    const auto pass = rewrite(c.input, c.updates);
    ASSERT_FALSE(pass) << c.input;
    EXPECT_EQ(pass.error().to_string(), c.error) << c.input;
  }
  const auto malformed = rewrite(sheet("<row r=\"1\"><c r=\"A1\"></row>"), {});
  ASSERT_FALSE(malformed);
  EXPECT_EQ(malformed.error().kind(), PelvaneError::Kind::Xml);
}

}  // namespace
}  // namespace pelvane
