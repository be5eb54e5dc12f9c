#include "core/xml/markup_search.hpp"

#include <algorithm>

#include "core/base/byte_search.hpp"

namespace pelvane {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Offset of the first "<!" or "<?" that starts at or after `from` and before `to`; npos when
// there is none. Such places are rare, so the scan looks for their second byte and only then at
// the byte before it.
std::size_t next_opaque_start(std::string_view text, std::size_t from, std::size_t to) {
  const std::size_t n = text.size();
  const char* const data = text.data();
  const std::size_t stop = std::min(to, n == 0 ? 0 : n - 1) + 1;  // past the last second byte
  // `at` is where a second byte may stand.
  for (std::size_t at = from + 1; at < stop; ++at) {
    at = byte_scan::find_in_set(data, at, stop, byte_scan::TwoBytes{'!', '?'});
    if (at >= stop) break;
    if (data[at - 1] == '<') return at - 1;
  }
  return npos;
}

// Offset just past the opaque span opening at `at`; npos when it is not closed.
std::size_t opaque_end(std::string_view text, std::size_t at) {
  const std::string_view rest = text.substr(at);
  const auto past = [&](std::string_view close, std::size_t search_from) {
    const std::size_t found = text.find(close, at + search_from);
    return found == npos ? npos : found + close.size();
  };
  if (rest.starts_with("<?")) return past("?>", 2);
  if (rest.starts_with("<!--")) return past("-->", 4);
  if (rest.starts_with("<![CDATA[")) return past("]]>", 9);
  if (rest.starts_with("<!DOCTYPE")) {
    // The internal subset holds declarations, literals and comments of its own; the lexer
    // knows where the declaration ends.
    XmlReader reader(rest);
    const auto declaration = reader.next();
    return declaration ? at + declaration->raw.size() : npos;
  }
  return past(">", 2);
}

}  // namespace

std::size_t find_in_markup(std::string_view text, std::string_view pattern, std::size_t from) {
  if (from > text.size() || pattern.empty()) return npos;
  // The next occurrence, then the first opaque span before it: none, and the occurrence is in
  // markup; one, and the search goes on past that span. Each byte is read once by each search.
  std::size_t pos = from;
  std::size_t candidate = find_pattern(text, pattern, pos);
  while (candidate != npos) {
    const std::size_t opaque = next_opaque_start(text, pos, candidate + 1);
    if (opaque == npos) return candidate;
    pos = opaque_end(text, opaque);
    if (pos == npos) return npos;
    if (candidate < pos) candidate = find_pattern(text, pattern, pos);
  }
  return npos;
}

std::size_t rfind_in_markup(std::string_view text, std::string_view pattern, std::size_t from,
                            std::size_t to) {
  const std::size_t end = std::min(to, text.size());
  if (end < pattern.size()) return npos;
  return MarkupMap(text, from, end).rfind(pattern, end - pattern.size());
}

MarkupMap::MarkupMap(std::string_view text, std::size_t from, std::size_t to)
    : text_(text), from_(from) {
  const std::size_t end = std::min(to, text.size());
  for (std::size_t pos = from; pos < end;) {
    const std::size_t start = next_opaque_start(text, pos, end);
    if (start == npos) break;
    const std::size_t span_end = opaque_end(text, start);
    spans_.emplace_back(start, span_end == npos ? text.size() : span_end);
    pos = spans_.back().second;
  }
}

std::size_t MarkupMap::opaque_start(std::size_t pos) const {
  // The last span starting at or before `pos`.
  const auto after =
      std::upper_bound(spans_.begin(), spans_.end(), pos,
                       [](std::size_t offset, const std::pair<std::size_t, std::size_t>& span) {
                         return offset < span.first;
                       });
  if (after == spans_.begin()) return npos;
  const auto& span = *std::prev(after);
  return pos < span.second ? span.first : npos;
}

std::size_t MarkupMap::rfind(std::string_view pattern, std::size_t pos) const {
  if (pattern.empty()) return npos;
  std::size_t at = text_.rfind(pattern, pos);
  while (at != npos && at >= from_) {
    const std::size_t span = opaque_start(at);
    if (span == npos) return at;
    if (span == 0) return npos;
    at = text_.rfind(pattern, span - 1);
  }
  return npos;
}

std::size_t tag_end(std::string_view text, std::size_t lt) {
  const std::size_t n = text.size();
  for (std::size_t p = lt + 1; p < n; ++p) {
    const char c = text[p];
    if (c == '>') return p + 1;
    if (c == '<') return npos;
    if (c == '"' || c == '\'') {
      ++p;
      while (p < n && text[p] != c && text[p] != '<') ++p;
      if (p >= n || text[p] == '<') return npos;
    }
  }
  return npos;
}

bool tag_closes_itself(std::string_view text, std::size_t lt) {
  const std::size_t end = tag_end(text, lt);
  return end != npos && end - lt >= 3 && text[end - 2] == '/';
}

std::string_view tag_name(std::string_view tag) {
  if (tag.empty() || tag.front() != '<') return {};
  std::size_t end = 1;
  while (end < tag.size()) {
    const char c = tag[end];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>') break;
    ++end;
  }
  return tag.substr(1, end - 1);
}

XmlAttributes tag_attributes(std::string_view tag) {
  std::size_t begin = 1 + tag_name(tag).size();
  std::size_t end = tag.size();
  if (end > begin && tag[end - 1] == '>') --end;
  if (end > begin && tag[end - 1] == '/') --end;
  return XmlAttributes(tag.substr(std::min(begin, end), end - std::min(begin, end)));
}

std::optional<std::string_view> tag_attribute(std::string_view tag, std::string_view name) {
  return tag_attributes(tag).find(name);
}

}  // namespace pelvane
