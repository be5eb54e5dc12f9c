#include "core/summary_shape_extract.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/shape_walk.hpp"
#include "core/summary_search.hpp"
#include "core/summary_table_extract.hpp"
#include "core/text_runs.hpp"
#include "core/xml_splice.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kGroupPropertiesEnd = "</p:grpSpPr>";
constexpr std::string_view kGroupEnd = "</p:grpSp>";
constexpr std::string_view kTreeEnd = "</p:spTree>";

// Offsets and extents add and subtract in wrapping 64-bit arithmetic, as stored values that
// overflow would; done unsigned so that overflow is defined.
std::int64_t wrapping_add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrapping_sub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

// The nearest integer, halves away from zero; values past the signed 64-bit range become the
// nearest bound (converting them directly would be undefined).
std::int64_t nearest(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::round(value);
  constexpr double kBound = 9223372036854775808.0;  // 2^63
  if (rounded >= kBound) return std::numeric_limits<std::int64_t>::max();
  if (rounded < -kBound) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(rounded);
}

// `scale * offset / child_extent`, each operand as a double.
std::int64_t scaled(std::int64_t scale, std::int64_t offset, std::int64_t child_extent) {
  return nearest(static_cast<double>(scale) * static_cast<double>(offset) /
                 static_cast<double>(child_extent));
}

struct ElementKind {
  std::string_view kind;
  bool has_picture = false;
  bool has_group = false;
};

bool contains(std::string_view text, std::string_view what) {
  return find_bytes(text, what) != std::string_view::npos;
}

std::optional<std::size_t> find_first_start_tag(std::string_view text, std::string_view tag) {
  return find_start_tag_from(text, 0, tag);
}

// The first start tag of `tag` from its "<" through the next ">", as element_start_tag gives it.
std::optional<std::string_view> first_start_tag_text(std::string_view text, std::string_view tag) {
  const auto start = find_first_start_tag(text, tag);
  if (!start) return std::nullopt;
  const std::size_t end = text.find('>', *start);
  if (end == std::string_view::npos) return std::nullopt;
  return text.substr(*start, end + 1 - *start);
}

ElementKind element_kind(std::string_view block) {
  // The prefix tests run in this order, so "<p:sp" is tried before the others.
  if (block.starts_with("<p:sp")) return {"shape"};
  if (block.starts_with("<p:pic")) {
    if (contains(block, "<a:videoFile")) return {"movie"};
    return {"picture", true};
  }
  if (block.starts_with("<p:graphicFrame")) {
    if (contains(block, "<p:oleObj")) return {"ole_object"};
    return {"graphic_frame"};
  }
  if (block.starts_with("<p:grpSp")) return {"group", false, true};
  if (block.starts_with("<p:cxnSp")) return {"connector"};
  return {"unknown"};
}

