// The content-types part ("[Content_Types].xml"): looking up an override and adding defaults
// and overrides by text splicing. Override part names carry a leading "/".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// The ContentType of the first Override (any prefix) whose unescaped PartName equals the part
// name with a leading "/" (added when missing). None when there is none, or when the XML ends
// in an error before one is found.
std::optional<std::string> find_content_type_override(std::string_view content_types_xml,
                                                      std::string_view part_name);

// The additions go in as the last child of the Types element: before its last "</Types>" in
// markup, or inside it when it is written as one self-closing tag. Existing Default and
// Override elements are looked for in markup only (a comment that mentions one is none),
// whatever their prefix and quotes, their values with references resolved.

// Adds <Default Extension="{ext}" ContentType="{type}"/> unless a Default for the extension is
// already there. Extensions are compared ignoring ASCII case, as packages compare them, so one
// extension never gets two defaults. No Types element to insert into: `InvalidInput`
// "[Content_Types].xml is missing </Types>".
Result<std::string> ensure_default_content_type(std::string_view content_types_xml,
                                                std::string_view extension,
                                                std::string_view content_type);

// Adds <Override PartName="{name}" ContentType="{type}"/> unless an Override already names the
// part (it is kept as it is, whatever content type it gives). No Types element to insert into:
// `InvalidInput` "[Content_Types].xml is missing </Types>".
Result<std::string> ensure_content_type_override(std::string_view content_types_xml,
                                                 std::string_view part_name,
                                                 std::string_view content_type);

// Adds the override unconditionally, values written as given. No Types element to insert
// into: `XmlTextDecode` "expected closing marker </Types>".
Result<std::string> append_content_type_override(std::string_view content_types_bytes,
                                                 std::string_view part_name,
                                                 std::string_view content_type);

}  // namespace pelvane
