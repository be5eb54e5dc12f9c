#include "core/package/relationships.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

#include "core/base/buffer_shelf.hpp"
#include "core/base/string_room.hpp"
#include "core/package/part_names.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_splice.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kRelationshipsTag = "Relationships";

bool is_relationship_tag(const XmlEvent& event) {
  return event.is_tag() && event.local_name() == "Relationship";
}

// A value with its references resolved; empty when it cannot be unescaped.
std::string unescaped_or_empty(std::string_view raw) {
  auto value = unescape_xml(raw);
  return value ? std::move(*value) : std::string();
}

std::string relationship_element(std::string_view id, std::string_view type,
                                 std::string_view target) {
  std::string element;
  element.reserve(45 + id.size() + type.size() + target.size());
  element += "<Relationship Id=\"";
  element += id;
  element += "\" Type=\"";
  element += type;
  element += "\" Target=\"";
  element += target;
  element += "\"/>";
  return element;
}

// The element inserted before the last "</Relationships>"; without it: `InvalidInput`.
Result<std::string> insert_relationship(std::string_view relationships_text,
                                        std::string_view element) {
  auto text = insert_at_element_end(relationships_text, kRelationshipsTag, element);
  if (!text)
    return fail(PelvaneError::invalid_input("relationships part is missing </Relationships>"));
  return std::move(*text);
}

std::vector<std::string_view> split_segments(std::string_view name) {
  std::vector<std::string_view> segments;
  for (;;) {
    std::size_t slash = name.find('/');
    segments.push_back(name.substr(0, slash));
    if (slash == std::string_view::npos) return segments;
    name.remove_prefix(slash + 1);
  }
}

