#include "core/slides/section_list.hpp"

#include <algorithm>
#include <compare>
#include <functional>
#include <numeric>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/base/ascii.hpp"
#include "core/base/byte_search.hpp"
#include "core/base/decimal.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/package/slide_order.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

namespace {

// Levels count the root element as 1: the root's extension list, the extension, the section
// list, a section, its slide list and that list's entries.
constexpr std::size_t kExtensionListLevel = 2;
constexpr std::size_t kExtensionLevel = 3;
constexpr std::size_t kSectionListLevel = 4;
constexpr std::string_view kSectionListName = "sectionLst";
constexpr std::size_t kSectionLevel = 5;
constexpr std::size_t kSlideListLevel = 6;
constexpr std::size_t kEntryLevel = 7;

// The level of the element a tag opens, from the reader's depth after it.
std::size_t tag_level(const XmlEvent& event, std::size_t depth) {
  return event.is_start() ? depth : depth + 1;
}

// The slide id a tag names: its attribute written exactly "id" (not "r:id"), unescaped, as an
// unsigned decimal.
std::optional<std::uint64_t> named_slide_id(const XmlEvent& tag) {
  const auto raw = tag.attributes().find("id");
  const auto value = raw ? unescape_xml(*raw) : std::nullopt;
  return value ? parse_u64(*value) : std::nullopt;
}

struct SectionEntry {
  std::optional<std::uint64_t> id;
  std::string_view raw;
};

// One section as read: where it stands, and where its slide list stands and what it holds.
struct SectionSlides {
  std::size_t element_begin = 0;  // the section element's byte range
  std::size_t element_end = 0;
  bool element_closed = false;  // its end tag was met (or it closes itself)
  bool has_list = false;
  bool closed = false;        // its end tag was met (or it closes itself)
  bool self_closing = false;  // written as one tag
  std::size_t begin = 0;      // the list element's byte range
  std::size_t end = 0;
  std::string_view start_tag;  // as written; the whole tag when it closes itself
  std::string_view end_tag;
  std::string_view name;  // qualified
  std::string other;      // what the list holds besides its entries, in document order
  std::vector<SectionEntry> entries;
};

// What one pass over the presentation finds: the slide list's ids and the sections.
struct SectionScan {
  std::vector<std::uint64_t> slide_ids;
  std::vector<SectionSlides> sections;
};

// Where the pass stands on its way to the sections: inside the root's extension list, the
// sections' extension, the section list, a section.
struct SectionPath {
  bool extension_list = false;
  bool extension = false;
  bool section_list = false;
  bool section = false;

