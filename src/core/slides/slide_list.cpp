#include "core/slides/slide_list.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "core/base/decimal.hpp"
#include "core/base/utf8.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/section_list.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::uint64_t kFirstSlideId = 256;
constexpr std::uint64_t kLastSlideId = 2147483647;  // the largest slide id a presentation holds
constexpr std::string_view kListTag = "p:sldIdLst";
constexpr std::string_view kListClose = "</p:sldIdLst>";

// The lists the schema puts before the slide list, in its order.
constexpr std::array<std::string_view, 3> kMasterLists = {"p:sldMasterIdLst", "p:notesMasterIdLst",
                                                          "p:handoutMasterIdLst"};
// Where a new list goes when no master list is there: before the first of these found (each
// at its last occurrence), else before the end of the presentation.
constexpr std::array<std::string_view, 3> kAfterList = {"<p:sldSz", "<p:notesSz",
                                                        "<p:defaultTextStyle"};

// The offset just past the last master list present: past its last end tag, or past the whole
// tag when it is written self-closing. Both are looked for in markup only.
std::optional<std::size_t> end_of_master_lists(std::string_view text) {
  std::optional<std::size_t> last;
  for (std::string_view name : kMasterLists) {
    std::optional<std::size_t> end;
    const std::string close = "</" + std::string(name) + ">";
    if (const std::size_t at = rfind_in_markup(text, close); at != std::string_view::npos) {
      end = at + close.size();
    } else if (const auto start = find_tag_start(text, 0, name);
               start && tag_closes_itself(text, *start)) {
      end = tag_end(text, *start);
    }
    if (end && (!last || *end > *last)) last = end;
  }
  return last;
}

// The text with a new slide list holding `entry`, placed where the schema wants it.
Result<std::string> insert_new_slide_list(std::string_view text, std::string_view entry) {
  std::string list = "<";
  list += kListTag;
  list += '>';
  list += entry;
  list += kListClose;
  if (const auto after = end_of_master_lists(text)) return splice_text(text, *after, 0, list);
  for (std::string_view marker : kAfterList) {
    if (auto added = insert_before_last(text, marker, list)) return std::move(*added);
  }
  return insert_before(text, "</p:presentation>", list);
}

// The slide list (`SlideListFinder`), read up to its end; a reader error is `Xml`.
Result<std::optional<SlideListPlace>> find_slide_list(std::string_view text) {
  XmlReader reader(text);
  SlideListFinder finder;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof() || finder.add(event, reader.depth())) break;
  }
  return finder.place();
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

std::uint64_t slide_id_after(std::vector<std::uint64_t> used) {
  std::uint64_t largest = kFirstSlideId - 1;
  for (const std::uint64_t id : used) largest = std::max(largest, id);
  if (largest < kLastSlideId) return largest + 1;
  // No room above the largest id: the smallest id that no entry names.
  std::ranges::sort(used);
  std::uint64_t candidate = kFirstSlideId;
  for (const std::uint64_t id : used) {
    if (id > candidate) break;
    if (id == candidate) ++candidate;
  }
  return candidate;
}

Result<std::string> append_slide_id(std::string_view presentation_xml, std::uint64_t slide_id,
                                    std::string_view relationship_id,
                                    const SlideListFinder* found) {
  // The text is read in place; only the new presentation text is built.
  std::string decoded;
  const std::string_view text =
      found != nullptr ? presentation_xml : utf8_lossy_view(presentation_xml, decoded);
  const std::string entry = "<p:sldId id=\"" + std::to_string(slide_id) + "\" r:id=\"" +
                            std::string(relationship_id) + "\"/>";
  const auto list = PELVANE_TRY(found ? found->place() : find_slide_list(text));
  if (list && list->name != kListTag) {
    // The entry is written with the "p:" prefix, which this part may not bind at all.
    return fail(PelvaneError::invalid_input("slide list " + std::string(list->name) +
                                            " does not use the prefix p:, so no slide can be "
                                            "listed in it"));
  }
  std::string appended;
  if (list && list->self_closing) {
    // An empty list written as one tag opens up to hold the entry (a second list would make the
    // presentation invalid).
    appended = splice_text(text, list->end_tag, 2, ">" + entry + std::string(kListClose));
  } else if (list) {
    appended = splice_text(text, list->end_tag, 0, entry);
  } else {
    appended = PELVANE_TRY(insert_new_slide_list(text, entry));
  }
  return align_sections_with_slide_list(std::move(appended), slide_id);
}

Result<std::pair<std::string, bool>> reorder_slide_ids(std::string_view presentation_xml,
                                                       std::span<const std::uint64_t> order) {
  XmlReader reader(presentation_xml);
  XmlWriter writer(presentation_xml.size());
  SlideListScan list;
  std::vector<std::string> entries;
  SlideEntryCapture entry;
  bool list_met = false;
  bool changed = false;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    const SlideListScan::Role role = list.classify(event, reader.depth());
    if (entry.open() || role == SlideListScan::Role::Entry) {
      if (entry.add(event)) entries.push_back(entry.take());
      continue;
    }
    if (role == SlideListScan::Role::ListEnd) {
      const bool identity = PELVANE_TRY(check_slide_order(order, entries.size()));
      changed = changed || !identity;
      for (const std::uint64_t member : order) writer.write_raw(entries[member]);
      entries.clear();
    }
    // Everything else, inside the list too (white space, comments, other children), is written
    // where it is met: ahead of the held entries.
    list_met = list_met || role == SlideListScan::Role::ListStart;
    writer.write_event(event);
  }
  if (entry.open())
    return fail(PelvaneError::xml_text_decode("unexpected EOF while reading slide id"));
  if (!list_met) return fail(PelvaneError::xml_text_decode("presentation has no slide id list"));
  if (!changed) return std::pair{std::string(presentation_xml), false};
  return std::pair{PELVANE_TRY(align_sections_with_slide_list(std::move(writer).take())), true};
}

}  // namespace pelvane
