#include "core/slides/relationship_graph.hpp"

#include <utility>

#include "core/base/ascii.hpp"
#include "core/package/relationships.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kPackageRootRelationships = "_rels/.rels";
constexpr std::string_view kRelsSuffix = ".rels";

// Breadth first from the seeds; `follow(edge)` decides whether an edge is taken. Names live in
// the returned set, whose nodes stay put while it grows.
template <class Follow>
PartNameSet walk(const RelationshipGraph& graph, std::span<const std::string> seeds,
                 Follow&& follow) {
  PartNameSet seen;
  std::vector<const std::string*> queue;
  const auto visit = [&](const std::string& name) {
    auto [at, inserted] = seen.insert(name);
    if (inserted) queue.push_back(&*at);
  };
  for (const std::string& seed : seeds) visit(seed);
  for (std::size_t next = 0; next < queue.size(); ++next) {
    const auto edges = graph.find(*queue[next]);
    if (edges == graph.end()) continue;
    for (const RelationshipEdge& edge : edges->second)
      if (follow(edge)) visit(edge.target);
  }
  return seen;
}

}  // namespace

std::string relationships_source_part(std::string_view relationships_part) {
  if (relationships_part == kPackageRootRelationships) return {};
  std::string_view name = relationships_part;
  while (name.ends_with(kRelsSuffix)) name.remove_suffix(kRelsSuffix.size());
  std::vector<std::string_view> segments;
  for (std::size_t start = 0;;) {
    const std::size_t slash = name.find('/', start);
    segments.push_back(name.substr(start, slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  for (std::size_t i = segments.size(); i-- > 0;) {
    if (segments[i] == "_rels") {
      segments.erase(segments.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  std::string source;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) source += '/';
    source += segments[i];
  }
  return source;
}

std::vector<RelationshipEdge> relationship_edges(
    std::string_view source_part, const std::vector<RelationshipSummary>& relationships) {
  std::vector<RelationshipEdge> edges;
  for (const RelationshipSummary& relationship : relationships) {
    if (relationship.target.empty()) continue;
    const bool mode_given = relationship.target_mode.has_value();
    if (mode_given && !equals_ignoring_ascii_case(*relationship.target_mode, "Internal")) continue;
    std::string target;
    if (source_part.empty()) {
      std::string_view name = relationship.target;
      while (name.starts_with('/')) name.remove_prefix(1);
      target = name;
    } else {
      target = resolve_target(source_part, relationship.target);
    }
    edges.push_back(RelationshipEdge{std::move(target), mode_given});
  }
  return edges;
}

Result<RelationshipGraph> read_relationship_graph(PackageArchive& archive) {
  RelationshipGraph graph;
  for (std::uint64_t index = 0; index < archive.entry_count(); ++index) {
    const std::string_view name = archive.entry_name(index);
    if (!name.ends_with(kRelsSuffix)) continue;
    const std::string content = PELVANE_TRY(read_archive_entry(archive, index));
    std::string source = relationships_source_part(name);
    graph[source] = relationship_edges(source, parse_relationships(content));
  }
  return graph;
}

PartNameSet deleted_closure(const RelationshipGraph& graph, std::span<const std::string> targets) {
  return walk(graph, targets, [](const RelationshipEdge& edge) { return !edge.mode_given; });
}

PartNameSet kept_closure(const RelationshipGraph& graph, std::span<const std::string> survivors,
                         const PartNameSet& targets) {
  // Every internal relationship keeps its part, whether or not it names its mode: a part that a
  // surviving slide still uses is never dropped.
  std::vector<std::string> seeds{"", "ppt/presentation.xml"};
  seeds.insert(seeds.end(), survivors.begin(), survivors.end());
  return walk(graph, seeds,
              [&](const RelationshipEdge& edge) { return !targets.contains(edge.target); });
}

}  // namespace pelvane
