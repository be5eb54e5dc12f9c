#include "core/pml/shape_tree.hpp"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "core/base/decimal.hpp"
#include "core/pml/shape_walk.hpp"
#include "core/pml/xml_builders.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kCnvPrTag = "p:cNvPr";
constexpr std::string_view kSpTreeClose = "</p:spTree>";
constexpr std::string_view kGrpSpPrTag = "p:grpSpPr";
constexpr std::string_view kGrpSpPrClose = "</p:grpSpPr>";
constexpr std::string_view kGrpSpClose = "</p:grpSp>";
constexpr std::string_view kGrpSpTag = "p:grpSp";
constexpr std::string_view kExtLstTag = "p:extLst";
constexpr std::string_view kExtLstOpen = "<p:extLst";
constexpr std::string_view kExtLstClose = "</p:extLst>";

std::string invalid(std::string_view prefix, std::uint64_t index, std::string_view suffix) {
  std::string message(prefix);
  message += std::to_string(index);
  message += suffix;
  return message;
}

// Where each "p:extLst" element whose start tag lies in [from, to) ends, paired in one pass as
// find_element_end pairs them: start tags (by the start-tag rule) nest unless they close
// themselves, and each "</p:extLst>" closes the innermost open one. {start, end} in order of
// start; the end is `npos` for an element not closed before `to`.
std::vector<std::pair<std::size_t, std::size_t>> ext_list_ends(std::string_view text,
                                                               std::size_t from, std::size_t to) {
  constexpr std::size_t npos = std::string_view::npos;
  const std::string_view range = text.substr(0, to);
  std::vector<std::pair<std::size_t, std::size_t>> ends;
  std::vector<std::size_t> open;  // indexes into `ends`
  std::optional<std::size_t> next_open = find_tag_start(range, from, kExtLstTag);
  std::size_t next_close = find_in_markup(range, kExtLstClose, from);
  std::size_t pos = from;
  for (;;) {
    if (next_open && *next_open < pos) next_open = find_tag_start(range, pos, kExtLstTag);
    if (next_close != npos && next_close < pos)
      next_close = find_in_markup(range, kExtLstClose, pos);
    if (next_close != npos && (!next_open || next_close < *next_open)) {
      pos = next_close + kExtLstClose.size();
      if (!open.empty()) {
        ends[open.back()].second = pos;
        open.pop_back();
      }
      continue;
    }
    if (!next_open) return ends;
    if (tag_closes_itself(range, *next_open)) {
      ends.emplace_back(*next_open, tag_end(range, *next_open));
    } else {
      open.push_back(ends.size());
      ends.emplace_back(*next_open, npos);
    }
    pos = *next_open + 1 + kExtLstTag.size();
  }
}

// The end ext_list_ends found for the start tag at `start`.
std::optional<std::size_t> ends_at(const std::vector<std::pair<std::size_t, std::size_t>>& ends,
                                   std::size_t start) {
  const auto found =
      std::lower_bound(ends.begin(), ends.end(), std::pair<std::size_t, std::size_t>{start, 0});
  if (found == ends.end() || found->first != start || found->second == std::string_view::npos) {
    return std::nullopt;
  }
  return found->second;
}

}  // namespace

std::size_t before_trailing_ext_list(std::string_view text, std::size_t container_start,
                                     std::size_t close) {
  const MarkupMap markup(text, container_start, close);
  // Blanks, comments and processing instructions between the list and the closing tag are
  // passed over.
  std::size_t end = close;
  for (;;) {
    while (end > container_start && is_xml_blank(text[end - 1])) --end;
    if (end == container_start) break;
    const std::size_t opaque = markup.opaque_start(end - 1);
    if (opaque == std::string_view::npos) break;
    end = opaque;
  }
  // An empty list ("<p:extLst/>") is one tag: the last one before the closing tag is the
  // container's own when it ends right there.
  if (end - container_start >= 2 && text.substr(end - 2, 2) == "/>") {
    std::size_t candidate = markup.rfind(kExtLstOpen, end - 1);
    if (candidate != std::string_view::npos &&
        find_element_end(text, candidate, kExtLstTag) == end) {
      return candidate;
    }
    return close;
  }
  if (end - container_start < kExtLstClose.size() ||
      text.substr(end - kExtLstClose.size(), kExtLstClose.size()) != kExtLstClose) {
    return close;
  }
  // Walk back over "<p:extLst" start tags: the outermost one whose element ends exactly here is
  // the container's own list (an inner one, inside an extension, ends earlier). The last one
  // usually is; past it, the ends of all start tags come from one pass instead of one search
  // each, which nested lists would make quadratic.
  std::optional<std::vector<std::pair<std::size_t, std::size_t>>> ends;
  std::size_t search_end = end;
  while (search_end > container_start) {
    std::size_t candidate = markup.rfind(kExtLstOpen, search_end - 1);
    if (candidate == std::string_view::npos) break;
    std::optional<std::size_t> candidate_end;
    if (search_end == end || !is_start_tag_at(text, candidate, kExtLstTag)) {
      candidate_end = find_element_end(text, candidate, kExtLstTag);
    } else {
      if (!ends) ends = ext_list_ends(text, container_start, end);
      candidate_end = ends_at(*ends, candidate);
    }
    if (candidate_end && *candidate_end == end) return candidate;
    if (candidate == 0) break;
    search_end = candidate;
  }
  return close;
}

