#include "core/slides/relationship_graph.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <utility>

#include "core/base/ascii.hpp"
#include "core/base/byte_search.hpp"
#include "core/base/string_room.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/zip/crc32.hpp"
#include "core/zip/package_archive.hpp"
#include "core/zip/plain_entry.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kPackageRootRelationships = "_rels/.rels";
constexpr std::string_view kRelsSuffix = ".rels";

// The names reached so far, in the order reached: those from `next` on are still to be
// followed.
struct Walk {
  PartNameViews seen;
  std::size_t next = 0;

  // True when the name is new; `hash` is its `PartNameViews::hash_of`.
  bool visit(std::string_view name, std::size_t hash) { return seen.insert(name, hash); }
  bool visit(std::string_view name) { return seen.insert(name); }
  // The first name reached whose edges are not followed yet; none when there is none.
  std::optional<std::string_view> take() {
    if (next == seen.size()) return std::nullopt;
    return seen[next++];
  }
};

// True when the name is "dir/_rels/file.rels" (or "_rels/file.rels") with a file name that does
// not itself end with ".rels": the relationships part that `relationship_part_name` gives its
// source "dir/file" (or "file"), and the one name of that form for that source.
bool named_as_relationships_part(std::string_view name) {
  if (!name.ends_with(kRelsSuffix)) return false;
  // Every relationships entry passes here.
  const std::size_t slash = find_last_byte(name, '/');
  if (slash == std::string_view::npos) return false;
  const std::string_view folder = name.substr(0, slash);
  if (!folder.ends_with("_rels") || (folder.size() > 5 && folder[folder.size() - 6] != '/'))
    return false;
  const std::string_view file =
      name.substr(slash + 1, name.size() - slash - 1 - kRelsSuffix.size());
  return !file.ends_with(kRelsSuffix);
}

// Relationships parts at most this large (compressed) are compared by their stored bytes.
constexpr std::uint64_t kAlikeLimit = 64 * 1024;

// The key under which alike relationships parts share their edges, made into `key`: the folder
// of the source (what its targets are resolved against), then the entry's method, CRC-32, size
// and compressed bytes as stored, which end the key. Where those bytes begin; none when the
// entry is not read through its stored headers, is large (either way: a large part, such as the
// presentation's, is one of a kind, and checking its content again would cost a pass over it),
// or cannot be read here (it is then read as usual).
std::optional<std::size_t> alike_key(PackageArchive& archive,
                                     std::optional<StoredBytesWindow>& window, std::uint64_t index,
                                     std::string_view source, std::string& key) {
  const StoredEntryHeaders* plain = archive.plain_headers();
  if (plain == nullptr || source.empty()) return std::nullopt;
  if (!window) window.emplace(*plain);
  window->settle(index);
  const auto data = plain->data(index);
  if (!data || data->compressed_size > kAlikeLimit || data->uncompressed_size > kAlikeLimit)
    return std::nullopt;
  const auto stored = window->compressed(index);
  if (!stored) return std::nullopt;
  const std::size_t slash = source.rfind('/');
  const std::string_view folder = source.substr(0, slash == std::string_view::npos ? 0 : slash + 1);
  // Both sizes are within the limit, so that each field fits in 32 bits.
  const std::uint32_t fields[] = {data->method, data->crc32,
                                  static_cast<std::uint32_t>(data->uncompressed_size)};
  const std::size_t stored_at = folder.size() + 1 + sizeof fields;
  grow_unwritten(key, stored_at + stored->size());
  char* out = std::copy(folder.begin(), folder.end(), key.data());
  *out++ = '\0';
  std::memcpy(out, fields, sizeof fields);
  std::memcpy(key.data() + stored_at, stored->data(), stored->size());
  return stored_at;
}

}  // namespace

