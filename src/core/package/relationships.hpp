// Relationships parts (".../_rels/<file>.rels"): reading them into sorted lists, resolving and
// writing targets, allocating ids, adding relationships, and the two streaming passes that
// prune relationships and retarget them.
//
// Reading is lenient: an absent relationships part, or one whose entry cannot be opened, reads
// as an empty list, and a malformed one as the relationships met before the fault. Only a
// failure while reading an entry's bytes is an error.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

class PackageArchive;

// ---- Reading and resolving ----

// One Relationship element as written: the raw values (references not resolved) of the
// attributes that give a record its Id, Type, Target and TargetMode, chosen as
// `parse_relationships` chooses them. An absent attribute is the empty text (`has_target_mode`
// tells an absent TargetMode from an empty one).
struct RelationshipText {
  std::string_view id;
  std::string_view type;
  std::string_view target;
  std::string_view target_mode;
  bool has_target_mode = false;
};

// The fields of one Relationship start or empty-element tag.
RelationshipText relationship_text(const XmlEvent& tag);
RelationshipText relationship_text(const SimpleEmptyTag& tag);

// Calls `visit(const RelationshipText&)` for every Relationship element, in document order, up
// to where `parse_relationships` stops: for readers that need a few fields of some elements and
// neither the records nor their order.
template <class Visit>
void scan_relationships(std::string_view bytes, Visit&& visit) {
  XmlReader reader(bytes);
  // Nearly every element of a relationships part is a simple empty Relationship tag, read in one
  // pass.
  SimpleEmptyTag simple;
  for (;;) {
    if (reader.next_simple_empty_tag("Relationship", simple)) {
      visit(relationship_text(simple));
      continue;
    }
    auto event = reader.next();
    if (!event || event->is_eof()) return;
    if (event->is_tag() && event->local_name() == "Relationship") visit(relationship_text(*event));
  }
}

// A raw value as a record holds it: references resolved; empty when it cannot be unescaped.
std::string relationship_value(std::string_view raw);

// True when a raw value is already the value a record holds: no reference, valid UTF-8.
inline bool relationship_value_needs_no_unescaping(std::string_view raw) {
  return raw.find('&') == std::string_view::npos && is_valid_utf8(raw);
}

// Calls `use(std::string_view)` with the value as a record holds it, without a copy when the
// raw text needs no unescaping.
template <class Use>
decltype(auto) with_relationship_value(std::string_view raw, Use&& use) {
  if (relationship_value_needs_no_unescaping(raw)) return use(raw);
  const std::string value = relationship_value(raw);
  return use(std::string_view(value));
}

// The same for a parser that accepts ASCII text only: a raw value without a reference is given
// as it is, since a byte that would make it invalid UTF-8 is one such a parser refuses anyway.
template <class Parse>
decltype(auto) parse_ascii_relationship_value(std::string_view raw, Parse&& parse) {
  if (raw.find('&') == std::string_view::npos) return parse(raw);
  const std::string value = relationship_value(raw);
  return parse(std::string_view(value));
}

// Every start or empty-element tag whose local name is "Relationship", at any depth, as one
// record, sorted stably by id then target, both byte-wise (so rId10 sorts before rId2). An XML
// error ends the scan and keeps what was read. Never fails.
std::vector<RelationshipSummary> parse_relationships(std::string_view bytes);

// The relationships of `part_name` (read from its relationships part). Absent, or impossible to
// open: an empty list. A failure while reading the entry's bytes: `Io`; an entry refused for
// how far it inflates: `Zip`.
Result<std::vector<RelationshipSummary>> read_relationships(PackageArchive& archive,
                                                            std::string_view part_name);

// The bytes of the relationships part of `part_name`, read as `read_relationships` reads them:
// none when it is absent or cannot be opened.
Result<std::optional<std::string>> read_relationships_part(PackageArchive& archive,
                                                           std::string_view part_name);

// The package part name that `target`, written in the relationships of `source_part`, names.
// A target starting with "/" loses that "/" and nothing else; otherwise it is applied to the
// source's directory: empty and "." segments skipped, ".." drops a segment (never past the
// package root).
std::string resolve_target(std::string_view source_part, std::string_view target);
// The same into `name` (its content replaced), for readers that resolve many targets in turn.
void resolve_target_into(std::string_view source_part, std::string_view target, std::string& name);
// The same appended to `name`, for readers that hold many names end to end.
void append_resolved_target(std::string_view source_part, std::string_view target,
                            std::string& name);

