#include "core/shapes/package_mutation_shapes.hpp"

#include "core/shapes/xml_freeform_builders.hpp"
#include "core/shapes/xml_text_box_builders.hpp"

namespace pelvane {

namespace {

Result<AutoShapeAddSummary> add_auto_shape(std::string_view input, std::string_view output,
                                           std::uint64_t slide_index, const InsertionTarget& target,
                                           const AutoShapeArgs& args) {
  // A refused preset touches nothing on disk.
  auto display_name = PELVANE_TRY(auto_shape_display_name(args.preset_geometry));
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return auto_shape_xml(shape_id, display_name, args); }));
  AutoShapeAddSummary record;
  record.preset_geometry = std::string(args.preset_geometry);
  return shape_record(output, edited, std::move(record));
}

Result<FreeformShapeAddSummary> add_freeform(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index,
                                             const InsertionTarget& target,
                                             const FreeformArgs& args) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return freeform_shape_xml(shape_id, args); }));
  return shape_record<FreeformShapeAddSummary>(output, edited);
}

Result<TextBoxAddSummary> add_text_box(std::string_view input, std::string_view output,
                                       std::uint64_t slide_index, const InsertionTarget& target,
                                       const TextBoxArgs& args) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return text_box_shape_xml(shape_id, args); }));
  return shape_record<TextBoxAddSummary>(output, edited);
}

}  // namespace

Result<Edited<std::uint64_t>> insert_shape_into_slide(std::string_view input,
                                                      std::string_view output,
                                                      std::uint64_t slide_index,
                                                      const InsertionTarget& target,
                                                      const ShapeFragmentBuilder& build_fragment,
                                                      std::uint64_t fragment_ids) {
  return edit_slide(input, output, slide_index, EditOptions{},
                    [&](SlideEdit& slide) -> Result<std::uint64_t> {
                      return insert_new_shape(slide.xml(), target, build_fragment, fragment_ids);
                    });
}

Result<AutoShapeAddSummary> add_slide_auto_shape_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::string_view preset_geometry, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::optional<std::string_view> text,
    std::span<const AdjustmentGuide> adjustment_guides) {
  return add_auto_shape(
      input, output, slide_index, InsertionTarget::slide(),
      AutoShapeArgs{preset_geometry, x_emu, y_emu, cx_emu, cy_emu, text, adjustment_guides});
}

Result<AutoShapeAddSummary> add_slide_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_auto_shape(input, output, slide_index, InsertionTarget::group(group_index),
                        AutoShapeArgs{preset_geometry, x_emu, y_emu, cx_emu, cy_emu, text, {}});
}

Result<AutoShapeAddSummary> add_slide_nested_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::string_view preset_geometry, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_auto_shape(input, output, slide_index,
                        InsertionTarget::nested_group(group_index, nested_group_child_index),
                        AutoShapeArgs{preset_geometry, x_emu, y_emu, cx_emu, cy_emu, text, {}});
}

Result<AutoShapeAddSummary> add_slide_deeper_nested_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_auto_shape(input, output, slide_index,
                        InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                                             deeper_group_child_index),
                        AutoShapeArgs{preset_geometry, x_emu, y_emu, cx_emu, cy_emu, text, {}});
}

Result<AutoShapeAddSummary> add_slide_nested_group_auto_shape_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_auto_shape(input, output, slide_index,
                        InsertionTarget::new_group_in_group(group_index),
                        AutoShapeArgs{preset_geometry, x_emu, y_emu, cx_emu, cy_emu, text, {}});
}

Result<TextBoxAddSummary> add_slide_text_box_impl(std::string_view input, std::string_view output,
                                                  std::uint64_t slide_index, std::uint64_t x_emu,
                                                  std::uint64_t y_emu, std::uint64_t cx_emu,
                                                  std::uint64_t cy_emu,
                                                  std::optional<std::string_view> text) {
  return add_text_box(input, output, slide_index, InsertionTarget::slide(),
                      TextBoxArgs{x_emu, y_emu, cx_emu, cy_emu, text});
}

Result<TextBoxAddSummary> add_slide_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index, InsertionTarget::group(group_index),
                      TextBoxArgs{x_emu, y_emu, cx_emu, cy_emu, text});
}

Result<TextBoxAddSummary> add_slide_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index,
                      InsertionTarget::nested_group(group_index, nested_group_child_index),
                      TextBoxArgs{x_emu, y_emu, cx_emu, cy_emu, text});
}

Result<TextBoxAddSummary> add_slide_deeper_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index,
                      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                                           deeper_group_child_index),
                      TextBoxArgs{x_emu, y_emu, cx_emu, cy_emu, text});
}

Result<TextBoxAddSummary> add_slide_nested_group_text_box_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index, InsertionTarget::new_group_in_group(group_index),
                      TextBoxArgs{x_emu, y_emu, cx_emu, cy_emu, text});
}

Result<FreeformShapeAddSummary> add_slide_freeform_shape_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations,
    std::optional<std::string_view> text) {
  return add_freeform(input, output, slide_index, InsertionTarget::slide(),
                      FreeformArgs{x_emu, y_emu, cx_emu, cy_emu, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index, InsertionTarget::group(group_index),
                      FreeformArgs{x_emu, y_emu, cx_emu, cy_emu, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index,
                      InsertionTarget::nested_group(group_index, nested_group_child_index),
                      FreeformArgs{x_emu, y_emu, cx_emu, cy_emu, path_w, path_h, operations, text});
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
                      FreeformArgs{x_emu, y_emu, cx_emu, cy_emu, path_w, path_h, operations, text});
}

Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text) {
  return add_freeform(input, output, slide_index, InsertionTarget::new_group_in_group(group_index),
                      FreeformArgs{x_emu, y_emu, cx_emu, cy_emu, path_w, path_h, operations, text});
}

}  // namespace pelvane
