// Searching and changing XML by its text, without parsing it.
//
// Element names are qualified names exactly as written in the part ("p:sp", "a:xfrm"); matching
// is byte-exact. A start tag counts only when its name is followed by white space, "/" or ">",
// so a search for "a:p" does not stop at "a:pPr". Offsets are byte offsets into the text given.
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

// The first start tag of `tag`, from its "<" through the first following ">", as a slice of text.
std::optional<std::string_view> element_start_tag(std::string_view text, std::string_view tag);

// The text with the first element `tag` replaced by `replacement`. The element is found by plain
// search for "<tag" and ends with its start tag when that closes itself, otherwise after the
// first following "</tag>" (no nesting). Anything missing: an unchanged copy.
std::string replace_element(std::string_view text, std::string_view tag,
                            std::string_view replacement);

// `text` with the `erase` bytes at `at` replaced by `insertion`, built once at its final size.
std::string splice_text(std::string_view text, std::size_t at, std::size_t erase,
                        std::string_view insertion);

// `text` with `fragment` inserted just before the last occurrence of `marker`; none when the
// marker does not occur.
std::optional<std::string> insert_before_last(std::string_view text, std::string_view marker,
                                              std::string_view fragment);

// The part's bytes decoded as UTF-8 (invalid sequences become U+FFFD), with `fragment` inserted
// before the last occurrence of `marker`. Without the marker: XmlTextDecode
// "expected closing marker {marker}".
Result<std::string> insert_before(std::string_view bytes, std::string_view marker,
                                  std::string_view fragment);

// The raw value of the first `name="..."` in the text: plain search, nothing before the name is
// tested (so "x" also matches the tail of "cx"), references left as written. Pass one start tag.
std::optional<std::string_view> attribute_value_view(std::string_view text, std::string_view name);
std::optional<std::string> attribute_value(std::string_view text, std::string_view name);
std::optional<std::string> extract_string_attribute(std::string_view text, std::string_view name);

// `attribute_value` as a signed 64-bit decimal ("+" or "-" then digits, nothing else); 0 when
// absent, malformed or out of range.
std::int64_t attribute_i64(std::string_view text, std::string_view name);

}  // namespace pelvane
