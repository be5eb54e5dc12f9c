#include "core/xml/xml_events.hpp"

#include <cstring>

#include "core/base/byte_search.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/xml_tag_bytes.hpp"

namespace pelvane {

namespace {

using xml_tag_bytes::byte_class;
using xml_tag_bytes::ElementNameStop;
using xml_tag_bytes::kBadInName;
using xml_tag_bytes::kEndsAttributeName;

// The other byte sets of the scanner's runs, for `byte_scan::find_in_set`.

// A quote, which opens or closes a value, or the ">" that ends a tag.
struct QuoteOrGt {
  bool holds(char c) const { return c == '>' || c == '"' || c == '\''; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(byte_scan::Block bytes) const {
    return byte_scan::block_bytes_equal(bytes, '>') | byte_scan::block_bytes_equal(bytes, '"') |
           byte_scan::block_bytes_equal(bytes, '\'');
  }
#endif
};

// The end of an attribute name: a blank, "=" or a quote.
struct AttributeNameStop {
  bool holds(char c) const { return (byte_class(c) & kEndsAttributeName) != 0; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = false;
  unsigned candidates(byte_scan::Block bytes) const {
    return byte_scan::block_bytes_at_most(bytes, '\'') | byte_scan::block_bytes_equal(bytes, '=');
  }
#endif
};

// The end of the name in an end tag: a blank or ">".
struct EndTagNameStop {
  bool holds(char c) const { return is_xml_blank(c) || c == '>'; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = false;
  unsigned candidates(byte_scan::Block bytes) const {
    return byte_scan::block_bytes_at_most(bytes, ' ') | byte_scan::block_bytes_equal(bytes, '>');
  }
#endif
};

// Offset of the first `byte` at or after `from` inside a tag; npos when there is none.
[[gnu::always_inline]] inline std::size_t find_in_tag(std::string_view text, char byte,
                                                      std::size_t from) {
  const std::size_t found =
      byte_scan::find_in_set(text.data(), from, text.size(), byte_scan::OneByte{byte});
  return found < text.size() ? found : std::string_view::npos;
}

// Offset of the ">" that ends a tag, searched from `from` (past the element name) before `end`,
// quoted values stepped over whole; `end` when the tag is not closed.
inline std::size_t find_tag_close(const char* data, std::size_t from, std::size_t end) {
  std::size_t at = from;
#if defined(PELVANE_BYTE_BLOCKS)
  // Whole blocks first: the quotes and ">" of a block are found at once, and a value that closes
  // inside the block is stepped over without reading it again.
  while (at + 16 <= end) {
    const byte_scan::Block bytes = byte_scan::load_block(data + at);
    const unsigned doubles = byte_scan::block_bytes_equal(bytes, '"');
    const unsigned singles = byte_scan::block_bytes_equal(bytes, '\'');
    const unsigned gts = byte_scan::block_bytes_equal(bytes, '>');
    unsigned marks = doubles | singles | gts;
    for (;;) {
      if (marks == 0) {
        at += 16;
        break;
      }
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(marks));
      if ((gts >> bit) & 1u) return at + bit;
      const bool double_quoted = (doubles >> bit) & 1u;
      const unsigned closes = (double_quoted ? doubles : singles) & byte_scan::bits_above(bit);
      if (closes == 0) {
        at = byte_scan::find_in_set(data, at + bit + 1, end,
                                    byte_scan::OneByte{double_quoted ? '"' : '\''});
        if (at >= end) return end;
        ++at;
        break;
      }
      marks &= byte_scan::bits_above(static_cast<unsigned>(__builtin_ctz(closes)));
    }
  }
#endif
  for (;;) {
    at = byte_scan::find_in_set(data, at, end, QuoteOrGt{});
    if (at >= end || data[at] == '>') return at;
    at = byte_scan::find_in_set(data, at + 1, end, byte_scan::OneByte{data[at]});
    if (at >= end) return end;
    ++at;
  }
}

std::size_t find_byte(std::string_view text, char byte, std::size_t from) {
  if (from >= text.size()) return std::string_view::npos;
  const void* hit =
      std::memchr(text.data() + from, static_cast<unsigned char>(byte), text.size() - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
             : std::string_view::npos;
}

// A name fit for an error message: names that are not UTF-8, or very long, are left out.
std::string quoted_name(std::string_view name) {
  if (name.size() > 200 || !is_valid_utf8(name)) return "?";
  return std::string(name);
}

std::string_view trim_blanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_xml_blank(text[begin])) ++begin;
  while (end > begin && is_xml_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The rest of an attribute item whose name ends at `pos` and that is not a name followed at
// once by "=" and a closed quoted value.
std::size_t parse_unusual_attribute(std::string_view text, std::size_t item_start, std::size_t pos,
                                    XmlAttribute& out);

// One attribute item starting at `pos` (which is at a non-blank byte). Returns the position
// after the item. The repeated-name test is left to the caller. The common item, a name
// followed at once by "=" and a quoted value, is read here; the rest out of line.
[[gnu::always_inline]] inline std::size_t parse_attribute(std::string_view text, std::size_t pos,
                                                          XmlAttribute& out) {
  const std::size_t n = text.size();
  const std::size_t item_start = pos;
#if defined(PELVANE_BYTE_BLOCKS)
  // A short item is read from one block: the name's end, "=", the quote and the closing quote.
  if (n >= 16) {
    const char* const data = text.data();
    const byte_scan::Window window = byte_scan::window_at(data, pos, n);
    const unsigned stops = AttributeNameStop{}.candidates(window.bytes) >> window.shift;
    const unsigned name_size = static_cast<unsigned>(__builtin_ctz(stops | (1u << 16)));
    const std::size_t equals = pos + name_size;
    if (name_size < 16 && data[equals] == '=' && equals + 1 < n &&
        (data[equals + 1] == '"' || data[equals + 1] == '\'')) {
      const char quote = data[equals + 1];
      const unsigned quotes = quote == '"' ? byte_scan::block_bytes_equal(window.bytes, '"')
                                           : byte_scan::block_bytes_equal(window.bytes, '\'');
      const unsigned closes = (quotes >> window.shift) & byte_scan::bits_above(name_size + 1);
      const std::size_t close = closes != 0 ? pos + static_cast<unsigned>(__builtin_ctz(closes))
                                            : find_in_tag(text, quote, equals + 2);
      if (close != std::string_view::npos) {
        out.name = std::string_view(data + item_start, name_size);
        out.malformed = false;
        out.value = std::string_view(data + equals + 2, close - equals - 2);
        out.raw = std::string_view(data + item_start, close + 1 - item_start);
        out.quote = quote;
        return close + 1;
      }
    }
  }
#endif
  pos = byte_scan::find_in_set(text.data(), pos, n, AttributeNameStop{});
  out.name = std::string_view(text.data() + item_start, pos - item_start);
  out.malformed = false;
  if (pos + 1 < n && text[pos] == '=' && (text[pos + 1] == '"' || text[pos + 1] == '\'')) {
    const char quote = text[pos + 1];
    const std::size_t close = find_in_tag(text, quote, pos + 2);
    if (close != std::string_view::npos) {
      out.value = std::string_view(text.data() + pos + 2, close - pos - 2);
      out.raw = std::string_view(text.data() + item_start, close + 1 - item_start);
      out.quote = quote;
      return close + 1;
    }
  }
  return parse_unusual_attribute(text, item_start, pos, out);
}

std::size_t parse_unusual_attribute(std::string_view text, std::size_t item_start, std::size_t pos,
                                    XmlAttribute& out) {
  const std::size_t n = text.size();
  out.value = {};
  out.raw = {};
  out.quote = '"';
  std::size_t after_name = pos;
  while (pos < n && is_xml_blank(text[pos])) ++pos;
  if (pos >= n || text[pos] != '=') {
    out.malformed = true;
    if (out.name.empty()) {
      // A value without a name: consume the quoted run so that iteration moves on.
      const char quote = text[after_name];
      std::size_t close = find_byte(text, quote, after_name + 1);
      pos = close == std::string_view::npos ? n : close + 1;
      out.raw = text.substr(item_start, pos - item_start);
      return pos;
    }
    out.raw = text.substr(item_start, after_name - item_start);
    return after_name;
  }
  ++pos;  // "="
  while (pos < n && is_xml_blank(text[pos])) ++pos;
  if (pos >= n) {
    out.malformed = true;
    out.raw = text.substr(item_start);
    return n;
  }
  const char quote = text[pos];
  if (quote != '"' && quote != '\'') {
    out.malformed = true;
    const std::size_t value_start = pos;
    // A quote inside an unquoted value still opens a quoted run, as it did when the tag's ">"
    // was found, so that item boundaries here agree with the tag's extent.
    while (pos < n && !is_xml_blank(text[pos])) {
      if (text[pos] == '"' || text[pos] == '\'') {
        const std::size_t close = find_byte(text, text[pos], pos + 1);
        pos = close == std::string_view::npos ? n : close + 1;
      } else {
        ++pos;
      }
    }
    out.value = text.substr(value_start, pos - value_start);
    out.raw = text.substr(item_start, pos - item_start);
    return pos;
  }
  out.quote = quote;
  const std::size_t close = find_byte(text, quote, pos + 1);
  if (close == std::string_view::npos) {
    out.malformed = true;
    out.value = text.substr(pos + 1);
    out.raw = text.substr(item_start);
    return n;
  }
  out.value = text.substr(pos + 1, close - pos - 1);
  out.raw = text.substr(item_start, close + 1 - item_start);
  return close + 1;
}

// Reads the next attribute item at or after `pos`, blanks before it skipped, and moves `pos`
// past it; returns where the item starts, or npos (with `pos` at the end) when none is left.
[[gnu::always_inline]] inline std::size_t read_attribute_item(std::string_view text,
                                                              std::size_t& pos, XmlAttribute& out) {
  const std::size_t n = text.size();
  while (pos < n && is_xml_blank(text[pos])) ++pos;
  if (pos >= n) return std::string_view::npos;
  const std::size_t item_start = pos;
  pos = parse_attribute(text, pos, out);
  return item_start;
}

// Builds the event in the result's own storage: copying a freshly written event into the result
// costs more than reading the tag.
[[gnu::always_inline]] inline Result<XmlEvent> make_event(XmlEventKind kind, std::string_view raw,
                                                          std::string_view name,
                                                          std::string_view content,
                                                          std::size_t offset) {
  return Result<XmlEvent>(std::in_place, kind, raw, name, content, offset);
}

}  // namespace

std::optional<std::string_view> XmlAttributes::find(std::string_view name,
                                                    AttributeNaming naming) const {
  // The first well-read item of a name (or of a local name) repeats no earlier one, or that one
  // would have been found first: the search needs no record of the names it passes.
  std::size_t pos = 0;
  XmlAttribute item;
  while (read_attribute_item(text_, pos, item) != std::string_view::npos) {
    if (item.malformed || item.name.empty()) continue;
    if ((naming == AttributeNaming::Local ? item.local_name() : item.name) == name)
      return item.value;
  }
  return std::nullopt;
}

void XmlAttributes::iterator::advance() {
  const std::size_t item_start = read_attribute_item(text_, pos_, current_);
  if (item_start == std::string_view::npos) {
    done_ = true;
    return;
  }
  ++items_;
  if (current_.name.empty()) current_.malformed = true;
  if (current_.malformed) return;
  // A name already given earlier in the tag makes this item malformed; the earlier one stands.
  if (items_ <= kRecentNames) {
    for (std::size_t i = 0; i < recent_count_; ++i) {
      if (recent_[i] == current_.name) {
        current_.malformed = true;
        return;
      }
    }
    recent_[recent_count_++] = KeptName{current_.name.data(), current_.name.size()};
    return;
  }
  if (repeats_earlier_name(item_start)) current_.malformed = true;
}

bool XmlAttributes::iterator::repeats_earlier_name(std::size_t item_start) {
  // Few items: read the earlier ones again. Many: keep their names, read once.
  constexpr std::size_t kRereadItems = 32;
  if (items_ <= kRereadItems || !names_kept_) {
    std::size_t scan = 0;
    XmlAttribute earlier;
    bool repeated = false;
    const bool keep = items_ > kRereadItems;
    if (keep) names_.emplace();
    while (scan < item_start) {
      while (scan < item_start && is_xml_blank(text_[scan])) ++scan;
      if (scan >= item_start) break;
      scan = parse_attribute(text_, scan, earlier);
      if (earlier.malformed || earlier.name.empty()) continue;
      if (earlier.name == current_.name) repeated = true;
      if (keep)
        names_->insert(earlier.name);
      else if (repeated)
        return true;
    }
    if (!keep) return false;
    names_kept_ = true;
    if (repeated) return true;
  }
  return !names_->insert(current_.name).second;
}

XmlReader::XmlReader(std::string_view input, XmlReaderOptions options)
    : input_(input), options_(options) {
  open_.reserve(32);
}

PelvaneError XmlReader::fail_at(std::size_t offset, std::string_view what) {
  PelvaneError error = PelvaneError::xml(std::string(what) + " at byte " + std::to_string(offset));
  error_ = error;
  return error;
}

Result<XmlEvent> XmlReader::next() {
  // Most events are tags: those go straight to the markup reader.
  if (pos_ < input_.size() && input_[pos_] == '<' && !error_) return read_markup();
  return read_other();
}

Result<XmlEvent> XmlReader::read_other() {
  if (error_) return fail(*error_);
  const std::size_t n = input_.size();
  for (;;) {
    if (pos_ >= n) {
      return make_event(XmlEventKind::Eof, input_.substr(n), {}, {}, n);
    }
    const char c = input_[pos_];
    if (c == '<') return read_markup();
    if (c == '&') return read_reference();
    const std::size_t start = pos_;
    const std::size_t end =
        byte_scan::find_in_set(input_.data(), start, n, byte_scan::TwoBytes{'<', '&'});
    pos_ = end;
    std::string_view text(input_.data() + start, end - start);
    std::size_t offset = start;
    if (options_.trim_text) {
      std::string_view trimmed = trim_blanks(text);
      if (trimmed.empty()) continue;
      offset = start + static_cast<std::size_t>(trimmed.data() - text.data());
      text = trimmed;
    }
    return make_event(XmlEventKind::Text, text, {}, text, offset);
  }
}

Result<XmlEvent> XmlReader::read_reference() {
  const std::size_t start = pos_;
  const std::size_t n = input_.size();
  std::size_t p = start + 1;
  while (p < n && input_[p] != ';' && input_[p] != '<' && input_[p] != '&' &&
         !is_xml_blank(input_[p]) && input_[p] != '"' && input_[p] != '\'')
    ++p;
  if (p >= n || input_[p] != ';') return fail(fail_at(start, "unterminated reference"));
  std::string_view name = input_.substr(start + 1, p - start - 1);
  if (name.empty()) return fail(fail_at(start, "empty reference"));
  if (name[0] == '#' && !is_character_reference_syntax(name))
    return fail(fail_at(start, "malformed character reference &" + quoted_name(name) + ";"));
  pos_ = p + 1;
  return make_event(XmlEventKind::GeneralRef, input_.substr(start, pos_ - start), name, name,
                    start);
}

Result<XmlEvent> XmlReader::read_markup() {
  const std::size_t start = pos_;
  const std::size_t n = input_.size();
  const std::string_view rest = input_.substr(start);

  if (rest.size() < 2) return fail(fail_at(start, "unclosed tag"));
  const char second = rest[1];

  if (second == '/') {
    const char* const data = input_.data();
    std::size_t p = byte_scan::find_in_set(data, start + 2, n, EndTagNameStop{});
    const std::string_view name(data + start + 2, p - start - 2);
    while (p < n && is_xml_blank(input_[p])) ++p;
    if (p >= n) return fail(fail_at(start, "unclosed end tag"));
    if (input_[p] != '>') return fail(fail_at(start, "malformed end tag"));
    if (name.empty()) return fail(fail_at(start, "end tag without a name"));
    if (open_.empty())
      return fail(fail_at(start, "unexpected end tag </" + quoted_name(name) + ">"));
    if (open_.back() != name)
      return fail(fail_at(start, "mismatched end tag: expected </" + quoted_name(open_.back()) +
                                     ">, found </" + quoted_name(name) + ">"));
    open_.pop_back();
    pos_ = p + 1;
    return make_event(XmlEventKind::End, std::string_view(data + start, pos_ - start), name, {},
                      start);
  }

  if (second == '?') {
    const std::size_t close = input_.find("?>", start + 2);
    if (close == std::string_view::npos)
      return fail(fail_at(start, "unclosed processing instruction"));
    std::size_t p = start + 2;
    while (p < close && !is_xml_blank(input_[p])) ++p;
    std::string_view target = input_.substr(start + 2, p - start - 2);
    if (target.empty()) return fail(fail_at(start, "processing instruction without a target"));
    pos_ = close + 2;
    return make_event(
        target == "xml" ? XmlEventKind::Declaration : XmlEventKind::ProcessingInstruction,
        input_.substr(start, pos_ - start), target, input_.substr(p, close - p), start);
  }

  if (second == '!') {
    // A comment or a CDATA section: its content runs from its opening to the first closing
    // marker, which nothing can escape.
    const auto delimited = [&](XmlEventKind kind, std::string_view opening,
                               std::string_view closing,
                               std::string_view unclosed) -> Result<XmlEvent> {
      const std::size_t content = start + opening.size();
      const std::size_t close = input_.find(closing, content);
      if (close == std::string_view::npos) return fail(fail_at(start, unclosed));
      pos_ = close + closing.size();
      return make_event(kind, input_.substr(start, pos_ - start), {},
                        input_.substr(content, close - content), start);
    };
    if (rest.starts_with("<!--"))
      return delimited(XmlEventKind::Comment, "<!--", "-->", "unclosed comment");
    if (rest.starts_with("<![CDATA["))
      return delimited(XmlEventKind::CData, "<![CDATA[", "]]>", "unclosed CDATA section");
    if (rest.starts_with("<!DOCTYPE")) {
      // The internal subset may hold quoted literals, comments and declarations whose ">" does
      // not end the document type.
      std::size_t p = start + 9;
      int depth = 0;
      for (;;) {
        if (p >= n) return fail(fail_at(start, "unclosed document type"));
        const char c = input_[p];
        if (c == '"' || c == '\'') {
          const std::size_t close = find_byte(input_, c, p + 1);
          if (close == std::string_view::npos)
            return fail(fail_at(start, "unclosed document type"));
          p = close + 1;
        } else if (c == '<' && input_.substr(p).starts_with("<!--")) {
          const std::size_t close = input_.find("-->", p + 4);
          if (close == std::string_view::npos)
            return fail(fail_at(start, "unclosed document type"));
          p = close + 3;
        } else if (c == '[') {
          ++depth;
          ++p;
        } else if (c == ']') {
          if (depth > 0) --depth;
          ++p;
        } else if (c == '>' && depth == 0) {
          break;
        } else {
          ++p;
        }
      }
      pos_ = p + 1;
      return make_event(XmlEventKind::DocType, input_.substr(start, pos_ - start),
                        input_.substr(start + 2, 7), input_.substr(start + 9, p - start - 9),
                        start);
    }
    return fail(fail_at(start, "unknown markup"));
  }

  // Start or empty-element tag.
  const char* const data = input_.data();
  std::size_t p = byte_scan::find_in_set(data, start + 1, n, ElementNameStop{});
  if (p < n && (byte_class(data[p]) & kBadInName))
    return fail(fail_at(start, "invalid element name"));
  const std::size_t name_end = p;
  if (name_end == start + 1) return fail(fail_at(start, "invalid element name"));
  const std::size_t gt = find_tag_close(data, p, n);
  if (gt >= n)
    return fail(fail_at(
        start,
        "unclosed tag <" + quoted_name(input_.substr(start + 1, name_end - start - 1)) + ">"));
  const bool empty = input_[gt - 1] == '/' && gt - 1 >= name_end;
  const std::size_t attrs_end = empty ? gt - 1 : gt;
  if (input_[name_end] == '/' && name_end != attrs_end)
    return fail(fail_at(start, "malformed tag"));
  const std::string_view name(data + start + 1, name_end - start - 1);
  pos_ = gt + 1;
  if (!empty) open_.push_back(name);
  return make_event(empty ? XmlEventKind::Empty : XmlEventKind::Start,
                    std::string_view(data + start, pos_ - start), name,
                    std::string_view(data + name_end, attrs_end - name_end), start);
}

XmlStartTag XmlStartTag::from_event(const XmlEvent& event) {
  XmlStartTag tag(event.name);
  if (event.is_tag()) tag.attributes_.assign(event.content);
  return tag;
}

void XmlStartTag::push_attribute(std::string_view name, std::string_view value) {
  attributes_ += ' ';
  attributes_ += name;
  attributes_ += "=\"";
  append_escaped_xml(attributes_, value);
  attributes_ += '"';
}

void XmlStartTag::push_escaped_attribute(std::string_view name, std::string_view escaped_value) {
  attributes_ += ' ';
  attributes_ += name;
  attributes_ += "=\"";
  attributes_ += escaped_value;
  attributes_ += '"';
}

void XmlStartTag::push_source_attribute(const XmlAttribute& attribute) {
  attributes_ += ' ';
  attributes_ += attribute.name;
  attributes_ += "=\"";
  if (attribute.quote == '"') {
    attributes_ += attribute.value;
  } else {
    // A double quote may stand bare inside single quotes; inside double quotes it must not.
    for (char c : attribute.value) {
      if (c == '"')
        attributes_ += "&quot;";
      else
        attributes_ += c;
    }
  }
  attributes_ += '"';
}

void XmlWriter::write_event(const XmlEvent& event) {
  switch (event.kind) {
    case XmlEventKind::End: write_end_tag(event.name); return;
    case XmlEventKind::Eof: return;
    default: out_.append(event.raw); return;
  }
}

void XmlWriter::write_start(const XmlStartTag& tag) {
  out_ += '<';
  out_ += tag.name();
  out_ += tag.attributes_text();
  out_ += '>';
}

void XmlWriter::write_empty(const XmlStartTag& tag) {
  out_ += '<';
  out_ += tag.name();
  out_ += tag.attributes_text();
  out_ += "/>";
}

void XmlWriter::write_start_tag(std::string_view name) {
  out_ += '<';
  out_ += name;
  out_ += '>';
}

void XmlWriter::write_end_tag(std::string_view name) {
  out_ += "</";
  out_ += name;
  out_ += '>';
}

void XmlWriter::write_text(std::string_view text) { append_escaped_xml(out_, text); }

}  // namespace pelvane
