// Which parts a package's relationships reach, as data over part names: the graph of every
// relationships part's internal targets, read part by part as the walks that find what deleting
// slides leaves without a user come to it, and those walks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/error.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/zip/plain_entry.hpp"

namespace pelvane {

class PackageArchive;

// One relationship leading to a part, its name a view into the edges that hold it.
// `mode_given`: the relationship names TargetMode="Internal" (in any letter case); false when it
// names no TargetMode at all.
struct RelationshipEdge {
  std::string_view target;
  bool mode_given = false;

  friend bool operator==(const RelationshipEdge&, const RelationshipEdge&) = default;
};

// The edges of one source in order, their targets held end to end in one buffer: a source of
// thousands of relationships (the presentation's) costs a few arrays rather than a string each.
// The views that reading gives stay valid while the edges are neither changed nor moved.
class RelationshipEdges {
 public:
  class const_iterator {
   public:
    using value_type = RelationshipEdge;
    using difference_type = std::ptrdiff_t;

    const_iterator() = default;
    const_iterator(const RelationshipEdges* edges, std::size_t at) : edges_(edges), at_(at) {}
    RelationshipEdge operator*() const { return (*edges_)[at_]; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++at_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.at_ == b.at_;
    }

   private:
    const RelationshipEdges* edges_ = nullptr;
    std::size_t at_ = 0;
  };
  using value_type = RelationshipEdge;
  using iterator = const_iterator;

  RelationshipEdges() = default;
  // Room for `count` edges whose targets take `target_bytes` in all, from the thread's shelves:
  // the edges of a source of thousands of relationships (the presentation's) are then built in
  // room kept from one call to the next. The room goes back when the edges go.
  RelationshipEdges(std::size_t count, std::size_t target_bytes)
      : targets_(TargetShelf::take(target_bytes)), spans_(SpanShelf::take(count)) {}
  RelationshipEdges(const RelationshipEdges&) = default;
  RelationshipEdges(RelationshipEdges&&) = default;
  RelationshipEdges& operator=(const RelationshipEdges&) = default;
  RelationshipEdges& operator=(RelationshipEdges&&) = default;
  ~RelationshipEdges() {
    TargetShelf::give_back(std::move(targets_));
    SpanShelf::give_back(std::move(spans_));
  }
  RelationshipEdges(std::initializer_list<RelationshipEdge> edges) {
    for (const RelationshipEdge& edge : edges) {
      targets_.append(edge.target);
      end_edge(edge.mode_given);
    }
  }

  // The buffer the next edge's target is appended to; `end_edge` then ends that edge.
  std::string& targets() { return targets_; }
  void end_edge(bool mode_given) {
    spans_.push_back({begin_, targets_.size() - begin_, mode_given});
    begin_ = targets_.size();
  }

  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  RelationshipEdge operator[](std::size_t index) const {
    const Span& span = spans_[index];
    return {std::string_view(targets_).substr(span.begin, span.size), span.mode_given};
  }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, spans_.size()}; }

  friend bool operator==(const RelationshipEdges& a, const RelationshipEdges& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  struct Span {
    std::size_t begin = 0;
    std::size_t size = 0;
    bool mode_given = false;
  };
  using TargetShelf = BufferShelf<std::string, ShelfUse::GatheredNames>;
  using SpanShelf = BufferShelf<std::vector<Span>>;
  std::string targets_;
  std::vector<Span> spans_;
  std::size_t begin_ = 0;  // where the target being appended starts
};

// The part whose relationships a relationships part holds: "_rels/.rels" is the package root
// (the empty name); otherwise the name loses every trailing ".rels" and its last "_rels" segment
// (ppt/slides/_rels/slide1.xml.rels: ppt/slides/slide1.xml), or only the ".rels" when it has no
// such segment.
std::string relationships_source_part(std::string_view relationships_part);

// The edges of one source, from the bytes of its relationships part: a relationship without
// TargetMode or with "Internal" and a non-empty Target. The package root's targets lose their
// leading "/" and are otherwise taken as written; any other source's are resolved against it
// (`resolve_target`).
RelationshipEdges relationship_edges(std::string_view source_part,
                                     std::string_view relationships_bytes);
// The same for one Relationship element, met in a pass of the caller's own: its edge, if it
// has one, goes at the end of `edges`.
void add_relationship_edge(std::string_view source_part, const RelationshipText& text,
                           RelationshipEdges& edges);

