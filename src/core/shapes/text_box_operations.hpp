// Text box operations: a text box on the slide or inside a group at each depth, or in a new
// group.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// A text box at the target; without text it holds one empty paragraph, with text one paragraph
// per line.
Result<TextBoxAddSummary> add_slide_text_box_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::optional<std::string_view> text);

}  // namespace pelvane
