// The reader of one simple empty-element tag (`XmlReader::next_simple_empty_tag`): a tag that the
// general reader would give as one Empty event, read with its attributes in one pass.
#include <cstdint>
#include <cstring>

#include "core/base/byte_search.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_tag_bytes.hpp"

namespace pelvane {

namespace {

using xml_tag_bytes::byte_class;
using xml_tag_bytes::ElementNameStop;
using xml_tag_bytes::kNameByte;

// True when the `size` bytes at `a` and `b` are equal: the few bytes of a name, compared a word
// at a time without a call.
[[gnu::always_inline]] inline bool same_bytes(const char* a, const char* b, std::size_t size) {
  const auto word = [](const char* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  };
  const auto half = [](const char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  };
  if (size >= 8) {
    for (std::size_t at = 0; at + 8 < size; at += 8)
      if (word(a + at) != word(b + at)) return false;
    return word(a + size - 8) == word(b + size - 8);
  }
  if (size >= 4) return half(a) == half(b) && half(a + size - 4) == half(b + size - 4);
  for (std::size_t at = 0; at < size; ++at)
    if (a[at] != b[at]) return false;
  return true;
}

// Offset of the first `quote` at or after `from`, before `end`; `end` when there is none.
[[gnu::always_inline]] inline std::size_t find_quote(const char* data, std::size_t from,
                                                     std::size_t end, char quote) {
  return byte_scan::find_in_set(data, from, end, byte_scan::OneByte{quote});
}

// The end of the qualified name of the tag at `start` ("<"), when its local name is
// `local_name` and a blank follows it; npos otherwise. Names here are of bytes that may stand
// in an element name, up to a blank (`read_markup` stops a name at the first byte of any other
// class, and fails the tag unless it is a blank, "/" or ">"). The name written without a
// prefix is the common case, told by its bytes.
[[gnu::always_inline]] inline std::size_t simple_tag_name_end(const char* data, std::size_t start,
                                                              std::size_t n,
                                                              std::string_view local_name) {
  constexpr std::size_t kNone = std::string_view::npos;
  const std::size_t size = local_name.size();
  std::size_t p = start + 1;
  if (n - p > size && same_bytes(data + p, local_name.data(), size) && is_xml_blank(data[p + size]))
    return p + size;
  if (n - p > size + 2 && data[p + 1] == ':' && byte_class(data[p]) == kNameByte &&
      same_bytes(data + p + 2, local_name.data(), size) && is_xml_blank(data[p + 2 + size])) {
    // A prefix of one byte, the next most common case.
    return p + 2 + size;
  }
  p = byte_scan::find_in_set(data, p, n, ElementNameStop{});
  if (p == start + 1 || p >= n || !is_xml_blank(data[p])) return kNone;
  // A local name holds no ":": the qualified name is it, after a prefix and ":".
  const std::size_t qualified = p - start - 1;
  if (qualified < size || !same_bytes(data + p - size, local_name.data(), size)) return kNone;
  if (qualified != size && data[p - size - 1] != ':') return kNone;
  return p;
}

// Steps `p` over the blanks that lead an item; false when there are none or the input ends.
[[gnu::always_inline]] inline bool skip_item_blanks(const char* data, std::size_t& p,
                                                    std::size_t n) {
  const std::size_t blanks = p;
  // Mostly one space, then a byte that is no blank (every blank lies at or below the space).
  if (n - p > 1 && data[p] == ' ' && static_cast<unsigned char>(data[p + 1]) > ' ') {
    ++p;
    return true;
  }
  while (p < n && is_xml_blank(data[p])) ++p;
  return p < n && p != blanks;
}

// What stands at an item's start, past its blanks.
enum class SimpleItem : std::uint8_t {
  Attribute,  // name="value" or name='value'; the closing quote may be missing
  TagEnd,     // "/>"
  Other,      // anything else: the tag is not simple
};

// Reads the item at `item`. For an attribute, `name_end` is left at its "=" and `close` at its
// closing quote, or at `n` when it has none.
[[gnu::always_inline]] inline SimpleItem read_simple_item(const char* data, std::size_t item,
                                                          std::size_t n, std::size_t& name_end,
                                                          std::size_t& close) {
#if defined(PELVANE_BYTE_BLOCKS)
  // The common item is read from one block: a name, "=" and a quote, and mostly the closing
  // quote too. The first byte the block flags ends the name only when it is "=" (it may be a
  // byte a name holds); anything else is read byte by byte below.
  if (n - item >= 16) {
    const byte_scan::Block bytes = byte_scan::load_block(data + item);
    const unsigned name_size =
        static_cast<unsigned>(__builtin_ctz(ElementNameStop{}.candidates(bytes) | (1u << 16)));
    if (name_size != 0 && name_size < 15 && data[item + name_size] == '=' &&
        (data[item + name_size + 1] == '"' || data[item + name_size + 1] == '\'')) {
      name_end = item + name_size;
      const char quote = data[name_end + 1];
      const unsigned quotes = quote == '"' ? byte_scan::block_bytes_equal(bytes, '"')
                                           : byte_scan::block_bytes_equal(bytes, '\'');
      const unsigned closes = quotes & byte_scan::bits_above(name_size + 1);
      close = closes != 0 ? item + static_cast<unsigned>(__builtin_ctz(closes))
                          : find_quote(data, item + 16, n, quote);
      return SimpleItem::Attribute;
    }
  }
#endif
  std::size_t p = item;
  while (p < n && byte_class(data[p]) == kNameByte) ++p;
  if (p == item)
    return data[p] == '/' && p + 1 < n && data[p + 1] == '>' ? SimpleItem::TagEnd
                                                             : SimpleItem::Other;
  if (p + 1 >= n || data[p] != '=') return SimpleItem::Other;
  const char quote = data[p + 1];
  if (quote != '"' && quote != '\'') return SimpleItem::Other;
  name_end = p;
  close = find_quote(data, p + 2, n, quote);
  return SimpleItem::Attribute;
}

}  // namespace

bool XmlReader::next_simple_empty_tag(std::string_view local_name, SimpleEmptyTag& tag) {
  const std::size_t start = pos_;
  const std::size_t n = input_.size();
  if (error_ || start >= n || input_[start] != '<') return false;
  const char* const data = input_.data();
  std::size_t p = simple_tag_name_end(data, start, n, local_name);
  if (p == std::string_view::npos) return false;
  const std::string_view name(data + start + 1, p - start - 1);
  // Outside the values only blanks, names and "=" stand before the "/>": the first ">" outside
  // quotes, which ends the tag for `read_markup` too, is the one after "/".
  std::size_t count = 0;
  for (;;) {
    if (!skip_item_blanks(data, p, n)) return false;
    const std::size_t item = p;
    std::size_t close = n;
    const SimpleItem read = read_simple_item(data, item, n, p, close);
    if (read == SimpleItem::TagEnd) break;
    if (read == SimpleItem::Other || close >= n || count == SimpleEmptyTag::kMaxAttributes)
      return false;
    const std::string_view attribute_name(data + item, p - item);
    // A repeated name is a malformed item to the attribute reader.
    for (std::size_t i = 0; i < count; ++i)
      if (tag.items[i].name == attribute_name) return false;
    tag.items[count++] = {attribute_name, std::string_view(data + p + 2, close - p - 2)};
    p = close + 1;
    // The item's end: blanks, or the "/>" at once.
    if (p + 1 < n && data[p] == '/' && data[p + 1] == '>') break;
  }
  pos_ = p + 2;
  tag.raw = std::string_view(data + start, pos_ - start);
  tag.name = name;
  tag.offset = start;
  tag.count = count;
  return true;
}

}  // namespace pelvane