std::string relationships_source_part(std::string_view relationships_part) {
  if (relationships_part == kPackageRootRelationships) return {};
  std::string_view name = relationships_part;
  while (name.ends_with(kRelsSuffix)) name.remove_suffix(kRelsSuffix.size());
  // The segments from the last one back; the first "_rels" met goes, with a slash beside it.
  for (std::size_t end = name.size();;) {
    const std::size_t slash = end == 0 ? std::string_view::npos : name.rfind('/', end - 1);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    if (name.substr(start, end - start) == "_rels") {
      if (end < name.size()) {
        std::string source;
        source.reserve(name.size() - (end + 1 - start));
        source.append(name.substr(0, start)).append(name.substr(end + 1));
        return source;
      }
      return std::string(name.substr(0, slash == std::string_view::npos ? 0 : slash));
    }
    if (slash == std::string_view::npos) return std::string(name);
    end = slash;
  }
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
      edges.targets().append(target);
    } else {
      append_resolved_target(source_part, target, edges.targets());
    }
    edges.end_edge(mode_given);
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

RelationshipGraph::RelationshipGraph(std::vector<std::pair<std::string, RelationshipEdges>> edges) {
  // Each source stands for an entry of its own.
  for (auto& [source, targets] : edges) {
    listed_.emplace(source, read_.size());
    read_.push_back(keep(std::move(targets)));
  }
}

RelationshipGraph RelationshipGraph::of_package(PackageArchive& archive) {
  RelationshipGraph graph;
  graph.archive_ = &archive;
  graph.by_name_ = archive.plain_headers() != nullptr;
  const std::uint64_t count = archive.entry_count();
  graph.read_.assign(static_cast<std::size_t>(count), nullptr);
  for (std::uint64_t index = 0; index < count; ++index) {
    const std::string_view name = archive.entry_name(index);
    if (!name.ends_with(kRelsSuffix)) continue;
    if (!graph.by_name_ || !named_as_relationships_part(name))
      graph.listed_[relationships_source_part(name)] = index;
  }
  return graph;
}

std::optional<std::uint64_t> RelationshipGraph::relationships_entry(
    std::string_view source, std::optional<std::uint64_t>& named) {
  std::optional<std::uint64_t> entry;
  // The name `relationship_part_name` gives is of the form `named_as_relationships_part` takes
  // (and so stands for this very source and no other) unless the source itself ends with ".rels".
  if (by_name_ && !source.ends_with(kRelsSuffix)) {
    relationship_part_name_into(source, part_name_);
    entry = named = archive_->find(part_name_);
  }
  if (listed_.empty()) return entry;
  if (const auto listed = listed_.find(source); listed != listed_.end())
    if (!entry || listed->second > *entry) entry = listed->second;
  return entry;
}

void RelationshipGraph::use_read_part(std::string_view name, std::string_view bytes) {
  use_read_edges(name, relationship_edges(relationships_source_part(name), bytes));
}

void RelationshipGraph::use_read_edges(std::string_view name, RelationshipEdges edges) {
  if (archive_ == nullptr) return;
  if (const auto index = archive_->find(name)) given_.emplace(*index, std::move(edges));
}

Result<const RelationshipEdges*> RelationshipGraph::edges(std::string_view source,
                                                          std::optional<std::uint64_t>* named) {
  std::optional<std::uint64_t> named_entry;
  const std::optional<std::uint64_t> entry = relationships_entry(source, named_entry);
  if (named != nullptr) *named = named_entry;
  if (!entry) return nullptr;
  const std::uint64_t index = *entry;
  const RelationshipEdges*& edges = read_[static_cast<std::size_t>(index)];
  if (edges != nullptr) return edges;
  // Only the very entry the caller read: another part may stand for the same source.
  if (given_ && given_->first == index) return edges = keep(std::move(given_->second));
  const std::optional<std::size_t> stored_at =
      alike_key(*archive_, window_, index, source, alike_key_);
  std::optional<std::string_view> compressed;
  if (stored_at) {
    // Alike parts commonly follow one another (the slides of one layout): the last one met is
    // compared before any lookup.
    if (last_alike_ < alike_keys_.size() && alike_keys_[last_alike_] == alike_key_)
      return edges = alike_edges_[last_alike_];
    if (const auto alike = alike_keys_.index_of(alike_key_)) {
      last_alike_ = *alike;
      return edges = alike_edges_[*alike];
    }
    compressed = std::string_view(alike_key_).substr(*stored_at);  // not read again
  }
  const std::string content = PELVANE_TRY(read_archive_entry(*archive_, index, compressed));
  edges = keep(relationship_edges(source, content));
  // Only a part whose bytes read back as stored stands for the parts alike: any of them would
  // read the same way.
  if (stored_at && entry_declared_crc32(*archive_, index) == update_crc32(0, content)) {
    last_alike_ = alike_keys_.size();
    alike_keys_.insert(alike_key_);
    alike_edges_.push_back(edges);
  }
  return edges;
}

