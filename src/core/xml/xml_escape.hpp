// Escaping caller text for XML attribute values and text content.
#pragma once

#include <string>
#include <string_view>

namespace pelvane {

// Escapes a value for a double-quoted attribute: "&" first, then the double quote, "<" and ">".
// The apostrophe and everything else pass through.
std::string xml_attr(std::string_view text);

// Escapes text content with the five predefined entities.
std::string escape_xml_text(std::string_view text);

}  // namespace pelvane
