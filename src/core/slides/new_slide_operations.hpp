// New slides: appending a blank slide bound to a layout, and listing a new slide part in the
// presentation (also used by slide duplication).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/package/slide_order.hpp"

namespace pelvane {

class PackageArchive;
class PackageEdit;

// The number of a new slide part: one more than the largest number among the slide parts
// (ppt/slides/slide{n}.xml); 1 when none has one.
std::uint64_t next_slide_number(const std::vector<std::string_view>& slide_parts);

// What listing a new slide in the presentation gave it.
struct ListedSlide {
  std::string relationship_id;  // of the presentation's new relationship
  std::uint64_t slide_id = 0;   // of its new slide-list entry
};

// Lists the slide part ppt/slides/slide{number}.xml in the presentation: a new relationship of
// the presentation part (target "slides/slide{number}.xml"), a new last entry of its slide list
// and a content-type override, set on `edit` as replacements of "ppt/presentation.xml", its
// relationships part and "[Content_Types].xml". Each of the three read as bytes, in this order;
// an absent one is `Zip` "specified file not found in archive". The first two are taken from
// `listing` (read with `Gather::NewIds`), with the ids they hold.
Result<ListedSlide> list_new_slide(PackageEdit& edit, std::uint64_t number,
                                   PresentationSlides& listing);

// The layout's placeholder shapes, emptied (extract_placeholder_shape_blocks) and joined, for a
// slide `slide_part` whose layout relationship targets `layout_target`. A layout part that is
// absent or cannot be opened gives the empty text; one that cannot be read or is not UTF-8 is
// `Io`.
Result<std::string> placeholder_shapes_from_layout(PackageArchive& archive,
                                                   std::string_view slide_part,
                                                   std::string_view layout_target);

// Appends a slide after the last one, bound to the `layout_index`-th layout part (natural
// order) or, without one, to the layout of the first slide in presentation order that has one,
// and holding that layout's emptied placeholders. Unchanged entries are copied raw.
// Failures: `XmlTextDecode` "slide layout index {0} was not found", "no slide layout
// relationship found", "expected closing marker {0}"; `Zip` for an absent presentation part,
// presentation relationships or content types, and for a new part whose name the package
// already holds.
Result<SlideAddSummary> add_blank_slide(std::string_view input, std::string_view output,
                                        std::optional<std::uint64_t> layout_index);

}  // namespace pelvane
