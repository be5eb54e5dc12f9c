// Records the engine returns, each listing its fields for the JSON writer (json_out.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"

namespace pelvane {

enum class PartKind { Xml, Relationships, Media, Embedding, Vba, Binary };

inline std::string_view json_word(PartKind kind) {
  switch (kind) {
    case PartKind::Xml: return "xml";
    case PartKind::Relationships: return "relationships";
    case PartKind::Media: return "media";
    case PartKind::Embedding: return "embedding";
    case PartKind::Vba: return "vba";
    case PartKind::Binary: return "binary";
  }
  return "binary";
}

struct PartRecord {
  std::string name;
  std::uint64_t size = 0;
  std::string sha256;
  PartKind kind = PartKind::Binary;

  template <class V>
  void visit(V& v) const {
    v.field("name", name);
    v.field("size", size);
    v.field("sha256", sha256);
    v.field("kind", kind);
  }
};

struct PackageManifest {
  std::string path;
  std::vector<PartRecord> parts;

  bool has_vba() const {
    for (const auto& part : parts) {
      if (part.kind == PartKind::Vba) return true;
    }
    return false;
  }

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("parts", parts);
  }
};

// ---- Inspection summaries ----

// One relationship of a relationships part. The package layer also reads relationships parts
// into this record for its own use.
struct RelationshipSummary {
  std::string id;
  std::string relationship_type;
  std::string target;  // as written in the part, not resolved
  std::optional<std::string> target_mode;

  friend bool operator==(const RelationshipSummary&, const RelationshipSummary&) = default;

  template <class V>
  void visit(V& v) const {
    v.field("id", id);
    v.field("relationship_type", relationship_type);
    v.field("target", target);
    v.field("target_mode", target_mode);
  }
};

// A shape's position and size in EMU.
struct TransformSummary {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t cx = 0;
  std::int64_t cy = 0;

  friend bool operator==(const TransformSummary&, const TransformSummary&) = default;

  template <class V>
  void visit(V& v) const {
    v.field("x", x);
    v.field("y", y);
    v.field("cx", cx);
    v.field("cy", cy);
  }
};

// One text field of a paragraph (a slide number, a date), placed by the runs and line breaks
// that precede it in its paragraph.
struct ParagraphFieldSummary {
  std::uint64_t run_slot = 0;
  std::uint64_t line_breaks_before = 0;
  std::string text;

  friend bool operator==(const ParagraphFieldSummary&, const ParagraphFieldSummary&) = default;

  template <class V>
  void visit(V& v) const {
    v.field("run_slot", run_slot);
    v.field("line_breaks_before", line_breaks_before);
    v.field("text", text);
  }
};

// One table: cell texts row by row (a cell's paragraphs joined with a line feed).
struct TableSummary {
  std::vector<std::vector<std::string>> rows;
  std::uint64_t row_count = 0;
  std::uint64_t col_count = 0;

  friend bool operator==(const TableSummary&, const TableSummary&) = default;

  template <class V>
  void visit(V& v) const {
    v.field("rows", rows);
    v.field("row_count", row_count);
    v.field("col_count", col_count);
  }
};

// One shape of a slide's shape tree; a group owns its member shapes in `children`.
struct ShapeSummary {
  std::optional<std::string> id;
  std::optional<std::string> name;
  std::string kind;
  bool is_placeholder = false;
  std::optional<std::string> placeholder_type;
  std::optional<std::string> placeholder_idx;
  std::string text;
  std::vector<std::string> paragraphs;
  std::vector<std::vector<std::string>> paragraph_runs;
  std::vector<std::vector<std::uint64_t>> paragraph_line_breaks;
  std::vector<std::vector<ParagraphFieldSummary>> paragraph_fields;
  std::vector<std::vector<std::optional<bool>>> paragraph_run_bold;
  std::vector<std::vector<std::optional<bool>>> paragraph_run_italic;
  std::vector<std::vector<std::optional<bool>>> paragraph_run_underline;
  std::vector<std::vector<std::optional<std::int64_t>>> paragraph_run_font_size;  // EMU
  std::vector<std::vector<std::optional<std::string>>> paragraph_run_font_name;
  std::vector<TableSummary> tables;
  std::vector<std::string> relationship_ids;
  bool has_chart = false;
  bool has_picture = false;
  bool has_group = false;
  std::optional<TransformSummary> transform;
  std::optional<TransformSummary> effective_transform;
  std::vector<ShapeSummary> children;

