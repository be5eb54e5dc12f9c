// Adding shapes to one slide: the common frame shared by every shape family, and the auto
// shape, text box and freeform operations at each insertion target.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"
#include "core/package/slide_edit.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/shapes/xml_auto_shape_builders.hpp"

namespace pelvane {

// Builds the family's fragment for the (first) shape id it is given.
using ShapeFragmentBuilder = std::function<Result<std::string>(std::uint64_t shape_id)>;

// The frame of every operation that adds one fragment to one slide. In order: create the
// output's parent directories, open the input, find the slide at `slide_index` in presentation
// order, read it, insert the fragment at the target with new ids (`insert_new_shape`: the
// fragment takes `fragment_ids` of them), and write the whole package with only that slide
// replaced. The edit's value is the fragment's last id: the shape asked for, not the new group
// around it. Checks that need no package are the caller's, before this is called; a failure
// before the write leaves no output file.
Result<Edited<std::uint64_t>> insert_shape_into_slide(std::string_view input,
                                                      std::string_view output,
                                                      std::uint64_t slide_index,
                                                      const InsertionTarget& target,
                                                      const ShapeFragmentBuilder& build_fragment,
                                                      std::uint64_t fragment_ids = 1);

// The record of a shape-adding operation: `record` (holding the family's own keys) with the
// shape id the insertion reports and the keys every record shares (`finish_record`).
template <class Record>
Record shape_record(std::string_view output, const Edited<std::uint64_t>& edited,
                    Record record = {}) {
  record.shape_id = edited.value;
  return finish_record(std::move(record), output, edited);
}

// ---- Auto shapes ----

// On the slide's shape tree, with an optional text and adjustment guides.
Result<AutoShapeAddSummary> add_slide_auto_shape_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::string_view preset_geometry, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::optional<std::string_view> text,
    std::span<const AdjustmentGuide> adjustment_guides);

Result<AutoShapeAddSummary> add_slide_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

Result<AutoShapeAddSummary> add_slide_nested_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::string_view preset_geometry, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

Result<AutoShapeAddSummary> add_slide_deeper_nested_group_auto_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

// In a new group placed as the last child of the `group_index`-th top-level group.
Result<AutoShapeAddSummary> add_slide_nested_group_auto_shape_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

// ---- Text boxes ----

Result<TextBoxAddSummary> add_slide_text_box_impl(std::string_view input, std::string_view output,
                                                  std::uint64_t slide_index, std::uint64_t x_emu,
                                                  std::uint64_t y_emu, std::uint64_t cx_emu,
                                                  std::uint64_t cy_emu,
                                                  std::optional<std::string_view> text);

Result<TextBoxAddSummary> add_slide_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text);

Result<TextBoxAddSummary> add_slide_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

Result<TextBoxAddSummary> add_slide_deeper_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text);

Result<TextBoxAddSummary> add_slide_nested_group_text_box_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text);

// ---- Freeform shapes ----

// On the slide's shape tree; the text absent or given.
Result<FreeformShapeAddSummary> add_slide_freeform_shape_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations,
    std::optional<std::string_view> text);

Result<FreeformShapeAddSummary> add_slide_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text);

Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::int64_t x_emu,
    std::int64_t y_emu, std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w,
    std::int64_t path_h, std::span<const FreeformPathOperation> operations, std::string_view text);

Result<FreeformShapeAddSummary> add_slide_deeper_nested_group_freeform_shape_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::int64_t x_emu, std::int64_t y_emu,
    std::int64_t cx_emu, std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text);

// In a new group placed as the last child of the `group_index`-th top-level group.
Result<FreeformShapeAddSummary> add_slide_nested_group_freeform_shape_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::string_view text);

}  // namespace pelvane
