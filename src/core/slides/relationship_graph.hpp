// Which parts a package's relationships reach, as plain data over part names: the graph of
// every relationships part's internal targets, and the walks that find what deleting slides
// leaves without a user. No XML is read once the relationships parts are parsed.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

class PackageArchive;

// One relationship leading to a part. `mode_given`: the relationship names TargetMode="Internal"
// (in any letter case); false when it names no TargetMode at all.
struct RelationshipEdge {
  std::string target;
  bool mode_given = false;

  friend bool operator==(const RelationshipEdge&, const RelationshipEdge&) = default;
};

// Source part name (empty: the package root) -> the parts its relationships lead to.
using RelationshipGraph = std::unordered_map<std::string, std::vector<RelationshipEdge>>;
using PartNameSet = std::unordered_set<std::string>;

// The part whose relationships a relationships part holds: "_rels/.rels" is the package root
// (the empty name); otherwise the name loses every trailing ".rels" and its last "_rels" segment
// (ppt/slides/_rels/slide1.xml.rels: ppt/slides/slide1.xml), or only the ".rels" when it has no
// such segment.
std::string relationships_source_part(std::string_view relationships_part);

// The edges of one source: a relationship without TargetMode or with "Internal" and a non-empty
// Target. The package root's targets lose their leading "/" and are otherwise taken as written;
// any other source's are resolved against it (`resolve_target`).
std::vector<RelationshipEdge> relationship_edges(
    std::string_view source_part, const std::vector<RelationshipSummary>& relationships);

// Every ".rels" entry of the archive, in archive order, parsed; a later relationships part of
// the same source replaces the earlier one's edges. An entry that cannot be opened is `Zip`, a
// read failure `Io`.
Result<RelationshipGraph> read_relationship_graph(PackageArchive& archive);

// Every part reachable from the deleted slides through relationships without a TargetMode.
PartNameSet deleted_closure(const RelationshipGraph& graph, std::span<const std::string> targets);

// Every part reachable from the package root, "ppt/presentation.xml" and the surviving slides
// through internal relationships (with or without TargetMode), never entering a deleted slide.
PartNameSet kept_closure(const RelationshipGraph& graph, std::span<const std::string> survivors,
                         const PartNameSet& targets);

}  // namespace pelvane
