// The parts that list a presentation's slides, which every operation that adds or removes slides
// reads and writes again, and how such a part is read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

class PackageArchive;

inline constexpr std::string_view kPresentationPart = "ppt/presentation.xml";
inline constexpr std::string_view kPresentationRelationships = "ppt/_rels/presentation.xml.rels";
inline constexpr std::string_view kContentTypes = "[Content_Types].xml";
inline constexpr std::string_view kSlideRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr std::string_view kSlideContentType =
    "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";

// "ppt/slides/slide{number}.xml".
std::string slide_part_name(std::uint64_t number);

// A part the operation cannot do without, read as bytes. Absent: `Zip`
// "specified file not found in archive"; an entry that cannot be opened is `Zip`, a read failure
// `Io`.
Result<std::string> read_required_part(PackageArchive& archive, std::string_view name);

}  // namespace pelvane
