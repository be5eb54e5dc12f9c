// Group operations: an empty group on the slide or inside a group at each depth, and the
// gathering of existing children of a group at each depth into a new group. Each takes the
// largest shape id plus one for the new group and reports it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// An empty group on the slide's shape tree.
Result<GroupShapeAddSummary> add_slide_group_shape(std::string_view input, std::string_view output,
                                                   std::uint64_t slide_index);

// An empty group as the last child of the `group_index`-th top-level group.
Result<GroupShapeAddSummary> add_slide_nested_group_shape(std::string_view input,
                                                          std::string_view output,
                                                          std::uint64_t slide_index,
                                                          std::uint64_t group_index);

Result<GroupShapeAddSummary> add_slide_group_shape_to_nested_group(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index);

Result<GroupShapeAddSummary> add_slide_group_shape_to_deeper_nested_group(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index);

// The listed direct children of the `group_index`-th top-level group moved into a new group,
// its last child (see `group_existing_group_children_xml`).
Result<GroupShapeAddSummary> group_slide_existing_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::span<const std::uint64_t> child_indices);

Result<GroupShapeAddSummary> group_slide_existing_nested_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::span<const std::uint64_t> child_indices);

Result<GroupShapeAddSummary> group_slide_existing_deeper_nested_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::span<const std::uint64_t> child_indices);

}  // namespace pelvane
