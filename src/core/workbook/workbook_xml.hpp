// The small XML routines that the streaming passes over workbook parts share: rebuilding a start
// tag with raw values, writing a text element, and the prefix of an element name. Attributes are
// read as stored (`XmlAttributes::find`): numbers and references are read from them, for which
// bytes that are not UTF-8 simply fail to parse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/xml/xml_events.hpp"

namespace pelvane {

// The name up to and including its last ":" ("x:" for "x:sheetData"); empty without a colon.
std::string_view element_prefix(std::string_view qualified_name);

struct RawAttribute {
  std::string_view name;
  std::string_view value;  // written as is, not escaped
};

// The tag rebuilt from its attributes in their order: those named in `drop` left out, the first
// one named by a replacement given that replacement's value in its place, every other one kept
// with its stored value; replacements that named no attribute are appended in order. Malformed
// attributes are left out. Every value is written in double quotes: a kept value that the
// source wrote in single quotes has its double quotes written as "&quot;", so that it still
// decodes to the same text.
XmlStartTag with_raw_attributes(const XmlEvent& tag, std::span<const std::string_view> drop,
                                std::span<const RawAttribute> replacements);

// <name>text</name>, the text escaped with the five predefined entities; the start tag gets
// xml:space="preserve" when the text begins or ends with Unicode white space. An empty text
// gives a start and an end tag, never an empty-element tag.
void write_text_element(XmlWriter& writer, std::string_view name, std::string_view text);

// An unsigned 32-bit decimal as worksheet attributes write row numbers: an optional "+", then
// one or more ASCII digits, no overflow.
std::optional<std::uint32_t> parse_u32_decimal(std::string_view text);

}  // namespace pelvane
