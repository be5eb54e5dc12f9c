#include "core/workbook/workbook_xml.hpp"

#include <algorithm>
#include <limits>

#include "core/base/utf8.hpp"

namespace pelvane {

namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// True when the text's first or last character is white space.
bool has_edge_white_space(std::string_view text) {
  if (text.empty()) return false;
  const auto first = decode_code_point(text, 0);
  if (first && is_unicode_white_space(first->code_point)) return true;
  std::size_t last = text.size() - 1;
  while (last > 0 && text.size() - last < 4 &&
         is_continuation(static_cast<unsigned char>(text[last])))
    --last;
  const auto final_point = decode_code_point(text, last);
  return final_point && last + final_point->length == text.size() &&
         is_unicode_white_space(final_point->code_point);
}

}  // namespace

std::string_view element_prefix(std::string_view qualified_name) {
  const std::size_t colon = qualified_name.rfind(':');
  return colon == std::string_view::npos ? std::string_view{} : qualified_name.substr(0, colon + 1);
}

XmlStartTag with_raw_attributes(const XmlEvent& tag, std::span<const std::string_view> drop,
                                std::span<const RawAttribute> replacements) {
  XmlStartTag rebuilt(is_valid_utf8(tag.name) ? std::string(tag.name)
                                              : decode_utf8_lossy(tag.name));
  // Replacements are few (at most two): a bit per replacement is plenty.
  std::uint32_t used = 0;
  for (const XmlAttribute& attribute : tag.attributes()) {
    if (attribute.malformed) continue;
    if (std::ranges::find(drop, attribute.name) != drop.end()) continue;
    const auto replacement = std::ranges::find(replacements, attribute.name, &RawAttribute::name);
    if (replacement == replacements.end()) {
      rebuilt.push_source_attribute(attribute);
      continue;
    }
    const auto bit = std::uint32_t{1} << (replacement - replacements.begin());
    if (used & bit) continue;  // only the first attribute of that name takes the new value
    used |= bit;
    rebuilt.push_escaped_attribute(replacement->name, replacement->value);
  }
  for (std::size_t i = 0; i < replacements.size(); ++i) {
    if (!(used & (std::uint32_t{1} << i)))
      rebuilt.push_escaped_attribute(replacements[i].name, replacements[i].value);
  }
  return rebuilt;
}

void write_text_element(XmlWriter& writer, std::string_view name, std::string_view text) {
  writer.write_raw("<");
  writer.write_raw(name);
  if (has_edge_white_space(text)) writer.write_raw(" xml:space=\"preserve\"");
  writer.write_raw(">");
  writer.write_text(text);
  writer.write_end_tag(name);
}

std::optional<std::uint32_t> parse_u32_decimal(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace pelvane
