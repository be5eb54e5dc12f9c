// Escaping caller text for XML attribute values.
#pragma once

#include <string>
#include <string_view>

namespace pelvane {

// Escapes a value for a double-quoted attribute: "&" first, then the double quote, "<" and ">".
// The apostrophe and everything else pass through.
std::string xml_attr(std::string_view text);

}  // namespace pelvane
