// Sections: named runs of slides that the presentation keeps in an extension of its own,
//
//   <p:extLst><p:ext uri="{521415D9-36F7-43E2-AB2F-B90AF26B5E84}"><p14:sectionLst …>
//     <p14:section name="…" id="{GUID}"><p14:sldIdLst><p14:sldId id="256"/>…</p14:sldIdLst>
//     </p14:section>…</p14:sectionLst></p:ext></p:extLst>
//
// Each section names its slides by slide id alone. A reader of the deck takes a section that
// names a missing slide, or a slide that no section names, for damage; so whatever changes the
// slide list brings the sections along: every listed slide in exactly one section, and the
// sections read in order give the slide order. The elements are found by local name under any
// prefix, inside the root's extension list and the extension of that uri.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"

namespace pelvane {

inline constexpr std::string_view kSectionExtensionUri = "{521415D9-36F7-43E2-AB2F-B90AF26B5E84}";

// Where a slide stood before a change: its section (a number that grows along the section list)
// and its rank in the old slide order.
struct SlidePlace {
  std::size_t section = 0;
  std::size_t rank = 0;
};

// The section of each slide once the slides stand in a new order; `places[k]` tells where the
// slide now at position k stood, none for a slide that no section held. A longest run of
// positions (not necessarily contiguous) whose sections never decrease keeps its sections; every
// other slide joins the section of the nearest kept slide before it, or after it when none is
// before; with no slide kept at all, every slide goes to `fallback`.
// Of equally long runs, the one with the most neighbouring pairs still in their old order wins,
// so the slides that did not move keep their sections and the moved one changes: sections
// A = (1), B = (2 3) in the order 3 1 2 keep 1 2 rather than 3 2, and 3 joins A; A = (1 2),
// B = (3) in the order 2 3 1 keep 2 3, and 1 joins B. Of runs equal in that too, the one through
// the earliest positions wins (compared position by position): A = (1 2 3), B = (4 5 6) in the
// order 1 2 4 3 5 6 keep 1 2 4 5 6, so 3 joins B; A = (1), B = (2) in the order 2 1 keep 2, so
// 1 joins B. O(n log² n) in the n slides that have a section.
std::vector<std::size_t> sections_for_slide_order(std::span<const std::optional<SlidePlace>> places,
                                                  std::size_t fallback);

// The presentation text with its sections agreeing with its slide list (`SlideListScan`):
// entries for slides the list no longer has are gone, a slide takes its section by
// `sections_for_slide_order` from the section that named it first (the old order being the
// order of the sections' entries), and `appended_slide_id`, when given, goes to the last
// section. When the new order keeps the slides of every section together instead (one run per
// section, in any order within it; slides without a section do not break a run) and the runs
// change the sections' order, the sections move with their slides: each keeps exactly its
// slides, the sections take the order of their runs, and a section without slides stays just
// after the section it followed (those ahead of every section with slides stay first). A moved
// section is written whole where another stood; what lies between sections stays in its place.
// Only sections whose slides change are written again; their list holds what it held
// besides entries (white space, comments), then one entry per slide: the entry as it stood when
// the slide stays in the section, otherwise <sldId id="{id}"/> under the list's own prefix. An
// emptied section keeps its list, written with a start and an end tag. Sections without a list
// never receive slides. The input comes back byte for byte when nothing changes: a presentation
// without sections, sections that already agree, or a section list cut off by the end of the
// text (the text is taken over, so an unchanged one is not copied). A text that nowhere names a
// "sectionLst" comes back unread; otherwise a reader error is `Xml`.
Result<std::string> align_sections_with_slide_list(
    std::string presentation_xml, std::optional<std::uint64_t> appended_slide_id = std::nullopt);

}  // namespace pelvane
