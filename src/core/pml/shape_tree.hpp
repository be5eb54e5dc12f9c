// Shape-tree navigation for authoring: shape ids, group lookup by index, and the one splice
// routine that places a new shape fragment at any insertion target of a slide.
//
// Everything here works on the slide part as text. Positions are byte offsets into it; a range
// runs from an element's "<" to just past its closing tag. The searches match the literal
// prefixed names ("p:sp", "p:grpSp", "</p:spTree>", ...), so only slides that bind the
// PresentationML namespace to "p:" are navigated; they find tags in markup only, never in
// comments, CDATA sections or processing instructions (xml/markup_search.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// The largest `id` of any `p:cNvPr` start tag in markup, at any depth; 0 when there is none.
// The value is that of the attribute named `id` itself (not one whose name merely ends in "id",
// nor text inside another attribute's value), either quote, references resolved; values that
// are not unsigned 64-bit decimals (an optional "+" then digits) are ignored.
std::uint64_t max_cnvpr_id(std::string_view slide_xml);

// The id for the next new shape: `max_cnvpr_id` plus one. An operation that adds several shapes
// takes the ids after it in turn (`insert_new_shape`). A slide whose largest id plus `ids_taken`
// (at least two) would pass the 64-bit limit is refused with "shape id space is exhausted"
// rather than wrapping around to 0.
Result<std::uint64_t> next_shape_id(std::string_view slide_xml, std::uint64_t ids_taken = 2);

// True exactly for the local names of the five shape elements: sp, pic, cxnSp, grpSp,
// graphicFrame (byte for byte, case-sensitive).
bool is_shape_element_name(std::string_view local_name);

// The id carried by a `cNvPr` start or empty tag under any prefix: the first attribute whose
// local name is "id" and whose unescaped value is an unsigned decimal. None for any other
// event.
std::optional<std::uint64_t> extract_shape_id_from_event(const XmlEvent& event);

struct ElementRange {
  std::size_t start = 0;
  std::size_t end = 0;  // just past the closing tag

  std::string_view in(std::string_view text) const { return text.substr(start, end - start); }
};

struct GroupChild {
  ElementRange range;
  std::string_view tag;  // "p:sp", "p:pic", "p:graphicFrame", "p:grpSp" or "p:cxnSp"
};

// The `group_index`-th top-level "p:grpSp" of the slide. Shapes are walked from the start of the
// text, each skipped whole, so shapes inside a group are never top-level; non-group shapes are
// passed over without being counted. Fails with "group shape index {0} was not found".
Result<ElementRange> top_level_group_bounds(std::string_view slide_xml, std::uint64_t group_index);

// The `child_index`-th child of one group element's text (offsets relative to that text). The
// children follow the group's own properties (its first "p:grpSpPr", written with an end tag
// or empty) and end at the group's last "</p:grpSp>"; all five shape kinds count. None when the
// group has fewer children or is not well closed.
std::optional<GroupChild> direct_group_child_bounds(std::string_view group_xml,
                                                    std::uint64_t child_index);

// The children of one group element's text, counted as `direct_group_child_bounds` counts them,
// up to and including child `last_index` (fewer when the group has fewer or is not well closed).
std::vector<GroupChild> direct_group_children(std::string_view group_xml, std::uint64_t last_index);

// The `nested_group_child_index`-th child of the `group_index`-th top-level group, in slide
// offsets; the child must be a group. Fails with "nested group child index {0} was not found"
// or "nested group child index {0} is not a group shape".
Result<ElementRange> nested_group_child_bounds(std::string_view slide_xml,
                                               std::uint64_t group_index,
                                               std::uint64_t nested_group_child_index);

// One group of the slide: the `group_index`-th top-level group, optionally its child group
// `nested_group_child_index` and, only with that, the latter's child group
// `deeper_group_child_index`.
struct GroupAddress {
  std::uint64_t group_index = 0;
  std::optional<std::uint64_t> nested_group_child_index;
  std::optional<std::uint64_t> deeper_group_child_index;
};

// The element of the addressed group, in slide offsets. Fails with "group shape index {0} was
// not found", the nested lookup's messages, "deeper nested group child index {0} was not found"
// or "deeper nested group child index {0} is not a group shape".
Result<ElementRange> group_bounds(std::string_view slide_xml, const GroupAddress& address);

// Where a new last child goes in one group element's text: before its last "</p:grpSp>", or
// before the group's own trailing "p:extLst" (which must stay its last child). None when the
// text has no "</p:grpSp>".
std::optional<std::size_t> group_insertion_point(std::string_view group_xml);

// Where a new shape goes. Every shape family uses the same five targets.
struct InsertionTarget {
  enum class Kind { Slide, Group, NestedGroup, DeeperNestedGroup, NewGroupInGroup };

  Kind kind = Kind::Slide;
  std::uint64_t group_index = 0;
  std::uint64_t nested_group_child_index = 0;
  std::uint64_t deeper_group_child_index = 0;

  static InsertionTarget slide() { return {}; }
  static InsertionTarget group(std::uint64_t group_index) {
    return {Kind::Group, group_index, 0, 0};
  }
  static InsertionTarget nested_group(std::uint64_t group_index,
                                      std::uint64_t nested_group_child_index) {
    return {Kind::NestedGroup, group_index, nested_group_child_index, 0};
  }
  static InsertionTarget deeper_nested_group(std::uint64_t group_index,
                                             std::uint64_t nested_group_child_index,
                                             std::uint64_t deeper_group_child_index) {
    return {Kind::DeeperNestedGroup, group_index, nested_group_child_index,
            deeper_group_child_index};
  }
  static InsertionTarget new_group_in_group(std::uint64_t group_index) {
    return {Kind::NewGroupInGroup, group_index, 0, 0};
  }

