// The three parts that deleting slides writes anew: the presentation (its slide list and custom
// shows), the presentation's relationships and the content types. Each streams its input
// through the XML event reader and writer; events it keeps are written back as their bytes.
// Elements are recognised by local name under any prefix. Ids and part names are looked up in
// sets of names (`PartNameSet`), compared byte for byte.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"

namespace pelvane {

// The presentation without the slide-list entries (`SlideListScan`) whose relationship id
// (`rel_id_from_attributes`) is in `deleted_ids`, and without the custom-show entries
// ("sld" inside a "custShow"'s "sldLst") of those ids; a show left empty keeps its list. The
// sections follow (`align_sections_with_slide_list`): they lose the slides that are gone and
// take the survivor order. Other events inside the slide list (white space, comments, other
// children) are written right after its start tag, the kept entries after them, before its end
// tag:
//   - without `survivor_order`, in document order;
//   - with it, one entry per id of the order in turn (of entries with one id the later in
//     document order; an id without an entry writes nothing); entries no id names are left out.
// A self-closing list passes through, and so does a presentation without one. End of input
// inside the list: `XmlTextDecode` "unexpected EOF while reading slide id list" ("… slide id"
// inside an entry); a reader error is `Xml`.
Result<std::string> rewrite_presentation_xml_for_slide_deletion(
    std::string_view presentation_xml, const PartNameSet& deleted_ids,
    const std::optional<std::vector<std::string>>& survivor_order);

// The relationships without the "Relationship" elements whose Id is in `deleted_ids`, each with
// its content. End of input inside a removed element: `XmlTextDecode`
// "unexpected EOF while removing relationship". `visit`, when given, is called as
// `scan_relationships` calls it, in the same pass.
Result<std::string> rewrite_relationships_for_slide_deletion(
    std::string_view relationships_xml, const PartNameSet& deleted_ids,
    const std::function<void(const RelationshipText&)>& visit = {});

// The content types without the "Override" elements whose unescaped PartName is "/" followed by
// one of `dropped_parts` (compared byte for byte); "Default" elements stay. End of input inside a
// removed element: `XmlTextDecode` "unexpected EOF while removing content type override".
Result<std::string> rewrite_content_types_for_slide_deletion(std::string_view content_types_xml,
                                                             const PartNameViews& dropped_parts);

}  // namespace pelvane