  // Leaving an element closes every state opened at or below its level.
  void leave(std::size_t depth) {
    if (depth < kSectionLevel) section = false;
    if (depth < kSectionListLevel) section_list = false;
    if (depth < kExtensionLevel) extension = false;
    if (depth < kExtensionListLevel) extension_list = false;
  }
};

// The slide list of a section the pass is inside, and the entry of it being read when that is
// written with a start and an end tag.
struct OpenSectionList {
  SectionSlides* list = nullptr;
  bool in_entry = false;
  std::size_t entry_begin = 0;
  std::optional<std::uint64_t> entry_id;
};

// Takes one event inside a section's slide list: an entry or a part of one, the list's end tag
// (which closes `open`), or anything else the list holds.
void read_section_list_event(std::string_view xml, const XmlEvent& event, std::size_t depth,
                             OpenSectionList& open) {
  SectionSlides& list = *open.list;
  if (open.in_entry) {
    if (event.is_end() && depth == kEntryLevel - 1) {
      const std::size_t end = event.offset + event.raw.size();
      list.entries.push_back({open.entry_id, xml.substr(open.entry_begin, end - open.entry_begin)});
      open.in_entry = false;
    }
  } else if (event.is_end() && depth == kSlideListLevel - 1) {
    list.end = event.offset + event.raw.size();
    list.end_tag = event.raw;
    list.closed = true;
    open.list = nullptr;
  } else if (event.is_tag() && tag_level(event, depth) == kEntryLevel &&
             event.local_name() == "sldId") {
    if (event.is_empty()) {
      list.entries.push_back({named_slide_id(event), event.raw});
    } else {
      open.in_entry = true;
      open.entry_begin = event.offset;
      open.entry_id = named_slide_id(event);
    }
  } else {
    list.other += event.raw;
  }
}

// Takes one tag outside the sections' slide lists: a step on the way to the sections, a section,
// or a section's slide list. The list a start tag opens is returned; null for any other tag.
SectionSlides* read_section_tag(const XmlEvent& event, std::size_t depth, SectionPath& path,
                                std::vector<SectionSlides>& sections) {
  const std::size_t level = tag_level(event, depth);
  const std::string_view name = event.local_name();
  if (level == kExtensionListLevel && name == "extLst") {
    path.extension_list = event.is_start();
  } else if (path.extension_list && level == kExtensionLevel && name == "ext") {
    path.extension = event.is_start() &&
                     equals_ignoring_ascii_case(attribute_key(event, "uri"), kSectionExtensionUri);
  } else if (path.extension && level == kSectionListLevel && name == kSectionListName) {
    path.section_list = event.is_start();
  } else if (path.section_list && level == kSectionLevel && name == "section") {
    SectionSlides& section = sections.emplace_back();
    section.element_begin = event.offset;
    section.element_end = event.offset + event.raw.size();
    section.element_closed = event.is_empty();
    path.section = event.is_start();
  } else if (path.section && level == kSlideListLevel && name == "sldIdLst" &&
             !sections.back().has_list) {
    SectionSlides& section = sections.back();
    section.has_list = true;
    section.self_closing = event.is_empty();
    section.closed = event.is_empty();
    section.begin = event.offset;
    section.end = event.offset + event.raw.size();
    section.start_tag = event.raw;
    section.name = event.name;
    if (event.is_start()) return &section;
  }
  return nullptr;
}

Result<SectionScan> scan_sections(std::string_view xml) {
  SectionScan scan;
  XmlReader reader(xml);
  SlideListScan slide_list;
  SectionPath path;
  OpenSectionList open;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return scan;
    const std::size_t depth = reader.depth();
    if (slide_list.classify(event, depth) == SlideListScan::Role::Entry) {
      if (const auto id = named_slide_id(event)) scan.slide_ids.push_back(*id);
      continue;
    }
    if (open.list) {
      read_section_list_event(xml, event, depth, open);
    } else if (event.is_end()) {
      if (path.section && depth == kSectionLevel - 1) {
        scan.sections.back().element_end = event.offset + event.raw.size();
        scan.sections.back().element_closed = true;
      }
      path.leave(depth);
    } else if (event.is_tag()) {
      open.list = read_section_tag(event, depth, path, scan.sections);
    }
  }
}

// How good a run of kept slides is: its length first, then how many of its neighbouring pairs
// stand in their old order.
struct RunScore {
  std::size_t length = 0;
  std::size_t ordered_pairs = 0;
  auto operator<=>(const RunScore&) const = default;
};

std::size_t lowest_bit(std::size_t i) { return i & (~i + 1); }

// The best scores of runs recorded so far, asked for by "section at or after s, rank above r": a
// Fenwick tree over the sections (reversed, so that a suffix is a prefix), each node holding one
// over the ranks its slides will have (in descending order, so that "above" is a prefix too).
// Both levels are logarithmic, so the runs of n slides are scored in O(n log² n).
class RunScores {
 public:
  RunScores(std::span<const std::optional<SlidePlace>> places, std::size_t sections)
      : ranks_(sections + 1), scores_(sections + 1) {
    for (const auto& place : places) {
      if (!place) continue;
      for (std::size_t node = outer(place->section); node < ranks_.size(); node += lowest_bit(node))
        ranks_[node].push_back(place->rank);
    }
    for (std::size_t node = 1; node < ranks_.size(); ++node) {
      std::sort(ranks_[node].begin(), ranks_[node].end(), std::greater<>());
      scores_[node].resize(ranks_[node].size() + 1);
    }
  }

