// Placeholder operations: placeholder shapes added to a slide, one by one, from a list, or all
// of a layout's.
//
// Each writes every entry again (unchanged ones keep their content, time and mode reset) and
// reports the part count and macro flag of the written package as read back from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"

namespace pelvane {

Result<PlaceholderShapeAddSummary> add_slide_placeholder_shape(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::optional<std::string_view> placeholder_type,
    std::optional<std::string_view> placeholder_orient,
    std::optional<std::string_view> placeholder_size,
    std::optional<std::string_view> placeholder_idx);

// An empty list fails with `InvalidInput` "at least one placeholder shape is required" before
// anything is created.
Result<PlaceholderShapeBatchAddSummary> add_slide_placeholder_shapes(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::span<const PlaceholderShapeSpec> placeholders);

// Checks the slide index, then the layout ("slide layout index {0} was not found",
// "slide layout part {0} was not found"), then reads the slide.
Result<PlaceholderShapeBatchAddSummary> add_slide_layout_placeholders(std::string_view input,
                                                                      std::string_view output,
                                                                      std::uint64_t slide_index,
                                                                      std::uint64_t layout_index);

}  // namespace pelvane