// Source part name (empty: the package root) -> the parts its relationships lead to. Over a
// package, a source's relationships part is read the first time its edges are asked for, so a
// walk reads only the relationships parts of the parts it comes to.
class RelationshipGraph {
 public:
  // Every ".rels" entry of the archive is the relationships part of its source, a later one in
  // archive order standing for the same source in place of an earlier one; none is read yet.
  // The caller has checked every entry of the archive to open, as the slide listing does.
  static RelationshipGraph of_package(PackageArchive& archive);
  // A graph given as data: each source with its edges.
  explicit RelationshipGraph(std::vector<std::pair<std::string, RelationshipEdges>> edges);

  // The bytes of the relationships part `name`, which the caller read from the same archive:
  // when the graph comes to that part, its edges are taken from them rather than from a second
  // read. `use_read_edges`: the same with the edges the caller took from those bytes
  // (`relationship_edges` of the part's source).
  void use_read_part(std::string_view name, std::string_view bytes);
  void use_read_edges(std::string_view name, RelationshipEdges edges);

  // The edges of `source`; null when it has no relationships part. A failure while reading the
  // part is `Io`. A part stored exactly as one read before (same method, CRC-32, size and
  // compressed bytes) for a source in the same folder has the same edges, taken without
  // reading it again. The edges live as long as the graph. `named`, when given, is set to the
  // entry of the relationships part named after the source (`relationship_part_name`) when it
  // was looked up by that name and found, else to none.
  Result<const RelationshipEdges*> edges(std::string_view source,
                                         std::optional<std::uint64_t>* named = nullptr);

 private:
  RelationshipGraph() = default;

  // Keeps the edges of one relationships part for as long as the graph lives.
  const RelationshipEdges* keep(RelationshipEdges edges) {
    return &parsed_.emplace_back(std::move(edges));
  }

  // The relationships entry that stands for `source`, if any: the later in archive order of the
  // one named after it and the one listed for it. The one named after it, if looked up and
  // found, goes into `named`.
  std::optional<std::uint64_t> relationships_entry(std::string_view source,
                                                   std::optional<std::uint64_t>& named);

  PackageArchive* archive_ = nullptr;
  // A relationships part the caller read (`use_read_part`): its entry and edges.
  std::optional<std::pair<std::uint64_t, RelationshipEdges>> given_;
  // Whether a part named as its source's relationships part ("dir/_rels/file.rels" of
  // "dir/file") is looked up by that name: in an archive whose names are unique and found
  // through its own index. The relationships parts that are not (all of them otherwise) are
  // listed by source here, the later in archive order in place of an earlier one.
  bool by_name_ = false;
  std::unordered_map<std::string, std::uint64_t, KeyedHash, std::equal_to<>> listed_;
  // The edges of each relationships entry once read (by entry index), shared by the entries
  // stored alike.
  std::vector<const RelationshipEdges*> read_;
  std::deque<RelationshipEdges> parsed_;
  // The edges of a relationships part by its source's folder and its stored form (see
  // `edges`), so that the many alike parts of a package (the slides of one layout) are inflated
  // and parsed once.
  PartNameSet alike_keys_;
  std::vector<const RelationshipEdges*> alike_edges_;  // by the position of their key
  std::size_t last_alike_ = 0;                         // the position of the last key found
  // The stored bytes of the relationships parts compared, read through one window.
  std::optional<StoredBytesWindow> window_;
  // The name of the relationships part looked up, and the key of the part compared, made again
  // in the same room for each source the walks come to.
  std::string part_name_;
  std::string alike_key_;
};

// Every part reachable from the deleted slides through relationships without a TargetMode: views
// into the names of `targets` and the graph's edges, the targets first in their order. With
// `named_relationships`, for each of those parts by its position, the entry of its relationships
// part as `edges` gives it in `named`.
Result<PartNameViews> deleted_closure(
    RelationshipGraph& graph, const PartNameViews& targets,
    std::vector<std::optional<std::uint64_t>>* named_relationships = nullptr);

// Those of `candidates` that the package root, "ppt/presentation.xml" or a surviving slide (of
// `surviving`, in its order) reaches through internal relationships (with or without TargetMode)
// without entering a deleted slide. The walk stops once every candidate is reached, and takes the
// parts that the presentation leads to before the surviving slides, so that the parts every
// slide shares are found without reading each slide's relationships.
Result<PartNameViews> kept_parts(RelationshipGraph& graph, const PartNameViews& surviving,
                                 const PartNameViews& targets, const PartNameViews& candidates);

}  // namespace pelvane
