// Auto shape operations: a preset shape on the slide or inside a group at each depth, or in a
// new group; a refused preset touches nothing on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"

namespace pelvane {

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

}  // namespace pelvane
