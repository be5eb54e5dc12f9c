// Adding one shape to one slide: the common frame shared by every shape family, and the auto
// shape and text box operations at each insertion target.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
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

// Builds the family's fragment for the shape id it is given.
using ShapeFragmentBuilder = std::function<Result<std::string>(std::uint64_t shape_id)>;

// The frame of every operation that adds one shape fragment to one slide. In order: create the
// output's parent directories, open the input, find the slide at `slide_index` in presentation
// order, read it, allocate the id (the largest shape id plus one; plus two when the target
// wraps the shape in a new group), splice the fragment into the target, and write the whole
// package with only that slide replaced. Checks that need no package are the caller's, before
// this is called; a failure before the write leaves no output file.
Result<ShapeInsertion> insert_shape_into_slide(std::string_view input, std::string_view output,
                                               std::uint64_t slide_index,
                                               const InsertionTarget& target,
                                               const ShapeFragmentBuilder& build_fragment);

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

}  // namespace pelvane
