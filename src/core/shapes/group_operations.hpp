// Group operations: an empty group on the slide or inside a group at each depth, and the
// gathering of existing children of a group at each depth into a new group. Each takes the
// largest shape id plus one for the new group and reports it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// An empty group as the last shape of the target (the slide's shape tree or a group).
Result<GroupShapeAddSummary> add_slide_group_shape_with_target(std::string_view input,
                                                               std::string_view output,
                                                               std::uint64_t slide_index,
                                                               const InsertionTarget& target);

// The listed direct children of the target's group moved into a new group, its last child (see
// `group_existing_group_children_xml`).
Result<GroupShapeAddSummary> group_slide_existing_children_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::span<const std::uint64_t> child_indices);

}  // namespace pelvane
