// Byte scans of texts: the last of one byte, the first place of a pattern, and the first byte of
// a named set. This file and zip/crc32.cpp are the only ones that spell a processor's vector
// instructions; the tag reader's reads of one block (xml/xml_events.cpp) go through `Block` and
// its byte tests below, and exist only where blocks are built.
//
// A scan has up to three forms, each callable by name, and a selector that picks the fastest
// one the build has:
// - `..._bytes`: one byte at a time, the scalar form every build has, and the reference;
// - `..._words`: eight bytes at a time in a 64-bit word, for sets that say how to test a word;
//   no intrinsics, so portable builds keep it;
// - `..._blocks`: sixteen bytes at a time with SSE2, only where the processor has it and the
//   build is not portable (`PELVANE_PORTABLE`, which leaves the other forms alone).
// The tests run every form the build has against every offset and length.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

#if defined(__SSE2__) && !defined(PELVANE_PORTABLE)
#include <emmintrin.h>
#define PELVANE_BYTE_BLOCKS 1
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

namespace byte_scan {

// The bits of a block's (or a word's) mask above `bit`.
inline unsigned bits_above(unsigned bit) { return ~1u << bit; }

// Words: a 64-bit word of eight bytes, with the high bit of each byte standing for that byte.
// A test of a word may flag bytes above the first flagged one that do not hold (a borrow runs
// on), never miss one that does; flagged words are then read byte by byte.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;

inline std::uint64_t load_word(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Bytes below `limit` (at most 0x80), unsigned.
constexpr std::uint64_t word_bytes_below(std::uint64_t word, unsigned char limit) {
  return (word - kOnes * limit) & ~word & kHighs;
}

constexpr std::uint64_t word_bytes_equal(std::uint64_t word, char c) {
  return word_bytes_below(word ^ (kOnes * static_cast<unsigned char>(c)), 1);
}

#if defined(PELVANE_BYTE_BLOCKS)
// Blocks: sixteen bytes in an SSE2 register, tested at once into a mask of sixteen bits, bit i
// for byte i.
using Block = __m128i;

inline Block load_block(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const Block*>(at));
}

inline unsigned block_bytes_equal(Block bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// Bytes at most `c`, unsigned: such a byte is its own minimum with `c`.
inline unsigned block_bytes_at_most(Block bytes, char c) {
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(c)), bytes)));
}

// Bytes whose bits under `mask` are those of `value`.
inline unsigned block_bytes_masked_equal(Block bytes, char mask, char value) {
  return static_cast<unsigned>(_mm_movemask_epi8(
      _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(mask)), _mm_set1_epi8(value))));
}

// Bytes from 0x80 on.
inline unsigned block_bytes_high(Block bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}

// The sixteen bytes from `at` as far as `end` (at least sixteen bytes from `data`), and how far
// their bits are to be shifted down so that bit 0 stands for `at`: near the end the block is
// read at `end - 16`, and its bits past `end` are never set.
struct Window {
  Block bytes;
  unsigned shift;
};

inline Window window_at(const char* data, std::size_t at, std::size_t end) {
  if (at + 16 <= end) return {load_block(data + at), 0};
  return {load_block(data + end - 16), static_cast<unsigned>(at - (end - 16))};
}
#endif

// A byte set has `bool holds(char)`, the exact test of one byte. Where blocks are built it has
// `unsigned candidates(Block)`, a bit for every byte of the block that may be held (never fewer
// than those that are), and `kExact`, true when that test flags no byte outside the set. It may
// have `std::uint64_t word_candidates(std::uint64_t)`, the same for a word (a high bit per
// byte).
template <class Set>
concept WordTestedSet = requires(const Set& set, std::uint64_t word) {
  { set.word_candidates(word) } -> std::same_as<std::uint64_t>;
};

// Offset of the first byte at or after `from` (at most `end`), before `end`, that `set` holds;
// `end` when none.
template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set_bytes(const char* data, std::size_t from,
                                                            std::size_t end, const Set& set) {
  while (from < end && !set.holds(data[from])) ++from;
  return from;
}

template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set_words(const char* data, std::size_t from,
                                                            std::size_t end, const Set& set) {
  if constexpr (WordTestedSet<Set>) {
    for (; from + 8 <= end; from += 8) {
      if (set.word_candidates(load_word(data + from)) == 0) continue;
      const std::size_t found = find_in_set_bytes(data, from, from + 8, set);
      if (found < from + 8) return found;
    }
  }
  return find_in_set_bytes(data, from, end, set);
}