  template <class V>
  void visit(V& v) const {
    v.field("id", id);
    v.field("name", name);
    v.field("kind", kind);
    v.field("is_placeholder", is_placeholder);
    v.field("placeholder_type", placeholder_type);
    v.field("placeholder_idx", placeholder_idx);
    v.field("text", text);
    v.field("paragraphs", paragraphs);
    v.field("paragraph_runs", paragraph_runs);
    v.field("paragraph_line_breaks", paragraph_line_breaks);
    v.field("paragraph_fields", paragraph_fields);
    v.field("paragraph_run_bold", paragraph_run_bold);
    v.field("paragraph_run_italic", paragraph_run_italic);
    v.field("paragraph_run_underline", paragraph_run_underline);
    v.field("paragraph_run_font_size", paragraph_run_font_size);
    v.field("paragraph_run_font_name", paragraph_run_font_name);
    v.field("tables", tables);
    v.field("relationship_ids", relationship_ids);
    v.field("has_chart", has_chart);
    v.field("has_picture", has_picture);
    v.field("has_group", has_group);
    v.field("transform", transform);
    v.field("effective_transform", effective_transform);
    v.field("children", children);
  }
};

// One slide: its texts, shapes, tables, notes, relationships (all, and by kind) and flags.
struct SlideSummary {
  std::string part;
  std::vector<std::string> texts;
  std::vector<ShapeSummary> shapes;
  std::vector<TableSummary> tables;
  std::vector<std::string> notes;
  std::vector<RelationshipSummary> relationships;
  std::vector<RelationshipSummary> image_relationships;
  std::vector<RelationshipSummary> chart_relationships;
  std::vector<RelationshipSummary> comment_relationships;
  std::vector<RelationshipSummary> media_relationships;
  std::vector<RelationshipSummary> ole_relationships;
  bool has_transition = false;
  bool has_timing = false;

  template <class V>
  void visit(V& v) const {
    v.field("part", part);
    v.field("texts", texts);
    v.field("shapes", shapes);
    v.field("tables", tables);
    v.field("notes", notes);
    v.field("relationships", relationships);
    v.field("image_relationships", image_relationships);
    v.field("chart_relationships", chart_relationships);
    v.field("comment_relationships", comment_relationships);
    v.field("media_relationships", media_relationships);
    v.field("ole_relationships", ole_relationships);
    v.field("has_transition", has_transition);
    v.field("has_timing", has_timing);
  }
};

// The whole presentation's summary is written slide by slide, as it is made: see
// `PresentationSummary` in inspect/summary_package_extract.hpp.

// ---- Editing result records ----

// Every editing result record begins with `path` (the package written) and ends with the
// figures of the package as written: `part_count` entries and `has_vba`.

