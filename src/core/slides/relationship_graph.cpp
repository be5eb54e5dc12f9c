#include "core/slides/relationship_graph.hpp"

#include <deque>
#include <optional>
#include <span>
#include <utility>

#include "core/base/ascii.hpp"
#include "core/base/system_io.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/zip/crc32.hpp"
#include "core/zip/package_archive.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kPackageRootRelationships = "_rels/.rels";
constexpr std::string_view kRelsSuffix = ".rels";

// The names reached so far and those whose edges are still to be followed.
struct Walk {
  PartNameViews seen;
  std::deque<std::string_view> queue;

  // True when the name is new.
  bool visit(std::string_view name) {
    const bool inserted = seen.insert(name).second;
    if (inserted) queue.push_back(name);
    return inserted;
  }
};

// Appends the source part of a relationships part (`relationships_source_part`) to `out`.
void append_relationships_source_part(std::string_view relationships_part, std::string& out) {
  if (relationships_part == kPackageRootRelationships) return;
  std::string_view name = relationships_part;
  while (name.ends_with(kRelsSuffix)) name.remove_suffix(kRelsSuffix.size());
  // The segments from the last one back; the first "_rels" met goes, with a slash beside it.
  for (std::size_t end = name.size();;) {
    const std::size_t slash = end == 0 ? std::string_view::npos : name.rfind('/', end - 1);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    if (name.substr(start, end - start) == "_rels") {
      if (end < name.size()) {
        out.append(name.substr(0, start)).append(name.substr(end + 1));
      } else {
        out.append(name.substr(0, slash == std::string_view::npos ? 0 : slash));
      }
      return;
    }
    if (slash == std::string_view::npos) {
      out.append(name);
      return;
    }
    end = slash;
  }
}

// Relationships parts at most this large (compressed) are compared by their stored bytes.
constexpr std::uint64_t kAlikeLimit = 64 * 1024;

