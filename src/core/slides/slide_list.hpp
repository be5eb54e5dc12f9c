// The slide list of the presentation part ("p:sldIdLst", the root's child: `SlideListScan`): the
// id a new slide takes, appending a new slide's entry, and putting the entries in a new order.
// Shared by every operation that adds, copies or reorders slides. The sections follow every
// change of the list (`align_sections_with_slide_list`).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/package/slide_order.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// The entries of the slide list as a pass reads them: an entry's events, from its own tag
// through its end tag, are written into a text of their own, which the pass then places.
class SlideEntryCapture {
 public:
  // Inside an entry whose end tag has not come yet.
  bool open() const { return depth_ > 0; }
  // An entry's own tag (`SlideListScan::Role::Entry`), then every event while `open`. True when
  // the event completes the entry, whose text `take` gives.
  bool add(const XmlEvent& event) {
    entry_.write_event(event);
    if (event.is_start())
      ++depth_;
    else if (event.is_end())
      --depth_;
    return depth_ == 0;
  }
  // The completed entry's text; the capture is ready for the next entry.
  std::string take() {
    std::string text = std::move(entry_).take();
    entry_ = XmlWriter();
    return text;
  }

 private:
  XmlWriter entry_;
  std::size_t depth_ = 0;  // elements open in the entry
};

// The id for a new slide from the numbers of the slide-id entries' "id" attributes
// (`PresentationSlides::slide_id_numbers`): one more than the largest, and at least 256. When
// that would pass 2147483647, the largest slide id there is, the new slide takes the smallest id
// of at least 256 that no entry names instead.
std::uint64_t slide_id_after(std::vector<std::uint64_t> used);

// The presentation text (decoded as UTF-8, invalid sequences replaced) with the entry
// <p:sldId id="{slide_id}" r:id="{relationship_id}"/> as the last of the slide list, and the new
// slide in the last section. The relationship id is written as given. Where the entry goes:
//   - a list with an end tag: just before that end tag;
//   - a list written as one self-closing tag: that tag becomes a list holding the entry;
//   - no list: a new list goes directly after the last master list present
//     (sldMasterIdLst, notesMasterIdLst, handoutMasterIdLst, which the schema puts before the
//     slide list), else before the last "<p:sldSz", "<p:notesSz" or "<p:defaultTextStyle",
//     else before the last "</p:presentation>". Without that marker: `XmlTextDecode`
//     "expected closing marker </p:presentation>". These names are searched as written with
//     the "p:" prefix.
// A list under another prefix is refused (the entry's "p:" may be bound to nothing there):
// `InvalidInput` "slide list {0} does not use the prefix p:, so no slide can be listed in it";
// a list the text never closes is `XmlTextDecode` "expected closing marker </{0}>"; a reader
// error is `Xml`. With `found`, the list as a pass over these same bytes (valid UTF-8) found it,
// which spares reading them again.
Result<std::string> append_slide_id(std::string_view presentation_xml, std::uint64_t slide_id,
                                    std::string_view relationship_id,
                                    const SlideListFinder* found = nullptr);

// The presentation text with the slide list's entries (the direct "sldId" children, any prefix,
// each with everything inside it) put in `order`: position k takes entry order[k]. Anything
// else inside the list (white space, comments, other children) is written right after the
// list's start tag, and the sections follow the new order. Returns the new text and true, or
// the input itself and false when the order is the identity or the list never ends.
// Failures: `InvalidInput` "slide order has {0} entries for {1} slides", "slide order index {0}
// was not found", "slide order index {0} is duplicated" (the first bad member decides, its
// range checked before repetition); `XmlTextDecode` "presentation has no slide id list" (a
// self-closing list counts as none), "unexpected EOF while reading slide id"; a reader error is
// `Xml`.
Result<std::pair<std::string, bool>> reorder_slide_ids(std::string_view presentation_xml,
                                                       std::span<const std::uint64_t> order);

}  // namespace pelvane
