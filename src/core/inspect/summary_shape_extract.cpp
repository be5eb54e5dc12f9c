#include "core/inspect/summary_shape_extract.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/base/list_refill.hpp"
#include "core/inspect/summary_table_extract.hpp"
#include "core/inspect/text_runs.hpp"
#include "core/pml/shape_walk.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_splice.hpp"

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

// A position and an extent along one axis.
struct Axis {
  std::int64_t position = 0;
  std::int64_t extent = 0;
};

// One axis of `map_child_transform`: `shape` in the group's child coordinates, whose frame is
// `child_frame`, placed in the group's own frame `group`.
Axis map_child_axis(Axis shape, Axis group, Axis child_frame) {
  const std::int64_t delta = wrapping_sub(shape.position, child_frame.position);
  if (child_frame.extent == 0) return {wrapping_add(delta, group.position), shape.extent};
  return {wrapping_add(scaled(group.extent, delta, child_frame.extent), group.position),
          scaled(shape.extent, group.extent, child_frame.extent)};
}

struct ElementKind {
  std::string_view kind;
  bool has_picture = false;
  bool has_group = false;
};

// Where the fixed markers that a shape summary looks for first occur in a block, found in one
// pass over its colons: each marker holds a colon at a fixed place, so this finds exactly the
// first occurrence that a substring search for the marker would.
struct BlockMarkers {
  static constexpr std::size_t kNone = std::string_view::npos;
  std::size_t non_visual = kNone;    // "<p:cNvPr"
  std::size_t placeholder = kNone;   // "<p:ph"
  std::size_t table = kNone;         // "<a:tbl"
  std::size_t drawing_xfrm = kNone;  // "<a:xfrm"
  std::size_t frame_xfrm = kNone;    // "<p:xfrm"
  bool video_file = false;           // "<a:videoFile"
  bool ole_object = false;           // "<p:oleObj"
  bool chart = false;                // ":chart"
  // Starts of every "r:embed=\"", "r:link=\"" and "r:id=\"", in this order of patterns.
  std::vector<std::size_t> references[3];
};

BlockMarkers find_block_markers(std::string_view block) {
  BlockMarkers markers;
  const auto first = [](std::size_t& slot, std::size_t at) {
    if (slot == BlockMarkers::kNone) slot = at;
  };
  for (std::size_t colon = block.find(':'); colon != std::string_view::npos;
       colon = block.find(':', colon + 1)) {
    const std::string_view after = block.substr(colon + 1);
    if (colon >= 2 && block[colon - 2] == '<') {
      if (block[colon - 1] == 'p') {
        if (after.starts_with("cNvPr"))
          first(markers.non_visual, colon - 2);
        else if (after.starts_with("ph"))
          first(markers.placeholder, colon - 2);
        else if (after.starts_with("xfrm"))
          first(markers.frame_xfrm, colon - 2);
        else if (after.starts_with("oleObj"))
          markers.ole_object = true;
      } else if (block[colon - 1] == 'a') {
        if (after.starts_with("tbl"))
          first(markers.table, colon - 2);
        else if (after.starts_with("xfrm"))
          first(markers.drawing_xfrm, colon - 2);
        else if (after.starts_with("videoFile"))
          markers.video_file = true;
      }
    }
    if (colon >= 1 && block[colon - 1] == 'r') {
      if (after.starts_with("embed=\""))
        markers.references[0].push_back(colon - 1);
      else if (after.starts_with("link=\""))
        markers.references[1].push_back(colon - 1);
      else if (after.starts_with("id=\""))
        markers.references[2].push_back(colon - 1);
    }
    if (after.starts_with("chart")) markers.chart = true;
  }
  return markers;
}

// The first start tag of `tag`, searched from the first "<tag" found (none when there is none),
// from its "<" through its ">", as element_start_tag gives it.
std::optional<std::string_view> start_tag_text_at_marker(std::string_view text, std::size_t marker,
                                                         std::string_view tag) {
  return start_tag_from(text, marker, tag);
}

