// The two parts of a new slide: the slide itself and its relationships part, which binds it to
// its layout.
#pragma once

#include <string>
#include <string_view>

namespace pelvane {

// A new slide part: an empty shape tree holding `shapes_xml` (inserted as given, on a line of
// its own) and the master's colour mapping. Eleven lines, each ending with a line feed.
std::string blank_slide_xml(std::string_view shapes_xml);

// The relationships part of a new slide: one relationship, "rId1", to its layout at
// `layout_target`. The target is escaped for the attribute, which leaves every target that
// needs no escaping as it is.
std::string slide_layout_rels_xml(std::string_view layout_target);

}  // namespace pelvane
