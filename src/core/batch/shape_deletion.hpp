// Removing shapes from a slide's XML for the edit batch: a top-level shape of the shape tree by
// its position, or a direct child of a group by shape ids. Both are one streaming pass that
// copies every other event as read, and report the relationship ids that the removed shape
// referenced and that nothing left in the slide references, so that the caller can prune them
// from the slide's relationships part.
//
// Elements are recognised by local name, whatever their prefix. Shape elements are `sp`, `pic`,
// `cxnSp`, `grpSp` and `graphicFrame`. A removed shape takes everything inside it along.
//
// A shape that the slide's animations target (an attribute named `spid` naming its id or the id
// of a shape inside it, as in `p:spTgt`, `p:bldP` or `p:bldGraphic`) is not removed: the timing
// tree would point at a shape that no longer exists. InvalidInput
// "shape id {0} is the target of an animation" names the first such removed id in document
// order.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

struct ShapeDeletion {
  std::string bytes;                // the new slide XML
  std::set<std::string> prune_ids;  // ids the removed shape used and the slide no longer does
};

// Removes the `shape_index`-th top-level shape: the shape elements that are direct children of
// `spTree`, in document order, a group counting as one (wrappers such as `AlternateContent`,
// and everything deeper, are not counted). Failures: InvalidInput "shape index {0} was not
// found"; XmlTextDecode "unexpected EOF while deleting shape" when the input ends inside the
// removed shape.
Result<ShapeDeletion> delete_shape_at_index_in_slide(std::string_view xml,
                                                     std::uint64_t shape_index);

// Removes, from every group (`grpSp` at any depth) whose own `cNvPr` id is `group_shape_id`,
// the direct child shape whose first `cNvPr` id is `child_shape_id`. A direct child written as
// one self-closing tag has no id and stays. Failures: InvalidInput "group shape id {0} was not
// found", "group child shape id {0} was not found in group {1}"; XmlTextDecode
// "unexpected EOF while reading group child shape" when the input ends inside a child.
Result<ShapeDeletion> delete_group_shape_child_in_slide(std::string_view xml,
                                                        std::uint64_t group_shape_id,
                                                        std::uint64_t child_shape_id);

}  // namespace pelvane
