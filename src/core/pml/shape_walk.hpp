// Walking the shapes of a shape tree by their start tags, without parsing.
//
// Shape elements are "p:sp", "p:pic", "p:graphicFrame", "p:grpSp" and "p:cxnSp", matched with
// the literal "p:" prefix; a start tag counts only when its name is followed by white space, "/"
// or ">", so "p:spTree" and "p:spPr" are never shapes, and only in markup, so a shape written in
// a comment is none.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "core/model/models.hpp"

namespace pelvane {

struct ShapeStart {
  std::size_t offset = 0;
  std::string_view tag;  // one of the five shape element names (static storage)
};

// The earliest shape start tag at or after `from`.
std::optional<ShapeStart> find_next_shape_start(std::string_view text, std::size_t from);

// The top-level shape elements of a shape tree's or group's content, in document order, each
// from its "<" through its end tag as a slice of `text`. Shapes inside a group belong to the
// group's block. An `mc:AlternateContent` element and every shape inside it yield no block. A
// shape whose end tag is missing ends the walk.
std::vector<std::string_view> extract_shape_blocks(std::string_view text);

// The position and size of the first `a:xfrm` start tag at or after `drawing_from`, else of the
// first `p:xfrm` at or after `frame_from`: `a:off` x, y and `a:ext` cx, cy, a missing or
// malformed value read as 0. None when the element, its end, or either child is missing.
std::optional<TransformSummary> first_transform(std::string_view text, std::size_t drawing_from,
                                                std::size_t frame_from);

// The transform of one shape element's text: its first `a:xfrm`, else its first `p:xfrm`.
inline std::optional<TransformSummary> extract_transform(std::string_view text) {
  return first_transform(text, 0, 0);
}

}  // namespace pelvane
