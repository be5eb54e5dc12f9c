// Finding markup in XML text without parsing it: the one search that every text splice uses.
//
// A "<" stands for itself only inside comments, CDATA sections, processing instructions and the
// document type declaration; everywhere else it opens a tag, because attribute values cannot
// hold one. So a search for a tag's opening ("<p:spTree", "</Types>") needs to skip those
// constructs and nothing else: an occurrence outside them is real markup. A ">" or a quote may
// stand inside an attribute value, so a tag's end is found by stepping over quoted values.
//
// The constructs skipped are the "opaque" spans: "<!--" to "-->", "<![CDATA[" to "]]>", "<?" to
// "?>", a document type declaration with its internal subset, and any other "<!" up to its
// first ">". One that is not closed runs to the end of the text.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/xml/xml_events.hpp"

namespace pelvane {

// Offset of the first occurrence of `pattern` at or after `from` that lies outside every opaque
// span; npos when there is none. `pattern` is a tag's opening: "<" then a name or "/" (a bare
// "<" finds the next tag of any kind). `from` must itself lie outside the opaque spans: 0, or
// an offset at or after real markup that an earlier search returned.
std::size_t find_in_markup(std::string_view text, std::string_view pattern, std::size_t from = 0);

// Offset of the last occurrence of `pattern` in markup that starts at or after `from` and ends
// at or before `to`; npos when there is none. `from` as for `find_in_markup`.
std::size_t rfind_in_markup(std::string_view text, std::string_view pattern, std::size_t from = 0,
                            std::size_t to = std::string_view::npos);

// The opaque spans of [from, to), found once, for callers that search backward many times over
// one text. `from` as for `find_in_markup`.
class MarkupMap {
 public:
  MarkupMap(std::string_view text, std::size_t from = 0, std::size_t to = std::string_view::npos);

  // The start of the opaque span, starting in the mapped range, that holds `pos`; npos when
  // `pos` lies in markup.
  std::size_t opaque_start(std::size_t pos) const;
  bool in_markup(std::size_t pos) const { return opaque_start(pos) == std::string_view::npos; }
  // The last occurrence of `pattern` in markup that starts at or after the mapped range's
  // start and at or before `pos`; npos when there is none.
  std::size_t rfind(std::string_view pattern, std::size_t pos) const;

 private:
  std::string_view text_;
  std::size_t from_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // [start, end), in order
};

// Offset just past the ">" that ends the tag whose "<" is at `lt`, quoted attribute values
// stepped over whole; npos when the tag is not closed: the text ends, or a "<" comes first (it
// cannot stand in a tag, so the tag is broken; stopping there keeps a walk over many broken
// tags linear).
std::size_t tag_end(std::string_view text, std::size_t lt);

// True when the tag at `lt` is closed and ends with "/>".
bool tag_closes_itself(std::string_view text, std::size_t lt);

// The qualified name of one tag's text (from its "<"), up to white space, "/" or ">".
std::string_view tag_name(std::string_view tag);

// The attributes of one tag's text, from its "<" through its ">".
XmlAttributes tag_attributes(std::string_view tag);

// The raw value (references left as written) of the attribute named exactly `name`, prefix
// included, of one tag's text; either quote. None when the tag has no well-formed attribute of
// that name: "xid" is not "id", and a value that merely holds `id="1"` is no attribute.
std::optional<std::string_view> tag_attribute(std::string_view tag, std::string_view name);

}  // namespace pelvane
