// Substring search for markup patterns over large parts.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelvane {

// Offset of the last `byte` in `text`, or npos: the last slash of a part name, searched for a
// word at a time where names are taken apart by the thousand.
inline std::size_t find_last_byte(std::string_view text, char byte) {
  if (text.empty()) return std::string_view::npos;  // an empty view may have no data at all
  const void* hit = ::memrchr(text.data(), static_cast<unsigned char>(byte), text.size());
  return hit == nullptr ? std::string_view::npos
                        : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// Offset of the first `pattern` at or after `from`, or npos (also for `from` past the end); an
// empty pattern is found at `from`.
//
// Markup patterns ("</p:sp>", "<a:tbl") begin with "<", which stands every few bytes in XML, so
// a search led by the first byte stops all the time. Here sixteen places are tested at once for
// the pattern's first byte and, at the right distance, its last byte; only places holding both
// are compared whole.
inline std::size_t find_pattern(std::string_view text, std::string_view pattern,
                                std::size_t from = 0) {
  constexpr std::size_t npos = std::string_view::npos;
  const std::size_t n = text.size();
  const std::size_t m = pattern.size();
  if (from > n) return npos;
  if (m == 0) return from;
  if (n - from < m) return npos;
  const char* const data = text.data();
  if (m == 1) {
    const void* hit =
        std::memchr(data + from, static_cast<unsigned char>(pattern.front()), n - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
  }
  const char head = pattern.front();
  const char tail = pattern.back();
  const std::size_t last_start = n - m;
  std::size_t at = from;
#if defined(__SSE2__)
  const __m128i heads = _mm_set1_epi8(head);
  const __m128i tails = _mm_set1_epi8(tail);
  // Sixteen starts at a time while the tail bytes of all sixteen lie inside the text.
  for (; at + 16 <= last_start + 1; at += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + m - 1));
    auto hits = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(first, heads), _mm_cmpeq_epi8(last, tails))));
    while (hits != 0) {
      const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(hits));
      if (m <= 2 || std::memcmp(data + start + 1, pattern.data() + 1, m - 2) == 0) return start;
      hits &= hits - 1;
    }
  }
#endif
  for (; at <= last_start; ++at) {
    if (data[at] == head && data[at + m - 1] == tail &&
        std::memcmp(data + at, pattern.data(), m) == 0) {
      return at;
    }
  }
  return npos;
}

}  // namespace pelvane