#if defined(PELVANE_BYTE_BLOCKS)
// Blocks are read only inside the range: the last one of a range of at least sixteen bytes ends
// at the range's end and is shifted past the bytes already seen; a shorter range is read in
// words or bytes.
template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set_blocks(const char* data, std::size_t from,
                                                             std::size_t end, const Set& set) {
  if (end < 16) return find_in_set_words(data, from, end, set);
  std::size_t at = from;
  const auto first_held = [&](unsigned hits) {
    for (; hits != 0; hits &= hits - 1) {
      const std::size_t found = at + static_cast<std::size_t>(__builtin_ctz(hits));
      if (Set::kExact || set.holds(data[found])) return found;
    }
    return end;
  };
  for (; at + 16 <= end; at += 16) {
    const unsigned hits = set.candidates(load_block(data + at));
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

// The fastest form the build has.
template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set(const char* data, std::size_t from,
                                                      std::size_t end, const Set& set) {
#if defined(PELVANE_BYTE_BLOCKS)
  return find_in_set_blocks(data, from, end, set);
#else
  return find_in_set_words(data, from, end, set);
#endif
}

// The same over a whole text: the offset of the first byte `set` holds, or the text's size.
template <class Set>
[[gnu::always_inline]] inline std::size_t find_in_set(std::string_view text, const Set& set) {
  return find_in_set(text.data(), 0, text.size(), set);
}

// The sets.

// One given byte.
struct OneByte {
  char byte;
  bool holds(char c) const { return c == byte; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const { return block_bytes_equal(bytes, byte); }
#endif
};

// Either of two given bytes.
struct TwoBytes {
  char first;
  char second;
  bool holds(char c) const { return c == first || c == second; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const {
    return block_bytes_equal(bytes, first) | block_bytes_equal(bytes, second);
  }
#endif
};

// A byte from 0x80 on: the end of the ASCII that a text starts with.
struct NonAscii {
  bool holds(char c) const { return static_cast<unsigned char>(c) >= 0x80; }
  std::uint64_t word_candidates(std::uint64_t word) const { return word & kHighs; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const { return block_bytes_high(bytes); }
#endif
};

// A control byte (below 0x20) or a byte from 0x80 on: a text holding neither is printable
// ASCII, DEL aside.
struct ControlOrNonAscii {
  bool holds(char c) const {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte >= 0x80;
  }
  // A high bit in `word - 0x20 * kOnes` and not in `word` shows a byte below 0x20.
  std::uint64_t word_candidates(std::uint64_t word) const {
    return (word | (word - 0x20 * kOnes)) & kHighs;
  }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const {
    return block_bytes_at_most(bytes, 0x1F) | block_bytes_high(bytes);
  }
#endif
};

// A "&" or a byte of a multi-byte UTF-8 sequence: an XML value holding neither is itself,
// unescaped.
struct AmpersandOrNonAscii {
  bool holds(char c) const { return c == '&' || static_cast<unsigned char>(c) >= 0x80; }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const {
    return block_bytes_equal(bytes, '&') | block_bytes_high(bytes);
  }
#endif
};

// A double quote, a backslash or a control byte: the bytes a JSON string escapes.
struct QuoteBackslashOrControl {
  bool holds(char c) const { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }
  std::uint64_t word_candidates(std::uint64_t word) const {
    return word_bytes_below(word, 0x20) | word_bytes_equal(word, '"') |
           word_bytes_equal(word, '\\');
  }
#if defined(PELVANE_BYTE_BLOCKS)
  static constexpr bool kExact = true;
  unsigned candidates(Block bytes) const {
    return block_bytes_at_most(bytes, 0x1F) | block_bytes_equal(bytes, '"') |
           block_bytes_equal(bytes, '\\');
  }
#endif
};

}  // namespace byte_scan

namespace byte_scan {

// The pattern search's templates are declared inline: GCC weighs the keyword when it decides
// what to inline, and without it the markup searches would call the search out of line.

// Every place: the plain search asks nothing more of a place where the pattern stands.
struct AnyPlace {
  constexpr bool operator()(std::size_t) const { return true; }
};

// The answer when no scan is needed: `from` past the end, an empty pattern, a text too short,
// or, for the plain search, a pattern of one byte (for `memchr`).
template <class Accept>
inline std::optional<std::size_t> settled_pattern_search(std::string_view text,
                                                         std::string_view pattern,
                                                         std::size_t from) {
  constexpr std::size_t npos = std::string_view::npos;
  const std::size_t n = text.size();
  if (from > n) return npos;
  if (pattern.empty()) return from;
  if (n - from < pattern.size()) return npos;
  if (pattern.size() > 1 || !std::is_same_v<Accept, AnyPlace>) return std::nullopt;
  const void* hit =
      std::memchr(text.data() + from, static_cast<unsigned char>(pattern.front()), n - from);
  return hit == nullptr ? npos
                        : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// The places from `at` on, one at a time (the search's own checks done).
template <class Accept>
inline std::size_t scan_pattern_bytes(std::string_view text, std::string_view pattern,
                                      std::size_t at, const Accept& accept) {
  const char* const data = text.data();
  const std::size_t m = pattern.size();
  for (; at <= text.size() - m; ++at) {
    if (data[at] == pattern.front() && data[at + m - 1] == pattern.back() &&
        std::memcmp(data + at, pattern.data(), m) == 0 && accept(at)) {
      return at;
    }
  }
  return std::string_view::npos;
}

template <class Accept = AnyPlace>
inline std::size_t find_pattern_bytes(std::string_view text, std::string_view pattern,
                                      std::size_t from = 0, const Accept& accept = {}) {
  if (const auto settled = settled_pattern_search<Accept>(text, pattern, from)) return *settled;
  return scan_pattern_bytes(text, pattern, from, accept);
}

#if defined(PELVANE_BYTE_BLOCKS)
template <class Accept = AnyPlace>
inline std::size_t find_pattern_blocks(std::string_view text, std::string_view pattern,
                                       std::size_t from = 0, const Accept& accept = {}) {
  if (const auto settled = settled_pattern_search<Accept>(text, pattern, from)) return *settled;
  const char* const data = text.data();
  const std::size_t m = pattern.size();
  const std::size_t last_start = text.size() - m;
  std::size_t at = from;
  const Block heads = _mm_set1_epi8(pattern.front());
  const Block tails = _mm_set1_epi8(pattern.back());
  // Sixteen starts at a time while the tail bytes of all sixteen lie inside the text.
  for (; at + 16 <= last_start + 1; at += 16) {
    const Block first = load_block(data + at);
    const Block last = load_block(data + at + m - 1);
    auto hits = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(first, heads), _mm_cmpeq_epi8(last, tails))));
    while (hits != 0) {
      const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(hits));
      if ((m <= 2 || std::memcmp(data + start + 1, pattern.data() + 1, m - 2) == 0) &&
          accept(start))
        return start;
      hits &= hits - 1;
    }
  }
  return scan_pattern_bytes(text, pattern, at, accept);
}
#endif

}  // namespace byte_scan

// Offset of the first `pattern` at or after `from` for which `accept(offset)` holds, or npos
// (also for `from` past the end); an empty pattern is found at `from`, unasked. `accept` (by
// default, every place) lets one search pass over the places a caller refuses, where a pattern
// may stand every few bytes and a search started again after each would cost a call apiece.
//
// Markup patterns ("</p:sp>", "<a:tbl") begin with "<", which stands every few bytes in XML, so
// a search led by the first byte stops all the time. The block form tests sixteen places at once
// for the pattern's first byte and, at the right distance, its last byte; only places holding
// both are compared whole. The fastest form the build has.
template <class Accept = byte_scan::AnyPlace>
inline std::size_t find_pattern(std::string_view text, std::string_view pattern,
                                std::size_t from = 0, const Accept& accept = {}) {
#if defined(PELVANE_BYTE_BLOCKS)
  return byte_scan::find_pattern_blocks(text, pattern, from, accept);
#else
  return byte_scan::find_pattern_bytes(text, pattern, from, accept);
#endif
}

// How many bytes `text` starts with that are ASCII (below 0x80). Inline: every UTF-8 check of a
// short name passes here.
inline std::size_t ascii_prefix_length(std::string_view text) {
  return byte_scan::find_in_set(text, byte_scan::NonAscii{});
}

}  // namespace pelvane