ElementKind element_kind(std::string_view block, const BlockMarkers& markers) {
  // The prefix tests run in this order, so "<p:sp" is tried before the others.
  if (block.starts_with("<p:sp")) return {"shape"};
  if (block.starts_with("<p:pic")) {
    if (markers.video_file) return {"movie"};
    return {"picture", true};
  }
  if (block.starts_with("<p:graphicFrame")) {
    if (markers.ole_object) return {"ole_object"};
    return {"graphic_frame"};
  }
  if (block.starts_with("<p:grpSp")) return {"group", false, true};
  if (block.starts_with("<p:cxnSp")) return {"connector"};
  return {"unknown"};
}

// Values of r:embed, r:link and r:id anywhere in the block, as written, sorted byte-wise and
// without repeats. Each pattern's search resumes after the closing quote of its previous value.
std::vector<std::string> relationship_ids_in_block(std::string_view block,
                                                   const BlockMarkers& markers) {
  static constexpr std::size_t kPatternLength[3] = {9, 8, 6};  // r:embed=" r:link=" r:id="
  std::vector<std::string> ids;
  for (std::size_t pattern = 0; pattern < 3; ++pattern) {
    std::size_t resume = 0;
    for (const std::size_t at : markers.references[pattern]) {
      if (at < resume) continue;
      const std::size_t value_start = at + kPatternLength[pattern];
      const std::size_t quote = block.find('"', value_start);
      if (quote == std::string_view::npos) break;
      ids.emplace_back(block.substr(value_start, quote - value_start));
      resume = quote + 1;
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

// The paragraphs joined by line feeds, written over `text`.
void join_paragraphs(const std::vector<std::string>& paragraphs, std::string& text) {
  std::size_t length = paragraphs.empty() ? 0 : paragraphs.size() - 1;
  for (const std::string& paragraph : paragraphs) length += paragraph.size();
  text.clear();
  text.reserve(length);
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    if (i != 0) text += '\n';
    text += paragraphs[i];
  }
}

// Moves the paragraph lists between a shape and the scan's result (both ways).
void swap_paragraph_lists(ShapeSummary& shape, ShapeParagraphs& lists) {
  shape.paragraphs.swap(lists.paragraphs);
  shape.paragraph_runs.swap(lists.runs);
  shape.paragraph_line_breaks.swap(lists.line_breaks);
  shape.paragraph_fields.swap(lists.fields);
  shape.paragraph_run_bold.swap(lists.bold);
  shape.paragraph_run_italic.swap(lists.italic);
  shape.paragraph_run_underline.swap(lists.underline);
  shape.paragraph_run_font_size.swap(lists.font_size);
  shape.paragraph_run_font_name.swap(lists.font_name);
}

// The mapping a group gives its children: none without its own transform or without an
// `a:xfrm` element; a missing `a:chOff` is (0, 0) and a missing `a:chExt` the group's extent.
std::optional<ChildTransformMapping> child_mapping(std::string_view block,
                                                   const BlockMarkers& markers,
                                                   const TransformSummary& effective) {
  const auto start = find_tag_start(block, markers.drawing_xfrm, "a:xfrm");
  if (!start) return std::nullopt;
  const auto end = find_element_end(block, *start, "a:xfrm");
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
  const std::size_t properties_end = find_in_markup(block, kGroupPropertiesEnd);
  if (properties_end == std::string_view::npos) return {};
  const std::size_t begin = properties_end + kGroupPropertiesEnd.size();
  std::size_t end = rfind_in_markup(block, kGroupEnd);
  if (end == std::string_view::npos) end = block.size();
  if (end < begin) return {};
  return block.substr(begin, end - begin);
}

// Writes the summary of one block over `shape`, which may hold an earlier shape's summary: every
// field is set here, and the lists and texts keep their storage for the new values.
void summarize_at_level(std::string_view block, const std::optional<ChildTransformMapping>& mapping,
                        std::size_t level, ShapeSummary& shape) {
  const BlockMarkers markers = find_block_markers(block);
  const ElementKind element = element_kind(block, markers);
  shape.kind.assign(element.kind);
  shape.has_picture = element.has_picture;
  shape.has_group = element.has_group;

  shape.id.reset();
  shape.name.reset();
  if (const auto properties = start_tag_text_at_marker(block, markers.non_visual, "p:cNvPr")) {
    shape.id = attribute_value(*properties, "id");
    shape.name = attribute_value(*properties, "name");
  }

  shape.is_placeholder = false;
  shape.placeholder_type.reset();
  shape.placeholder_idx.reset();
  if (find_tag_start(block, markers.placeholder, "p:ph")) {
    shape.is_placeholder = true;
    if (const auto placeholder = start_tag_text_at_marker(block, markers.placeholder, "p:ph")) {
      shape.placeholder_type = attribute_value(*placeholder, "type");
      shape.placeholder_idx = attribute_value(*placeholder, "idx");
    }
  }

  ShapeParagraphs paragraphs;
  swap_paragraph_lists(shape, paragraphs);
  scan_shape_paragraphs(block, paragraphs);
  swap_paragraph_lists(shape, paragraphs);
  join_paragraphs(shape.paragraphs, shape.text);

  // No table starts before the first "<a:tbl".
  shape.tables.clear();
  if (markers.table != BlockMarkers::kNone) {
    shape.tables = extract_tables_in_text(block.substr(markers.table));
  }
  shape.relationship_ids = relationship_ids_in_block(block, markers);
  shape.has_chart = markers.chart;

  // No transform starts before the first "<a:xfrm" or "<p:xfrm".
  shape.transform = first_transform(block, markers.drawing_xfrm, markers.frame_xfrm);
  shape.effective_transform.reset();
  if (shape.transform) {
    shape.effective_transform =
        mapping ? map_child_transform(*shape.transform, *mapping) : *shape.transform;
  }

  ListRefill<ShapeSummary> children(shape.children);
  if (block.starts_with("<p:grpSp") && level <= kMaxGroupNesting) {
    std::optional<ChildTransformMapping> children_mapping;
    if (shape.effective_transform) {
      children_mapping = child_mapping(block, markers, *shape.effective_transform);
    }
    for (std::string_view child : extract_shape_blocks(group_children_region(block))) {
      summarize_at_level(child, children_mapping, level + 1, children.next());
    }
  }
  children.finish();
}

// The top-level shapes of the text's first shape tree, written over `shapes`.
void shapes_of_tree(std::string_view text, std::vector<ShapeSummary>& shapes) {
  ListRefill<ShapeSummary> refill(shapes);
  const auto tree = find_tag_start(text, 0, "p:spTree");
  const std::size_t tree_tag_end = tree ? tag_end(text, *tree) : std::string_view::npos;
  const std::size_t open_end =
      tree_tag_end == std::string_view::npos ? tree_tag_end : tree_tag_end - 1;
  const auto tree_end =
      open_end != std::string_view::npos ? find_element_end(text, *tree, "p:spTree") : std::nullopt;
  if (tree_end) {
    const std::size_t inside_begin = open_end + 1;
    const std::size_t inside_end = *tree_end - kTreeEnd.size();
    // A tree written "<p:spTree/>" ends at its own start tag and has nothing inside.
    if (*tree_end >= kTreeEnd.size() && inside_end >= inside_begin) {
      for (std::string_view block :
           extract_shape_blocks(text.substr(inside_begin, inside_end - inside_begin))) {
        summarize_at_level(block, std::nullopt, 1, refill.next());
      }
    }
  }
  refill.finish();
}

}  // namespace

TransformSummary map_child_transform(const TransformSummary& transform,
                                     const ChildTransformMapping& mapping) {
  const Axis x = map_child_axis({transform.x, transform.cx}, {mapping.x, mapping.cx},
                                {mapping.child_x, mapping.child_cx});
  const Axis y = map_child_axis({transform.y, transform.cy}, {mapping.y, mapping.cy},
                                {mapping.child_y, mapping.child_cy});
  return {.x = x.position, .y = y.position, .cx = x.extent, .cy = y.extent};
}

void extract_shapes_in_text(std::string_view text, std::vector<ShapeSummary>& shapes) {
  shapes_of_tree(text, shapes);
}

}  // namespace pelvane