Result<PartNameViews> deleted_closure(
    RelationshipGraph& graph, const PartNameViews& targets,
    std::vector<std::optional<std::uint64_t>>* named_relationships) {
  Walk walk;
  walk.seen.reserve(targets.size());
  for (std::size_t at = 0; at < targets.size(); ++at) walk.visit(targets[at], targets.hash_at(at));
  if (named_relationships != nullptr) named_relationships->clear();
  // Parts stored alike share their edges (the slides of one layout): edges just followed lead
  // nowhere new.
  const RelationshipEdges* followed = nullptr;
  while (const std::optional<std::string_view> name = walk.take()) {
    std::optional<std::uint64_t> named;
    const RelationshipEdges* edges = PELVANE_TRY(graph.edges(*name, &named));
    if (named_relationships != nullptr) named_relationships->push_back(named);
    if (edges == nullptr || edges == followed) continue;
    followed = edges;
    for (const RelationshipEdge& edge : *edges)
      if (!edge.mode_given) walk.visit(edge.target);
  }
  return std::move(walk.seen);
}

Result<PartNameViews> kept_parts(RelationshipGraph& graph, const PartNameViews& surviving,
                                 const PartNameViews& targets, const PartNameViews& candidates) {
  // Every internal relationship keeps its part, whether or not it names its mode: a part that a
  // surviving slide still uses is never dropped.
  Walk walk;
  std::size_t unreached = candidates.size();
  // The surviving slides are reached from the start, by the names the caller holds; their own
  // relationships are followed only once everything else reached is, and only while some
  // candidate is still unreached. The package root and the presentation are no slides here.
  const auto reach = [&](std::string_view name, std::size_t hash) {
    if (walk.visit(name, hash) && candidates.contains(name, hash)) --unreached;
  };
  for (const std::string_view name : {std::string_view(), kPresentationPart})
    reach(name, PartNameViews::hash_of(name));
  const auto slide = [](std::string_view name) {
    return !name.empty() && name != kPresentationPart;
  };
  // Reached so far: those two names alone. The candidates among the surviving slides are reached
  // too (counted from the candidates, commonly far fewer); the slides are followed in the order
  // of their set.
  for (std::size_t at = 0; at < candidates.size(); ++at)
    if (slide(candidates[at]) && surviving.contains(candidates[at], candidates.hash_at(at)))
      --unreached;
  std::size_t next_slide = 0;
  while (unreached > 0) {
    std::optional<std::string_view> name = walk.take();
    while (!name && next_slide < surviving.size()) {
      const std::string_view next = surviving[next_slide++];
      if (slide(next)) name = next;
    }
    if (!name) break;
    const RelationshipEdges* edges = PELVANE_TRY(graph.edges(*name));
    if (edges == nullptr) continue;
    // The surviving slides are looked up first: most edges (the presentation's) lead to them.
    for (const RelationshipEdge& edge : *edges) {
      const std::size_t hash = PartNameViews::hash_of(edge.target);
      if (!surviving.contains(edge.target, hash) && !targets.contains(edge.target, hash))
        reach(edge.target, hash);
    }
  }
  PartNameViews kept;
  for (std::size_t at = 0; at < candidates.size(); ++at) {
    const std::string_view candidate = candidates[at];
    const std::size_t hash = candidates.hash_at(at);
    if (walk.seen.contains(candidate, hash) || surviving.contains(candidate, hash))
      kept.insert(candidate, hash);
  }
  return kept;
}

}  // namespace pelvane
