// Searching and changing XML by its text, without parsing it.
//
// Element names are qualified names exactly as written in the part ("p:sp", "a:xfrm"); matching
// is byte-exact. A start tag counts only when its name is followed by white space, "/" or ">",
// so a search for "a:p" does not stop at "a:pPr". Tags and end tags are found only in markup:
// what stands in comments, CDATA sections and processing instructions is passed over, and a
// tag ends at its ">" after any quoted attribute values (markup_search.hpp). Offsets are byte
// offsets into the text given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// Offset of the "<" of the first start tag of `tag` at or after `from`.
std::optional<std::size_t> find_tag_start(std::string_view text, std::size_t from,
                                          std::string_view tag);

// True when a start tag of `tag` begins at `offset`: "<tag" followed by white space, "/" or ">".
bool is_start_tag_at(std::string_view text, std::size_t offset, std::string_view tag);

// Offset just after the end tag that closes the element whose start tag begins at `start`.
// Nested elements of the same name are counted; nested ones written "<tag .../>" do not nest.
// An element that closes itself ends just after its own "/>". None when it is not closed.
// An end tag counts only when written exactly "</tag>".
std::optional<std::size_t> find_element_end(std::string_view text, std::size_t start,
                                            std::string_view tag);

// The first start tag of `tag` at or after `from`, from its "<" through its ">", as a slice of
// text; none when there is none or it is not closed.
std::optional<std::string_view> start_tag_from(std::string_view text, std::size_t from,
                                               std::string_view tag);

// Calls `visit` with each start tag of `tag` in document order, as `start_tag_from` gives them,
// up to the first one that is not closed.
template <class Visit>
void for_each_start_tag(std::string_view text, std::string_view tag, Visit&& visit) {
  std::size_t position = 0;
  while (const auto found = start_tag_from(text, position, tag)) {
    position = static_cast<std::size_t>(found->data() - text.data()) + found->size();
    visit(*found);
  }
}

// The first start tag of `tag`, from its "<" through its ">", as a slice of text.
std::optional<std::string_view> element_start_tag(std::string_view text, std::string_view tag);

// The text with the first element `tag` replaced by `replacement`. The element is found by a
// search for "<tag" (no test of what follows the name) and ends with its start tag when that
// closes itself, otherwise after the first following "</tag>" (no nesting). Anything missing:
// an unchanged copy.
std::string replace_element(std::string_view text, std::string_view tag,
                            std::string_view replacement);

// `text` with the `erase` bytes at `at` replaced by `insertion`, built once at its final size.
std::string splice_text(std::string_view text, std::size_t at, std::size_t erase,
                        std::string_view insertion);

// `text` with `fragment` inserted just before the last occurrence of `marker` in markup; none
// when the marker does not occur there.
std::optional<std::string> insert_before_last(std::string_view text, std::string_view marker,
                                              std::string_view fragment);

// The part's bytes decoded as UTF-8 (invalid sequences become U+FFFD), with `fragment` inserted
// before the last occurrence of `marker`. Without the marker: XmlTextDecode
// "expected closing marker {marker}".
Result<std::string> insert_before(std::string_view bytes, std::string_view marker,
                                  std::string_view fragment);

// `text` with `fragment` as the last content of the element `tag`: before the last "</tag>" in
// markup or, when the element is written as one self-closing tag "<tag .../>", inside it, the
// tag opened up as "<tag ...>" fragment "</tag>". None when neither is there.
std::optional<std::string> insert_at_element_end(std::string_view text, std::string_view tag,
                                                 std::string_view fragment);

// The part's bytes decoded as UTF-8 (invalid sequences become U+FFFD), with `fragment` placed by
// `insert_at_element_end`. Without the element's end: XmlTextDecode
// "expected closing marker </{tag}>".
Result<std::string> insert_at_element_end_of_part(std::string_view bytes, std::string_view tag,
                                                  std::string_view fragment);

// The raw value of the first `name="..."` in the text: a text search, nothing before the name is
// tested (so "x" also matches the tail of "cx"), references left as written. Pass one start tag.
std::optional<std::string_view> attribute_value_view(std::string_view text, std::string_view name);
std::optional<std::string> attribute_value(std::string_view text, std::string_view name);

// `attribute_value` as a signed 64-bit decimal ("+" or "-" then digits, nothing else); 0 when
// absent, malformed or out of range.
std::int64_t attribute_i64(std::string_view text, std::string_view name);

}  // namespace pelvane
