#include "core/shapes/xml_group_builders.hpp"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "core/base/keyed_hash.hpp"
#include "core/pml/shape_walk.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

namespace {

// Frames add and subtract in wrapping 64-bit arithmetic, done unsigned so that overflow is
// defined.
std::int64_t wrapping_add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrapping_sub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

struct SelectedChild {
  ElementRange range;  // in the container's text
  TransformSummary frame;
};

// The smallest frame holding every child's offset and right and bottom edge.
TransformSummary bounds_of(const std::vector<SelectedChild>& children) {
  const TransformSummary& first = children.front().frame;
  std::int64_t left = first.x;
  std::int64_t top = first.y;
  std::int64_t right = wrapping_add(first.x, first.cx);
  std::int64_t bottom = wrapping_add(first.y, first.cy);
  for (const SelectedChild& child : children) {
    left = std::min(left, child.frame.x);
    top = std::min(top, child.frame.y);
    right = std::max(right, wrapping_add(child.frame.x, child.frame.cx));
    bottom = std::max(bottom, wrapping_add(child.frame.y, child.frame.cy));
  }
  return {left, top, wrapping_sub(right, left), wrapping_sub(bottom, top)};
}

std::string group_from_children_xml(std::uint64_t group_id, const TransformSummary& frame,
                                    std::string_view children_xml) {
  std::string xml;
  xml.reserve(400 + children_xml.size());
  xml += "<p:grpSp><p:nvGrpSpPr>";
  append_new_shape_cnvpr(xml, group_id, "Group");
  xml += "<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>";
  append_offset_extent(xml, frame);
  append_offset_extent(xml, frame, "chOff", "chExt");
  xml += "</a:xfrm></p:grpSpPr>";
  xml += children_xml;
  xml += "</p:grpSp>";
  return xml;
}

}  // namespace

Result<std::string> group_existing_group_children_xml(std::string_view slide_xml,
                                                      const GroupAddress& container,
                                                      std::span<const std::uint64_t> child_indices,
                                                      std::uint64_t group_id) {
  if (child_indices.empty()) {
    return fail(PelvaneError::invalid_input("at least one group child is required"));
  }
  const ElementRange container_range = PELVANE_TRY(group_bounds(slide_xml, container));
  const std::string_view group_xml = container_range.in(slide_xml);

  // Every child is found in the unchanged container, so no selection shifts a later index.
  const std::uint64_t last_index = *std::max_element(child_indices.begin(), child_indices.end());
  const std::vector<GroupChild> children = direct_group_children(group_xml, last_index);
  std::vector<SelectedChild> selected;
  std::unordered_set<std::uint64_t, KeyedHash> listed;
  for (std::uint64_t index : child_indices) {
    // An index listed again names a child already taken: each child moves once, at the place
    // its index is first listed, so no shape is written twice.
    if (!listed.insert(index).second) continue;
    if (index >= children.size()) {
      return fail(PelvaneError::invalid_input("group child index " + std::to_string(index) +
                                              " was not found"));
    }
    const ElementRange range = children[index].range;
    auto frame = extract_transform(range.in(group_xml));
    if (!frame) {
      return fail(PelvaneError::invalid_input("selected group child is missing transform"));
    }
    selected.push_back({range, *frame});
  }

  std::string children_xml;
  for (const SelectedChild& child : selected) children_xml += child.range.in(group_xml);

  // The container without the selected children, cut in document order.
  std::vector<ElementRange> cuts;
  for (const SelectedChild& child : selected) cuts.push_back(child.range);
  std::ranges::sort(cuts, {}, &ElementRange::start);
  std::string remaining;
  remaining.reserve(group_xml.size() - children_xml.size());
  std::size_t kept_from = 0;
  for (const ElementRange& cut : cuts) {
    remaining += group_xml.substr(kept_from, cut.start - kept_from);
    kept_from = cut.end;
  }
  remaining += group_xml.substr(kept_from);

  auto at = group_insertion_point(remaining);
  if (!at) return fail(PelvaneError::invalid_input("group shape XML is missing </p:grpSp>"));
  const std::string new_group =
      group_from_children_xml(group_id, bounds_of(selected), children_xml);

  std::string out;
  out.reserve(slide_xml.size() + new_group.size() - children_xml.size());
  out += slide_xml.substr(0, container_range.start);
  out += std::string_view(remaining).substr(0, *at);
  out += new_group;
  out += std::string_view(remaining).substr(*at);
  out += slide_xml.substr(container_range.end);
  return out;
}

}  // namespace pelvane
