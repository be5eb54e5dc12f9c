#include "core/slides/slide_deletion_rewrites.hpp"

#include <algorithm>
#include <deque>
#include <utility>

#include "core/base/byte_search.hpp"
#include "core/base/name_set.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/section_list.hpp"
#include "core/slides/slide_list.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

namespace {

// One kept slide-list entry: its relationship id and its events as written (a view into the
// input for an entry of one tag, else into the texts the pass captured).
struct SlideEntry {
  std::string key;
  std::string_view bytes;
};

// Writes the kept entries in document order, or in the order of their ids.
void write_kept_entries(XmlWriter& writer, const std::vector<SlideEntry>& kept,
                        const std::optional<std::vector<std::string>>& order) {
  if (!order) {
    for (const SlideEntry& entry : kept) writer.write_raw(entry.bytes);
    return;
  }
  // Each key once, with the entry written for it (the later one wins); none once written.
  constexpr std::size_t kWritten = static_cast<std::size_t>(-1);
  NameSet<std::string_view> keys;
  keys.reserve(kept.size());
  std::vector<std::size_t> entry_of_key;
  entry_of_key.reserve(kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const std::size_t hash = keys.hash_of(kept[i].key);
    if (const auto at = keys.index_of(kept[i].key, hash)) {
      entry_of_key[*at] = i;
    } else {
      keys.insert(kept[i].key, hash);
      entry_of_key.push_back(i);
    }
  }
  for (const std::string& id : *order) {
    const auto at = keys.index_of(id);
    if (!at || entry_of_key[*at] == kWritten) continue;
    writer.write_raw(kept[entry_of_key[*at]].bytes);
    entry_of_key[*at] = kWritten;
  }
}

// Where the reader stands among custom shows: the reader depths at which the show and its slide
// list opened, 0 outside them.
struct CustomShowPosition {
  std::size_t show = 0;
  std::size_t list = 0;

  void enter(const XmlEvent& event, std::size_t depth) {
    if (!event.is_start()) return;
    if (show == 0 && event.local_name() == "custShow") {
      show = depth;
    } else if (show != 0 && list == 0 && event.local_name() == "sldLst") {
      list = depth;
    }
  }
  void leave(std::size_t depth) {
    if (list != 0 && depth < list) list = 0;
    if (show != 0 && depth < show) show = 0;
  }
};

// False only when no value in `tag` can be one of a few `ids`: a value without references is
// its text as written, so such a value is in the tag's bytes. Many ids are not looked for.
bool may_name_any(std::string_view tag, const PartNameSet& ids) {
  constexpr std::size_t kFewIds = 8;
  if (ids.size() > kFewIds || find_pattern(tag, "&") != std::string_view::npos) return true;
  return std::ranges::any_of(
      ids, [&](const std::string& id) { return find_pattern(tag, id) != std::string_view::npos; });
}

// Adds an entry to those kept. Kept in document order, an entry that follows the one kept before
// it in the input, with nothing between, joins its bytes.
void keep_entry(std::vector<SlideEntry>& kept, bool document_order, std::string key,
                std::string_view bytes) {
  if (document_order && !kept.empty()) {
    std::string_view& last = kept.back().bytes;
    if (last.data() + last.size() == bytes.data()) {
      last = std::string_view(last.data(), last.size() + bytes.size());
      return;
    }
  }
  kept.push_back(SlideEntry{std::move(key), bytes});
}

// Keeps an entry of one tag (an event, or a simple empty tag read whole) unless it names a
// deleted id: it is written back as its bytes. The key places an entry only in a survivor order;
// kept in document order, one that cannot name a deleted id needs no key.
template <class Tag>
void keep_one_tag_entry(std::vector<SlideEntry>& kept, const Tag& tag,
                        const PartNameSet& deleted_ids, bool document_order,
                        std::string& key_buffer) {
  if (document_order && !may_name_any(tag.raw, deleted_ids))
    return keep_entry(kept, document_order, {}, tag.raw);
  const std::string_view key = rel_id_from_attributes(tag, key_buffer);
  if (deleted_ids.contains(key)) return;
  keep_entry(kept, document_order, document_order ? std::string() : std::string(key), tag.raw);
}

}  // namespace