// Values of r:embed, r:link and r:id anywhere in the block, as written, sorted byte-wise and
// without repeats.
std::vector<std::string> relationship_ids_in_block(std::string_view block) {
  std::vector<std::string> ids;
  for (std::string_view pattern : {"r:embed=\"", "r:link=\"", "r:id=\""}) {
    std::size_t position = 0;
    for (;;) {
      const std::size_t at = find_bytes(block, pattern, position);
      if (at == std::string_view::npos) break;
      const std::size_t value_start = at + pattern.size();
      const std::size_t quote = block.find('"', value_start);
      if (quote == std::string_view::npos) break;
      ids.emplace_back(block.substr(value_start, quote - value_start));
      position = quote + 1;
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::string join_paragraphs(const std::vector<std::string>& paragraphs) {
  std::string text;
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    if (i != 0) text += '\n';
    text += paragraphs[i];
  }
  return text;
}

// The mapping a group gives its children: none without its own transform or without an
// `a:xfrm` element; a missing `a:chOff` is (0, 0) and a missing `a:chExt` the group's extent.
std::optional<ChildTransformMapping> child_mapping(std::string_view block,
                                                   const TransformSummary& effective) {
  const auto start = find_first_start_tag(block, "a:xfrm");
  if (!start) return std::nullopt;
  const auto end = find_end_of_element(block, *start, "a:xfrm");
  if (!end) return std::nullopt;
  const std::string_view xfrm = block.substr(*start, *end - *start);
  ChildTransformMapping mapping{effective.x, effective.y, effective.cx, effective.cy,
                                0,           0,           effective.cx, effective.cy};
  if (const auto offset = element_start_tag(xfrm, "a:chOff")) {
    mapping.child_x = attribute_i64(*offset, "x");
    mapping.child_y = attribute_i64(*offset, "y");
  }
  if (const auto extent = element_start_tag(xfrm, "a:chExt")) {
    mapping.child_cx = attribute_i64(*extent, "cx");
    mapping.child_cy = attribute_i64(*extent, "cy");
  }
  return mapping;
}

// The members of a group block: what follows its first "</p:grpSpPr>" up to its last
// "</p:grpSp>" (or the end of the block).
std::string_view group_children_region(std::string_view block) {
  const std::size_t properties_end = find_bytes(block, kGroupPropertiesEnd);
  if (properties_end == std::string_view::npos) return {};
  const std::size_t begin = properties_end + kGroupPropertiesEnd.size();
  std::size_t end = block.rfind(kGroupEnd);
  if (end == std::string_view::npos) end = block.size();
  if (end < begin) return {};
  return block.substr(begin, end - begin);
}

ShapeSummary summarize_at_level(std::string_view block,
                                const std::optional<ChildTransformMapping>& mapping,
                                std::size_t level) {
  ShapeSummary shape;
  const ElementKind element = element_kind(block);
  shape.kind = std::string(element.kind);
  shape.has_picture = element.has_picture;
  shape.has_group = element.has_group;

  if (const auto properties = first_start_tag_text(block, "p:cNvPr")) {
    shape.id = attribute_value(*properties, "id");
    shape.name = attribute_value(*properties, "name");
  }

  if (find_first_start_tag(block, "p:ph")) {
    shape.is_placeholder = true;
    if (const auto placeholder = first_start_tag_text(block, "p:ph")) {
      shape.placeholder_type = attribute_value(*placeholder, "type");
      shape.placeholder_idx = attribute_value(*placeholder, "idx");
    }
  }

  ShapeParagraphs paragraphs = scan_shape_paragraphs(block);
  shape.text = join_paragraphs(paragraphs.paragraphs);
  shape.paragraphs = std::move(paragraphs.paragraphs);
  shape.paragraph_runs = std::move(paragraphs.runs);
  shape.paragraph_line_breaks = std::move(paragraphs.line_breaks);
  shape.paragraph_fields = std::move(paragraphs.fields);
  shape.paragraph_run_bold = std::move(paragraphs.bold);
  shape.paragraph_run_italic = std::move(paragraphs.italic);
  shape.paragraph_run_underline = std::move(paragraphs.underline);
  shape.paragraph_run_font_size = std::move(paragraphs.font_size);
  shape.paragraph_run_font_name = std::move(paragraphs.font_name);

  shape.tables = extract_tables_in_text(block);
  shape.relationship_ids = relationship_ids_in_block(block);
  shape.has_chart = contains(block, ":chart");

  shape.transform = extract_transform(block);
  if (shape.transform) {
    shape.effective_transform =
        mapping ? map_child_transform(*shape.transform, *mapping) : *shape.transform;
  }

  if (block.starts_with("<p:grpSp") && level <= kMaxGroupNesting) {
    std::optional<ChildTransformMapping> children_mapping;
    if (shape.effective_transform) {
      children_mapping = child_mapping(block, *shape.effective_transform);
    }
    for (std::string_view child : extract_shape_blocks(group_children_region(block))) {
      shape.children.push_back(summarize_at_level(child, children_mapping, level + 1));
    }
  }
  return shape;
}

std::vector<ShapeSummary> shapes_of_tree(std::string_view text) {
  std::vector<ShapeSummary> shapes;
  const auto tree = find_first_start_tag(text, "p:spTree");
  if (!tree) return shapes;
  const std::size_t open_end = text.find('>', *tree);
  if (open_end == std::string_view::npos) return shapes;
  const auto tree_end = find_end_of_element(text, *tree, "p:spTree");
  if (!tree_end) return shapes;
  const std::size_t inside_begin = open_end + 1;
  const std::size_t inside_end = *tree_end - kTreeEnd.size();
  // A tree written "<p:spTree/>" ends at its own start tag and has nothing inside.
  if (*tree_end < kTreeEnd.size() || inside_end < inside_begin) return shapes;
  for (std::string_view block :
       extract_shape_blocks(text.substr(inside_begin, inside_end - inside_begin))) {
    shapes.push_back(summarize_at_level(block, std::nullopt, 1));
  }
  return shapes;
}

}  // namespace

std::optional<TransformSummary> extract_transform(std::string_view text) {
  std::string_view name = "a:xfrm";
  auto start = find_first_start_tag(text, name);
  if (!start) {
    name = "p:xfrm";
    start = find_first_start_tag(text, name);
    if (!start) return std::nullopt;
  }
  const auto end = find_end_of_element(text, *start, name);
  if (!end) return std::nullopt;
  const std::string_view xfrm = text.substr(*start, *end - *start);
  const auto offset = element_start_tag(xfrm, "a:off");
  const auto extent = element_start_tag(xfrm, "a:ext");
  if (!offset || !extent) return std::nullopt;
  return TransformSummary{attribute_i64(*offset, "x"), attribute_i64(*offset, "y"),
                          attribute_i64(*extent, "cx"), attribute_i64(*extent, "cy")};
}

TransformSummary map_child_transform(const TransformSummary& transform,
                                     const ChildTransformMapping& mapping) {
  TransformSummary out;
  const std::int64_t dx = wrapping_sub(transform.x, mapping.child_x);
  const std::int64_t dy = wrapping_sub(transform.y, mapping.child_y);
  if (mapping.child_cx != 0) {
    out.x = wrapping_add(scaled(mapping.cx, dx, mapping.child_cx), mapping.x);
    out.cx = scaled(transform.cx, mapping.cx, mapping.child_cx);
  } else {
    out.x = wrapping_add(dx, mapping.x);
    out.cx = transform.cx;
  }
  if (mapping.child_cy != 0) {
    out.y = wrapping_add(scaled(mapping.cy, dy, mapping.child_cy), mapping.y);
    out.cy = scaled(transform.cy, mapping.cy, mapping.child_cy);
  } else {
    out.y = wrapping_add(dy, mapping.y);
    out.cy = transform.cy;
  }
  return out;
}

ShapeSummary summarize_shape_block(std::string_view block,
                                   const std::optional<ChildTransformMapping>& mapping) {
  return summarize_at_level(block, mapping, 1);
}

std::vector<ShapeSummary> extract_shapes_in_text(std::string_view text) {
  return shapes_of_tree(text);
}

std::vector<ShapeSummary> extract_shapes(std::string_view slide_bytes) {
  if (holds_valid_utf8(slide_bytes)) return shapes_of_tree(slide_bytes);
  const std::string text = decode_utf8_lossy(slide_bytes);
  return shapes_of_tree(text);
}

}  // namespace pelvane
