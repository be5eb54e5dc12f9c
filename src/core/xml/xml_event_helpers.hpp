// What every streaming pass over an XML part shares: rewriting the attributes of one tag,
// skipping an element, testing for an element, turning text and reference events into text, and
// refusing a text that XML cannot hold.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

struct AttributeUpdate {
  std::string_view name;   // qualified name, compared exactly
  std::string_view value;  // unescaped; escaped when written
};

struct OptionalAttributeUpdate {
  std::string_view name;
  std::optional<std::string_view> value;  // none removes the attribute
};

// The tag's attributes in their order, each one named by an update taking that update's value in
// place (the first matching update wins); updates that matched nothing are appended in order.
// Malformed attributes are dropped; kept values are written so that they decode as before; every
// value comes out in double quotes. Write the result as the event was: `write_tag_as`.
XmlStartTag rewrite_event_attributes(const XmlEvent& event,
                                     std::span<const AttributeUpdate> updates);
XmlStartTag rewrite_event_attributes(const XmlEvent& event,
                                     std::initializer_list<AttributeUpdate> updates);

// The same with removal: an update without a value drops the attribute it names; one that names
// an absent attribute is appended only when it has a value.
XmlStartTag rewrite_event_optional_attributes(const XmlEvent& event,
                                              std::span<const OptionalAttributeUpdate> updates);
XmlStartTag rewrite_event_optional_attributes(
    const XmlEvent& event, std::initializer_list<OptionalAttributeUpdate> updates);

// Reads and drops everything up to and including the end tag of the element whose start tag the
// reader just returned. End of input first: XmlTextDecode
// "unexpected end of XML while skipping element"; a reader error is passed up (Xml).
Result<void> skip_current_element(XmlReader& reader);

// The unescaped value of the tag's first well-formed attribute whose local name is `local_name`;
// empty when there is none or when its value cannot be unescaped.
std::string attribute_key(const XmlEvent& tag, std::string_view local_name);
// The key of an attribute's raw value, as `attribute_key` gives it, as a view: into `raw` when
// it holds no reference, else into `buffer`.
std::string_view attribute_value_key(std::string_view raw, std::string& buffer);

// The text without the elements of local name `element` (any prefix, any depth) whose key,
// `attribute_key` of `key_attribute`, `is_removed` accepts: an empty-element tag alone, a start
// tag with everything up to its end tag. Every other event is written back as read. Returns the
// text and the number of elements removed. End of input inside a removed element: XmlTextDecode
// `eof_message`; a reader error is `Xml`. `observe`, when given, sees every event read, removed
// or not, in order, so that a caller needing more of the text reads it in the same pass; for an
// element it may return the key (which then is not read again from the tag).
Result<std::pair<std::string, std::uint64_t>> remove_keyed_elements(
    std::string_view xml, std::string_view element, std::string_view key_attribute,
    const std::function<bool(std::string_view)>& is_removed, std::string_view eof_message,
    const std::function<std::optional<std::string_view>(const XmlEvent&)>& observe = {});

// A text event's text, UTF-8 decoded with line ends normalised; none when empty or not UTF-8.
std::optional<std::string> xml_text_content(const XmlEvent& event);

// A reference event's text: the character a valid character reference names, the character of a
// predefined entity, otherwise the reference as written ("&name;"). None when the name is not
// UTF-8.
std::optional<std::string> xml_reference_content(const XmlEvent& event);

// Refuses caller text holding a character XML cannot carry (U+0000-U+0008, U+000B, U+000C,
// U+000E-U+001F, U+FFFE, U+FFFF): InvalidInput
// "text contains a character that XML cannot hold: U+XXXX", naming the first one.
Result<void> check_xml_text(std::string_view text);

}  // namespace pelvane
