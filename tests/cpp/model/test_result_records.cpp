// The shape-adding result records print the same keys in the same order, family by family,
// while remaining types of their own.
#include <gtest/gtest.h>
#include <string>
#include <type_traits>

#include "core/json/json_out.hpp"
#include "core/model/models.hpp"

namespace pelvane {
namespace {

template <class Record>
std::string printed_shape_record() {
  Record record;
  record.path = "out.pptx";
  record.slide_index = 2;
  record.slide_part = "ppt/slides/slide3.xml";
  if constexpr (requires { record.preset_geometry; }) record.preset_geometry = "rect";
  record.shape_id = 9;
  record.part_count = 12;
  record.has_vba = true;
  return to_json(record).value();
}

TEST(ResultRecords, ShapeRecordsShareTheirKeysButNotTheirType) {
  const std::string six_keys =
      "{\n  \"path\": \"out.pptx\",\n  \"slide_index\": 2,\n"
      "  \"slide_part\": \"ppt/slides/slide3.xml\",\n  \"shape_id\": 9,\n"
      "  \"part_count\": 12,\n  \"has_vba\": true\n}";
  EXPECT_EQ(printed_shape_record<TextBoxAddSummary>(), six_keys);
  EXPECT_EQ(printed_shape_record<GroupShapeAddSummary>(), six_keys);
  EXPECT_EQ(printed_shape_record<FreeformShapeAddSummary>(), six_keys);

  const std::string with_preset =
      "{\n  \"path\": \"out.pptx\",\n  \"slide_index\": 2,\n"
      "  \"slide_part\": \"ppt/slides/slide3.xml\",\n  \"preset_geometry\": \"rect\",\n"
      "  \"shape_id\": 9,\n  \"part_count\": 12,\n  \"has_vba\": true\n}";
  EXPECT_EQ(printed_shape_record<AutoShapeAddSummary>(), with_preset);
  EXPECT_EQ(printed_shape_record<ConnectorAddSummary>(), with_preset);

  static_assert(!std::is_same_v<TextBoxAddSummary, GroupShapeAddSummary>);
  static_assert(!std::is_same_v<GroupShapeAddSummary, FreeformShapeAddSummary>);
  static_assert(!std::is_same_v<AutoShapeAddSummary, ConnectorAddSummary>);
}

}  // namespace
}  // namespace pelvane
