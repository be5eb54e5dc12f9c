#include "core/shapes/freeform_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_freeform_builders.hpp"

namespace pelvane {

namespace {

Result<FreeformShapeAddSummary> add_freeform(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index,
                                             const InsertionTarget& target,
                                             const FreeformArgs& args) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return freeform_shape_xml(shape_id, args); }));
  return shape_record<FreeformShapeAddSummary>(output, edited);
}

}  // namespace

Result<FreeformShapeAddSummary> add_slide_freeform_shape_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations,
    std::optional<std::string_view> text) {
  return add_freeform(input, output, slide_index, InsertionTarget::slide(),
                      FreeformArgs{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index, InsertionTarget::group(group_index),
                      FreeformArgs{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index,
                      InsertionTarget::nested_group(group_index, nested_group_child_index),
                      FreeformArgs{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_deeper_nested_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::int64_t x_emu, std::int64_t y_emu,
    std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index,
                      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                                           deeper_group_child_index),
                      FreeformArgs{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index, InsertionTarget::new_group_in_group(group_index),
                      FreeformArgs{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text});
}

}  // namespace pelvane
