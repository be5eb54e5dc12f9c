// The package's vocabulary: the names of the parts every presentation has, the relationship and
// content types the operations write, and pure functions over part names (natural and byte-wise
// order, slide and layout recognition, relationships part names, free numbered names for new
// parts); and the one way to read a part an operation cannot do without. Part names carry no
// leading "/".
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/base/name_set.hpp"

namespace pelvane {

class PackageArchive;

using PartNameSet = NameSet<std::string>;
// Part names as views into names their holder keeps.
using PartNameViews = NameSet<std::string_view>;

inline constexpr std::string_view kPresentationPart = "ppt/presentation.xml";
inline constexpr std::string_view kPresentationRelationships = "ppt/_rels/presentation.xml.rels";
inline constexpr std::string_view kContentTypes = "[Content_Types].xml";

inline constexpr std::string_view kSlideRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr std::string_view kImageRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr std::string_view kVideoRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/video";
inline constexpr std::string_view kMediaRelationshipType =
    "http://schemas.microsoft.com/office/2007/relationships/media";
inline constexpr std::string_view kOleObjectRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject";

inline constexpr std::string_view kSlideContentType =
    "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
inline constexpr std::string_view kNotesSlideContentType =
    "application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml";
inline constexpr std::string_view kCommentsContentType =
    "application/vnd.openxmlformats-officedocument.presentationml.comments+xml";
inline constexpr std::string_view kChartContentType =
    "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
inline constexpr std::string_view kChartColorStyleContentType =
    "application/vnd.ms-office.chartcolorstyle+xml";
inline constexpr std::string_view kChartStyleContentType =
    "application/vnd.ms-office.chartstyle+xml";
inline constexpr std::string_view kWorkbookContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
inline constexpr std::string_view kOleObjectContentType =
    "application/vnd.openxmlformats-officedocument.oleObject";

// The natural order of names: runs of ASCII digits compared by value (a run too large for 64
// bits reads as 0), runs of other bytes compared byte-wise, a text run before a number run at
// one position, and a name that is a prefix of another first.
std::strong_ordering natural_compare(std::string_view a, std::string_view b);
inline bool natural_less(std::string_view a, std::string_view b) {
  return natural_compare(a, b) < 0;
}
// The names sorted byte-wise, each string made once; fast for names that share a long beginning
// (ppt/slides/slide12.xml, rId12).
std::vector<std::string> sorted_names(std::span<const std::string> names);

// "ppt/slides/slide" + one or more ASCII digits + ".xml".
bool is_slide_part(std::string_view name);
// "ppt/slideLayouts/slideLayout" + one or more ASCII digits + ".xml".
bool is_slide_layout_part(std::string_view name);
// The number between "ppt/slides/slide" and ".xml" (an optional leading "+" accepted).
std::optional<std::uint64_t> slide_number(std::string_view name);
// "ppt/slides/slide{number}.xml".
std::string slide_part_name(std::uint64_t number);
// "dir/file" -> "dir/_rels/file.rels"; a name without "/" -> "_rels/name.rels".
std::string relationship_part_name(std::string_view name);
// The same into `part`, whose room is used again when a caller names many.
void relationship_part_name_into(std::string_view name, std::string& part);
// The template's directory and stem prefix (trailing digits removed) with the smallest free
// number from 1 and the template's extension; the chosen name is added to `in_use`.
std::string next_free_numbered_part(std::set<std::string>& in_use, std::string_view template_name);

// A part the operation cannot do without, read as bytes. Absent: `Zip`
// "specified file not found in archive"; an entry that cannot be opened is `Zip`, a read failure
// `Io`.
Result<std::string> read_required_part(PackageArchive& archive, std::string_view name);

}  // namespace pelvane
