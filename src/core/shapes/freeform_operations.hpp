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

}  // namespace pelvane