Result<std::string> rewrite_presentation_xml_for_slide_deletion(
    std::string_view presentation_xml, const PartNameSet& deleted_ids,
    const std::optional<std::vector<std::string>>& survivor_order) {
  XmlReader reader(presentation_xml);
  XmlWriter writer(presentation_xml.size());
  SlideListScan list;
  std::vector<SlideEntry> kept;
  std::deque<std::string> captured;  // entries of several events, written again
  SlideEntryCapture entry;
  std::string entry_key;
  std::string key_buffer;  // an id with references, unescaped
  bool in_list = false;
  CustomShowPosition shows;
  // Without a survivor order the kept entries are written in document order.
  const bool document_order = !survivor_order;
  SimpleEmptyTag simple;
  for (;;) {
    // The list's own entries stand at depth 2, most of them simple empty tags, each read in
    // one pass.
    if (in_list && !entry.open() && reader.depth() == 2 &&
        reader.next_simple_empty_tag("sldId", simple)) {
      keep_one_tag_entry(kept, simple, deleted_ids, document_order, key_buffer);
      continue;
    }
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    const SlideListScan::Role role = list.classify(event, reader.depth());
    if (entry.open() || role == SlideListScan::Role::Entry) {
      if (!entry.open() && event.is_empty()) {
        keep_one_tag_entry(kept, event, deleted_ids, document_order, key_buffer);
        continue;
      }
      if (!entry.open()) entry_key = rel_id_from_attributes(event, key_buffer);
      if (entry.add(event)) {
        std::string text = entry.take();
        if (!deleted_ids.contains(entry_key))
          keep_entry(kept, document_order, std::move(entry_key),
                     captured.emplace_back(std::move(text)));
        entry_key.clear();
      }
      continue;
    }
    if (role == SlideListScan::Role::ListEnd) {
      write_kept_entries(writer, kept, survivor_order);
      kept.clear();
    }
    in_list =
        (in_list || role == SlideListScan::Role::ListStart) && role != SlideListScan::Role::ListEnd;
    if (!in_list && shows.list != 0 && event.is_tag() && event.local_name() == "sld" &&
        deleted_ids.contains(rel_id_from_attributes(event, key_buffer))) {
      // A custom show's entry for a deleted slide would name a relationship that is gone.
      if (event.is_start()) PELVANE_TRY_VOID(skip_current_element(reader));
      continue;
    }
    // Text and other children inside the list stay where they stand, ahead of the held entries.
    writer.write_event(event);
    if (in_list) continue;
    shows.enter(event, reader.depth());
    if (event.is_end()) shows.leave(reader.depth());
  }
  if (entry.open())
    return fail(PelvaneError::xml_text_decode("unexpected EOF while reading slide id"));
  if (in_list)
    return fail(PelvaneError::xml_text_decode("unexpected EOF while reading slide id list"));
  // The sections lose the deleted slides (and follow the survivor order).
  return align_sections_with_slide_list(std::move(writer).take());
}

Result<std::string> rewrite_relationships_for_slide_deletion(
    std::string_view relationships_xml, const PartNameSet& deleted_ids,
    const std::function<void(const RelationshipText&)>& visit) {
  // Without an id the part stays as it is, bytes and all.
  if (deleted_ids.empty()) {
    if (visit) scan_relationships(relationships_xml, visit);
    return std::string(relationships_xml);
  }
  auto removed = PELVANE_TRY(remove_relationships_where(
      relationships_xml, [&](std::string_view id) { return deleted_ids.contains(id); }, visit));
  return std::move(removed.first);
}

Result<std::string> rewrite_content_types_for_slide_deletion(std::string_view content_types_xml,
                                                             const PartNameViews& dropped_parts) {
  auto removed = PELVANE_TRY(remove_keyed_elements(
      content_types_xml, "Override", "PartName",
      [&](std::string_view name) {
        return name.starts_with('/') && dropped_parts.contains(name.substr(1));
      },
      "unexpected EOF while removing content type override"));
  return std::move(removed.first);
}

}  // namespace pelvane
