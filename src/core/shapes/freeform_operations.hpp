// Freeform operations: a shape drawn from path steps on the slide or inside a group at each
// depth, or in a new group.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"

namespace pelvane {

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
