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
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// A freeform at the target; the text absent or given.
Result<FreeformShapeAddSummary> add_slide_freeform_shape_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::optional<std::string_view> text);

// The operation at each kind of target: the target's group indexes follow the slide index.
inline constexpr auto add_slide_freeform_shape_impl =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_freeform_shape_in_new_group_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::NewGroupInGroup>;

}  // namespace pelvane
