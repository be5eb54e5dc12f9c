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
// `TopLevelShapeCursor` counts the other way the operations address a shape: the `shape_index`-th
// top-level element of the five shape kinds (`sp`, `pic`, `cxnSp`, `grpSp`, `graphicFrame`), a
// group with everything inside it being one.
//
// The text passes read with the pull lexer (xml/xml_events.hpp) and address elements this way,
// by local name; the authoring operations that add shapes search the text instead for literal
// prefixed tags (pml/shape_tree.hpp), because they splice new markup in without reading the
// rest of the slide.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/pml/shape_tree.hpp"
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

// What counts as a top-level shape. The two readings answer alike on a slide whose shape tree
// holds its shapes directly; they part on a shape inside another element of the tree (an
// alternate-content block) and on a self-closing shape tag.
enum class TopLevel : std::uint8_t {
  // The shape tree's own children (shape deletion): tags of the five kinds directly inside
  // `spTree`, self-closing ones included; a shape inside any other element of the tree is none.
  TreeChildren,
  // Shapes outside every other shape (the geometry edit): start tags of the five kinds that no
  // shape encloses, anywhere in the part; elements that are not shapes do not nest, so the
  // shapes of an alternate-content block count; a self-closing tag never does.
  OutsideShapes,
};

// Where an event lies with respect to the addressed top-level shape.
enum class TopLevelPlace : std::uint8_t {
  Outside,    // not in it
  Addressed,  // its start tag, or its self-closing tag
  Own,        // in it and in no shape nested in it; its end tag is one
  Nested,     // in a shape nested in it
};

class TopLevelShapeCursor {
 public:
  TopLevelShapeCursor(std::uint64_t shape_index, TopLevel reading)
      : shape_index_(shape_index), reading_(reading) {}

  // Every event, in document order, before the pass acts on it.
  TopLevelPlace place(const XmlEvent& event);

  // The addressed shape has been met.
  bool found() const { return found_; }
  // Its start tag has been met and its end tag not yet: a pass that ends here was cut short.
  bool in_shape() const { return shape_depth_ > 0; }

 private:
  // Outside the addressed shape: counts the top-level shapes; true at the addressed one.
  bool counts_addressed(const XmlEvent& event);

  std::uint64_t shape_index_;
  TopLevel reading_;
  std::uint64_t shapes_ = 0;  // top-level shapes met
  std::uint64_t depth_ = 0;   // TreeChildren: elements open in the tree, the tree itself 1;
                              // OutsideShapes: shapes open
  bool in_tree_ = false;      // TreeChildren: inside `spTree`
  bool found_ = false;
  std::uint64_t shape_depth_ = 0;  // shapes open in the addressed one, itself included
};

}  // namespace pelvane
