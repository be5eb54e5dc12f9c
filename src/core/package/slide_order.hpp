// Slide order: the slides in the order the presentation lists them, and slide and layout
// addressing by zero-based index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"

namespace pelvane {

class PackageArchive;

// The slide parts in presentation order: the slide-id list of ppt/presentation.xml resolved
// through its slide relationships, used only when it names exactly the package's slide parts,
// each once; otherwise (or without a presentation part) the slide parts in natural order.
// Errors of the archive, of the presentation's XML (`Xml`) and of its relationships are passed up.
Result<std::vector<std::string>> slide_parts(PackageArchive& archive);

// The relationship ids of the slide-id entries (local name "sldId") in document order: every
// attribute whose qualified name ends with ":id". A reader error is `Xml`.
Result<std::vector<std::string>> slide_relationship_ids_in_presentation(
    std::string_view presentation_xml);

// The slide part at a zero-based index of `slide_parts`; none past the end.
Result<std::optional<std::string>> slide_part_at_index(PackageArchive& archive,
                                                       std::uint64_t index);

// "../slideLayouts/<file>" for the index-th slide layout part in natural order. Past the end:
// `XmlTextDecode` "slide layout index {index} was not found".
Result<std::string> slide_layout_target_at_index(PackageArchive& archive, std::uint64_t index);

}  // namespace pelvane