// True when no segment of the path is empty, "." or "..".
bool has_only_named_segments(std::string_view path) {
  for (std::size_t start = 0;;) {
    const std::size_t slash = path.find('/', start);
    const std::string_view segment = path.substr(start, slash - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

// The number of an id "rId<digits>" (one leading "+" allowed), when it fits in 64 bits.
std::optional<std::uint64_t> relationship_number(std::string_view id) {
  if (id.size() < 3 || !id.starts_with("rId")) return std::nullopt;
  std::string_view digits = id.substr(3);
  if (digits.starts_with('+')) digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

// ---- Reading and resolving ----

namespace {

// The fields from the well-formed attributes of one tag, in order.
template <class Attributes>
RelationshipText relationship_fields(const Attributes& attributes) {
  RelationshipText text;
  for (const auto& attribute : attributes) {
    if (attribute.malformed) continue;
    // Of two attributes with one local name (Id and x:Id), the later gives the field. The four
    // names written without a prefix, the common case, are their own local names.
    const std::string_view name = attribute.name;
    const bool unprefixed =
        name == "Id" || name == "Type" || name == "Target" || name == "TargetMode";
    const std::string_view local = unprefixed ? name : attribute.local_name();
    if (local == "Id") {
      text.id = attribute.value;
    } else if (local == "Type") {
      text.type = attribute.value;
    } else if (local == "Target") {
      text.target = attribute.value;
    } else if (local == "TargetMode") {
      text.target_mode = attribute.value;
      text.has_target_mode = true;
    }
  }
  return text;
}

}  // namespace

RelationshipText relationship_text(const XmlEvent& tag) {
  return relationship_fields(tag.attributes());
}

RelationshipText relationship_text(const SimpleEmptyTag& tag) { return relationship_fields(tag); }

std::string relationship_value(std::string_view raw) { return unescaped_or_empty(raw); }

std::vector<RelationshipSummary> parse_relationships(std::string_view bytes) {
  std::vector<RelationshipSummary> relationships;
  scan_relationships(bytes, [&](const RelationshipText& text) {
    RelationshipSummary& relationship = relationships.emplace_back();
    relationship.id = unescaped_or_empty(text.id);
    relationship.relationship_type = unescaped_or_empty(text.type);
    relationship.target = unescaped_or_empty(text.target);
    if (text.has_target_mode) relationship.target_mode = unescaped_or_empty(text.target_mode);
  });
  // Sorted through their positions, so that the records themselves move once.
  std::vector<std::size_t> order(relationships.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const RelationshipSummary& left = relationships[a];
    const RelationshipSummary& right = relationships[b];
    if (left.id != right.id) return left.id < right.id;
    return left.target < right.target;
  });
  std::vector<RelationshipSummary> sorted;
  sorted.reserve(relationships.size());
  for (const std::size_t index : order) sorted.push_back(std::move(relationships[index]));
  return sorted;
}

Result<std::vector<RelationshipSummary>> read_relationships(PackageArchive& archive,
                                                            std::string_view part_name) {
  const auto bytes = PELVANE_TRY(read_relationships_part(archive, part_name));
  if (!bytes) return std::vector<RelationshipSummary>{};
  return parse_relationships(*bytes);
}

Result<std::optional<std::string>> read_relationships_part(PackageArchive& archive,
                                                           std::string_view part_name) {
  // An entry the archive cannot open (encrypted, unknown method, damaged header) reads as an
  // absent one; a failure while reading its bytes, or a refusal to inflate it, is reported.
  return read_archive_bytes_if_opens(archive, relationship_part_name(part_name));
}

std::string resolve_target(std::string_view source_part, std::string_view target) {
  std::string name;
  resolve_target_into(source_part, target, name);
  return name;
}

void resolve_target_into(std::string_view source_part, std::string_view target, std::string& name) {
  name.clear();
  append_resolved_target(source_part, target, name);
}

void append_resolved_target(std::string_view source_part, std::string_view target,
                            std::string& name) {
  if (target.starts_with('/')) {
    name.append(target.substr(1));
    return;
  }
  // A target of named segments only (no empty, "." or ".." one) goes beside the source as it is,
  // both written in one piece.
  if (has_only_named_segments(target)) {
    const std::size_t slash = source_part.rfind('/');
    const std::size_t folder = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t at = name.size();
    grow_unwritten(name, at + folder + target.size());
    std::memcpy(name.data() + at, source_part.data(), folder);
    std::memcpy(name.data() + at + folder, target.data(), target.size());
    return;
  }
  // The segments of the source's directory, with the target's applied to them, held joined
  // together from `base` on with their count (no segment and one empty segment are both written
  // ""): a "/" found from the end while two segments or more are held is one of theirs.
  const std::size_t base = name.size();
  std::size_t count = 0;
  const std::size_t slash = source_part.rfind('/');
  if (slash != std::string_view::npos) {
    const std::string_view folder = source_part.substr(0, slash);
    name.append(folder);
    count = 1 + static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '/'));
  }
  name.reserve(name.size() + 1 + target.size());
  for (std::size_t start = 0; start <= target.size();) {
    std::size_t end = target.find('/', start);
    if (end == std::string_view::npos) end = target.size();
    const std::string_view segment = target.substr(start, end - start);
    start = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (count == 0) continue;
      if (--count == 0)
        name.resize(base);
      else
        name.erase(name.rfind('/'));
      continue;
    }
    if (count++ > 0) name += '/';
    name += segment;
  }
}

std::vector<RelationshipSummary> relationships_by_type(
    const std::vector<RelationshipSummary>& relationships,
    const std::vector<std::string_view>& type_suffixes) {
  std::vector<RelationshipSummary> matching;
  for (const auto& relationship : relationships) {
    if (std::any_of(type_suffixes.begin(), type_suffixes.end(), [&](std::string_view suffix) {
          return relationship.relationship_type.ends_with(suffix);
        }))
      matching.push_back(relationship);
  }
  return matching;
}

std::string relationship_id(const XmlEvent& tag) { return attribute_key(tag, "Id"); }

// ---- Writing and ids ----

Result<std::string> next_relationship_id(std::string_view relationships_bytes) {
  std::optional<std::uint64_t> largest;
  scan_relationships(relationships_bytes, [&](const RelationshipText& text) {
    const auto number = relationship_id_number(text.id);
    if (number && (!largest || *number > *largest)) largest = number;
  });
  return relationship_id_after(largest);
}

std::optional<std::uint64_t> relationship_id_number(std::string_view raw_id) {
  return parse_ascii_relationship_value(raw_id, relationship_number);
}

Result<std::string> relationship_id_after(std::optional<std::uint64_t> largest) {
  if (!largest) return std::string("rId1");
  // Wrapping to rId0 would hand out an id that no numbering counts; refuse instead.
  if (*largest == std::numeric_limits<std::uint64_t>::max())
    return fail(PelvaneError::invalid_input(
        "relationship id rId18446744073709551615 leaves no next relationship id"));
  return "rId" + std::to_string(*largest + 1);
}

