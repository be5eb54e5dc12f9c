// The byte classes that both tag readers share: the general one (`XmlReader::read_markup`) and
// the reader of one simple empty-element tag (`XmlReader::next_simple_empty_tag`), which must stop
// a name where the general one does. Inline: both read every tag through them.
#pragma once

#include <array>
#include <cstdint>

#include "core/base/byte_search.hpp"
#include "core/base/utf8.hpp"

namespace pelvane::xml_tag_bytes {

// Bytes that end an element name in a tag.
constexpr bool ends_name(char c) { return is_xml_blank(c) || c == '/' || c == '>'; }

// Bytes that may not stand in an element name.
constexpr bool forbidden_in_name(char c) {
  return c == '<' || c == '&' || c == '"' || c == '\'' || c == '=' || c == '?' || c == '!';
}

// Byte classes for the hot loops of the tag scanner.
enum ByteClass : std::uint8_t {
  kNameByte = 0,  // none of the below: a byte that may stand in any name
  kNameEnd = 1,
  kBadInName = 2,
  kEndsAttributeName = 4,  // blanks, "=" and the quotes
};

constexpr std::array<std::uint8_t, 256> make_byte_classes() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t cls = kNameByte;
    if (ends_name(static_cast<char>(c))) cls |= kNameEnd;
    if (forbidden_in_name(static_cast<char>(c))) cls |= kBadInName;
    if (is_xml_blank(static_cast<char>(c)) || c == '=' || c == '"' || c == '\'')
      cls |= kEndsAttributeName;
    table[static_cast<std::size_t>(c)] = cls;
  }
  return table;
}

// Hidden, so that position-independent code reads it straight, not through a table of addresses.
[[gnu::visibility("hidden")]] inline constexpr std::array<std::uint8_t, 256> kByteClasses =
    make_byte_classes();

inline std::uint8_t byte_class(char c) { return kByteClasses[static_cast<unsigned char>(c)]; }

// The end of an element name in a tag, or a byte that may not stand in one, for
// `byte_scan::find_in_set`. The bytes that end a name all lie at or below the apostrophe, or are
// "/", "=" or one of "<" to "?": a block is screened with those ranges and the bytes it flags
// are tested against the table.
struct ElementNameStop {
  bool holds(char c) const { return (byte_class(c) & (kNameEnd | kBadInName)) != 0; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = false;
  unsigned candidates(byte_scan::Block bytes) const {
    // "<" to "?" are the four bytes whose bits above the lowest two are those of "<".
    return byte_scan::block_bytes_at_most(bytes, '\'') | byte_scan::block_bytes_equal(bytes, '/') |
           byte_scan::block_bytes_masked_equal(bytes, static_cast<char>(0xFC), '<');
  }
#endif
};

}  // namespace pelvane::xml_tag_bytes
