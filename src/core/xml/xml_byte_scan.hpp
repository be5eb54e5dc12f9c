// Finding the next byte of a small set in XML text, sixteen bytes at a time: the pull lexer's
// scans for a tag's end, a closing quote, the end of a name and the end of character data, and
// the look at a value for a reference or a byte past ASCII.
//
// A set is told twice: as a test of one byte, and as a test of sixteen bytes at once that may
// also flag bytes outside the set, which are then tested one by one. Blocks are read only inside
// the range: the last one of a range of at least sixteen bytes ends at the range's end and is
// shifted past the bytes already seen, and a shorter range is read a byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelvane::xml_scan {

// The bytes XML counts as blanks: space, tab, carriage return and line feed.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

#if defined(__SSE2__)
using Block = __m128i;

inline unsigned bytes_equal(Block bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// Bytes at most `c`, unsigned: such a byte is its own minimum with `c`.
inline unsigned bytes_at_most(Block bytes, char c) {
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(c)), bytes)));
}

// The sixteen bytes from `at` as far as `end` (at least sixteen bytes from `data`), and how far
// their bits are to be shifted down so that bit 0 stands for `at`: near the end the block is
// read at `end - 16`, and its bits past `end` are never set.
struct Window {
  Block bytes;
  unsigned shift;
};

inline Window window_at(const char* data, std::size_t at, std::size_t end) {
  if (at + 16 <= end) return {_mm_loadu_si128(reinterpret_cast<const Block*>(data + at)), 0};
  return {_mm_loadu_si128(reinterpret_cast<const Block*>(data + end - 16)),
          static_cast<unsigned>(at - (end - 16))};
}

// The bits above `bit`.
inline unsigned bits_above(unsigned bit) { return ~1u << bit; }
#endif

// Offset of the first byte at or after `from`, before `end`, that `set` holds; `end` when none.
// `set` has `bool holds(char)` and, with SSE2, `unsigned candidates(Block)`: a bit for every
// byte of the block that may be held (never fewer than those that are).
template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set(const char* data, std::size_t from,
                                                      std::size_t end, const Set& set) {
#if defined(__SSE2__)
  if (end >= 16) {
    std::size_t at = from;
    const auto first_held = [&](unsigned hits) {
      for (; hits != 0; hits &= hits - 1) {
        const std::size_t found = at + static_cast<std::size_t>(__builtin_ctz(hits));
        if (Set::kExact || set.holds(data[found])) return found;
      }
      return end;
    };
    for (; at + 16 <= end; at += 16) {
      const unsigned hits =
          set.candidates(_mm_loadu_si128(reinterpret_cast<const Block*>(data + at)));
      if (hits != 0) {
        const std::size_t found = first_held(hits);
        if (found != end) return found;
      }
    }
    if (at >= end) return end;
    const Window window = window_at(data, at, end);
    return first_held(set.candidates(window.bytes) >> window.shift);
  }
#endif
  while (from < end && !set.holds(data[from])) ++from;
  return from;
}

// One given byte.
struct OneByte {
  static constexpr bool kExact = true;
  char byte;
  bool holds(char c) const { return c == byte; }
#if defined(__SSE2__)
  unsigned candidates(Block bytes) const { return bytes_equal(bytes, byte); }
#endif
};

// Either of two given bytes.
struct TwoBytes {
  static constexpr bool kExact = true;
  char first;
  char second;
  bool holds(char c) const { return c == first || c == second; }
#if defined(__SSE2__)
  unsigned candidates(Block bytes) const {
    return bytes_equal(bytes, first) | bytes_equal(bytes, second);
  }
#endif
};

// A "&" or a byte of a multi-byte UTF-8 sequence: a value holding neither is itself, unescaped.
struct AmpersandOrNonAscii {
  static constexpr bool kExact = true;
  bool holds(char c) const { return c == '&' || static_cast<unsigned char>(c) >= 0x80; }
#if defined(__SSE2__)
  unsigned candidates(Block bytes) const {
    return bytes_equal(bytes, '&') | static_cast<unsigned>(_mm_movemask_epi8(bytes));
  }
#endif
};

// True when the text holds neither: ASCII without a reference, its own value.
inline bool is_plain_ascii(std::string_view text) {
  return find_in_set(text.data(), 0, text.size(), AmpersandOrNonAscii{}) == text.size();
}

}  // namespace pelvane::xml_scan
