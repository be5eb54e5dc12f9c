// Escaping text for XML, and resolving the references of text read from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/base/byte_search.hpp"

namespace pelvane {

// The bytes XML counts as blanks: space, tab, carriage return and line feed.
constexpr bool is_xml_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when `raw` holds no "&" and no byte past ASCII: a value that is its own text, unescaped
// and valid UTF-8, told in one look.
inline bool is_ascii_without_reference(std::string_view raw) {
  return byte_scan::find_in_set(raw, byte_scan::AmpersandOrNonAscii{}) == raw.size();
}

// Escapes a value for a double-quoted attribute: "&" first, then the double quote, "<" and ">".
// The apostrophe and everything else pass through.
std::string xml_attr(std::string_view text);

// True for a well-formed character reference body (the bytes between "&" and ";"): "#"
// followed by digits, or "#x" followed by hexadecimal digits.
bool is_character_reference_syntax(std::string_view ref);

// The character named by a character reference given as the bytes between "&" and ";"
// ("#65", "#x41"); none when it is not one or names no character XML allows.
std::optional<char32_t> resolve_character_reference(std::string_view reference);

// How `unescape_xml` treats a reference that is neither predefined nor a valid character
// reference, and a "&" that starts no reference.
enum class UnknownReferences { Reject, Keep };

// Resolves the five predefined entities and character references in an attribute value or text.
// None when the result would not be valid UTF-8, or, with Reject, when the text holds any other
// reference or a malformed one; with Keep such references are copied as written.
std::optional<std::string> unescape_xml(std::string_view raw,
                                        UnknownReferences unknown = UnknownReferences::Reject);

// Decodes the bytes of a text event: valid UTF-8 required (none otherwise), and line ends
// normalised as XML does (CR LF and a lone CR each become LF).
std::optional<std::string> decode_xml_text(std::string_view raw);

// Appends `text` with "&", "<", ">", the apostrophe and the double quote escaped.
void append_escaped_xml(std::string& out, std::string_view text);

}  // namespace pelvane