struct TextReplacementSummary {
  std::string path;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct TextRunReplacementSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("run_index", run_index);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct ShapeTextSetSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("shape_index", shape_index);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct ParagraphTextSetSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("shape_index", shape_index);
    v.field("paragraph_index", paragraph_index);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct TableCellReplacementSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t row_index = 0;
  std::uint64_t col_index = 0;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("table_index", table_index);
    v.field("row_index", row_index);
    v.field("col_index", col_index);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct ImageReplacementSummary {
  std::string path;
  std::string relationship_id;
  std::uint64_t replacements = 0;
  std::vector<std::string> replaced_parts;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("relationship_id", relationship_id);
    v.field("replacements", replacements);
    v.field("replaced_parts", replaced_parts);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct ImageAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::string relationship_id;
  std::string image_part;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("relationship_id", relationship_id);
    v.field("image_part", image_part);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct MovieAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::string media_relationship_id;
  std::string video_relationship_id;
  std::string poster_relationship_id;
  std::string media_part;
  std::string poster_part;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("media_relationship_id", media_relationship_id);
    v.field("video_relationship_id", video_relationship_id);
    v.field("poster_relationship_id", poster_relationship_id);
    v.field("media_part", media_part);
    v.field("poster_part", poster_part);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct OleObjectAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::string ole_relationship_id;
  std::string icon_relationship_id;
  std::string ole_part;
  std::string icon_part;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("ole_relationship_id", ole_relationship_id);
    v.field("icon_relationship_id", icon_relationship_id);
    v.field("ole_part", ole_part);
    v.field("icon_part", icon_part);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct TableAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::uint64_t table_index = 0;
  std::uint64_t shape_id = 0;
  std::uint64_t rows = 0;
  std::uint64_t cols = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("table_index", table_index);
    v.field("shape_id", shape_id);
    v.field("rows", rows);
    v.field("cols", cols);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

// The record of an operation that adds one shape: the same six keys for text boxes, groups
// and freeforms. Each is a type of its own (the tag), so a result says what was added.
template <class Tag>
struct ShapeAddRecord {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

using TextBoxAddSummary = ShapeAddRecord<struct TextBoxAddTag>;
using GroupShapeAddSummary = ShapeAddRecord<struct GroupShapeAddTag>;  // shape_id: the new group
using FreeformShapeAddSummary = ShapeAddRecord<struct FreeformShapeAddTag>;

struct PlaceholderShapeAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::optional<std::string> placeholder_type;
  std::optional<std::string> placeholder_idx;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("placeholder_type", placeholder_type);
    v.field("placeholder_idx", placeholder_idx);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct PlaceholderShapeBatchAddSummary {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::vector<std::uint64_t> shape_ids;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("shape_ids", shape_ids);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

// The record of an operation that adds a shape of a preset geometry, the preset as given:
// auto shapes, and connectors (preset and shape_id are the connector's).
template <class Tag>
struct PresetShapeAddRecord {
  std::string path;
  std::uint64_t slide_index = 0;
  std::string slide_part;
  std::string preset_geometry;
  std::uint64_t shape_id = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_index", slide_index);
    v.field("slide_part", slide_part);
    v.field("preset_geometry", preset_geometry);
    v.field("shape_id", shape_id);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

using AutoShapeAddSummary = PresetShapeAddRecord<struct AutoShapeAddTag>;
using ConnectorAddSummary = PresetShapeAddRecord<struct ConnectorAddTag>;

struct SlideAddSummary {
  std::string path;
  std::string slide_part;
  std::string relationship_id;
  std::string layout_target;
  std::uint64_t slide_id = 0;
  std::uint64_t slide_count = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("slide_part", slide_part);
    v.field("relationship_id", relationship_id);
    v.field("layout_target", layout_target);
    v.field("slide_id", slide_id);
    v.field("slide_count", slide_count);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct SlideDeleteSummary {
  std::string path;
  std::vector<std::string> deleted_slide_parts;
  std::vector<std::string> deleted_relationship_ids;
  std::uint64_t survivor_count = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("deleted_slide_parts", deleted_slide_parts);
    v.field("deleted_relationship_ids", deleted_relationship_ids);
    v.field("survivor_count", survivor_count);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

struct EditBatchSummary {
  std::string path;
  std::uint64_t edits = 0;
  std::uint64_t replacements = 0;
  std::uint64_t part_count = 0;
  bool has_vba = false;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("edits", edits);
    v.field("replacements", replacements);
    v.field("part_count", part_count);
    v.field("has_vba", has_vba);
  }
};

}  // namespace pelvane