// The relationships whose type ends with one of the suffixes, in list order, each once.
std::vector<RelationshipSummary> relationships_by_type(
    const std::vector<RelationshipSummary>& relationships,
    const std::vector<std::string_view>& type_suffixes);

// The unescaped value of the tag's first attribute whose local name is "Id"; empty when there
// is none or it cannot be unescaped.
std::string relationship_id(const XmlEvent& tag);

// ---- Writing and ids ----

// "rId" followed by one more than the largest number among ids "rId<digits>" (one leading "+"
// allowed, 64-bit values only); "rId1" when there is none. When the largest number is
// 18446744073709551615 no next id exists: `InvalidInput`.
Result<std::string> next_relationship_id(std::string_view relationships_bytes);

// The same from what a scan of the relationships gathered: the number of one raw Id value (as
// `next_relationship_id` counts it), and the id after the largest of them.
std::optional<std::uint64_t> relationship_id_number(std::string_view raw_id);
Result<std::string> relationship_id_after(std::optional<std::uint64_t> largest);

// A new relationship goes in as the last child of the Relationships element: before its last
// "</Relationships>" in markup (one in a comment does not count), or inside it when the part
// holds none and is written as one self-closing "<Relationships .../>".

// Inserts <Relationship Id="{id}" Type="{type}" Target="{target}"/>, the values escaped for an
// attribute. No Relationships element to insert into: `InvalidInput`
// "relationships part is missing </Relationships>".
Result<std::string> add_relationship(std::string_view relationships_text, std::string_view id,
                                     std::string_view relationship_type, std::string_view target);

// The same element for an image relationship (the standard's image type), id and target written
// as given (callers pass "rId<n>" and a target relative to the slide, "../media/<file>"). No
// Relationships element: `InvalidInput` "relationships part is missing </Relationships>".
Result<std::string> add_image_relationship(std::string_view relationships_text, std::string_view id,
                                           std::string_view target);

// The same element with the values written as given (callers pass values that need no
// escaping). No Relationships element: `XmlTextDecode` "expected closing marker
// </Relationships>".
Result<std::string> append_relationship(std::string_view relationships_bytes, std::string_view id,
                                        std::string_view relationship_type,
                                        std::string_view target);

// The text of a new relationships part with no relationship (157 bytes).
std::string empty_relationships_xml();

// The target that leads from `source_part`'s directory to `target_part`, as written in the
// source's relationships (ppt/slides/slide1.xml -> ppt/charts/chart3.xml: ../charts/chart3.xml).
std::string make_relative_target(std::string_view source_part, std::string_view target_part);

// Adds the relationship ids one start or empty-element tag refers to through prefixed attributes
// whose local name is "id", "embed" or "link" (r:id, r:embed, r:link) to `ids`, unescaped.
void collect_relationship_ids(const XmlEvent& tag, std::set<std::string>& ids);

// The unescaped value of the tag's first attribute whose name is "r:id" or ends with ":id" and
// whose value can be unescaped; empty when none. A view into the tag's text, or into `buffer`
// for a value with references.
std::string_view rel_id_from_attributes(const XmlEvent& tag, std::string& buffer);
std::string_view rel_id_from_attributes(const SimpleEmptyTag& tag, std::string& buffer);

// ---- Pruning and retargeting ----

// The part without the Relationship elements whose id is in `ids` (each with its content and
// end tag), and how many were removed. Everything else is copied byte for byte. An empty set
// returns the input unchanged without reading it.
Result<std::pair<std::string, std::uint64_t>> remove_relationships_by_id(
    std::string_view relationships_bytes, const std::set<std::string>& ids);
// The same for the Relationship elements whose unescaped id `is_removed` accepts; the part is
// read whatever it accepts, which may be asked about an element more than once. `visit`, when
// given, is called as `scan_relationships` calls it, in the same pass.
Result<std::pair<std::string, std::uint64_t>> remove_relationships_where(
    std::string_view relationships_bytes, const std::function<bool(std::string_view)>& is_removed,
    const std::function<void(const RelationshipText&)>& visit = {});

// The part with the Target of each Relationship whose id is a key of `targets` set to the mapped
// value (escaped); other attributes keep their order. An empty map returns the input unchanged.
Result<std::string> rewrite_relationship_targets(std::string_view relationships_bytes,
                                                 const std::map<std::string, std::string>& targets);

}  // namespace pelvane
