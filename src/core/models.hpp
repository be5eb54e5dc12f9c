// Records the engine returns, each listing its fields for the JSON writer (json_out.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

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

struct TextBoxAddSummary {
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

struct GroupShapeAddSummary {
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

struct FreeformShapeAddSummary {
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

struct AutoShapeAddSummary {
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

struct ConnectorAddSummary {
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
