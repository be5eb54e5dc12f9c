// How every streaming text pass of a slide finds the shape it addresses: one cursor fed with
// the slide's start and end tags, in order, which says when the pass is inside that shape.
//
// Elements are recognised by local name, whatever their prefix. Only `sp` start tags count as
// shapes (self-closing ones, pictures, connectors, frames and groups never do), numbered from 0
// in document order. Two ways of addressing one:
//   - a shape of the slide: the `shape_index`-th `sp` at any depth, inside groups included;
//   - a child of a group: the `child_index`-th `sp` directly inside the `group_index`-th group,
//     groups being the `grpSp` start tags numbered at any depth (a group before the groups
//     inside it), and a shape inside a group nested in the addressed one not being its child.
// The addressed shape lasts up to the first `sp` end tag after its start tag.
//
// The text passes read with the pull lexer (xml/xml_events.hpp) and address elements this way,
// by local name; the authoring operations that add shapes search the text instead for literal
// prefixed tags (pml/shape_tree.hpp), because they splice new markup in without reading the
// rest of the slide.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/xml/xml_events.hpp"

namespace pelvane {

// The passes differ on purpose in one point: the formatting passes leave the addressed shape at
// the next `sp` start tag, even one inside it (markup the schema does not allow); the text
// passes stay in it until its end tag.
struct ShapeCounting {
  bool next_shape_leaves = false;
};

// What a start tag is to the addressed shape.
enum class ShapeStart : std::uint8_t {
  Other,      // not a counted shape, or one outside the addressed shape
  Addressed,  // the addressed shape's own start tag
  // A counted shape's start tag inside the addressed shape (the text passes only); the passes
  // that count paragraphs count them afresh from there.
  Inner,
};

class ShapeCursor {
 public:
  // The `shape_index`-th shape of the slide.
  static ShapeCursor shape(std::uint64_t shape_index, ShapeCounting counting = {}) {
    return ShapeCursor(std::nullopt, shape_index, counting);
  }
  // The `child_index`-th direct child of the `group_index`-th group.
  static ShapeCursor group_child(std::uint64_t group_index, std::uint64_t child_index) {
    return ShapeCursor(group_index, child_index, {});
  }

  // Every start tag (other events are `Other`), in document order, before the pass acts on it.
  ShapeStart start(const XmlEvent& event) {
    return event.is_start() ? start(event, event.local_name()) : ShapeStart::Other;
  }
  // The same for a pass that has read the tag's local name already.
  ShapeStart start(const XmlEvent& event, std::string_view name) {
    if (!event.is_start()) return ShapeStart::Other;
    if (group_index_) {
      if (name == "grpSp") {
        if (group_depth_ > 0) ++group_depth_;
        if (groups_++ == *group_index_) {
          group_depth_ = 1;
          shapes_ = 0;
        }
        return ShapeStart::Other;
      }
      if (group_depth_ != 1) return ShapeStart::Other;
    }
    if (name != "sp") return ShapeStart::Other;
    if (shapes_++ == shape_index_) {
      in_shape_ = true;
      return ShapeStart::Addressed;
    }
    if (counting_.next_shape_leaves) in_shape_ = false;
    return in_shape_ ? ShapeStart::Inner : ShapeStart::Other;
  }

  // Every end tag, after the pass has handled it.
  void end(const XmlEvent& event) {
    // Outside the addressed shape and group no end tag matters (most of a slide).
    if (!event.is_end() || (!in_shape_ && group_depth_ == 0)) return;
    const std::string_view name = event.local_name();
    if (in_shape_ && name == "sp")
      in_shape_ = false;
    else if (group_depth_ > 0 && name == "grpSp")
      --group_depth_;
  }

  bool in_shape() const { return in_shape_; }

 private:
  ShapeCursor(std::optional<std::uint64_t> group_index, std::uint64_t shape_index,
              ShapeCounting counting)
      : group_index_(group_index), shape_index_(shape_index), counting_(counting) {}

  std::optional<std::uint64_t> group_index_;  // none: a shape of the slide
  std::uint64_t shape_index_;
  ShapeCounting counting_;
  std::uint64_t shapes_ = 0;       // shapes counted so far (of the addressed group)
  std::uint64_t groups_ = 0;       // groups met so far
  std::uint64_t group_depth_ = 0;  // 1 directly inside the addressed group, 0 outside it
  bool in_shape_ = false;
};

}  // namespace pelvane