  void record(const SlidePlace& place, const RunScore& score) {
    for (std::size_t node = outer(place.section); node < ranks_.size(); node += lowest_bit(node)) {
      std::vector<RunScore>& scores = scores_[node];
      for (std::size_t inner = ranks_above(node, place.rank) + 1; inner < scores.size();
           inner += lowest_bit(inner))
        scores[inner] = std::max(scores[inner], score);
    }
  }

  // The best score recorded at `section` or after, with a rank above `rank` when one is given.
  RunScore best(std::size_t section, std::optional<std::size_t> rank) const {
    RunScore best;
    for (std::size_t node = outer(section); node > 0; node -= lowest_bit(node)) {
      const std::size_t count = rank ? ranks_above(node, *rank) : ranks_[node].size();
      for (std::size_t inner = count; inner > 0; inner -= lowest_bit(inner))
        best = std::max(best, scores_[node][inner]);
    }
    return best;
  }

 private:
  std::size_t outer(std::size_t section) const { return ranks_.size() - 1 - section; }
  std::size_t ranks_above(std::size_t node, std::size_t rank) const {
    const std::vector<std::size_t>& ranks = ranks_[node];
    return static_cast<std::size_t>(
        std::lower_bound(ranks.begin(), ranks.end(), rank, std::greater<>()) - ranks.begin());
  }

  std::vector<std::vector<std::size_t>> ranks_;
  std::vector<std::vector<RunScore>> scores_;
};

// The list element of a section with the given slides, written again.
std::string rewritten_list(const SectionSlides& section, std::span<const std::uint64_t> ids) {
  std::string out;
  if (section.self_closing) {
    std::string_view tag = section.start_tag;
    tag.remove_suffix(2);  // "/>"
    out.append(tag).append(">");
  } else {
    out.append(section.start_tag);
  }
  out += section.other;
  const std::string_view prefix =
      section.name.substr(0, section.name.size() - xml_local_name(section.name).size());
  // The first entry of each id.
  std::unordered_map<std::uint64_t, std::string_view, KeyedHash> entries;
  for (const SectionEntry& entry : section.entries)
    if (entry.id) entries.emplace(*entry.id, entry.raw);
  for (const std::uint64_t id : ids) {
    if (const auto kept = entries.find(id); kept != entries.end()) {
      out += kept->second;
    } else {
      out.append("<").append(prefix).append("sldId id=\"").append(std::to_string(id));
      out.append("\"/>");
    }
  }
  if (section.self_closing) {
    out.append("</").append(section.name).append(">");
  } else {
    out.append(section.end_tag);
  }
  return out;
}

// The sections in the order of their runs, when every section's slides stand together in the new
// order (`places` as for `sections_for_slide_order`); none when a section's slides are apart.
std::optional<std::vector<std::size_t>> section_runs(
    std::span<const std::optional<SlidePlace>> places, std::size_t sections) {
  std::vector<std::size_t> runs;
  std::vector<bool> seen(sections, false);
  for (const auto& place : places) {
    if (!place || (!runs.empty() && runs.back() == place->section)) continue;
    if (seen[place->section]) return std::nullopt;
    seen[place->section] = true;
    runs.push_back(place->section);
  }
  return runs;
}

// The section that stands at each place of the list once the sections holding slides follow
// `runs` (all numbers count every section of the list): a section without slides stays just after
// the one it followed, and those ahead of every section with slides stay first.
std::vector<std::size_t> sections_in_run_order(std::span<const std::size_t> runs,
                                               std::size_t sections) {
  std::vector<bool> holds_slides(sections, false);
  for (const std::size_t held : runs) holds_slides[held] = true;
  std::vector<std::size_t> order;
  for (std::size_t s = 0; s < sections && !holds_slides[s]; ++s) order.push_back(s);
  for (const std::size_t held : runs) {
    order.push_back(held);
    for (std::size_t s = held + 1; s < sections && !holds_slides[s]; ++s) order.push_back(s);
  }
  return order;
}

bool same_slides(const std::vector<SectionEntry>& entries, std::span<const std::uint64_t> ids) {
  return std::equal(entries.begin(), entries.end(), ids.begin(), ids.end(),
                    [](const SectionEntry& entry, std::uint64_t id) { return entry.id == id; });
}