Result<std::string> add_relationship(std::string_view relationships_text, std::string_view id,
                                     std::string_view relationship_type, std::string_view target) {
  return insert_relationship(
      relationships_text,
      relationship_element(xml_attr(id), xml_attr(relationship_type), xml_attr(target)));
}

Result<std::string> add_image_relationship(std::string_view relationships_text, std::string_view id,
                                           std::string_view target) {
  return insert_relationship(relationships_text,
                             relationship_element(id, kImageRelationshipType, target));
}

Result<std::string> append_relationship(std::string_view relationships_bytes, std::string_view id,
                                        std::string_view relationship_type,
                                        std::string_view target) {
  return insert_at_element_end_of_part(relationships_bytes, kRelationshipsTag,
                                       relationship_element(id, relationship_type, target));
}

std::string empty_relationships_xml() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "</Relationships>\n";
}

std::string make_relative_target(std::string_view source_part, std::string_view target_part) {
  if (source_part.find('/') == std::string_view::npos) return std::string(target_part);
  const std::vector<std::string_view> source = split_segments(source_part);
  const std::vector<std::string_view> target = split_segments(target_part);
  const std::size_t source_dirs = source.size() - 1;
  const std::size_t target_dirs = target.size() - 1;
  std::size_t common = 0;
  while (common < source_dirs && common < target_dirs && source[common] == target[common]) ++common;
  std::string relative;
  for (std::size_t i = common; i < source_dirs; ++i) relative += "../";
  for (std::size_t i = common; i < target.size(); ++i) {
    relative += target[i];
    if (i + 1 < target.size()) relative += '/';
  }
  return relative;
}

void collect_relationship_ids(const XmlEvent& tag, std::set<std::string>& ids) {
  for (const XmlAttribute& attribute : tag.attributes()) {
    if (attribute.malformed || attribute.name.find(':') == std::string_view::npos) continue;
    const std::string_view local = attribute.local_name();
    if (local != "id" && local != "embed" && local != "link") continue;
    if (auto value = unescape_xml(attribute.value)) ids.insert(std::move(*value));
  }
}

namespace {

// `rel_id_from_attributes` over the attributes of either kind of tag.
template <class Attributes>
std::string_view rel_id_of(const Attributes& attributes, std::string& buffer) {
  for (const auto& attribute : attributes) {
    if (attribute.malformed) continue;
    if (attribute.name != "r:id" &&
        !(attribute.name.size() >= 3 && attribute.name.ends_with(":id")))
      continue;
    // A value that cannot be unescaped (a bad reference, bytes that are not UTF-8) comes back
    // empty, which only such a value does unless it is written empty: it is passed over.
    const std::string_view id = attribute_value_key(attribute.value, buffer);
    if (id.empty() && !attribute.value.empty()) continue;
    return id;
  }
  return {};
}

}  // namespace

std::string_view rel_id_from_attributes(const XmlEvent& tag, std::string& buffer) {
  return rel_id_of(tag.attributes(), buffer);
}

std::string_view rel_id_from_attributes(const SimpleEmptyTag& tag, std::string& buffer) {
  return rel_id_of(tag, buffer);
}

// ---- Pruning and retargeting ----

namespace {

// The key that removal reads (the first attribute of local name Id, unescaped), taken from the
// fields already read when the tag's text before the fields' id holds "Id" once: that is the
// name of the fields' own attribute, so no attribute before it has that local name. None
// otherwise (the key is then read from the tag).
std::optional<std::string_view> first_id_of(const XmlEvent& tag, const RelationshipText& text,
                                            std::string& buffer) {
  const auto start = reinterpret_cast<std::uintptr_t>(tag.raw.data());
  const auto id = reinterpret_cast<std::uintptr_t>(text.id.data());
  if (text.id.data() == nullptr || id < start || id > start + tag.raw.size()) return std::nullopt;
  const std::string_view before = tag.raw.substr(0, id - start);
  const std::size_t found = before.find("Id");
  if (found == std::string_view::npos || before.find("Id", found + 1) != std::string_view::npos)
    return std::nullopt;
  return attribute_value_key(text.id, buffer);
}

}  // namespace

