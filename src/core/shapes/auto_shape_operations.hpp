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
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// An auto shape at the target, with an optional text and adjustment guides.
Result<AutoShapeAddSummary> add_slide_auto_shape_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu,
    std::optional<std::string_view> text, std::span<const AdjustmentGuide> adjustment_guides);

}  // namespace pelvane