namespace {

// Where a group's children begin: just past its own group properties. Those come before any
// child, so the first "p:grpSpPr" start tag is the group's own; when it is written empty
// ("<p:grpSpPr/>") the children follow that tag, otherwise they follow the first
// "</p:grpSpPr>".
std::optional<std::size_t> group_children_start(std::string_view group_xml) {
  auto properties = find_tag_start(group_xml, 0, kGrpSpPrTag);
  if (!properties) return std::nullopt;
  const std::size_t after_tag = tag_end(group_xml, *properties);
  if (after_tag == std::string_view::npos) return std::nullopt;
  if (tag_closes_itself(group_xml, *properties)) return after_tag;
  std::size_t properties_end = find_in_markup(group_xml, kGrpSpPrClose, after_tag);
  if (properties_end == std::string_view::npos) return std::nullopt;
  return properties_end + kGrpSpPrClose.size();
}

}  // namespace

std::uint64_t max_cnvpr_id(std::string_view slide_xml) {
  std::uint64_t result = 0;
  for_each_start_tag(slide_xml, kCnvPrTag, [&](std::string_view tag) {
    const auto raw = tag_attribute(tag, "id");
    if (!raw) return;
    // A reference in the value stands for its character ("&#52;" is 4).
    std::optional<std::string> unescaped;
    if (raw->find('&') != std::string_view::npos) unescaped = unescape_xml(*raw);
    if (auto value = parse_u64(unescaped ? std::string_view(*unescaped) : *raw)) {
      result = std::max(result, *value);
    }
  });
  return result;
}

Result<std::uint64_t> next_shape_id(std::string_view slide_xml, std::uint64_t ids_taken) {
  std::uint64_t largest = max_cnvpr_id(slide_xml);
  if (largest > std::numeric_limits<std::uint64_t>::max() - std::max<std::uint64_t>(ids_taken, 2)) {
    return fail(PelvaneError::invalid_input("shape id space is exhausted"));
  }
  return largest + 1;
}

bool is_shape_element_name(std::string_view local_name) {
  return local_name == "sp" || local_name == "pic" || local_name == "cxnSp" ||
         local_name == "grpSp" || local_name == "graphicFrame";
}

std::optional<std::uint64_t> extract_shape_id_from_event(const XmlEvent& event) {
  if (!event.is_tag() || xml_local_name(event.name) != "cNvPr") return std::nullopt;
  for (const XmlAttribute& attribute : event.attributes()) {
    if (attribute.malformed || xml_local_name(attribute.name) != "id") continue;
    auto value = unescape_xml(attribute.value);
    if (!value) continue;
    if (auto id = parse_u64(*value)) return id;
  }
  return std::nullopt;
}

Result<ElementRange> top_level_group_bounds(std::string_view slide_xml, std::uint64_t group_index) {
  auto not_found = [&] {
    return fail(
        PelvaneError::invalid_input(invalid("group shape index ", group_index, " was not found")));
  };
  std::uint64_t groups_seen = 0;
  auto shape = find_next_shape_start(slide_xml, 0);
  while (shape) {
    auto end = find_element_end(slide_xml, shape->offset, shape->tag);
    if (!end) return not_found();
    if (shape->tag == kGrpSpTag) {
      if (groups_seen == group_index) return ElementRange{shape->offset, *end};
      ++groups_seen;
    }
    shape = find_next_shape_start(slide_xml, *end);
  }
  return not_found();
}

std::vector<GroupChild> direct_group_children(std::string_view group_xml,
                                              std::uint64_t last_index) {
  std::vector<GroupChild> children;
  auto children_start = group_children_start(group_xml);
  if (!children_start) return children;
  std::size_t close = rfind_in_markup(group_xml, kGrpSpClose);
  if (close == std::string_view::npos) return children;
  auto shape = find_next_shape_start(group_xml, *children_start);
  while (shape && shape->offset < close) {
    auto end = find_element_end(group_xml, shape->offset, shape->tag);
    if (!end || *end > close) break;
    children.push_back(GroupChild{{shape->offset, *end}, shape->tag});
    if (children.size() - 1 == last_index) break;
    shape = find_next_shape_start(group_xml, *end);
  }
  return children;
}

