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
#include "core/package/package_rewrite.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/shapes/xml_auto_shape_builders.hpp"

namespace pelvane {

// What the common frame reports back to the family's operation.
struct ShapeInsertion {
  std::string slide_part;
  std::uint64_t shape_id = 0;  // the shape asked for, not the new group around it
  PackageFacts facts;
};

// Builds the new slide text from the slide's text and the first new shape id.
using SlideShapesRewrite =
    std::function<Result<std::string>(std::string_view slide_xml, std::uint64_t first_id)>;

// The frame of every operation that adds shapes to one slide. In order: create the output's
// parent directories, open the input, find the slide at `slide_index` in presentation order,
// read it, take `id_count` ids from the largest shape id plus one on, run `rewrite` over the
// slide's text, and write the whole package with only that slide replaced. The insertion
// reports the last id taken. Checks that need no package are the caller's, before this is
// called; a failure before the write leaves no output file.
Result<ShapeInsertion> rewrite_slide_with_new_shapes(std::string_view input,
                                                     std::string_view output,
                                                     std::uint64_t slide_index,
                                                     std::uint64_t id_count,
                                                     const SlideShapesRewrite& rewrite);

// Builds the family's fragment for the (first) shape id it is given.
using ShapeFragmentBuilder = std::function<Result<std::string>(std::uint64_t shape_id)>;

// The frame for one fragment spliced into a target (`add_shape_to_target_xml`): the fragment
// takes `fragment_ids` ids from the one it is given, and a new group around it the id before.
// Reports the fragment's last id: the shape asked for, not the new group around it.
Result<ShapeInsertion> insert_shape_into_slide(std::string_view input, std::string_view output,
                                               std::uint64_t slide_index,
                                               const InsertionTarget& target,
                                               const ShapeFragmentBuilder& build_fragment,
                                               std::uint64_t fragment_ids = 1);

// The keys every shape-adding record shares, filled from the insertion.
template <class Record>
Record shape_add_record(std::string_view output, std::uint64_t slide_index,
                        ShapeInsertion inserted) {
  Record record;
  record.path = std::string(output);
  record.slide_index = slide_index;
  record.slide_part = std::move(inserted.slide_part);
  record.shape_id = inserted.shape_id;
  record.part_count = inserted.facts.part_count;
  record.has_vba = inserted.facts.has_vba;
  return record;
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
