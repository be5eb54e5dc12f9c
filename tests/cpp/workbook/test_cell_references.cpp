#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "core/workbook/cell_references.hpp"

namespace pelvane {
namespace {

TEST(CellReference, ParsesA1ReferencesAndRefusesEverythingElse) {
  struct Case {
    std::string_view text;
    std::optional<CellPosition> position;
  };
  const Case cases[] = {
      {"B3", CellPosition{3, 2}},
      {"b3", CellPosition{3, 2}},
      {"$AA$10", CellPosition{10, 27}},
      {"A$1", CellPosition{1, 1}},
      {"A1$", CellPosition{1, 1}},
      {"A007", CellPosition{7, 1}},
      {"XFD1048576", CellPosition{1048576, 16384}},
      {"ZZZ1", CellPosition{1, 18278}},
      {"A4294967295", CellPosition{4294967295u, 1}},
      {"A0", std::nullopt},
      {"A00", std::nullopt},
      {"AAAA1", std::nullopt},
      {"1A", std::nullopt},
      {"A1B", std::nullopt},
      {" A1", std::nullopt},
      {"A1 ", std::nullopt},
      {"A-1", std::nullopt},
      {"A", std::nullopt},
      {"$", std::nullopt},
      {"", std::nullopt},
      {"\xC3\x84"
       "1",
       std::nullopt},
      {"A4294967296", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_cell_reference(c.text), c.position) << c.text;
}

TEST(CellReference, WritesColumnLettersAndRow) {
  EXPECT_EQ(cell_reference(1, 1), "A1");
  EXPECT_EQ(cell_reference(10, 27), "AA10");
  EXPECT_EQ(cell_reference(5, 702), "ZZ5");
  EXPECT_EQ(cell_reference(5, 703), "AAA5");
  EXPECT_EQ(cell_reference(7, 0), "7");
  for (std::uint32_t row : {1u, 99u, 1048576u, 4294967295u}) {
    for (std::uint32_t column = 1; column <= 18278; ++column) {
      const auto back = parse_cell_reference(cell_reference(row, column));
      ASSERT_EQ(back, (CellPosition{row, column})) << row << " " << column;
    }
  }
}

// The plan's failure for one update, or "" when it is accepted.
std::string plan_error(std::vector<WorkbookCellUpdate> updates) {
  const auto plan = plan_workbook_cell_updates(updates);
  return plan ? "" : plan.error().to_string();
}

TEST(WorkbookCellPlan, ChecksNumbersBeforeAnythingIsRead) {
  const char* accepted[] = {"12",
                            "-3.5",
                            "+.5",
                            "5.",
                            "1.e3",
                            "2E-3",
                            "-0",
                            "1e-400",
                            "007",
                            "1e3",
                            "1.7976931348623158e308",
                            "-1.7976931348623158e308",
                            "0e999999999999999999999",
                            "0.0000000000000000000000000000001e-400"};
  for (const char* number : accepted) {
    EXPECT_EQ(plan_error({{"B2", WorkbookCellValue::number(number)}}), "") << number;
  }
  const char* refused[] = {"",
                           " 1",
                           "1 ",
                           "1,5",
                           "0x10",
                           "1e",
                           "e5",
                           ".",
                           "inf",
                           "NaN",
                           "Infinity",
                           "-inf",
                           "1e309",
                           "+",
                           "1.7976931348623159e308",
                           "-1e309",
                           "1e99999999999999999999",
                           "1..2",
                           "1e+",
                           "++1",
                           "1e5.5"};
  for (const char* number : refused) {
    EXPECT_EQ(plan_error({{"B2", WorkbookCellValue::number(number)}}),
              std::string("invalid input: cell B2 value is not a finite number: ") + number)
        << number;
  }
}

TEST(WorkbookCellPlan, ReportsTheFirstFaultOfEachUpdateInOrder) {
  struct Case {
    std::vector<WorkbookCellUpdate> updates;
    std::string error;
  };
  const Case cases[] = {
      {{{"A0", WorkbookCellValue::number("x")}}, "invalid input: invalid cell reference: A0"},
      {{{"$A$0", WorkbookCellValue::clear()}}, "invalid input: invalid cell reference: $A$0"},
      {{{"b2", WorkbookCellValue::number("1,5")}},
       "invalid input: cell b2 value is not a finite number: 1,5"},
      {{{"A1", WorkbookCellValue::string("ok")}, {"A2", WorkbookCellValue::string("bell\a")}},
       "invalid input: text contains a character that XML cannot hold: U+0007"},
      {{{"A1", WorkbookCellValue::string("\xEF\xBF\xBE")}},
       "invalid input: text contains a character that XML cannot hold: U+FFFE"},
      {{{"1A", WorkbookCellValue::string("\a")}}, "invalid input: invalid cell reference: 1A"},
      {{{"A1", WorkbookCellValue::string("tab\tline\ncr\r")},
        {"A1", WorkbookCellValue::string("")}},
       ""},
  };
  for (const Case& c : cases) EXPECT_EQ(plan_error(c.updates), c.error);
}

TEST(WorkbookCellPlan, KeepsTheLastUpdateOfEachCellInPositionOrder) {
  struct Write {
    CellPosition position;
    WorkbookCellValue value;
  };
  struct Case {
    std::vector<WorkbookCellUpdate> updates;
    std::vector<Write> writes;
    std::set<CellPosition> clears;
  };
  const auto n = WorkbookCellValue::number;
  const auto s = WorkbookCellValue::string;
  const Case cases[] = {
      {{}, {}, {}},
      {{{"B2", n("5")}, {"b2", WorkbookCellValue::clear()}, {"$B$2", s("x")}},
       {{{2, 2}, s("x")}},
       {}},
      {{{"A1", n("1")}, {"a$1", WorkbookCellValue::clear()}}, {}, {{1, 1}}},
      {{{"A1", WorkbookCellValue::clear()}, {"A01", n("2")}}, {{{1, 1}, n("2")}}, {}},
      {{{"A1", n("1")}, {"A1", n("2")}}, {{{1, 1}, n("2")}}, {}},
      {{{"C1", n("1")},
        {"A2", s("a")},
        {"B1", n("-0")},
        {"A2", WorkbookCellValue::clear()},
        {"A2", WorkbookCellValue::clear()}},
       {{{1, 2}, n("-0")}, {{1, 3}, n("1")}},
       {{2, 1}}},
  };
  for (const Case& c : cases) {
    const auto plan = plan_workbook_cell_updates(c.updates);
    ASSERT_TRUE(plan) << plan.error().to_string();
    ASSERT_EQ(plan->writes.size(), c.writes.size());
    for (std::size_t i = 0; i < c.writes.size(); ++i) {
      EXPECT_EQ(plan->writes[i].position, c.writes[i].position);
      EXPECT_EQ(*plan->writes[i].value, c.writes[i].value);
    }
    EXPECT_EQ(plan->clears, c.clears);
  }
}

TEST(WorkbookCellPlan, BorrowsTheCallersValues) {
  const std::vector<WorkbookCellUpdate> updates = {{"A1", WorkbookCellValue::string("kept")}};
  const auto plan = plan_workbook_cell_updates(updates);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->writes.at(0).value, &updates[0].value);
}

}  // namespace
}  // namespace pelvane