  // The shape is wrapped in a new group that takes the id before the shape's.
  bool wraps_in_new_group() const { return kind == Kind::NewGroupInGroup; }

  // The group that receives the shape (not meaningful for the slide target).
  GroupAddress group_address() const {
    switch (kind) {
      case Kind::NestedGroup: return {group_index, nested_group_child_index, std::nullopt};
      case Kind::DeeperNestedGroup:
        return {group_index, nested_group_child_index, deeper_group_child_index};
      default: return {group_index, std::nullopt, std::nullopt};
    }
  }
};

// The number of group indexes that address a target of the kind, in the target's order.
constexpr std::size_t target_index_count(InsertionTarget::Kind kind) {
  switch (kind) {
    case InsertionTarget::Kind::Slide: return 0;
    case InsertionTarget::Kind::NestedGroup: return 2;
    case InsertionTarget::Kind::DeeperNestedGroup: return 3;
    default: return 1;  // a group, or a new group inside one
  }
}

template <std::size_t>
using TargetIndex = std::uint64_t;

template <auto Operation, InsertionTarget::Kind K, class Signature = decltype(Operation),
          class Indexes = std::make_index_sequence<target_index_count(K)>>
struct AtTarget;

template <auto Operation, InsertionTarget::Kind K, class R, class... Rest, std::size_t... I>
struct AtTarget<Operation, K,
                R (*)(std::string_view, std::string_view, std::uint64_t, const InsertionTarget&,
                      Rest...),
                std::index_sequence<I...>> {
  static R call(std::string_view input, std::string_view output, std::uint64_t slide_index,
                TargetIndex<I>... indexes, Rest... rest) {
    return Operation(input, output, slide_index, InsertionTarget{K, indexes...}, rest...);
  }
};

// An operation that adds at any insertion target, `Operation(input, output, slide_index,
// target, rest...)`, fixed to targets of kind `K`: the target's group indexes (as many as the
// kind takes, in the target's order) follow the slide index, then `rest`.
template <auto Operation, InsertionTarget::Kind K>
inline constexpr auto at_target = &AtTarget<Operation, K>::call;
using TargetKind = InsertionTarget::Kind;

// The byte offset at which a new fragment is inserted for the target: before the closing tag
// of the shape tree or of the addressed group, so the fragment becomes its last shape. When the
// container ends with its own "p:extLst" (which must stay the last child), the offset is moved
// before that element instead. Fails with the target's "... was not found", "... is not a
// group shape" or "... is missing ..." message.
Result<std::size_t> locate_insertion_point(std::string_view slide_xml,
                                           const InsertionTarget& target);

// `close` is the offset of the closing tag of a container starting at `container_start` (a
// shape tree, a group, a slide). The schema keeps a container's own "p:extLst" its last child,
// so when one ends right before the closing tag (blanks and comments between them passed over,
// "<p:extLst/>" included) the result is the start of that list; otherwise it is `close`.
std::size_t before_trailing_ext_list(std::string_view text, std::size_t container_start,
                                     std::size_t close);

// A new group with an all-zero transform holding one child, named "Group {id - 1}".
std::string group_shape_with_child_xml(std::uint64_t group_id, std::string_view child_xml);

// The slide text with `fragment` inserted at `offset`; for the new-group target the fragment is
// first wrapped by `group_shape_with_child_xml` with the id `first_id - 1`.
std::string splice_shape_fragment(std::string_view slide_xml, std::size_t offset,
                                  const InsertionTarget& target, std::uint64_t first_id,
                                  std::string_view fragment);

// The one way a new shape enters a slide, whatever the family (shapes, pictures, movies,
// objects, tables, placeholders). In order: the ids are taken from the largest shape id plus one
// on, a new group around the fragment first (the new-group target), then `fragment_ids` (one or
// more) for the fragment; the target is located, so that a missing target is reported even when
// the fragment's own arguments are bad; `build_fragment` is called with the fragment's first id;
// the fragment is spliced in, wrapped in the new group for that target. `slide_xml` becomes the
// new text only when every step succeeded. Returns the fragment's last id: the shape asked for,
// never the group around it. `build_fragment`: Result<std::string>(std::uint64_t first_id).
template <class BuildFragment>
Result<std::uint64_t> insert_new_shape(std::string& slide_xml, const InsertionTarget& target,
                                       BuildFragment&& build_fragment,
                                       std::uint64_t fragment_ids = 1) {
  const std::uint64_t group_ids = target.wraps_in_new_group() ? 1 : 0;
  const std::uint64_t first_id =
      PELVANE_TRY(next_shape_id(slide_xml, group_ids + fragment_ids)) + group_ids;
  const std::size_t offset = PELVANE_TRY(locate_insertion_point(slide_xml, target));
  Result<std::string> fragment = build_fragment(first_id);
  if (!fragment) return fail(std::move(fragment).error());
  slide_xml = splice_shape_fragment(slide_xml, offset, target, first_id, *fragment);
  return first_id + (fragment_ids - 1);
}

}  // namespace pelvane
