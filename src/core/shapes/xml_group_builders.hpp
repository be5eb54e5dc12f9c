// Group shapes: an empty group, and the gathering of existing children of a group into a new
// group whose frame is computed from theirs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// The empty group "Group {id - 1}" with an all-zero transform.
inline std::string empty_group_shape_xml(std::uint64_t group_id) {
  return group_shape_with_child_xml(group_id, "");
}

// The slide text with the listed direct children of the addressed group moved into a new group
// "Group {id - 1}", which becomes that group's last child. In order of checks: an empty list
// ("at least one group child is required"), the group's lookup, each listed child ("group child
// index {0} was not found", "selected group child is missing transform"), the group's closing
// tag ("group shape XML is missing </p:grpSp>").
//
// The children keep their own XML and their places on the slide: the new group's offset and
// child offset are the smallest child x and y, its extent and child extent reach the largest
// child right and bottom edge (64-bit, wrapping). They stand in it in list order; an index
// listed again is passed over, so each child is moved once. Everything else of the container,
// the white space between children and its own transform included, is kept byte for byte; a
// trailing extension list of the container stays its last child.
Result<std::string> group_existing_group_children_xml(std::string_view slide_xml,
                                                      const GroupAddress& container,
                                                      std::span<const std::uint64_t> child_indices,
                                                      std::uint64_t group_id);

}  // namespace pelvane
