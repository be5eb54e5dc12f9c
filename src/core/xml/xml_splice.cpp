#include "core/xml/xml_splice.hpp"

#include <charconv>
#include <cstring>
#include <limits>

#include "core/base/buffer_shelf.hpp"
#include "core/base/decimal.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// True when a tag name ends at `pos`: "/", ">" or a Unicode white space character follows.
bool follows_name(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return false;
  const char c = text[pos];
  if (c == '/' || c == '>') return true;
  const auto character = decode_code_point(text, pos);
  return character && is_unicode_white_space(character->code_point);
}

}  // namespace

bool is_start_tag_at(std::string_view text, std::size_t offset, std::string_view tag) {
  return offset < text.size() && text[offset] == '<' &&
         text.compare(offset + 1, tag.size(), tag) == 0 &&
         follows_name(text, offset + 1 + tag.size());
}

std::optional<std::size_t> find_tag_start(std::string_view text, std::size_t from,
                                          std::string_view tag) {
  if (from > text.size()) return std::nullopt;
  // A start tag is "<tag" followed by a name end; only the places holding "<tag" in markup can
  // be one.
  std::string opening;
  opening.reserve(tag.size() + 1);
  opening += '<';
  opening += tag;
  for (std::size_t lt = find_in_markup(text, opening, from); lt != npos;
       lt = find_in_markup(text, opening, lt + 1)) {
    if (follows_name(text, lt + opening.size())) return lt;
  }
  return std::nullopt;
}

std::optional<std::size_t> find_element_end(std::string_view text, std::size_t start,
                                            std::string_view tag) {
  if (start >= text.size()) return std::nullopt;
  // An element written "<tag .../>" ends with its own start tag.
  if (is_start_tag_at(text, start, tag) && tag_closes_itself(text, start))
    return tag_end(text, start);

  std::string closing;
  closing.reserve(tag.size() + 3);
  closing += "</";
  closing += tag;
  closing += '>';

  // The next end tag is kept until `pos` passes it, and start tags are looked for only before
  // it: `pos` only grows, so every byte is searched once however deeply the elements nest, and
  // nothing past the element's end tag is searched at all.
  std::size_t pos = start + 1 + tag.size();
  std::size_t depth = 1;
  std::size_t next_close = find_in_markup(text, closing, pos);
  for (;;) {
    if (next_close != npos && next_close < pos) next_close = find_in_markup(text, closing, pos);
    const auto next_open = find_tag_start(text.substr(0, next_close), pos, tag);
    if (!next_open) {
      if (next_close == npos) return std::nullopt;
      pos = next_close + closing.size();
      if (--depth == 0) return pos;
      continue;
    }
    if (!tag_closes_itself(text, *next_open)) ++depth;
    pos = *next_open + 1 + tag.size();
  }
}

std::optional<std::string_view> start_tag_from(std::string_view text, std::size_t from,
                                               std::string_view tag) {
  const auto start = find_tag_start(text, from, tag);
  if (!start) return std::nullopt;
  const std::size_t end = tag_end(text, *start);
  if (end == npos) return std::nullopt;
  return text.substr(*start, end - *start);
}

std::optional<std::string_view> element_start_tag(std::string_view text, std::string_view tag) {
  return start_tag_from(text, 0, tag);
}

std::string replace_element(std::string_view text, std::string_view tag,
                            std::string_view replacement) {
  std::string opening;
  opening.reserve(tag.size() + 1);
  opening += '<';
  opening += tag;
  const std::size_t start = find_in_markup(text, opening);
  if (start == npos) return std::string(text);
  const std::size_t tag_close = tag_end(text, start);
  if (tag_close == npos) return std::string(text);
  std::size_t end;
  if (text[tag_close - 2] == '/') {
    end = tag_close;
  } else {
    std::string closing = "</";
    closing += tag;
    closing += '>';
    const std::size_t close = find_in_markup(text, closing, tag_close);
    if (close == npos) return std::string(text);
    end = close + closing.size();
  }
  return splice_text(text, start, end - start, replacement);
}

std::string splice_text(std::string_view text, std::size_t at, std::size_t erase,
                        std::string_view insertion) {
  std::string out = WrittenTextShelf::take(text.size() - erase + insertion.size());
  out.append(text.substr(0, at));
  out.append(insertion);
  out.append(text.substr(at + erase));
  return out;
}

std::optional<std::string> insert_before_last(std::string_view text, std::string_view marker,
                                              std::string_view fragment) {
  const std::size_t at = rfind_in_markup(text, marker);
  if (at == npos) return std::nullopt;
  return splice_text(text, at, 0, fragment);
}

namespace {

PelvaneError missing_marker(std::string_view marker) {
  return PelvaneError::xml_text_decode("expected closing marker " + std::string(marker));
}

}  // namespace

Result<std::string> insert_before(std::string_view bytes, std::string_view marker,
                                  std::string_view fragment) {
  std::string decoded;
  auto text = insert_before_last(utf8_lossy_view(bytes, decoded), marker, fragment);
  if (!text) return fail(missing_marker(marker));
  return std::move(*text);
}

std::optional<std::string> insert_at_element_end(std::string_view text, std::string_view tag,
                                                 std::string_view fragment) {
  std::string closing = "</";
  closing += tag;
  closing += '>';
  if (auto inserted = insert_before_last(text, closing, fragment)) return inserted;
  // An element without content may be written as one tag: it is opened up to hold the fragment.
  const auto start = find_tag_start(text, 0, tag);
  if (!start || !tag_closes_itself(text, *start)) return std::nullopt;
  const std::size_t end = tag_end(text, *start);
  std::string opened = ">";
  opened += fragment;
  opened += closing;
  return splice_text(text, end - 2, 2, opened);
}

Result<std::string> insert_at_element_end_of_part(std::string_view bytes, std::string_view tag,
                                                  std::string_view fragment) {
  std::string decoded;
  auto text = insert_at_element_end(utf8_lossy_view(bytes, decoded), tag, fragment);
  if (!text) return fail(missing_marker("</" + std::string(tag) + ">"));
  return std::move(*text);
}

std::optional<std::string_view> attribute_value_view(std::string_view text, std::string_view name) {
  std::string pattern;
  pattern.reserve(name.size() + 2);
  pattern += name;
  pattern += "=\"";
  const std::size_t at = text.find(pattern);
  if (at == npos) return std::nullopt;
  const std::size_t value_start = at + pattern.size();
  const std::size_t close = text.find('"', value_start);
  if (close == npos) return std::nullopt;
  return text.substr(value_start, close - value_start);
}

std::optional<std::string> attribute_value(std::string_view text, std::string_view name) {
  auto value = attribute_value_view(text, name);
  if (!value) return std::nullopt;
  return std::string(*value);
}

std::int64_t attribute_i64(std::string_view text, std::string_view name) {
  const auto value = attribute_value_view(text, name);
  if (!value) return 0;
  return parse_i64(*value).value_or(0);
}

}  // namespace pelvane
