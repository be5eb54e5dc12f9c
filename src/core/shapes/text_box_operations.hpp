// Text box operations: a text box on the slide or inside a group at each depth, or in a new
// group.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

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