std::optional<GroupChild> direct_group_child_bounds(std::string_view group_xml,
                                                    std::uint64_t child_index) {
  auto children = direct_group_children(group_xml, child_index);
  if (children.empty() || children.size() - 1 != child_index) return std::nullopt;
  return children.back();
}

namespace {

// The `index`-th direct child of the group at `group`, which must itself be a group; `level`
// opens the messages ("nested group child index ").
Result<ElementRange> child_group_bounds(std::string_view slide_xml, ElementRange group,
                                        std::uint64_t index, std::string_view level) {
  auto child = direct_group_child_bounds(group.in(slide_xml), index);
  if (!child) return fail(PelvaneError::invalid_input(invalid(level, index, " was not found")));
  if (child->tag != kGrpSpTag) {
    return fail(PelvaneError::invalid_input(invalid(level, index, " is not a group shape")));
  }
  return ElementRange{group.start + child->range.start, group.start + child->range.end};
}

}  // namespace

Result<ElementRange> nested_group_child_bounds(std::string_view slide_xml,
                                               std::uint64_t group_index,
                                               std::uint64_t nested_group_child_index) {
  auto group = PELVANE_TRY(top_level_group_bounds(slide_xml, group_index));
  return child_group_bounds(slide_xml, group, nested_group_child_index,
                            "nested group child index ");
}

Result<ElementRange> group_bounds(std::string_view slide_xml, const GroupAddress& address) {
  if (!address.nested_group_child_index) {
    return top_level_group_bounds(slide_xml, address.group_index);
  }
  auto nested = PELVANE_TRY(
      nested_group_child_bounds(slide_xml, address.group_index, *address.nested_group_child_index));
  if (!address.deeper_group_child_index) return nested;
  return child_group_bounds(slide_xml, nested, *address.deeper_group_child_index,
                            "deeper nested group child index ");
}

std::optional<std::size_t> group_insertion_point(std::string_view group_xml) {
  std::size_t close = rfind_in_markup(group_xml, kGrpSpClose);
  if (close == std::string_view::npos) return std::nullopt;
  return before_trailing_ext_list(group_xml, 0, close);
}

Result<std::size_t> locate_insertion_point(std::string_view slide_xml,
                                           const InsertionTarget& target) {
  using Kind = InsertionTarget::Kind;
  std::string_view missing_close = "group shape XML is missing </p:grpSp>";
  switch (target.kind) {
    case Kind::Slide: {
      std::size_t close = rfind_in_markup(slide_xml, kSpTreeClose);
      if (close == std::string_view::npos) {
        return fail(PelvaneError::invalid_input("slide XML is missing </p:spTree>"));
      }
      const auto tree_start = find_tag_start(slide_xml, 0, "p:spTree");
      const std::size_t container = tree_start && *tree_start < close ? *tree_start : 0;
      return before_trailing_ext_list(slide_xml, container, close);
    }
    case Kind::Group:
    case Kind::NewGroupInGroup: break;
    case Kind::NestedGroup: missing_close = "nested group shape XML is missing </p:grpSp>"; break;
    case Kind::DeeperNestedGroup:
      missing_close = "deeper nested group shape XML is missing </p:grpSp>";
      break;
  }
  auto container = PELVANE_TRY(group_bounds(slide_xml, target.group_address()));
  auto offset = group_insertion_point(container.in(slide_xml));
  if (!offset) return fail(PelvaneError::invalid_input(std::string(missing_close)));
  return container.start + *offset;
}

std::string group_shape_with_child_xml(std::uint64_t group_id, std::string_view child_xml) {
  std::string xml;
  xml.reserve(320 + child_xml.size());
  xml += "<p:grpSp><p:nvGrpSpPr>";
  append_new_shape_cnvpr(xml, group_id, "Group");
  xml +=
      "<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/>"
      "<a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/></a:xfrm>"
      "</p:grpSpPr>";
  xml += child_xml;
  xml += "</p:grpSp>";
  return xml;
}

std::string splice_shape_fragment(std::string_view slide_xml, std::size_t offset,
                                  const InsertionTarget& target, std::uint64_t first_id,
                                  std::string_view fragment) {
  std::string wrapped;
  if (target.wraps_in_new_group()) {
    wrapped = group_shape_with_child_xml(first_id - 1, fragment);
    fragment = wrapped;
  }
  return splice_text(slide_xml, offset, 0, fragment);
}

}  // namespace pelvane
