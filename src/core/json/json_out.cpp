#include "core/json/json_out.hpp"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelvane {

namespace {

// True when one of the eight bytes at `bytes` is a double quote, a backslash or below 0x20.
bool word_needs_escape(const char* bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  std::uint64_t word;
  std::memcpy(&word, bytes, 8);
  const auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
  const std::uint64_t below_space = (word - kOnes * 0x20) & ~word & kHigh;
  return (below_space | has_zero(word ^ (kOnes * '"')) | has_zero(word ^ (kOnes * '\\'))) != 0;
}

// The offset of the first byte at or after `at` that may need an escape, or a place up to
// which none does: sixteen bytes are tested at a time, then eight.
std::size_t skip_plain_bytes(std::string_view text, std::size_t at) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i last_control = _mm_set1_epi8(0x1F);
  while (at + 16 <= text.size()) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    // A byte at most 0x1F, unsigned, is its own minimum with 0x1F.
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, last_control), bytes);
    const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        control, _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)))));
    if (hits != 0) return at + static_cast<std::size_t>(__builtin_ctz(hits));
    at += 16;
  }
#endif
  while (at + 8 <= text.size() && !word_needs_escape(text.data() + at)) at += 8;
  return at;
}

}  // namespace

void JsonWriter::grow(std::size_t size) {
  // The string's own capacity first, which costs nothing; beyond it, at least doubled.
  std::size_t wanted = std::max(used_ + size, out_.capacity());
  if (wanted > out_.capacity()) wanted = std::max({wanted, out_.capacity() * 2, std::size_t{256}});
  out_.resize_and_overwrite(wanted, [](char*, std::size_t length) { return length; });
}

void JsonWriter::reserve_for_alike_items(std::size_t item_size, std::size_t count) {
  constexpr std::size_t kMostAhead = std::size_t{256} << 20;
  const std::size_t ahead = std::min((item_size + 8) * count + 64, kMostAhead);
  if (out_.capacity() - used_ < ahead) out_.reserve(used_ + ahead);
}

void JsonWriter::write_string(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  put('"');
  // Runs of bytes that need no escape are copied whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    i = skip_plain_bytes(text, i);
    if (i >= text.size()) break;
    const char c = text[i];
    if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) continue;
    put(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"': put("\\\""); break;
      case '\\': put("\\\\"); break;
      case '\b': put("\\b"); break;
      case '\t': put("\\t"); break;
      case '\n': put("\\n"); break;
      case '\f': put("\\f"); break;
      case '\r': put("\\r"); break;
      default: {
        char* at = room(6);
        std::memcpy(at, "\\u00", 4);
        at[4] = kHex[(c >> 4) & 0xF];
        at[5] = kHex[c & 0xF];
        used_ += 6;
      }
    }
  }
  put(text.substr(run));
  put('"');
}

}  // namespace pelvane