Result<std::pair<std::string, std::uint64_t>> remove_relationships_by_id(
    std::string_view relationships_bytes, const std::set<std::string>& ids) {
  if (ids.empty()) return std::pair{std::string(relationships_bytes), std::uint64_t{0}};
  return remove_relationships_where(
      relationships_bytes, [&](std::string_view id) { return ids.contains(std::string(id)); });
}

namespace {

// What `remove_relationships_where` gives, made in one pass over a part whose Relationship
// elements are all simple empty tags (`XmlReader::next_simple_empty_tag`) and whose end tags are
// written
// "</name>": the part is then its events' bytes, and the removal cuts out the removed tags'
// spans. Each element is visited as it is read. None, once anything else is met (a reader error
// included), with `visited` the offset past which no element has been visited yet.
std::optional<std::pair<std::string, std::uint64_t>> remove_simple_relationship_tags(
    std::string_view bytes, const std::function<bool(std::string_view)>& is_removed,
    const std::function<void(const RelationshipText&)>& visit, std::size_t& visited) {
  XmlReader reader(bytes);
  SimpleEmptyTag simple;
  // The part written out, in room kept from one call to the next as every written text's.
  std::string out = WrittenTextShelf::take(bytes.size());
  std::size_t kept_from = 0;  // the start of the kept bytes not yet written
  std::uint64_t removed = 0;
  std::string key_buffer;
  for (;;) {
    visited = reader.position();
    if (reader.next_simple_empty_tag("Relationship", simple)) {
      if (visit) visit(relationship_text(simple));
      // The key is the first attribute of local name Id (unescaped), as the general pass reads it.
      std::string_view key;
      for (const SimpleAttribute& attribute : simple) {
        if (attribute.local_name() != "Id") continue;
        key = attribute_value_key(attribute.value, key_buffer);
        break;
      }
      if (is_removed(key)) {
        out.append(bytes.substr(kept_from, simple.offset - kept_from));
        kept_from = simple.offset + simple.raw.size();
        ++removed;
      }
      continue;
    }
    const auto event = reader.next();
    if (!event) return std::nullopt;
    if (event->is_eof()) break;
    if (event->is_tag() && event->local_name() == "Relationship") return std::nullopt;
    if (event->is_end() && event->raw.size() != event->name.size() + 3) return std::nullopt;
  }
  out.append(bytes.substr(kept_from));
  return std::pair{std::move(out), removed};
}

}  // namespace

Result<std::pair<std::string, std::uint64_t>> remove_relationships_where(
    std::string_view relationships_bytes, const std::function<bool(std::string_view)>& is_removed,
    const std::function<void(const RelationshipText&)>& visit) {
  constexpr std::string_view kEofMessage = "unexpected EOF while removing relationship";
  std::size_t visited = 0;
  if (auto one_pass =
          remove_simple_relationship_tags(relationships_bytes, is_removed, visit, visited))
    return std::move(*one_pass);
  // The general pass reads the part again from its start: it visits the elements the one-pass
  // removal has not, each met in the same order with the same fields.
  if (!visit) {
    return remove_keyed_elements(relationships_bytes, "Relationship", "Id", is_removed,
                                 kEofMessage);
  }
  // The elements a scan visits, up to where a reader error ends both.
  std::string key_buffer;
  return remove_keyed_elements(relationships_bytes, "Relationship", "Id", is_removed, kEofMessage,
                               [&](const XmlEvent& event) -> std::optional<std::string_view> {
                                 if (!event.is_tag() || event.local_name() != "Relationship")
                                   return std::nullopt;
                                 const RelationshipText text = relationship_text(event);
                                 if (event.offset >= visited) visit(text);
                                 return first_id_of(event, text, key_buffer);
                               });
}

Result<std::string> rewrite_relationship_targets(
    std::string_view relationships_bytes, const std::map<std::string, std::string>& targets) {
  if (targets.empty()) return std::string(relationships_bytes);
  XmlReader reader(relationships_bytes);
  XmlWriter writer(relationships_bytes.size());
  for (;;) {
    XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    if (is_relationship_tag(event)) {
      auto mapped = targets.find(relationship_id(event));
      if (mapped != targets.end()) {
        XmlStartTag tag = rewrite_event_attributes(event, {{"Target", mapped->second}});
        if (event.is_start())
          writer.write_start(tag);
        else
          writer.write_empty(tag);
        continue;
      }
    }
    writer.write_event(event);
  }
  return std::move(writer).take();
}

}  // namespace pelvane
