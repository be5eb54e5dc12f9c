#include "core/slides/slide_list.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "core/base/decimal.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::uint64_t kFirstSlideId = 256;
constexpr std::string_view kListTag = "p:sldIdLst";
constexpr std::string_view kListClose = "</p:sldIdLst>";

// The lists the schema puts before the slide list, in its order.
constexpr std::array<std::string_view, 3> kMasterLists = {"p:sldMasterIdLst", "p:notesMasterIdLst",
                                                          "p:handoutMasterIdLst"};
// Where a new list goes when no master list is there: before the first of these found (each
// at its last occurrence), else before the end of the presentation.
constexpr std::array<std::string_view, 3> kAfterList = {"<p:sldSz", "<p:notesSz",
                                                        "<p:defaultTextStyle"};

// The offset just past the start tag at `start` when it closes itself; none otherwise.
std::optional<std::size_t> self_closing_tag_end(std::string_view text, std::size_t start) {
  const std::size_t gt = text.find('>', start);
  if (gt == std::string_view::npos || text[gt - 1] != '/') return std::nullopt;
  return gt + 1;
}

// The offset just past the last master list present: past its last end tag, or past the whole
// tag when it is written self-closing.
std::optional<std::size_t> end_of_master_lists(std::string_view text) {
  std::optional<std::size_t> last;
  for (std::string_view name : kMasterLists) {
    std::optional<std::size_t> end;
    const std::string close = "</" + std::string(name) + ">";
    if (const std::size_t at = text.rfind(close); at != std::string_view::npos) {
      end = at + close.size();
    } else if (const auto start = find_tag_start(text, 0, name)) {
      end = self_closing_tag_end(text, *start);
    }
    if (end && (!last || *end > *last)) last = end;
  }
  return last;
}

// Checks `order` against `count` entries; true when it is the identity.
Result<bool> check_slide_order(std::span<const std::uint64_t> order, std::size_t count) {
  if (order.size() != count)
    return fail(PelvaneError::invalid_input("slide order has " + std::to_string(order.size()) +
                                            " entries for " + std::to_string(count) + " slides"));
  std::vector<bool> seen(count, false);
  bool identity = true;
  for (std::size_t position = 0; position < order.size(); ++position) {
    const std::uint64_t member = order[position];
    if (member >= count)
      return fail(PelvaneError::invalid_input("slide order index " + std::to_string(member) +
                                              " was not found"));
    if (seen[member])
      return fail(PelvaneError::invalid_input("slide order index " + std::to_string(member) +
                                              " is duplicated"));
    seen[member] = true;
    identity = identity && member == position;
  }
  return identity;
}

}  // namespace

std::uint64_t next_slide_id(std::string_view presentation_xml) {
  std::uint64_t largest = kFirstSlideId - 1;
  XmlReader reader(presentation_xml, XmlReaderOptions{.trim_text = true});
  for (;;) {
    auto event = reader.next();
    if (!event || event->is_eof()) break;
    if (!event->is_tag() || event->local_name() != "sldId") continue;
    for (const XmlAttribute& attribute : event->attributes()) {
      if (attribute.malformed || attribute.local_name() != "id") continue;
      const auto value = unescape_xml(attribute.value);
      if (!value) continue;
      if (const auto id = parse_u64(*value)) largest = std::max(largest, *id);
    }
  }
  return largest + 1;
}

Result<std::string> append_slide_id(std::string_view presentation_xml, std::uint64_t slide_id,
                                    std::string_view relationship_id) {
  // The text is read in place; only the new presentation text is built.
  std::string decoded;
  const std::string_view text = utf8_lossy_view(presentation_xml, decoded);
  const std::string entry = "<p:sldId id=\"" + std::to_string(slide_id) + "\" r:id=\"" +
                            std::string(relationship_id) + "\"/>";
  if (auto added = insert_before_last(text, kListClose, entry)) return std::move(*added);

  // An empty list written as one tag opens up to hold the entry (a second list would make the
  // presentation invalid).
  if (const auto start = find_tag_start(text, 0, kListTag)) {
    if (const auto end = self_closing_tag_end(text, *start))
      return splice_text(text, *end - 2, 2, ">" + entry + std::string(kListClose));
  }

  const std::string list = "<" + std::string(kListTag) + ">" + entry + std::string(kListClose);
  if (const auto after = end_of_master_lists(text)) return splice_text(text, *after, 0, list);
  for (std::string_view marker : kAfterList) {
    if (auto added = insert_before_last(text, marker, list)) return std::move(*added);
  }
  return insert_before(text, "</p:presentation>", list);
}

Result<std::pair<std::string, bool>> reorder_slide_ids(std::string_view presentation_xml,
                                                       std::span<const std::uint64_t> order) {
  XmlReader reader(presentation_xml);
  XmlWriter writer(presentation_xml.size());
  std::vector<std::string> entries;
  XmlWriter entry;
  std::size_t entry_depth = 0;  // inside an entry: elements open in it
  std::size_t list_depth = 0;   // inside the list: elements open, the list included
  bool list_met = false;
  bool changed = false;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    if (entry_depth > 0) {
      entry.write_event(event);
      if (event.is_start()) {
        ++entry_depth;
      } else if (event.is_end() && --entry_depth == 0) {
        entries.push_back(std::move(entry).take());
        entry = XmlWriter();
      }
      continue;
    }
    if (list_depth == 0) {
      writer.write_event(event);
      if (event.is_start() && event.local_name() == "sldIdLst") {
        list_depth = 1;
        list_met = true;
      }
      continue;
    }
    if (list_depth == 1 && event.is_tag() && event.local_name() == "sldId") {
      entry.write_event(event);
      if (event.is_start()) {
        entry_depth = 1;
      } else {
        entries.push_back(std::move(entry).take());
        entry = XmlWriter();
      }
      continue;
    }
    if (list_depth == 1 && event.is_end()) {  // the list's end: the reader checks the name
      const bool identity = PELVANE_TRY(check_slide_order(order, entries.size()));
      changed = changed || !identity;
      for (const std::uint64_t member : order) writer.write_raw(entries[member]);
      entries.clear();
      writer.write_event(event);
      list_depth = 0;
      continue;
    }
    writer.write_event(event);
    if (event.is_start()) ++list_depth;
    if (event.is_end()) --list_depth;
  }
  if (entry_depth > 0)
    return fail(PelvaneError::xml_text_decode("unexpected EOF while reading slide id"));
  if (!list_met) return fail(PelvaneError::xml_text_decode("presentation has no slide id list"));
  if (!changed) return std::pair{std::string(presentation_xml), false};
  return std::pair{std::move(writer).take(), true};
}

}  // namespace pelvane
