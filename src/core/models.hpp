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

}  // namespace pelvane