// The sections that have a slide list, by their number; none when one of those lists is not
// closed.
std::vector<std::size_t> sections_with_lists(const std::vector<SectionSlides>& sections) {
  std::vector<std::size_t> listed;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    if (!sections[s].has_list) continue;
    if (!sections[s].closed) return {};
    listed.push_back(s);
  }
  return listed;
}

// The ids of the slide list, each once, in the order they first stand.
std::vector<std::uint64_t> distinct_ids(const std::vector<std::uint64_t>& ids) {
  std::vector<std::uint64_t> distinct;
  std::unordered_set<std::uint64_t, KeyedHash> seen;
  for (const std::uint64_t id : ids)
    if (seen.insert(id).second) distinct.push_back(id);
  return distinct;
}

// Where each slide stood before, numbering the sections by their place in `listed`: the section
// that names a slide first holds it, and a slide id listed twice counts once; the old order is
// the order of the sections' entries. The appended slide stands last in the last section; a
// slide no section names has no place.
std::vector<std::optional<SlidePlace>> places_before(const std::vector<SectionSlides>& sections,
                                                     std::span<const std::size_t> listed,
                                                     std::span<const std::uint64_t> slides,
                                                     std::optional<std::uint64_t> appended) {
  std::unordered_map<std::uint64_t, SlidePlace, KeyedHash> holder;
  for (std::size_t n = 0; n < listed.size(); ++n) {
    for (const SectionEntry& entry : sections[listed[n]].entries)
      if (entry.id) holder.emplace(*entry.id, SlidePlace{n, holder.size()});
  }
  std::vector<std::optional<SlidePlace>> before(slides.size());
  for (std::size_t k = 0; k < slides.size(); ++k) {
    if (slides[k] == appended) {
      before[k] = SlidePlace{listed.size() - 1, holder.size()};
    } else if (const auto found = holder.find(slides[k]); found != holder.end()) {
      before[k] = found->second;
    }
  }
  return before;
}

// The text with the sections in `order` (the section that stands at each place, numbered among
// all sections) and each list holding its `members`; none when nothing changes.
std::optional<std::string> write_sections(std::string_view xml,
                                          const std::vector<SectionSlides>& sections,
                                          std::span<const std::size_t> order,
                                          const std::vector<std::vector<std::uint64_t>>& members) {
  std::string out;
  bool changed = false;
  std::size_t copied = 0;  // input bytes written so far
  for (std::size_t place = 0; place < order.size(); ++place) {
    const SectionSlides& section = sections[order[place]];
    const std::vector<std::uint64_t>& ids = members[order[place]];
    const bool new_list = section.has_list && !same_slides(section.entries, ids);
    if (order[place] == place && !new_list) continue;
    changed = true;
    if (order[place] == place) {
      out.append(xml.substr(copied, section.begin - copied));
      out += rewritten_list(section, ids);
      copied = section.end;
      continue;
    }
    // A moved section is written whole where the section of this place stood.
    out.append(xml.substr(copied, sections[place].element_begin - copied));
    copied = sections[place].element_end;
    if (!new_list) {
      out.append(xml.substr(section.element_begin, section.element_end - section.element_begin));
      continue;
    }
    out.append(xml.substr(section.element_begin, section.begin - section.element_begin));
    out += rewritten_list(section, ids);
    out.append(xml.substr(section.end, section.element_end - section.end));
  }
  if (!changed) return std::nullopt;
  out.append(xml.substr(copied));
  return out;
}

}  // namespace

