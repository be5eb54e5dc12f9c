// Shape summaries: the shape tree of one slide as `ShapeSummary` records, groups nested.
//
// A shape is handled as its exact XML text (its block), cut out of the slide by the shape walk.
// Most fields come from substring searches over the block and the paragraph lists from one
// lexer pass over it; every search covers the whole block, so a group's summary also holds what
// its children hold. Nothing here fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/model/models.hpp"
#include "core/pml/shape_walk.hpp"  // extract_transform

namespace pelvane {

// What a group hands its children so that they land in slide coordinates: its own effective
// offset and extent, and its child offset and extent (`a:chOff`, `a:chExt`).
struct ChildTransformMapping {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t cx = 0;
  std::int64_t cy = 0;
  std::int64_t child_x = 0;
  std::int64_t child_y = 0;
  std::int64_t child_cx = 0;
  std::int64_t child_cy = 0;
};

// Groups nested deeper than this many levels are still summarised themselves, but their
// children are not descended into: a hostile slide of endlessly nested groups must not exhaust
// the stack while the summary is built, printed or released.
inline constexpr std::size_t kMaxGroupNesting = 256;

// The top-level shapes of the first `p:spTree` of a slide decoded as text (invalid UTF-8
// already U+FFFD), in document order, written over `shapes`, which may hold an earlier slide's
// shapes: their lists and texts keep their storage for the new values. No tree, or a tree
// without its end tag: an empty list.
void extract_shapes_in_text(std::string_view slide_text, std::vector<ShapeSummary>& shapes);

// `transform` placed through a group's mapping: each axis scaled from the child extent to the
// group's extent (rounded half away from zero) and moved to the group's offset; an axis whose
// child extent is 0 is only moved.
TransformSummary map_child_transform(const TransformSummary& transform,
                                     const ChildTransformMapping& mapping);

}  // namespace pelvane