void append_u32(std::string& out, std::uint64_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

// The key under which alike relationships parts share their edges: the folder of the source
// (what its targets are resolved against), then the entry's method, CRC-32, size and compressed
// bytes as stored. None when the entry is not read through its stored headers, is large (either
// way: a large part, such as the presentation's, is one of a kind, and checking its content
// again would cost a pass over it), or cannot be read here (it is then read as usual).
std::optional<std::string> alike_key(PackageArchive& archive, std::uint64_t index,
                                     std::string_view source) {
  const StoredEntryHeaders* plain = archive.plain_headers();
  if (plain == nullptr || source.empty()) return std::nullopt;
  const auto data = plain->data(index);
  if (!data || data->compressed_size > kAlikeLimit || data->uncompressed_size > kAlikeLimit)
    return std::nullopt;
  const std::size_t slash = source.rfind('/');
  std::string key(source.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
  key.push_back('\0');
  append_u32(key, data->method);
  append_u32(key, data->crc32);
  append_u32(key, data->uncompressed_size);
  const std::size_t at = key.size();
  key.resize(at + static_cast<std::size_t>(data->compressed_size));
  if (!read_whole_at(plain->file_descriptor(), data->offset,
                     std::span<char>(key).subspan(at)))
    return std::nullopt;
  return key;
}

}  // namespace

std::string relationships_source_part(std::string_view relationships_part) {
  std::string source;
  append_relationships_source_part(relationships_part, source);
  return source;
}

void add_relationship_edge(std::string_view source_part, const RelationshipText& text,
                           RelationshipEdges& edges) {
  const bool mode_given = text.has_target_mode;
  if (mode_given && !equals_ignoring_ascii_case(relationship_value(text.target_mode), "Internal"))
    return;
  with_relationship_value(text.target, [&](std::string_view target) {
    if (target.empty()) return;
    if (source_part.empty()) {
      while (target.starts_with('/')) target.remove_prefix(1);
      edges.push_back(RelationshipEdge{std::string(target), mode_given});
    } else {
      edges.push_back(RelationshipEdge{resolve_target(source_part, target), mode_given});
    }
  });
}

RelationshipEdges relationship_edges(std::string_view source_part,
                                     std::string_view relationships_bytes) {
  RelationshipEdges edges;
  scan_relationships(relationships_bytes, [&](const RelationshipText& text) {
    add_relationship_edge(source_part, text, edges);
  });
  return edges;
}

RelationshipGraph::RelationshipGraph(std::unordered_map<std::string, RelationshipEdges> edges) {
  std::size_t room = 0;
  for (const auto& [source, targets] : edges) room += source.size();
  names_.reserve(room);
  for (auto& [source, targets] : edges) {
    const std::size_t at = names_.size();
    names_.append(source);
    sources_[std::string_view(names_).substr(at)] = Source{0, keep(std::move(targets))};
  }
}

Result<RelationshipGraph> RelationshipGraph::of_package(PackageArchive& archive) {
  RelationshipGraph graph;
  graph.archive_ = &archive;
  const std::uint64_t count = archive.entry_count();
  // A source name is never longer than the name of its relationships part.
  std::size_t room = 0;
  std::size_t parts = 0;
  for (std::uint64_t index = 0; index < count; ++index) {
    const std::string_view name = archive.entry_name(index);
    if (!name.ends_with(kRelsSuffix)) continue;
    room += name.size();
    ++parts;
  }
  graph.names_.reserve(room);
  graph.sources_.reserve(parts);
  for (std::uint64_t index = 0; index < count; ++index) {
    const std::string_view name = archive.entry_name(index);
    if (!name.ends_with(kRelsSuffix)) continue;
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    const std::size_t at = graph.names_.size();
    append_relationships_source_part(name, graph.names_);
    const auto [source, added] =
        graph.sources_.try_emplace(std::string_view(graph.names_).substr(at), Source{index});
    if (added) continue;
    source->second.index = index;
    graph.names_.resize(at);
  }
  return graph;
}

void RelationshipGraph::use_read_part(std::string_view name, std::string_view bytes) {
  use_read_edges(name, relationship_edges(relationships_source_part(name), bytes));
}

void RelationshipGraph::use_read_edges(std::string_view name, RelationshipEdges edges) {
  if (archive_ == nullptr) return;
  if (const auto index = archive_->find(name)) given_.emplace(*index, std::move(edges));
}

Result<const RelationshipEdges*> RelationshipGraph::edges(std::string_view source) {
  const auto found = sources_.find(source);
  if (found == sources_.end()) return nullptr;
  Source& entry = found->second;
  if (entry.edges != nullptr) return entry.edges;
  const std::uint64_t index = entry.index;
  // Only the very entry the caller read: another part may stand for the same source.
  if (given_ && given_->first == index) return entry.edges = keep(std::move(given_->second));
  std::optional<std::string> key = alike_key(*archive_, index, source);
  if (key) {
    if (const auto alike = alike_.find(*key); alike != alike_.end())
      return entry.edges = alike->second;
  }
  const std::string content = PELVANE_TRY(read_archive_entry(*archive_, index));
  entry.edges = keep(relationship_edges(source, content));
  // Only a part whose bytes read back as stored stands for the parts alike: any of them would
  // read the same way.
  if (key && entry_declared_crc32(*archive_, index) == update_crc32(0, content))
    alike_.emplace(std::move(*key), entry.edges);
  return entry.edges;
}

Result<PartNameViews> deleted_closure(RelationshipGraph& graph,
                                      std::span<const std::string> targets) {
  Walk walk;
  for (const std::string& target : targets) walk.visit(target);
  while (!walk.queue.empty()) {
    const std::string_view name = walk.queue.front();
    walk.queue.pop_front();
    const RelationshipEdges* edges = PELVANE_TRY(graph.edges(name));
    if (edges == nullptr) continue;
    for (const RelationshipEdge& edge : *edges)
      if (!edge.mode_given) walk.visit(edge.target);
  }
  return std::move(walk.seen);
}

Result<PartNameViews> kept_parts(RelationshipGraph& graph,
                                 std::span<const std::string_view> survivors,
                                 const PartNameSet& targets, const PartNameViews& candidates) {
  // Every internal relationship keeps its part, whether or not it names its mode: a part that a
  // surviving slide still uses is never dropped.
  Walk walk;
  std::size_t unreached = candidates.size();
  // The surviving slides are reached from the start, by the names the caller holds; their own
  // relationships are followed only once everything else reached is, and only while some
  // candidate is still unreached.
  PartNameViews surviving;
  const auto reach = [&](std::string_view name) {
    if (surviving.contains(name)) return;
    if (walk.visit(name) && candidates.contains(name)) --unreached;
  };
  reach("");
  reach(kPresentationPart);
  // Reached so far: those two names alone.
  std::deque<std::string_view> slides;
  surviving.reserve(survivors.size());
  for (const std::string_view survivor : survivors) {
    if (survivor.empty() || survivor == kPresentationPart || !surviving.insert(survivor).second)
      continue;
    slides.push_back(survivor);
  }
  // The candidates among them are reached (counted from the candidates, commonly far fewer).
  for (const std::string_view candidate : candidates)
    if (surviving.contains(candidate)) --unreached;
  while (unreached > 0) {
    std::string_view name;
    if (!walk.queue.empty()) {
      name = walk.queue.front();
      walk.queue.pop_front();
    } else if (!slides.empty()) {
      name = slides.front();
      slides.pop_front();
    } else {
      break;
    }
    const RelationshipEdges* edges = PELVANE_TRY(graph.edges(name));
    if (edges == nullptr) continue;
    for (const RelationshipEdge& edge : *edges)
      if (!targets.contains(edge.target)) reach(edge.target);
  }
  PartNameViews kept;
  for (const std::string_view candidate : candidates)
    if (walk.seen.contains(candidate) || surviving.contains(candidate)) kept.insert(candidate);
  return kept;
}

}  // namespace pelvane
