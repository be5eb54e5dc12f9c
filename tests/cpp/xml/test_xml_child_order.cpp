#include <gtest/gtest.h>

#include "core/pml/slide_child_order.hpp"
#include "core/workbook/sheet_child_order.hpp"
#include "core/xml/xml_child_order.hpp"

namespace pelvane {
namespace {

TEST(ChildOrder, NewChildStopsOnlyBeforeKnownChildrenRankedAfterIt) {
  struct Case {
    std::span<const ChildRank> table;
    std::string_view new_child;
    std::string_view kept_child;
    bool before;
  };
  const Case cases[] = {
      {kParagraphChildren, "r", "endParaRPr", true},
      {kParagraphChildren, "r", "fld", false},
      {kParagraphChildren, "r", "AlternateContent", false},
      {kCharacterPropertiesChildren, "latin", "ea", true},
      {kCharacterPropertiesChildren, "latin", "solidFill", false},
      {kCharacterPropertiesChildren, "solidFill", "ln", false},
      {kCharacterPropertiesChildren, "solidFill", "effectLst", true},
      {kParagraphPropertiesChildren, "lnSpc", "spcAft", true},
      {kParagraphPropertiesChildren, "defRPr", "extLst", true},
      {kBodyPropertiesChildren, "normAutofit", "prstTxWarp", false},
      {kBodyPropertiesChildren, "normAutofit", "scene3d", true},
      {kTableRowChildren, "tc", "extLst", true},
      {kSharedStringsChildren, "si", "extLst", true},
      {kSheetRowChildren, "c", "extLst", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(goes_before(c.table, rank_of(c.table, c.new_child), c.kept_child), c.before)
        << c.new_child << " vs " << c.kept_child;
  }
}

}  // namespace
}  // namespace pelvane