std::vector<std::size_t> sections_for_slide_order(std::span<const std::optional<SlidePlace>> places,
                                                  std::size_t fallback) {
  const std::size_t count = places.size();
  // The score of a run that starts with (i, j): j's best run with i in front of it.
  const auto extended = [&](std::size_t i, const RunScore& from_j, std::size_t j) {
    return RunScore{from_j.length + 1,
                    from_j.ordered_pairs + (places[i]->rank < places[j]->rank ? 1u : 0u)};
  };
  const auto may_follow = [&](std::size_t i, std::size_t j) {
    return places[j] && places[j]->section >= places[i]->section;
  };
  // best[k]: the best run of non-decreasing sections that starts at position k.
  std::size_t sections = 0;
  for (const auto& place : places)
    if (place) sections = std::max(sections, place->section + 1);
  RunScores scores(places, sections);
  std::vector<RunScore> best(count);
  RunScore top;
  for (std::size_t k = count; k-- > 0;) {
    if (!places[k]) continue;
    const SlidePlace& place = *places[k];
    best[k] = RunScore{1, 0};
    // A following slide of a higher old rank adds a pair in the old order.
    if (const RunScore on = scores.best(place.section, place.rank); on.length > 0)
      best[k] = std::max(best[k], RunScore{on.length + 1, on.ordered_pairs + 1});
    if (const RunScore on = scores.best(place.section, std::nullopt); on.length > 0)
      best[k] = std::max(best[k], RunScore{on.length + 1, on.ordered_pairs});
    scores.record(place, best[k]);
    top = std::max(top, best[k]);
  }
  // The best run through the earliest positions: each step takes the first position that still
  // completes a best run.
  std::vector<bool> kept(count, false);
  std::optional<std::size_t> last;
  for (std::size_t k = 0; k < count && top.length > 0; ++k) {
    if (!places[k] || (last && !may_follow(*last, k))) continue;
    if (last ? extended(*last, best[k], k) != top : best[k] != top) continue;
    kept[k] = true;
    top = best[k];
    last = k;
    if (top.length == 1) break;
  }

  // A slide takes the section of the nearest kept slide before it; slides ahead of the first kept
  // one take that one's.
  std::vector<std::size_t> result(count, fallback);
  const auto first = std::find(kept.begin(), kept.end(), true);
  if (first == kept.end()) return result;
  std::size_t current = places[static_cast<std::size_t>(first - kept.begin())]->section;
  for (std::size_t k = 0; k < count; ++k) {
    if (kept[k]) current = places[k]->section;
    result[k] = current;
  }
  return result;
}

Result<std::string> align_sections_with_slide_list(std::string presentation_xml,
                                                   std::optional<std::uint64_t> appended_slide_id) {
  // An element name is never escaped, so a text without these letters has no section list: it
  // stays as it is, unread (most presentations have no sections, and this is a long scan).
  if (find_pattern(presentation_xml, kSectionListName) == std::string_view::npos)
    return presentation_xml;
  SectionScan scan = PELVANE_TRY(scan_sections(presentation_xml));
  const std::vector<std::size_t> listed = sections_with_lists(scan.sections);
  if (listed.empty()) return presentation_xml;
  const std::vector<std::uint64_t> slides = distinct_ids(scan.slide_ids);
  std::vector<std::optional<SlidePlace>> before =
      places_before(scan.sections, listed, slides, appended_slide_id);
  // Sections whose slides all stand together move with them: each keeps its slides, and the
  // sections take the order of their runs. Otherwise the list's order stays and the slides find
  // sections by the longest run that keeps them.
  auto runs = section_runs(before, listed.size());
  const bool moves = runs && !std::ranges::is_sorted(*runs) &&
                     std::ranges::all_of(scan.sections, &SectionSlides::element_closed);
  if (moves) {
    std::vector<std::size_t> run_of(listed.size());
    for (std::size_t r = 0; r < runs->size(); ++r) run_of[(*runs)[r]] = r;
    for (auto& place : before)
      if (place) place->section = run_of[place->section];
  }
  std::vector<std::size_t> after = sections_for_slide_order(before, 0);
  for (std::size_t& section : after) section = listed[moves ? (*runs)[section] : section];

  // From here sections are numbered by their place among all sections of the list.
  std::vector<std::vector<std::uint64_t>> members(scan.sections.size());
  for (std::size_t k = 0; k < slides.size(); ++k) members[after[k]].push_back(slides[k]);
  std::vector<std::size_t> order(scan.sections.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (moves) {
    for (std::size_t& run : *runs) run = listed[run];
    order = sections_in_run_order(*runs, scan.sections.size());
  }
  std::optional<std::string> written =
      write_sections(presentation_xml, scan.sections, order, members);
  if (!written) return presentation_xml;
  return std::move(*written);
}

}  // namespace pelvane
