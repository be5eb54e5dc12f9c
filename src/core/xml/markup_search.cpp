#include "core/xml/markup_search.hpp"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelvane {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool opens_opaque(const char* data, std::size_t n, std::size_t at) {
  return data[at] == '<' && at + 1 < n && (data[at + 1] == '!' || data[at + 1] == '?');
}

struct Hit {
  std::size_t at = npos;
  bool opaque = false;
};

// The first place at or after `from` where `pattern` starts or an opaque span opens ("<!" or
// "<?"); an empty pattern finds opaque spans only. Sixteen places are tested at once: for the
// pattern by its first and last byte, for a span by "<" and the byte after it; only the places
// that pass are looked at closely.
Hit next_pattern_or_opaque(std::string_view text, std::string_view pattern, std::size_t from) {
  const std::size_t n = text.size();
  const std::size_t m = pattern.size();
  const char* const data = text.data();
  std::size_t at = from;
#if defined(__SSE2__)
  const std::size_t reach = std::max<std::size_t>(m, 2) - 1;  // bytes read past each start
  const __m128i lts = _mm_set1_epi8('<');
  const __m128i bangs = _mm_set1_epi8('!');
  const __m128i questions = _mm_set1_epi8('?');
  const __m128i heads = _mm_set1_epi8(m > 0 ? pattern.front() : '<');
  const __m128i tails = _mm_set1_epi8(m > 0 ? pattern.back() : '<');
  for (; at + 16 + reach <= n; at += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    const __m128i opaque = _mm_and_si128(
        _mm_cmpeq_epi8(first, lts),
        _mm_or_si128(_mm_cmpeq_epi8(second, bangs), _mm_cmpeq_epi8(second, questions)));
    __m128i wanted = opaque;
    if (m > 0) {
      const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + m - 1));
      wanted = _mm_or_si128(
          wanted, _mm_and_si128(_mm_cmpeq_epi8(first, heads), _mm_cmpeq_epi8(last, tails)));
    }
    auto hits = static_cast<unsigned>(_mm_movemask_epi8(wanted));
    while (hits != 0) {
      const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(hits));
      if (opens_opaque(data, n, start)) return {start, true};
      if (std::memcmp(data + start, pattern.data(), m) == 0) return {start, false};
      hits &= hits - 1;
    }
  }
#endif
  for (; at < n; ++at) {
    if (opens_opaque(data, n, at)) return {at, true};
    if (m > 0 && at + m <= n && data[at] == pattern.front() &&
        std::memcmp(data + at, pattern.data(), m) == 0) {
      return {at, false};
    }
  }
  return {};
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
  for (std::size_t pos = from;;) {
    const Hit hit = next_pattern_or_opaque(text, pattern, pos);
    if (hit.at == npos || !hit.opaque) return hit.at;
    pos = opaque_end(text, hit.at);
    if (pos == npos) return npos;
  }
}

std::size_t rfind_in_markup(std::string_view text, std::string_view pattern, std::size_t from,
                            std::size_t to) {
  const std::string_view range = text.substr(0, std::min(to, text.size()));
  std::size_t last = npos;
  for (std::size_t at = find_in_markup(range, pattern, from); at != npos;
       at = find_in_markup(range, pattern, at + 1)) {
    last = at;
  }
  return last;
}

MarkupMap::MarkupMap(std::string_view text, std::size_t from, std::size_t to)
    : text_(text), from_(from) {
  const std::size_t end = std::min(to, text.size());
  for (std::size_t pos = from; pos < end;) {
    const Hit hit = next_pattern_or_opaque(text.substr(0, end), {}, pos);
    if (hit.at == npos) break;
    const std::size_t span_end = opaque_end(text, hit.at);
    spans_.emplace_back(hit.at, span_end == npos ? text.size() : span_end);
    pos = spans_.back().second;
  }
}

std::size_t MarkupMap::opaque_start(std::size_t pos) const {
  // The last span starting at or before `pos`.
  const auto after = std::upper_bound(
      spans_.begin(), spans_.end(), pos,
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
  for (const XmlAttribute& attribute : tag_attributes(tag)) {
    if (!attribute.malformed && attribute.name == name) return attribute.value;
  }
  return std::nullopt;
}

}  // namespace pelvane
