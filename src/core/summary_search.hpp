// Element searches of the summaries: the start-tag and element-end rules of the text splicing
// helpers, with the scanning done by `find_pattern` so that a search over a large part does not
// stop at every "<" it passes.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/byte_search.hpp"
#include "core/xml_splice.hpp"

namespace pelvane {

// Offset of the first `pattern` at or after `from`.
inline std::size_t find_bytes(std::string_view text, std::string_view pattern,
                              std::size_t from = 0) {
  return find_pattern(text, pattern, from);
}

// find_tag_start, begun at the first "<tag" at or after `from`: nothing before it can be a
// start tag of `tag`.
inline std::optional<std::size_t> find_start_tag_from(std::string_view text, std::size_t from,
                                                      std::string_view tag) {
  std::string opening;
  opening.reserve(tag.size() + 1);
  opening += '<';
  opening += tag;
  const std::size_t candidate = find_bytes(text, opening, from);
  if (candidate == std::string_view::npos) return std::nullopt;
  return find_tag_start(text, candidate, tag);
}

// find_element_end. Where no other "<tag" stands between the element's start tag and the first
// "</tag>" after it, nothing nests and that closing tag ends the element; otherwise, and for an
// element that closes itself, the shared rule decides.
inline std::optional<std::size_t> find_end_of_element(std::string_view text, std::size_t start,
                                                      std::string_view tag) {
  const std::size_t start_end = text.find('>', start);
  if (start_end == std::string_view::npos || text[start_end - 1] == '/') {
    return find_element_end(text, start, tag);
  }
  std::string closing;
  closing.reserve(tag.size() + 3);
  closing += "</";
  closing += tag;
  closing += '>';
  const std::size_t first_close = find_bytes(text, closing, start + 1 + tag.size());
  if (first_close == std::string_view::npos) return find_element_end(text, start, tag);
  std::string opening;
  opening.reserve(tag.size() + 1);
  opening += '<';
  opening += tag;
  if (find_bytes(text.substr(0, first_close), opening, start + 1) == std::string_view::npos) {
    return first_close + closing.size();
  }
  return find_element_end(text, start, tag);
}

}  // namespace pelvane
